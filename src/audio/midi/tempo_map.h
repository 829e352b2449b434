// Conversions between song ticks, microseconds and bar numbers, following a song's tempo changes
// and time signatures.
#pragma once

#include <cstdint>
#include <vector>

#include "tavro/song_data.h"

namespace Kesh::Audio::Midi {

class TempoMap {
 public:
  TempoMap() = default;
  explicit TempoMap(const SongData& song);

  int64_t TickToUs(uint32_t tick) const;
  // The last tick whose time is at or before us (0 for negative times).
  uint32_t UsToTick(int64_t us) const;

 private:
  struct Segment {
    uint32_t tick;
    int64_t us;  // time of the segment's first tick
    uint32_t tempo;
  };
  uint32_t division = 96;
  std::vector<Segment> segments{{0, 0, 500000}};
};

// Bar numbers from the time signatures. A meter change that falls inside a bar starts a new bar.
class BarMap {
 public:
  BarMap() = default;
  explicit BarMap(const SongData& song);

  // The bar that holds tick, counted from 0.
  uint32_t BarAt(uint32_t tick) const;

 private:
  struct Segment {
    uint32_t tick;
    uint32_t bar;          // index of the bar starting at tick
    uint64_t ticksPerBar;  // never 0
  };
  std::vector<Segment> segments{{0, 0, 384}};
};

}  // namespace Kesh::Audio::Midi
