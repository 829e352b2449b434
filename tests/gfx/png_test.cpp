#include <png.h>

#include <fstream>

#include <gtest/gtest.h>

#include "common/temp_dir.h"
#include "gfx/image.h"

namespace {

using Vell::Gfx::AlphaOf;
using Vell::Gfx::Argb;
using Vell::Gfx::Image;

// Writes raw samples of the given simplified-API format (grey, grey+alpha, RGB, 16-bit, ...).
bool WriteRaw(const std::string& path, png_uint_32 format, int width, int height,
              const void* samples, const void* colourmap = nullptr, int colours = 0) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  png.width = static_cast<png_uint_32>(width);
  png.height = static_cast<png_uint_32>(height);
  png.format = format;
  png.colormap_entries = static_cast<png_uint_32>(colours);
  return png_image_write_to_file(&png, path.c_str(), 0, samples, 0, colourmap) != 0;
}

TEST(Png, RoundTripKeepsStraightAlpha) {
  TempDir dir;
  Image image(3, 2);
  image.SetPixel(0, 0, Argb(255, 255, 0, 0));
  image.SetPixel(1, 0, Argb(128, 10, 200, 30));  // not premultiplied: colour survives as is
  image.SetPixel(2, 0, Argb(0, 0, 0, 0));
  image.SetPixel(0, 1, Argb(1, 250, 251, 252));
  image.SetPixel(1, 1, Argb(64, 0, 0, 255));
  image.SetPixel(2, 1, Argb(255, 1, 2, 3));
  ASSERT_TRUE(image.SavePng(dir.File("a.png")));
  EXPECT_FALSE(std::filesystem::exists(dir.File("a.png.tmp")));
  Image back;
  ASSERT_TRUE(back.LoadPng(dir.File("a.png")));
  ASSERT_EQ(back.Width(), 3);
  ASSERT_EQ(back.Height(), 2);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 3; ++x) {
      EXPECT_EQ(back.Pixel(x, y), image.Pixel(x, y)) << x << "," << y;
    }
  }
}

TEST(Png, OtherColourTypesAreExpandedToArgb) {
  TempDir dir;
  const unsigned char grey[] = {0, 128, 255};
  ASSERT_TRUE(WriteRaw(dir.File("g.png"), PNG_FORMAT_GRAY, 3, 1, grey));
  Image g;
  ASSERT_TRUE(g.LoadPng(dir.File("g.png")));
  EXPECT_EQ(g.Pixel(0, 0), Argb(255, 0, 0, 0));
  EXPECT_EQ(g.Pixel(1, 0), Argb(255, 128, 128, 128));
  EXPECT_EQ(g.Pixel(2, 0), Argb(255, 255, 255, 255));

  const unsigned char greyAlpha[] = {200, 100};
  ASSERT_TRUE(WriteRaw(dir.File("ga.png"), PNG_FORMAT_GA, 1, 1, greyAlpha));
  Image ga;
  ASSERT_TRUE(ga.LoadPng(dir.File("ga.png")));
  EXPECT_EQ(ga.Pixel(0, 0), Argb(100, 200, 200, 200));

  const unsigned char rgb[] = {1, 2, 3, 250, 251, 252};
  ASSERT_TRUE(WriteRaw(dir.File("rgb.png"), PNG_FORMAT_RGB, 2, 1, rgb));
  Image c;
  ASSERT_TRUE(c.LoadPng(dir.File("rgb.png")));
  EXPECT_EQ(c.Pixel(0, 0), Argb(255, 1, 2, 3));
  EXPECT_EQ(c.Pixel(1, 0), Argb(255, 250, 251, 252));

  // A palette image with a transparent entry (tRNS).
  const unsigned char palette[] = {255, 0, 0, 255, 0, 0, 255, 0};  // RGBA entries
  const unsigned char indices[] = {0, 1, 1, 0};
  ASSERT_TRUE(WriteRaw(dir.File("p.png"), PNG_FORMAT_RGBA_COLORMAP, 2, 2, indices, palette, 2));
  Image p;
  ASSERT_TRUE(p.LoadPng(dir.File("p.png")));
  EXPECT_EQ(p.Pixel(0, 0), Argb(255, 255, 0, 0));
  EXPECT_EQ(AlphaOf(p.Pixel(1, 0)), 0u);
  EXPECT_EQ(p.Pixel(0, 1) >> 24, 0u);
  EXPECT_EQ(p.Pixel(1, 1), Argb(255, 255, 0, 0));
}

TEST(Png, UnreadableFilesGiveAnEmptyImageWithoutThrowing) {
  TempDir dir;
  Image image(2, 2, 0xFFFFFFFF);
  EXPECT_FALSE(image.LoadPng(dir.File("missing.png")));
  EXPECT_TRUE(image.Empty());
  {
    std::ofstream out(dir.File("junk.png"), std::ios::binary);
    out << "\x89PNG\r\n\x1a\nthis is not a png";
  }
  EXPECT_FALSE(image.LoadPng(dir.File("junk.png")));
  EXPECT_TRUE(image.Empty());
  // A valid file cut in the middle of its data.
  Image big(64, 64);
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) {
      big.SetPixel(x, y,
                   Argb(255, static_cast<uint32_t>(x * 4), static_cast<uint32_t>(y * 4),
                        static_cast<uint32_t>((x * y) & 255)));
    }
  }
  ASSERT_TRUE(big.SavePng(dir.File("big.png")));
  std::filesystem::resize_file(dir.File("big.png"),
                               std::filesystem::file_size(dir.File("big.png")) / 2);
  EXPECT_FALSE(image.LoadPng(dir.File("big.png")));
  EXPECT_TRUE(image.Empty());
  EXPECT_FALSE(Image().SavePng(dir.File("empty.png")));
}

}  // namespace
