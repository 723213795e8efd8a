// Envelope evaluations per second for short (4 keys) and long (1000 keys, baked motion)
// envelopes of mixed shapes, at times spread over the whole key range. BM_LinearScan evaluates
// the same spans but finds them by scanning every key from the first, for comparison.
#include "scene/Scene.h"

#include <benchmark/benchmark.h>

#include <random>

namespace {

Envelope MixedEnvelope(int keyCount) {
  std::mt19937 random{uint32_t(keyCount)};
  std::uniform_real_distribution<float> unit(0, 1);
  // TCB, Hermite, 1D Bezier, linear, stepped and 2D Bezier spans in turn.
  const uint32_t shapes[] = {SHAPE_TCB, SHAPE_HERMITE, SHAPE_BEZIER, SHAPE_LINEAR, SHAPE_STEPPED, SHAPE_BEZIER2D};
  Envelope envelope;
  float time = 0;
  for (int i = 0; i < keyCount; ++i) {
    EnvelopeKey key;
    key.time = time;
    key.value = unit(random) * 100;
    key.shape = shapes[i % 6];
    key.tension = unit(random) - 0.5f;
    key.inTangent = unit(random) * 10;
    key.outTangent = unit(random) * 10;
    key.outHandleTime = 0.5f;
    key.inHandleTime = -0.5f;
    envelope.keys.push_back(key);
    time += 1 + unit(random) * 3;
  }
  return envelope;
}

std::vector<float> SpreadTimes(const Envelope& envelope) {
  std::mt19937 random(7);
  std::uniform_real_distribution<float> over(envelope.keys.front().time, envelope.keys.back().time);
  std::vector<float> times(4096);
  for (float& t : times) t = over(random);
  return times;
}

void BM_Evaluate(benchmark::State& state) {
  Envelope envelope = MixedEnvelope(int(state.range(0)));
  std::vector<float> times = SpreadTimes(envelope);
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(EvaluateEnvelope(&envelope, times[i]));
    i = (i + 1) & (times.size() - 1);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Evaluate)->Arg(4)->Arg(1000);

// The span value as EvaluateEnvelope computes it, after a key-by-key scan for the span.
float EvaluateByScan(const Envelope& envelope, float time) {
  const std::vector<EnvelopeKey>& keys = envelope.keys;
  if (time >= keys.back().time) return keys.back().value;
  size_t i1 = 0;
  while (i1 < keys.size() && !(keys[i1].time > time)) ++i1;
  if (i1 == 0) return keys[0].value;
  const EnvelopeKey& key0 = keys[i1 - 1];
  const EnvelopeKey& key1 = keys[i1];
  const EnvelopeKey* previous = i1 >= 2 ? &keys[i1 - 2] : nullptr;
  const EnvelopeKey* next = i1 + 1 < keys.size() ? &keys[i1 + 1] : nullptr;
  float t = (time - key0.time) / (key1.time - key0.time);
  switch (key1.shape) {
    case SHAPE_HERMITE:
    case SHAPE_BEZIER:
    case SHAPE_TCB: {
      HermiteWeights h = HermiteBasis(t);
      return h.h1 * key0.value + h.h2 * key1.value + h.h3 * OutgoingTangent(key0, key1, previous) +
             h.h4 * IncomingTangent(key0, key1, next);
    }
    case SHAPE_STEPPED:
      return key0.value;
    case SHAPE_BEZIER2D:
      return TwoDimensionalBezier(key0, key1, time, previous);
    default:
      return key0.value + (key1.value - key0.value) * t;
  }
}

void BM_LinearScan(benchmark::State& state) {
  Envelope envelope = MixedEnvelope(int(state.range(0)));
  std::vector<float> times = SpreadTimes(envelope);
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(EvaluateByScan(envelope, times[i]));
    i = (i + 1) & (times.size() - 1);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LinearScan)->Arg(4)->Arg(1000);

}  // namespace

BENCHMARK_MAIN();
