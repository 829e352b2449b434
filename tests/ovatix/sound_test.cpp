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

// Writes crowd.ini with one series, "tone": a 440 Hz tone at a quarter of full scale, seconds
// long, one instance, no randomness.
void WriteToneCollection(const TempDir& dir, int seconds) {
  std::vector<int16_t> tone(static_cast<size_t>(seconds) * 44100);
  for (size_t i = 0; i < tone.size(); ++i) {
    tone[i] = static_cast<int16_t>(
        8000 * std::sin(2 * std::numbers::pi * 440 * static_cast<double>(i) / 44100));
  }
  ovatix_test::WriteFile(dir.path / "tone.wav",
                         ovatix_test::MakeWav(ovatix_test::WavSpec{}, ovatix_test::Pcm16(tone)));
  ovatix_test::WriteFile(dir.path / "crowd.ini",
                         "[tone]\nWavFile=tone.wav\nNumber=1\nProportion=0\nProportionRND=0\n"
                         "PitchRND=0\nVolumeReducingRND=0\nAheadRND=0\n");
}

}  // namespace

// A series started on the default device is heard on the sink; pausing the scene silences it
// within 300 ms of sound (what was queued plays out; a busy machine may make the server play gaps
// of silence meanwhile, which only delay it).
TEST(OvatixSound, SeriesIsHeardAndPauseSilencesIt) {
  TavroTest::SoundServer server;
  std::string why;
  if (!server.Start(&why)) {
    GTEST_SKIP() << "no private sound server: " << why;
  }
  TempDir dir;
  WriteToneCollection(dir, 5);

  // Loaded only now, so that PortAudio and ALSA see the private server.
  void* handle = dlopen(TAVRO_PROGRAM_DIR "/libovatix.so", RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(handle, nullptr) << dlerror();
  ASSERT_TRUE(Get<OvatixApi::InitScene>(handle, "_InitScene")(-1, 44100, 2, 100))
      << "the default device did not open through the sound server";
  ASSERT_TRUE(Get<OvatixApi::OpenCollection>(handle, "_OpenCollection")(
      (dir.path / "crowd.ini").c_str(), dir.path.c_str()));

  TavroTest::MonitorRecorder recorder(server.MonitorName());
  ASSERT_TRUE(recorder.Start(&why)) << why;
  const auto played = std::chrono::steady_clock::now();
  ASSERT_TRUE(Get<OvatixApi::PlaySeries>(handle, "_PlaySeries")("tone", 1.0f));
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  const auto pausedAt = std::chrono::steady_clock::now();
  ASSERT_TRUE(Get<OvatixApi::PauseScene>(handle, "_PauseScene")());
  std::this_thread::sleep_for(std::chrono::milliseconds(1200));
  const int64_t atPlay = recorder.FrameAt(played);
  const int64_t atPause = recorder.FrameAt(pausedAt);
  const TavroTest::Loudness heard(recorder.Stop());
  Get<OvatixApi::StopScene>(handle, "_StopScene")();
  dlclose(handle);

  // The tone's RMS is 8000/sqrt(2), less the series' own fades; before the series, silence.
  const int64_t rate = TavroTest::kSinkRate;
  const double playing = heard.Rms(atPause - rate / 2, atPause);
  EXPECT_GT(playing, 2000.0) << "the series was not heard";
  EXPECT_LT(heard.Rms(0, atPlay), 10.0) << "sound before the series started";
  // After the pause, at most 300 ms of sound in 10 ms steps, and none at the end.
  int soundingMs = 0;
  int gapMs = 0;
  for (int64_t f = atPause; f + rate / 100 <= heard.Frames(); f += rate / 100) {
    if (heard.Rms(f, f + rate / 100) >= 10.0) {
      soundingMs += 10;
    } else if (soundingMs > 0 && heard.Rms(f, heard.Frames()) >= 10.0) {
      gapMs += 10;  // silence with sound after it: a gap the server played without us
    }
  }
  const double paused = heard.Rms(heard.Frames() - rate / 2, heard.Frames());
  EXPECT_LE(soundingMs, 300) << "sounding for " << soundingMs << " ms after the pause";
  EXPECT_LT(paused, 10.0) << "still sounding at the end";
  std::printf(
      "playing RMS %.0f, %d ms of sound after the pause (and %d ms of gaps), then RMS %.1f\n",
      playing, soundingMs, gapMs, paused);
}

// After seconds of silence the crowd's stream stops (the server no longer runs it), and the next
// series starts it again and is heard as promptly as a queued block would play.
TEST(OvatixSound, StreamStopsInSilenceAndASeriesStartsItAgain) {
  TavroTest::SoundServer server;
  std::string why;
  if (!server.Start(&why)) {
    GTEST_SKIP() << "no private sound server: " << why;
  }
  TempDir dir;
  WriteToneCollection(dir, 2);
  void* handle = dlopen(TAVRO_PROGRAM_DIR "/libovatix.so", RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(handle, nullptr) << dlerror();
  ASSERT_TRUE(Get<OvatixApi::InitScene>(handle, "_InitScene")(-1, 44100, 2, 100));
  ASSERT_TRUE(Get<OvatixApi::OpenCollection>(handle, "_OpenCollection")(
      (dir.path / "crowd.ini").c_str(), dir.path.c_str()));
  EXPECT_EQ(TavroTest::RunningServerStreams(), 1) << "the scene's stream is not running";
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (TavroTest::RunningServerStreams() != 0 && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  EXPECT_EQ(TavroTest::RunningServerStreams(), 0) << "the silent scene's stream still runs";

  TavroTest::MonitorRecorder recorder(server.MonitorName());
  ASSERT_TRUE(recorder.Start(&why)) << why;
  const auto played = std::chrono::steady_clock::now();
  ASSERT_TRUE(Get<OvatixApi::PlaySeries>(handle, "_PlaySeries")("tone", 1.0f));
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  EXPECT_EQ(TavroTest::RunningServerStreams(), 1) << "the series did not start the stream";
  const int64_t atPlay = recorder.FrameAt(played);
  const TavroTest::Loudness heard(recorder.Stop());
  Get<OvatixApi::StopScene>(handle, "_StopScene")();
  dlclose(handle);

  // Two blocks of 100 ms may be queued ahead of the series, and the device's own latency.
  const int64_t rate = TavroTest::kSinkRate;
  int64_t onset = atPlay;
  while (onset < heard.Frames() && heard.Rms(onset, onset + rate / 100) < 1000.0) {
    onset += rate / 100;
  }
  const int64_t onsetMs = (onset - atPlay) * 1000 / rate;
  EXPECT_LE(onsetMs, 400) << "the series was heard " << onsetMs << " ms after it started";
  EXPECT_GT(heard.Rms(onset, onset + rate / 2), 2000.0) << "the series was not heard";
  std::printf("series heard %lld ms after it started on a stopped stream\n",
              static_cast<long long>(onsetMs));
}
