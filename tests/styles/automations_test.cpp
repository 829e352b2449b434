// The fade, light and crowd automations: their schedules for the cases worked out by hand, and
// what they fire frame by frame through real post effects and a recording crowd.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "effects/post_fx.h"
#include "framework/xml.h"
#include "gfx/canvas.h"
#include "styles/fixture.h"
#include "styles/show.h"
#include "styles/style.h"

namespace {

using Kesh::Styles::Cue;
using Kesh::Styles::FadeAuto;
using Kesh::Styles::LightAuto;
using Kesh::Styles::OvatixAuto;
using Kesh::Styles::Style;

std::vector<std::pair<int, int>> TimesAndKinds(const std::vector<Cue>& schedule) {
  std::vector<std::pair<int, int>> result;
  result.reserve(schedule.size());
  for (const Cue& cue : schedule) {
    result.emplace_back(cue.time, cue.kind);
  }
  return result;
}

class AutomationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    links.show = &show;
    links.crowd = &crowd;
    show.effects = &effects;
    effects.SetTarget(&canvas);
  }
  // Tracks the style's automations through frames [from, to], the post effects too.
  void Run(int from, int to) {
    for (int frame = from; frame <= to; ++frame) {
      show.frame = frame;
      effects.Track(frame);
      style.fadeAuto.Track(frame);
      style.lightAuto.Track(frame);
      effects.Render(frame);
      const size_t before = crowd.played.size();
      style.crowdAuto.Track(frame);
      for (size_t i = before; i < crowd.played.size(); ++i) {
        heard.emplace_back(frame, crowd.played[i].first);
      }
    }
  }

  StylesFixture::Show show;
  StylesFixture::Crowd crowd;
  Kesh::Styles::Links links;
  Style style{0, &links};
  Kesh::Game::PostFX effects{&show};
  Vell::Gfx::Canvas canvas{8, 8};
  std::vector<std::pair<int, std::string>> heard;
};

TEST_F(AutomationTest, FadeDefaultsWithASixtySecondSong) {
  FadeAuto& fade = style.fadeAuto;
  ASSERT_TRUE(fade.Prepare());
  const std::vector<std::pair<int, int>> expected = {
      {0, 2},   {100, 0},  {100, 1},  {116, 1},  {132, 1},  {148, 1},  {164, 1}, {180, 1},
      {196, 0}, {1500, 2}, {1516, 2}, {1532, 2}, {1548, 2}, {1564, 2}, {1580, 2}};
  EXPECT_EQ(TimesAndKinds(fade.Schedule()), expected);
  EXPECT_EQ(fade.Schedule()[0].n, 6);
  EXPECT_EQ(fade.Schedule()[9].n, 1);
  EXPECT_EQ(fade.attackEnd, 196);

  // Fade depth 40: six steps dark at once, lighter one step every 16 frames from 100.
  Run(0, 0);
  ASSERT_NE(effects.GetFade(), nullptr);
  EXPECT_EQ(effects.FadeLevel(), 240);
  EXPECT_FLOAT_EQ(effects.GetFade()->level, 240.0f);  // immediate
  Run(1, 115);
  EXPECT_EQ(effects.FadeLevel(), 200);
  Run(116, 180);
  EXPECT_EQ(effects.FadeLevel(), 0);
  Run(181, 1499);
  EXPECT_EQ(effects.GetFade(), nullptr);  // lightened to 0 and removed
  Run(1500, 1500);
  EXPECT_EQ(effects.FadeLevel(), 40);
  EXPECT_FLOAT_EQ(effects.GetFade()->level, 0.0f);  // not immediate: it fades at its rate
  Run(1501, 1600);
  EXPECT_EQ(effects.FadeLevel(), 240);
}

TEST_F(AutomationTest, FadeStartingAtFrame500SkipsTheOpening) {
  ASSERT_TRUE(style.fadeAuto.Prepare());
  Run(500, 1499);
  EXPECT_EQ(effects.GetFade(), nullptr);
  Run(1500, 1500);
  EXPECT_EQ(effects.FadeLevel(), 40);
  // Reset makes every step fire again.
  style.fadeAuto.Reset();
  effects.Reset();
  Run(0, 0);
  EXPECT_EQ(effects.FadeLevel(), 240);
}

TEST_F(AutomationTest, FadeStepsDueTogetherFireOnConsecutiveFrames) {
  style.fadeAuto.release = 3;  // six darker steps, all at the song's end
  ASSERT_TRUE(style.fadeAuto.Prepare());
  Run(0, 1499);
  for (int i = 1; i <= 6; ++i) {
    Run(1499 + i, 1499 + i);
    EXPECT_EQ(effects.FadeLevel(), 40 * i) << i;
  }
}

TEST_F(AutomationTest, FadeWithoutStepsOrWithAnOpeningAtFrame0) {
  for (int out : {0, -3}) {
    style.fadeAuto.out = out;
    ASSERT_TRUE(style.fadeAuto.Prepare());
    EXPECT_TRUE(style.fadeAuto.Schedule().empty()) << out;
  }
  Run(0, 2000);
  EXPECT_EQ(effects.GetFade(), nullptr);

  // Lifting from frame 0 with steps of 0 frames: the opening still darkens and lifts.
  style.fadeAuto.out = 6;
  style.fadeAuto.delay = 0;
  style.fadeAuto.attack = 5;
  ASSERT_TRUE(style.fadeAuto.Prepare());
  EXPECT_EQ(style.fadeAuto.attackEnd, 0);
  Run(0, 0);
  EXPECT_EQ(effects.FadeLevel(), 240);
  Run(1, 6);
  for (const Cue& cue : style.fadeAuto.Schedule()) {
    EXPECT_EQ(cue.done, cue.kind != FadeAuto::kMarker && cue.time == 0) << cue.time;
  }
  EXPECT_EQ(effects.GetFade(), nullptr);  // lightened before it had darkened: gone
  // Steps beyond 255 levels are not scheduled.
  style.fadeAuto.out = 100000;
  ASSERT_TRUE(style.fadeAuto.Prepare());
  EXPECT_EQ(style.fadeAuto.Schedule().size(), 2u * FadeAuto::kMaxSteps + 3);
}

TEST_F(AutomationTest, FadesWaitWhileSwitchedOff) {
  ASSERT_TRUE(style.fadeAuto.Prepare());
  Run(0, 0);
  show.autoFades = false;
  Run(1, 150);
  EXPECT_EQ(effects.FadeLevel(), 240);
  show.autoFades = true;
  Run(151, 151);  // one overdue step per frame
  EXPECT_EQ(effects.FadeLevel(), 200);
}

// Performers: 0 plays {100}; 1 has nothing; 2 plays only its second set {200}; 3 has a first
// playing set without keys (so no ordinal); 4 plays at {1050, 1350} (70 % and 90 % of the song).
class LightAutoTest : public AutomationTest {
 protected:
  void SetUp() override {
    AutomationTest::SetUp();
    show.AddSet(0, Kesh::Styles::kPlayFirst, {100});
    show.AddSet(1, Kesh::Styles::kRest, {});
    show.AddSet(2, Kesh::Styles::kPlaySecond, {200});
    show.AddSet(3, Kesh::Styles::kPlayFirst, {});
    show.AddSet(3, Kesh::Styles::kPlaySecond, {300});
    show.AddSet(4, Kesh::Styles::kPlayFirst, {1050, 1350});
    ASSERT_TRUE(style.lightAuto.Prepare());
  }
  bool Active(int stage) const { return style.stageLights[stage].active; }
  bool SearchActive(int light) const { return style.searchLights[light].active; }
};

TEST_F(LightAutoTest, ScheduleByOrdinalAndStrobeRange) {
  const std::vector<std::pair<int, int>> expected = {
      {100, LightAuto::kStageLeft},    {100, LightAuto::kSearchRight},
      {200, LightAuto::kStageRight},   {200, LightAuto::kSearchCenter},
      {1050, LightAuto::kStageCenter}, {1050, LightAuto::kStrobe},
      {1350, LightAuto::kStageCenter}};
  EXPECT_EQ(TimesAndKinds(style.lightAuto.Schedule()), expected);

  Run(0, 99);
  EXPECT_FALSE(Active(0));
  Run(100, 100);
  EXPECT_TRUE(Active(0));
  EXPECT_TRUE(Active(3));
  EXPECT_FALSE(Active(1));
  EXPECT_TRUE(SearchActive(2));
  EXPECT_FALSE(SearchActive(0));
  Run(101, 200);
  EXPECT_TRUE(Active(2));
  EXPECT_TRUE(Active(5));
  EXPECT_TRUE(SearchActive(1));
  Run(201, 1049);
  EXPECT_EQ(effects.GetStrobe(), nullptr);
  Run(1050, 1050);
  EXPECT_NE(effects.GetStrobe(), nullptr);
  EXPECT_TRUE(Active(1));
  EXPECT_TRUE(Active(4));

  // Other lines: every ordinal strobes inside the range only.
  style.lightAuto.strobeLines = {1, 2, 3};
  style.lightAuto.rangeLow = 0.0f;
  style.lightAuto.rangeHigh = 0.1f;  // frames 0 ... 150
  ASSERT_TRUE(style.lightAuto.Prepare());
  int strobes = 0;
  for (const Cue& cue : style.lightAuto.Schedule()) {
    strobes += cue.kind == LightAuto::kStrobe ? 1 : 0;
  }
  EXPECT_EQ(strobes, 1);  // performer 0 at frame 100
}

// Each bottom light follows its own lines, apart from the top light of its side; a side whose
// file gives only one of the two lists lights both by it.
TEST_F(LightAutoTest, BottomAndTopLightsReadTheirOwnLines) {
  Vell::Data::Xml::Document document;
  ASSERT_TRUE(document.LoadString(R"(<stagelights>
      <bottom-left><a lines="2"/></bottom-left><top-left><a lines="1"/></top-left>
      <top-right><a lines="1"/></top-right>
    </stagelights>)"));
  auto root = document.GetRoot();
  ASSERT_TRUE(style.lightAuto.LoadXml(root.get()));
  EXPECT_EQ(style.lightAuto.stageLeftLines, (std::vector<int>{2}));
  EXPECT_EQ(style.lightAuto.stageTopLeftLines, (std::vector<int>{1}));
  EXPECT_EQ(style.lightAuto.stageRightLines, (std::vector<int>{1}));
  EXPECT_EQ(style.lightAuto.stageTopRightLines, (std::vector<int>{1}));
  EXPECT_EQ(style.lightAuto.stageCenterLines, (std::vector<int>{3}));  // defaults, together
  EXPECT_EQ(style.lightAuto.stageTopCenterLines, (std::vector<int>{3}));
  ASSERT_TRUE(style.lightAuto.Prepare());
  Run(0, 100);  // ordinal 1: the top-left light alone, and the right pair
  EXPECT_FALSE(Active(0));
  EXPECT_TRUE(Active(3));
  EXPECT_TRUE(Active(2));
  EXPECT_TRUE(Active(5));
  Run(101, 200);  // ordinal 2: the bottom-left light
  EXPECT_TRUE(Active(0));
}

// "recur" fills the song's stretches without a light cue: stage lights centre, left, right in
// turn, recur frames apart from the entrance or the last cue, none within recur / 2 of the next.
TEST_F(LightAutoTest, LightsRecurThroughLongStretchesWithoutCues) {
  Vell::Data::Xml::Document document;
  ASSERT_TRUE(document.LoadString(R"(<stagelights recur="300"/>)"));
  auto root = document.GetRoot();
  ASSERT_TRUE(style.lightAuto.LoadXml(root.get()));
  EXPECT_EQ(style.lightAuto.recur, 300);
  links.firstEntrance = 40;
  ASSERT_TRUE(style.lightAuto.Prepare());
  // Cues at 100, 200, 1050, 1350; the song ends at 1500: 500 and 800 fill 200 ... 1050.
  const std::vector<std::pair<int, int>> expected = {
      {100, LightAuto::kStageLeft},    {100, LightAuto::kSearchRight},
      {200, LightAuto::kStageRight},   {200, LightAuto::kSearchCenter},
      {500, LightAuto::kStageCenter},  {800, LightAuto::kStageLeft},
      {1050, LightAuto::kStageCenter}, {1050, LightAuto::kStrobe},
      {1350, LightAuto::kStageCenter}};
  EXPECT_EQ(TimesAndKinds(style.lightAuto.Schedule()), expected);
  Run(0, 499);
  EXPECT_FALSE(Active(1));
  Run(500, 500);
  EXPECT_TRUE(Active(1));
  EXPECT_TRUE(Active(4));

  // A ten-minute song: the cues go on to its end, never more than 1.5 × recur apart.
  show.songMs = 600000;
  ASSERT_TRUE(style.lightAuto.Prepare());
  int last = 40;
  int recurring = 0;
  for (const Cue& cue : style.lightAuto.Schedule()) {
    EXPECT_LE(cue.time - last, 450) << cue.time;
    last = cue.time;
    recurring += cue.time > 1350 ? 1 : 0;
  }
  EXPECT_EQ(recurring, 44);  // 1650, 1950, ... 14550
  EXPECT_GE(last, 15000 - 450);
}

TEST_F(LightAutoTest, AMissedFirstCueIsDroppedNotFiredLate) {
  Run(150, 150);
  EXPECT_FALSE(Active(0));
  EXPECT_FALSE(SearchActive(2));
  Run(151, 200);
  EXPECT_TRUE(Active(2));
}

TEST_F(LightAutoTest, SwitchedOffCuesWaitForTheSwitch) {
  Run(0, 100);
  EXPECT_TRUE(Active(0));
  show.autoLights = false;
  Run(101, 250);
  EXPECT_FALSE(Active(2));
  show.autoLights = true;
  Run(251, 251);  // the cue of frame 200 fires late: the first cue was not missed
  EXPECT_TRUE(Active(2));
  EXPECT_TRUE(SearchActive(1));

  // Switched off before the first cue: the first cue passes and is dropped with the rest.
  style.lightAuto.Reset();
  style.Reset();
  show.autoLights = false;
  Run(0, 250);
  show.autoLights = true;
  Run(251, 251);
  EXPECT_FALSE(Active(0));
  EXPECT_FALSE(Active(2));
}

TEST_F(AutomationTest, CrowdMurmurSpeechAndTheEnd) {
  show.AddSet(0, Kesh::Styles::kArriveFromLeft, {300});
  links.firstEntrance = 300;
  style.crowdAuto.noiseVolume = 0.5f;
  ASSERT_TRUE(style.crowdAuto.Prepare());
  const std::vector<std::pair<int, int>> expected = {
      {5, OvatixAuto::kSpeech},   {50, OvatixAuto::kNoise},    {100, OvatixAuto::kNoise},
      {150, OvatixAuto::kNoise},  {200, OvatixAuto::kNoise},   {250, OvatixAuto::kNoise},
      {1500, OvatixAuto::kNoise}, {1505, OvatixAuto::kSpeech}, {1525, OvatixAuto::kApplause},
      {1530, OvatixAuto::kBravo}, {1550, OvatixAuto::kNoise}};
  EXPECT_EQ(TimesAndKinds(style.crowdAuto.Schedule()), expected);

  Run(0, 1700);
  const std::vector<std::pair<int, std::string>> sounds = {
      {5, "speech"},      {50, "noise"},   {100, "noise"},  {150, "noise"},
      {200, "noise"},     {250, "noise"},  {1500, "noise"}, {1505, "speech"},
      {1525, "applause"}, {1530, "bravo"}, {1550, "noise"}};
  EXPECT_EQ(heard, sounds);
  EXPECT_FLOAT_EQ(crowd.played[1].second, 0.5f);
  EXPECT_FLOAT_EQ(crowd.played[0].second, 1.0f);
}

TEST_F(AutomationTest, CrowdStartingPastTheEntranceDropsTheBacklog) {
  links.firstEntrance = 300;
  ASSERT_TRUE(style.crowdAuto.Prepare());
  Run(500, 1500);
  const std::vector<std::pair<int, std::string>> sounds = {{1500, "noise"}};
  EXPECT_EQ(heard, sounds);
  // Without arrivals (entrance 0) the opening speech still plays.
  links.firstEntrance = 0;
  ASSERT_TRUE(style.crowdAuto.Prepare());
  heard.clear();
  Run(0, 10);
  const std::vector<std::pair<int, std::string>> opening = {{5, "speech"}};
  EXPECT_EQ(heard, opening);
  // Switched off, nothing plays.
  show.autoCrowd = false;
  style.crowdAuto.Reset();
  heard.clear();
  Run(0, 2000);
  EXPECT_TRUE(heard.empty());
}

TEST_F(AutomationTest, CrowdApplauseWhistlesAndBravos) {
  show.songMs = 400000;  // 10000 frames
  // Departures: 0 both kinds → timed by kind 5; 1 only kind 6; 2 kind 5 without keys, kind 6;
  // 3 kind 6 without keys → none.
  show.AddSet(0, Kesh::Styles::kLeaveToLeft, {800});
  show.AddSet(0, Kesh::Styles::kLeaveToRight, {900});
  show.AddSet(1, Kesh::Styles::kLeaveToRight, {1000});
  show.AddSet(2, Kesh::Styles::kLeaveToLeft, {});
  show.AddSet(2, Kesh::Styles::kLeaveToRight, {1100});
  show.AddSet(3, Kesh::Styles::kLeaveToRight, {});
  // Five resting performers (4 ... 8), ordinals 1 ... 5, resting at 2000 + 100 × ordinal.
  for (int k = 1; k <= 5; ++k) {
    show.AddSet(3 + k, Kesh::Styles::kRest, {2000 + 100 * k});
  }
  ASSERT_TRUE(style.crowdAuto.Prepare());
  std::vector<int> applause;
  std::vector<int> whistles;
  std::vector<int> bravos;
  for (const Cue& cue : style.crowdAuto.Schedule()) {
    if (cue.time >= 10000) {
      continue;  // the song's end
    }
    if (cue.kind == OvatixAuto::kApplause) {
      applause.push_back(cue.time);
    }
    if (cue.kind == OvatixAuto::kWhistle) {
      whistles.push_back(cue.time);
    }
    if (cue.kind == OvatixAuto::kBravo) {
      bravos.push_back(cue.time);
    }
  }
  EXPECT_EQ(applause, (std::vector<int>{825, 1025, 1125}));
  EXPECT_EQ(whistles, (std::vector<int>{2100, 2200, 2300, 2400}));  // delay 0, ordinals 1 ... 4
  EXPECT_EQ(bravos, (std::vector<int>{2130, 2230, 2330, 2430}));    // delay 30
}

TEST_F(AutomationTest, CrowdNoiseIntervalsThatDoNotAdvance) {
  links.firstEntrance = 300;
  for (int interval : {0, -5}) {
    style.crowdAuto.noiseInterval = interval;
    ASSERT_TRUE(style.crowdAuto.Prepare());
    std::vector<int> murmurs;
    for (const Cue& cue : style.crowdAuto.Schedule()) {
      if (cue.kind == OvatixAuto::kNoise) {
        murmurs.push_back(cue.time);
      }
    }
    EXPECT_EQ(murmurs, (std::vector<int>{50, 1500})) << interval;
  }
  // Murmurs before frame 0 would all fall on the first frame: they are kept as one.
  style.crowdAuto.noiseInterval = 50;
  style.crowdAuto.noiseDelay = -120;
  ASSERT_TRUE(style.crowdAuto.Prepare());
  std::vector<int> murmurs;
  for (const Cue& cue : style.crowdAuto.Schedule()) {
    if (cue.kind == OvatixAuto::kNoise && cue.time < 300) {
      murmurs.push_back(cue.time);
    }
  }
  EXPECT_EQ(murmurs, (std::vector<int>{-120, 30, 80, 130, 180, 230, 280}));
}

}  // namespace

// At 50 frames a second the style's counts (delay 100, attack and release 100, the crowd's
// delays and murmur interval) keep their seconds: twice the frames, the song's end at 3000.
TEST_F(AutomationTest, CountsInFramesKeepTheirSecondsAtAnotherFrameRate) {
  show.rate = 50;
  ASSERT_TRUE(style.fadeAuto.Prepare());
  const std::vector<std::pair<int, int>> fades = {
      {0, 2},   {200, 0},  {200, 1},  {233, 1},  {266, 1},  {299, 1},  {332, 1}, {365, 1},
      {398, 0}, {3000, 2}, {3033, 2}, {3066, 2}, {3099, 2}, {3132, 2}, {3165, 2}};
  EXPECT_EQ(TimesAndKinds(style.fadeAuto.Schedule()), fades);

  show.AddSet(0, Kesh::Styles::kArriveFromLeft, {600});
  links.firstEntrance = 600;
  ASSERT_TRUE(style.crowdAuto.Prepare());
  const std::vector<std::pair<int, int>> crowdCues = {
      {10, OvatixAuto::kSpeech},  {100, OvatixAuto::kNoise},   {200, OvatixAuto::kNoise},
      {300, OvatixAuto::kNoise},  {400, OvatixAuto::kNoise},   {500, OvatixAuto::kNoise},
      {3000, OvatixAuto::kNoise}, {3010, OvatixAuto::kSpeech}, {3050, OvatixAuto::kApplause},
      {3060, OvatixAuto::kBravo}, {3100, OvatixAuto::kNoise}};
  EXPECT_EQ(TimesAndKinds(style.crowdAuto.Schedule()), crowdCues);
}
