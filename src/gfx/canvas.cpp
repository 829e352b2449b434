#include "gfx/canvas.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace Vell::Gfx {

uint32_t BlendOver(uint32_t source, uint32_t destination) {
  const uint32_t sa = source >> 24;
  if (sa == 0) {
    return destination;
  }
  if (sa == 255) {
    return source;
  }
  const uint32_t da = destination >> 24;
  const uint32_t inverse = 255 - sa;
  if (da == 255) {
    // The usual case on the stage: an opaque background.
    const uint32_t r = (RedOf(source) * sa + RedOf(destination) * inverse + 127) / 255;
    const uint32_t g = (GreenOf(source) * sa + GreenOf(destination) * inverse + 127) / 255;
    const uint32_t b = (BlueOf(source) * sa + BlueOf(destination) * inverse + 127) / 255;
    return 0xFF000000u | (r << 16) | (g << 8) | b;
  }
  // General case, in units of 1/65025: out alpha = sa + da (1 - sa); colours weighted by their
  // alphas and divided by the out alpha.
  const uint32_t sw = sa * 255;
  const uint32_t dw = da * inverse;
  const uint32_t total = sw + dw;
  const uint32_t half = total / 2;
  const uint32_t r = (RedOf(source) * sw + RedOf(destination) * dw + half) / total;
  const uint32_t g = (GreenOf(source) * sw + GreenOf(destination) * dw + half) / total;
  const uint32_t b = (BlueOf(source) * sw + BlueOf(destination) * dw + half) / total;
  const uint32_t a = (total + 127) / 255;
  return (a << 24) | (r << 16) | (g << 8) | b;
}

Canvas::Canvas(int width, int height) : bitmap(width, height, kDefaultClearColour) {}

void Canvas::Clear(uint32_t argb) { bitmap.Fill(argb); }

namespace {

// One row of source pixels onto a row of the canvas, scaled: columns maps each canvas column to
// its source column.
void BlendRow(const uint32_t* source, const int* columns, uint32_t* target, int count) {
  for (int i = 0; i < count; ++i) {
    const uint32_t p = source[columns[i]];
    const uint32_t a = p >> 24;
    if (a == 255) {
      target[i] = p;
    } else if (a != 0) {
      target[i] = BlendOver(p, target[i]);
    }
  }
}

// The source coordinate sampled for destination offset i of n over a source extent of size:
// the pixel whose centre lies nearest to the destination pixel's centre.
inline int SourceIndex(int i, int n, int size) {
  return static_cast<int>((static_cast<int64_t>(2 * i + 1) * size) / (2 * static_cast<int64_t>(n)));
}

}  // namespace

void Canvas::DrawImage(const Image& image, int x, int y, int width, int height) {
  if (image.Empty() || width <= 0 || height <= 0 || bitmap.Empty()) {
    return;
  }
  // Clip in 64 bits: a rectangle far off the canvas must not overflow.
  const int64_t left = std::max<int64_t>(x, 0);
  const int64_t top = std::max<int64_t>(y, 0);
  const int64_t right = std::min<int64_t>(static_cast<int64_t>(x) + width, Width());
  const int64_t bottom = std::min<int64_t>(static_cast<int64_t>(y) + height, Height());
  if (left >= right || top >= bottom) {
    return;
  }
  const int count = static_cast<int>(right - left);
  const bool scaled = width != image.Width() || height != image.Height();
  if (!scaled) {
    const int sourceLeft = static_cast<int>(left - x);
    const int sourceRight = sourceLeft + count;
    for (int64_t row = top; row < bottom; ++row) {
      const Image::Span* span = nullptr;
      const Image::Span* end = nullptr;
      image.RowSpans(static_cast<int>(row - y), span, end);
      const uint32_t* source = image.Row(static_cast<int>(row - y));
      uint32_t* target = bitmap.Row(static_cast<int>(row)) + left;  // source column sourceLeft
      for (; span != end; ++span) {
        const int from = std::max(span->start, sourceLeft);
        const int to = std::min(span->start + span->length, sourceRight);
        if (from >= to) {
          continue;
        }
        if (span->opaque) {
          std::memcpy(target + (from - sourceLeft), source + from,
                      static_cast<size_t>(to - from) * sizeof(uint32_t));
        } else {
          uint32_t* out = target + (from - sourceLeft);
          const uint32_t* in = source + from;
          for (int i = 0; i < to - from; ++i) {
            out[i] = BlendOver(in[i], out[i]);
          }
        }
      }
    }
    bitmap.Changed();
    return;
  }
  thread_local std::vector<int> columns;
  columns.resize(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    columns[i] = SourceIndex(static_cast<int>(left - x) + i, width, image.Width());
  }
  for (int64_t row = top; row < bottom; ++row) {
    const int sourceRow = SourceIndex(static_cast<int>(row - y), height, image.Height());
    BlendRow(image.Row(sourceRow), columns.data(), bitmap.Row(static_cast<int>(row)) + left, count);
  }
  bitmap.Changed();
}

void Canvas::DrawBackground(const Image* image) {
  if (image != nullptr) {
    DrawImage(*image, 0, 0, Width(), Height());
  }
}

}  // namespace Vell::Gfx
