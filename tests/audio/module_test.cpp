// The module as the program loads it: audio.so from the program folder, with the built-in
// synthesizer on whatever sound device the machine has (none on a build machine).
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <thread>

#include "common/temp_dir.h"
#include "midi_builder.h"
#include "tavro/player_module.h"

using Kesh::Audio::IPlayer;

namespace {

class Module : public ::testing::Test {
 protected:
  void SetUp() override {
    handle = dlopen(TAVRO_PROGRAM_DIR "/audio.so", RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    query = reinterpret_cast<Kesh::Audio::InterfaceQueryFn>(dlsym(handle, "InterfaceQuery"));
    ASSERT_NE(query, nullptr);
    player = static_cast<IPlayer*>(query(Kesh::Audio::kPlayerInterfaceId));
    ASSERT_NE(player, nullptr);
    song = temp.File("song.mid");
    const auto bytes = TavroTest::GeneratedSong(16, 500000);
    std::ofstream(song, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
  }
  void TearDown() override {
    if (player != nullptr) {
      player->Release(1);
    }
    if (handle != nullptr) {
      dlclose(handle);
    }
  }

  // Renders seconds of the song offline in frames of 40 ms; the sound as 16-bit stereo.
  std::vector<int16_t> RenderOffline(int seconds) {
    std::vector<int16_t> sound;
    EXPECT_TRUE(player->SetOffline(true, 44100));
    EXPECT_TRUE(player->OpenFile(song.c_str()));
    player->Play();
    std::vector<int16_t> block(44100 * 2);
    for (int i = 0; i < seconds * 25; ++i) {
      player->AdvanceOffline(40);
      const int n = player->RenderOffline(block.data(), 44100);
      sound.insert(sound.end(), block.begin(), block.begin() + 2 * n);
    }
    player->Stop();
    return sound;
  }

  void* handle = nullptr;
  Kesh::Audio::InterfaceQueryFn query = nullptr;
  IPlayer* player = nullptr;
  TempDir temp;
  std::string song;
};

}  // namespace

TEST_F(Module, OnePlayerPerProcessAndTheBuiltInSynthesizerFirst) {
  EXPECT_EQ(query(Kesh::Audio::kPlayerInterfaceId), player);
  EXPECT_EQ(query(2), nullptr);
  EXPECT_EQ(query(0), nullptr);
  ASSERT_GE(player->GetMidiOutputCount(), 1);
  char name[128];
  ASSERT_TRUE(player->GetMidiOutputName(0, name, sizeof name));
  EXPECT_EQ(std::string(name).rfind("Built-in synthesizer (", 0), 0u) << name;
  EXPECT_TRUE(player->SelectMidiOutput(0, 0));
  EXPECT_EQ(player->GetCrowd(), player->GetCrowd());
  // No crowd engine beside the module in this build: the crowd does nothing, without harm.
  if (!std::filesystem::exists(TAVRO_PROGRAM_DIR "/libovatix.so")) {
    EXPECT_FALSE(player->GetCrowd()->PlaySeries("applause", 1.0f));
  }
}

TEST_F(Module, RealTimePositionFollowsTheWallClock) {
  ASSERT_TRUE(player->OpenFile(song.c_str()));
  using Clock = std::chrono::steady_clock;
  player->Play();
  const auto start = Clock::now();
  int worst = 0;
  while (Clock::now() - start < std::chrono::seconds(3)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const int before = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
    const int position = player->GetPositionMs();
    const int after = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
    const int error = position < before ? before - position : std::max(0, position - after);
    worst = std::max(worst, error);
  }
  EXPECT_LE(worst, 20);
  EXPECT_TRUE(player->IsPlaying());
  EXPECT_GE(player->GetCounter(), 2);  // 3 s at 120 bpm in 4/4: bar 2
  player->Pause();
  EXPECT_TRUE(player->IsPaused());
  const int held = player->GetPositionMs();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(player->GetPositionMs(), held);
  player->Play();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_GE(player->GetPositionMs(), held + 150);
  player->Stop();
  EXPECT_EQ(player->GetPositionMs(), 0);
  EXPECT_EQ(player->GetPositionTicks(), 0);
  EXPECT_FALSE(player->IsPlaying());
}

TEST_F(Module, OfflineSoundIsAudibleAndTheSameEveryRun) {
  const std::vector<int16_t> first = RenderOffline(4);
  ASSERT_EQ(first.size(), 4u * 44100 * 2);
  double sum = 0;
  for (int16_t s : first) {
    sum += double(s) * s;
  }
  const double rms = std::sqrt(sum / first.size());
  EXPECT_GT(rms, 300.0) << "rendered sound is (nearly) silent";
  const std::vector<int16_t> second = RenderOffline(4);
  EXPECT_TRUE(first == second) << "two offline runs differ";
  EXPECT_TRUE(player->SetOffline(false, 0));
}

// Against the real crowd engine once it lies beside the module: offline, its scene needs no device.
TEST_F(Module, CrowdEngineBesideTheModuleRendersOffline) {
  if (!std::filesystem::exists(TAVRO_PROGRAM_DIR "/libovatix.so")) {
    GTEST_SKIP() << "no libovatix.so in " TAVRO_PROGRAM_DIR;
  }
  ASSERT_TRUE(player->SetOffline(true, 44100));
  Kesh::Audio::ICrowd* crowd = player->GetCrowd();
  EXPECT_FALSE(crowd->OpenCollection("/nonexistent/collection.ini", ""));
  EXPECT_FALSE(crowd->PlaySeries("applause", 1.0f));  // not in the (empty) collection
  EXPECT_TRUE(crowd->SetVolume(0.5f, 0.5f));
  EXPECT_TRUE(crowd->Mute(true));
  EXPECT_TRUE(crowd->IsMuted());
  EXPECT_TRUE(crowd->Mute(false));
  EXPECT_FALSE(crowd->IsMuted());
  EXPECT_TRUE(crowd->StopAll());
  ASSERT_TRUE(player->AdvanceOffline(100));
  std::vector<int16_t> block(4410 * 2);
  EXPECT_EQ(player->RenderOffline(block.data(), 4410), 4410);
  EXPECT_TRUE(player->SetOffline(false, 0));
}
