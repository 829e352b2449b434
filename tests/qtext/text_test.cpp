// Text drawn with the real fonts: the read-outs land where the stage shows them, in their colour;
// karaoke lines are centred, sung text in the rose colour left of the unsung text, one line under
// the other. Pixel checks on images drawn here.
#include <gtest/gtest.h>

#include <algorithm>

#include "gfx/canvas.h"
#include "gfx/text.h"
#include "qtext/text_painter.h"

namespace {

using Vell::Gfx::Image;

class Text : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string why;
    ASSERT_TRUE(Vell::QText::EnsureApplication(&why)) << why;
  }
  Vell::QText::TextPainter painter;
};

struct Box {
  int left = 1 << 20, top = 1 << 20, right = -1, bottom = -1, count = 0;
  void Add(int x, int y) {
    left = std::min(left, x);
    right = std::max(right, x);
    top = std::min(top, y);
    bottom = std::max(bottom, y);
    ++count;
  }
};

// The pixels of image, inside [x0, x1) × [y0, y1), for which keep(pixel) holds.
template <typename Keep>
Box Where(const Image& image, Keep keep, int x0 = 0, int y0 = 0, int x1 = -1, int y1 = -1) {
  Box box;
  x1 = x1 < 0 ? image.Width() : x1;
  y1 = y1 < 0 ? image.Height() : y1;
  for (int y = y0; y < y1; ++y) {
    for (int x = x0; x < x1; ++x) {
      if (keep(image.Pixel(x, y))) {
        box.Add(x, y);
      }
    }
  }
  return box;
}

TEST(Readouts, TimeReadsMinutesAndTwoDigitSeconds) {
  using Vell::Gfx::Readouts::FormatTime;
  EXPECT_EQ(FormatTime(0), "0:00");
  EXPECT_EQ(FormatTime(5999), "0:05");
  EXPECT_EQ(FormatTime(59999), "0:59");
  EXPECT_EQ(FormatTime(65000), "1:05");
  EXPECT_EQ(FormatTime(600000), "10:00");
  EXPECT_EQ(FormatTime(-40), "0:00");
  EXPECT_EQ(Vell::Gfx::Readouts::CounterX("7"), 739);
  EXPECT_EQ(Vell::Gfx::Readouts::CounterX("12"), 757);
  EXPECT_EQ(Vell::Gfx::Readouts::CounterX("123"), 739);
}

TEST_F(Text, ReadoutsAreDrawnTopRightInTheirColour) {
  const uint32_t black = 0xFF000000;
  Image stage(815, 400, black);
  Vell::Gfx::DrawReadouts(painter, stage, 65000, 12);
  const auto drawn = [&](uint32_t p) { return p != black; };
  const Box all = Where(stage, drawn);
  ASSERT_GT(all.count, 100);
  EXPECT_GE(all.left, 730);
  EXPECT_GE(all.top, 8);
  EXPECT_LT(all.bottom, 40 + 2 * Vell::Gfx::Readouts::kCounterPixels);
  // The counter "12" (two characters) starts at 757 under the time.
  const Box counter = Where(stage, drawn, 0, 40 + 4);
  EXPECT_GE(counter.left, 757);
  EXPECT_LE(counter.left, 757 + 6);
  // Fully covered pixels hold the translucent near-white blended over the stage, and nothing is
  // brighter.
  const uint32_t full = Vell::Gfx::BlendOver(Vell::Gfx::Readouts::kColour, black);
  EXPECT_GT(Where(stage, [&](uint32_t p) { return p == full; }).count, 10);
  EXPECT_EQ(
      Where(stage, [&](uint32_t p) { return Vell::Gfx::RedOf(p) > Vell::Gfx::RedOf(full) + 1; })
          .count,
      0);

  // Another second reads differently; nothing drawn with both read-outs off.
  Image later(815, 400, black);
  Vell::Gfx::DrawReadouts(painter, later, 66000, 12);
  EXPECT_FALSE(std::equal(stage.Pixels(), stage.Pixels() + 815 * 400, later.Pixels()));
  Image none(815, 400, black);
  Vell::Gfx::DrawReadouts(painter, none, -1, -1);
  EXPECT_EQ(Where(none, drawn).count, 0);
}

TEST_F(Text, KaraokeLinesAreCentredWithTheSungPartFirst) {
  namespace K = Vell::Gfx::Karaoke;
  Image band(815, K::kViewHeight, 0xFF00FF00);
  const std::string first = "Twinkle twinkle little star";
  Vell::Gfx::DrawLyricLines(painter, band,
                            {{first, std::string("Twinkle twin").size()}, {"How I wonder", 0}});
  Vell::Gfx::TextStyle style;
  style.pixelSize = K::kFontPixels;
  const int height = painter.LineHeight(style);
  ASSERT_GT(height, K::kFontPixels);

  const auto sung = [](uint32_t p) { return p == K::kSung; };
  const auto unsung = [](uint32_t p) { return p == K::kUnsung; };
  const auto text = [](uint32_t p) { return p != K::kBackground; };
  EXPECT_EQ(Where(band, text, 0, 0, 815, K::kFirstTop).count, 0) << "the band is cleared";
  const int secondTop = K::kFirstTop + height;
  const Box sungFirst = Where(band, sung, 0, 0, 815, secondTop);
  const Box unsungFirst = Where(band, unsung, 0, 0, 815, secondTop);
  const Box allFirst = Where(band, text, 0, 0, 815, secondTop);
  ASSERT_GT(sungFirst.count, 50);
  ASSERT_GT(unsungFirst.count, 50);
  EXPECT_LT(sungFirst.right, unsungFirst.left + 2) << "sung text stands left of the rest";
  EXPECT_NEAR((allFirst.left + allFirst.right) / 2.0, 815 / 2.0, 8);
  EXPECT_GE(allFirst.top, K::kFirstTop);

  // The second line, wholly unsung, lies under the first and is centred on its own width.
  const Box sungSecond = Where(band, sung, 0, secondTop);
  const Box second = Where(band, text, 0, secondTop);
  EXPECT_EQ(sungSecond.count, 0);
  ASSERT_GT(second.count, 50);
  EXPECT_NEAR((second.left + second.right) / 2.0, 815 / 2.0, 8);
  EXPECT_GT(second.left, allFirst.left + 20) << "a shorter line starts further right";
  EXPECT_LT(second.bottom, secondTop + height);

  // No lines: only the background.
  Vell::Gfx::DrawLyricLines(painter, band, {});
  EXPECT_EQ(Where(band, text).count, 0);
}

// At scale 2 the read-outs and the karaoke lines land on twice the places at twice the size: the
// boxes of their ink match the scale-1 boxes doubled, within the font's hinting (3 pixels).
TEST_F(Text, ReadoutsAndKaraokeAtScaleTwoLandOnTwiceThePlaces) {
  const uint32_t black = 0xFF000000;
  const auto drawn = [&](uint32_t p) { return p != black; };
  Image single(815, 400, black);
  Image doubled(1630, 800, black);
  Vell::Gfx::DrawReadouts(painter, single, 65000, 12, 1);
  Vell::Gfx::DrawReadouts(painter, doubled, 65000, 12, 2);
  const auto compare = [](const Box& one, const Box& two, const char* what) {
    ASSERT_GT(one.count, 20) << what;
    EXPECT_NEAR(two.left, 2 * one.left, 3) << what;
    EXPECT_NEAR(two.top, 2 * one.top, 3) << what;
    EXPECT_NEAR(two.right, 2 * one.right + 1, 3) << what;
    EXPECT_NEAR(two.bottom, 2 * one.bottom + 1, 3) << what;
    EXPECT_NEAR(two.count, 4 * one.count, 1.6 * one.count) << what;  // more solid inside at 2×
  };
  // The time above row 40 (80 at scale 2), the counter under it.
  compare(Where(single, drawn, 0, 0, 815, 40), Where(doubled, drawn, 0, 0, 1630, 80), "time");
  compare(Where(single, drawn, 0, 44), Where(doubled, drawn, 0, 88), "counter");
  EXPECT_GE(Where(doubled, drawn).left, 2 * Vell::Gfx::Readouts::kTimeX);

  namespace K = Vell::Gfx::Karaoke;
  Image band(815, K::kViewHeight);
  Image wide(1630, 2 * K::kViewHeight);
  const std::vector<Vell::Gfx::LyricLine> lines{{"Twinkle twinkle little star", 12},
                                                {"How I wonder", 0}};
  Vell::Gfx::DrawLyricLines(painter, band, lines, 1);
  Vell::Gfx::DrawLyricLines(painter, wide, lines, 2);
  const auto sung = [](uint32_t p) { return p == K::kSung; };
  const auto text = [](uint32_t p) { return p != K::kBackground; };
  Vell::Gfx::TextStyle style;
  style.pixelSize = K::kFontPixels;
  const int secondTop = K::kFirstTop + painter.LineHeight(style);
  compare(Where(band, sung), Where(wide, sung), "sung part");
  compare(Where(band, text, 0, 0, 815, secondTop), Where(wide, text, 0, 0, 1630, 2 * secondTop),
          "first line");
  compare(Where(band, text, 0, secondTop), Where(wide, text, 0, 2 * secondTop), "second line");
  EXPECT_EQ(Where(wide, text, 0, 0, 1630, 2 * K::kFirstTop).count, 0);
}

}  // namespace
