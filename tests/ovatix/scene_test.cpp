#include "ovatix/wave_scene.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "ovatix/error.h"
#include "wav_maker.h"

using namespace ovatix_test;

namespace {

// A 1000 Hz scene, so that milliseconds and frames are the same numbers.
class SceneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    scene.SetSceneFormat(1000, 2, 16, 8);  // 8-frame buffers
    scene.Play();
  }
  std::shared_ptr<TWaveBuffer> Wave(const std::vector<int16_t>& samples, uint16_t channels = 2,
                                    uint32_t rate = 1000) {
    return std::make_shared<TWaveBuffer>(static_cast<uint32_t>(samples.size() / channels),
                                         WaveFormat::Pcm(rate, channels, 16), samples.data());
  }
  std::vector<int16_t> Render() {
    const TWaveBuffer& b = scene.RenderBuffer();
    const auto* p = reinterpret_cast<const int16_t*>(b.Data());
    return std::vector<int16_t>(p, p + b.Frames() * 2);
  }
  std::vector<int16_t> Constant(int16_t v, size_t frames) {
    return std::vector<int16_t>(frames * 2, v);
  }
  TWaveScene scene;
};

TEST_F(SceneTest, OneInstanceIsSourceTimesGainTruncated) {
  std::vector<int16_t> s;
  s.reserve(16);
  for (int i = 0; i < 16; ++i) {
    s.push_back(static_cast<int16_t>(i * 1001 - 7000));
  }
  auto w = Wave(s);
  scene.AddInstance(w, "a", 5);
  EXPECT_EQ(w->RefCount(), 1);
  scene.SetInstanceVolume("a", 0, 0.3f, TWaveScene::kEndNone);
  scene.PlayInstance("a");
  const auto out = Render();
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(out[i], static_cast<int32_t>(static_cast<float>(s[i]) * 0.3f)) << i;
  }
  EXPECT_EQ(scene.Instances()[0].position, 8u);
  Render();
  // The wave has ended: a named instance without end action stays, stopped.
  ASSERT_EQ(scene.InstanceCount(), 1u);
  EXPECT_EQ(scene.Instances()[0].state, 0);
  EXPECT_EQ(scene.Instances()[0].loops, -1);
  scene.Clear();
  EXPECT_EQ(w->RefCount(), 0);
}

TEST_F(SceneTest, LaterInstancesAddWithClipFirstIsWritten) {
  scene.AddInstance(Wave(Constant(12000, 8)), "a", 1);
  scene.AddInstance(Wave(Constant(12000, 8)), "b", 1);
  scene.AddInstance(Wave(Constant(-12000, 8)), "c", 1);
  scene.AddInstance(Wave(Constant(-12000, 8)), "d", 1);
  scene.PlayInstance("a");
  scene.PlayInstance("b");
  EXPECT_EQ(Render()[5], 16383);
  scene.Clear();
  scene.AddInstance(Wave(Constant(-12000, 8)), "c", 1);
  scene.AddInstance(Wave(Constant(-12000, 8)), "d", 1);
  scene.PlayInstance("c");
  scene.PlayInstance("d");
  EXPECT_EQ(Render()[0], -16383);
  // A stopped first instance does not count: the first playing one is written.
  scene.Clear();
  scene.AddInstance(Wave(Constant(100, 8)), "idle", 1);
  scene.AddInstance(Wave(Constant(20000, 8)), "loud", 1);
  scene.PlayInstance("loud");
  EXPECT_EQ(Render()[0], 20000);
}

TEST_F(SceneTest, LongDelaySkipsWholeBuffers) {
  scene.AddInstance(Wave(Constant(500, 20)), "a", 1);
  scene.SetInstanceDelay("a", 20);
  scene.PlayInstance("a");
  EXPECT_EQ(Render(), Constant(0, 8));
  EXPECT_EQ(scene.Instances()[0].delay, 12);
  EXPECT_EQ(Render(), Constant(0, 8));
  EXPECT_EQ(scene.Instances()[0].delay, 4);
  const auto out = Render();
  EXPECT_EQ(out[7], 0);
  EXPECT_EQ(out[8], 500);
  EXPECT_EQ(scene.Instances()[0].delay, 0);
  EXPECT_EQ(scene.Instances()[0].position, 4u);
}

TEST_F(SceneTest, EndActionsStopAndRemove) {
  scene.AddInstance(Wave(Constant(1000, 100)), "gone", 1);
  scene.AddInstance(Wave(Constant(1000, 100)), "kept", 1);
  scene.InstanceAddVolumeNode("gone", 4, 0.0f, TWaveScene::kEndRemove);
  scene.InstanceAddVolumeNode("kept", 4, 0.0f, TWaveScene::kEndStop);
  scene.PlayInstance("gone");
  scene.PlayInstance("kept");
  const auto out = Render();
  EXPECT_EQ(out[0], 1000 + 1000);  // both at full gain on the first frame
  EXPECT_EQ(out[2], 750 + 750);
  EXPECT_EQ(out[10], 0);
  const auto left = scene.Instances();
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(left[0].name, "kept");
  EXPECT_EQ(left[0].state, 0);
  // An unnamed instance goes as soon as its wave has played.
  scene.AddInstance(Wave(Constant(1, 3)), "", 1);
  scene.PlayInstance("");
  Render();
  EXPECT_EQ(scene.InstanceCount(), 1u);
}

TEST_F(SceneTest, NamesFollowEveryWayAnInstanceGoes) {
  const auto gone = [&](const std::string& name) {
    try {
      scene.SetInstancePitch(name, 1.0f);
      return false;
    } catch (const Ovatix::Error& e) {
      return std::string(e.what()) == "Instance with name=" + name + " not found";
    }
  };
  // Removed by the renderer at the end of its envelope, then added again under the same name.
  scene.AddInstance(Wave(Constant(100, 50)), "a", 1);
  scene.AddInstance(Wave(Constant(100, 50)), "b", 2);
  scene.InstanceAddVolumeNode("a", 2, 0.0f, TWaveScene::kEndRemove);
  scene.PlayInstance("a");
  Render();
  EXPECT_TRUE(gone("a"));
  EXPECT_FALSE(gone("b"));
  scene.AddInstance(Wave(Constant(7, 50)), "a", 3);
  scene.AddInstance(Wave(Constant(9, 50)), "a", 4);  // the same instance, set up again
  EXPECT_EQ(scene.InstanceCount(), 2u);
  EXPECT_EQ(scene.CountInGroup(4), 1u);
  scene.PlayInstance("a");
  EXPECT_EQ(Render()[0], 9);
  // Removed by a stop of everything (end action remove), by Clear, by a new channel count.
  scene.SetInstanceVolume("b", 0, 1.0f, TWaveScene::kEndRemove);
  scene.StopAll();
  EXPECT_TRUE(gone("b"));
  EXPECT_FALSE(gone("a"));
  scene.Clear();
  EXPECT_TRUE(gone("a"));
  scene.AddInstance(Wave(Constant(5, 50)), "c", 1);
  scene.SetSceneFormat(1000, 1, 16, 8);
  EXPECT_TRUE(gone("c"));
  EXPECT_EQ(scene.InstanceCount(), 0u);
}

TEST_F(SceneTest, LoopsRestartInTheSameBuffer) {
  scene.AddInstance(Wave({1, 1, 2, 2, 3, 3}), "a", 1);
  scene.SetInstanceLoops("a", 0);
  scene.PlayInstance("a");
  scene.SetInstanceLoops("a", 2);
  const auto out = Render();
  const std::vector<int16_t> expected = {1, 1, 2, 2, 3, 3, 1, 1, 2, 2, 3, 3, 1, 1, 2, 2};
  EXPECT_EQ(out, expected);
}

TEST_F(SceneTest, MasterRampRunsWhileMutedAndAppliesFromBufferStart) {
  scene.AddInstance(Wave(Constant(1000, 40)), "a", 1);
  scene.PlayInstance("a");
  scene.SetVolume(16, {0.0f, 0.0f});
  auto out = Render();
  EXPECT_EQ(out[0], 1000);
  EXPECT_EQ(out[2], 937);  // 1 - 1/16
  scene.Mute(true);
  EXPECT_TRUE(scene.IsMuted());
  EXPECT_EQ(Render(), Constant(0, 8));
  scene.Mute(false);
  EXPECT_NEAR(scene.GetVolume()[0], 0.0f, 1e-6);
  EXPECT_EQ(Render(), Constant(0, 8));
}

TEST_F(SceneTest, PitchedInstanceAndSourceRateConversion) {
  // 500 Hz mono in the 1000 Hz stereo scene: every frame twice, on both channels.
  scene.AddInstance(Wave({7, 8, 9, 10}, 1, 500), "a", 1);
  scene.PlayInstance("a");
  const std::vector<int16_t> expected = {7, 7, 7, 7, 8, 8, 8, 8, 9, 9, 9, 9, 10, 10, 10, 10};
  EXPECT_EQ(Render(), expected);
  scene.Clear();
  scene.AddInstance(Wave({1, 1, 2, 2, 3, 3, 4, 4}), "b", 1);
  scene.SetInstancePitch("b", 2.0f);
  scene.PlayInstance("b");
  const auto out = Render();
  EXPECT_EQ(out[0], 1);
  EXPECT_EQ(out[2], 3);
  EXPECT_EQ(out[4], 0);
  try {
    scene.SetInstancePitch("b", 0.0f);
    FAIL();
  } catch (const Ovatix::Error& e) {
    EXPECT_STREQ(e.what(), "Pitch <= 0");
  }
}

TEST_F(SceneTest, GroupsAndStopAll) {
  auto w = Wave(Constant(1, 100));
  scene.AddInstance(w, "a", 7);
  scene.AddInstance(w, "b", 3);
  scene.AddInstance(w, "c", 7);
  scene.AddInstance(w, "", 9);
  scene.AddInstance(w, "d", 0xFFFFFFFFu);
  EXPECT_EQ(scene.CountGroups(0), 4u);
  EXPECT_EQ(scene.CountGroups(5), 3u);   // 3 is below the minimum
  EXPECT_EQ(scene.CountGroups(10), 2u);  // the first instance's id always counts
  EXPECT_EQ(scene.OldestGroup(0), 3u);
  EXPECT_EQ(scene.OldestGroup(4), 7u);
  EXPECT_EQ(scene.CountInGroup(9), 0u);  // unnamed instances are not counted
  EXPECT_EQ(scene.CountInGroup(7), 2u);
  std::vector<std::string> seen;
  scene.ForEachInGroup(7, [&](const std::string& n) {
    seen.push_back(n);
    return false;
  });
  EXPECT_EQ(seen, std::vector<std::string>{"a"});
  // Re-adding under an existing name re-initialises it in place and keeps its delay.
  scene.SetInstanceDelay("b", 30);
  scene.AddInstance(w, "b", 11);
  EXPECT_EQ(scene.InstanceCount(), 5u);
  EXPECT_EQ(scene.Instances()[1].groupId, 11u);
  EXPECT_EQ(scene.Instances()[1].delay, 30);
  scene.InstanceAddVolumeNode("c", 10, 0.0f, TWaveScene::kEndRemove);
  scene.StopAll();
  std::vector<std::string> names;
  for (const auto& i : scene.Instances()) {
    names.push_back(i.name);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"a", "b", "d"}));
  EXPECT_EQ(w->RefCount(), 3);
}

TEST(Scene, OperationsNeedAFormatAndCheckArguments) {
  TWaveScene scene;
  const std::string noFormat = "TWaveScene::CheckFormat: format not set. Use SetSceneFormat().";
  try {
    scene.Play();
    FAIL();
  } catch (const Ovatix::Error& e) {
    EXPECT_EQ(e.what(), noFormat);
  }
  scene.Pause();
  scene.Stop();
  EXPECT_EQ(scene.GetState(), TWaveScene::kStopped);
  EXPECT_TRUE(scene.GetVolume().empty());
  scene.Mute(true);
  EXPECT_FALSE(scene.IsMuted());
  EXPECT_THROW(scene.SetVolume(0, {1.0f}), Ovatix::Error);
  EXPECT_THROW(scene.SetSceneFormat(44100, 2, 8, 100), Ovatix::Error);
  EXPECT_THROW(scene.SetSceneFormat(44100, 0, 16, 100), Ovatix::Error);
  EXPECT_THROW(scene.SetSceneFormat(44100, 2, 16, 0), Ovatix::Error);

  scene.SetSceneFormat(1000, 2, 16, 8);
  EXPECT_EQ(scene.BufferFrames(), 8);
  std::vector<int16_t> s(8, 0);
  auto w = std::make_shared<TWaveBuffer>(4, WaveFormat::Pcm(1000, 2, 16), s.data());
  scene.AddInstance(w, "x", 1);
  auto message = [&](auto&& f) -> std::string {
    try {
      f();
    } catch (const Ovatix::Error& e) {
      return e.what();
    }
    return "";
  };
  EXPECT_EQ(message([&] { scene.PlayInstance("y"); }), "Instance with name=y not found");
  EXPECT_EQ(message([&] { scene.InstanceAddVolumeNodeCh("x", 1, 0, {1.0f}); }),
            "TWaveScene::InstanceAddVolumeNodeCh: Volume parametr has different size");
  EXPECT_EQ(message([&] {
              scene.SetInstanceVolumeCh("x", 1, 0, {1.0f, 1.0f, 1.0f});
            }),
            "TWaveScene::SetInstanceVolumeCh: Volume parametr has different size");
  EXPECT_EQ(scene.GetInstanceLength("x", true), 4u);
}

TEST(Scene, FormatChangeRestartsOnlyAPlayingScene) {
  TWaveScene scene;
  scene.SetSceneFormat(1000, 2, 16, 8);
  scene.Play();
  scene.SetVolume(0, {0.5f, 0.5f});
  scene.SetSceneFormat(2000, 2, 16, 8);
  EXPECT_EQ(scene.GetState(), TWaveScene::kPlaying);
  EXPECT_EQ(scene.BufferFrames(), 16);
  EXPECT_EQ(scene.GetVolume(), (std::vector<float>{1.0f, 1.0f}));  // fresh master gain
  scene.Pause();
  scene.SetSceneFormat(2000, 1, 16, 8);
  EXPECT_EQ(scene.GetState(), TWaveScene::kStopped);
}

TEST(Scene, StopReopensTheWriterPauseDoesNot) {
  TempDir dir;
  const std::string path = dir / "scene.wav";
  TWaveScene scene;
  scene.SetSceneFormat(1000, 2, 16, 8);
  scene.SetOutputDevice(TWaveScene::kOutputFile, path);
  scene.Play();
  EXPECT_TRUE(std::filesystem::exists(path + ".part"));
  EXPECT_FALSE(std::filesystem::exists(path));
  scene.Pause();
  scene.Play();
  EXPECT_FALSE(std::filesystem::exists(path));  // same file still open
  scene.Stop();
  scene.Play();
  EXPECT_TRUE(std::filesystem::exists(path));  // the first file was closed by the reopen
  scene.Stop();
  scene.RemoveOutput();
  EXPECT_EQ(scene.Writer(), nullptr);
}

TEST(Scene, FileWriterRecordsTheMix) {
  TempDir dir;
  const std::string path = dir / "rec.wav";
  TWaveScene scene;
  scene.SetSceneFormat(1000, 2, 16, 8);
  std::vector<int16_t> s(2000, 1234);
  scene.AddInstance(std::make_shared<TWaveBuffer>(1000, WaveFormat::Pcm(1000, 2, 16), s.data()),
                    "a", 1);
  scene.SetInstanceLoops("a", 1000);
  scene.PlayInstance("a");
  scene.SetOutputDevice(TWaveScene::kOutputFile, path);
  scene.Play();
  for (int i = 0; i < 500 && scene.Writer()->DoneCount() < 3; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  scene.Stop();
  scene.RemoveOutput();
  const std::string f = ReadFile(path);
  ASSERT_GE(f.size(), 56u + 3 * 32);
  EXPECT_EQ(Get32(f, 52), f.size() - 56);
  EXPECT_EQ((f.size() - 56) % 32, 0u);  // whole buffers only
  for (size_t at = 56; at < f.size(); at += 2) {
    ASSERT_EQ(Get16(f, at), 1234) << at;
  }
}

}  // namespace
