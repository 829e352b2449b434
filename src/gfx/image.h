// A raster image: 32-bit ARGB pixels, not premultiplied, rows top to bottom without padding. On a
// little-endian machine each pixel lies in memory as the bytes B, G, R, A.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Vell::Gfx {

constexpr uint32_t Argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
  return (a << 24) | (r << 16) | (g << 8) | b;
}
constexpr uint32_t AlphaOf(uint32_t argb) { return argb >> 24; }
constexpr uint32_t RedOf(uint32_t argb) { return (argb >> 16) & 0xFF; }
constexpr uint32_t GreenOf(uint32_t argb) { return (argb >> 8) & 0xFF; }
constexpr uint32_t BlueOf(uint32_t argb) { return argb & 0xFF; }

class Image {
 public:
  // What the image's alpha channel holds, for the drawing fast paths.
  enum class AlphaKind { kOpaque, kBinary, kBlended };

  Image() = default;
  Image(int width, int height, uint32_t fill = 0);

  // Largest width and height LoadPng accepts: the size is checked before any pixel memory is
  // taken, so a tiny file cannot claim gigabytes.
  static constexpr uint32_t kMaxPngSide = 4096;

  // Reads a PNG file of any colour type and bit depth. A file that cannot be read leaves the
  // image empty (0 × 0) and returns false with the file and libpng's message in why; nothing is
  // thrown.
  [[nodiscard]] bool LoadPng(const std::string& path, std::string* why = nullptr);
  // The bytes the PNG file's pixels take once LoadPng has read them, from the file's header
  // alone; 0 for a file LoadPng would refuse.
  static uint64_t DecodedPngBytes(const std::string& path);
  // The width and height a PNG file's header gives; false when the file cannot be read as PNG.
  [[nodiscard]] static bool PngSize(const std::string& path, int& width, int& height);
  // Writes the image as an 8-bit RGBA PNG, whole or not at all (framework/user_file.h); why
  // tells the file and libpng's message on failure.
  [[nodiscard]] bool SavePng(const std::string& path, std::string* why = nullptr) const;

  // Image pixels per logical stage pixel: 1, or 2 for an image read for the stage at scale 2
  // (gfx/scaled_png.h). Drawing code divides sizes by it to get stage units. LoadPng sets 1.
  int Scale() const { return scale; }
  void SetScale(int value) { scale = value < 1 ? 1 : value; }

  bool Empty() const { return width == 0 || height == 0; }
  int Width() const { return width; }
  int Height() const { return height; }
  uint32_t* Pixels() { return pixels.data(); }
  const uint32_t* Pixels() const { return pixels.data(); }
  uint32_t* Row(int y) { return pixels.data() + static_cast<size_t>(y) * width; }
  const uint32_t* Row(int y) const { return pixels.data() + static_cast<size_t>(y) * width; }
  uint32_t Pixel(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
  void SetPixel(int x, int y, uint32_t argb) {
    pixels[static_cast<size_t>(y) * width + x] = argb;
    Changed();
  }
  void Fill(uint32_t argb);
  void Resize(int newWidth, int newHeight, uint32_t fill = 0);

  // Whether every pixel is opaque, or every pixel fully opaque or fully transparent. Computed on
  // first use after a change; callers that write through Pixels() call Changed().
  AlphaKind GetAlphaKind() const;
  void Changed() {
    alphaKnown = false;
    spansKnown = false;
  }
  // For writers that changed colours but no alpha (shadows, fades, strobes): what is known of the
  // alpha channel stays known.
  void ColoursChanged() { spansKnown = false; }
  // Whether every pixel is known to be opaque without looking (false when it was not worked out
  // since the last change).
  bool KnownOpaque() const { return alphaKnown && alphaKind == AlphaKind::kOpaque; }
  // Records that every pixel is opaque, for a writer that made it so (the canvas after an opaque
  // picture covered it whole, or after a clear to an opaque colour).
  void SetKnownOpaque() {
    alphaKind = AlphaKind::kOpaque;
    alphaKnown = true;
  }

  // The non-transparent stretches of each row, for drawing: fully transparent pixels are
  // skipped, opaque stretches copied, translucent ones blended. Computed on first use after a
  // change (not safe to compute from two threads at once).
  struct Span {
    int start;
    int length;
    bool opaque;
  };
  // The spans of row y: [first, last) in the array returned by Spans().
  void RowSpans(int y, const Span*& first, const Span*& last) const;

 private:
  int width = 0;
  int height = 0;
  int scale = 1;
  std::vector<uint32_t> pixels;
  mutable AlphaKind alphaKind = AlphaKind::kBlended;
  mutable bool alphaKnown = false;
  mutable std::vector<Span> spans;
  mutable std::vector<uint32_t> rowSpanStart;  // height + 1 entries into spans
  mutable bool spansKnown = false;
};

}  // namespace Vell::Gfx
