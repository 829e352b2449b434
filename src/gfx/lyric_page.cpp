#include "gfx/lyric_page.h"

#include <string_view>

#include "framework/text.h"

namespace Vell::Gfx {

namespace {
bool StartsLine(const std::string& syllable) { return !syllable.empty() && syllable[0] == '/'; }
}  // namespace

std::vector<LyricLine> LayoutLyricPage(const std::vector<std::string>& syllables, int current,
                                       int lines) {
  std::vector<LyricLine> out;
  if (syllables.empty()) {
    return out;
  }
  const std::size_t count = syllables.size();
  std::size_t first = 0;
  std::size_t shown = lines > 0 ? static_cast<std::size_t>(lines) : 1;
  if (lines >= 4) {
    const std::size_t last =
        current >= 0 && static_cast<std::size_t>(current) < count ? current : count - 1;
    int breaks = 0;
    std::size_t evenBreak = 0;
    for (std::size_t i = 0; i <= last; ++i) {
      if (StartsLine(syllables[i]) && ++breaks % 2 == 0) {
        evenBreak = i;
      }
    }
    if (breaks < 2) {
      shown = 3;
    } else {
      const int left = lines - 2 * (breaks / 2);
      shown = left >= 4 ? 3 : static_cast<std::size_t>(left > 0 ? left : 1);
      first = evenBreak;
    }
  }
  for (std::size_t i = first; i < count && out.size() < shown;) {
    LyricLine line{std::string(), 0};
    do {
      std::string_view piece = syllables[i];
      if (StartsLine(syllables[i])) {
        piece.remove_prefix(1);
      }
      if (line.text.size() < kMaxLyricLineBytes) {
        line.text += Text::Utf8Prefix(piece, kMaxLyricLineBytes - line.text.size());
      }
      if (current >= 0 && i <= static_cast<std::size_t>(current)) {
        line.sungBytes = line.text.size();
      }
      ++i;
    } while (i < count && !StartsLine(syllables[i]));
    out.push_back(std::move(line));
  }
  return out;
}

}  // namespace Vell::Gfx
