#include <png.h>
#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/temp_dir.h"
#include "framework/diagnostics.h"
#include "gfx/image.h"
#include "gfx/sprites.h"

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

// The shipped sprites are palette images, read through their palette by our own expansion: each
// must give exactly the pixels of the library's own expansion to BGRA.
TEST(Png, ShippedPaletteSpritesReadAsTheLibraryExpandsThem) {
  int palettes = 0;
  for (const char* artist : {"pianist", "drummer"}) {
    for (const auto& entry : std::filesystem::directory_iterator(
             std::string(TAVRO_SOURCE_DIR "/data/artists/") + artist)) {
      const std::string path = entry.path().string();
      if (entry.path().extension() != ".png") {
        continue;
      }
      png_image png{};
      png.version = PNG_IMAGE_VERSION;
      ASSERT_NE(png_image_begin_read_from_file(&png, path.c_str()), 0) << path;
      palettes += (png.format & PNG_FORMAT_FLAG_COLORMAP) != 0 ? 1 : 0;
      png.format = PNG_FORMAT_BGRA;
      std::vector<uint32_t> expected(static_cast<size_t>(png.width) * png.height);
      ASSERT_NE(png_image_finish_read(&png, nullptr, expected.data(), 0, nullptr), 0) << path;
      Image image;
      ASSERT_TRUE(image.LoadPng(path)) << path;
      ASSERT_EQ(image.Width(), static_cast<int>(png.width));
      ASSERT_EQ(image.Height(), static_cast<int>(png.height));
      for (int y = 0; y < image.Height(); ++y) {
        ASSERT_TRUE(std::equal(expected.begin() + static_cast<ptrdiff_t>(y) * image.Width(),
                               expected.begin() + static_cast<ptrdiff_t>(y + 1) * image.Width(),
                               image.Row(y)))
            << path << " row " << y;
      }
    }
  }
  EXPECT_GT(palettes, 100);
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
  // A named pipe or a folder is refused at once, not waited on, both when loading and when the
  // memory budget reads the header.
  ASSERT_EQ(::mkfifo(dir.File("pipe.png").c_str(), 0600), 0);
  std::string why;
  EXPECT_FALSE(image.LoadPng(dir.File("pipe.png"), &why));
  EXPECT_EQ(why, dir.File("pipe.png") + ": is a named pipe, not a file");
  EXPECT_EQ(Image::DecodedPngBytes(dir.File("pipe.png")), 0u);
  std::filesystem::create_directory(dir.File("folder.png"));
  EXPECT_FALSE(image.LoadPng(dir.File("folder.png"), &why));
  EXPECT_EQ(why, dir.File("folder.png") + ": is a folder");
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
  EXPECT_FALSE(Image().SavePng(dir.File("empty.png"), &why));
  EXPECT_EQ(why, "cannot write '" + dir.File("empty.png") + "': the image is empty");
  EXPECT_FALSE(big.SavePng(dir.File("missing/big.png"), &why));
  EXPECT_EQ(why, "cannot write '" + dir.File("missing/big.png") + "': No such file or directory");
  EXPECT_FALSE(std::filesystem::exists(dir.File("empty.png")));
}

// A real PNG of a few pixels whose header then claims width x height (chunk CRC mended), so
// that only decoding can find out that the pixels are missing.
void WriteLyingPng(const std::string& path, uint32_t width, uint32_t height) {
  ASSERT_TRUE(Image(4, 4, Argb(255, 1, 2, 3)).SavePng(path));
  std::string bytes;
  {
    std::ifstream in(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  ASSERT_EQ(bytes.substr(12, 4), "IHDR");
  for (int i = 0; i < 4; ++i) {
    bytes[16 + i] = static_cast<char>(width >> (24 - 8 * i));
    bytes[20 + i] = static_cast<char>(height >> (24 - 8 * i));
  }
  const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(bytes.data() + 12), 17);
  for (int i = 0; i < 4; ++i) {
    bytes[29 + i] = static_cast<char>(crc >> (24 - 8 * i));
  }
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::vector<std::string>& Reports() {
  static std::vector<std::string> lines;
  return lines;
}

TEST(Png, SizesAreCheckedBeforeDecodingAndFailuresSayWhy) {
  TempDir dir;
  Image image;
  std::string why;
  // A header of 16384 x 16384 in a file of about a hundred bytes.
  WriteLyingPng(dir.File("huge.png"), 16384, 16384);
  EXPECT_LT(std::filesystem::file_size(dir.File("huge.png")), 200u);
  EXPECT_FALSE(image.LoadPng(dir.File("huge.png"), &why));
  EXPECT_TRUE(image.Empty());
  EXPECT_EQ(why, dir.File("huge.png") +
                     ": the image is 16384 x 16384 pixels; at most 4096 on a side are read");
  // At the limit the header passes and decoding fails on the missing pixels, with libpng's word.
  WriteLyingPng(dir.File("tall.png"), 1, Image::kMaxPngSide);
  EXPECT_FALSE(image.LoadPng(dir.File("tall.png"), &why));
  EXPECT_EQ(why.rfind(dir.File("tall.png") + ": ", 0), 0u);
  EXPECT_GT(why.size(), dir.File("tall.png").size() + 2);
  EXPECT_EQ(why.find("at most"), std::string::npos);
  // Real images: one on the limit loads, one past it does not.
  std::vector<uint8_t> grey(Image::kMaxPngSide + 1, 200);
  ASSERT_TRUE(WriteRaw(dir.File("wide.png"), PNG_FORMAT_GRAY, Image::kMaxPngSide, 1, grey.data()));
  ASSERT_TRUE(
      WriteRaw(dir.File("wider.png"), PNG_FORMAT_GRAY, Image::kMaxPngSide + 1, 1, grey.data()));
  ASSERT_TRUE(image.LoadPng(dir.File("wide.png")));
  EXPECT_EQ(image.Width(), 4096);
  EXPECT_EQ(image.Pixel(4095, 0), Argb(255, 200, 200, 200));
  EXPECT_FALSE(image.LoadPng(dir.File("wider.png"), &why));
  EXPECT_NE(why.find("4097 x 1 pixels"), std::string::npos);
  // A missing file: libpng's reason after the name.
  EXPECT_FALSE(image.LoadPng(dir.File("missing.png"), &why));
  EXPECT_EQ(why.rfind(dir.File("missing.png") + ": ", 0), 0u);
  EXPECT_GT(why.size(), dir.File("missing.png").size() + 2);
}

TEST(Png, ASequenceOfLyingFramesLoadsAsEmptyImagesAndReportsEachFile) {
  TempDir dir;
  using Vell::Gfx::G2D::Sprites::Sprite;
  for (int i = 0; i < 40; ++i) {
    WriteLyingPng(dir.File(Sprite::SequenceFileName("boom", i, 2)), 16384, 16384);
  }
  Reports().clear();
  Vell::Diagnostics::SetSink([](const std::string& line) { Reports().push_back(line); });
  Sprite sprite;
  sprite.LoadSequence(dir.File("boom"), 0, 39);
  ASSERT_EQ(sprite.Count(), 40);
  for (int i = 0; i < 40; ++i) {
    EXPECT_TRUE(sprite.Images()[i]->Empty());
  }
  Vell::Diagnostics::SetSink(nullptr);
  ASSERT_EQ(Reports().size(), 40u);
  EXPECT_EQ(Reports()[7],
            "Sprite image not read: " + dir.File("boom07.png") +
                ": the image is 16384 x 16384 pixels; at most 4096 on a side are read");
}

}  // namespace
