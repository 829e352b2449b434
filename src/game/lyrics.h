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
  // How far ahead of the position (ticks) a page is taken, and further while nothing is sung.
  static constexpr uint32_t kLookAhead = 80;
  static constexpr uint32_t kEarlyWindow = 500;
  // A syllable is kept up to this many bytes (whole characters): the karaoke line shows a few
  // dozen characters, and a song's text of megabytes must not be laid out at every frame.
  static constexpr size_t kMaxSyllableBytes = 256;

  // Moves the page to the song position now (ticks).
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

  std::vector<std::string> syllables;
  std::map<uint32_t, int> times;  // tick -> syllable index
  int currentSyllable = -1;
  int lines = 0;
  bool paged = false;
};

}  // namespace Kesh::Game
