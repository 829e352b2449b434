#include "gfx/canvas.h"

#include <gtest/gtest.h>

namespace {

using Vell::Gfx::Argb;
using Vell::Gfx::BlendOver;
using Vell::Gfx::Canvas;
using Vell::Gfx::Image;

TEST(Canvas, BlendingFollowsSourceOverWithRounding) {
  // Opaque destination: c = (s*a + d*(255-a) + 127) / 255.
  // red: (200*128 + 10*127 + 127)/255 = (25600+1270+127)/255 = 105.87 -> 105
  // green: (100*128 + 50*127 + 127)/255 = (12800+6350+127)/255 = 75.6 -> 75
  // blue: (0 + 250*127 + 127)/255 = 31877/255 = 125.0 -> 125
  EXPECT_EQ(BlendOver(Argb(128, 200, 100, 0), Argb(255, 10, 50, 250)), Argb(255, 105, 75, 125));
  // Fully transparent source leaves the destination; opaque source replaces it.
  EXPECT_EQ(BlendOver(Argb(0, 1, 2, 3), Argb(77, 9, 9, 9)), Argb(77, 9, 9, 9));
  EXPECT_EQ(BlendOver(Argb(255, 1, 2, 3), Argb(77, 9, 9, 9)), Argb(255, 1, 2, 3));
  // Translucent over translucent: weights sa*255 = 25500 and da*(255-sa) = 100*155 = 15500,
  // total 41000; red (255*25500 + 0 + 20500)/41000 = 159; blue (0 + 255*15500 + 20500)/41000
  // = 96.9 -> 96; alpha (41000+127)/255 = 161.
  EXPECT_EQ(BlendOver(Argb(100, 255, 0, 0), Argb(100, 0, 0, 255)), Argb(161, 159, 0, 96));
  // Over a fully transparent destination the source comes through unchanged.
  EXPECT_EQ(BlendOver(Argb(40, 11, 22, 33), Argb(0, 200, 200, 200)), Argb(40, 11, 22, 33));
}

TEST(Canvas, PixelsLieInMemoryAsBgra) {
  Canvas canvas(2, 1);
  canvas.Clear(Argb(0x44, 0x33, 0x22, 0x11));
  const auto* bytes = reinterpret_cast<const unsigned char*>(canvas.Pixels());
  EXPECT_EQ(bytes[0], 0x11);
  EXPECT_EQ(bytes[1], 0x22);
  EXPECT_EQ(bytes[2], 0x33);
  EXPECT_EQ(bytes[3], 0x44);
}

TEST(Canvas, ClearUsesTheClearColour) {
  Canvas canvas(4, 3);
  EXPECT_EQ(canvas.clearColour, 0xFF000000u);
  canvas.Clear(0xFF123456);
  canvas.Clear();
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 4; ++x) {
      EXPECT_EQ(canvas.Pixel(x, y), 0xFF000000u);
    }
  }
}

TEST(Canvas, DrawingIsClippedOnEverySide) {
  Image image(3, 3);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 3; ++x) {
      image.SetPixel(x, y, Argb(255, static_cast<uint32_t>(x * 10 + y), 0, 0));
    }
  }
  Canvas canvas(4, 4);
  canvas.Clear(Argb(255, 0, 0, 99));
  canvas.DrawImage(image, -1, -2);  // only source column 1-2, row 2 land at (0..1, 0)
  EXPECT_EQ(canvas.Pixel(0, 0), Argb(255, 12, 0, 0));
  EXPECT_EQ(canvas.Pixel(1, 0), Argb(255, 22, 0, 0));
  EXPECT_EQ(canvas.Pixel(2, 0), Argb(255, 0, 0, 99));
  EXPECT_EQ(canvas.Pixel(0, 1), Argb(255, 0, 0, 99));
  canvas.DrawImage(image, 2, 3);  // bottom-right corner: source (0..1, 0) at (2..3, 3)
  EXPECT_EQ(canvas.Pixel(2, 3), Argb(255, 0, 0, 0));
  EXPECT_EQ(canvas.Pixel(3, 3), Argb(255, 10, 0, 0));
  EXPECT_EQ(canvas.Pixel(3, 2), Argb(255, 0, 0, 99));
  // Entirely outside, or at extreme coordinates: nothing drawn, nothing overflows.
  Canvas copy(4, 4);
  copy.Clear(Argb(255, 1, 1, 1));
  copy.DrawImage(image, 4, 0);
  copy.DrawImage(image, 0, -3);
  copy.DrawImage(image, 2147483647, 2147483647, 3, 3);
  copy.DrawImage(image, -2147483647, 0, 2147483647, 2);
  copy.DrawImage(image, 0, 0, 0, 5);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) {
      EXPECT_EQ(copy.Pixel(x, y), Argb(255, 1, 1, 1));
    }
  }
}

TEST(Canvas, ScalingPicksTheNearestSourcePixel) {
  // A 2 × 1 image doubled to 4 × 2: each source pixel covers two columns and both rows.
  Image image(2, 1);
  image.SetPixel(0, 0, Argb(255, 10, 0, 0));
  image.SetPixel(1, 0, Argb(255, 20, 0, 0));
  Canvas canvas(6, 3);
  canvas.Clear();
  canvas.DrawImage(image, 1, 1, 4, 2);
  EXPECT_EQ(canvas.Pixel(0, 1), 0xFF000000u);
  EXPECT_EQ(canvas.Pixel(1, 1), Argb(255, 10, 0, 0));
  EXPECT_EQ(canvas.Pixel(2, 2), Argb(255, 10, 0, 0));
  EXPECT_EQ(canvas.Pixel(3, 1), Argb(255, 20, 0, 0));
  EXPECT_EQ(canvas.Pixel(4, 2), Argb(255, 20, 0, 0));
  EXPECT_EQ(canvas.Pixel(5, 1), 0xFF000000u);
  EXPECT_EQ(canvas.Pixel(2, 0), 0xFF000000u);
  // Shrinking 4 columns to 2 samples source columns 1 and 3 (centres 0.5·2 and 1.5·2).
  Image wide(4, 1);
  for (int x = 0; x < 4; ++x) {
    wide.SetPixel(x, 0, Argb(255, 0, static_cast<uint32_t>(x), 0));
  }
  canvas.DrawImage(wide, 0, 0, 2, 1);
  EXPECT_EQ(canvas.Pixel(0, 0), Argb(255, 0, 1, 0));
  EXPECT_EQ(canvas.Pixel(1, 0), Argb(255, 0, 3, 0));
  // Scaled and clipped together: the visible part keeps the scaled mapping.
  canvas.Clear();
  canvas.DrawImage(image, -2, 0, 4, 1);
  EXPECT_EQ(canvas.Pixel(0, 0), Argb(255, 20, 0, 0));
  EXPECT_EQ(canvas.Pixel(1, 0), Argb(255, 20, 0, 0));
  EXPECT_EQ(canvas.Pixel(2, 0), 0xFF000000u);
}

TEST(Canvas, TranslucentImagesBlendAndTransparentPixelsAreSkipped) {
  Image image(2, 1);
  image.SetPixel(0, 0, Argb(0, 255, 255, 255));
  image.SetPixel(1, 0, Argb(51, 255, 0, 0));  // 20 % red
  Canvas canvas(2, 1);
  canvas.Clear(Argb(255, 0, 0, 100));
  canvas.DrawImage(image, 0, 0);
  EXPECT_EQ(canvas.Pixel(0, 0), Argb(255, 0, 0, 100));
  // red (255*51 + 127)/255 = 51; blue (100*204 + 127)/255 = 80.49 -> 80
  EXPECT_EQ(canvas.Pixel(1, 0), Argb(255, 51, 0, 80));
  // A change through SetPixel is seen by the next draw (the alpha summary is recomputed).
  image.SetPixel(0, 0, Argb(255, 1, 2, 3));
  canvas.DrawImage(image, 0, 0);
  EXPECT_EQ(canvas.Pixel(0, 0), Argb(255, 1, 2, 3));
}

TEST(Canvas, BackgroundIsStretchedOverTheCanvas) {
  Image image(1, 1);
  image.SetPixel(0, 0, Argb(255, 7, 8, 9));
  Canvas canvas(5, 4);
  canvas.DrawBackground(nullptr);
  EXPECT_EQ(canvas.Pixel(4, 3), 0xFF000000u);
  canvas.DrawBackground(&image);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 5; ++x) {
      EXPECT_EQ(canvas.Pixel(x, y), Argb(255, 7, 8, 9));
    }
  }
}

}  // namespace

TEST(BlendOntoOpaque, MatchesBlendOverForEveryAlphaAndChannelValue) {
  // Every source alpha, source and destination channel value, on runs long enough for the wide
  // steps and a tail (255 pixels).
  std::vector<uint32_t> source(255);
  std::vector<uint32_t> target(255);
  for (uint32_t a = 0; a < 256; ++a) {
    for (uint32_t d = 0; d < 256; ++d) {
      for (uint32_t s = 0; s < 255; ++s) {
        source[s] = Argb(a, s, 255 - s, s ^ 0x5Au);
        target[s] = Argb(255, d, (d * 7) & 255, 255 - d);
      }
      std::vector<uint32_t> expected(255);
      for (size_t i = 0; i < expected.size(); ++i) {
        expected[i] = BlendOver(source[i], target[i]);
      }
      Vell::Gfx::BlendOntoOpaque(source.data(), target.data(), 255);
      ASSERT_EQ(target, expected) << "alpha " << a << " destination " << d;
    }
  }
  EXPECT_TRUE(Vell::Gfx::AllOpaque(target.data(), 255));
  target[100] = Argb(254, 0, 0, 0);
  EXPECT_FALSE(Vell::Gfx::AllOpaque(target.data(), 255));
}

namespace {

// Drawing into a canvas changes what its bitmap holds, so the bitmap's cached alpha and row
// stretches must be recomputed: a canvas drawn on and then used as an image shows the drawing.
TEST(Canvas, DrawingMarksTheCanvasChanged) {
  for (bool scaled : {false, true}) {
    Canvas layer(4, 2);
    layer.Clear(0);
    EXPECT_EQ(layer.Bitmap().GetAlphaKind(), Image::AlphaKind::kBinary);
    const Image::Span* first = nullptr;
    const Image::Span* last = nullptr;
    layer.Bitmap().RowSpans(0, first, last);
    EXPECT_EQ(first, last);  // all transparent: nothing to draw

    const Image half(2, 1, Argb(128, 200, 0, 0));
    layer.DrawImage(half, 1, 0, scaled ? 3 : 2, 1);
    EXPECT_EQ(layer.Bitmap().GetAlphaKind(), Image::AlphaKind::kBlended) << scaled;

    Canvas stage(4, 2);
    stage.Clear(Argb(255, 0, 0, 0));
    stage.DrawImage(layer.Bitmap(), 0, 0);
    EXPECT_EQ(stage.Pixel(1, 0), BlendOver(Argb(128, 200, 0, 0), Argb(255, 0, 0, 0))) << scaled;
  }
}

}  // namespace
