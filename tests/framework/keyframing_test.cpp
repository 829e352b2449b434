#include <gtest/gtest.h>

#include <cmath>
#include <thread>

#include "framework/keyframing.h"
#include "framework/synch.h"

namespace {

using Vell::Keyframing::Ease;
using Vell::Math::Vector3;
using namespace Vell::Keyframing::Runtime;

TEST(Ease, CurveShapeAndLimits) {
  for (float t : {-0.5f, 0.0f, 0.3f, 1.0f, 1.7f}) {
    EXPECT_EQ(Ease::Compute(t, 0, 0), t);  // linear, not clamped
  }
  EXPECT_FLOAT_EQ(Ease::Compute(0.5f, 0.5f, 0.5f), 0.5f);
  for (float t : {0.1f, 0.25f, 0.5f, 0.8f}) {
    // a sum above 1 is normalised: (1, 1) is the same curve as (0.5, 0.5)
    EXPECT_EQ(Ease::Compute(t, 1, 1), Ease::Compute(t, 0.5f, 0.5f));
  }
  EXPECT_EQ(Ease::Compute(0, 0.3f, 0), 0.0f);
  EXPECT_EQ(Ease::Compute(0, 0, 0.3f), 0.0f);
  EXPECT_FLOAT_EQ(Ease::Compute(1, 0.2f, 0.4f), 1.0f);
  // Without arrival ease the end of the curve is its limit 1, not 0/0.
  EXPECT_EQ(Ease::Compute(1, 0.3f, 0), 1.0f);
  EXPECT_EQ(Ease::Compute(1.5f, 0.3f, 0), 1.0f);
  EXPECT_FALSE(std::isnan(Ease::Compute(1, 2.0f, 0)));

  // Hand-computed points: easeOut 0.2, easeIn 0.2 -> v = 1/1.6 = 0.625.
  EXPECT_FLOAT_EQ(Ease::Compute(0.1f, 0.2f, 0.2f), 0.625f * 0.01f / 0.2f);
  EXPECT_FLOAT_EQ(Ease::Compute(0.5f, 0.2f, 0.2f), 0.625f * (1.0f - 0.2f));
  EXPECT_FLOAT_EQ(Ease::Compute(0.9f, 0.2f, 0.2f), 1.0f - 0.625f * 0.01f / 0.2f);
  // Monotonic across the joints.
  float previous = -1;
  for (int i = 0; i <= 100; ++i) {
    const float value = Ease::Compute(static_cast<float>(i) / 100.0f, 0.3f, 0.45f);
    EXPECT_GE(value, previous);
    previous = value;
  }
}

TEST(KeyTrack, EmptyOneKeyAndInterpolation) {
  Vector<float> track;
  track.SetValue(3.0f);
  EXPECT_EQ(track.Evaluate(10), 3.0f);  // no keys: the current value
  EXPECT_EQ(track.FirstTime(), -1);

  track.SetKeys({1, {{5, 7.0f, 0, 0}}});
  for (int t : {-100, 5, 6, 1000}) {
    EXPECT_EQ(track.Evaluate(t), 7.0f);
  }

  Vector<float> linear;
  linear.SetKeys({1, {{0, 0.0f, 0, 0}, {10, 10.0f, 0, 0}}});
  EXPECT_EQ(linear.Evaluate(5), 5.0f);
  EXPECT_EQ(linear.Evaluate(12), 10.0f);
  EXPECT_EQ(linear.Evaluate(-3), 0.0f);
  EXPECT_EQ(linear.Value(), 0.0f);  // SetKeys updated to the first key's time
  linear.Update(4);
  EXPECT_EQ(linear.Value(), 4.0f);

  // The departing key's easeOut and the arriving key's easeIn shape the segment.
  Vector<float> eased;
  eased.SetKeys({1, {{0, 0.0f, 0.9f, 0.2f}, {10, 100.0f, 0.4f, 0.7f}}});
  EXPECT_FLOAT_EQ(eased.Evaluate(3), 100.0f * Ease::Compute(0.3f, 0.2f, 0.4f));

  Vector<float> stepped;
  stepped.SetKeys({0, {{0, 0.0f, 0, 0}, {10, 10.0f, 0, 0}}});
  EXPECT_EQ(stepped.Evaluate(5), stepped.Value());  // mode other than 1: no interpolation
}

TEST(KeyTrack, VectorKeysReplaceAndErase) {
  Vector<Vector3> track;
  track.SetKeys({1, {{0, {0, 0, 0}, 0, 0}, {10, {10, 20, 30}, 0, 0}, {20, {0, 0, 0}, 0, 0}}});
  EXPECT_EQ(track.Evaluate(5), (Vector3{5, 10, 15}));
  track.SetKeys({1, {{10, {-10, 0, 0}, 0, 0}}});  // same time: replaced
  EXPECT_EQ(track.Keys().size(), 3U);
  EXPECT_EQ(track.Evaluate(10), (Vector3{-10, 0, 0}));

  track.EraseKeys(0, 1);
  EXPECT_EQ(track.FirstTime(), 10);
  EXPECT_EQ(track.LastTime(), 20);
  track.EraseKeys(5, 9);  // beyond the end: nothing
  EXPECT_EQ(track.Keys().size(), 2U);
  track.EraseKeys(0, 2);
  EXPECT_TRUE(track.Keys().empty());
}

TEST(KeyTrack, DiscreteTrackHoldsTheLastKey) {
  VectorD<unsigned char> visible;
  visible.SetKeys({{0, 1}, {10, 0}, {20, 1}});
  EXPECT_EQ(visible.Evaluate(9), 1);
  EXPECT_EQ(visible.Evaluate(10), 0);
  EXPECT_EQ(visible.Evaluate(19), 0);
  EXPECT_EQ(visible.Evaluate(25), 1);
  EXPECT_EQ(visible.Evaluate(-1), 1);
}

TEST(Synch, WaitFiresAtMostOncePerPeriod) {
  Vell::Time::Synch synch;
  synch.Reset();
  float remaining = -1;
  EXPECT_FALSE(synch.Wait(10.0f, &remaining));
  EXPECT_GT(remaining, 9.0f);
  EXPECT_LE(remaining, 10.0f);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_TRUE(synch.Wait(0.01f, &remaining));
  EXPECT_EQ(remaining, 0.0f);
  EXPECT_GE(synch.LastInterval(), 0.01f);
  EXPECT_FALSE(synch.Wait(5.0f, nullptr));  // just marked: not due again
}

TEST(TimeReadout, MinutesAndSeconds) {
  EXPECT_EQ(Vell::Time::Minutes(125999), 2);
  EXPECT_EQ(Vell::Time::Seconds(125999), 5);
  EXPECT_EQ(Vell::Time::Seconds(59999), 59);
  EXPECT_EQ(Vell::Time::Minutes(59999), 0);
}

}  // namespace
