#include "audio/midi/tempo_map.h"

#include <algorithm>

namespace Kesh::Audio::Midi {

TempoMap::TempoMap(const SongData& song) : division(song.division == 0 ? 96 : song.division) {
  segments.clear();
  segments.push_back({0, 0, 500000});
  for (const TempoChange& change : song.tempoChanges) {
    if (change.tempo == 0) {
      continue;
    }
    Segment& last = segments.back();
    if (change.tick == last.tick) {
      last.tempo = change.tempo;  // a later change at the same tick wins
      continue;
    }
    const int64_t us = TickToUs(change.tick);
    segments.push_back({change.tick, us, change.tempo});
  }
}

int64_t TempoMap::TickToUs(uint32_t tick) const {
  auto it = std::upper_bound(segments.begin(), segments.end(), tick,
                             [](uint32_t t, const Segment& s) { return t < s.tick; });
  const Segment& s = *(it - 1);
  return s.us + static_cast<int64_t>(tick - s.tick) * s.tempo / division;
}

uint32_t TempoMap::UsToTick(int64_t us) const {
  if (us <= 0) {
    return 0;
  }
  us = std::min<int64_t>(us, int64_t{1} << 45);  // a year; keeps the product below in range
  auto it = std::upper_bound(segments.begin(), segments.end(), us,
                             [](int64_t t, const Segment& s) { return t < s.us; });
  const Segment& s = *(it - 1);
  const int64_t ticks = (us - s.us) * division / s.tempo;
  return static_cast<uint32_t>(std::min<int64_t>(int64_t{s.tick} + ticks, 0x7FFFFFFF));
}

BarMap::BarMap(const SongData& song) {
  segments.clear();
  const uint64_t division = song.division == 0 ? 96 : song.division;
  auto barLength = [&](const TimeSignature& ts) {
    const uint64_t length = division * 4 * ts.numerator >> std::min<int>(ts.denominatorExp, 31);
    return std::max<uint64_t>(length, 1);
  };
  segments.push_back({0, 0, division * 4});
  for (const TimeSignature& ts : song.timeSignatures) {
    const uint32_t tick = static_cast<uint32_t>(std::max(ts.tick, 0));
    Segment& last = segments.back();
    if (tick == last.tick) {
      last.ticksPerBar = barLength(ts);
      continue;
    }
    const uint64_t span = tick - last.tick;
    const uint64_t bars = (span + last.ticksPerBar - 1) / last.ticksPerBar;
    segments.push_back({tick, static_cast<uint32_t>(last.bar + bars), barLength(ts)});
  }
}

uint32_t BarMap::BarAt(uint32_t tick) const {
  auto it = std::upper_bound(segments.begin(), segments.end(), tick,
                             [](uint32_t t, const Segment& s) { return t < s.tick; });
  const Segment& s = *(it - 1);
  return static_cast<uint32_t>(s.bar + (tick - s.tick) / s.ticksPerBar);
}

}  // namespace Kesh::Audio::Midi
