#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "audio/midi/midi_file.h"
#include "audio/midi/tempo_map.h"
#include "audio/sequencer.h"
#include "midi_builder.h"

using Kesh::Audio::Sequencer;
using Kesh::Audio::Midi::MidiFile;
using TavroTest::BuildMidi;
using TavroTest::TrackBuilder;

namespace {

using Msg = std::vector<uint8_t>;

struct Recorder : Kesh::Audio::MidiSink {
  std::vector<Msg> messages;
  std::vector<int64_t> times;
  int64_t now = 0;
  void Send(const uint8_t* b, size_t n) override {
    messages.emplace_back(b, b + n);
    times.push_back(now);
  }
  void Clear() {
    messages.clear();
    times.clear();
  }
};

MidiFile Parse(const std::vector<uint8_t>& bytes) {
  MidiFile file;
  std::string reason;
  EXPECT_TRUE(Kesh::Audio::Midi::ReadMidi(bytes.data(), bytes.size(), file, reason)) << reason;
  return file;
}

// Plays the whole song in steps of one millisecond, stamping each message with the step's time.
void PlayByMs(Sequencer& seq, Recorder& sink) {
  for (int64_t ms = 0; seq.NextEventUs() != Sequencer::kNever; ++ms) {
    sink.now = ms;
    seq.PlayUntil(ms * 1000, &sink);
  }
}

}  // namespace

TEST(Sequencer, MessagesSoundAtTheirTempoMapTimes) {
  // 120 bpm, then 60 bpm from tick 960, then 200 bpm from tick 1440 (division 480);
  // a meter change on the way must not move anything.
  TrackBuilder meta;
  meta.Tempo(0, 500000)
      .Meter(0, 4, 2)
      .Tempo(960, 1000000)
      .Meter(0, 3, 2)
      .Tempo(480, 300000)
      .End(960);
  TrackBuilder notes;
  for (int i = 0; i < 12; ++i) {
    notes.Msg(i == 0 ? 0 : 120, 0x90, static_cast<uint8_t>(60 + i), 100)
        .Msg(120, 0x80, static_cast<uint8_t>(60 + i), 0);
  }
  notes.End();
  const MidiFile file = Parse(BuildMidi(1, 480, {meta, notes}));
  Sequencer seq;
  seq.Load(file);
  Recorder sink;
  PlayByMs(seq, sink);
  ASSERT_EQ(sink.messages.size(), 24u);
  for (int i = 0; i < 12; ++i) {
    const uint32_t tick = static_cast<uint32_t>(i * 240);
    // Independent computation of the expected time in microseconds.
    int64_t us;
    if (tick <= 960) {
      us = tick * 500000LL / 480;
    } else if (tick <= 1440) {
      us = 1000000 + (tick - 960) * 1000000LL / 480;
    } else {
      us = 2000000 + (tick - 1440) * 300000LL / 480;
    }
    EXPECT_EQ(sink.times[2 * i], (us + 999) / 1000) << "note " << i;
  }
  // The song ends with the notes track's end at tick 2760.
  EXPECT_EQ(seq.EndUs(), 2000000 + (2760 - 1440) * 300000LL / 480);
}

TEST(Sequencer, SmpteSongsRunOnTheFrameClock) {
  TrackBuilder notes;
  notes.Msg(0, 0x90, 60, 100).Msg(40, 0x80, 60, 0).Msg(60, 0x90, 62, 100).Msg(100, 0x80, 62, 0);
  notes.End();
  auto bytes = BuildMidi(0, 0, {notes});
  bytes[12] = static_cast<uint8_t>(-25);  // 25 fps x 4 ticks: 100 ticks per second
  bytes[13] = 4;
  Sequencer seq;
  seq.Load(Parse(bytes));
  Recorder sink;
  PlayByMs(seq, sink);
  EXPECT_EQ(sink.times, (std::vector<int64_t>{0, 400, 1000, 2000}));
}

TEST(Sequencer, TranspositionSkipsDrumsAndReleasesWhatSounds) {
  TrackBuilder t;
  t.Msg(0, 0x90, 60, 100).Msg(0, 0x99, 36, 100).Msg(10, 0x80, 60, 0).Msg(0, 0x89, 36, 0);
  t.Msg(10, 0x90, 64, 100).Msg(10, 0x90, 64, 0).End();
  Sequencer seq;
  seq.Load(Parse(BuildMidi(0, 1000, {t})));  // 1 tick = 0.5 ms
  Recorder sink;
  seq.SetTranspose(3);
  seq.PlayUntil(0, &sink);
  EXPECT_EQ(sink.messages, (std::vector<Msg>{{0x90, 63, 100}, {0x99, 36, 100}}));
  sink.Clear();
  seq.SetTranspose(-5);  // the sounding E-flat must still be released as E-flat
  seq.PlayUntil(5000, &sink);
  EXPECT_EQ(sink.messages, (std::vector<Msg>{{0x80, 63, 0}, {0x89, 36, 0}}));
  sink.Clear();
  seq.SetTranspose(-40);  // clamped to -12
  EXPECT_EQ(seq.GetTranspose(), -12);
  seq.PlayUntil(20000, &sink);
  EXPECT_EQ(sink.messages, (std::vector<Msg>{{0x90, 52, 100}, {0x90, 52, 0}}));
}

TEST(Sequencer, VolumePanAndMuteChangeOnlyTheirMessages) {
  TrackBuilder t;
  t.Msg(0, 0xB0, 7, 80).Msg(0, 0xB0, 10, 30).Msg(0, 0xB1, 7, 127).Msg(0, 0x90, 60, 100);
  t.Msg(0, 0x91, 48, 100).Msg(10, 0x90, 62, 100).Msg(0, 0x91, 50, 100).End(10);
  Sequencer seq;
  seq.Load(Parse(BuildMidi(0, 1000, {t})));
  Recorder sink;
  // Neutral mixer: the song's own values pass unchanged.
  seq.PlayUntil(0, &sink);
  EXPECT_EQ(sink.messages,
            (std::vector<Msg>{
                {0xB0, 7, 80}, {0xB0, 10, 30}, {0xB1, 7, 127}, {0x90, 60, 100}, {0x91, 48, 100}}));
  sink.Clear();
  seq.SetVolume(0, 50, &sink);   // 80 * 0.5
  seq.SetVolume(1, 120, &sink);  // 127 * 1.2, clamped
  seq.SetPan(0, -64, &sink);     // 30 - 64, clamped
  seq.SetPan(1, 20, &sink);      // untouched song pan 64 + 20
  seq.SetVolume(2, 100, &sink);  // already neutral: nothing to send
  seq.SetVolume(16, 10, &sink);  // no such channel
  EXPECT_EQ(sink.messages,
            (std::vector<Msg>{{0xB0, 7, 40}, {0xB1, 7, 127}, {0xB0, 10, 0}, {0xB1, 10, 84}}));
  EXPECT_EQ(seq.GetVolume(1), 120);
  EXPECT_EQ(seq.GetPan(0), -64);
  sink.Clear();
  // Muting releases the channel's sounding notes at once and drops its later notes only.
  seq.SetMute(1, true, &sink);
  EXPECT_EQ(sink.messages, (std::vector<Msg>{{0x81, 48, 0}, {0xB1, 120, 0}}));
  EXPECT_TRUE(seq.GetMute(1));
  sink.Clear();
  seq.PlayUntil(20000, &sink);
  EXPECT_EQ(sink.messages, (std::vector<Msg>{{0x90, 62, 100}}));
  sink.Clear();
  seq.SetMute(1, false, &sink);
  EXPECT_TRUE(sink.messages.empty());
}

TEST(Sequencer, SilenceResetAndRestore) {
  TrackBuilder t;
  t.Msg(0, 0xB2, 0, 1).Msg(0, 0xC2, 24).Msg(0, 0xB2, 7, 90).Msg(0, 0xB2, 91, 40);
  t.Msg(0, 0xE2, 0, 0x50).Msg(0, 0x92, 60, 100).End(100);
  t.bytes.insert(t.bytes.begin(), {0x00, 0xF0, 0x03, 0x7E, 0x7F, 0xF7});  // SysEx first
  Sequencer seq;
  seq.Load(Parse(BuildMidi(0, 96, {t})));
  seq.SetVolume(2, 50, nullptr);
  Recorder sink;
  seq.PlayUntil(0, &sink);
  EXPECT_EQ(sink.messages.front(), (Msg{0xF0, 0x7E, 0x7F, 0xF7}));
  sink.Clear();
  seq.Restore(&sink);  // a new output gets the song's state so far, mixer applied
  EXPECT_EQ(
      sink.messages,
      (std::vector<Msg>{{0xB2, 0, 1}, {0xC2, 24}, {0xB2, 91, 40}, {0xB2, 7, 45}, {0xE2, 0, 0x50}}));
  sink.Clear();
  seq.Silence(&sink);
  EXPECT_EQ(std::count(sink.messages.begin(), sink.messages.end(), Msg{0x82, 60, 0}), 1);
  EXPECT_EQ(sink.messages.size(), 1u + 16 * 2);
  sink.Clear();
  seq.Silence(&sink);  // nothing sounds any more: only pedal and All Notes Off
  EXPECT_EQ(sink.messages.size(), 16u * 2);
  sink.Clear();
  seq.Reset(&sink);
  EXPECT_EQ(sink.messages.size(), 16u * 3 + 1);
  // The mixer volume goes out again, over the default 100, right after the channel's reset.
  const auto reset = std::find(sink.messages.begin(), sink.messages.end(), Msg{0xB2, 121, 0});
  ASSERT_NE(reset, sink.messages.end());
  EXPECT_EQ(*(reset + 1), (Msg{0xB2, 7, 50}));
}

TEST(Sequencer, PauseReleasesThePedalAndResumePressesItAgain) {
  TrackBuilder t;
  t.Msg(0, 0xB4, 64, 127).Msg(0, 0x94, 60, 100).Msg(0, 0xB5, 64, 0).End(100);
  Sequencer seq;
  seq.Load(Parse(BuildMidi(0, 96, {t})));
  Recorder sink;
  seq.PlayUntil(0, &sink);
  sink.Clear();
  seq.Silence(&sink);
  EXPECT_EQ(std::count(sink.messages.begin(), sink.messages.end(), Msg{0xB4, 64, 0}), 1);
  sink.Clear();
  seq.Resume(&sink);
  EXPECT_EQ(sink.messages, (std::vector<Msg>{{0xB4, 64, 127}}));
}

// Three tracks of channel and SysEx messages at shared and separate ticks play in the order tick,
// track, place in the track, whatever the file's lists look like; rewinding plays them again the
// same way. The expected order comes from a plain sort of the messages as written.
TEST(Sequencer, SysExAndChannelMessagesMergeInTickTrackAndFileOrder) {
  struct Written {
    uint32_t tick, track, place;
    Msg bytes;
  };
  std::vector<Written> written;
  std::vector<TrackBuilder> tracks(3);
  uint32_t seed = 7;
  for (uint32_t t = 0; t < 3; ++t) {
    uint32_t tick = 0;
    for (uint32_t place = 0; place < 40; ++place) {
      seed = seed * 1103515245 + 12345;
      const uint32_t delta = (seed >> 16) % 3;  // many messages share a tick
      tick += delta;
      const auto id = static_cast<uint8_t>((t * 40 + place) & 0x7F);
      if ((seed >> 8) % 3 == 0) {
        tracks[t].Delta(delta).Raw({0xF0, 0x02, id, 0xF7});
        written.push_back({tick, t, place, {0xF0, id, 0xF7}});
      } else {
        tracks[t].Msg(delta, static_cast<uint8_t>(0xB0 | t), 16, id);
        written.push_back({tick, t, place, {static_cast<uint8_t>(0xB0 | t), 16, id}});
      }
    }
    tracks[t].End();
  }
  std::stable_sort(written.begin(), written.end(), [](const Written& a, const Written& b) {
    return std::tie(a.tick, a.track, a.place) < std::tie(b.tick, b.track, b.place);
  });
  std::vector<Msg> expected;
  for (const Written& w : written) {
    expected.push_back(w.bytes);
  }
  Sequencer seq;
  seq.Load(Parse(BuildMidi(1, 96, tracks)));
  Recorder sink;
  PlayByMs(seq, sink);
  EXPECT_EQ(sink.messages, expected);
  seq.Rewind();
  sink.Clear();
  PlayByMs(seq, sink);
  EXPECT_EQ(sink.messages, expected);
}
