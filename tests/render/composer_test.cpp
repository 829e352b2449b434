// Fitting the show's picture into a video frame: the sizes accepted, the render scale chosen, the
// resampling against a direct floating-point filter and against values worked out by hand, and
// where the picture lands in the frame.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

#include "gfx/image.h"
#include "render/composer.h"

namespace {

using Kesh::Render::Composer;
using Kesh::Render::ParseFrameSize;
using Kesh::Render::Resampler;

constexpr uint32_t kBlack = 0xFF000000u;

TEST(FrameSize, CommonSizesPassAndOddOrOutOfRangeOnesAreRefusedWithTheReason) {
  for (const auto& [text, w, h] : {std::tuple{"816x400", 816, 400},
                                   {"1280x720", 1280, 720},
                                   {"1920x1080", 1920, 1080},
                                   {"3840x2160", 3840, 2160},
                                   {"320x180", 320, 180},
                                   {"1080X1920", 1080, 1920}}) {
    int width = 0;
    int height = 0;
    std::string why;
    EXPECT_TRUE(ParseFrameSize(text, width, height, &why)) << text << ": " << why;
    EXPECT_EQ(width, w);
    EXPECT_EQ(height, h);
  }
  for (const auto& [text, reason] : {std::pair{"1281x720", "must be even"},
                                     {"1280x721", "must be even"},
                                     {"318x180", "out of range"},
                                     {"3842x2160", "out of range"},
                                     {"1920x2162", "out of range"},
                                     {"1280", "WIDTHxHEIGHT"},
                                     {"1280x", "WIDTHxHEIGHT"},
                                     {"x720", "WIDTHxHEIGHT"},
                                     {"1280x720x2", "WIDTHxHEIGHT"},
                                     {"-1280x720", "out of range"},
                                     {"12.5x720", "WIDTHxHEIGHT"},
                                     {"99999999999x720", "WIDTHxHEIGHT"}}) {
    int width = 0;
    int height = 0;
    std::string why;
    EXPECT_FALSE(ParseFrameSize(text, width, height, &why)) << text;
    EXPECT_NE(why.find(reason), std::string::npos) << text << ": " << why;
  }
}

TEST(FrameSize, TheStageIsDrawnAtTwiceItsSizeWheneverTheVideoEnlargesIt) {
  EXPECT_EQ(Kesh::Render::RenderScaleFor(0, 0, 0), 1);  // no --size: the picture as it is
  EXPECT_EQ(Kesh::Render::RenderScaleFor(816, 400, 0), 1);
  EXPECT_EQ(Kesh::Render::RenderScaleFor(816, 552, 152), 1);
  EXPECT_EQ(Kesh::Render::RenderScaleFor(640, 360, 0), 1);     // reduced
  EXPECT_EQ(Kesh::Render::RenderScaleFor(1280, 552, 152), 1);  // the band makes it 552 rows
  EXPECT_EQ(Kesh::Render::RenderScaleFor(1280, 720, 0), 2);
  EXPECT_EQ(Kesh::Render::RenderScaleFor(1280, 720, 152), 2);
  EXPECT_EQ(Kesh::Render::RenderScaleFor(1920, 1080, 152), 2);
}

uint8_t Channel(uint32_t pixel, int c) { return static_cast<uint8_t>(pixel >> (8 * c)); }

// The same triangle filter computed directly in two dimensions with doubles.
double Reference(const Vell::Gfx::Image& in, int outW, int outH, int x, int y, int c) {
  const auto weights = [](int inputs, int outputs, int i) {
    const double scale = static_cast<double>(outputs) / inputs;
    const double radius = std::max(1.0, 1.0 / scale);
    const double centre = (i + 0.5) / scale - 0.5;
    std::vector<double> w(static_cast<size_t>(inputs), 0.0);
    double total = 0;
    for (int j = static_cast<int>(std::floor(centre - radius)) - 1; j <= centre + radius + 1; ++j) {
      const double share = std::max(0.0, 1.0 - std::fabs(j - centre) / radius);
      w[static_cast<size_t>(std::clamp(j, 0, inputs - 1))] += share;
      total += share;
    }
    for (double& v : w) {
      v /= total;
    }
    return w;
  };
  const std::vector<double> wx = weights(in.Width(), outW, x);
  const std::vector<double> wy = weights(in.Height(), outH, y);
  double value = 0;
  for (int j = 0; j < in.Height(); ++j) {
    for (int i = 0; i < in.Width(); ++i) {
      value += wx[static_cast<size_t>(i)] * wy[static_cast<size_t>(j)] * Channel(in.Pixel(i, j), c);
    }
  }
  return value;
}

TEST(Resampler, EnlargingAndReducingFollowADirectFilterToWithinOneLevel) {
  Vell::Gfx::Image in(37, 23);
  std::mt19937 random(11);
  for (int y = 0; y < in.Height(); ++y) {
    for (int x = 0; x < in.Width(); ++x) {
      in.SetPixel(x, y, static_cast<uint32_t>(random()));
    }
  }
  for (const auto& [outW, outH] : {std::pair{87, 54}, {74, 46}, {15, 9}, {37, 11}, {52, 23}}) {
    Resampler resampler(in.Width(), in.Height(), outW, outH);
    std::vector<uint32_t> out(static_cast<size_t>(outW) * outH + 5, 0xDEADBEEF);
    resampler.Run(in.Pixels(), in.Width(), out.data(), outW);
    int worst = 0;
    for (int y = 0; y < outH; ++y) {
      for (int x = 0; x < outW; ++x) {
        for (int c = 0; c < 4; ++c) {
          const double want = Reference(in, outW, outH, x, y, c);
          const int got = Channel(out[static_cast<size_t>(y * outW + x)], c);
          worst = std::max(worst, static_cast<int>(std::ceil(std::fabs(got - want) - 0.5)));
        }
      }
    }
    EXPECT_LE(worst, 1) << outW << "x" << outH;
    EXPECT_EQ(out.back(), 0xDEADBEEF) << "nothing written past the output";
  }
}

TEST(Resampler, ValuesWorkedOutByHand) {
  // Two pixels, black and white, to four: the output centres lie at -0.25, 0.25, 0.75 and 1.25
  // input pixels, so bilinear gives 0, 1/4, 3/4 and 1 of white (the edges repeated).
  Vell::Gfx::Image pair(2, 1);
  pair.SetPixel(0, 0, kBlack);
  pair.SetPixel(1, 0, 0xFFFFFFFFu);
  Resampler wider(2, 1, 4, 1);
  uint32_t out[4];
  wider.Run(pair.Pixels(), 2, out, 4);
  EXPECT_EQ(out[0], 0xFF000000u);
  EXPECT_EQ(out[1], 0xFF404040u);  // 63.75
  EXPECT_EQ(out[2], 0xFFBFBFBFu);  // 191.25
  EXPECT_EQ(out[3], 0xFFFFFFFFu);
  // Four grey levels to two: each output weighs its two own inputs by 3/8 and the two beside
  // them by 1/8: (0 + 0 × 3 + 100 × 3 + 200) / 8 = 62.5, (0 + 100 × 1 + 200 × 3 + 240 × 3 +
  // 240) / 8 = 207.5, the edges repeated.
  Vell::Gfx::Image four(4, 1);
  for (int x = 0; x < 4; ++x) {
    const uint32_t level = std::array<uint32_t, 4>{0, 100, 200, 240}[static_cast<size_t>(x)];
    four.SetPixel(x, 0, 0xFF000000u | level);
  }
  Resampler narrower(4, 1, 2, 1);
  narrower.Run(four.Pixels(), 4, out, 2);
  EXPECT_NEAR(static_cast<int>(out[0] & 0xFF), 62.5, 0.5);
  EXPECT_NEAR(static_cast<int>(out[1] & 0xFF), 207.5, 0.5);
  // A flat colour stays exactly that colour at any scale.
  Vell::Gfx::Image flat(815, 400, 0xFF3A7BC4u);
  for (const auto& [w, h] : {std::pair{1920, 942}, {640, 314}, {3840, 1885}}) {
    Resampler resampler(815, 400, w, h);
    std::vector<uint32_t> big(static_cast<size_t>(w) * h);
    resampler.Run(flat.Pixels(), 815, big.data(), w);
    EXPECT_EQ(std::count(big.begin(), big.end(), 0xFF3A7BC4u), static_cast<long>(big.size()));
  }
}

// The region of a frame that is not black.
struct Box {
  int left = 1 << 20, top = 1 << 20, right = -1, bottom = -1;
};
Box Content(const Vell::Gfx::Image& frame) {
  Box box;
  for (int y = 0; y < frame.Height(); ++y) {
    for (int x = 0; x < frame.Width(); ++x) {
      if (frame.Pixel(x, y) != kBlack) {
        box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x + 1),
               std::max(box.bottom, y + 1)};
      }
    }
  }
  return box;
}

TEST(Composer, ThePictureIsFittedCentredOnBlackAndCopiedWhenItFitsAsItIs) {
  const uint32_t kGrey = 0xFF808080u;
  // The stage into 1080p: 1920 / 815 limits the scale, so 942 rows (400 × 2.356) centred.
  // The stage with the band: 1080 / 552 limits it, so 1595 columns centred. 720p: 628 rows;
  // 360 rows for the stage with the band: 532 columns.
  for (const auto& [w, h, ph, box] : {std::tuple{1920, 1080, 400, Box{0, 69, 1920, 1011}},
                                      {1920, 1080, 552, Box{162, 0, 1757, 1080}},
                                      {1280, 720, 400, Box{0, 46, 1280, 674}},
                                      {816, 400, 400, Box{0, 0, 815, 400}},
                                      {640, 360, 552, Box{54, 0, 586, 360}}}) {
    Composer composer(w, h);
    const Vell::Gfx::Image picture(815, ph, kGrey);
    for (int round = 0; round < 2; ++round) {  // again with the weights already worked out
      const Vell::Gfx::Image& frame = composer.Compose(picture);
      ASSERT_EQ(frame.Width(), w);
      ASSERT_EQ(frame.Height(), h);
      const Box got = Content(frame);
      EXPECT_EQ(got.left, box.left) << w << "x" << h << " from 815x" << ph;
      EXPECT_EQ(got.top, box.top) << w << "x" << h << " from 815x" << ph;
      EXPECT_EQ(got.right, box.right) << w << "x" << h << " from 815x" << ph;
      EXPECT_EQ(got.bottom, box.bottom) << w << "x" << h << " from 815x" << ph;
      EXPECT_EQ(frame.Pixel((box.left + box.right) / 2, (box.top + box.bottom) / 2), kGrey);
    }
  }
  // A picture that fits at scale 1 is copied exactly, the rest of the frame black.
  Vell::Gfx::Image noise(815, 400);
  std::mt19937 random(3);
  for (int y = 0; y < 400; ++y) {
    for (int x = 0; x < 815; ++x) {
      noise.SetPixel(x, y, static_cast<uint32_t>(random()) | 0xFF000000u);
    }
  }
  Composer same(816, 400);
  const Vell::Gfx::Image& frame = same.Compose(noise);
  for (int y = 0; y < 400; ++y) {
    ASSERT_TRUE(std::equal(noise.Row(y), noise.Row(y) + 815, frame.Row(y))) << "row " << y;
    ASSERT_EQ(frame.Pixel(815, y), kBlack);
  }
  // A picture of another size later (the band switched on) is fitted afresh.
  const Vell::Gfx::Image& taller = same.Compose(Vell::Gfx::Image(815, 552, kGrey));
  EXPECT_EQ(Content(taller).left, 112);  // 400 / 552 × 815 = 591 columns
  EXPECT_EQ(Content(taller).top, 0);
}

}  // namespace
