#include "gfx/canvas.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

void BlendOntoOpaque(const uint32_t* source, uint32_t* target, int count) {
  // Per channel: t = s·a + d·(255 − a) + 127 ≤ 65152, and t / 255 = (t + 1 + (t >> 8)) >> 8 for
  // every t below 65535, so 16-bit lanes hold every step.
  int i = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  const __m128i full = _mm_set1_epi16(255);
  const __m128i half = _mm_set1_epi16(127);
  const __m128i one = _mm_set1_epi16(1);
  const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xFF000000u));
  auto blend = [&](__m128i s, __m128i d) {
    const __m128i a = _mm_shufflehi_epi16(_mm_shufflelo_epi16(s, 0xFF), 0xFF);
    __m128i t = _mm_add_epi16(_mm_mullo_epi16(s, a), _mm_mullo_epi16(d, _mm_sub_epi16(full, a)));
    t = _mm_add_epi16(t, half);
    return _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(t, one), _mm_srli_epi16(t, 8)), 8);
  };
  for (; i + 4 <= count; i += 4) {
    const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i));
    const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(target + i));
    const __m128i low = blend(_mm_unpacklo_epi8(s, zero), _mm_unpacklo_epi8(d, zero));
    const __m128i high = blend(_mm_unpackhi_epi8(s, zero), _mm_unpackhi_epi8(d, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(target + i),
                     _mm_or_si128(_mm_packus_epi16(low, high), opaque));
  }
#endif
  for (; i < count; ++i) {
    const uint32_t p = source[i];
    const uint32_t d = target[i];
    const uint32_t a = p >> 24;
    auto channel = [a](uint32_t s, uint32_t t) {
      const uint32_t v = s * a + t * (255 - a) + 127;
      return (v + 1 + (v >> 8)) >> 8;
    };
    target[i] = 0xFF000000u | (channel(RedOf(p), RedOf(d)) << 16) |
                (channel(GreenOf(p), GreenOf(d)) << 8) | channel(BlueOf(p), BlueOf(d));
  }
}

bool AllOpaque(const uint32_t* pixels, int count) {
  uint32_t all = 0xFFFFFFFFu;
  for (int i = 0; i < count; ++i) {
    all &= pixels[i];
  }
  return (all >> 24) == 255;
}

Canvas::Canvas(int width, int height) : bitmap(width, height, kDefaultClearColour) {}

void Canvas::Clear(uint32_t argb) {
  bitmap.Fill(argb);
  if (AlphaOf(argb) == 255) {
    bitmap.SetKnownOpaque();
  }
}

void Canvas::Reshape(int width, int height, int newScale) {
  scale = newScale < 1 ? 1 : newScale;
  bitmap.Resize(width * scale, height * scale, clearColour);
  bitmap.SetScale(scale);
  if (AlphaOf(clearColour) == 255) {
    bitmap.SetKnownOpaque();
  }
}

namespace {

// One row of source pixels onto a row of the canvas, scaled: columns maps each canvas column to
// its source column. opaqueTarget: every target pixel is known to be opaque.
void BlendRow(const uint32_t* source, const int* columns, uint32_t* target, int count,
              bool opaqueTarget) {
  if (opaqueTarget || AllOpaque(target, count)) {
    thread_local std::vector<uint32_t> row;
    row.resize(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
      row[i] = source[columns[i]];
    }
    BlendOntoOpaque(row.data(), target, count);
    return;
  }
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
  // Source-over onto opaque pixels leaves them opaque: a canvas known to be opaque stays so and
  // needs no look at its pixels before blending. An opaque image covering the canvas makes it so.
  const bool opaqueTarget = bitmap.KnownOpaque();
  const bool covered = left == 0 && top == 0 && right == Width() && bottom == Height() &&
                       image.GetAlphaKind() == Image::AlphaKind::kOpaque;
  const auto changed = [&] {
    if (opaqueTarget || covered) {
      bitmap.ColoursChanged();
      bitmap.SetKnownOpaque();
    } else {
      bitmap.Changed();
    }
  };
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
          if (opaqueTarget || AllOpaque(out, to - from)) {
            BlendOntoOpaque(in, out, to - from);
          } else {
            for (int i = 0; i < to - from; ++i) {
              out[i] = BlendOver(in[i], out[i]);
            }
          }
        }
      }
    }
    changed();
    return;
  }
  thread_local std::vector<int> columns;
  columns.resize(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    columns[i] = SourceIndex(static_cast<int>(left - x) + i, width, image.Width());
  }
  for (int64_t row = top; row < bottom; ++row) {
    const int sourceRow = SourceIndex(static_cast<int>(row - y), height, image.Height());
    BlendRow(image.Row(sourceRow), columns.data(), bitmap.Row(static_cast<int>(row)) + left, count,
             opaqueTarget);
  }
  changed();
}

void Canvas::DrawStageImage(const Image& image, int x, int y, int width, int height) {
  // Held inside int: a place far off the stage stays far off the canvas.
  const auto scaled = [this](int value) {
    return static_cast<int>(
        std::clamp<int64_t>(static_cast<int64_t>(value) * scale, INT32_MIN / 2, INT32_MAX / 2));
  };
  DrawImage(image, scaled(x), scaled(y), scaled(width), scaled(height));
}

void Canvas::DrawBackground(const Image* image) {
  if (image != nullptr) {
    DrawImage(*image, 0, 0, Width(), Height());
  }
}

}  // namespace Vell::Gfx
