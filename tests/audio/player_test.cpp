#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "audio/midi/tempo_map.h"
#include "audio/player.h"
#include "common/temp_dir.h"
#include "memory_stream.h"
#include "midi_builder.h"
#include "tavro/stream.h"

using Kesh::Audio::Player;
using TavroTest::BuildMidi;
using TavroTest::MemoryStream;
using TavroTest::TrackBuilder;

namespace {

using Msg = std::vector<uint8_t>;

// What an output received, stamped with the frames it had rendered by then.
struct Received {
  std::mutex mutex;
  std::vector<std::pair<int64_t, Msg>> messages;
  size_t Size() {
    std::lock_guard lock(mutex);
    return messages.size();
  }
  std::vector<std::pair<int64_t, Msg>> Take() {
    std::lock_guard lock(mutex);
    return std::move(messages);
  }
};

class TestOutput : public Kesh::Audio::Output {
 public:
  explicit TestOutput(std::shared_ptr<Received> log) : log(std::move(log)) {}
  void Send(const uint8_t* b, size_t n) override {
    std::lock_guard lock(log->mutex);
    log->messages.emplace_back(frames, Msg(b, b + n));
  }
  bool Render(int16_t* out, int count) override {
    std::memset(out, 0, sizeof(int16_t) * 2 * count);
    frames += count;
    return true;
  }

 private:
  std::shared_ptr<Received> log;
  int64_t frames = 0;
};

class TestOutputs : public Kesh::Audio::OutputProvider {
 public:
  std::shared_ptr<Received> synth = std::make_shared<Received>();
  std::shared_ptr<Received> port = std::make_shared<Received>();
  std::shared_ptr<Received> offline = std::make_shared<Received>();
  std::vector<std::string> List() override { return {"Test synth", "Test port", "Broken port"}; }
  std::unique_ptr<Kesh::Audio::Output> Open(int index) override {
    if (index > 1) {
      return nullptr;
    }
    return std::make_unique<TestOutput>(index == 0 ? synth : port);
  }
  std::unique_ptr<Kesh::Audio::Output> OpenOffline(int) override {
    return std::make_unique<TestOutput>(offline);
  }
};

std::string FakeCrowdLibrary() { return std::string(FAKE_OVATIX_DIR) + "/libfake_ovatix.so"; }

std::string WriteTemp(const TempDir& dir, const std::string& name,
                      const std::vector<uint8_t>& bytes) {
  const auto path = dir.path / name;
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
  return path.string();
}

// A song with tempo and meter changes: 4 bars at 100 bpm in 4/4, then 3/4 at 150 bpm.
std::vector<uint8_t> ChangingSong() {
  TrackBuilder meta;
  meta.Tempo(0, 600000).Meter(0, 4, 2).Tempo(4 * 4 * 96, 400000).Meter(0, 3, 2).End(8 * 3 * 96);
  TrackBuilder notes;
  notes.Msg(0, 0xC0, 5);
  for (int i = 0; i < 40; ++i) {
    notes.Msg(i == 0 ? 0 : 29, 0x90, static_cast<uint8_t>(50 + i), 90)
        .Msg(29, 0x80, static_cast<uint8_t>(50 + i), 0);
  }
  notes.End();
  return BuildMidi(1, 96, {meta, notes});
}

struct NoteTime {
  int64_t frame;
  uint8_t note;
  bool operator==(const NoteTime&) const = default;
};

std::vector<NoteTime> NoteOns(const std::vector<std::pair<int64_t, Msg>>& messages) {
  std::vector<NoteTime> out;
  for (const auto& [frame, m] : messages) {
    if ((m[0] & 0xF0) == 0x90 && m[2] > 0) {
      out.push_back({frame, m[1]});
    }
  }
  return out;
}

}  // namespace

TEST(Player, OfflineEventsFallOnTheirSamplesRunAfterRun) {
  const auto bytes = ChangingSong();
  Kesh::Audio::Midi::MidiFile file;
  std::string reason;
  ASSERT_TRUE(Kesh::Audio::Midi::ReadMidi(bytes.data(), bytes.size(), file, reason));
  const Kesh::Audio::Midi::TempoMap tempo(file.song);
  std::vector<NoteTime> expected;
  for (const auto& e : file.song.tracks[1].events) {
    if ((e.status & 0xF0) == 0x90) {
      expected.push_back({tempo.TickToUs(e.tick) * 48000 / 1000000, e.data1});
    }
  }
  std::vector<NoteTime> runs[2];
  for (auto& run : runs) {
    auto outputs = std::make_unique<TestOutputs>();
    auto log = outputs->offline;
    Player player(std::move(outputs), "");
    MemoryStream stream(bytes);
    ASSERT_TRUE(player.OpenStream(&stream));
    ASSERT_TRUE(player.SetOffline(true, 48000));
    player.Play();
    int64_t frames = 0;
    std::vector<int16_t> buffer(48000 * 2);
    for (int step = 0; step < 400; ++step) {  // 16 s in frames of 40 ms
      ASSERT_TRUE(player.AdvanceOffline(40));
      frames += player.RenderOffline(buffer.data(), 48000);
    }
    EXPECT_EQ(frames, 16 * 48000);
    EXPECT_EQ(player.GetPositionMs(), 16000);
    run = NoteOns(log->Take());
  }
  EXPECT_EQ(runs[0], expected);
  EXPECT_EQ(runs[1], runs[0]);
}

TEST(Player, PositionTicksCounterPauseAndStopOffline) {
  Player player(std::make_unique<TestOutputs>(), "");
  EXPECT_FALSE(player.AdvanceOffline(10));  // not offline yet
  EXPECT_EQ(player.GetSong(), nullptr);
  EXPECT_EQ(player.GetCounter(), 0);
  MemoryStream stream(ChangingSong());
  ASSERT_TRUE(player.OpenStream(&stream));
  ASSERT_TRUE(player.SetOffline(true, 22050));
  EXPECT_FALSE(player.IsPlaying());
  player.Play();
  EXPECT_TRUE(player.IsPlaying());
  // Bar 5 starts at 4 bars x 4 beats x 600 ms.
  player.AdvanceOffline(9599);
  EXPECT_EQ(player.GetCounter(), 4);
  EXPECT_EQ(player.GetPositionTicks(), 4 * 4 * 96 - 1);
  player.AdvanceOffline(1);
  EXPECT_EQ(player.GetCounter(), 5);
  EXPECT_EQ(player.GetPositionTicks(), 4 * 4 * 96);
  player.AdvanceOffline(1200);  // 3 beats at 400 ms: bar 6
  EXPECT_EQ(player.GetCounter(), 6);
  player.Pause();
  EXPECT_TRUE(player.IsPaused());
  player.AdvanceOffline(5000);  // sound goes on, the song does not
  EXPECT_EQ(player.GetPositionMs(), 10800);
  int64_t elapsed = 0;
  player.GetTime(&elapsed);
  EXPECT_EQ(elapsed, 10800);
  player.Play();
  player.AdvanceOffline(200);
  EXPECT_EQ(player.GetPositionMs(), 11000);
  player.Stop();
  EXPECT_FALSE(player.IsPlaying());
  EXPECT_FALSE(player.IsPaused());
  EXPECT_EQ(player.GetPositionMs(), 0);
  EXPECT_EQ(player.GetCounter(), 1);
  EXPECT_FALSE(player.SetOffline(true, 100));  // rate out of range
}

TEST(Player, OpeningFilesAndStreams) {
  Player player(std::make_unique<TestOutputs>(), "");
  const auto song = ChangingSong();
  // A song embedded in a project stream: the stream is left right after it.
  auto bytes = song;
  bytes.insert(bytes.end(), {0x00, 0x30, 0x06, 0, 0, 0});
  MemoryStream stream(bytes);
  ASSERT_TRUE(player.OpenStream(&stream));
  EXPECT_EQ(stream.Tell(), static_cast<int>(song.size()));
  EXPECT_STREQ(player.GetLastError(), "");
  const Kesh::Audio::SongData* first = player.GetSong();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->tracks.size(), 2u);

  // A refused file leaves the loaded song as it was and says why.
  const TempDir dir;
  const std::string text = WriteTemp(dir, "text.mid", {'h', 'e', 'l', 'l', 'o'});
  EXPECT_FALSE(player.OpenFile(text.c_str()));
  EXPECT_STREQ(player.GetLastError(), "not a MIDI file");
  EXPECT_EQ(player.GetSong(), first);
  EXPECT_FALSE(player.OpenFile("/nonexistent/song.mid"));
  EXPECT_STREQ(player.GetLastError(), "cannot open the file");
  EXPECT_FALSE(player.OpenFile(nullptr));
  MemoryStream empty({});
  EXPECT_FALSE(player.OpenStream(&empty));
  EXPECT_STREQ(player.GetLastError(), "empty file");
  EXPECT_FALSE(player.OpenStream(nullptr));

  const std::string path = WriteTemp(dir, "song.mid", TavroTest::GeneratedSong(2));
  ASSERT_TRUE(player.OpenFile(path.c_str()));
  EXPECT_STREQ(player.GetLastError(), "");
  EXPECT_EQ(player.GetSong()->tracks.size(), 4u);
}

TEST(Player, OutputsSwitchWhilePlaying) {
  auto outputs = std::make_unique<TestOutputs>();
  auto synth = outputs->synth;
  auto port = outputs->port;
  Player player(std::move(outputs), "");
  EXPECT_EQ(player.GetMidiOutputCount(), 3);
  char name[6];
  EXPECT_TRUE(player.GetMidiOutputName(1, name, sizeof name));
  EXPECT_STREQ(name, "Test ");  // cut to the buffer
  EXPECT_FALSE(player.GetMidiOutputName(3, name, sizeof name));
  EXPECT_FALSE(player.GetMidiOutputName(0, nullptr, 10));

  TrackBuilder t;
  t.Msg(0, 0xC3, 30).Msg(0, 0xB3, 7, 100).Msg(0, 0x93, 60, 100).End(96 * 100);
  MemoryStream stream(BuildMidi(0, 96, {t}));
  ASSERT_TRUE(player.OpenStream(&stream));
  player.SetVolume(3, 60);
  player.Play();
  for (int i = 0; i < 200 && synth->Size() < 3; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_TRUE(player.SelectMidiOutput(1, 0));
  EXPECT_FALSE(player.SelectMidiOutput(2, 0));  // cannot open: the port stays
  EXPECT_FALSE(player.SelectMidiOutput(7, 0));
  player.Stop();
  const auto old = synth->Take();
  const auto now = port->Take();
  // The synthesizer played the note at the scaled volume and released it on the switch.
  EXPECT_NE(std::find(old.begin(), old.end(), std::make_pair(int64_t{0}, Msg{0xB3, 7, 60})),
            old.end());
  EXPECT_NE(std::find(old.begin(), old.end(), std::make_pair(int64_t{0}, Msg{0x83, 60, 0})),
            old.end());
  // The port got the program and the volume before anything else.
  ASSERT_GE(now.size(), 2u);
  EXPECT_EQ(now[0].second, (Msg{0xC3, 30}));
  EXPECT_EQ(now[1].second, (Msg{0xB3, 7, 60}));
}

TEST(Player, CrowdBridgeForwardsToTheEngine) {
  Player player(std::make_unique<TestOutputs>(), FakeCrowdLibrary());
  void* fake = dlopen(FakeCrowdLibrary().c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(fake, nullptr) << dlerror();
  auto calls = reinterpret_cast<const char* (*)()>(dlsym(fake, "FakeOvatixCalls"));
  reinterpret_cast<void (*)()>(dlsym(fake, "FakeOvatixClear"))();
  Kesh::Audio::ICrowd* crowd = player.GetCrowd();
  EXPECT_EQ(crowd, player.GetCrowd());
  EXPECT_TRUE(crowd->OpenCollection("styles/rock/collection.ini", "styles/rock"));
  EXPECT_TRUE(crowd->PlaySeries("applause", 0.5f));
  EXPECT_FALSE(crowd->PlaySeries("missing", 1.0f));
  EXPECT_TRUE(crowd->SetVolume(0.25f, 0.75f));
  EXPECT_TRUE(crowd->Mute(true));
  EXPECT_TRUE(crowd->IsMuted());
  // Live, a stop fades the crowd out over a second; its sounds are stopped, and the volume given
  // back, when the scene is next used.
  EXPECT_TRUE(crowd->StopAll());
  EXPECT_FALSE(crowd->OpenCollection(nullptr, ""));
  EXPECT_TRUE(crowd->PlaySeries("bravo", 1.0f));
  EXPECT_TRUE(crowd->PlaySeries("bravo", 1.0f));
  EXPECT_EQ(std::string(calls()),
            "InitScene -1 44100 2\n"
            "OpenCollection styles/rock/collection.ini [styles/rock]\n"
            "PlaySeries applause 0.500000\n"
            "PlaySeries missing 1.000000\n"
            "SetSceneVolume 2 0.250000 0.750000 ramp 20\n"
            "MuteScene 1\n"
            "SetSceneVolume 2 0.000000 0.000000 ramp 1000\n"
            "StopSeries\n"
            "SetSceneVolume 2 0.250000 0.750000\n"
            "PlaySeries bravo 1.000000\n"
            "PlaySeries bravo 1.000000\n");
  // Offline, the scene renders into the synthesizer's sound.
  MemoryStream stream(ChangingSong());
  ASSERT_TRUE(player.OpenStream(&stream));
  ASSERT_TRUE(player.SetOffline(true, 44100));
  // A render stops its crowd at once: its ending is its own.
  reinterpret_cast<void (*)()>(dlsym(fake, "FakeOvatixClear"))();
  EXPECT_TRUE(crowd->StopAll());
  EXPECT_EQ(std::string(calls()), "StopSeries\n");
  ASSERT_TRUE(player.AdvanceOffline(10));
  int16_t frames[441 * 2];
  ASSERT_EQ(player.RenderOffline(frames, 441), 441);
  EXPECT_EQ(frames[0], 1000);
  EXPECT_EQ(frames[881], 1000);
  dlclose(fake);
}

TEST(Player, CrowdWithoutLibraryOrDeviceDoesNothing) {
  Player missing(std::make_unique<TestOutputs>(), "/nonexistent/libovatix.so");
  Kesh::Audio::ICrowd* crowd = missing.GetCrowd();
  EXPECT_FALSE(crowd->OpenCollection("a.ini", ""));
  EXPECT_FALSE(crowd->PlaySeries("applause", 1));
  EXPECT_FALSE(crowd->SetVolume(1, 1));
  EXPECT_FALSE(crowd->Mute(true));
  EXPECT_FALSE(crowd->IsMuted());
  EXPECT_FALSE(crowd->StopAll());

  setenv("FAKE_OVATIX_NO_DEVICE", "1", 1);
  Player noDevice(std::make_unique<TestOutputs>(), FakeCrowdLibrary());
  crowd = noDevice.GetCrowd();
  EXPECT_FALSE(crowd->PlaySeries("applause", 1));
  EXPECT_FALSE(crowd->StopAll());
  unsetenv("FAKE_OVATIX_NO_DEVICE");
}

TEST(Player, CallsFromSeveralThreadsAtOnce) {
  Player player(std::make_unique<TestOutputs>(), "");
  MemoryStream stream(TavroTest::GeneratedSong(4, 200000));
  ASSERT_TRUE(player.OpenStream(&stream));
  std::atomic<bool> done{false};
  std::thread reader([&] {
    while (!done) {
      (void)player.GetPositionMs();
      (void)player.GetPositionTicks();
      (void)player.GetCounter();
      int64_t t;
      player.GetTime(&t);
      (void)player.IsPlaying();
    }
  });
  std::thread mixer([&] {
    for (int i = 0; !done; ++i) {
      player.SetVolume(i % 16, i % 121);
      player.SetPan(i % 16, i % 129 - 64);
      player.SetMute(i % 16, i % 3 == 0);
      player.SetTranspose(i % 25 - 12);
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  });
  for (int i = 0; i < 20; ++i) {
    player.Play();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    player.Pause();
    if (i % 5 == 4) {
      player.Stop();
    }
  }
  done = true;
  reader.join();
  mixer.join();
  player.Stop();
  EXPECT_EQ(player.GetPositionMs(), 0);
}

// The built-in synthesizer plays drum parts moved off channel 10 (GS rhythm-part messages, GM2
// rhythm bank) with the drum kit: the same sound as on channel 10.
TEST(Player, DrumsOnOtherChannelsSoundLikeDrums) {
  auto render = [](const TrackBuilder& track) {
    Player player(Kesh::Audio::MakeSystemOutputs(), "");
    MemoryStream stream(BuildMidi(0, 96, {track}));
    EXPECT_TRUE(player.OpenStream(&stream));
    EXPECT_TRUE(player.SetOffline(true, 22050));
    player.Play();
    std::vector<int16_t> sound(22050 * 2);
    player.AdvanceOffline(1000);
    EXPECT_EQ(player.RenderOffline(sound.data(), 22050), 22050);
    return sound;
  };
  TrackBuilder drums;
  drums.Msg(0, 0xC9, 0).Msg(0, 0x99, 38, 100).End(96);
  TrackBuilder gs;
  gs.Delta(0).Raw({0xF0, 0x0A, 0x41, 0x10, 0x42, 0x12, 0x40, 0x12, 0x15, 0x01, 0x18, 0xF7});
  gs.Msg(0, 0xC1, 0).Msg(0, 0x91, 38, 100).End(96);
  TrackBuilder gm2;
  gm2.Msg(0, 0xB1, 0, 120).Msg(0, 0xC1, 0).Msg(0, 0x91, 38, 100).End(96);
  TrackBuilder melodic;
  melodic.Msg(0, 0xC1, 0).Msg(0, 0x91, 38, 100).End(96);
  const auto reference = render(drums);
  if (Kesh::Audio::FindSoundFont().empty()) {
    GTEST_SKIP() << "no SoundFont installed";
  }
  EXPECT_TRUE(render(gs) == reference);
  EXPECT_TRUE(render(gm2) == reference);
  EXPECT_FALSE(render(melodic) == reference);
}

// Outputs that take their time to open (a SoundFont loading, a busy device) and then fail or
// succeed: the position answers promptly on another thread all the while.
TEST(Player, SlowOutputsNeverHoldUpThePosition) {
  class SlowOutputs : public TestOutputs {
   public:
    std::unique_ptr<Kesh::Audio::Output> Open(int) override {
      std::this_thread::sleep_for(std::chrono::milliseconds(400));
      return nullptr;  // the device stays busy
    }
    std::unique_ptr<Kesh::Audio::Output> OpenOffline(int rate) override {
      std::this_thread::sleep_for(std::chrono::milliseconds(400));
      return TestOutputs::OpenOffline(rate);
    }
  };
  Player player(std::make_unique<SlowOutputs>(), "");
  MemoryStream stream(ChangingSong());
  ASSERT_TRUE(player.OpenStream(&stream));

  std::atomic<bool> done{false};
  std::vector<double> waits;
  std::thread frames([&] {
    while (!done) {
      const auto start = std::chrono::steady_clock::now();
      (void)player.GetPositionMs();
      waits.push_back(
          std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
              .count());
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  player.Play();  // opens the output (and tries the built-in synthesizer again) outside the lock
  EXPECT_TRUE(player.IsPlaying());
  EXPECT_TRUE(player.SetOffline(true, 8000));
  EXPECT_TRUE(player.SetOffline(false, 0));
  done = true;
  frames.join();
  ASSERT_GT(waits.size(), 50u);
  std::sort(waits.begin(), waits.end());
  // Generous for a loaded machine: the bulk within 5 ms, and never anything like an open.
  EXPECT_LT(waits[waits.size() * 9 / 10], 5.0);
  EXPECT_LT(waits.back(), 200.0);
}

// The crowd's volume, balance and mute survive a switch to offline rendering and back, and a scene
// that failed to open on the device is tried again, at most once a second.
TEST(Player, CrowdSettingsOutliveSceneChangesAndTheDeviceIsRetried) {
  void* fake = dlopen(FakeCrowdLibrary().c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(fake, nullptr) << dlerror();
  auto calls = reinterpret_cast<const char* (*)()>(dlsym(fake, "FakeOvatixCalls"));
  auto clear = reinterpret_cast<void (*)()>(dlsym(fake, "FakeOvatixClear"));
  clear();
  Player player(std::make_unique<TestOutputs>(), FakeCrowdLibrary());
  Kesh::Audio::ICrowd* crowd = player.GetCrowd();

  setenv("FAKE_OVATIX_NO_DEVICE", "1", 1);
  EXPECT_FALSE(crowd->SetVolume(0.25f, 0.75f));
  EXPECT_FALSE(crowd->Mute(true));  // within the second: not tried again
  EXPECT_EQ(std::string(calls()), "InitScene -1 44100 2\n");
  unsetenv("FAKE_OVATIX_NO_DEVICE");
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  clear();
  EXPECT_TRUE(crowd->PlaySeries("applause", 1.0f));
  EXPECT_EQ(std::string(calls()),
            "InitScene -1 44100 2\n"
            "SetSceneVolume 2 0.250000 0.750000\n"
            "MuteScene 1\n"
            "PlaySeries applause 1.000000\n");

  clear();
  ASSERT_TRUE(player.SetOffline(true, 22050));
  EXPECT_EQ(std::string(calls()),
            "InitSceneOffline 22050 2\n"
            "SetSceneVolume 2 0.250000 0.750000\n"
            "MuteScene 1\n");
  EXPECT_TRUE(crowd->Mute(false));
  ASSERT_TRUE(player.SetOffline(false, 0));
  clear();
  EXPECT_FALSE(crowd->IsMuted());
  EXPECT_EQ(std::string(calls()),
            "InitScene -1 44100 2\n"
            "SetSceneVolume 2 0.250000 0.750000\n"
            "MuteScene 0\n");
  dlclose(fake);
}

// A span of ten minutes renders in bounded pieces: only the last minute is kept for the caller
// and the clock lands exactly.
TEST(Player, LongOfflineSpansRenderInBoundedPieces) {
  auto outputs = std::make_unique<TestOutputs>();
  Player player(std::move(outputs), "");
  MemoryStream stream(ChangingSong());
  ASSERT_TRUE(player.OpenStream(&stream));
  ASSERT_TRUE(player.SetOffline(true, 8000));
  player.Play();
  ASSERT_TRUE(player.AdvanceOffline(10 * 60 * 1000));
  EXPECT_EQ(player.GetPositionMs(), 10 * 60 * 1000);
  std::vector<int16_t> all(2 * 8000 * 61);
  EXPECT_EQ(player.RenderOffline(all.data(), 8000 * 61), 8000 * 60);
  EXPECT_FALSE(player.AdvanceOffline(-1));
}
