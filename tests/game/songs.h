// Songs built in memory for the game tests, and a program folder with the fixture band and the
// shipped analysis settings, made current for the test's lifetime.
#pragma once

#include <algorithm>
#include <filesystem>
#include <memory>

#include "animation/animation_track.h"
#include "artists/layout.h"
#include "artists/manager.h"
#include "artists/settings.h"
#include "fixture.h"
#include "platform/platform.h"
#include "tavro/song_data.h"

namespace Songs {

using Kesh::Audio::MidiEvent;
using Kesh::Audio::SongData;

constexpr uint32_t kBar = 1920;  // ticks of a 4/4 bar at 480 per quarter, 2 s at 120

inline void Add(SongData& song, size_t track, uint32_t tick, uint8_t status, uint8_t data1) {
  auto& events = song.tracks[track].events;
  auto at = std::upper_bound(events.begin(), events.end(), tick,
                             [](uint32_t t, const MidiEvent& e) { return t < e.tick; });
  events.insert(at, MidiEvent{tick, status, data1, 100});
}

inline void Note(SongData& song, size_t track, int channel, uint32_t on, uint32_t length,
                 uint8_t note) {
  Add(song, track, on, static_cast<uint8_t>(0x90 | channel), note);
  Add(song, track, on + length, static_cast<uint8_t>(0x80 | channel), note);
}

// Two notes on every beat of bars [from, to] on a channel.
inline void Busy(SongData& song, size_t track, int channel, uint32_t from, uint32_t to,
                 uint8_t low) {
  for (uint32_t bar = from; bar <= to; ++bar) {
    for (uint32_t beat = 0; beat < 4; ++beat) {
      const uint32_t tick = bar * kBar + beat * 480;
      Note(song, track, channel, tick, 470, static_cast<uint8_t>(low + beat));
      Note(song, track, channel, tick, 470, static_cast<uint8_t>(low + 8 + beat));
    }
  }
}

// Drums in bars [from, to], each group leading some bars: eighth hi-hats, then a snare roll, then
// a tom fill, then a double kick, over and over.
inline void Drums(SongData& song, size_t track, uint32_t from, uint32_t to) {
  const uint8_t leads[] = {42, 38, 45, 36};
  for (uint32_t bar = from; bar <= to; ++bar) {
    const uint8_t lead = leads[(bar - from) / 2 % 4];
    for (uint32_t sixteenth = 0; sixteenth < 16; ++sixteenth) {
      Note(song, track, 9, bar * kBar + sixteenth * 120, 60, lead);
    }
  }
}

// Sixteen bars (32 s): a violin (program 40, high) busy in bars 2-12, a piano (0) in bars 2-10,
// a bass (33) in bars 3-10 and drums of every group in bars 2-12. Busy spans: violin 22 s,
// piano 18 s, bass 16 s.
inline SongData Band() {
  SongData song;
  song.division = 480;
  song.tempoChanges = {{0, 500000}};
  song.timeSignatures = {{0, 4, 2}};
  song.tracks.resize(4);
  Add(song, 0, 0, 0xC0, 0);
  Add(song, 1, 0, 0xC1, 33);
  Add(song, 2, 0, 0xC2, 40);
  Busy(song, 0, 0, 2, 10, 60);
  Busy(song, 1, 1, 3, 10, 36);
  Busy(song, 2, 2, 2, 12, 72);
  Drums(song, 3, 2, 12);
  Add(song, 3, 16 * kBar, 0xB9, 7);
  return song;
}

// A piano that plays from the first bar: it cannot walk on in time, so the music waits.
inline SongData EarlyPiano(uint32_t bars = 10) {
  SongData song;
  song.division = 480;
  song.tempoChanges = {{0, 500000}};
  song.timeSignatures = {{0, 4, 2}};
  song.tracks.resize(1);
  Add(song, 0, 0, 0xC0, 0);
  Busy(song, 0, 0, 0, bars - 1, 60);
  return song;
}

// A program folder with the fixture band and the shipped analysis settings, current while it
// lives; the singletons that read it start afresh.
class Folder {
 public:
  Folder() {
    Fixture::WriteBand(program);
    std::filesystem::copy_file(TAVRO_SOURCE_DIR "/data/config/analysis.xml",
                               program.Path("config/analysis.xml"));
    Fresh();
    directory = std::make_unique<Vell::Platform::ScopedDirectory>(program.Root());
    Kesh::Data::Tracks::SeedDepartures(3);
  }
  ~Folder() {
    directory.reset();
    Fresh();
  }
  std::string Root() const { return program.Root(); }
  std::string Path(const std::string& relative) const { return program.Path(relative); }
  const Fixture::Program& Program() const { return program; }

 private:
  static void Fresh() {
    Kesh::Artists::Manager::Destroy();
    Kesh::Artists::Animation::Manager::Destroy();
    Kesh::Artists::Layout::Instance()->Clear();
  }
  Fixture::Program program;
  std::unique_ptr<Vell::Platform::ScopedDirectory> directory;
};

}  // namespace Songs
