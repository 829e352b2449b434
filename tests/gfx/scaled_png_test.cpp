// Images read for a stage at scale 2: the @2x file when it fits, else the 1× file scaled up
// smoothly. The scaling is checked against values worked out by hand and against a second,
// floating-point implementation written here.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/temp_dir.h"
#include "framework/diagnostics.h"
#include "gfx/scaled_png.h"
#include "gfx/sprites.h"

namespace {

using Vell::Gfx::AlphaOf;
using Vell::Gfx::Argb;
using Vell::Gfx::BlueOf;
using Vell::Gfx::GreenOf;
using Vell::Gfx::Image;
using Vell::Gfx::RedOf;

std::vector<std::string> reports;
void Keep(const std::string& line) { reports.push_back(line); }

struct CaptureReports {
  CaptureReports() {
    reports.clear();
    Vell::Diagnostics::SetSink(&Keep);
  }
  ~CaptureReports() { Vell::Diagnostics::SetSink(nullptr); }
};

Image Filled(int width, int height, uint32_t colour) { return Image(width, height, colour); }

// The 2× bilinear scaling by its definition: output pixel (X, Y) samples the source at
// ((X + 0.5) / 2 − 0.5, (Y + 0.5) / 2 − 0.5), edges clamped, colours weighted by alpha.
uint32_t Reference(const Image& image, int ox, int oy) {
  const double u = (ox + 0.5) / 2 - 0.5;
  const double v = (oy + 0.5) / 2 - 0.5;
  const int x0 = static_cast<int>(std::floor(u));
  const int y0 = static_cast<int>(std::floor(v));
  double a = 0;
  double r = 0;
  double g = 0;
  double b = 0;
  for (int dy = 0; dy < 2; ++dy) {
    for (int dx = 0; dx < 2; ++dx) {
      const double w = (dx == 0 ? 1 - (u - x0) : u - x0) * (dy == 0 ? 1 - (v - y0) : v - y0);
      const uint32_t p = image.Pixel(std::clamp(x0 + dx, 0, image.Width() - 1),
                                     std::clamp(y0 + dy, 0, image.Height() - 1));
      const double pa = AlphaOf(p) * w;
      a += pa;
      r += pa * RedOf(p);
      g += pa * GreenOf(p);
      b += pa * BlueOf(p);
    }
  }
  if (a == 0) {
    return 0;
  }
  return Argb(static_cast<uint32_t>(std::lround(a)), static_cast<uint32_t>(std::lround(r / a)),
              static_cast<uint32_t>(std::lround(g / a)), static_cast<uint32_t>(std::lround(b / a)));
}

TEST(ScaledPng, HiDpiNameGoesBeforeTheExtension) {
  using Vell::Gfx::HiDpiPath;
  EXPECT_EQ(HiDpiPath("artists/piano/play_01.png"), "artists/piano/play_01@2x.png");
  EXPECT_EQ(HiDpiPath("stage.PNG"), "stage@2x.PNG");
  EXPECT_EQ(HiDpiPath("a.b/stage"), "a.b/stage@2x");
  EXPECT_EQ(HiDpiPath("folder/.hidden"), "folder/.hidden@2x");
}

TEST(ScaledPng, ScalingUpBlendsNeighboursAndKeepsEdgesClean) {
  // White beside black: 3/4 of the nearer pixel, 1/4 of the other, edges clamped.
  Image pair(2, 1, Argb(255, 0, 0, 0));
  pair.SetPixel(0, 0, Argb(255, 255, 255, 255));
  const Image up = Vell::Gfx::ScaleUpTwice(pair);
  ASSERT_EQ(up.Width(), 4);
  ASSERT_EQ(up.Height(), 2);
  const std::vector<uint32_t> levels{255, 191, 64, 0};  // 255, 191.25, 63.75, 0
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 4; ++x) {
      EXPECT_EQ(up.Pixel(x, y), Argb(255, levels[x], levels[x], levels[x])) << x << "," << y;
    }
  }

  // Opaque red beside a transparent pixel that holds green: the edge fades in alpha only, never
  // towards green or black.
  Image edge(2, 2, Argb(0, 0, 255, 0));
  edge.SetPixel(0, 0, Argb(255, 255, 0, 0));
  edge.SetPixel(0, 1, Argb(255, 255, 0, 0));
  const Image faded = Vell::Gfx::ScaleUpTwice(edge);
  EXPECT_EQ(faded.Pixel(1, 1), Argb(191, 255, 0, 0));  // 191.25 → 191
  EXPECT_EQ(faded.Pixel(2, 1), Argb(64, 255, 0, 0));
  EXPECT_EQ(faded.Pixel(3, 1), 0u);

  // Random pixels with random alpha against the floating-point definition.
  std::mt19937 random(7);
  Image noise(9, 7);
  for (int y = 0; y < noise.Height(); ++y) {
    for (int x = 0; x < noise.Width(); ++x) {
      noise.SetPixel(x, y, random());
    }
  }
  const Image scaled = Vell::Gfx::ScaleUpTwice(noise);
  int worst = 0;
  for (int y = 0; y < scaled.Height(); ++y) {
    for (int x = 0; x < scaled.Width(); ++x) {
      const uint32_t got = scaled.Pixel(x, y);
      const uint32_t want = Reference(noise, x, y);
      for (int shift = 0; shift < 32; shift += 8) {
        worst = std::max(worst, std::abs(static_cast<int>((got >> shift) & 0xFF) -
                                         static_cast<int>((want >> shift) & 0xFF)));
      }
    }
  }
  EXPECT_LE(worst, 1);
}

TEST(ScaledPng, TheDoubleSizedFileIsPreferredAndAWrongOneFallsBack) {
  TempDir dir;
  CaptureReports capture;
  const std::string single = dir.File("light.png");
  const std::string doubled = dir.File("light@2x.png");
  ASSERT_TRUE(Filled(3, 2, Argb(255, 200, 10, 10)).SavePng(single));

  // No @2x file: the 1× image scaled up (one colour stays that colour), at scale 2.
  Image image;
  ASSERT_TRUE(Vell::Gfx::LoadPngAtScale(image, single, 2));
  EXPECT_EQ(image.Width(), 6);
  EXPECT_EQ(image.Height(), 4);
  EXPECT_EQ(image.Scale(), 2);
  EXPECT_EQ(image.Pixel(5, 3), Argb(255, 200, 10, 10));
  EXPECT_EQ(Vell::Gfx::DecodedPngBytesAtScale(single, 2), 6u * 4u * 4u);
  EXPECT_TRUE(reports.empty());

  // A fitting @2x file is read as it is; scale 1 still reads the 1× file.
  Image drawn = Filled(6, 4, Argb(255, 10, 200, 10));
  drawn.SetPixel(0, 0, Argb(128, 1, 2, 3));
  ASSERT_TRUE(drawn.SavePng(doubled));
  ASSERT_TRUE(Vell::Gfx::LoadPngAtScale(image, single, 2));
  EXPECT_EQ(image.Pixel(0, 0), Argb(128, 1, 2, 3));
  EXPECT_EQ(image.Pixel(5, 3), Argb(255, 10, 200, 10));
  EXPECT_EQ(image.Scale(), 2);
  ASSERT_TRUE(Vell::Gfx::LoadPngAtScale(image, single, 1));
  EXPECT_EQ(image.Width(), 3);
  EXPECT_EQ(image.Scale(), 1);
  EXPECT_TRUE(reports.empty());

  // An @2x file of the wrong size: reported with its name, the 1× image scaled up instead.
  ASSERT_TRUE(Filled(5, 4, Argb(255, 10, 200, 10)).SavePng(doubled));
  ASSERT_TRUE(Vell::Gfx::LoadPngAtScale(image, single, 2));
  EXPECT_EQ(image.Width(), 6);
  EXPECT_EQ(image.Pixel(0, 0), Argb(255, 200, 10, 10));
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_NE(reports[0].find(doubled), std::string::npos) << reports[0];
  EXPECT_NE(reports[0].find("5 x 4"), std::string::npos) << reports[0];

  // An @2x file that is no PNG: reported, fallback again.
  reports.clear();
  {
    std::FILE* file = std::fopen(doubled.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fputs("not a picture", file);
    std::fclose(file);
  }
  ASSERT_TRUE(Vell::Gfx::LoadPngAtScale(image, single, 2));
  EXPECT_EQ(image.Pixel(5, 3), Argb(255, 200, 10, 10));
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_NE(reports[0].find(doubled), std::string::npos) << reports[0];

  // Neither file: false with the 1× file named.
  std::string why;
  EXPECT_FALSE(Vell::Gfx::LoadPngAtScale(image, dir.File("none.png"), 2, &why));
  EXPECT_TRUE(image.Empty());
  EXPECT_NE(why.find("none.png"), std::string::npos) << why;
}

// A sprite made while the hub's image scale is 2 reads its sequence at scale 2, keeps its baseline
// in stage units and draws at twice the place and size on a canvas at scale 2.
TEST(ScaledPng, SpritesReadAndDrawAtTheHubsScale) {
  TempDir dir;
  CaptureReports capture;
  // 4 × 6 stage units: opaque blue down to row 3, 2 empty rows under it (baseline 2).
  Image single(4, 6, 0);
  Image doubled(8, 12, 0);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) {
      single.SetPixel(x, y, Argb(255, 0, 0, 250));
    }
  }
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      doubled.SetPixel(x, y, Argb(255, 0, 0, 250));
    }
  }
  ASSERT_TRUE(single.SavePng(dir.File("walk_01.png")));
  ASSERT_TRUE(doubled.SavePng(dir.File("walk_01@2x.png")));
  ASSERT_TRUE(single.SavePng(dir.File("walk_02.png")));  // no @2x: scaled up

  auto* hub = Vell::Gfx::G2D::Sprites::Hub::Instance();
  hub->imageScale = 2;
  Vell::Gfx::G2D::Sprites::Sprite sprite("walk");
  hub->imageScale = 1;
  sprite.LoadSequence(dir.File("walk_"), 1, 2);
  sprite.ScanBaseline();
  EXPECT_EQ(sprite.baseline, 2);
  ASSERT_EQ(sprite.Images().size(), 2u);
  for (const Image* image : sprite.Images()) {
    EXPECT_EQ(image->Width(), 8);
    EXPECT_EQ(image->Height(), 12);
    EXPECT_EQ(image->Scale(), 2);
  }
  EXPECT_TRUE(reports.empty());

  Vell::Gfx::Canvas canvas(1, 1);
  canvas.Reshape(20, 10, 2);
  ASSERT_EQ(canvas.Width(), 40);
  ASSERT_EQ(canvas.Height(), 20);
  Vell::Keyframing::Runtime::KeyList<Vell::Math::Vector3> keys;
  keys.keys = {{0, {10, 5, 0}, 0, 0}};
  sprite.positionTrack.SetKeys(keys);
  sprite.Track(0);
  sprite.RenderTo(canvas);
  // Stage corner (8, 2), 4 × 6 units: canvas pixels 16 … 23 across, 4 … 11 down in blue.
  for (int y = 0; y < canvas.Height(); ++y) {
    for (int x = 0; x < canvas.Width(); ++x) {
      const bool inside = x >= 16 && x < 24 && y >= 4 && y < 12;
      EXPECT_EQ(canvas.Pixel(x, y),
                inside ? Argb(255, 0, 0, 250) : Vell::Gfx::Canvas::kDefaultClearColour)
          << x << "," << y;
    }
  }
}

}  // namespace
