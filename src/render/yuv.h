// Stage frames as the video encoder takes them: planar YUV 4:2:0, BT.601 in the limited range (the
// conversion ffmpeg applies to RGB input by default), so that ffmpeg only encodes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Kesh::Render {

// The bytes of a padded frame: a width x height luma plane, then two chroma planes of half the
// width and half the height. Both sides must be even.
constexpr size_t Yuv420Bytes(int width, int height) {
  return static_cast<size_t>(width) * static_cast<size_t>(height) * 3 / 2;
}

// Converts width x height ARGB pixels (alpha ignored) into a frame of paddedWidth x paddedHeight
// (even, and at least width and height): the padding is black. Each chroma sample comes from the
// mean colour of its 2 x 2 pixels.
void ToYuv420(const uint32_t* argb, int width, int height, int paddedWidth, int paddedHeight,
              uint8_t* out);

}  // namespace Kesh::Render
