// Decoding speed of compressed datafile members, which is the whole cost of mounting a
// datafile: our DecodeBuffer on the reduced stream against libbz2 on the original stream of
// the same payload, at block size 9. The payload is made here, deterministically, from the
// three kinds of content a demo ships: text (scenes, scripts), binary object geometry and raw
// images. Bytes per second count decoded bytes.

#include <benchmark/benchmark.h>
#include <bzlib.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "vfs/Vfs.h"
#include "vpfpack/Reduce.h"

namespace {

// A small deterministic generator, so every run decodes the same bytes.
struct Random {
  uint64_t state;
  uint32_t Next() {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<uint32_t>(state >> 33);
  }
  float Unit() { return static_cast<float>(Next() & 0xFFFFFF) / 16777216.0f; }
};

// English-like prose: words drawn with a skewed distribution, sentences, paragraphs, numbers.
std::vector<uint8_t> MakeText(size_t size) {
  static const char* const WORDS[] = {
      "the", "of", "and", "to", "a", "in", "is", "it", "that", "was", "for", "on", "are", "with", "as", "his",
      "they", "be", "at", "one", "have", "this", "from", "by", "hot", "word", "but", "what", "some", "we", "can",
      "out", "other", "were", "all", "there", "when", "up", "use", "your", "how", "said", "an", "each", "she",
      "which", "do", "their", "time", "if", "will", "way", "about", "many", "then", "them", "write", "would",
      "like", "so", "these", "her", "long", "make", "thing", "see", "him", "two", "has", "look", "more", "day",
      "could", "go", "come", "did", "number", "sound", "no", "most", "people", "my", "over", "know", "water",
      "than", "call", "first", "who", "may", "down", "side", "been", "now", "find", "light", "camera", "surface",
      "object", "envelope", "motion", "render", "texture", "polygon", "vertex", "layer", "morph", "bone",
      "scene", "frame", "keyframe", "channel", "spline", "tension", "continuity", "bias", "specular",
      "diffuse", "luminosity", "transparency", "reflection", "glossiness", "smoothing", "bump", "image",
      "sequence", "particle", "emitter", "gravity", "velocity", "rotation", "position", "scale", "pivot"};
  constexpr size_t WORD_COUNT = sizeof WORDS / sizeof WORDS[0];
  Random rng{42};
  std::string text;
  text.reserve(size + 64);
  bool capital = true;
  while (text.size() < size) {
    uint32_t r = rng.Next();
    size_t index = ((r & 0xFFFF) * (r & 0xFFFF) >> 16) * WORD_COUNT >> 16;  // favours early words
    std::string word = WORDS[index];
    if (capital) word[0] = static_cast<char>(word[0] - 'a' + 'A');
    capital = false;
    text += word;
    uint32_t p = rng.Next() % 100;
    if (p < 6) {
      text += ". ";
      capital = true;
      if (rng.Next() % 8 == 0) text += "\n\n";
    } else if (p < 10) {
      text += ", ";
    } else if (p < 12) {
      text += ' ';
      text += std::to_string(rng.Next() % 1000);
      text += ' ';
    } else {
      text += ' ';
    }
  }
  text.resize(size);
  return {text.begin(), text.end()};
}

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}
void PutU16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v >> 8));
  out.push_back(static_cast<uint8_t>(v));
}
void PutF32(std::vector<uint8_t>& out, float f) {
  uint32_t v;
  std::memcpy(&v, &f, 4);
  PutU32(out, v);
}

// Object geometry laid out as an LWO2 file: a displaced torus as big-endian float points,
// quads as index lists, and a UV map.
std::vector<uint8_t> MakeGeometry(size_t size) {
  Random rng{7};
  std::vector<uint8_t> out;
  out.reserve(size + 1024);
  const char* tags = "FORM\0\0\0\0LWO2TAGS\0\0\0\x08" "Default\0";
  out.insert(out.end(), tags, tags + 28);
  while (out.size() < size) {
    // One layer per torus, so the file grows in realistic units.
    const uint32_t rings = 200 + rng.Next() % 100, sides = 64 + rng.Next() % 64;
    const float major = 1.0f + rng.Unit(), minor = 0.2f + 0.3f * rng.Unit();
    PutU32(out, 0x4C415952);  // LAYR
    PutU32(out, 18);
    PutU16(out, 0);
    PutU16(out, 0);
    for (int k = 0; k < 3; ++k) PutF32(out, 0.0f);
    PutU16(out, 0);
    PutU32(out, 0x504E5453);  // PNTS
    PutU32(out, rings * sides * 12);
    for (uint32_t i = 0; i < rings; ++i) {
      for (uint32_t j = 0; j < sides; ++j) {
        float u = 6.2831853f * static_cast<float>(i) / static_cast<float>(rings);
        float v = 6.2831853f * static_cast<float>(j) / static_cast<float>(sides);
        float r = minor * (1.0f + 0.05f * std::sin(7.0f * u) * std::cos(5.0f * v));
        PutF32(out, (major + r * std::cos(v)) * std::cos(u));
        PutF32(out, r * std::sin(v));
        PutF32(out, (major + r * std::cos(v)) * std::sin(u));
      }
    }
    PutU32(out, 0x564D4150);  // VMAP TXUV
    PutU32(out, 6 + 6 + rings * sides * 10);
    PutU32(out, 0x54585556);
    PutU16(out, 2);
    out.insert(out.end(), {'U', 'V', 0, 0});
    for (uint32_t i = 0; i < rings; ++i) {
      for (uint32_t j = 0; j < sides; ++j) {
        PutU16(out, i * sides + j);
        PutF32(out, static_cast<float>(i) / static_cast<float>(rings));
        PutF32(out, static_cast<float>(j) / static_cast<float>(sides));
      }
    }
    PutU32(out, 0x504F4C53);  // POLS FACE
    PutU32(out, 4 + rings * sides * 10);
    PutU32(out, 0x46414345);
    for (uint32_t i = 0; i < rings; ++i) {
      for (uint32_t j = 0; j < sides; ++j) {
        uint32_t i1 = (i + 1) % rings, j1 = (j + 1) % sides;
        PutU16(out, 4);
        PutU16(out, i * sides + j);
        PutU16(out, i * sides + j1);
        PutU16(out, i1 * sides + j1);
        PutU16(out, i1 * sides + j);
      }
    }
  }
  out.resize(size);
  return out;
}

// A raw 24-bit image: gradients, filled shapes, a noisy photo-like patch.
std::vector<uint8_t> MakeImage(uint32_t width, uint32_t height) {
  Random rng{99};
  std::vector<uint8_t> out(static_cast<size_t>(width) * height * 3);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      uint8_t* p = &out[(static_cast<size_t>(y) * width + x) * 3];
      int r = static_cast<int>(x * 255 / width), g = static_cast<int>(y * 255 / height), b = 128;
      int dx = static_cast<int>(x) - static_cast<int>(width / 3), dy = static_cast<int>(y) - static_cast<int>(height / 3);
      if (dx * dx + dy * dy < static_cast<int>(width * width / 25)) r = 250, g = 200, b = 30;
      if (x > width / 2 && x < width * 3 / 4 && y > height / 2 && y < height * 7 / 8) r = 20, g = 40, b = 200;
      if (y > height * 3 / 4 && x < width / 3) {  // textured patch with sensor noise
        int n = static_cast<int>(rng.Next() % 9) - 4;
        r = 128 + static_cast<int>(60 * std::sin(x * 0.1) * std::cos(y * 0.07)) + n;
        g = r - 10 + n;
        b = r / 2 + n;
      }
      p[0] = static_cast<uint8_t>(std::clamp(r, 0, 255));
      p[1] = static_cast<uint8_t>(std::clamp(g, 0, 255));
      p[2] = static_cast<uint8_t>(std::clamp(b, 0, 255));
    }
  }
  return out;
}

struct Payload {
  std::vector<uint8_t> plain;
  std::vector<uint8_t> bz2;      // libbz2's stream
  std::vector<uint8_t> reduced;  // the same, reduced
};

Payload Compress(std::vector<uint8_t> plain) {
  Payload p;
  p.plain = std::move(plain);
  unsigned int capacity = static_cast<unsigned int>(p.plain.size() + p.plain.size() / 100 + 600);
  p.bz2.resize(capacity);
  if (BZ2_bzBuffToBuffCompress(reinterpret_cast<char*>(p.bz2.data()), &capacity,
                               reinterpret_cast<char*>(p.plain.data()), static_cast<unsigned int>(p.plain.size()), 9, 0,
                               0) != BZ_OK ||
      !ReduceStream(p.bz2.data(), capacity, p.reduced)) {
    std::fprintf(stderr, "cannot make the benchmark payload\n");
    std::exit(1);
  }
  p.bz2.resize(capacity);
  return p;
}

enum Kind { TEXT, GEOMETRY, IMAGE, MIXED };

const Payload& GetPayload(Kind kind) {
  static const std::vector<uint8_t> text = MakeText(3u << 20);
  static const std::vector<uint8_t> geometry = MakeGeometry(3u << 20);
  static const std::vector<uint8_t> image = MakeImage(1024, 1024);
  static Payload payloads[4];
  static bool made[4] = {};
  if (!made[kind]) {
    std::vector<uint8_t> plain;
    if (kind == TEXT || kind == MIXED) plain.insert(plain.end(), text.begin(), text.end());
    if (kind == GEOMETRY || kind == MIXED) plain.insert(plain.end(), geometry.begin(), geometry.end());
    if (kind == IMAGE || kind == MIXED) plain.insert(plain.end(), image.begin(), image.end());
    payloads[kind] = Compress(std::move(plain));
    made[kind] = true;
  }
  return payloads[kind];
}

void BM_DecodeBuffer(benchmark::State& state) {
  const Payload& p = GetPayload(static_cast<Kind>(state.range(0)));
  std::vector<uint8_t> out(p.plain.size());
  for (auto _ : state) {
    uint32_t len = static_cast<uint32_t>(out.size());
    int r = DecodeBuffer(out.data(), &len, p.reduced.data(), static_cast<uint32_t>(p.reduced.size()), 0, 0);
    if (r != DECODE_OK || len != p.plain.size()) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(out.data());
  }
  if (std::memcmp(out.data(), p.plain.data(), p.plain.size()) != 0) state.SkipWithError("wrong bytes");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(p.plain.size()));
  state.counters["compression"] = static_cast<double>(p.plain.size()) / static_cast<double>(p.reduced.size());
}

void BM_Libbz2(benchmark::State& state) {
  const Payload& p = GetPayload(static_cast<Kind>(state.range(0)));
  std::vector<uint8_t> out(p.plain.size());
  for (auto _ : state) {
    unsigned int len = static_cast<unsigned int>(out.size());
    int r = BZ2_bzBuffToBuffDecompress(reinterpret_cast<char*>(out.data()), &len,
                                       const_cast<char*>(reinterpret_cast<const char*>(p.bz2.data())),
                                       static_cast<unsigned int>(p.bz2.size()), 0, 0);
    if (r != BZ_OK || len != p.plain.size()) state.SkipWithError("libbz2 failed");
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(p.plain.size()));
}

// A datafile holds many small members too (scenes, scripts, small objects): 200 of them,
// 2 to 40 KiB each, cut from the mixed content and packed one by one.
struct Members {
  std::vector<Payload> members;
  size_t bytes = 0;
};

const Members& GetMembers() {
  static Members m = [] {
    Members made;
    const Payload& mixed = GetPayload(MIXED);
    Random rng{5};
    size_t at = 0;
    for (int k = 0; k < 200; ++k) {
      size_t size = 2048 + rng.Next() % (38 * 1024);
      at = (at + 7919 * 13 + size) % (mixed.plain.size() - size);
      made.members.push_back(Compress({mixed.plain.begin() + static_cast<ptrdiff_t>(at),
                                       mixed.plain.begin() + static_cast<ptrdiff_t>(at + size)}));
      made.bytes += size;
    }
    return made;
  }();
  return m;
}

void BM_DecodeBufferMembers(benchmark::State& state) {
  const Members& m = GetMembers();
  std::vector<uint8_t> out(64 * 1024);
  for (auto _ : state) {
    for (const Payload& p : m.members) {
      uint32_t len = static_cast<uint32_t>(out.size());
      if (DecodeBuffer(out.data(), &len, p.reduced.data(), static_cast<uint32_t>(p.reduced.size()), 0, 0) != DECODE_OK ||
          len != p.plain.size()) {
        state.SkipWithError("decode failed");
      }
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(m.bytes));
}

void BM_Libbz2Members(benchmark::State& state) {
  const Members& m = GetMembers();
  std::vector<uint8_t> out(64 * 1024);
  for (auto _ : state) {
    for (const Payload& p : m.members) {
      unsigned int len = static_cast<unsigned int>(out.size());
      if (BZ2_bzBuffToBuffDecompress(reinterpret_cast<char*>(out.data()), &len,
                                     const_cast<char*>(reinterpret_cast<const char*>(p.bz2.data())),
                                     static_cast<unsigned int>(p.bz2.size()), 0, 0) != BZ_OK) {
        state.SkipWithError("libbz2 failed");
      }
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(m.bytes));
}

void Kinds(benchmark::internal::Benchmark* b) {
  b->ArgName("kind");
  for (int k : {MIXED, TEXT, GEOMETRY, IMAGE}) b->Arg(k);
  b->Unit(benchmark::kMillisecond);
}

}  // namespace

// kind: 3 mixed (all three, 9 MiB), 0 text, 1 geometry, 2 image (3 MiB each).
BENCHMARK(BM_DecodeBuffer)->Apply(Kinds);
BENCHMARK(BM_Libbz2)->Apply(Kinds);
BENCHMARK(BM_DecodeBufferMembers)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Libbz2Members)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
