// The stage's back buffer: an ARGB image with the drawing operations the scene needs. Drawing
// composes non-premultiplied pixels with source-over alpha blending. A canvas drawn at a render
// scale of 2 holds twice the pixels across and down for the same stage; DrawImage works in the
// canvas's pixels, DrawStageImage in stage units. Used by one thread at a time (the frame thread,
// or whoever holds the frame lock).
#pragma once

#include <array>
#include <cstdint>

#include "gfx/image.h"

namespace Vell::Gfx {

// Source-over of one non-premultiplied pixel onto another, rounded to nearest.
uint32_t BlendOver(uint32_t source, uint32_t destination);
// BlendOver of count source pixels onto opaque target pixels (every target alpha 255), several
// pixels per step; the same results as BlendOver.
void BlendOntoOpaque(const uint32_t* source, uint32_t* target, int count);
// Whether every pixel has alpha 255.
bool AllOpaque(const uint32_t* pixels, int count);

class Canvas {
 public:
  static constexpr uint32_t kDefaultClearColour = 0xFF000000;

  Canvas(int width, int height);
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  // Canvas pixels per stage unit (1 or 2).
  int Scale() const { return scale; }
  // Makes the canvas a stage of width × height units at scale (pixels: each times scale), cleared
  // to clearColour.
  void Reshape(int width, int height, int newScale);

  int Width() const { return bitmap.Width(); }
  int Height() const { return bitmap.Height(); }
  Image& Bitmap() { return bitmap; }
  const Image& Bitmap() const { return bitmap; }
  uint32_t* Pixels() { return bitmap.Pixels(); }
  const uint32_t* Pixels() const { return bitmap.Pixels(); }
  uint32_t Pixel(int x, int y) const { return bitmap.Pixel(x, y); }

  // Fills the whole canvas with clearColour (or the given colour).
  void Clear() { Clear(clearColour); }
  void Clear(uint32_t argb);

  // Draws image with its top-left corner at (x, y), scaled to width × height when that differs
  // from the image's size (nearest pixel), clipped to the canvas. An empty image or a rectangle
  // without area draws nothing.
  void DrawImage(const Image& image, int x, int y, int width, int height);
  void DrawImage(const Image& image, int x, int y) {
    DrawImage(image, x, y, image.Width(), image.Height());
  }
  // DrawImage of a rectangle given in stage units: each multiplied by Scale(). An image read at
  // the canvas's scale for a rectangle of its own size is copied without resampling.
  void DrawStageImage(const Image& image, int x, int y, int width, int height);
  // Draws image stretched over the whole canvas; null draws nothing.
  void DrawBackground(const Image* image);

  uint32_t clearColour = kDefaultClearColour;
  // Colour transform for the filters; identity at creation.
  std::array<float, 25> colourMatrix{1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1,
                                     0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1};

 private:
  Image bitmap;
  int scale = 1;
};

}  // namespace Vell::Gfx
