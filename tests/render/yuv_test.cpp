#include "render/yuv.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include <gtest/gtest.h>

#include "common/temp_dir.h"

namespace {

using Kesh::Render::ToYuv420;
using Kesh::Render::Yuv420Bytes;

constexpr uint32_t Rgb(uint32_t r, uint32_t g, uint32_t b) {
  return 0xFF000000 | r << 16 | g << 8 | b;
}

// Values worked out by hand from the BT.601 limited-range equations, with an odd width padded.
TEST(Yuv420, PureColoursAndPaddingAsWorkedOutByHand) {
  const std::vector<uint32_t> image = {Rgb(255, 255, 255), Rgb(255, 0, 0), Rgb(0, 0, 255),
                                       Rgb(0, 0, 0),       Rgb(0, 255, 0), Rgb(128, 128, 128)};
  std::vector<uint8_t> out(Yuv420Bytes(4, 2), 0xEE);
  ToYuv420(image.data(), 3, 2, 4, 2, out.data());
  // Luma: white 235, red 82, blue 41, padding 16; black 16, green 144, grey 126, padding 16.
  EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 8),
            (std::vector<uint8_t>{235, 82, 41, 16, 16, 144, 126, 16}));
  // Blocks: mean (128, 128, 64) gives Cb 100, Cr 133; with the padding, mean (32, 32, 96) gives
  // Cb 156, Cr 124.
  EXPECT_EQ(std::vector<uint8_t>(out.begin() + 8, out.end()),
            (std::vector<uint8_t>{100, 156, 133, 124}));
  // A padded row is black.
  std::vector<uint8_t> tall(Yuv420Bytes(2, 2));
  const std::vector<uint32_t> one = {Rgb(255, 255, 255), Rgb(255, 255, 255)};
  ToYuv420(one.data(), 2, 1, 2, 2, tall.data());
  EXPECT_EQ(tall, (std::vector<uint8_t>{235, 235, 16, 16, 128, 128}));
}

// ffmpeg's own conversion of the same picture (its BGRA input, padded by its pad filter) gives the
// same luma, and chroma within a step or two on smooth colour.
TEST(Yuv420, MatchesFfmpegsConversionOfASmoothPicture) {
  if (std::system("command -v ffmpeg > /dev/null 2>&1") != 0) {
    GTEST_SKIP() << "needs ffmpeg";
  }
  constexpr int kWidth = 63;
  constexpr int kHeight = 48;
  std::vector<uint32_t> image(kWidth * kHeight);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      image[y * kWidth + x] = Rgb(static_cast<uint32_t>(x * 4), static_cast<uint32_t>(y * 5),
                                  static_cast<uint32_t>(255 - x * 2 - y));
    }
  }
  TempDir dir;
  {
    std::ofstream raw(dir.File("in.bgra"), std::ios::binary);
    raw.write(reinterpret_cast<const char*>(image.data()),
              static_cast<std::streamsize>(image.size() * 4));
  }
  const std::string command =
      "ffmpeg -v error -y -f rawvideo -pix_fmt bgra -s 63x48 -i '" + dir.File("in.bgra") +
      "' -vf pad=64:48:0:0:black -pix_fmt yuv420p -f rawvideo '" + dir.File("out.yuv") + "'";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  std::ifstream in(dir.File("out.yuv"), std::ios::binary);
  const std::vector<uint8_t> theirs((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
  std::vector<uint8_t> ours(Yuv420Bytes(64, 48));
  ToYuv420(image.data(), kWidth, kHeight, 64, 48, ours.data());
  ASSERT_EQ(theirs.size(), ours.size());
  int worstLuma = 0;
  int worstChroma = 0;
  for (size_t i = 0; i < ours.size(); ++i) {
    const int difference = std::abs(static_cast<int>(ours[i]) - static_cast<int>(theirs[i]));
    if (i < 64 * 48) {
      worstLuma = std::max(worstLuma, difference);
    } else if ((i - 64 * 48) % 32 < 31) {  // the last chroma column mixes in the padding
      worstChroma = std::max(worstChroma, difference);
    }
  }
  EXPECT_LE(worstLuma, 1);
  EXPECT_LE(worstChroma, 2);
}

}  // namespace
