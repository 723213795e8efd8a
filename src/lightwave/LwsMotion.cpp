// Scene-file handlers for motion: channels, envelope blocks and their keys, and the
// LW_Oscillator channel modifier.
//
// An envelope block reads
//   Channel c
//   { Envelope
//     n
//     Key value time span p1 p2 p3 p4 p5 [p6]
//     ...
//     Behaviors pre post
//   }
// and fills slot c of the current item (MorphAmount selects an object's slot 9). Each Channel
// (or MorphAmount) line readies its slot for one block. Other parameters are animated as
// "ZoomFactor (envelope)" followed by a block with no Channel line: this player doesn't keep
// them, and their blocks are read to their end and dropped. Key times are seconds in the file
// and frames here: × the scene's FramesPerSecond. Oscillator times use the engine speed instead.
#include "lightwave/Lightwave.h"

#include "app/System.h"
#include "lightwave/LwsParser.h"
#include "log/Log.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace lws {

namespace {

// Key shapes by the low byte of the file's span type: TCB, Hermite, 1D Bezier, linear, stepped,
// 2D Bezier. A type past the table leaves the shape 0, which evaluates as linear.
constexpr uint32_t SPAN_SHAPES[] = {SHAPE_TCB,    SHAPE_HERMITE, SHAPE_BEZIER,
                                   SHAPE_LINEAR, SHAPE_STEPPED, SHAPE_BEZIER2D};

uint32_t ShapeOfSpan(int32_t span) {
  uint32_t type = uint32_t(span) & 0xFF;
  return type < std::size(SPAN_SHAPES) ? SPAN_SHAPES[type] : 0;
}

// Frames per second of the file's key times. A scene that never states its rate (or states 0)
// would put every key at frame 0; the engine's speed stands in for it.
float KeyRate(const Parser& parser) {
  return parser.scene->framesPerSecond > 0 ? parser.scene->framesPerSecond : parser.system->engineSpeed;
}

}  // namespace

bool Channel(Parser& parser, const char* line) {
  Args args(line);
  int32_t channel = 0;
  if (args.Skip(1) && args.Int(&channel)) {
    parser.currentChannel = uint32_t(channel);
    parser.channelReady = true;
  }
  return true;
}

bool MorphAmount(Parser& parser, const char*) {
  parser.currentChannel = CHANNEL_MORPH_AMOUNT;
  parser.channelReady = true;
  return true;
}

// "{ Envelope" opens an envelope block; every other block is not entered.
bool OpenBlock(Parser& parser, const char* line) {
  Args args(line);
  char blockName[LINE_LENGTH_MAX + 1];
  if (args.Skip(1) && args.Word(blockName, sizeof blockName) && std::strcmp(blockName, "Envelope") == 0)
    parser.envelopePending = true;
  return true;
}

void FinishEnvelope(Parser& parser) {
  if (Envelope* envelope = parser.currentEnvelope) {
    auto byTime = [](const EnvelopeKey& a, const EnvelopeKey& b) { return a.time < b.time; };
    if (!std::is_sorted(envelope->keys.begin(), envelope->keys.end(), byTime))
      std::stable_sort(envelope->keys.begin(), envelope->keys.end(), byTime);
  }
  parser.currentEnvelope = nullptr;
  parser.announcedKeys = 0;
}

// The count line of an envelope block: a new envelope in the slot that the last Channel line
// readied, replacing any there. A slot the item doesn't have takes nothing, and a block that
// no Channel line readied a slot for is dropped; either way the block's keys are skipped.
bool ReadNumKeys(Parser& parser, const char* line) {
  FinishEnvelope(parser);
  const bool ready = parser.channelReady;
  parser.channelReady = false;
  if (!ready && parser.envelopeKeyword[0])
    Log(2, "LWSLDR(ReadNumKeys) - LWS \"%s\": animated %s is not played, its envelope is skipped",
        parser.sceneName, parser.envelopeKeyword);
  else if (!ready)
    Log(2, "LWSLDR(ReadNumKeys) - LWS \"%s\": envelope without a Channel line, skipped", parser.sceneName);
  parser.envelopeKeyword[0] = 0;
  if (!ready) return true;
  Args args(line);
  int32_t count = 0;  // an unreadable count announces no keys
  args.Int(&count);
  std::unique_ptr<Envelope>* slot = CurrentEnvelopeSlot(parser, parser.currentChannel);
  if (!slot) return true;
  *slot = std::make_unique<Envelope>();
  parser.currentEnvelope = slot->get();
  parser.announcedKeys = uint32_t(count);
  // The count is the file's word; the keys that really follow decide the memory.
  const uint32_t linesLeft = (parser.lines.size - parser.lines.position) / 8;
  parser.currentEnvelope->keys.reserve(std::min(parser.announcedKeys, linesLeft));
  return true;
}

// Key value time span p1 p2 p3 p4 p5: one key of the current envelope, up to the count its
// block announced. A line without a value and a time makes no key; parameters it lacks are 0.
bool Key(Parser& parser, const char* line) {
  Envelope* envelope = parser.currentEnvelope;
  if (!envelope || envelope->keys.size() >= parser.announcedKeys) return true;
  Args args(line);
  float value = 0, seconds = 0;
  if (!args.Skip(1) || !args.Float(&value) || !args.Float(&seconds)) return true;
  const float time = seconds * KeyRate(parser);
  if (!std::isfinite(time)) return true;
  int32_t span = 0;
  float p[5] = {0, 0, 0, 0, 0};
  if (args.Int(&span))
    for (float& parameter : p)
      if (!args.Float(&parameter)) break;

  EnvelopeKey key;
  key.time = time;
  key.value = value;
  key.shape = ShapeOfSpan(span);
  key.tension = p[0];
  key.continuity = p[1];
  key.bias = p[2];
  key.inTangent = p[3];
  key.outTangent = p[4];
  envelope->keys.push_back(key);
  return true;
}

// "LW_Oscillator": the 8 lines after it (empty ones counted, each read for one number, 0 where
// there is none) make an oscillator of the current channel's envelope. They are read on a copy
// of the line cursor, so the loop reads them again as lines of no effect.
bool LwOscillator(Parser& parser, const char*) {
  std::unique_ptr<Envelope>* slot = CurrentEnvelopeSlot(parser, parser.currentChannel);
  if (!slot || !*slot) return true;
  float numbers[OSCILLATOR_LINES] = {};
  Lines ahead = parser.lines;
  char line[LINE_LENGTH_MAX + 1];
  for (float& number : numbers) {
    if (!ahead.Next(line)) break;
    Args(line).Float(&number);
  }

  const float speed = parser.system->engineSpeed;
  ::Oscillator* oscillator = parser.scene->AddOscillator();
  // A frequency of 0 has no period; the evaluation reads a period of 0 as no wave.
  const float period = numbers[1] != 0 ? speed / numbers[1] : 0;
  oscillator->period = std::isfinite(period) ? period : 0;
  oscillator->amplitude = numbers[2];
  oscillator->start = numbers[6] * speed;
  oscillator->end = numbers[7] * speed;
  (*slot)->oscillators.push_back(oscillator);
  return true;
}

}  // namespace lws
