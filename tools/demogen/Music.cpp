// The demo's sounds, synthesised: a four-channel module (square lead, saw bass, kick drum,
// noise snare and hats) with an intro, two verses and a break, and a noise "whoosh" sample.
#include "DemoGen.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace demogen {

namespace {

constexpr float PI = 3.14159265f;

// A fixed-seed linear congruential generator: the same noise every run.
struct Noise {
  uint32_t state;
  explicit Noise(uint32_t seed) : state(seed) {}
  // -1 to 1.
  float Next() {
    state = state * 1664525u + 1013904223u;
    return float(state >> 8) / float(1u << 23) - 1.0f;
  }
};

int8_t ToSample(float v) { return int8_t(std::clamp(std::lround(v * 127.0f), -127L, 127L)); }

// Amiga periods of octaves 1 to 3, C to B.
constexpr uint16_t PERIODS[36] = {856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453,
                                  428, 404, 381, 360, 339, 320, 302, 285, 269, 254, 240, 226,
                                  214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120, 113};

// "C-2", "F#1": a note name as trackers write it.
uint16_t Period(const char* name) {
  static const char* const NAMES[12] = {"C-", "C#", "D-", "D#", "E-", "F-", "F#", "G-", "G#", "A-", "A#", "B-"};
  if (name[2] < '1' || name[2] > '3') return 0;
  for (int n = 0; n < 12; ++n) {
    if (std::strncmp(name, NAMES[n], 2) == 0) return PERIODS[(name[2] - '1') * 12 + n];
  }
  return 0;
}

enum : uint8_t { LEAD = 1, BASS = 2, KICK = 3, SNARE = 4 };
enum : uint8_t { EFFECT_BREAK = 0xD, EFFECT_VOLUME = 0xC, EFFECT_SPEED = 0xF };

// Which channel plays what. ProTracker pans channels 0 and 3 left, 1 and 2 right: drums and lead
// on the left, bass and hats on the right come out equally loud on both sides.
enum : uint32_t { CH_DRUMS = 0, CH_BASS = 1, CH_HATS = 2, CH_LEAD = 3 };

struct PatternWriter {
  std::vector<Note> cells = std::vector<Note>(MOD_ROWS * MOD_CHANNELS);
  void Put(uint32_t row, uint32_t channel, const char* note, uint8_t sample, uint8_t effect = 0, uint8_t parameter = 0) {
    cells[row * MOD_CHANNELS + channel] = {Period(note), sample, effect, parameter};
  }
  // An effect on the row's first channel that has none yet.
  void Effect(uint32_t row, uint8_t effect, uint8_t parameter) {
    for (uint32_t channel = 0; channel < MOD_CHANNELS; ++channel) {
      Note& cell = cells[row * MOD_CHANNELS + channel];
      if (cell.effect || cell.parameter) continue;
      cell.effect = effect, cell.parameter = parameter;
      return;
    }
  }
};

// The chords of every pattern, 16 rows each: A minor, F, C, G. Root, third and fifth in octave 2.
const char* const CHORDS[4][3] = {{"A-1", "C-2", "E-2"}, {"F-1", "A-1", "C-2"}, {"C-2", "E-2", "G-2"}, {"G-1", "B-1", "D-2"}};

// The note octaves higher, as far as the period table reaches.
std::string Up(const char* note, int octaves) {
  std::string up = note;
  up[2] = char(std::min(up[2] + octaves, int('3')));
  return up;
}

void Drums(PatternWriter& p, bool kick) {
  for (uint32_t row = 0; row < MOD_ROWS; row += 8) {
    if (row % 16 == 0 && kick) p.Put(row, CH_DRUMS, "C-2", KICK);
    if (row % 16 == 8) p.Put(row, CH_DRUMS, "C-2", SNARE, EFFECT_VOLUME, 40);
  }
  if (kick) p.Put(60, CH_DRUMS, "C-2", KICK, EFFECT_VOLUME, 48);  // a pickup into the next bar
}

void Hats(PatternWriter& p) {
  for (uint32_t row = 2; row < MOD_ROWS; row += 4) p.Put(row, CH_HATS, "C-3", SNARE, EFFECT_VOLUME, 12);
}

void Bass(PatternWriter& p) {
  for (uint32_t bar = 0; bar < 4; ++bar) {
    const char* root = CHORDS[bar][0];
    for (uint32_t step = 0; step < 4; ++step)
      p.Put(bar * 16 + step * 4, CH_BASS, step % 2 ? Up(root, 1).c_str() : root, BASS);
  }
}

// A motif over each chord: rows and chord tones (0 root, 1 third, 2 fifth), +3 meaning an octave up.
void Melody(PatternWriter& p, const int (&motif)[6][2]) {
  for (uint32_t bar = 0; bar < 4; ++bar) {
    for (const auto& [row, tone] : motif) {
      const std::string note = Up(CHORDS[bar][tone % 3], 1 + tone / 3);
      p.Put(bar * 16 + uint32_t(row), CH_LEAD, note.c_str(), LEAD);
    }
  }
}

std::vector<int8_t> SquareCycle() {
  std::vector<int8_t> data(32);
  for (size_t i = 0; i < data.size(); ++i) data[i] = i < 12 ? 90 : -90;  // a narrow pulse, less harsh than a square
  return data;
}

std::vector<int8_t> SawCycle() {
  std::vector<int8_t> data(64);
  for (size_t i = 0; i < data.size(); ++i) data[i] = ToSample(0.9f - 1.8f * float(i) / 63.0f);
  return data;
}

// Played at C-2 (about 8287 Hz): a sine sweeping from 160 Hz down to 45 Hz, fading out.
std::vector<int8_t> KickDrum() {
  std::vector<int8_t> data(2400);
  float phase = 0;
  for (size_t i = 0; i < data.size(); ++i) {
    const float t = float(i) / 8287.0f;
    const float frequency = 45.0f + 115.0f * std::exp(-t * 25.0f);
    phase += 2 * PI * frequency / 8287.0f;
    data[i] = ToSample(std::sin(phase) * std::exp(-t * 9.0f));
  }
  return data;
}

std::vector<int8_t> NoiseBurst() {
  std::vector<int8_t> data(1600);
  Noise noise(0x5EED);
  for (size_t i = 0; i < data.size(); ++i) data[i] = ToSample(noise.Next() * std::exp(-float(i) / 300.0f));
  return data;
}

}  // namespace

Module DemoMusic() {
  Module m;
  m.title = "zivi3 demo tune";
  m.samples = {
      {"pulse lead", SquareCycle(), 36, 0, 32},
      {"saw bass", SawCycle(), 48, 0, 64},
      {"kick", KickDrum(), 64, 0, 0},
      {"noise", NoiseBurst(), 56, 0, 0},
  };

  static const int MOTIF_A[6][2] = {{0, 2}, {4, 3}, {6, 1}, {8, 2}, {12, 1}, {14, 0}};
  static const int MOTIF_B[6][2] = {{0, 3}, {2, 2}, {4, 1}, {8, 5}, {10, 4}, {12, 2}};
  static const int ARPEGGIO[6][2] = {{0, 0}, {2, 1}, {4, 2}, {6, 3}, {8, 4}, {10, 5}};

  PatternWriter intro, verseA, verseB, breakdown;
  Drums(intro, true), Bass(intro);
  Drums(verseA, true), Bass(verseA), Hats(verseA), Melody(verseA, MOTIF_A);
  Drums(verseB, true), Bass(verseB), Hats(verseB), Melody(verseB, MOTIF_B);
  Hats(breakdown), Bass(breakdown), Melody(breakdown, ARPEGGIO);
  // The song lasts exactly one loop of the demo's scene, 892 pictures at 30 a second: 29.7333 s
  // (the player shows 901 frames of 33 ms). A row of 3 ticks at 125 BPM lasts 60 ms; 495 of
  // them and one of a single tick at 75 BPM (33.3 ms, the break's last row) make it. Both tempos
  // are whole numbers of samples a tick at 22050, 44100 and 48000 Hz, so the song comes round on
  // the same sample as the scene. The last pattern is the second verse's first three bars, with
  // a break back to the start. (A tempo change on the song's last row would make its first row
  // sound otherwise the second time round.)
  PatternWriter ending = verseB;
  std::fill(ending.cells.begin() + 48 * MOD_CHANNELS, ending.cells.end(), Note{});
  ending.Effect(47, EFFECT_BREAK, 0);
  breakdown.Effect(63, EFFECT_SPEED, 1), breakdown.Effect(63, EFFECT_SPEED, 75);
  // When the song comes round again, the lead's last note (a looped sample) would drone on
  // through the intro, which has no lead: silence it on the intro's first row.
  intro.cells[CH_LEAD].effect = EFFECT_VOLUME, intro.cells[CH_LEAD].parameter = 0;
  // Every pattern sets speed and tempo on its first row, so that playback started at any order
  // keeps them.
  for (PatternWriter* p : {&intro, &verseA, &verseB, &breakdown, &ending})
    p->Effect(0, EFFECT_SPEED, 3), p->Effect(0, EFFECT_SPEED, 125);
  m.patterns = {intro.cells, verseA.cells, verseB.cells, breakdown.cells, ending.cells};
  m.orders = {0, 1, 2, 1, 3, 2, 1, 4};
  return m;
}

std::vector<int16_t> WhooshSound(uint32_t rate) {
  const size_t count = size_t(rate) * 7 / 10;
  std::vector<int16_t> out(count);
  Noise noise(0xC0FFEE);
  float low1 = 0, low2 = 0;
  std::vector<float> raw(count);
  float peak = 0;
  for (size_t i = 0; i < count; ++i) {
    const float t = float(i) / float(count);
    // Loud in the middle, the filter opening and closing with it: air rushing past.
    const float envelope = std::pow(std::sin(PI * t), 2.0f);
    const float cutoff = 0.01f + 0.2f * envelope;
    low1 += (noise.Next() - low1) * cutoff;
    low2 += (low1 - low2) * cutoff;
    raw[i] = low2 * envelope;
    peak = std::max(peak, std::fabs(raw[i]));
  }
  for (size_t i = 0; i < count; ++i) out[i] = int16_t(std::lround(raw[i] / peak * 24000.0f));
  return out;
}

}  // namespace demogen
