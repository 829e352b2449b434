#include "game/lyrics.h"

#include <algorithm>
#include <utility>

#include "framework/text.h"

namespace Kesh::Game {

namespace {

bool StartsWith(const std::string& text, char c) { return !text.empty() && text[0] == c; }
void Shorten(std::string& text) {
  text.resize(Vell::Text::Utf8Prefix(text, LyricPage::kMaxSyllableBytes).size());
}

// Whether any track has a text after tick.
bool TextAfter(const Audio::SongData& song, uint32_t tick) {
  for (const Audio::SongTrack& track : song.tracks) {
    if (!track.textTicks.empty() && track.textTicks.back() > tick) {
      return true;
    }
  }
  return false;
}

// Song ticks and milliseconds through the song's tempo changes.
double TickToMs(const Audio::SongData& song, uint32_t tick) {
  double ms = 0;
  uint32_t from = 0;
  uint32_t tempo = 500000;
  for (const Audio::TempoChange& change : song.tempoChanges) {
    if (change.tick >= tick) {
      break;
    }
    ms += static_cast<double>(change.tick - from) * tempo / 1000.0 / song.division;
    from = change.tick;
    tempo = change.tempo;
  }
  return ms + static_cast<double>(tick - from) * tempo / 1000.0 / song.division;
}

uint32_t MsToTick(const Audio::SongData& song, double ms) {
  double at = 0;
  uint32_t from = 0;
  uint32_t tempo = 500000;
  for (const Audio::TempoChange& change : song.tempoChanges) {
    const double next =
        at + static_cast<double>(change.tick - from) * tempo / 1000.0 / song.division;
    if (next > ms) {
      break;
    }
    at = next;
    from = change.tick;
    tempo = change.tempo;
  }
  return from + static_cast<uint32_t>((ms - at) * 1000.0 * song.division / tempo);
}

}  // namespace

void LyricPage::Clear() {
  syllables.clear();
  times.clear();
  lines = 0;
  currentSyllable = -1;
  paged = false;
  pages.clear();
  pagesFound = false;
}

void LyricPage::FindPages(const Audio::SongData& song) {
  pagesFound = true;
  pages.clear();
  if (song.division == 0) {
    return;
  }
  // The texts in the order Build walks them: a page starts at the first text and at every text
  // beginning with "\\" or "\r".
  uint32_t tick = 0;
  while (true) {
    bool none = true;
    uint32_t at = tick;
    const std::string text = Audio::NextText(song, at, none);
    if (none) {
      // A header text ("@...") where the search stopped hides the texts after it: step past.
      if (!TextAfter(song, at)) {
        break;
      }
      tick = at + 1;
      continue;
    }
    tick = at;
    if (pages.empty() || StartsWith(text, '\\') || StartsWith(text, '\r')) {
      pages.push_back({tick, tick, 0});
    } else {
      pages.back().last = tick;
    }
    if (tick == UINT32_MAX) {
      break;
    }
    ++tick;
  }
  const uint32_t halfBeat = song.division / 2;
  for (size_t p = 1; p < pages.size(); ++p) {
    const double previewMs = TickToMs(song, pages[p].first) - static_cast<double>(kPreviewMs);
    const uint32_t preview = previewMs > 0 ? MsToTick(song, previewMs) : 0;
    const uint32_t sung = pages[p - 1].last + halfBeat;
    pages[p].shows = std::min(std::max(sung, preview), pages[p].first);
  }
}

void LyricPage::Update(const Audio::SongData& song, uint32_t now) {
  if (!pagesFound) {
    FindPages(song);
  }
  // The last page whose time has come.
  size_t shown = pages.size();
  for (size_t p = 0; p < pages.size() && pages[p].shows <= now; ++p) {
    shown = p;
  }
  if (shown < pages.size() && (times.empty() || times.begin()->first != pages[shown].first)) {
    uint32_t tick = pages[shown].first;
    bool none = true;
    std::string text = Audio::NextText(song, tick, none);
    if (!none) {
      Build(song, std::move(text), tick);
    }
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
