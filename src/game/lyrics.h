// The karaoke lyric page: the syllables of the lines being sung, paged ahead of the song position
// from the song's lyric events ("\\" or "\r" starts a page, "/" or "\n" a line). Updated by the
// frame thread inside the frame lock; the views read it inside the same lock. Owns its texts.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tavro/song_data.h"

namespace Kesh::Game {

struct LyricState {
  std::vector<std::string> syllables;  // a syllable that starts a line begins with "/"
  int currentSyllable = -1;            // being sung; -1 for none
  int lines = 0;
};

class LyricPage {
 public:
  // The next page shows this long before its first syllable, once the current page's last
  // syllable has been sung (for half a beat at least).
  static constexpr int64_t kPreviewMs = 2000;
  // A syllable is kept up to this many bytes (whole characters): the karaoke line shows a few
  // dozen characters, and a song's text of megabytes must not be laid out at every frame.
  static constexpr size_t kMaxSyllableBytes = 256;

  // Moves the page to the song position now (ticks): the first page from the start of the song;
  // each next page once the last syllable of the page before has been sung, or kPreviewMs before
  // its own first syllable, whichever is later (and at the latest at its first syllable). No
  // page is skipped.
  void Update(const Audio::SongData& song, uint32_t now);
  void Clear();

  const std::vector<std::string>& Syllables() const { return syllables; }
  const std::map<uint32_t, int>& Times() const { return times; }
  int CurrentSyllable() const { return currentSyllable; }
  int Lines() const { return lines; }
  bool Paged() const { return paged; }
  LyricState State() const { return {syllables, currentSyllable, lines}; }

 private:
  void Build(const Audio::SongData& song, std::string first, uint32_t tick);
  // The song's pages: where each starts and the tick of its last syllable, and from when it shows.
  void FindPages(const Audio::SongData& song);

  struct Page {
    uint32_t first = 0;  // tick of its first syllable
    uint32_t last = 0;   // tick of its last syllable
    uint32_t shows = 0;  // tick from which it is the page shown
  };
  std::vector<Page> pages;
  bool pagesFound = false;

  std::vector<std::string> syllables;
  std::map<uint32_t, int> times;  // tick -> syllable index
  int currentSyllable = -1;
  int lines = 0;
  bool paged = false;
};

}  // namespace Kesh::Game
