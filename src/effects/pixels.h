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

// One pixel: the same arithmetic for callers that decide pixel by pixel.
inline uint32_t SubtractColour(uint32_t pixel, uint8_t amount) {
  uint32_t result = pixel & 0xFF000000u;
  for (int shift = 0; shift < 24; shift += 8) {
    const uint32_t channel = (pixel >> shift) & 0xFFu;
    result |= (channel > amount ? channel - amount : 0u) << shift;
  }
  return result;
}

// The portable versions (no vector instructions), always built; the functions above use vector
// instructions where the target has them.
namespace Portable {
void SubtractColour(uint32_t* pixels, size_t count, uint8_t amount);
void AddColour(uint32_t* pixels, size_t count, uint8_t amount);
}  // namespace Portable

}  // namespace Vell::Gfx::Pixels
