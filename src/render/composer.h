// The video frame of a render: the show's picture (the stage, with the karaoke band under it when
// asked) fitted into a frame of any size at the largest scale that fits, centred on black and
// resampled smoothly. Used by the renderer's single thread; a composer owns its frame and the
// resampling weights, which are worked out once per picture size.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gfx/image.h"

namespace Kesh::Render {

// The frame sizes a video may have: even, from a small preview up to 4K.
constexpr int kMinFrameWidth = 320;
constexpr int kMinFrameHeight = 180;
constexpr int kMaxFrameWidth = 3840;
constexpr int kMaxFrameHeight = 2160;
// The show's logical stage, which the render scale multiplies.
constexpr int kStageWidth = 815;
constexpr int kStageHeight = 400;

// Reads "WIDTHxHEIGHT"; false with the reason for a malformed, odd or out-of-range size.
[[nodiscard]] bool ParseFrameSize(const std::string& text, int& width, int& height,
                                  std::string* why = nullptr);

// The largest scale at which a picture fits into a frame.
double FittedScale(int pictureWidth, int pictureHeight, int frameWidth, int frameHeight);

// The scale the show is drawn at for a frame size: 2 whenever the logical stage (with the band of
// bandHeight logical rows under it) is enlarged to fit the frame, else 1.
int RenderScaleFor(int frameWidth, int frameHeight, int bandHeight);

// One axis of a separable resampling: for each output sample, the first input sample and the
// fixed-point weights (kWeightBits) of kTaps consecutive inputs (edges repeated). A triangle
// filter as wide as an output sample or an input sample, whichever is wider: bilinear when
// enlarging, an area average when reducing.
struct ResampleAxis {
  static constexpr int kWeightBits = 14;
  ResampleAxis() = default;
  ResampleAxis(int inputs, int outputs);
  int inputs = 0;
  int outputs = 0;
  int taps = 0;
  std::vector<int> first;        // per output: the first input (may lie before 0 or past the end)
  std::vector<int32_t> weights;  // per output: taps weights summing to 1 << kWeightBits
};

// Resamples width x height ARGB pixels (stride in pixels) to the axes' output size, all four
// channels alike; the output rows are outStride pixels apart.
class Resampler {
 public:
  Resampler() = default;
  Resampler(int inputWidth, int inputHeight, int outputWidth, int outputHeight);
  void Run(const uint32_t* input, int inputStride, uint32_t* output, int outputStride);
  int OutputWidth() const { return horizontal.outputs; }
  int OutputHeight() const { return vertical.outputs; }

 private:
  static constexpr size_t kParts = 2;  // threads a pass runs on
  // The horizontal pass over part of the input rows, the vertical one over part of the output.
  void AcrossRows(size_t part, const uint32_t* input, int inputStride);
  void DownRows(size_t part, uint32_t* output, int outputStride);

  ResampleAxis horizontal;
  ResampleAxis vertical;
  std::vector<uint16_t> across;      // the horizontally resampled rows, 4 channels, 6 extra bits
  std::vector<int32_t> sum[kParts];  // per part: one output row being summed
  std::vector<uint16_t> unpacked[kParts];  // per part: one input row, a channel a value
  std::vector<int> columns;  // per output column: its taps' input columns, edges repeated
};

class Composer {
 public:
  Composer(int frameWidth, int frameHeight);
  // The picture fitted into the frame; the weights are worked out again only when the picture's
  // size changes. A picture that fits at scale 1 is copied, not resampled.
  const Vell::Gfx::Image& Compose(const Vell::Gfx::Image& picture);
  const Vell::Gfx::Image& Frame() const { return frame; }
  // Where the picture lies in the frame (after a Compose).
  int Left() const { return left; }
  int Top() const { return top; }
  int Width() const { return width; }
  int Height() const { return height; }

 private:
  Vell::Gfx::Image frame;
  Resampler resampler;
  int pictureWidth = -1;
  int pictureHeight = -1;
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

}  // namespace Kesh::Render
