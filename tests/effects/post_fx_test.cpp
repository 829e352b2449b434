#include "effects/post_fx.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

using Kesh::Game::PostFX;
using Vell::Gfx::Argb;
using Vell::Gfx::Canvas;

// The player's side: a current frame and the current style's parameters.
class Style : public PostFX::Source {
 public:
  int CurrentFrame() const override { return frame; }
  std::vector<float> FadeParams() const override { return fade; }
  std::vector<float> StrobeParams() const override { return strobe; }

  int frame = 0;
  std::vector<float> fade{16, 4};
  std::vector<float> strobe{3, 164, 10};
};

TEST(PostFX, FadeInStepsAndCap) {
  Style style;
  style.fade = {40, 5};
  PostFX fx(&style);
  std::vector<int> levels;
  for (int i = 0; i < 7; ++i) {
    fx.FadeIn(1, false);
    levels.push_back(fx.FadeLevel());
    ASSERT_NE(fx.GetFade(), nullptr);
    EXPECT_FLOAT_EQ(fx.GetFade()->target, static_cast<float>(fx.FadeLevel()));
    EXPECT_FLOAT_EQ(fx.GetFade()->rate, 5);  // the style's rate stays
  }
  EXPECT_EQ(levels, (std::vector<int>{40, 80, 120, 160, 200, 240, 255}));
  EXPECT_EQ(fx.Filters().Count(), 1);

  PostFX many(&style);
  style.fade = {16, 4};
  many.FadeIn(20, false);
  EXPECT_EQ(many.FadeLevel(), 255);
  EXPECT_EQ(many.FadeStep(), 16);
}

TEST(PostFX, FadeOutLightensAtTheStyleRateAndIsRemovedAtZero) {
  Style style;  // depth 16, inc 4
  style.frame = 100;
  PostFX fx(&style);
  Canvas canvas(3, 1);
  fx.SetTarget(&canvas);

  fx.FadeOut(false);  // nothing to lighten
  EXPECT_EQ(fx.GetFade(), nullptr);
  EXPECT_EQ(fx.FadeLevel(), 0);

  fx.FadeIn(1, false);
  fx.FadeIn(1, false);
  auto* fade = fx.GetFade();
  EXPECT_EQ(fade->start, 100);
  EXPECT_EQ(fade->end, 0x0FFFFFFF);
  EXPECT_FLOAT_EQ(fade->target, 32);
  for (int frame = 100; frame <= 108; ++frame) {
    canvas.Clear(Argb(255, 200, 200, 200));
    fx.Track(frame);
    fx.Render(frame);
  }
  EXPECT_FLOAT_EQ(fade->level, 32);
  EXPECT_EQ(canvas.Pixel(1, 0), Argb(255, 168, 168, 168));

  fx.FadeOut(false);
  EXPECT_TRUE(fade->fadingOut);
  EXPECT_FLOAT_EQ(fade->target, 16);
  EXPECT_EQ(fx.FadeLevel(), 16);
  fx.Render(109);
  EXPECT_FLOAT_EQ(fade->level, 28);
  fx.Render(115);
  EXPECT_FLOAT_EQ(fade->level, 16);
  fx.Track(116);
  EXPECT_EQ(fx.GetFade(), fade);  // lightened to 16, not finished

  // A fade-in during the fade-out turns it round; then out twice and it ends at 0.
  fx.FadeIn(1, false);
  EXPECT_FALSE(fade->fadingOut);
  EXPECT_EQ(fx.FadeLevel(), 32);
  fx.FadeOut(false);
  fx.FadeOut(false);
  fx.FadeOut(false);  // floored at 0
  EXPECT_EQ(fx.FadeLevel(), 0);
  fx.Render(117);  // two frames: 16 - 8
  fx.Track(117);
  EXPECT_NE(fx.GetFade(), nullptr);
  fx.Render(120);
  EXPECT_FLOAT_EQ(fade->level, 0);
  fx.Track(120);
  EXPECT_EQ(fx.GetFade(), nullptr);
  EXPECT_EQ(fx.Filters().Count(), 0);

  // A new fade starts again at the style's depth.
  fx.FadeIn(1, true);
  EXPECT_FLOAT_EQ(fx.GetFade()->level, 16);  // immediate: at its target at once
  fx.FadeOut(true);
  EXPECT_FLOAT_EQ(fx.GetFade()->level, 0);
  fx.Track(121);
  EXPECT_EQ(fx.GetFade(), nullptr);
}

TEST(PostFX, StyleWithoutIncFadesAtTheDefaultRate) {
  Style style;
  style.fade = {16};
  PostFX fx(&style);
  EXPECT_NO_THROW(fx.FadeIn(1, false));
  ASSERT_NE(fx.GetFade(), nullptr);
  EXPECT_FLOAT_EQ(fx.GetFade()->rate, PostFX::kDefaultFadeRate);
  Canvas canvas(1, 1);
  fx.SetTarget(&canvas);
  fx.Render(3);
  EXPECT_FLOAT_EQ(fx.GetFade()->level, 6);

  // Without any source the fallback style's depth applies.
  PostFX bare;
  bare.FadeIn(1, false);
  EXPECT_EQ(bare.FadeLevel(), 16);
  bare.Strobe();  // the fallback style has no strobe timing
  EXPECT_EQ(bare.GetStrobe(), nullptr);
}

TEST(PostFX, StrobeLifetime) {
  Style style;  // freq 3, depth 164, sustain 10
  style.frame = 50;
  PostFX fx(&style);
  fx.Strobe();
  auto* strobe = fx.GetStrobe();
  ASSERT_NE(strobe, nullptr);
  EXPECT_EQ(strobe->start, 50);
  EXPECT_EQ(strobe->end, 60);
  EXPECT_EQ(strobe->period, 3);
  EXPECT_EQ(strobe->brightness, 164);
  style.frame = 55;
  fx.Strobe();  // a running strobe is left alone
  EXPECT_EQ(fx.GetStrobe(), strobe);
  EXPECT_EQ(strobe->start, 50);
  fx.Track(60);
  EXPECT_EQ(fx.GetStrobe(), strobe);
  fx.Track(61);
  EXPECT_EQ(fx.GetStrobe(), nullptr);
  style.frame = 61;
  fx.Strobe();
  ASSERT_NE(fx.GetStrobe(), nullptr);
  EXPECT_EQ(fx.GetStrobe()->start, 61);
  EXPECT_FALSE(fx.GetStrobe()->lit);

  // A strobe only flashes inside its window.
  Canvas canvas(2, 1);
  fx.SetTarget(&canvas);
  canvas.Clear(Argb(255, 10, 10, 10));
  fx.Render(65);  // 4 frames gathered: lit
  EXPECT_EQ(canvas.Pixel(0, 0), Argb(255, 174, 174, 174));
  canvas.Clear(Argb(255, 10, 10, 10));
  fx.Render(72);  // after the end: not applied
  EXPECT_EQ(canvas.Pixel(0, 0), Argb(255, 10, 10, 10));

  // Incomplete strobe settings start nothing.
  style.strobe = {164};
  PostFX incomplete(&style);
  incomplete.Strobe();
  EXPECT_EQ(incomplete.GetStrobe(), nullptr);
}

TEST(PostFX, ResetRemovesEverythingButKeepsLevelAndStep) {
  Style style;
  PostFX fx(&style);
  fx.FadeIn(2, false);
  fx.Strobe();
  EXPECT_EQ(fx.Filters().Count(), 2);
  EXPECT_TRUE(fx.Reset());
  EXPECT_EQ(fx.Filters().Count(), 0);
  EXPECT_EQ(fx.GetFade(), nullptr);
  EXPECT_EQ(fx.GetStrobe(), nullptr);
  EXPECT_EQ(fx.FadeLevel(), 32);
  EXPECT_EQ(fx.FadeStep(), 16);
  fx.FadeOut(false);  // no fade any more
  EXPECT_EQ(fx.FadeLevel(), 32);
  fx.Render(5);  // no target: nothing
}

}  // namespace

// The frame loop's order (Track, a new burst whenever none runs, Render) over 40 s of a strobe
// that asks for a flash every frame, counting switch-ons and switch-offs from the picture itself:
// limited, no second holds more than three flashes, also across bursts that follow each other;
// unlimited, the style's strobe runs as written.
TEST(PostFX, FlashLimitHoldsAcrossBursts) {
  constexpr int kFrameRate = 25;
  const auto mostFlashesInASecond = [](int limit, std::vector<float> strobe) {
    Style style;
    style.strobe = std::move(strobe);
    PostFX fx(&style);
    fx.LimitFlashing(limit);
    Canvas canvas(1, 1);
    fx.SetTarget(&canvas);
    std::vector<int> changes;
    bool wasLit = false;
    for (int frame = 0; frame < 40 * kFrameRate; ++frame) {
      style.frame = frame;
      fx.Track(frame);
      fx.Strobe();
      canvas.Clear(Argb(255, 0, 0, 0));
      fx.Render(frame);
      const bool lit = canvas.Pixel(0, 0) != Argb(255, 0, 0, 0);
      if (lit != wasLit) {
        changes.push_back(frame);
      }
      wasLit = lit;
    }
    int most = 0;
    for (size_t i = 0; i < changes.size(); ++i) {
      int inSecond = 0;
      for (size_t j = i; j < changes.size() && changes[j] < changes[i] + kFrameRate; ++j) {
        ++inSecond;
      }
      most = std::max(most, inSecond / 2);  // a flash: two opposing changes
    }
    return most;
  };
  const int safe = PostFX::SafeFlashInterval(kFrameRate);
  EXPECT_EQ(safe, 13);
  for (const std::vector<float>& strobe : std::vector<std::vector<float>>{
           {0, 255, 1}, {0, 255, 100000}, {1, 200, 3}, {2, 150, 60}, {-1, 255, 5}}) {
    SCOPED_TRACE(testing::PrintToString(strobe));
    EXPECT_LE(mostFlashesInASecond(safe, strobe), PostFX::kMaxFlashesPerSecond);
  }
  EXPECT_EQ(mostFlashesInASecond(safe, {0, 255, 100000}), 2);  // still a strobe, at a safe rate
  EXPECT_EQ(mostFlashesInASecond(0, {0, 255, 100000}), 12);    // every frame toggles: 12.5 Hz
  EXPECT_EQ(mostFlashesInASecond(0, {2, 150, 60}), 4);         // the old Rock strobe: 4.2 Hz
}

namespace {

// At another frame rate a style's counts in frames keep their length in seconds: at 50 frames a
// second a strobe toggles after twice the frames and lasts twice the frames, a fade moves half
// the level per frame.
TEST(PostFX, StyleCountsKeepTheirSecondsAtAnotherFrameRate) {
  Style style;  // fade depth 16, 4 a frame; strobe every 3 frames, sustain 10
  style.frame = 100;
  PostFX fx(&style);
  fx.SetFrameRate(50);
  fx.Strobe();
  ASSERT_NE(fx.GetStrobe(), nullptr);
  EXPECT_EQ(fx.GetStrobe()->period, 6);
  EXPECT_EQ(fx.GetStrobe()->end, 120);
  fx.FadeIn(1, false);
  ASSERT_NE(fx.GetFade(), nullptr);
  EXPECT_FLOAT_EQ(fx.GetFade()->rate, 2.0f);
  // At the files' own rate nothing changes.
  PostFX same(&style);
  same.SetFrameRate(PostFX::kStyleFrameRate);
  same.Strobe();
  same.FadeIn(1, false);
  EXPECT_EQ(same.GetStrobe()->period, 3);
  EXPECT_EQ(same.GetStrobe()->end, 110);
  EXPECT_FLOAT_EQ(same.GetFade()->rate, 4.0f);
}

}  // namespace
