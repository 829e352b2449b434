#include "render/composer.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>

#include "framework/parallel.h"

namespace Kesh::Render {

namespace {

constexpr uint32_t kOpaqueBlack = 0xFF000000u;
// The horizontal pass keeps this many bits below the 8 of a channel.
constexpr int kExtraBits = 6;
constexpr int kAcrossShift = ResampleAxis::kWeightBits - kExtraBits;
constexpr int kDownShift = ResampleAxis::kWeightBits + kExtraBits;

bool Fail(std::string* why, const std::string& reason) {
  if (why != nullptr) {
    *why = reason;
  }
  return false;
}

bool ParseSide(const char* first, const char* last, int& value) {
  const auto [end, error] = std::from_chars(first, last, value);
  return first != last && error == std::errc() && end == last;
}

}  // namespace

bool ParseFrameSize(const std::string& text, int& width, int& height, std::string* why) {
  const size_t x = text.find_first_of("xX");
  const char* begin = text.data();
  if (x == std::string::npos || !ParseSide(begin, begin + x, width) ||
      !ParseSide(begin + x + 1, begin + text.size(), height)) {
    return Fail(why, "--size needs WIDTHxHEIGHT such as 1280x720, not \"" + text + "\"");
  }
  if (width < kMinFrameWidth || height < kMinFrameHeight || width > kMaxFrameWidth ||
      height > kMaxFrameHeight) {
    return Fail(why, "--size " + text + " is out of range: from " + std::to_string(kMinFrameWidth) +
                         "x" + std::to_string(kMinFrameHeight) + " up to " +
                         std::to_string(kMaxFrameWidth) + "x" + std::to_string(kMaxFrameHeight));
  }
  if (width % 2 != 0 || height % 2 != 0) {
    return Fail(why, "--size " + text +
                         ": the width and the height must be even (the video keeps one colour "
                         "per 2 x 2 pixels)");
  }
  return true;
}

double FittedScale(int pictureWidth, int pictureHeight, int frameWidth, int frameHeight) {
  return std::min(static_cast<double>(frameWidth) / pictureWidth,
                  static_cast<double>(frameHeight) / pictureHeight);
}

int RenderScaleFor(int frameWidth, int frameHeight, int bandHeight) {
  return FittedScale(kStageWidth, kStageHeight + bandHeight, frameWidth, frameHeight) > 1.0 ? 2 : 1;
}

ResampleAxis::ResampleAxis(int inputs, int outputs) : inputs(inputs), outputs(outputs) {
  const double scale = static_cast<double>(outputs) / inputs;
  const double radius = std::max(1.0, 1.0 / scale);
  // The inputs strictly within the radius of a centre: never more than 2 x radius of them.
  taps = static_cast<int>(std::ceil(2 * radius));
  first.resize(static_cast<size_t>(outputs));
  weights.assign(static_cast<size_t>(outputs) * static_cast<size_t>(taps), 0);
  std::vector<double> shares(static_cast<size_t>(taps));
  for (int i = 0; i < outputs; ++i) {
    // The output sample's centre in input samples.
    const double centre = (i + 0.5) / scale - 0.5;
    const int lo = static_cast<int>(std::floor(centre - radius)) + 1;
    double total = 0;
    for (int k = 0; k < taps; ++k) {
      shares[k] = std::max(0.0, 1.0 - std::fabs(lo + k - centre) / radius);
      total += shares[k];
    }
    int32_t* w = &weights[static_cast<size_t>(i) * static_cast<size_t>(taps)];
    int32_t given = 0;
    int largest = 0;
    for (int k = 0; k < taps; ++k) {
      w[k] = static_cast<int32_t>(std::lround(shares[k] / total * (1 << kWeightBits)));
      given += w[k];
      largest = w[k] > w[largest] ? k : largest;
    }
    // Rounding's remainder goes to the largest weight, so that flat colour stays exact.
    w[largest] += (1 << kWeightBits) - given;
    first[static_cast<size_t>(i)] = lo;
  }
}

Resampler::Resampler(int inputWidth, int inputHeight, int outputWidth, int outputHeight)
    : horizontal(inputWidth, outputWidth), vertical(inputHeight, outputHeight) {
  across.resize(static_cast<size_t>(inputHeight) * static_cast<size_t>(outputWidth) * 4);
  for (size_t part = 0; part < kParts; ++part) {
    sum[part].resize(static_cast<size_t>(outputWidth) * 4);
    unpacked[part].resize(static_cast<size_t>(inputWidth) * 4);
  }
  columns.resize(static_cast<size_t>(outputWidth) * static_cast<size_t>(horizontal.taps));
  for (int x = 0; x < outputWidth; ++x) {
    for (int k = 0; k < horizontal.taps; ++k) {
      columns[static_cast<size_t>(x * horizontal.taps + k)] =
          std::clamp(horizontal.first[static_cast<size_t>(x)] + k, 0, inputWidth - 1);
    }
  }
}

namespace {

// One row across: each output pixel from taps consecutive input pixels (columns, clamped at the
// edges), the row's channels unpacked to 16 bits first so that the four channels of a pixel are
// summed side by side. Taps known at compile time for the common filters lets the compiler unroll
// and vectorise the loop.
template <int kFixedTaps>
void Across(const uint16_t* row, const int* column, const int32_t* w, int outputs, int taps,
            uint16_t* out) {
  const int n = kFixedTaps > 0 ? kFixedTaps : taps;
  constexpr int32_t kHalf = 1 << (kAcrossShift - 1);
  for (int x = 0; x < outputs; ++x, column += n, w += n, out += 4) {
    int32_t sum[4] = {kHalf, kHalf, kHalf, kHalf};
    for (int k = 0; k < n; ++k) {
      const uint16_t* p = row + static_cast<std::ptrdiff_t>(column[k]) * 4;
      for (int c = 0; c < 4; ++c) {
        sum[c] += int32_t{static_cast<int16_t>(w[k])} * static_cast<int16_t>(p[c]);
      }
    }
    for (int c = 0; c < 4; ++c) {
      out[c] = static_cast<uint16_t>(sum[c] >> kAcrossShift);
    }
  }
}

}  // namespace

void Resampler::Run(const uint32_t* input, int inputStride, uint32_t* output, int outputStride) {
  // Each pass shares its rows out between two threads: a frame takes milliseconds, while the
  // encoder leaves the second core partly free.
  Vell::Parallel::For(
      kParts, [&](size_t part) { AcrossRows(part, input, inputStride); }, kParts);
  Vell::Parallel::For(
      kParts, [&](size_t part) { DownRows(part, output, outputStride); }, kParts);
}

void Resampler::AcrossRows(size_t part, const uint32_t* input, int inputStride) {
  const int outW = horizontal.outputs;
  const int hTaps = horizontal.taps;
  std::vector<uint16_t>& unpacked = this->unpacked[part];
  const int end = static_cast<int>(static_cast<size_t>(vertical.inputs) * (part + 1) / kParts);
  for (int y = static_cast<int>(static_cast<size_t>(vertical.inputs) * part / kParts); y < end;
       ++y) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(
        input + static_cast<size_t>(y) * static_cast<size_t>(inputStride));
    for (size_t j = 0; j < unpacked.size(); ++j) {
      unpacked[j] = bytes[j];
    }
    const uint16_t* row = unpacked.data();
    uint16_t* out = &across[static_cast<size_t>(y) * static_cast<size_t>(outW) * 4];
    const int* column = columns.data();
    const int32_t* w = horizontal.weights.data();
    switch (hTaps) {
      case 2:
        Across<2>(row, column, w, outW, hTaps, out);
        break;
      case 3:
        Across<3>(row, column, w, outW, hTaps, out);
        break;
      default:
        Across<0>(row, column, w, outW, hTaps, out);
        break;
    }
  }
}

void Resampler::DownRows(size_t part, uint32_t* output, int outputStride) {
  // Each output row from the rows across, summed with their weights; the channels are bytes in
  // memory order, so the row is written byte by byte.
  const int vTaps = vertical.taps;
  const size_t values = static_cast<size_t>(horizontal.outputs) * 4;
  constexpr int32_t kHalf = 1 << (kDownShift - 1);
  std::vector<int32_t>& sum = this->sum[part];
  const int end = static_cast<int>(static_cast<size_t>(vertical.outputs) * (part + 1) / kParts);
  for (int y = static_cast<int>(static_cast<size_t>(vertical.outputs) * part / kParts); y < end;
       ++y) {
    const int32_t* w = &vertical.weights[static_cast<size_t>(y) * static_cast<size_t>(vTaps)];
    const auto rowOf = [&](int k) {
      const int source =
          std::clamp(vertical.first[static_cast<size_t>(y)] + k, 0, vertical.inputs - 1);
      return &across[static_cast<size_t>(source) * values];
    };
    auto* out = reinterpret_cast<uint8_t*>(output + static_cast<size_t>(y) *
                                                        static_cast<size_t>(outputStride));
    if (vTaps == 2) {
      const uint16_t* first = rowOf(0);
      const uint16_t* second = rowOf(1);
      // Weights and values both fit 16 bits signed: products of 16-bit numbers, which the
      // vector units widen cheaply, instead of 32-bit ones.
      const auto w0 = static_cast<int16_t>(w[0]);
      const auto w1 = static_cast<int16_t>(w[1]);
      const auto* a = reinterpret_cast<const int16_t*>(first);
      const auto* b = reinterpret_cast<const int16_t*>(second);
      for (size_t j = 0; j < values; ++j) {
        const int32_t v = (int32_t{w0} * a[j] + int32_t{w1} * b[j] + kHalf) >> kDownShift;
        out[j] = static_cast<uint8_t>(std::min(v, 255));
      }
      continue;
    }
    std::fill(sum.begin(), sum.end(), kHalf);
    int32_t* total = sum.data();
    for (int k = 0; k < vTaps; ++k) {
      if (w[k] == 0) {
        continue;
      }
      const uint16_t* row = rowOf(k);
      const int32_t weight = w[k];
      for (size_t j = 0; j < values; ++j) {
        total[j] += weight * static_cast<int32_t>(row[j]);
      }
    }
    for (size_t j = 0; j < values; ++j) {
      out[j] = static_cast<uint8_t>(std::min(total[j] >> kDownShift, 255));
    }
  }
}

Composer::Composer(int frameWidth, int frameHeight)
    : frame(frameWidth, frameHeight, kOpaqueBlack) {}

const Vell::Gfx::Image& Composer::Compose(const Vell::Gfx::Image& picture) {
  if (picture.Width() != pictureWidth || picture.Height() != pictureHeight) {
    pictureWidth = picture.Width();
    pictureHeight = picture.Height();
    const double scale = FittedScale(pictureWidth, pictureHeight, frame.Width(), frame.Height());
    width = std::clamp(static_cast<int>(std::lround(pictureWidth * scale)), 1, frame.Width());
    height = std::clamp(static_cast<int>(std::lround(pictureHeight * scale)), 1, frame.Height());
    left = (frame.Width() - width) / 2;
    top = (frame.Height() - height) / 2;
    frame.Fill(kOpaqueBlack);
    if (width != pictureWidth || height != pictureHeight) {
      resampler = Resampler(pictureWidth, pictureHeight, width, height);
    }
  }
  uint32_t* into = frame.Row(top) + left;
  if (width == pictureWidth && height == pictureHeight) {
    for (int y = 0; y < height; ++y) {
      std::copy(picture.Row(y), picture.Row(y) + width, frame.Row(top + y) + left);
    }
  } else {
    resampler.Run(picture.Pixels(), pictureWidth, into, frame.Width());
  }
  frame.Changed();
  return frame;
}

}  // namespace Kesh::Render
