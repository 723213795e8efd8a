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
// "ZoomFactor (envelope)" followed by a block with no Channel line: the zoom, dissolve, light
// intensity, range, cone and edge and the ambient intensity are kept in their own envelopes;
// the blocks of parameters this player has no use for are read to their end and dropped. Key
// times are seconds in the file and frames here: × the scene's FramesPerSecond. Oscillator
// times use the engine speed instead. The behaviours before and after the keys are kept as
// written.
#include "lightwave/Lightwave.h"

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

namespace {

// The envelope of an animated parameter ("KEYWORD (envelope)"), on the last item of the
// keyword's kind; none for a parameter this player doesn't keep, or before its item.
std::unique_ptr<Envelope>* ParameterEnvelopeSlot(Parser& parser, const char* keyword) {
  auto is = [keyword](const char* name) { return std::strcmp(keyword, name) == 0; };
  if (is("AmbientIntensity")) return &parser.scene->ambientIntensityEnvelope;
  if (is("ObjectDissolve")) return parser.currentObject ? &parser.currentObject->dissolveEnvelope : nullptr;
  if (is("ZoomFactor")) return parser.currentCamera ? &parser.currentCamera->zoomEnvelope : nullptr;
  Light* light = parser.currentLight;
  if (!light) return nullptr;
  if (is("LightIntensity")) return &light->intensityEnvelope;
  if (is("LightRange")) return &light->rangeEnvelope;
  if (is("LightConeAngle")) return &light->coneAngleEnvelope;
  if (is("LightEdgeAngle")) return &light->edgeAngleEnvelope;
  return nullptr;
}

}  // namespace

void FinishEnvelope(Parser& parser) {
  if (Envelope* envelope = parser.currentEnvelope) {
    // Both readings of the keys hold the same times in the same order, so they sort alike.
    auto byTime = [](const EnvelopeKey& a, const EnvelopeKey& b) { return a.time < b.time; };
    for (std::vector<EnvelopeKey>* keys : {&envelope->keys, &envelope->lightwaveKeys})
      if (!std::is_sorted(keys->begin(), keys->end(), byTime)) std::stable_sort(keys->begin(), keys->end(), byTime);
    if (envelope->lightwaveKeys == envelope->keys) envelope->lightwaveKeys.clear();
  }
  parser.currentEnvelope = nullptr;
  parser.announcedKeys = 0;
}

// The count line of an envelope block: a new envelope in the slot that the last Channel line
// (or "KEYWORD (envelope)" line) readied, replacing any there. A slot the item doesn't have
// takes nothing, and a block that readied no slot is dropped; either way the block's keys are
// skipped.
bool ReadNumKeys(Parser& parser, const char* line) {
  FinishEnvelope(parser);
  const bool ready = parser.channelReady;
  parser.channelReady = false;
  std::unique_ptr<Envelope>* slot = nullptr;
  if (ready) {
    slot = CurrentEnvelopeSlot(parser, parser.currentChannel);
  } else if (parser.envelopeKeyword[0]) {
    slot = ParameterEnvelopeSlot(parser, parser.envelopeKeyword);
    if (!slot)
      Log(2, "LWSLDR(ReadNumKeys) - LWS \"%s\": animated %s is not played, its envelope is skipped",
          parser.sceneName, parser.envelopeKeyword);
  } else {
    Log(2, "LWSLDR(ReadNumKeys) - LWS \"%s\": envelope without a Channel line, skipped", parser.sceneName);
  }
  parser.envelopeKeyword[0] = 0;
  if (!slot) return true;
  Args args(line);
  int32_t count = 0;  // an unreadable count announces no keys
  args.Int(&count);
  *slot = std::make_unique<Envelope>();
  parser.currentEnvelope = slot->get();
  parser.announcedKeys = uint32_t(count);
  // The count is the file's word; the keys that really follow decide the memory.
  const uint32_t linesLeft = (parser.lines.size - parser.lines.position) / 8;
  parser.currentEnvelope->keys.reserve(std::min(parser.announcedKeys, linesLeft));
  parser.currentEnvelope->lightwaveKeys.reserve(std::min(parser.announcedKeys, linesLeft));
  return true;
}

// Behaviors pre post: what the current envelope gives before its first and after its last key.
bool Behaviors(Parser& parser, const char* line) {
  Args args(line);
  int32_t pre = 0, post = 0;
  if (!parser.currentEnvelope || !args.Skip(1) || !args.Int(&pre) || !args.Int(&post)) return true;
  // A code past the known ones holds the end values, as constant does.
  auto code = [](int32_t value) {
    return value >= 0 && value <= BEHAVIOR_LINEAR ? uint8_t(value) : uint8_t(BEHAVIOR_CONSTANT);
  };
  parser.currentEnvelope->pre = code(pre);
  parser.currentEnvelope->post = code(post);
  return true;
}

// Key value time span p1 p2 p3 p4 p5: one key of the current envelope, up to the count its
// block announced. A line without a value and a time makes no key; parameters it lacks are 0.
// A 2D Bezier key's p1 p2 and p3 p4 are its incoming and outgoing handles (seconds, value)
// from the key: LightWave's reading of the key has them, the classic one takes them as 0.
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
  if (key.shape == SHAPE_BEZIER2D) {
    key.inHandleTime = p[0] * KeyRate(parser);
    key.inHandleValue = p[1];
    key.outHandleTime = p[2] * KeyRate(parser);
    key.outHandleValue = p[3];
  }
  envelope->lightwaveKeys.push_back(key);
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
