// Envelope evaluation: keyed curves (Hermite with TCB or stored tangents, linear, stepped,
// two-dimensional Bezier) plus oscillators. All arithmetic is single precision, in the order the
// formulas are written, so that every build gives the same values.
#include "scene/Scene.h"

#include <cmath>

namespace {

// Up to this many keys a linear scan beats a binary search.
constexpr size_t LINEAR_SCAN_KEYS = 8;

// Index of the first key later than time (keys.size() when there is none, which only a NaN
// time reaches past the caller's checks). Both searches return the same index for keys in
// ascending order, so a long envelope costs O(log keys) and gives the values a key-by-key scan
// would. Keys out of order still give an index within the array; which span is then unspecified.
size_t FindSpanEnd(const std::vector<EnvelopeKey>& keys, float time) {
  if (keys.size() <= LINEAR_SCAN_KEYS) {
    size_t i = 0;
    while (i < keys.size() && !(keys[i].time > time)) ++i;
    return i;
  }
  // Binary search without data-dependent branches (random times would mispredict half of
  // them). The answer stays within [first, first + length].
  const EnvelopeKey* first = keys.data();
  size_t length = keys.size();
  while (length > 1) {
    size_t half = length / 2;
    first = first[half - 1].time > time ? first : first + half;
    length -= half;
  }
  return size_t(first - keys.data()) + (first->time > time ? 0 : 1);
}

float SpanValue(const std::vector<EnvelopeKey>& keys, size_t i1, float time) {
  const EnvelopeKey& key0 = keys[i1 - 1];
  const EnvelopeKey& key1 = keys[i1];
  const EnvelopeKey* previous = i1 >= 2 ? &keys[i1 - 2] : nullptr;
  const EnvelopeKey* next = i1 + 1 < keys.size() ? &keys[i1 + 1] : nullptr;
  float t = (time - key0.time) / (key1.time - key0.time);
  switch (key1.shape) {
    case SHAPE_HERMITE:
    case SHAPE_BEZIER:
    case SHAPE_TCB: {
      float out = OutgoingTangent(key0, key1, previous);
      float in = IncomingTangent(key0, key1, next);
      HermiteWeights h = HermiteBasis(t);
      return h.h1 * key0.value + h.h2 * key1.value + h.h3 * out + h.h4 * in;
    }
    case SHAPE_STEPPED:
      return key0.value;
    case SHAPE_BEZIER2D:
      return TwoDimensionalBezier(key0, key1, time, previous);
    default:  // linear, and shapes this system does not know
      return key0.value + (key1.value - key0.value) * t;
  }
}

}  // namespace

HermiteWeights HermiteBasis(float t) {
  float t2 = t * t;
  float t3 = t * t2;
  HermiteWeights h;
  h.h2 = 3 * t2 - t3 - t3;
  h.h1 = 1 - h.h2;
  h.h4 = t3 - t2;
  h.h3 = h.h4 - t2 + t;
  return h;
}

float OutgoingTangent(const EnvelopeKey& key0, const EnvelopeKey& key1, const EnvelopeKey* previous) {
  switch (key0.shape) {
    case SHAPE_HERMITE:
    case SHAPE_BEZIER: {
      float out = key0.outTangent;
      if (previous) out = out * (key1.time - key0.time) / (key1.time - previous->time);
      return out;
    }
    case SHAPE_TCB: {
      float a = (1 - key0.tension) * (1 + key0.continuity) * (1 + key0.bias);
      float b = (1 - key0.tension) * (1 - key0.continuity) * (1 - key0.bias);
      float d = key1.value - key0.value;
      if (previous)
        return (a * (key0.value - previous->value) + b * d) * (key1.time - key0.time) /
               (key1.time - previous->time);
      return 0.5f * (a + b) * d;
    }
    default:  // a linear, stepped or 2D Bezier span arrives flat
      return 0;
  }
}

float IncomingTangent(const EnvelopeKey& key0, const EnvelopeKey& key1, const EnvelopeKey* next) {
  switch (key1.shape) {
    case SHAPE_HERMITE:
    case SHAPE_BEZIER: {
      float in = key1.inTangent;
      if (next) in = in * (key1.time - key0.time) / (next->time - key0.time);
      return in;
    }
    case SHAPE_TCB: {
      float a = (1 - key1.tension) * (1 - key1.continuity) * (1 + key1.bias);
      float b = (1 - key1.tension) * (1 + key1.continuity) * (1 - key1.bias);
      float d = key1.value - key0.value;
      if (next)
        return (b * (next->value - key1.value) + a * d) * (key1.time - key0.time) / (next->time - key0.time);
      return 0.5f * (a + b) * d;
    }
    default:
      return 0;
  }
}

float BezierValue(float x0, float x1, float x2, float x3, float t) {
  float c = 3 * (x1 - x0);
  float b = 3 * (x2 - x1) - c;
  float a = x3 - x0 - c - b;
  return a * t * t * t + b * t * t + c * t + x0;
}

float BezierTimeSolve(float x0, float x1, float x2, float x3, float time, float t0, float t1) {
  for (;;) {
    float t = t0 + (t1 - t0) * 0.5f;
    float v = BezierValue(x0, x1, x2, x3, t);
    if (std::fabs(time - v) <= 0.0001f) return t;
    // Once the midpoint can no longer move (times so large that 0.0001 frames is below their
    // precision, a curve that never reaches time, a NaN) halving would repeat forever: this is
    // as close as single precision gets.
    if (t == t0 || t == t1) return t;
    if (v <= time)
      t0 = t;
    else
      t1 = t;
  }
}

float TwoDimensionalBezier(const EnvelopeKey& key0, const EnvelopeKey& key1, float time,
                           const EnvelopeKey* previous) {
  float x = key0.shape == SHAPE_BEZIER2D ? key0.time + key0.outHandleTime
                                         : key0.time + (key1.time - key0.time) / 3;
  float t = BezierTimeSolve(key0.time, x, key1.time + key1.inHandleTime, key1.time, time, 0, 1);
  float y = key0.shape == SHAPE_BEZIER2D ? key0.value + key0.outHandleValue
                                         : key0.value + OutgoingTangent(key0, key1, previous) / 3;
  return BezierValue(key0.value, y, key1.inHandleValue + key1.value, key1.value, t);
}

float OscillatorValue(const Oscillator& oscillator, float time) {
  if (oscillator.period == 0) return 0;  // no wave rather than a NaN in every channel it feeds
  float phase = std::fmod(time - oscillator.start, oscillator.period) / oscillator.period;
  return oscillator.amplitude * std::sin(phase * 6.2831855f - 3.1415927f);
}

namespace {

// The keyed curve at time: the span's value between the first and the last key, held flat
// outside them.
float KeyedValue(const std::vector<EnvelopeKey>& keys, float time) {
  if (keys.empty()) return 0;
  if (keys.size() == 1 || time >= keys.back().time) return keys.back().value;
  const size_t i1 = FindSpanEnd(keys, time);
  if (i1 == keys.size()) return keys.back().value;
  if (i1 == 0) return keys[0].value;
  return SpanValue(keys, i1, time);
}

// The slope (value per frame) at which the Linear behaviour leaves the end key: its span shape
// picks it, as the span leaving (first key) or arriving (last key) would run. Keys at one time
// give no slope.
float EndSlope(const std::vector<EnvelopeKey>& keys, bool first) {
  const EnvelopeKey& key = first ? keys.front() : keys.back();
  const EnvelopeKey& neighbour = first ? keys[1] : keys[keys.size() - 2];
  const float span = first ? neighbour.time - key.time : key.time - neighbour.time;
  if (!(span > 0)) return 0;
  const float rise = first ? neighbour.value - key.value : key.value - neighbour.value;
  switch (key.shape) {
    case SHAPE_STEPPED:
      return 0;
    case SHAPE_TCB:
      return (1 - key.tension) * (1 - key.continuity) * (first ? 1 - key.bias : 1 + key.bias) * rise / span;
    case SHAPE_HERMITE:
    case SHAPE_BEZIER:
      return (first ? key.outTangent : key.inTangent) / span;
    case SHAPE_BEZIER2D: {
      const float handleTime = first ? key.outHandleTime : key.inHandleTime;
      const float handleValue = first ? key.outHandleValue : key.inHandleValue;
      return handleTime != 0 ? handleValue / handleTime : 0;
    }
    default:  // linear, and shapes this system does not know
      return rise / span;
  }
}

// The keyed curve with LightWave's behaviours outside it. Repeating behaviours fold the time
// into the keyed stretch: round k = floor((time − first) / length) starts at first + k·length.
float BehaviourValue(const std::vector<EnvelopeKey>& keys, uint8_t pre, uint8_t post, float time) {
  if (keys.size() < 2) return KeyedValue(keys, time);
  const EnvelopeKey& first = keys.front();
  const EnvelopeKey& last = keys.back();
  const bool before = time < first.time;
  if (!before && !(time > last.time)) return KeyedValue(keys, time);
  const uint8_t behaviour = before ? pre : post;
  switch (behaviour) {
    case BEHAVIOR_RESET:
      return 0;
    case BEHAVIOR_REPEAT:
    case BEHAVIOR_OSCILLATE:
    case BEHAVIOR_OFFSET_REPEAT: {
      const float length = last.time - first.time;
      if (!(length > 0)) return KeyedValue(keys, first.time);
      const float round = std::floor((time - first.time) / length);
      float folded = time - round * length;
      if (behaviour == BEHAVIOR_OSCILLATE && std::fmod(round, 2.0f) != 0) folded = first.time + last.time - folded;
      float value = KeyedValue(keys, folded);
      if (behaviour == BEHAVIOR_OFFSET_REPEAT) value += round * (last.value - first.value);
      return value;
    }
    case BEHAVIOR_LINEAR:
      return before ? first.value + EndSlope(keys, true) * (time - first.time)
                    : last.value + EndSlope(keys, false) * (time - last.time);
    default:  // constant, and codes this system does not know
      return KeyedValue(keys, time);
  }
}

float AddOscillators(const Envelope& envelope, float value, float time) {
  for (const Oscillator* oscillator : envelope.oscillators)
    if (oscillator && oscillator->start <= time && time < oscillator->end)
      value += OscillatorValue(*oscillator, time);
  return value;
}

}  // namespace

float EvaluateEnvelope(const Envelope* envelope, float time) {
  if (!envelope) return 0;
  return AddOscillators(*envelope, KeyedValue(envelope->keys, time), time);
}

float EvaluateEnvelope(const Envelope* envelope, float time, bool lightwave) {
  if (!lightwave || !envelope) return EvaluateEnvelope(envelope, time);
  const std::vector<EnvelopeKey>& keys = envelope->lightwaveKeys.empty() ? envelope->keys : envelope->lightwaveKeys;
  return AddOscillators(*envelope, BehaviourValue(keys, envelope->pre, envelope->post, time), time);
}
