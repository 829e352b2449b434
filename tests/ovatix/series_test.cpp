#include <gtest/gtest.h>

#include <set>

#include "common/sound_plugins.h"
#include "ovatix/engine.h"
#include "wav_maker.h"

using namespace ovatix_test;
using Ovatix::Engine;

namespace {
// Sound devices are opened here: ALSA's plugins stay loaded (see the header).
[[maybe_unused]] const bool kPluginsPinned = TavroTest::PinSoundPlugins();
}  // namespace

namespace {

// A 1000 Hz offline scene with 1000-frame (one second) recordings: milliseconds equal frames.
class SeriesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(engine.InitSceneOffline(1000, 2, 10));
    WavSpec w;
    w.rate = 1000;
    WriteFile(dir / "a.wav", MakeWav(w, Pcm16(std::vector<int16_t>(1000, 1000))));
    WriteFile(dir / "b.wav", MakeWav(w, Pcm16(std::vector<int16_t>(1000, 2000))));
    engine.Seed(1234);
  }
  bool Open(const std::string& ini) {
    WriteFile(dir / "collection.ini", ini);
    return engine.OpenCollection((dir / "collection.ini").c_str(), dir.path.c_str());
  }
  std::vector<TWaveScene::InstanceInfo> Group(uint32_t id) {
    std::vector<TWaveScene::InstanceInfo> out;
    for (auto& i : engine.Scene().Instances()) {
      if (i.groupId == id) {
        out.push_back(i);
      }
    }
    return out;
  }
  void RenderMs(int ms) {
    std::vector<int16_t> buf(static_cast<size_t>(ms) * 2);
    ASSERT_TRUE(engine.RenderScene(buf.data(), static_cast<uint32_t>(ms)));
  }
  TempDir dir;
  Engine engine;
};

TEST_F(SeriesTest, DefaultSeriesSpreadsStayInTheirRanges) {
  ASSERT_TRUE(Open("[a]\nWavFile=a.wav\n"));
  const Ovatix::SeriesParams& p = engine.Series().Find("a");
  for (int round = 0; round < 40; ++round) {
    const uint32_t id = engine.StartSeries(p, 0, 0, 1.0f);
    ASSERT_NE(id, 0u);
    const auto g = Group(id);
    ASSERT_EQ(g.size(), 3u);
    int32_t previous = 0;
    for (size_t i = 0; i < g.size(); ++i) {
      EXPECT_GE(g[i].pitch, 0.7f - 1e-6f);
      EXPECT_LE(g[i].pitch, 1.297f + 1e-6f);
      EXPECT_EQ(g[i].state, 1);
      EXPECT_EQ(g[i].endAction, TWaveScene::kEndRemove);
      EXPECT_EQ(g[i].gains[0], 0.0f);  // every instance starts silent
      if (i == 0) {
        EXPECT_EQ(g[i].delay, 0);
      } else {
        // Start = previous start + 1.1 lengths / pitch, jittered by -0.5 ... +0.495 lengths.
        const double len = 1000.0 / g[i].pitch;
        EXPECT_GE(g[i].delay, previous + 1.1 * len - 0.5 * len - 2) << i;
        EXPECT_LE(g[i].delay, previous + 1.1 * len + 0.495 * len + 2) << i;
      }
      previous = g[i].delay;
    }
    engine.Scene().Clear();
  }
}

TEST_F(SeriesTest, ProportionZeroJumpsToTheReducedPeaks) {
  ASSERT_TRUE(Open("[a]\nWavFile=a.wav\nProportion=0\nProportionRND=0\nNumber=4\n"));
  for (int round = 0; round < 20; ++round) {
    const uint32_t id = engine.StartSeries(engine.Series().Find("a"), 0, 0, 0.8f);
    const auto g = Group(id);
    ASSERT_EQ(g.size(), 4u);
    EXPECT_FLOAT_EQ(g[0].gains[0], 0.8f);
    // Peaks step linearly to volume x target, target within 0.2 ... 0.797 (the last of four
    // instances is at 1 + 3 x (target - 1) / 4).
    const float step = g[1].gains[0] - g[0].gains[0];
    EXPECT_NEAR(g[2].gains[0] - g[1].gains[0], step, 1e-5);
    const double target = 1.0 + step / 0.8 * 4.0;
    EXPECT_GE(target, 0.2 - 1e-4);
    EXPECT_LE(target, 0.797 + 1e-4);
    engine.Scene().Clear();
  }
}

TEST_F(SeriesTest, InstanceCountFollowsNumberAndSpread) {
  ASSERT_TRUE(Open("[n]\nWavFile=a.wav\nNumber=4\nNumberRND=2\n[zero]\nWavFile=a.wav\nNumber=0\n"));
  std::set<size_t> counts;
  for (int round = 0; round < 200; ++round) {
    counts.insert(Group(engine.StartSeries(engine.Series().Find("n"), 0, 0, 1.0f)).size());
    engine.Scene().Clear();
  }
  EXPECT_EQ(counts, (std::set<size_t>{2, 3, 4, 5}));
  // Number 0: a fresh play id, nothing added; so the next start of the series plays again.
  const uint32_t before = engine.PlayIdCounter();
  ASSERT_TRUE(engine.PlaySeries("zero", 1.0f, 0, 0));
  EXPECT_EQ(engine.PlayIdCounter(), before + 1);
  EXPECT_EQ(engine.Running().at("zero"), std::to_string(before + 1));
  EXPECT_EQ(engine.Scene().InstanceCount(), 0u);
  ASSERT_TRUE(engine.PlaySeries("zero", 1.0f, 0, 0));
  EXPECT_EQ(engine.PlayIdCounter(), before + 2);
}

TEST_F(SeriesTest, RunningSeriesStartsOnceUntilItHasEnded) {
  ASSERT_TRUE(Open("[a]\nWavFile=a.wav\nNumber=2\nPitchRND=0\nAheadRND=0\n[empty]\nNumber=2\n"));
  ASSERT_TRUE(engine.PlaySeries("a", 1.0f, 0, 0));
  const uint32_t id = engine.PlayIdCounter();
  ASSERT_TRUE(engine.PlaySeries("a", 1.0f, 0, 0));
  EXPECT_EQ(engine.PlayIdCounter(), id);
  EXPECT_EQ(engine.Scene().InstanceCount(), 2u);
  // Two instances: 1000 ms each, the second starting 1100 ms later.
  RenderMs(2200);
  EXPECT_EQ(engine.Scene().InstanceCount(), 0u);
  ASSERT_TRUE(engine.PlaySeries("a", 1.0f, 0, 0));
  EXPECT_EQ(engine.PlayIdCounter(), id + 1);

  const size_t count = engine.Scene().InstanceCount();
  EXPECT_FALSE(engine.PlaySeries("nope", 1.0f, 0, 0));
  EXPECT_EQ(engine.Scene().InstanceCount(), count);
  EXPECT_TRUE(engine.PlaySeries("empty", 1.0f, 0, 0));
  EXPECT_EQ(engine.Running().at("empty"), "0");
}

TEST_F(SeriesTest, CoopLimitCutsTheOldestGroup) {
  ASSERT_TRUE(Open("[a]\nWavFile=a.wav\n[b]\nWavFile=b.wav\n"));
  EXPECT_EQ(engine.SetSeriesCoopLimit(1), 1u);
  engine.SetSeriesBreakFadeTime(50);
  ASSERT_TRUE(engine.PlaySeries("a", 1.0f, 0, 0));
  const uint32_t idA = engine.PlayIdCounter();
  RenderMs(20);
  ASSERT_TRUE(engine.PlaySeries("b", 1.0f, 0, 0));
  const uint32_t idB = engine.PlayIdCounter();
  EXPECT_TRUE(Group(idA).empty());
  const auto cut = Group(0xFFFFFFFFu);
  ASSERT_EQ(cut.size(), 3u);
  for (const auto& i : cut) {
    EXPECT_EQ(i.endAction, TWaveScene::kEndRemove);
  }
  EXPECT_EQ(Group(idB).size(), 3u);
  // The cut series counts as not sounding, so it starts again at once; the groups are now
  // -1, b and a: b is the oldest real group and is cut in turn.
  ASSERT_TRUE(engine.PlaySeries("a", 1.0f, 0, 0));
  EXPECT_EQ(engine.PlayIdCounter(), idB + 1);
  EXPECT_TRUE(Group(idB).empty());
  EXPECT_EQ(Group(0xFFFFFFFFu).size(), 6u);
  EXPECT_EQ(Group(idB + 1).size(), 3u);
  // The fade lasts 50 ms of the wave's own time (at most 72 ms at pitch 0.7): the sounding first
  // instances are gone then; the later ones fade once their start delay has passed.
  RenderMs(80);
  for (const auto& i : Group(0xFFFFFFFFu)) {
    EXPECT_GT(i.delay, 0) << i.name;
  }
  engine.SetSeriesCoopLimit(0);
  ASSERT_TRUE(engine.PlaySeries("b", 1.0f, 0, 0));
  EXPECT_EQ(Group(idB + 1).size(), 3u);
}

TEST_F(SeriesTest, BeatAlignmentPutsStartsOnTheGrid) {
  ASSERT_TRUE(Open("[g]\nWavFile=a.wav\nPitchRND=0\nAheadRND=0\nMIDISynch=4\n"));
  const Ovatix::SeriesParams& p = engine.Series().Find("g");
  // Grid base 2000 / 4 = a 500 ms period; phase 1200.
  auto g = Group(engine.StartSeries(p, 1200, 2000, 1.0f));
  ASSERT_EQ(g.size(), 3u);
  EXPECT_EQ(g[0].delay, 700);
  EXPECT_EQ(g[1].delay, 1800);  // 700 + 1100, on the grid
  EXPECT_EQ(g[2].delay, 2800);  // 2900 is 100 past a grid point
  // No grid base: no alignment, the first instance starts at once.
  g = Group(engine.StartSeries(p, 1200, 0, 1.0f));
  EXPECT_EQ(g[0].delay, 0);
  EXPECT_EQ(g[1].delay, 1100);
}

TEST_F(SeriesTest, BadPitchLeavesStoppedInstances) {
  // Pitch spread 5 draws pitches of 0 or less most of the time ("Pitch <= 0").
  ASSERT_TRUE(Open("[p]\nWavFile=a.wav\nPitchRND=5\nNumber=1\n"));
  int failures = 0;
  for (int round = 0; round < 20; ++round) {
    const uint32_t id = engine.StartSeries(engine.Series().Find("p"), 0, 0, 1.0f);
    const auto g = Group(engine.PlayIdCounter());
    ASSERT_EQ(g.size(), 1u);
    if (id == 0) {
      ++failures;
      EXPECT_EQ(g[0].state, 0);  // added but never started
      EXPECT_EQ(g[0].endAction, TWaveScene::kEndNone);
      // A stop-all keeps it (no end action yet); reopening the collection would clear it.
      engine.StopSeries();
      EXPECT_EQ(Group(engine.PlayIdCounter()).size(), 1u);
    } else {
      EXPECT_EQ(g[0].state, 1);
    }
    engine.Scene().Clear();
  }
  EXPECT_GT(failures, 0);
}

TEST_F(SeriesTest, OpeningCollections) {
  // Two series on one recording share it; Windows separators are understood.
  ASSERT_TRUE(
      Open("[x]\nWavFile=c:\\crowd\\a.wav\n[y]\nWavFile=c:\\crowd\\a.wav\n[z]\nWavFile=b.wav\n"));
  EXPECT_EQ(engine.Waves().Size(), 2u);
  std::deque<std::string> names{"old"};
  engine.EnumSeries(&names);
  EXPECT_EQ(names, (std::deque<std::string>{"x", "y", "z"}));
  ASSERT_TRUE(engine.PlaySeries("y", 1.0f, 0, 0));

  // A missing wave fails the open; those loaded before it stay loaded.
  EXPECT_FALSE(Open("[a]\nWavFile=a.wav\n[b]\nWavFile=missing.wav\n[c]\nWavFile=b.wav\n"));
  EXPECT_EQ(engine.Scene().InstanceCount(), 0u);
  EXPECT_TRUE(engine.Waves().Contains("a.wav"));
  EXPECT_FALSE(engine.Waves().Contains("b.wav"));

  EXPECT_FALSE(engine.OpenCollection((dir / "none.ini").c_str(), ""));
  engine.EnumSeries(&names);
  EXPECT_TRUE(names.empty());

  // Without a folder the value is the path itself.
  WriteFile(dir / "abs.ini", "[a]\nWavFile=" + (dir / "a.wav") + "\n");
  EXPECT_TRUE(engine.OpenCollection((dir / "abs.ini").c_str(), ""));
  EXPECT_TRUE(engine.CloseCollection());
  EXPECT_EQ(engine.Waves().Size(), 0u);
}

TEST_F(SeriesTest, SceneVolumeFromExportArguments) {
  const float one[] = {0.25f};
  EXPECT_TRUE(engine.SetSceneVolume(one, 1, 0));
  float out[2] = {};
  EXPECT_EQ(engine.GetSceneVolume(out), 2);
  EXPECT_EQ(out[0], 0.25f);
  EXPECT_EQ(out[1], 0.25f);
  EXPECT_FALSE(engine.SetSceneVolume(one, 0, 0));
  const float two[] = {0.5f, 1.0f, 9.0f};
  EXPECT_TRUE(engine.SetSceneVolume(two, 3, 10));  // ramps over 10 frames
  RenderMs(5);
  EXPECT_EQ(engine.GetSceneVolume(out), 2);
  EXPECT_NEAR(out[0], 0.375f, 1e-6);
  EXPECT_NEAR(out[1], 0.625f, 1e-6);
  engine.MuteScene(true);
  EXPECT_TRUE(engine.GetSceneMutedState());

  Engine fresh;
  EXPECT_EQ(fresh.GetSceneVolume(out), 0);
  EXPECT_FALSE(fresh.SetSceneVolume(one, 1, 0));
  fresh.MuteScene(true);
  EXPECT_FALSE(fresh.GetSceneMutedState());
  EXPECT_FALSE(fresh.PlayScene());
  EXPECT_EQ(fresh.IsPlaying(), 0);
}

}  // namespace
