// The player module against a real sound server: a private PulseAudio with a null sink, whose
// monitor is recorded. Skipped, with the reason, where the server cannot start.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

#include "common/sound_plugins.h"
#include "common/sound_server.h"
#include "common/temp_dir.h"
#include "tavro/player_module.h"

using Kesh::Audio::IPlayer;

namespace {
// Sound devices are opened here: ALSA's plugins stay loaded (see the header).
[[maybe_unused]] const bool kPluginsPinned = TavroTest::PinSoundPlugins();
}  // namespace

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// Instrumented synthesis on a busy machine cannot keep real time: the path is checked, the timing
// only in uninstrumented builds.
constexpr bool kTimed = false;
#else
constexpr bool kTimed = true;
#endif

constexpr const char* kSong = TAVRO_CORPUS_DIR "/songs/freedoom__d_intro.mid";
constexpr int kSeconds = 10;
constexpr int kWindow = TavroTest::kSinkRate / 50;  // 20 ms

class ModuleSound : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(kSong)) {
      GTEST_SKIP() << "corpus song not found: " << kSong;
    }
    std::string why;
    if (!server.Start(&why)) {
      GTEST_SKIP() << "no private sound server: " << why;
    }
    // The module is loaded only now, so that its sound libraries see the private server.
    handle = dlopen(TAVRO_PROGRAM_DIR "/audio.so", RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    auto query = reinterpret_cast<Kesh::Audio::InterfaceQueryFn>(dlsym(handle, "InterfaceQuery"));
    ASSERT_NE(query, nullptr);
    player = static_cast<IPlayer*>(query(Kesh::Audio::kPlayerInterfaceId));
    ASSERT_NE(player, nullptr);
  }
  void TearDown() override {
    if (player != nullptr) {
      player->Release(1);
    }
    if (handle != nullptr) {
      dlclose(handle);
    }
  }

  TavroTest::SoundServer server;
  void* handle = nullptr;
  IPlayer* player = nullptr;
};

}  // namespace

namespace {

// How the real-time playing followed the offline rendering. When a busy machine holds the
// synthesizer's thread up, the sound server plays a period without us: digital silence, after
// which the music goes on, later by that much, as a listener hears it. Such gaps (digital silence
// where the song sounds) are measured and cut out, and what remains is compared with the
// reference at the delay where their loudness envelopes match best.
struct Followed {
  int startDelayMs = -1;   // from Play to the music, after the gaps are cut out
  int dropouts = 0;        // gaps of silence the song does not have
  int lostMs = 0;          // their total length
  double correlation = 0;  // of the envelopes at that delay
  double loudest = 0;      // of the envelope heard
};

// Runs of at least this many frames of exact zeros count (a quarter of a period).
constexpr int64_t kGapFrames = 256;

bool Zero(const std::vector<int16_t>& stereo, int64_t f) {
  return f >= 0 && f < static_cast<int64_t>(stereo.size() / 2) && stereo[2 * f] == 0 &&
         stereo[2 * f + 1] == 0;
}

// The delay in ms (0 to 1000) at which heard from atPlay on follows the reference envelope best.
int BestDelay(const std::vector<double>& reference, const TavroTest::Loudness& heard,
              int64_t atPlay, double* correlation) {
  double best = -2;
  int bestDelay = 0;
  for (int delayMs = 0; delayMs <= 1000; ++delayMs) {
    const int64_t from = atPlay + int64_t{delayMs} * TavroTest::kSinkRate / 1000;
    const double r = TavroTest::Correlation(
        reference, heard.Envelope(from, kWindow, static_cast<int>(reference.size())));
    if (r > best) {
      best = r;
      bestDelay = delayMs;
    }
  }
  *correlation = best;
  return bestDelay;
}

Followed Follow(const std::vector<int16_t>& offline, const std::vector<int16_t>& recorded,
                int64_t atPlay, int seconds) {
  const int64_t rate = TavroTest::kSinkRate;
  const TavroTest::Loudness reference(offline);
  // Where the music lies, roughly: the best delay over the whole span, gaps and all.
  double r = 0;
  const std::vector<double> whole = reference.Envelope(0, kWindow, seconds * 50);
  const int64_t delay = BestDelay(whole, TavroTest::Loudness(recorded), atPlay, &r) * rate / 1000;
  double loudestReference = 0;
  for (double v : whole) {
    loudestReference = std::max(loudestReference, v);
  }
  // Walk the recording: every run of zeros where the reference sounds (above a hundredth of its
  // loudest, 40 ms either side of the place the run takes the music to) is a gap; the song's own
  // rests stay.
  Followed result;
  std::vector<int16_t> joined;
  int64_t lost = 0;
  int64_t kept = 0;
  const int64_t end = std::min<int64_t>(atPlay + int64_t{seconds + 1} * rate,
                                        static_cast<int64_t>(recorded.size() / 2));
  for (int64_t f = std::max<int64_t>(atPlay + delay, 0); f < end; ++f) {
    if (!Zero(recorded, f)) {
      continue;
    }
    const int64_t begin = f;
    while (f < end && Zero(recorded, f)) {
      ++f;
    }
    const int64_t at = begin - atPlay - delay - lost;
    const int64_t extra = f - begin;
    const bool rest = reference.Rms(at - rate / 25, at + rate / 25) < loudestReference / 100;
    if (extra >= kGapFrames && f < end && !rest) {
      joined.insert(joined.end(), recorded.begin() + 2 * kept, recorded.begin() + 2 * begin);
      kept = begin + extra;
      lost += extra;
      ++result.dropouts;
    }
  }
  joined.insert(joined.end(), recorded.begin() + 2 * kept, recorded.end());
  result.lostMs = static_cast<int>(lost * 1000 / rate);
  const TavroTest::Loudness heard(joined);
  result.startDelayMs = BestDelay(whole, heard, atPlay, &result.correlation);
  for (double v :
       heard.Envelope(atPlay + int64_t{result.startDelayMs} * rate / 1000, kWindow, seconds * 50)) {
    result.loudest = std::max(result.loudest, v);
  }
  return result;
}

// The first seconds of the song rendered offline at the sink's rate: the reference.
std::vector<int16_t> Offline(IPlayer* player, int seconds) {
  EXPECT_TRUE(player->SetOffline(true, TavroTest::kSinkRate));
  EXPECT_TRUE(player->OpenFile(kSong)) << player->GetLastError();
  std::vector<int16_t> block(TavroTest::kSinkRate * 2);
  player->Play();
  std::vector<int16_t> offline;
  for (int i = 0; i < (seconds + 1) * 25; ++i) {
    player->AdvanceOffline(40);
    const int n = player->RenderOffline(block.data(), TavroTest::kSinkRate);
    offline.insert(offline.end(), block.begin(), block.begin() + 2 * n);
  }
  player->Stop();
  EXPECT_TRUE(player->SetOffline(false, 0));
  return offline;
}

// Plays the song from its start for the given seconds while the monitor records.
Followed PlayAndFollow(IPlayer* player, TavroTest::MonitorRecorder& recorder,
                       const std::vector<int16_t>& reference, int seconds) {
  const auto played = std::chrono::steady_clock::now();
  player->Play();
  std::this_thread::sleep_for(std::chrono::seconds(seconds) + std::chrono::milliseconds(1500));
  player->Stop();
  const int64_t atPlay = recorder.FrameAt(played);
  const std::vector<int16_t> heard = recorder.Snapshot();
  EXPECT_GE(static_cast<int64_t>(heard.size() / 2), atPlay + (seconds + 1) * TavroTest::kSinkRate)
      << "the monitor recorded less than the song's span";
  return Follow(reference, heard, atPlay, seconds);
}

void Print(const char* what, const Followed& f) {
  std::printf(
      "%s: envelope correlation %.3f, sound %d ms after Play, %d dropouts (gaps the server "
      "played without us) of %d ms in all\n",
      what, f.correlation, f.startDelayMs, f.dropouts, f.lostMs);
}

// A busy machine may hold the synthesizer's thread up, and the server then plays a period of
// silence: tolerated as a listener would (the music goes on intact after it), but counted and
// bounded.
constexpr int kMostLostMs = 1000;

}  // namespace

// The song played in real time through the built-in synthesizer reaches the sink, starts promptly
// and has the loudness envelope of the same song rendered offline, allowing for the periods a busy
// machine made the server play without us.
TEST_F(ModuleSound, SongPlaysThroughTheServerLikeItsOfflineRendering) {
  const std::vector<int16_t> reference = Offline(player, kSeconds);
  TavroTest::MonitorRecorder recorder(server.MonitorName());
  std::string why;
  ASSERT_TRUE(recorder.Start(&why)) << why;
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const Followed f = PlayAndFollow(player, recorder, reference, kSeconds);
  recorder.Stop();
  Print("played", f);
  EXPECT_GT(f.loudest, 300.0) << "the sink heard (nearly) nothing";
  if (kTimed) {
    EXPECT_GE(f.correlation, 0.8) << "loudness envelope differs from the offline rendering";
    EXPECT_LE(f.startDelayMs, 150) << "sound started " << f.startDelayMs << " ms after Play";
    EXPECT_LE(f.lostMs, kMostLostMs) << f.dropouts << " dropouts";
  }
}

// After a silence long enough for the synthesizer to close its sound device, Play opens it again
// and the song is heard as promptly as the first time. (How closely it follows the offline
// rendering is the test above's matter: the song played again from a stop differs from a fresh
// rendering by what the stop left, and this span is short.)
TEST_F(ModuleSound, SongPlaysAgainAfterTheDeviceClosedForSilence) {
  constexpr int kAgainSeconds = 4;
  const std::vector<int16_t> reference = Offline(player, kAgainSeconds);
  TavroTest::MonitorRecorder recorder(server.MonitorName());
  std::string why;
  ASSERT_TRUE(recorder.Start(&why)) << why;
  player->Play();  // opens the device
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(TavroTest::ServerStreams(), 1) << "the synthesizer plays no stream on the server";
  player->Stop();
  // The release tails end, and after seconds of silence the device is closed.
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  while (TavroTest::ServerStreams() != 0 && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  ASSERT_EQ(TavroTest::ServerStreams(), 0)
      << "the silent synthesizer still holds its stream on the server";
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const auto played = std::chrono::steady_clock::now();
  player->Play();
  std::this_thread::sleep_for(std::chrono::seconds(kAgainSeconds) +
                              std::chrono::milliseconds(1500));
  EXPECT_EQ(TavroTest::ServerStreams(), 1) << "Play did not open the device again";
  player->Stop();
  const int64_t atPlay = recorder.FrameAt(played);
  const Followed f = Follow(reference, recorder.Stop(), atPlay, kAgainSeconds);
  Print("played again", f);
  EXPECT_GT(f.loudest, 300.0) << "the sink heard (nearly) nothing";
  if (kTimed) {
    EXPECT_LE(f.startDelayMs, 150) << "sound started " << f.startDelayMs << " ms after Play";
    EXPECT_LE(f.lostMs, kMostLostMs) << f.dropouts << " dropouts";
  }
}

namespace {

constexpr double kToneHz = 3000;

// Writes crowd.ini with one series, "tone": a 3 kHz sine at half of full scale (louder than any
// song's music), seconds long, one instance, no randomness.
void WriteToneCollection(const std::filesystem::path& folder, int seconds) {
  const uint32_t frames = static_cast<uint32_t>(seconds) * TavroTest::kSinkRate;
  std::string wav = "RIFF";
  auto put = [&wav](uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) {
      wav += static_cast<char>((v >> (8 * i)) & 0xFF);
    }
  };
  put(36 + frames * 2, 4);
  wav += "WAVEfmt ";
  put(16, 4);
  put(1, 2);  // PCM
  put(1, 2);  // mono
  put(TavroTest::kSinkRate, 4);
  put(TavroTest::kSinkRate * 2, 4);
  put(2, 2);
  put(16, 2);
  wav += "data";
  put(frames * 2, 4);
  for (uint32_t i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / TavroTest::kSinkRate;
    put(static_cast<uint16_t>(
            static_cast<int16_t>(16000 * std::sin(2 * std::numbers::pi * kToneHz * t))),
        2);
  }
  std::ofstream(folder / "tone.wav", std::ios::binary) << wav;
  std::ofstream(folder / "crowd.ini") << "[tone]\nWavFile=tone.wav\nNumber=1\nProportion=0\n"
                                         "ProportionRND=0\nPitchRND=0\nVolumeReducingRND=0\n"
                                         "AheadRND=0\n";
}

// The tone's power and everything else's in the left channel of frames [from, from + count): the
// tone's from its Goertzel amplitude, the rest as the remaining mean square.
struct Split {
  double tone = 0;
  double rest = 0;
};
Split SplitTone(const std::vector<int16_t>& stereo, int64_t from, int64_t count) {
  const double w = 2 * std::numbers::pi * kToneHz / TavroTest::kSinkRate;
  double s1 = 0;
  double s2 = 0;
  double total = 0;
  for (int64_t f = from; f < from + count; ++f) {
    const double x = stereo[2 * f];
    total += x * x;
    const double s = x + 2 * std::cos(w) * s1 - s2;
    s2 = s1;
    s1 = s;
  }
  const double n = static_cast<double>(count);
  const double amplitude =
      2 * std::sqrt(std::max(s1 * s1 + s2 * s2 - 2 * std::cos(w) * s1 * s2, 0.0)) / n;
  Split split;
  split.tone = amplitude * amplitude / 2;
  split.rest = std::max(total / n - split.tone, 0.0);
  return split;
}

}  // namespace

// A crowd cue during the song rides in the synthesizer's own stream, held well under the music;
// once the synthesizer has closed its device after the song, a crowd cue opens it again.
TEST_F(ModuleSound, CrowdRidesInTheSynthesizersSoundUnderTheMusic) {
  TempDir folder;
  WriteToneCollection(folder.path, 3);
  Kesh::Audio::ICrowd* crowd = player->GetCrowd();
  ASSERT_NE(crowd, nullptr);
  ASSERT_TRUE(crowd->OpenCollection((folder.path / "crowd.ini").c_str(), folder.path.c_str()))
      << "the crowd engine did not open the collection";
  ASSERT_TRUE(player->OpenFile(kSong));
  TavroTest::MonitorRecorder recorder(server.MonitorName());
  std::string why;
  ASSERT_TRUE(recorder.Start(&why)) << why;

  player->Play();
  std::this_thread::sleep_for(std::chrono::seconds(2));
  const auto cued = std::chrono::steady_clock::now();
  ASSERT_TRUE(crowd->PlaySeries("tone", 1.0f));
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  EXPECT_EQ(TavroTest::ServerStreams(), 1) << "the crowd plays a stream of its own";
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  player->Stop();
  const std::vector<int16_t> during = recorder.Snapshot();
  const int64_t atCue = recorder.FrameAt(cued);
  // Half-second windows from 0.3 s after the cue (the device's buffer and the first fall) to 2.5 s.
  constexpr int64_t kHalf = TavroTest::kSinkRate / 2;
  int windows = 0;
  for (int64_t from = atCue + TavroTest::kSinkRate * 3 / 10;
       from + kHalf <= atCue + TavroTest::kSinkRate * 5 / 2 &&
       from + kHalf <= static_cast<int64_t>(during.size() / 2);
       from += kHalf) {
    const Split split = SplitTone(during, from, kHalf);
    ASSERT_GT(split.rest, 300.0 * 300.0) << "the music is missing at frame " << from;
    ASSERT_GT(split.tone, 0.0) << "the crowd is missing at frame " << from;
    const double marginDb = 10 * std::log10(split.rest / split.tone);
    std::printf("crowd %.1f dB under the music\n", marginDb);
    EXPECT_GE(marginDb, 6.0) << "the crowd is not held under the music at frame " << from;
    ++windows;
  }
  EXPECT_GE(windows, 3) << "too little was recorded after the cue";

  // The tone ends and the release tails fade; after seconds of silence the device closes.
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (TavroTest::ServerStreams() != 0 && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  ASSERT_EQ(TavroTest::ServerStreams(), 0) << "the silent synthesizer still holds its stream";
  const auto again = std::chrono::steady_clock::now();
  ASSERT_TRUE(crowd->PlaySeries("tone", 1.0f));
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  EXPECT_EQ(TavroTest::ServerStreams(), 1) << "a crowd cue did not open the device again";
  const std::vector<int16_t> after = recorder.Stop();
  const int64_t atAgain = recorder.FrameAt(again) + TavroTest::kSinkRate / 2;
  ASSERT_GE(static_cast<int64_t>(after.size() / 2), atAgain + kHalf);
  // Free of the song, the crowd sounds at its ceiling (about -20 LUFS): far above silence.
  EXPECT_GT(SplitTone(after, atAgain, kHalf).tone, 300.0 * 300.0) << "the cue was not heard";
}
