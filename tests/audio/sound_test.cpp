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
constexpr int kWindows = kSeconds * 50;

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

// The song played in real time through the built-in synthesizer reaches the sink, starts promptly
// and has the loudness envelope of the same song rendered offline.
TEST_F(ModuleSound, SongPlaysThroughTheServerLikeItsOfflineRendering) {
  // The reference: the first seconds rendered offline at the sink's rate.
  ASSERT_TRUE(player->SetOffline(true, TavroTest::kSinkRate));
  ASSERT_TRUE(player->OpenFile(kSong)) << player->GetLastError();
  player->Play();
  std::vector<int16_t> offline;
  std::vector<int16_t> block(TavroTest::kSinkRate * 2);
  for (int i = 0; i < (kSeconds + 1) * 25; ++i) {
    player->AdvanceOffline(40);
    const int n = player->RenderOffline(block.data(), TavroTest::kSinkRate);
    offline.insert(offline.end(), block.begin(), block.begin() + 2 * n);
  }
  player->Stop();
  ASSERT_TRUE(player->SetOffline(false, 0));
  const std::vector<double> reference = TavroTest::Loudness(offline).Envelope(0, kWindow, kWindows);

  TavroTest::MonitorRecorder recorder(server.MonitorName());
  std::string why;
  ASSERT_TRUE(recorder.Start(&why)) << why;
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const int64_t atPlay = recorder.Frames();
  player->Play();
  std::this_thread::sleep_for(std::chrono::seconds(kSeconds + 1));
  player->Stop();
  const std::vector<int16_t> raw = recorder.Stop();
  const TavroTest::Loudness heard(raw);
  ASSERT_GE(heard.Frames(), atPlay + (kSeconds + 0.5) * TavroTest::kSinkRate)
      << "the monitor recorded less than the song's span";

  // The delay at which the recording follows the reference best, searched in steps of 1 ms.
  double best = -1;
  int bestDelayMs = -1;
  for (int delayMs = 0; delayMs <= 400; ++delayMs) {
    const int64_t from = atPlay + int64_t{delayMs} * TavroTest::kSinkRate / 1000;
    const double r = TavroTest::Correlation(reference, heard.Envelope(from, kWindow, kWindows));
    if (r > best) {
      best = r;
      bestDelayMs = delayMs;
    }
  }
  const std::vector<double> aligned = heard.Envelope(
      atPlay + int64_t{bestDelayMs} * TavroTest::kSinkRate / 1000, kWindow, kWindows);
  double loudest = 0;
  for (double v : aligned) {
    loudest = std::max(loudest, v);
  }
  EXPECT_GT(loudest, 300.0) << "the sink heard (nearly) nothing";
  if (kTimed) {
    EXPECT_GE(best, 0.8) << "loudness envelope differs from the offline rendering";
    EXPECT_LE(bestDelayMs, 150) << "sound started " << bestDelayMs << " ms after Play";
  }
  std::printf("envelope correlation %.3f at a delay of %d ms\n", best, bestDelayMs);
}
