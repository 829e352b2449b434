// The crowd engine against a real sound server: libovatix.so opens the default device (PortAudio
// through ALSA's pulse plugin) of a private PulseAudio with a null sink, whose monitor is
// recorded. Skipped, with the reason, where the server cannot start.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <numbers>
#include <thread>

#include "common/sound_plugins.h"
#include "common/sound_server.h"
#include "common/temp_dir.h"
#include "ovatix/exports.h"
#include "wav_maker.h"

namespace {
// Sound devices are opened here: ALSA's plugins stay loaded (see the header).
[[maybe_unused]] const bool kPluginsPinned = TavroTest::PinSoundPlugins();
}  // namespace

namespace {

template <typename F>
F Get(void* handle, const char* name) {
  return reinterpret_cast<F>(dlsym(handle, name));
}

}  // namespace

// A series started on the default device is heard on the sink; pausing the scene silences it
// within 300 ms.
TEST(OvatixSound, SeriesIsHeardAndPauseSilencesIt) {
  TavroTest::SoundServer server;
  std::string why;
  if (!server.Start(&why)) {
    GTEST_SKIP() << "no private sound server: " << why;
  }
  // A five-second 440 Hz tone at a quarter of full scale, one instance, no randomness.
  TempDir dir;
  std::vector<int16_t> tone(5 * 44100);
  for (size_t i = 0; i < tone.size(); ++i) {
    tone[i] = static_cast<int16_t>(
        8000 * std::sin(2 * std::numbers::pi * 440 * static_cast<double>(i) / 44100));
  }
  ovatix_test::WriteFile(dir.path / "tone.wav",
                         ovatix_test::MakeWav(ovatix_test::WavSpec{}, ovatix_test::Pcm16(tone)));
  ovatix_test::WriteFile(dir.path / "crowd.ini",
                         "[tone]\nWavFile=tone.wav\nNumber=1\nProportion=0\nProportionRND=0\n"
                         "PitchRND=0\nVolumeReducingRND=0\nAheadRND=0\n");

  // Loaded only now, so that PortAudio and ALSA see the private server.
  void* handle = dlopen(TAVRO_PROGRAM_DIR "/libovatix.so", RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(handle, nullptr) << dlerror();
  ASSERT_TRUE(Get<OvatixApi::InitScene>(handle, "_InitScene")(-1, 44100, 2, 100))
      << "the default device did not open through the sound server";
  ASSERT_TRUE(Get<OvatixApi::OpenCollection>(handle, "_OpenCollection")(
      (dir.path / "crowd.ini").c_str(), dir.path.c_str()));

  TavroTest::MonitorRecorder recorder(server.MonitorName());
  ASSERT_TRUE(recorder.Start(&why)) << why;
  const int64_t atPlay = recorder.Frames();
  ASSERT_TRUE(Get<OvatixApi::PlaySeries>(handle, "_PlaySeries")("tone", 1.0f));
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  const int64_t atPause = recorder.Frames();
  ASSERT_TRUE(Get<OvatixApi::PauseScene>(handle, "_PauseScene")());
  std::this_thread::sleep_for(std::chrono::milliseconds(1200));
  const TavroTest::Loudness heard(recorder.Stop());
  Get<OvatixApi::StopScene>(handle, "_StopScene")();
  dlclose(handle);

  // The tone's RMS is 8000/sqrt(2), less the series' own fades; before the series, silence.
  const int64_t rate = TavroTest::kSinkRate;
  const double playing = heard.Rms(atPause - rate / 2, atPause);
  EXPECT_GT(playing, 2000.0) << "the series was not heard";
  EXPECT_LT(heard.Rms(0, atPlay), 10.0) << "sound before the series started";
  // From 300 ms after the pause on, nothing.
  const double paused = heard.Rms(atPause + rate * 3 / 10, atPause + rate);
  EXPECT_LT(paused, 10.0) << "still sounding 300 ms after the pause";
  int64_t silentFrom = atPause;
  while (silentFrom < heard.Frames() && heard.Rms(silentFrom, silentFrom + rate / 100) >= 10.0) {
    silentFrom += rate / 100;
  }
  std::printf("playing RMS %.0f, paused RMS %.1f, silent %lld ms after the pause\n", playing,
              paused, static_cast<long long>((silentFrom - atPause) * 1000 / rate));
}
