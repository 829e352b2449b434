#include "gfx/scaled_png.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "framework/diagnostics.h"

namespace Vell::Gfx {

namespace {

// Weights of the two source pixels nearest an output pixel of a 2× bilinear scaling, in quarters:
// output column 2i samples i − 1/4 (3/4 of i, 1/4 of i − 1), column 2i + 1 samples i + 1/4.
constexpr uint32_t kNear = 3;
constexpr uint32_t kFar = 1;

bool IsFile(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(path, error);
}

}  // namespace

std::string HiDpiPath(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash) ||
      dot == (slash == std::string::npos ? 0 : slash + 1)) {
    return path + "@2x";
  }
  return path.substr(0, dot) + "@2x" + path.substr(dot);
}

Image ScaleUpTwice(const Image& image) {
  Image out(image.Width() * 2, image.Height() * 2);
  out.SetScale(image.Scale());
  if (image.Empty()) {
    return out;
  }
  const int w = image.Width();
  const int h = image.Height();
  // Per output pixel, four source pixels with weights 9, 3, 3, 1 (sixteenths). Colours are summed
  // premultiplied by alpha and divided by the summed alpha, rounded to nearest.
  for (int oy = 0; oy < h * 2; ++oy) {
    const int y = oy / 2;
    const int y2 = std::clamp(oy % 2 == 0 ? y - 1 : y + 1, 0, h - 1);
    const uint32_t* near = image.Row(y);
    const uint32_t* far = image.Row(y2);
    uint32_t* target = out.Row(oy);
    for (int ox = 0; ox < w * 2; ++ox) {
      const int x = ox / 2;
      const int x2 = std::clamp(ox % 2 == 0 ? x - 1 : x + 1, 0, w - 1);
      const uint32_t pixels[4] = {near[x], near[x2], far[x], far[x2]};
      const uint32_t a = AlphaOf(pixels[0]);
      if (a == AlphaOf(pixels[1]) && a == AlphaOf(pixels[2]) && a == AlphaOf(pixels[3])) {
        // One alpha for all four (the opaque inside of an image, or its empty surroundings): the
        // alpha cancels out of the weighted mean.
        auto mean = [&pixels](uint32_t (*channel)(uint32_t)) {
          return (9 * channel(pixels[0]) + 3 * channel(pixels[1]) + 3 * channel(pixels[2]) +
                  channel(pixels[3]) + 8) /
                 16;
        };
        target[ox] = a == 0 ? 0 : Argb(a, mean(RedOf), mean(GreenOf), mean(BlueOf));
        continue;
      }
      const uint32_t weights[4] = {kNear * kNear, kNear * kFar, kFar * kNear, kFar * kFar};
      uint32_t alpha = 0;
      uint32_t red = 0;
      uint32_t green = 0;
      uint32_t blue = 0;
      for (int k = 0; k < 4; ++k) {
        const uint32_t weight = weights[k] * AlphaOf(pixels[k]);
        alpha += weight;
        red += weight * RedOf(pixels[k]);
        green += weight * GreenOf(pixels[k]);
        blue += weight * BlueOf(pixels[k]);
      }
      if (alpha == 0) {
        target[ox] = 0;
        continue;
      }
      const uint32_t half = alpha / 2;
      target[ox] = Argb((alpha + 8) / 16, (red + half) / alpha, (green + half) / alpha,
                        (blue + half) / alpha);
    }
  }
  out.Changed();
  return out;
}

bool LoadPngAtScale(Image& image, const std::string& path, int scale, std::string* why) {
  if (scale != kMaxRenderScale) {
    return image.LoadPng(path, why);
  }
  const std::string doubled = HiDpiPath(path);
  if (IsFile(doubled)) {
    int width = 0;
    int height = 0;
    const bool single = Image::PngSize(path, width, height);
    std::string reason;
    if (!image.LoadPng(doubled, &reason)) {
      Diagnostics::Report("Image " + doubled + " not read (" + reason + "); " + path +
                          " is scaled up instead");
    } else if (single && (image.Width() != 2 * width || image.Height() != 2 * height)) {
      Diagnostics::Report("Image " + doubled + " is " + std::to_string(image.Width()) + " x " +
                          std::to_string(image.Height()) + " pixels, not twice the " +
                          std::to_string(width) + " x " + std::to_string(height) + " of " + path +
                          "; " + path + " is scaled up instead");
    } else {
      image.SetScale(kMaxRenderScale);
      return true;
    }
  }
  Image single;
  if (!single.LoadPng(path, why)) {
    image = Image();
    return false;
  }
  image = ScaleUpTwice(single);
  image.SetScale(kMaxRenderScale);
  return true;
}

uint64_t DecodedPngBytesAtScale(const std::string& path, int scale) {
  if (scale != kMaxRenderScale) {
    return Image::DecodedPngBytes(path);
  }
  const uint64_t single = Image::DecodedPngBytes(path);
  if (single == 0) {
    return IsFile(path) ? 0 : Image::DecodedPngBytes(HiDpiPath(path));
  }
  return single * 4;
}

}  // namespace Vell::Gfx
