// The client thread drives the engine while writer threads render; run under ThreadSanitizer.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "ovatix/engine.h"
#include "wav_maker.h"

using namespace ovatix_test;

namespace {

TEST(OvatixThreads, ClientOperationsWhileWritersRender) {
  TempDir dir;
  WavSpec w;
  w.rate = 8000;
  WriteFile(dir / "a.wav", MakeWav(w, Pcm16(std::vector<int16_t>(800, 900))));
  w.channels = 2;
  WriteFile(dir / "b.wav", MakeWav(w, Pcm16(std::vector<int16_t>(1600, -700))));
  WriteFile(dir / "one.ini", "[a]\nWavFile=a.wav\nNumber=4\n[b]\nWavFile=b.wav\n");
  WriteFile(dir / "two.ini", "[b]\nWavFile=b.wav\nNumber=2\nPitchRND=0.5\n");

  Ovatix::Engine engine;
  TWaveScene& scene = engine.Scene();
  // The file writer's worker renders through the scene callback ...
  scene.SetSceneFormat(8000, 2, 16, 5);
  scene.SetOutputDevice(TWaveScene::kOutputFile, dir / "out.wav");
  scene.Play();
  // ... and a second thread pulls frames as the offline renderer does.
  std::atomic<bool> done{false};
  std::thread puller([&] {
    std::vector<int16_t> buf(160 * 2);
    while (!done.load()) {
      engine.RenderScene(buf.data(), 160);
    }
  });

  const float gains[] = {0.5f, 0.9f};
  for (int round = 0; round < 60; ++round) {
    ASSERT_TRUE(engine.OpenCollection((dir / (round % 2 ? "two.ini" : "one.ini")).c_str(),
                                      dir.path.c_str()));
    engine.SetSeriesCoopLimit(round % 3);
    engine.PlaySeries("a", 0.8f, round * 10, 1000);
    engine.PlaySeries("b", 1.0f, 0, 0);
    engine.SetSceneVolume(gains, 2, round % 20);
    engine.MuteScene(round % 4 == 0);
    if (round % 5 == 0) {
      engine.PauseScene();
    }
    if (round % 7 == 0) {
      engine.StopScene();
    }
    engine.PlayScene();
    if (round % 9 == 0) {
      engine.StopSeries();
    }
    float out[2];
    engine.GetSceneVolume(out);
    if (round % 15 == 0) {
      scene.SetSceneFormat(8000, 2, 16, 5 + round % 3);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  done.store(true);
  puller.join();
  engine.CloseCollection();
  scene.Stop();
  scene.RemoveOutput();
  EXPECT_TRUE(std::filesystem::exists(dir / "out.wav"));
}

TEST(OvatixThreads, SceneExportsWhileAnotherThreadReformatsTheScene) {
  // One thread switches the scene between formats (each switch frees the mix buffer and the
  // master gain) while another sets and reads the volume, mutes and renders: every export holds
  // the scene's client lock, so none reads a freed buffer (ASan) or races (TSan).
  Ovatix::Engine engine;
  ASSERT_TRUE(engine.InitSceneOffline(8000, 2, 10));
  std::atomic<bool> done{false};
  std::thread formats([&] {
    for (int round = 0; round < 400; ++round) {
      EXPECT_TRUE(engine.InitSceneOffline(8000 + 50 * (round % 7), 1 + round % 3, 5 + round % 11));
    }
    done.store(true);
  });
  const float gains[] = {0.25f, 0.5f, 0.75f};
  std::vector<int16_t> frames(3 * 300);
  float out[3];
  // At least as many rounds as the other thread makes, and on until it has finished.
  for (int rounds = 0; rounds < 400 || !done.load(); ++rounds) {
    EXPECT_TRUE(engine.SetSceneVolume(gains, 3, rounds % 5));
    const int32_t channels = engine.GetSceneVolume(out);
    EXPECT_GE(channels, 1);
    EXPECT_LE(channels, 3);
    engine.MuteScene(rounds % 2 == 0);
    engine.GetSceneMutedState();
    EXPECT_TRUE(engine.RenderScene(frames.data(), 300));
  }
  formats.join();
}

}  // namespace
