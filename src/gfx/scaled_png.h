// Images for a stage drawn at a render scale of 1 or 2. At scale 2 an image NAME.png is read from
// NAME@2x.png beside it when that file is there and exactly twice the size; otherwise NAME.png is
// read and scaled up smoothly, so art made for scale 1 works at either scale. Pure functions: any
// thread; they own nothing.
#pragma once

#include <cstdint>
#include <string>

#include "gfx/image.h"

namespace Vell::Gfx {

constexpr int kMinRenderScale = 1;
constexpr int kMaxRenderScale = 2;

// The file holding the scale-2 version of path: "@2x" before its extension ("a/b.png" gives
// "a/b@2x.png"); a name without an extension gets "@2x" appended.
std::string HiDpiPath(const std::string& path);

// The image twice as wide and high, bilinear, with colours weighted by their alpha so that a
// transparent neighbour's colour does not bleed into an edge. Keeps the image's scale.
Image ScaleUpTwice(const Image& image);

// Reads path for scale (1 or 2; other values count as 1) into image, whose Scale() is then
// scale. At scale 2: NAME@2x.png when present and exactly twice NAME.png's size (a file of another
// size, or one that cannot be read, is reported in the log naming it and the reason, and NAME.png
// scaled up is used); else NAME.png scaled up. false (image empty) when nothing could be read, with
// the file and the reason in why.
[[nodiscard]] bool LoadPngAtScale(Image& image, const std::string& path, int scale,
                                  std::string* why = nullptr);

// The bytes LoadPngAtScale's result takes, from the file's header alone (0 when it would fail).
uint64_t DecodedPngBytesAtScale(const std::string& path, int scale);

}  // namespace Vell::Gfx
