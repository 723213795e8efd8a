#include "support/SceneFixture.h"

#include <cmath>
#include <cstring>
#include <random>

namespace {

using test::Key;

Envelope Make(std::vector<EnvelopeKey> keys) {
  Envelope envelope;
  envelope.keys = std::move(keys);
  return envelope;
}

TEST(Envelope, HoldsEndValuesHitsKeysAndRunsLinearSteppedAndUnknownShapes) {
  Envelope empty;
  EXPECT_EQ(EvaluateEnvelope(&empty, 5), 0);
  EXPECT_EQ(EvaluateEnvelope(nullptr, 5), 0);

  Envelope one = Make({Key(10, 3.5f, SHAPE_TCB)});
  for (float time : {-100.0f, 10.0f, 1e6f}) EXPECT_EQ(EvaluateEnvelope(&one, time), 3.5f);

  Envelope curve = Make({Key(0, 1, SHAPE_TCB), Key(10, 7.25f, SHAPE_TCB), Key(20, -2, SHAPE_HERMITE)});
  // Held before the first key, a middle key starts its span at t = 0, never extrapolated.
  const float held[][2] = {{-5, 1}, {0, 1}, {10, 7.25f}, {20, -2}, {35, -2}};
  for (const auto& [time, value] : held) EXPECT_EQ(EvaluateEnvelope(&curve, time), value) << time;

  Envelope linear = Make({Key(0, 0), Key(10, 10)});
  EXPECT_FLOAT_EQ(EvaluateEnvelope(&linear, 2.5f), 2.5f);

  Envelope stepped = Make({Key(0, 1), Key(10, 7, SHAPE_STEPPED)});
  EXPECT_TRUE(EvaluateEnvelope(&stepped, 0) == 1 && EvaluateEnvelope(&stepped, 9.99f) == 1);
  EXPECT_EQ(EvaluateEnvelope(&stepped, 10), 7);

  // Shapes the object loader leaves at 0 (and any other unknown value) run straight.
  for (uint32_t shape : {0u, 7u, 0xFFFFFFFFu}) {
    Envelope unknown = Make({Key(0, 0, shape), Key(10, 10, shape), Key(20, 0, shape)});
    EXPECT_FLOAT_EQ(EvaluateEnvelope(&unknown, 2.5f), 2.5f) << shape;
    EXPECT_FLOAT_EQ(EvaluateEnvelope(&unknown, 15), 5) << shape;
  }
}

TEST(Envelope, TcbTangentsFollowNeighboursAndParameters) {
  // Two keys alone: tangents are the difference, a straight line.
  Envelope pair = Make({Key(0, 0, SHAPE_TCB), Key(10, 10, SHAPE_TCB)});
  EXPECT_FLOAT_EQ(EvaluateEnvelope(&pair, 2.5f), 2.5f);

  // A peak leaves with the difference (10), arrives with the neighbours' average (0): 0.5·10 + 0.125·10.
  Envelope peak = Make({Key(0, 0, SHAPE_TCB), Key(10, 10, SHAPE_TCB), Key(20, 0, SHAPE_TCB)});
  EXPECT_FLOAT_EQ(EvaluateEnvelope(&peak, 5), 6.25f);
  EXPECT_FLOAT_EQ(EvaluateEnvelope(&peak, 15), 6.25f);

  // Bias 0.5 on the peak: both its tangents (1.5·10 + 0.5·(−10))·10/20 = 5.
  peak.keys[1].bias = 0.5f;
  EXPECT_FLOAT_EQ(EvaluateEnvelope(&peak, 5), 5.625f);
  EXPECT_FLOAT_EQ(EvaluateEnvelope(&peak, 15), 6.875f);

  // Continuity 0.5 instead swaps the weights of the arriving tangent: (1.5·(−10) + 0.5·10)/2 = −5.
  peak.keys[1].bias = 0;
  peak.keys[1].continuity = 0.5f;
  EXPECT_FLOAT_EQ(EvaluateEnvelope(&peak, 5), 6.875f);

  // Tension 0.5 on a first key halves its leaving tangent: 5 + 0.125·5 − 0.125·10 = 4.375.
  pair.keys[0].tension = 0.5f;
  EXPECT_FLOAT_EQ(EvaluateEnvelope(&pair, 5), 4.375f);
}

TEST(Envelope, HermiteAndBezierUseStoredTangents) {
  for (uint32_t shape : {SHAPE_HERMITE, SHAPE_BEZIER}) {
    EnvelopeKey k0 = Key(0, 0, shape), k1 = Key(10, 10, shape);
    k0.outTangent = 2;
    k1.inTangent = 4;
    Envelope alone = Make({k0, k1});
    EXPECT_FLOAT_EQ(EvaluateEnvelope(&alone, 5), 4.75f) << shape;  // 5 + 0.125·2 − 0.125·4

    // A key 10 frames before scales the leaving tangent by 10/20, one 20 after the arriving by 10/30.
    Envelope framed = Make({Key(-10, 0), k0, k1, Key(30, 0)});
    EXPECT_FLOAT_EQ(EvaluateEnvelope(&framed, 5), 5 + 0.125f * 1 - 0.125f * (4.0f / 3)) << shape;

    // After a linear or stepped key the span leaves flat, whatever the key stores.
    for (uint32_t before : {SHAPE_LINEAR, SHAPE_STEPPED, SHAPE_BEZIER2D}) {
      EnvelopeKey flat = k0;
      flat.shape = before;
      Envelope afterFlat = Make({flat, k1});
      EXPECT_FLOAT_EQ(EvaluateEnvelope(&afterFlat, 5), 4.5f) << shape << " after " << before;
    }
  }
}

TEST(Envelope, TwoDimensionalBezierSolvesForTime) {
  // Handles a third of the span in: time runs evenly, so time 2.5 is the Bezier 0, 4, 10, 10 at 0.25.
  EnvelopeKey k0 = Key(0, 0, SHAPE_BEZIER2D), k1 = Key(10, 10, SHAPE_BEZIER2D);
  k0.outHandleTime = 10.0f / 3;
  k0.outHandleValue = 4;
  k1.inHandleTime = -10.0f / 3;
  Envelope even = Make({k0, k1});
  EXPECT_NEAR(EvaluateEnvelope(&even, 2.5f), 3.25f, 1e-3f);
  EXPECT_NEAR(EvaluateEnvelope(&even, 5), 6.5f, 1e-3f);

  // After a linear key the leaving handle sits a third in, flat; with the arriving one at −5
  // frames, t = 0.75 is reached at time 6.796875, where the values 0, 0, 10, 10 give 8.4375.
  EnvelopeKey linear = Key(0, 0);
  k1.inHandleTime = -5;
  Envelope skewed = Make({linear, k1});
  EXPECT_NEAR(EvaluateEnvelope(&skewed, 4.375f), 5, 1e-3f);
  EXPECT_NEAR(EvaluateEnvelope(&skewed, 6.796875f), 8.4375f, 1e-3f);

  // A long span whose time steps past the solver's tolerance, and a NaN handle, still give a value.
  EnvelopeKey long0 = Key(0, 0, SHAPE_BEZIER2D), long1 = Key(20000, 10, SHAPE_BEZIER2D);
  long0.outHandleTime = 8000;
  long1.inHandleTime = -8000;
  Envelope longSpan = Make({long0, long1});
  float value = EvaluateEnvelope(&longSpan, 10124.368164f);
  EXPECT_GT(value, 5);
  EXPECT_LT(value, 5.5f);
  longSpan.keys[1].inHandleTime = std::nanf("");
  EXPECT_TRUE(std::isfinite(EvaluateEnvelope(&longSpan, 10124.368164f)));
}

TEST(Envelope, OscillatorsAddInsideTheirWindow) {
  Oscillator wave{4, 2, 10, 20};  // period 4 frames, amplitude 2, frames [10, 20)
  Oscillator other{8, 1, 0, 100};
  Envelope bare;
  bare.oscillators = {&wave};
  // From 0, negative first, repeating every period; nothing outside [10, 20).
  const float times[][2] = {{9.99f, 0}, {10, 0}, {11, -2}, {13, 2}, {15, -2}, {20, 0}};
  for (const auto& [time, value] : times) EXPECT_NEAR(EvaluateEnvelope(&bare, time), value, 1e-5f) << time;

  // Added to keyed values too, every oscillator in turn.
  Envelope keyed = Make({Key(0, 3)});
  keyed.oscillators = {&wave, &other};
  EXPECT_NEAR(EvaluateEnvelope(&keyed, 11), 3 - 2 + OscillatorValue(other, 11), 1e-5f);
  Oscillator still{0, 5, 0, 100};  // no period: no wave, not a NaN
  bare.oscillators = {&still};
  EXPECT_EQ(EvaluateEnvelope(&bare, 50), 0);
}

// The worked examples of LightWave's behaviours: keys (10, 2) (20, 6) (30, 4), straight, with
// the same code before and after. The classic look holds 2 and 4 whatever the code.
TEST(Envelope, BehavioursOutsideTheKeysAsLightWaveDefinesThem) {
  Envelope envelope = Make({Key(10, 2), Key(20, 6), Key(30, 4)});
  const float times[] = {5, 35, 55, -15};
  const struct {
    uint8_t code;
    float values[4];
  } rows[] = {
      {BEHAVIOR_RESET, {0, 0, 0, 0}},        {BEHAVIOR_CONSTANT, {2, 4, 4, 2}},
      {BEHAVIOR_REPEAT, {5, 4, 4, 5}},       {BEHAVIOR_OSCILLATE, {4, 5, 4, 5}},
      {BEHAVIOR_OFFSET_REPEAT, {3, 6, 8, 1}}, {BEHAVIOR_LINEAR, {0, 3, -1, -8}},
      {9, {2, 4, 4, 2}},  // a code past the known ones holds
  };
  for (const auto& row : rows) {
    envelope.pre = envelope.post = row.code;
    for (int i = 0; i < 4; ++i) {
      EXPECT_NEAR(EvaluateEnvelope(&envelope, times[i], true), row.values[i], 1e-5f)
          << int(row.code) << " " << times[i];
      EXPECT_EQ(EvaluateEnvelope(&envelope, times[i], false), times[i] < 10 ? 2 : 4);
    }
    EXPECT_EQ(EvaluateEnvelope(&envelope, 30, true), 4);  // the end keys themselves
    EXPECT_FLOAT_EQ(EvaluateEnvelope(&envelope, 25, true), 5);
  }
  // One key gives its value everywhere, whatever the behaviour.
  Envelope one = Make({Key(10, 3)});
  one.pre = one.post = BEHAVIOR_RESET;
  EXPECT_EQ(EvaluateEnvelope(&one, 50, true), 3);

  // Linear leaves by the end key's own slope: TCB (with bias), Hermite and 2D Bezier; stepped stays flat.
  Envelope tcb = Make({Key(0, 0, SHAPE_TCB), Key(10, 10, SHAPE_TCB)});
  tcb.pre = tcb.post = BEHAVIOR_LINEAR;
  EXPECT_FLOAT_EQ(EvaluateEnvelope(&tcb, 15, true), 15);
  tcb.keys[1].bias = -0.5f;
  EXPECT_FLOAT_EQ(EvaluateEnvelope(&tcb, 15, true), 12.5f);
  tcb.keys[0].shape = SHAPE_HERMITE;
  tcb.keys[0].outTangent = 6;
  EXPECT_FLOAT_EQ(EvaluateEnvelope(&tcb, -5, true), -3);
  tcb.keys[0].shape = SHAPE_BEZIER2D;
  tcb.keys[0].outHandleTime = 2;
  tcb.keys[0].outHandleValue = 1;
  EXPECT_FLOAT_EQ(EvaluateEnvelope(&tcb, -4, true), -2);
  tcb.keys[1].shape = SHAPE_STEPPED;
  EXPECT_EQ(EvaluateEnvelope(&tcb, 40, true), 10);
}

bool SameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// A long envelope gives, bit for bit, what a copy of only the keys its span reads gives (short
// enough to be scanned key by key).
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
      ASSERT_TRUE(SameBits(expected, got)) << "time " << t << ": " << got << " vs " << expected;
    }
  }
}

}  // namespace
