// Text on the stage and under it: the read-outs (time and bar counter) and the karaoke lines, with
// their places, sizes and colours, shared by the window and the renderer. The glyphs themselves
// come from an ITextPainter implemented outside this library (src/qtext), so gfx stays free of any
// font machinery. Any thread that owns the image it draws into; owns nothing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gfx/image.h"
#include "gfx/lyric_page.h"

namespace Vell::Gfx {

struct TextStyle {
  std::string family = "Arial";
  int pixelSize = 16;   // the font's em height in pixels
  uint32_t colour = 0;  // ARGB, not premultiplied; the alpha blends the text over the image
};

// Draws antialiased text into an image. Implementations are used from one thread at a time.
class ITextPainter {
 public:
  virtual ~ITextPainter() = default;
  // Draws text (UTF-8) with the top of its line at y and its left edge at x; clipped to image.
  virtual void DrawText(Image& image, int x, int y, const std::string& text,
                        const TextStyle& style) = 0;
  // The advance width of text and the height of one line (ascent + descent) in pixels.
  virtual int TextWidth(const std::string& text, const TextStyle& style) = 0;
  virtual int LineHeight(const TextStyle& style) = 0;
};

// The stage read-outs: a translucent near-white, the time at the top right in a 24-point font, the
// bar counter under it in an 18-point font (points at 96 dots per inch).
namespace Readouts {
constexpr uint32_t kColour = 0xAAFFFFF5;
constexpr int kTimeX = 730;
constexpr int kTimeY = 8;
constexpr int kTimePixels = 32;
constexpr int kCounterY = 40;
constexpr int kCounterPixels = 24;
// Minutes, a colon and two-digit seconds of an elapsed time: 65000 ms reads "1:05".
std::string FormatTime(int64_t elapsedMs);
// The counter's left edge: two characters stand further right than one or three.
constexpr int CounterX(const std::string& counter) { return counter.size() == 2 ? 757 : 739; }
}  // namespace Readouts

// Draws the time (when timeMs >= 0) and the counter (when counter >= 0) onto the stage image, a
// stage drawn at scale (1 or 2): places and font sizes are multiplied by it.
void DrawReadouts(ITextPainter& painter, Image& stage, int64_t timeMs, int counter, int scale = 1);

// The karaoke view: a dark panel, the lines in "Arial" 34 pixels high, each centred, the first
// with its top at y 10; the sung part in a rose colour, the rest near-white.
namespace Karaoke {
constexpr uint32_t kBackground = 0xFF232B2D;
constexpr uint32_t kSung = 0xFFF59B9B;    // RGB(245, 155, 155)
constexpr uint32_t kUnsung = 0xFFF5F5F5;  // RGB(245, 245, 245)
constexpr int kFontPixels = 34;
constexpr int kFirstTop = 10;
constexpr int kViewHeight = 152;  // the window's karaoke view under the 815-pixel stage
}  // namespace Karaoke

// Clears the band image to the karaoke background and draws the lines (LayoutLyricPage) into it;
// at scale 2 (a band twice as wide and high) the font and the first line's top are doubled.
void DrawLyricLines(ITextPainter& painter, Image& band, const std::vector<LyricLine>& lines,
                    int scale = 1);

}  // namespace Vell::Gfx
