#include "game/lyrics.h"

#include <utility>

#include "framework/text.h"

namespace Kesh::Game {

namespace {
bool StartsWith(const std::string& text, char c) { return !text.empty() && text[0] == c; }
void Shorten(std::string& text) {
  text.resize(Vell::Text::Utf8Prefix(text, LyricPage::kMaxSyllableBytes).size());
}
}  // namespace

void LyricPage::Clear() {
  syllables.clear();
  times.clear();
  lines = 0;
  currentSyllable = -1;
  paged = false;
}

void LyricPage::Update(const Audio::SongData& song, uint32_t now) {
  uint32_t look = now + kLookAhead;
  if (currentSyllable == -1 && Audio::NextTextTick(song, look) - look <= kEarlyWindow) {
    look = now + kLookAhead + kEarlyWindow;
  }
  uint32_t tick = 0;
  std::string text = Audio::TextAt(song, look, tick);
  const bool newPage =
      !paged || StartsWith(text, '\\') || (StartsWith(text, '/') && syllables.empty());
  const bool samePage = !times.empty() && times.begin()->first == tick;
  if (!text.empty() && newPage && !samePage) {
    Build(song, std::move(text), tick);
  }
  if (times.empty()) {
    return;
  }
  // Nothing is sung before the page's first syllable; from its tick on, the latest syllable whose
  // tick has come.
  auto after = times.upper_bound(now);
  currentSyllable = after == times.begin() ? -1 : std::prev(after)->second;
}

void LyricPage::Build(const Audio::SongData& song, std::string first, uint32_t tick) {
  syllables.clear();
  times.clear();
  if (StartsWith(first, '\r') || StartsWith(first, '/') || StartsWith(first, '\\')) {
    first.erase(0, 1);
  }
  Shorten(first);
  paged = true;
  syllables.push_back(std::move(first));
  times.emplace(tick, 0);
  lines = 1;
  currentSyllable = -1;
  bool lineStart = false;
  uint32_t last = tick;
  while (last != UINT32_MAX) {
    uint32_t next = last + 1;
    bool none = true;
    std::string text = Audio::NextText(song, next, none);
    if (none || StartsWith(text, '\r') || StartsWith(text, '\\')) {
      break;
    }
    last = next;
    if (StartsWith(text, '\n') || StartsWith(text, '/')) {
      ++lines;
      if (text.size() == 1) {
        lineStart = true;
        continue;
      }
    } else if (lineStart) {
      text = "/" + text;
    }
    lineStart = false;
    Shorten(text);
    times.emplace(next, static_cast<int>(syllables.size()));
    syllables.push_back(std::move(text));
  }
}

}  // namespace Kesh::Game
