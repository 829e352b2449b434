// Saturating colour arithmetic over runs of 32-bit ARGB pixels, several pixels per operation.
// Blue, green and red change; alpha never does. Pure functions: any thread, owns nothing.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Vell::Gfx::Pixels {

// Subtracts amount from blue, green and red of count pixels, each floored at 0.
void SubtractColour(uint32_t* pixels, size_t count, uint8_t amount);
// Adds amount to blue, green and red of count pixels, each capped at 255.
void AddColour(uint32_t* pixels, size_t count, uint8_t amount);

// One pixel: subtracts from blue, green and red, floored at 0 (branch-free, byte lanes).
inline uint32_t SubtractColour(uint32_t pixel, uint8_t amount) {
  constexpr uint32_t kHigh = 0x80808080u;
  const uint32_t lanes = 0x00010101u * amount;
  const uint32_t difference = ((pixel | kHigh) - (lanes & ~kHigh)) ^ ((pixel ^ ~lanes) & kHigh);
  const uint32_t borrow = ((~pixel & lanes) | (~(pixel ^ lanes) & difference)) & kHigh;
  return difference & ~((borrow >> 7) * 0xFFu);
}

// Darkens count consecutive pixels by amount where the texel they sample has alpha above
// threshold. Pixel i samples texels[(column + i × columnStep) >> 16]. Returns whether any pixel
// was darkened.
bool SubtractColourWhereOpaque(uint32_t* pixels, size_t count, const uint32_t* texels,
                               int64_t column, int64_t columnStep, uint8_t amount,
                               uint8_t threshold);

// The portable versions (no vector instructions), always built; the functions above use vector
// instructions where the target has them.
namespace Portable {
void SubtractColour(uint32_t* pixels, size_t count, uint8_t amount);
void AddColour(uint32_t* pixels, size_t count, uint8_t amount);
bool SubtractColourWhereOpaque(uint32_t* pixels, size_t count, const uint32_t* texels,
                               int64_t column, int64_t columnStep, uint8_t amount,
                               uint8_t threshold);
}  // namespace Portable

}  // namespace Vell::Gfx::Pixels
