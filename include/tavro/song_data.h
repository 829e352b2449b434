// The parsed song that the player module hands to the program: tempo map, meters and, per track,
// the channel messages and the text events (lyrics). The program only reads it; it stays valid
// until the module opens the next song.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Kesh::Audio {

struct TempoChange {
  uint32_t tick = 0;
  uint32_t tempo = 500000;  // microseconds per quarter note
};

struct TimeSignature {
  int32_t tick = 0;
  uint8_t numerator = 4;
  uint8_t denominatorExp = 2;  // the denominator is 2 to this power
  uint8_t clocksPerClick = 24;
  uint8_t thirtySecondsPerQuarter = 8;
};

// One channel message. Meta and system events are not listed here; tempo and meters have their
// own sequences and texts are kept per track.
struct MidiEvent {
  uint32_t tick = 0;   // absolute from the song start
  uint8_t status = 0;  // with the channel in its low four bits
  uint8_t data1 = 0;   // note number, program number, controller number, ...
  uint8_t data2 = 0;   // velocity, controller value, ...
};

struct SongTrack {
  uint32_t header = 0;  // the track's index in the file
  std::string name;     // sequence/track name meta event, if any
  std::vector<MidiEvent> events;
  // Text events (lyrics, or plain text when the song has no lyrics) in ascending tick order;
  // the two sequences run in parallel.
  std::vector<std::string> texts;
  std::vector<uint32_t> textTicks;
};

struct SongData {
  uint32_t format = 0;                        // Standard MIDI File format (0, 1 or 2)
  uint16_t division = 96;                     // ticks per quarter note
  std::vector<TempoChange> tempoChanges;      // ascending tick order, one at tick 0
  std::vector<TimeSignature> timeSignatures;  // ascending tick order, one at tick 0
  std::vector<uint32_t> reserved;
  std::vector<SongTrack> tracks;  // in file order
};

// The largest tick among the last events of all non-empty tracks (0 for a song without events).
inline uint32_t LastTick(const SongData& song) {
  uint32_t last = 0;
  for (const SongTrack& track : song.tracks) {
    if (!track.events.empty() && track.events.back().tick > last) {
      last = track.events.back().tick;
    }
  }
  return last;
}

namespace Detail {
inline bool HasTexts(const SongTrack& track) {
  return !track.texts.empty() && track.texts.size() == track.textTicks.size();
}
// Index of the first text at or after tick, or the text count when there is none.
inline size_t FirstTextFrom(const SongTrack& track, uint32_t tick) {
  size_t i = 0;
  while (i < track.textTicks.size() && track.textTicks[i] < tick) {
    ++i;
  }
  return i;
}
inline bool IsHeaderText(const std::string& text) { return !text.empty() && text[0] == '@'; }
}  // namespace Detail

// The tick of the first text at or after t in the first track that has texts; t when none.
inline uint32_t NextTextTick(const SongData& song, uint32_t t) {
  for (const SongTrack& track : song.tracks) {
    if (!Detail::HasTexts(track)) {
      continue;
    }
    const size_t i = Detail::FirstTextFrom(track, t);
    return i < track.textTicks.size() ? track.textTicks[i] : t;
  }
  return t;
}

// The text in force at t: in each track, the earliest text i with tick[i] <= t whose successor
// (if any) starts at or after t. "@" header texts pass the search on to the next track.
inline std::string TextAt(const SongData& song, uint32_t t, uint32_t& tick) {
  for (const SongTrack& track : song.tracks) {
    if (!Detail::HasTexts(track)) {
      continue;
    }
    const size_t n = track.textTicks.size();
    for (size_t i = 0; i < n && track.textTicks[i] <= t; ++i) {
      if (i + 1 == n || track.textTicks[i + 1] >= t) {
        if (!Detail::IsHeaderText(track.texts[i])) {
          tick = track.textTicks[i];
          return track.texts[i];
        }
        break;
      }
    }
  }
  return {};
}

// The first text at or after tick, searching the tracks in order; tick moves to each text found.
// "@" header texts are passed over and the search goes on in the next track from the moved tick.
inline std::string NextText(const SongData& song, uint32_t& tick, bool& none) {
  for (const SongTrack& track : song.tracks) {
    if (!Detail::HasTexts(track)) {
      continue;
    }
    const size_t i = Detail::FirstTextFrom(track, tick);
    if (i == track.textTicks.size()) {
      continue;
    }
    tick = track.textTicks[i];
    if (!Detail::IsHeaderText(track.texts[i])) {
      none = false;
      return track.texts[i];
    }
  }
  none = true;
  return {};
}

}  // namespace Kesh::Audio
