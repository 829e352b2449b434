#include "effects/pixels.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace Vell::Gfx::Pixels {

namespace {

// Two pixels at a time in 64 bits (SWAR): each byte lane holds one channel, alpha lanes get 0.
constexpr uint64_t kColourLanes = 0x00FFFFFF00FFFFFFull;
constexpr uint64_t kHighBits = 0x8080808080808080ull;

uint64_t Broadcast(uint8_t amount) { return (0x0001010100010101ull * amount) & kColourLanes; }

// Per-byte a - b floored at 0.
uint64_t SubtractSaturated(uint64_t a, uint64_t b) {
  // Lane difference without borrows between lanes, then a mask of the lanes where a < b.
  const uint64_t difference = ((a | kHighBits) - (b & ~kHighBits)) ^ ((a ^ ~b) & kHighBits);
  const uint64_t borrow = ((~a & b) | (~(a ^ b) & difference)) & kHighBits;
  const uint64_t mask = (borrow >> 7) * 0xFF;
  return difference & ~mask;
}

// Per-byte a + b capped at 255.
uint64_t AddSaturated(uint64_t a, uint64_t b) {
  const uint64_t sum = ((a & ~kHighBits) + (b & ~kHighBits)) ^ ((a ^ b) & kHighBits);
  const uint64_t carry = ((a & b) | ((a | b) & ~sum)) & kHighBits;
  const uint64_t mask = (carry >> 7) * 0xFF;
  return sum | mask;
}

template <typename Operation>
void Run(uint32_t* pixels, size_t count, uint8_t amount, Operation operation) {
  const uint64_t lanes = Broadcast(amount);
  size_t i = 0;
  for (; i + 2 <= count; i += 2) {
    uint64_t pair = static_cast<uint64_t>(pixels[i]) | (static_cast<uint64_t>(pixels[i + 1]) << 32);
    pair = operation(pair, lanes);
    pixels[i] = static_cast<uint32_t>(pair);
    pixels[i + 1] = static_cast<uint32_t>(pair >> 32);
  }
  if (i < count) {
    pixels[i] = static_cast<uint32_t>(operation(pixels[i], lanes));
  }
}

}  // namespace

namespace Portable {

void SubtractColour(uint32_t* pixels, size_t count, uint8_t amount) {
  if (amount != 0) {
    Run(pixels, count, amount, SubtractSaturated);
  }
}

void AddColour(uint32_t* pixels, size_t count, uint8_t amount) {
  if (amount != 0) {
    Run(pixels, count, amount, AddSaturated);
  }
}

bool SubtractColourWhereOpaque(uint32_t* pixels, size_t count, const uint32_t* texels,
                               int64_t column, int64_t columnStep, uint8_t amount,
                               uint8_t threshold) {
  bool darkened = false;
  for (size_t i = 0; i < count; ++i, column += columnStep) {
    if ((texels[column >> 16] >> 24) > threshold) {
      pixels[i] = Pixels::SubtractColour(pixels[i], amount);
      darkened = true;
    }
  }
  return darkened;
}

}  // namespace Portable

#if defined(__SSE2__)

namespace {

// Four pixels per instruction with the saturating byte operations; the remainder goes portable.
template <__m128i (*Operation)(__m128i, __m128i)>
size_t RunSse2(uint32_t* pixels, size_t count, uint8_t amount) {
  const __m128i lanes = _mm_set1_epi32(static_cast<int>(0x00010101u * amount));
  size_t i = 0;
  for (; i + 4 <= count; i += 4) {
    auto* where = reinterpret_cast<__m128i*>(pixels + i);
    _mm_storeu_si128(where, Operation(_mm_loadu_si128(where), lanes));
  }
  return i;
}

__m128i Subtract(__m128i a, __m128i b) { return _mm_subs_epu8(a, b); }
__m128i Add(__m128i a, __m128i b) { return _mm_adds_epu8(a, b); }

}  // namespace

void SubtractColour(uint32_t* pixels, size_t count, uint8_t amount) {
  if (amount == 0) {
    return;
  }
  const size_t done = RunSse2<Subtract>(pixels, count, amount);
  Portable::SubtractColour(pixels + done, count - done, amount);
}

void AddColour(uint32_t* pixels, size_t count, uint8_t amount) {
  if (amount == 0) {
    return;
  }
  const size_t done = RunSse2<Add>(pixels, count, amount);
  Portable::AddColour(pixels + done, count - done, amount);
}

bool SubtractColourWhereOpaque(uint32_t* pixels, size_t count, const uint32_t* texels,
                               int64_t column, int64_t columnStep, uint8_t amount,
                               uint8_t threshold) {
  const __m128i lanes = _mm_set1_epi32(static_cast<int>(0x00010101u * amount));
  const __m128i limit = _mm_set1_epi32(threshold);
  int hits = 0;
  size_t i = 0;
  // Four texels gathered, their alphas compared at once, four pixels darkened and kept by mask.
  for (; i + 4 <= count; i += 4) {
    const auto t0 = static_cast<int>(texels[column >> 16]);
    const auto t1 = static_cast<int>(texels[(column + columnStep) >> 16]);
    const auto t2 = static_cast<int>(texels[(column + 2 * columnStep) >> 16]);
    const auto t3 = static_cast<int>(texels[(column + 3 * columnStep) >> 16]);
    column += 4 * columnStep;
    const __m128i alpha = _mm_srli_epi32(_mm_set_epi32(t3, t2, t1, t0), 24);
    const __m128i mask = _mm_cmpgt_epi32(alpha, limit);
    auto* where = reinterpret_cast<__m128i*>(pixels + i);
    const __m128i pixel = _mm_loadu_si128(where);
    const __m128i dark = _mm_subs_epu8(pixel, lanes);
    _mm_storeu_si128(where, _mm_or_si128(_mm_and_si128(mask, dark), _mm_andnot_si128(mask, pixel)));
    hits |= _mm_movemask_epi8(mask);
  }
  const bool rest = Portable::SubtractColourWhereOpaque(pixels + i, count - i, texels, column,
                                                        columnStep, amount, threshold);
  return hits != 0 || rest;
}

#else

void SubtractColour(uint32_t* pixels, size_t count, uint8_t amount) {
  Portable::SubtractColour(pixels, count, amount);
}

void AddColour(uint32_t* pixels, size_t count, uint8_t amount) {
  Portable::AddColour(pixels, count, amount);
}

bool SubtractColourWhereOpaque(uint32_t* pixels, size_t count, const uint32_t* texels,
                               int64_t column, int64_t columnStep, uint8_t amount,
                               uint8_t threshold) {
  return Portable::SubtractColourWhereOpaque(pixels, count, texels, column, columnStep, amount,
                                             threshold);
}

#endif

}  // namespace Vell::Gfx::Pixels
