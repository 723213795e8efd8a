#include "support/SceneFixture.h"

#include <cmath>
#include <cstring>
#include <random>

namespace {

using test::Key;

Envelope Make(std::vector<EnvelopeKey> keys, uint8_t behaviour = BEHAVIOR_CONSTANT) {
  Envelope envelope;
  envelope.keys = std::move(keys);
  envelope.pre = envelope.post = behaviour;
  return envelope;
}

// Worked (time, value) probes of each span shape, behaviour (before and after) and oscillator.
TEST(Envelope, EachShapeBehaviourAndOscillatorGivesItsWorkedValues) {
  struct Curve {
    std::vector<EnvelopeKey> keys;
    std::vector<std::array<float, 2>> probes;
    uint8_t behaviour = BEHAVIOR_CONSTANT;
    bool lightwave = false;
    std::vector<Oscillator*> oscillators = {};
  };
  constexpr uint32_t TCB = SHAPE_TCB;
  constexpr bool LW = true;
  Oscillator wave{4, 2, 10, 21};  // period 4 frames, amplitude 2, frames [10, 21)
  Oscillator other{8, 1, 0, 100};
  Oscillator still{0, 5, 0, 100};  // no period: no wave, not a NaN
  const std::vector<EnvelopeKey> three = {Key(10, 2), Key(20, 6), Key(30, 4)};
  std::vector<Curve> curves = {
      {{}, {{5, 0}}},
      {{Key(10, 3.5f, TCB)}, {{-100, 3.5f}, {10, 3.5f}, {1e6f, 3.5f}}},
      // Held before the first key, a middle key starts its span at t = 0, never extrapolated.
      {{Key(0, 1, TCB), Key(10, 7.25f, TCB), Key(20, -2, SHAPE_HERMITE)}, {{-5, 1}, {0, 1}, {10, 7.25f}, {20, -2}, {35, -2}}},
      {{Key(0, 1), Key(10, 7, SHAPE_STEPPED)}, {{0, 1}, {9.99f, 1}, {10, 7}}},
      // Two TCB keys: the difference, a straight line; tension 0.5 halves one: 5 + 0.125·5 − 0.125·10.
      {{Key(0, 0, TCB), Key(10, 10, TCB)}, {{2.5f, 2.5f}}},
      {{{.time = 0, .tension = 0.5f, .shape = TCB}, Key(10, 10, TCB)}, {{5, 4.375f}}},
      // A peak leaves by the difference, arrives by the average (0); bias 0.5: both 5; continuity 0.5: arrives by −5.
      {{Key(0, 0, TCB), Key(10, 10, TCB), Key(20, 0, TCB)}, {{5, 6.25f}, {15, 6.25f}}},
      {{Key(0, 0, TCB), {.time = 10, .bias = 0.5f, .value = 10, .shape = TCB}, Key(20, 0, TCB)}, {{5, 5.625f}, {15, 6.875f}}},
      {{Key(0, 0, TCB), {.time = 10, .continuity = 0.5f, .value = 10, .shape = TCB}, Key(20, 0, TCB)}, {{5, 6.875f}}},
      // Handles a third of the span in: time runs evenly, so time 2.5 is the Bezier 0, 4, 10, 10 at 0.25.
      {{{.time = 0, .shape = SHAPE_BEZIER2D, .outHandleTime = 10.0f / 3, .outHandleValue = 4},
        {.time = 10, .value = 10, .shape = SHAPE_BEZIER2D, .inHandleTime = -10.0f / 3}},
       {{2.5f, 3.25f}, {5, 6.5f}}},
      // After a linear key the handle is flat a third in; with one at −5, t = 0.75 is at 6.796875: 8.4375.
      {{Key(0, 0), {.time = 10, .value = 10, .shape = SHAPE_BEZIER2D, .inHandleTime = -5}},
       {{4.375f, 5}, {6.796875f, 8.4375f}}},
      // The Linear behaviour leaves by the end key's slope: TCB (with bias), Hermite, 2D Bezier; stepped: flat.
      {{Key(0, 0, TCB), Key(10, 10, TCB)}, {{15, 15}}, BEHAVIOR_LINEAR, LW},
      {{Key(0, 0, TCB), {.time = 10, .bias = -0.5f, .value = 10, .shape = TCB}}, {{15, 12.5f}}, BEHAVIOR_LINEAR, LW},
      {{{.time = 0, .outTangent = 6, .shape = SHAPE_HERMITE}, Key(10, 10, TCB)}, {{-5, -3}}, BEHAVIOR_LINEAR, LW},
      {{{.time = 0, .shape = SHAPE_BEZIER2D, .outHandleTime = 2, .outHandleValue = 1}, Key(10, 10, TCB)}, {{-4, -2}},
       BEHAVIOR_LINEAR, LW},
      {{Key(0, 0, TCB), Key(10, 10, SHAPE_STEPPED)}, {{40, 10}}, BEHAVIOR_LINEAR, LW},
      {{Key(10, 3)}, {{50, 3}}, BEHAVIOR_RESET, LW},  // one key gives its value everywhere
      // Behaviours on three straight keys, the same code before and after; the classic look holds the ends.
      {three, {{5, 0}, {35, 0}, {55, 0}, {-15, 0}, {30, 4}, {25, 5}}, BEHAVIOR_RESET, LW},
      {three, {{5, 2}, {35, 4}, {55, 4}, {-15, 2}, {30, 4}, {25, 5}}, BEHAVIOR_CONSTANT, LW},
      {three, {{5, 5}, {35, 4}, {55, 4}, {-15, 5}, {30, 4}, {25, 5}}, BEHAVIOR_REPEAT, LW},
      {three, {{5, 4}, {35, 5}, {55, 4}, {-15, 5}, {30, 4}, {25, 5}}, BEHAVIOR_OSCILLATE, LW},
      {three, {{5, 3}, {35, 6}, {55, 8}, {-15, 1}, {30, 4}, {25, 5}}, BEHAVIOR_OFFSET_REPEAT, LW},
      {three, {{5, 0}, {35, 3}, {55, -1}, {-15, -8}, {30, 4}, {25, 5}}, BEHAVIOR_LINEAR, LW},
      {three, {{5, 2}, {35, 4}, {55, 4}, {-15, 2}, {30, 4}, {25, 5}}, 9, LW},  // past the known codes
      {three, {{5, 2}, {35, 4}, {55, 4}, {-15, 2}}, BEHAVIOR_RESET},
      {three, {{5, 2}, {35, 4}}, BEHAVIOR_OFFSET_REPEAT},
      // Oscillators: from 0, negative first, periodic, only in their window; all added to keyed values.
      {{}, {{9.99f, 0}, {10, 0}, {11, -2}, {13, 2}, {15, -2}, {21, 0}}, BEHAVIOR_CONSTANT, false, {&wave}},
      {{Key(0, 3)}, {{11, 3 - 2 + OscillatorValue(other, 11)}}, BEHAVIOR_CONSTANT, false, {&wave, &other}},
      {{}, {{50, 0}}, BEHAVIOR_CONSTANT, false, {&still}},
  };
  // Shapes the object loader leaves at 0 (and any other unknown value) run straight.
  for (uint32_t shape : {0u, 7u, 0xFFFFFFFFu})
    curves.push_back({{Key(0, 0, shape), Key(10, 10, shape), Key(20, 0, shape)}, {{2.5f, 2.5f}, {15, 5}}});
  // Stored tangents, 5 + 0.125·2 − 0.125·4, scaled by the spans (10/20, 10/30); flat after linear, stepped, 2D Bezier.
  for (uint32_t shape : {SHAPE_HERMITE, SHAPE_BEZIER}) {
    const EnvelopeKey k0{.time = 0, .outTangent = 2, .shape = shape};
    const EnvelopeKey k1{.time = 10, .inTangent = 4, .value = 10, .shape = shape};
    curves.push_back({{k0, k1}, {{5, 4.75f}}});
    curves.push_back({{Key(-10, 0), k0, k1, Key(30, 0)}, {{5, 5 + 0.125f - 0.125f * 4 / 3}}});
    for (uint32_t flat : {SHAPE_LINEAR, SHAPE_STEPPED, SHAPE_BEZIER2D})
      curves.push_back({{{.time = 0, .outTangent = 2, .shape = flat}, k1}, {{5, 4.5f}}});
  }
  for (size_t i = 0; i < curves.size(); ++i) {
    const Curve& c = curves[i];
    Envelope envelope = Make(c.keys, c.behaviour);
    envelope.oscillators = c.oscillators;
    for (const auto& [time, value] : c.probes)
      EXPECT_NEAR(EvaluateEnvelope(&envelope, time, c.lightwave), value, 1e-4f) << "curve " << i << " at " << time;
  }
  EXPECT_EQ(EvaluateEnvelope(nullptr, 5), 0);

  // A long span whose time steps past the solver's tolerance, and a NaN handle, still give a value.
  Envelope longSpan = Make({{.time = 0, .shape = SHAPE_BEZIER2D, .outHandleTime = 8000},
                            {.time = 20000, .value = 10, .shape = SHAPE_BEZIER2D, .inHandleTime = -8000}});
  EXPECT_NEAR(EvaluateEnvelope(&longSpan, 10124.368164f), 5.25f, 0.25f);
  longSpan.keys[1].inHandleTime = std::nanf("");
  EXPECT_TRUE(std::isfinite(EvaluateEnvelope(&longSpan, 10124.368164f)));
}

// A long envelope gives, bit for bit, what a copy of only the keys its span reads gives (scanned).
TEST(Envelope, LongEnvelopesMatchTheShortSpanTheyContain) {
  std::mt19937 random(1234);
  std::uniform_real_distribution<float> unit(0, 1);
  for (int round = 0; round < 4; ++round) {
    std::vector<EnvelopeKey> keys;
    float time = -50;
    for (int i = 0; i < 1500; ++i) {
      EnvelopeKey key = Key(time, unit(random) * 200 - 100, uint32_t(random() % 8));
      key.bias = key.outTangent = unit(random) * 2 - 1;
      key.outHandleTime = unit(random) * 3;
      keys.push_back(key);
      time += (i % 7 == 3) ? 0 : unit(random) * 5;  // some keys share a time
    }
    Envelope envelope = Make(keys);
    const float first = keys.front().time, last = keys.back().time;
    for (int probe = 0; probe < 3000; ++probe) {
      float t = probe % 5 == 0 ? keys[random() % keys.size()].time
                               : first - 10 + unit(random) * (last - first + 20);
      size_t i1 = 0;
      while (i1 < keys.size() && !(keys[i1].time > t)) ++i1;
      Envelope window;
      if (i1 == 0 || i1 == keys.size())
        window.keys = {i1 ? keys.back() : keys.front()};
      else
        window.keys.assign(keys.begin() + (i1 >= 2 ? i1 - 2 : 0), keys.begin() + std::min(keys.size(), i1 + 2));
      const float expected = EvaluateEnvelope(&window, t), got = EvaluateEnvelope(&envelope, t);
      ASSERT_EQ(std::memcmp(&expected, &got, sizeof got), 0) << "time " << t << ": " << got << " vs " << expected;
    }
  }
}

}  // namespace
