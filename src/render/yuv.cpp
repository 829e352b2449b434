#include "render/yuv.h"

#include <algorithm>

#include "framework/parallel.h"

namespace Kesh::Render {

namespace {

// BT.601, limited range, in 8.8 fixed point with rounding.
inline uint8_t Luma(int r, int g, int b) {
  return static_cast<uint8_t>(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16);
}
inline uint8_t BlueDifference(int r, int g, int b) {
  return static_cast<uint8_t>(((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128);
}
inline uint8_t RedDifference(int r, int g, int b) {
  return static_cast<uint8_t>(((112 * r - 94 * g - 18 * b + 128) >> 8) + 128);
}

inline int Red(uint32_t p) { return static_cast<int>((p >> 16) & 0xFF); }
inline int Green(uint32_t p) { return static_cast<int>((p >> 8) & 0xFF); }
inline int Blue(uint32_t p) { return static_cast<int>(p & 0xFF); }

// The rows of chroma [chromaBegin, chromaEnd) of ToYuv420's frame and the luma rows they cover.
void ConvertRows(const uint32_t* argb, int width, int height, int paddedWidth, int paddedHeight,
                 uint8_t* out, int chromaBegin, int chromaEnd) {
  const size_t lumaBytes = static_cast<size_t>(paddedWidth) * static_cast<size_t>(paddedHeight);
  uint8_t* luma = out;
  uint8_t* blue = out + lumaBytes;
  uint8_t* red = blue + lumaBytes / 4;
  const int chromaWidth = paddedWidth / 2;
  for (int y = 2 * chromaBegin; y < 2 * chromaEnd; ++y) {
    uint8_t* row = luma + static_cast<size_t>(y) * static_cast<size_t>(paddedWidth);
    if (y >= height) {
      std::fill(row, row + paddedWidth, uint8_t{16});
      continue;
    }
    const uint32_t* source = argb + static_cast<size_t>(y) * static_cast<size_t>(width);
    for (int x = 0; x < width; ++x) {
      row[x] = Luma(Red(source[x]), Green(source[x]), Blue(source[x]));
    }
    std::fill(row + width, row + paddedWidth, uint8_t{16});
  }
  // Padding pixels count as black in the means.
  const auto at = [&](int x, int y) -> uint32_t {
    return x < width && y < height
               ? argb[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)]
               : 0U;
  };
  for (int cy = chromaBegin; cy < chromaEnd; ++cy) {
    uint8_t* blueRow = blue + static_cast<size_t>(cy) * static_cast<size_t>(chromaWidth);
    uint8_t* redRow = red + static_cast<size_t>(cy) * static_cast<size_t>(chromaWidth);
    // Blocks wholly inside the picture read both rows directly; the others go through at().
    const int inside = 2 * cy + 1 < height ? width / 2 : 0;
    const uint32_t* top = argb + static_cast<size_t>(2 * cy) * static_cast<size_t>(width);
    const uint32_t* bottom = top + width;
    for (int cx = 0; cx < inside; ++cx) {
      const uint32_t a = top[2 * cx];
      const uint32_t b = top[2 * cx + 1];
      const uint32_t c = bottom[2 * cx];
      const uint32_t d = bottom[2 * cx + 1];
      const int r = (Red(a) + Red(b) + Red(c) + Red(d) + 2) >> 2;
      const int g = (Green(a) + Green(b) + Green(c) + Green(d) + 2) >> 2;
      const int bl = (Blue(a) + Blue(b) + Blue(c) + Blue(d) + 2) >> 2;
      blueRow[cx] = BlueDifference(r, g, bl);
      redRow[cx] = RedDifference(r, g, bl);
    }
    for (int cx = inside; cx < chromaWidth; ++cx) {
      const uint32_t p[4] = {at(2 * cx, 2 * cy), at(2 * cx + 1, 2 * cy), at(2 * cx, 2 * cy + 1),
                             at(2 * cx + 1, 2 * cy + 1)};
      const int r = (Red(p[0]) + Red(p[1]) + Red(p[2]) + Red(p[3]) + 2) / 4;
      const int g = (Green(p[0]) + Green(p[1]) + Green(p[2]) + Green(p[3]) + 2) / 4;
      const int b = (Blue(p[0]) + Blue(p[1]) + Blue(p[2]) + Blue(p[3]) + 2) / 4;
      blueRow[cx] = BlueDifference(r, g, b);
      redRow[cx] = RedDifference(r, g, b);
    }
  }
}

}  // namespace

void ToYuv420(const uint32_t* argb, int width, int height, int paddedWidth, int paddedHeight,
              uint8_t* out) {
  // Two threads, each a half of the rows: a 1080p frame takes milliseconds, while the encoder
  // leaves the second core partly free.
  constexpr size_t kParts = 2;
  const int chromaRows = paddedHeight / 2;
  Vell::Parallel::For(
      kParts,
      [&](size_t part) {
        ConvertRows(argb, width, height, paddedWidth, paddedHeight, out,
                    static_cast<int>(static_cast<size_t>(chromaRows) * part / kParts),
                    static_cast<int>(static_cast<size_t>(chromaRows) * (part + 1) / kParts));
      },
      kParts);
}

}  // namespace Kesh::Render
