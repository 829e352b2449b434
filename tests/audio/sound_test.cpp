// The player module against a real sound server: a private PulseAudio with a null sink, whose
// monitor is recorded. Skipped, with the reason, where the server cannot start.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "common/sound_plugins.h"
#include "common/sound_server.h"
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
// which the music goes on, later by that much, as a listener hears it. Such gaps (silence longer
// than the song's own rest at that place) are measured and cut out, and what remains is compared
// with the reference at the delay where their loudness envelopes match best.
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

// The longest run of zeros in stereo that reaches into [from, to).
int64_t RestNear(const std::vector<int16_t>& stereo, int64_t from, int64_t to) {
  int64_t longest = 0;
  for (int64_t f = from; f < to; ++f) {
    if (!Zero(stereo, f)) {
      continue;
    }
    int64_t begin = f;
    while (Zero(stereo, begin - 1)) {
      --begin;
    }
    while (Zero(stereo, f)) {
      ++f;
    }
    longest = std::max(longest, f - begin);
  }
  return longest;
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
  // Where the music begins, from the first two seconds (before gaps can add up).
  double r = 0;
  const int64_t delay =
      BestDelay(reference.Envelope(0, kWindow, 100), TavroTest::Loudness(recorded), atPlay, &r) *
      rate / 1000;
  // Walk the recording: every run of zeros longer than the reference's rest at its place (give or
  // take 20 ms) is a gap by the difference, cut from the start of the run.
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
    const int64_t extra = (f - begin) - RestNear(offline, at - rate / 50, at + rate / 50);
    if (extra >= kGapFrames && f < end) {
      joined.insert(joined.end(), recorded.begin() + 2 * kept, recorded.begin() + 2 * begin);
      kept = begin + extra;
      lost += extra;
      ++result.dropouts;
    }
  }
  joined.insert(joined.end(), recorded.begin() + 2 * kept, recorded.end());
  result.lostMs = static_cast<int>(lost * 1000 / rate);
  const TavroTest::Loudness heard(joined);
  const std::vector<double> whole = reference.Envelope(0, kWindow, seconds * 50);
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
  player->Play();
  std::vector<int16_t> offline;
  std::vector<int16_t> block(TavroTest::kSinkRate * 2);
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

// The streams the sound server is playing now (pactl's list of sink inputs), or -1.
int ServerStreams() {
  int fd = -1;
  const pid_t pid = TavroTest::Spawn({"pactl", "list", "short", "sink-inputs"}, "/dev/null", &fd);
  if (pid < 0) {
    return -1;
  }
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) {
    text.append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  if (TavroTest::WaitFor(pid, std::chrono::seconds(5)) != 0) {
    return -1;
  }
  return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
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
// and the song is heard as promptly and as whole as the first time.
TEST_F(ModuleSound, SongPlaysAgainAfterTheDeviceClosedForSilence) {
  constexpr int kAgainSeconds = 4;
  const std::vector<int16_t> reference = Offline(player, kAgainSeconds);
  TavroTest::MonitorRecorder recorder(server.MonitorName());
  std::string why;
  ASSERT_TRUE(recorder.Start(&why)) << why;
  player->Play();  // opens the device
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(ServerStreams(), 1) << "the synthesizer plays no stream on the server";
  player->Stop();
  // The release tails end, and after seconds of silence the device is closed.
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  while (ServerStreams() != 0 && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  ASSERT_EQ(ServerStreams(), 0) << "the silent synthesizer still holds its stream on the server";
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const Followed f = PlayAndFollow(player, recorder, reference, kAgainSeconds);
  recorder.Stop();
  Print("played again", f);
  EXPECT_GT(f.loudest, 300.0) << "the sink heard (nearly) nothing";
  if (kTimed) {
    EXPECT_GE(f.correlation, 0.8) << "loudness envelope differs from the offline rendering";
    EXPECT_LE(f.startDelayMs, 150) << "sound started " << f.startDelayMs << " ms after Play";
    EXPECT_LE(f.lostMs, kMostLostMs) << f.dropouts << " dropouts";
  }
}
