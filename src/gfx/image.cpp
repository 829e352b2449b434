#include "gfx/image.h"

#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <string>

#include "framework/user_file.h"
#include "platform/platform.h"

namespace Vell::Gfx {

namespace {

using FilePointer = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

// Opens an image file for reading only when it is a regular file: a named pipe or a device named
// like an image would otherwise block the reader or feed it without end.
FilePointer OpenRegular(const std::string& path, std::string* why) {
  int fd = -1;
  if (!Platform::OpenRegularFile(path, &fd, why)) {
    return {nullptr, &std::fclose};
  }
  FilePointer file(::fdopen(fd, "rb"), &std::fclose);
  if (!file) {
    if (why != nullptr) {
      *why = std::strerror(errno);
    }
    ::close(fd);
  }
  return file;
}

}  // namespace

static_assert(
    std::endian::native == std::endian::little,
    "pixels are stored as B, G, R, A bytes, which is the ARGB word only on little-endian");

Image::Image(int width, int height, uint32_t fill) { Resize(width, height, fill); }

void Image::Resize(int newWidth, int newHeight, uint32_t fill) {
  if (newWidth <= 0 || newHeight <= 0) {
    width = height = 0;
    pixels.clear();
  } else {
    width = newWidth;
    height = newHeight;
    pixels.assign(static_cast<size_t>(width) * height, fill);
  }
  Changed();
}

void Image::Fill(uint32_t argb) {
  std::fill(pixels.begin(), pixels.end(), argb);
  Changed();
}

Image::AlphaKind Image::GetAlphaKind() const {
  if (!alphaKnown) {
    bool opaque = true;
    bool binary = true;
    for (uint32_t p : pixels) {
      const uint32_t a = p >> 24;
      opaque = opaque && a == 255;
      binary = binary && (a == 255 || a == 0);
      if (!binary) {
        break;
      }
    }
    alphaKind = opaque ? AlphaKind::kOpaque : binary ? AlphaKind::kBinary : AlphaKind::kBlended;
    alphaKnown = true;
  }
  return alphaKind;
}

void Image::RowSpans(int y, const Span*& first, const Span*& last) const {
  if (!spansKnown) {
    spans.clear();
    rowSpanStart.assign(static_cast<size_t>(height) + 1, 0);
    for (int row = 0; row < height; ++row) {
      rowSpanStart[row] = static_cast<uint32_t>(spans.size());
      const uint32_t* line = Row(row);
      int x = 0;
      while (x < width) {
        const uint32_t a = line[x] >> 24;
        if (a == 0) {
          ++x;
          continue;
        }
        const bool opaque = a == 255;
        int end = x + 1;
        while (end < width && ((line[end] >> 24) == 255) == opaque && (line[end] >> 24) != 0) {
          ++end;
        }
        spans.push_back({x, end - x, opaque});
        x = end;
      }
    }
    rowSpanStart[height] = static_cast<uint32_t>(spans.size());
    spansKnown = true;
  }
  first = spans.data() + rowSpanStart[y];
  last = spans.data() + rowSpanStart[y + 1];
}

uint64_t Image::DecodedPngBytes(const std::string& path) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  uint64_t bytes = 0;
  const FilePointer file = OpenRegular(path, nullptr);
  if (file && png_image_begin_read_from_stdio(&png, file.get()) != 0 && png.width <= kMaxPngSide &&
      png.height <= kMaxPngSide) {
    bytes = uint64_t{png.width} * png.height * sizeof(uint32_t);
  }
  png_image_free(&png);
  return bytes;
}

bool Image::PngSize(const std::string& path, int& width, int& height) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  const FilePointer file = OpenRegular(path, nullptr);
  const bool read = file && png_image_begin_read_from_stdio(&png, file.get()) != 0 &&
                    png.width <= kMaxPngSide && png.height <= kMaxPngSide;
  if (read) {
    width = static_cast<int>(png.width);
    height = static_cast<int>(png.height);
  }
  png_image_free(&png);
  return read;
}

bool Image::LoadPng(const std::string& path, std::string* why) {
  Resize(0, 0);
  scale = 1;
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  const auto fail = [&](const std::string& reason) {
    if (why != nullptr) {
      *why = path + ": " + reason;
    }
    png_image_free(&png);
    return false;
  };
  std::string reason;
  const FilePointer file = OpenRegular(path, &reason);
  if (!file) {
    return fail(reason);
  }
  if (png_image_begin_read_from_stdio(&png, file.get()) == 0) {
    return fail(png.message);
  }
  // BGRA in memory is our ARGB word on a little-endian machine; the simplified reader expands
  // palettes, grey levels, 16-bit samples and tRNS transparency, and does not premultiply.
  const bool palette = (png.format & PNG_FORMAT_FLAG_COLORMAP) != 0;
  png.format = PNG_FORMAT_BGRA;
  if (png.width == 0 || png.height == 0 || png.width > kMaxPngSide || png.height > kMaxPngSide) {
    return fail("the image is " + std::to_string(png.width) + " x " + std::to_string(png.height) +
                " pixels; at most " + std::to_string(kMaxPngSide) + " on a side are read");
  }
  const size_t count = static_cast<size_t>(png.width) * png.height;
  std::vector<uint32_t> buffer;
  std::vector<uint8_t> indices;
  try {
    buffer.resize(count);
    if (palette) {
      indices.resize(count);
    }
  } catch (const std::bad_alloc&) {
    return fail("not enough memory for " + std::to_string(png.width) + " x " +
                std::to_string(png.height) + " pixels");
  }
  if (palette) {
    // Palette images (the sprites) are read as indices and expanded through the palette here: a
    // third faster than the library's own expansion, with the same colours. Indices past the
    // palette's end give transparent black.
    png.format = PNG_FORMAT_BGRA_COLORMAP;
    std::array<uint32_t, 256> colours{};
    if (png_image_finish_read(&png, nullptr, indices.data(), 0, colours.data()) == 0) {
      return fail(png.message);
    }
    std::transform(indices.begin(), indices.end(), buffer.begin(),
                   [&colours](uint8_t index) { return colours[index]; });
  } else if (png_image_finish_read(&png, nullptr, buffer.data(), 0, nullptr) == 0) {
    return fail(png.message);
  }
  width = static_cast<int>(png.width);
  height = static_cast<int>(png.height);
  pixels = std::move(buffer);
  Changed();
  return true;
}

bool Image::SavePng(const std::string& path, std::string* why) const {
  if (Empty()) {
    if (why != nullptr) {
      *why = "cannot write '" + path + "': the image is empty";
    }
    return false;
  }
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  png.width = static_cast<png_uint_32>(width);
  png.height = static_cast<png_uint_32>(height);
  png.format = PNG_FORMAT_BGRA;
  return Data::WriteUserFile(
      path,
      [&](std::FILE* file, std::string* reason) {
        if (png_image_write_to_stdio(&png, file, 0, pixels.data(), 0, nullptr) == 0) {
          *reason = png.message;
          return false;
        }
        return true;
      },
      why);
}

}  // namespace Vell::Gfx
