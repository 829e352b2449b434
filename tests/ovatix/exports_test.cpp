// Loads libovatix.so the way the player module does and drives its exported functions.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "common/sound_plugins.h"
#include "ovatix/exports.h"
#include "wav_maker.h"

using namespace ovatix_test;

namespace {
// Sound devices are opened here: ALSA's plugins stay loaded (see the header).
[[maybe_unused]] const bool kPluginsPinned = TavroTest::PinSoundPlugins();
}  // namespace

namespace {

class Library {
 public:
  Library() { handle_ = dlopen(TAVRO_PROGRAM_DIR "/libovatix.so", RTLD_NOW | RTLD_LOCAL); }
  ~Library() {
    if (handle_) {
      dlclose(handle_);
    }
  }
  bool ok() const { return handle_ != nullptr; }
  template <typename F>
  F Get(const char* name) {
    return reinterpret_cast<F>(dlsym(handle_, name));
  }

 private:
  void* handle_ = nullptr;
};

TEST(OvatixExports, AllNamesAreExportedAndNothingElse) {
  Library lib;
  ASSERT_TRUE(lib.ok()) << dlerror();
  for (const char* name :
       {"_InitScene", "_PlayScene", "_StopScene", "_PauseScene", "_IsPlaying", "_OpenCollection",
        "_CloseCollection", "_EnumSeries", "_PlaySeries", "_PlaySeriesEx", "_StopSeries",
        "_SetSceneVolume", "_GetSceneVolume", "_SetSeriesCoopLimit", "_SetSeriesBreakFadeTime",
        "_MuteScene", "_GetSceneMutedState", "_InitSceneOffline", "_RenderScene"}) {
    EXPECT_NE(lib.Get<void*>(name), nullptr) << name;
  }
  EXPECT_EQ(lib.Get<void*>("_ZN6Ovatix6Engine9InitSceneEijij"), nullptr);
}

TEST(OvatixExports, NothingWorksBeforeInit) {
  Library lib;
  ASSERT_TRUE(lib.ok()) << dlerror();
  EXPECT_FALSE(lib.Get<OvatixApi::PlayScene>("_PlayScene")());
  EXPECT_EQ(lib.Get<OvatixApi::IsPlaying>("_IsPlaying")(), 0);
  EXPECT_TRUE(lib.Get<OvatixApi::StopScene>("_StopScene")());
  EXPECT_TRUE(lib.Get<OvatixApi::PauseScene>("_PauseScene")());
  EXPECT_FALSE(lib.Get<OvatixApi::PlayScene>("_PlayScene")());  // paused, yet no format
  EXPECT_EQ(lib.Get<OvatixApi::IsPlaying>("_IsPlaying")(), 0);
  float out[4] = {};
  EXPECT_EQ(lib.Get<OvatixApi::GetSceneVolume>("_GetSceneVolume")(out), 0);
  EXPECT_FALSE(lib.Get<OvatixApi::GetSceneMutedState>("_GetSceneMutedState")());
  int16_t buf[8];
  EXPECT_FALSE(lib.Get<OvatixApi::RenderScene>("_RenderScene")(buf, 4));
  EXPECT_FALSE(lib.Get<OvatixApi::PlaySeries>("_PlaySeries")("applause", 1.0f));
}

TEST(OvatixExports, DeviceInitFailsOrPlays) {
  Library lib;
  ASSERT_TRUE(lib.ok()) << dlerror();
  const bool ok = lib.Get<OvatixApi::InitScene>("_InitScene")(-1, 44100, 2, 100);
  EXPECT_EQ(lib.Get<OvatixApi::IsPlaying>("_IsPlaying")(), ok ? 1 : 0);
  if (!ok) {
    EXPECT_FALSE(lib.Get<OvatixApi::PlayScene>("_PlayScene")());
  }
  EXPECT_FALSE(lib.Get<OvatixApi::InitScene>("_InitScene")(-1, 44100, 0, 100));
}

TEST(OvatixExports, OfflineSceneRendersTheSumOfTwoSeries) {
  Library lib;
  ASSERT_TRUE(lib.ok()) << dlerror();
  TempDir dir;
  // Two one-second recordings at the scene rate: a mono ramp and a stereo pair of constants.
  std::vector<int16_t> mono(8000), stereo;
  for (int i = 0; i < 8000; ++i) {
    mono[i] = static_cast<int16_t>((i % 200) * 20 - 2000);
  }
  for (int i = 0; i < 8000; ++i) {
    stereo.push_back(3000);
    stereo.push_back(-1500);
  }
  WavSpec m;
  m.rate = 8000;
  WriteFile(dir / "ramp.wav", MakeWav(m, Pcm16(mono)));
  WavSpec s = m;
  s.channels = 2;
  WriteFile(dir / "pair.wav", MakeWav(s, Pcm16(stereo)));
  // One instance each, no randomness: peak at once, then a linear fade over the whole length.
  const std::string common =
      "Number=1\nProportion=0\nProportionRND=0\nPitchRND=0\nVolumeReducingRND=0\nAheadRND=0\n";
  WriteFile(dir / "collection.ini", "[first]\nWavFile=sounds\\ramp.wav\n" + common +
                                        "[second]\nWavFile=sounds\\pair.wav\n" + common);

  auto init = lib.Get<OvatixApi::InitSceneOffline>("_InitSceneOffline");
  auto open = lib.Get<OvatixApi::OpenCollection>("_OpenCollection");
  auto play = lib.Get<OvatixApi::PlaySeries>("_PlaySeries");
  auto render = lib.Get<OvatixApi::RenderScene>("_RenderScene");
  auto enumerate = lib.Get<OvatixApi::EnumSeries>("_EnumSeries");
  ASSERT_TRUE(init(8000, 2, 50));
  EXPECT_EQ(lib.Get<OvatixApi::IsPlaying>("_IsPlaying")(), 1);
  ASSERT_TRUE(open((dir / "collection.ini").c_str(), dir.path.c_str()));
  std::deque<std::string> names;
  enumerate(&names);
  EXPECT_EQ(names, (std::deque<std::string>{"first", "second"}));
  EXPECT_FALSE(play("third", 1.0f));
  ASSERT_TRUE(play("first", 0.5f));
  ASSERT_TRUE(play("second", 1.0f));
  ASSERT_TRUE(play("first", 0.5f));  // still sounding: nothing new

  std::vector<int16_t> out(9000 * 2, 77);
  ASSERT_TRUE(render(out.data(), 9000));
  // Expected: each instance's gain starts at its peak and falls by peak/8000 per frame.
  float ga = 0.5f, gb = 1.0f;
  const float sa = (0.0f - ga) / 8000.0f, sb = (0.0f - gb) / 8000.0f;
  for (int i = 0; i < 8000; ++i) {
    const int32_t a = static_cast<int32_t>(static_cast<float>(mono[i]) * ga);
    const int32_t b0 = static_cast<int32_t>(3000.0f * gb);
    const int32_t b1 = static_cast<int32_t>(-1500.0f * gb);
    ASSERT_EQ(out[2 * i], a + b0) << i;
    ASSERT_EQ(out[2 * i + 1], a + b1) << i;
    ga = ga + sa;
    gb = gb + sb;
  }
  for (int i = 8000 * 2; i < 9000 * 2; ++i) {
    ASSERT_EQ(out[i], 0) << i;
  }

  // The master volume and mute apply to what follows.
  const float half[] = {0.5f};
  EXPECT_TRUE(lib.Get<OvatixApi::SetSceneVolume>("_SetSceneVolume")(half, 1, 0));
  float vol[2] = {};
  EXPECT_EQ(lib.Get<OvatixApi::GetSceneVolume>("_GetSceneVolume")(vol), 2);
  EXPECT_EQ(vol[1], 0.5f);
  lib.Get<OvatixApi::MuteScene>("_MuteScene")(true);
  EXPECT_TRUE(lib.Get<OvatixApi::GetSceneMutedState>("_GetSceneMutedState")());
  ASSERT_TRUE(play("first", 1.0f));
  ASSERT_TRUE(render(out.data(), 100));
  for (int i = 0; i < 200; ++i) {
    ASSERT_EQ(out[i], 0);
  }
  lib.Get<OvatixApi::MuteScene>("_MuteScene")(false);
  ASSERT_TRUE(render(out.data(), 100));
  EXPECT_TRUE(std::any_of(out.begin(), out.begin() + 200, [](int16_t v) { return v != 0; }));
  lib.Get<OvatixApi::StopSeries>("_StopSeries")();
  EXPECT_TRUE(lib.Get<OvatixApi::PauseScene>("_PauseScene")());
  EXPECT_EQ(lib.Get<OvatixApi::IsPlaying>("_IsPlaying")(), 0);
  ASSERT_TRUE(render(out.data(), 100));
  EXPECT_EQ(out[0], 0);
  // No buffer: refused whatever the frame count, nothing written.
  EXPECT_FALSE(render(nullptr, 100));
  EXPECT_FALSE(render(nullptr, 0));
  EXPECT_TRUE(render(out.data(), 0));
  EXPECT_EQ(lib.Get<OvatixApi::SetSeriesCoopLimit>("_SetSeriesCoopLimit")(2), 2u);
  lib.Get<OvatixApi::SetSeriesBreakFadeTime>("_SetSeriesBreakFadeTime")(100);
  EXPECT_TRUE(lib.Get<OvatixApi::CloseCollection>("_CloseCollection")());
  enumerate(&names);
  EXPECT_TRUE(names.empty());
  EXPECT_TRUE(lib.Get<OvatixApi::PlaySeriesEx>("_PlaySeriesEx") != nullptr);
}

}  // namespace
