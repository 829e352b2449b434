#include "ovatix/volumer.h"

#include <gtest/gtest.h>

namespace {

std::vector<float> Two(float a, float b) { return {a, b}; }

TEST(Volumer, RampStepsFrameByFrameAndFinishes) {
  TVolumer v({1.0f});
  v.Ramp({0.0f}, 4);
  const float expected[] = {0.75f, 0.5f, 0.25f, 0.0f};
  for (int i = 0; i < 4; ++i) {
    EXPECT_FALSE(v.IsFinished()) << i;
    v.Advance(1);
    EXPECT_FLOAT_EQ(v.Current()[0], expected[i]) << i;
  }
  EXPECT_TRUE(v.IsFinished());
}

TEST(Volumer, AdvanceSpillsIntoQueuedNodeFrameExactly) {
  TVolumer v(Two(1.0f, 1.0f));
  v.Ramp(Two(0.0f, 0.0f), 4);
  v.AddNode(Two(0.8f, 0.4f), 8);
  EXPECT_EQ(v.PendingNodes(), 1u);
  v.Advance(10);
  // The first ramp ended after 4 frames; the 8-frame node has run 6 of its frames.
  EXPECT_EQ(v.Remaining(), 2);
  EXPECT_EQ(v.PendingNodes(), 0u);
  EXPECT_NEAR(v.Current()[0], 0.6f, 1e-6);
  EXPECT_NEAR(v.Current()[1], 0.3f, 1e-6);
  v.Advance(2);
  EXPECT_TRUE(v.IsFinished());
  EXPECT_NEAR(v.Current()[0], 0.8f, 1e-6);
}

TEST(Volumer, ChainedNodesMatchSingleFrameAdvancesAndFadeShape) {
  // Fade shape as the series scheduler queues it: silent, fade in over 4, fade out over 6.
  TVolumer a({1.0f});
  a.AddNode({0.0f}, 0);
  EXPECT_EQ(a.Current()[0], 0.0f);  // a zero-length node applies at once
  a.AddNode({0.5f}, 4);
  EXPECT_EQ(a.Remaining(), 4);  // started without moving the gain
  EXPECT_EQ(a.Current()[0], 0.0f);
  a.AddNode({0.0f}, 6);
  TVolumer b = a;
  std::vector<float> seen;
  for (int i = 0; i < 10; ++i) {
    seen.push_back(a.Current()[0]);
    EXPECT_FALSE(a.IsFinished()) << i;
    a.Advance1();
  }
  EXPECT_TRUE(a.IsFinished());
  EXPECT_FLOAT_EQ(seen[4], 0.5f);  // peak right after the fade in
  EXPECT_FLOAT_EQ(seen[1], 0.125f);
  // Advancing in uneven steps crosses the node boundary at the same frame.
  b.Advance(3);
  EXPECT_NEAR(b.Current()[0], 0.375f, 1e-6);
  b.Advance(5);
  EXPECT_EQ(b.Remaining(), 2);
  EXPECT_NEAR(b.Current()[0], 0.5f / 6 * 2, 1e-6);
  b.Advance(2);
  EXPECT_TRUE(b.IsFinished());
  EXPECT_NEAR(b.Current()[0], a.Current()[0], 1e-6);
}

TEST(Volumer, MuteKeepsRampRunningAndIdentityRules) {
  TVolumer v(Two(1.0f, 1.0f));
  EXPECT_TRUE(v.IsIdentity());
  v.Mute(true);
  EXPECT_FALSE(v.IsIdentity());
  int32_t frame[2] = {1000, -1000};
  v.Apply(frame);
  EXPECT_EQ(frame[0], 0);
  EXPECT_EQ(frame[1], 0);
  v.Mute(false);
  v.Ramp(Two(0.0f, 0.5f), 10);
  EXPECT_FALSE(v.IsIdentity());
  v.Mute(true);
  v.Advance(5);
  EXPECT_TRUE(v.IsMuted());
  v.Mute(false);
  EXPECT_FLOAT_EQ(v.Current()[0], 0.5f);
  EXPECT_FLOAT_EQ(v.Current()[1], 0.75f);
  int32_t f2[2] = {1001, -1001};
  v.Apply(f2);
  EXPECT_EQ(f2[0], 500);  // truncated toward zero
  EXPECT_EQ(f2[1], -750);
}

TEST(Volumer, NonFiniteAndHugeGainsAreLimited) {
  TVolumer v({1.0f});
  v.Ramp({std::numeric_limits<float>::quiet_NaN()}, 0);
  EXPECT_EQ(v.Current()[0], 0.0f);
  v.Ramp({1e30f}, 0);
  EXPECT_EQ(v.Current()[0], TVolumer::kMaxGain);
}

}  // namespace
