// Which lines of a karaoke page are shown and how much of each is already sung. Pure layout logic
// shared by the window's karaoke view and the renderer's karaoke band. Any thread; owns nothing.
#pragma once

#include <string>
#include <vector>

namespace Vell::Gfx {

struct LyricLine {
  std::string text;       // the line's syllables joined, without the line-break marks
  std::size_t sungBytes;  // leading bytes of text up to and including the current syllable
};

// A line is laid out up to this many bytes (whole characters): far more than the karaoke band
// shows, and a line of any length costs no more to draw.
constexpr std::size_t kMaxLyricLineBytes = 512;

// syllables: the page's pieces, a piece beginning with "/" starts a new line; current: index of
// the syllable being sung, -1 for none; lines: the page's line count. From four lines on, the view
// scrolls by two lines at every second line break before the current syllable and shows at most
// three lines.
std::vector<LyricLine> LayoutLyricPage(const std::vector<std::string>& syllables, int current,
                                       int lines);

}  // namespace Vell::Gfx
