#include "gfx/text.h"

#include <algorithm>

namespace Vell::Gfx {

std::string Readouts::FormatTime(int64_t elapsedMs) {
  const int64_t seconds = elapsedMs > 0 ? elapsedMs / 1000 : 0;
  const int64_t rest = seconds % 60;
  return std::to_string(seconds / 60) + (rest < 10 ? ":0" : ":") + std::to_string(rest);
}

void DrawReadouts(ITextPainter& painter, Image& stage, int64_t timeMs, int counter, int scale) {
  TextStyle style;
  style.colour = Readouts::kColour;
  if (timeMs >= 0) {
    style.pixelSize = Readouts::kTimePixels * scale;
    painter.DrawText(stage, Readouts::kTimeX * scale, Readouts::kTimeY * scale,
                     Readouts::FormatTime(timeMs), style);
  }
  if (counter >= 0) {
    const std::string text = std::to_string(counter);
    style.pixelSize = Readouts::kCounterPixels * scale;
    painter.DrawText(stage, Readouts::CounterX(text) * scale, Readouts::kCounterY * scale, text,
                     style);
  }
}

void DrawLyricLines(ITextPainter& painter, Image& band, const std::vector<LyricLine>& lines,
                    int scale) {
  band.Fill(Karaoke::kBackground);
  TextStyle sung;
  sung.pixelSize = Karaoke::kFontPixels * scale;
  sung.colour = Karaoke::kSung;
  TextStyle unsung = sung;
  unsung.colour = Karaoke::kUnsung;
  const int height = painter.LineHeight(sung);
  int top = Karaoke::kFirstTop * scale;
  for (const LyricLine& line : lines) {
    if (top >= band.Height()) {
      break;
    }
    const size_t split = std::min(line.sungBytes, line.text.size());
    const std::string before = line.text.substr(0, split);
    const std::string after = line.text.substr(split);
    const int beforeWidth = before.empty() ? 0 : painter.TextWidth(before, sung);
    const int afterWidth = after.empty() ? 0 : painter.TextWidth(after, unsung);
    const int left = (band.Width() - beforeWidth - afterWidth) / 2;
    if (!before.empty()) {
      painter.DrawText(band, left, top, before, sung);
    }
    if (!after.empty()) {
      painter.DrawText(band, left + beforeWidth, top, after, unsung);
    }
    top += height;
  }
}

}  // namespace Vell::Gfx
