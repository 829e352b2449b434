#include <gtest/gtest.h>

#include "animation/animation_track.h"
#include "artists/artist.h"
#include "artists/layout.h"
#include "artists/manager.h"
#include "artists/settings.h"
#include "fixture.h"
#include "platform/platform.h"
#include "tracks.h"

namespace {

using Fixture::MakeBars;
using Fixture::MakeTrack;
using Fixture::RangeDef;
using Kesh::Artists::Artist;
using Kesh::Artists::Layout;
using Kesh::Artists::Manager;
using Kesh::Data::Tracks::Animation;
using Kesh::Data::Tracks::AnimationInvalidParamException;
using Kesh::Data::Tracks::AnimationNotFoundException;
using Kesh::Data::Tracks::BeatFactor;
using Kesh::Data::Tracks::PatchNotFoundException;
namespace Sets = Kesh::Artists::Animation;
using Steps = std::vector<std::pair<int, float>>;
using Entries = std::vector<std::pair<uint64_t, int>>;

// ---- beat factor ----

TEST(BeatFactor, Examples) {
  EXPECT_EQ(BeatFactor(4, 4, 120), 1.0f);
  EXPECT_EQ(BeatFactor(6, 8, 60), 1.0f);
  EXPECT_EQ(BeatFactor(3, 4, 320), -1.0f);
  EXPECT_EQ(BeatFactor(5, 4, 90), 1.0f);
  EXPECT_EQ(BeatFactor(11, 8, 120), -1.0f);
}

TEST(BeatFactor, WholeTable) {
  struct Row {
    int n;
    int d;
    std::vector<int> upper;  // upper bpm of each range, from 25
    float first;
  };
  const std::vector<Row> rows = {
      {9, 2, {75, 150, 300}, 0.125f},      {9, 4, {75, 150, 300}, 0.25f},
      {9, 8, {75, 150, 300}, 0.5f},        {18, 8, {75, 150, 300}, 0.25f},
      {7, 2, {58, 116, 233, 300}, 0.125f}, {7, 4, {58, 116, 233, 300}, 0.25f},
      {7, 8, {58, 116, 233, 300}, 0.5f},   {14, 16, {58, 116, 233, 300}, 0.5f},
      {5, 2, {42, 83, 166, 300}, 0.125f},  {5, 4, {42, 83, 166, 300}, 0.25f},
      {5, 8, {42, 83, 166, 300}, 0.5f},    {15, 12, {42, 83, 166, 300}, 0.25f},
      {2, 1, {67, 133, 266, 300}, 0.25f},  {4, 4, {67, 133, 266, 300}, 0.5f},
      {2, 2, {67, 133, 266, 300}, 0.5f},   {4, 8, {67, 133, 266, 300}, 1.0f},
      {8, 16, {67, 133, 266, 300}, 1.0f},  {3, 2, {50, 100, 200, 300}, 0.25f},
      {6, 4, {50, 100, 200, 300}, 0.25f},  {3, 4, {50, 100, 200, 300}, 0.5f},
      {12, 16, {50, 100, 200, 300}, 0.5f}, {3, 8, {50, 100, 200, 300}, 1.0f},
      {6, 16, {50, 100, 200, 300}, 1.0f},
  };
  for (const Row& row : rows) {
    int low = 25;
    float factor = row.first;
    for (int upper : row.upper) {
      EXPECT_EQ(BeatFactor(row.n, row.d, low), factor) << row.n << "/" << row.d << " @" << low;
      EXPECT_EQ(BeatFactor(row.n, row.d, upper), factor) << row.n << "/" << row.d << " @" << upper;
      low = upper + 1;
      factor *= 2;
    }
    EXPECT_EQ(BeatFactor(row.n, row.d, 24), -1.0f) << row.n << "/" << row.d;
    EXPECT_EQ(BeatFactor(row.n, row.d, 301), -1.0f) << row.n << "/" << row.d;
  }
  // Ratios outside the table, odd numerators of no class, degenerate meters.
  EXPECT_EQ(BeatFactor(4, 16, 120), -1.0f);  // 0.25 is no row of the even class
  EXPECT_EQ(BeatFactor(9, 16, 120), -1.0f);
  EXPECT_EQ(BeatFactor(3, 16, 120), -1.0f);
  EXPECT_EQ(BeatFactor(1, 4, 120), -1.0f);
  EXPECT_EQ(BeatFactor(13, 8, 120), -1.0f);
  EXPECT_EQ(BeatFactor(0, 4, 120), -1.0f);
  EXPECT_EQ(BeatFactor(4, 0, 120), -1.0f);
  EXPECT_EQ(BeatFactor(-4, 4, 120), -1.0f);
  // Multiples of 9 are tested before multiples of 3: 9/8 is the 1.125 row, not 1.125 of "3".
  EXPECT_EQ(BeatFactor(9, 8, 100), 1.0f);
}

// ---- building ----

class AnimationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Fixture::WriteBand(program);
    Manager::Destroy();
    Sets::Manager::Destroy();
    Layout::Instance()->Clear();
    Kesh::Data::Tracks::SeedDepartures(7);
  }
  void TearDown() override {
    animations.clear();
    Manager::Destroy();
    Sets::Manager::Destroy();
    Layout::Instance()->Clear();
  }

  Animation* Make(const Kesh::Data::Tracks::Event* track, const Kesh::Data::Tracks::Event* bars,
                  int frameRate = 1000) {
    animations.push_back(std::make_unique<Animation>(track, bars, frameRate));
    return animations.back().get();
  }
  static Steps StepKeys(const Artist* artist, int kind) {
    Steps out;
    for (const auto& [time, key] : artist->GetSet(kind)->GetSprite()->stepTrack.Keys()) {
      out.push_back({time, key.value});
    }
    return out;
  }
  static std::vector<std::pair<int, Vell::Math::Vector3>> PositionKeys(const Artist* artist,
                                                                       int kind) {
    std::vector<std::pair<int, Vell::Math::Vector3>> out;
    for (const auto& [time, key] : artist->GetSet(kind)->GetSprite()->positionTrack.Keys()) {
      out.push_back({time, key.value});
    }
    return out;
  }
  static Entries Timeline(const Animation& animation) {
    Entries out;
    for (const auto& [time, set] : animation.GetTimeline()) {
      out.push_back({time, set->GetKind()});
    }
    return out;
  }

  Fixture::Program program;
  Vell::Platform::ScopedDirectory root{program.Root()};
  std::vector<std::unique_ptr<Animation>> animations;
};

struct MeterCase {
  float n;
  float d;
  float tempo;
  uint32_t duration;
  Steps play;
  Steps rest;
};

// Bars: silent, three active, one quiet (a rest), one active; then the artist leaves.
TEST_F(AnimationTest, BuildKeysForFourMeters) {
  const std::vector<MeterCase> cases = {
      // 4/4 at 120: factor 1, one sweep per bar.
      {4,
       4,
       120,
       2000,
       {{2000, 0},
        {3000, 1},
        {4000, 0},
        {5000, 1},
        {6000, 0},
        {7000, 1},
        {8000, 0},
        {10000, 0},
        {11000, 1},
        {12000, 0}},
       {{8000, 0}, {9000, 0.75f}, {10000, 0}}},
      // 3/4 at 120: factor 2, one sweep over two bars; the odd bar and the last run go half way.
      {3,
       4,
       120,
       1500,
       {{1500, 0},
        {3000, 1},
        {4500, 0},
        {5250, 0.5f},
        {6000, 0},
        {7500, 0},
        {8250, 0.5f},
        {9000, 0}},
       {{6000, 0}, {6750, 0.75f}, {7500, 0}}},
      // 6/8 at 60 (quarters): factor 1.
      {6,
       8,
       60,
       3000,
       {{3000, 0},
        {4500, 1},
        {6000, 0},
        {7500, 1},
        {9000, 0},
        {10500, 1},
        {12000, 0},
        {15000, 0},
        {16500, 1},
        {18000, 0}},
       {{12000, 0}, {13500, 0.75f}, {15000, 0}}},
      // 5/4 at 60: factor 0.5, two sweeps per bar at quarter bars.
      {5,
       4,
       60,
       5000,
       {{5000, 0},
        {6250, 1},
        {7500, 0.5f},
        {8750, 1},
        {10000, 0},
        {11250, 1},
        {12500, 0.5f},
        {13750, 1},
        {15000, 0},
        {16250, 1},
        {17500, 0.5f},
        {18750, 1},
        {20000, 0},
        {25000, 0},
        {26250, 1},
        {27500, 0.5f},
        {28750, 1},
        {30000, 0}},
       {{20000, 0}, {21250, 1}, {22500, 0.75f}, {25000, 0}}},
  };
  RangeDef on{8, 60, 72, 0.8f};
  RangeDef quiet{2, 60, 62, 0.1f};
  for (const MeterCase& meter : cases) {
    SCOPED_TRACE(std::to_string(meter.n) + "/" + std::to_string(meter.d));
    Manager::Instance()->Reset();
    Layout::Instance()->Clear();
    auto bars = MakeBars(6, meter.n, meter.d, meter.tempo, meter.duration);
    auto piano = MakeTrack(0, *bars, {{0, 0, 0, 0}, on, on, on, quiet, on});
    Animation* animation = Make(piano.get(), bars.get());
    uint64_t lateness = 99;
    ASSERT_TRUE(animation->Prepare(lateness));
    EXPECT_EQ(lateness, 0u);
    ASSERT_TRUE(animation->Build(0));
    const Artist* pianist = animation->GetArtist();
    EXPECT_EQ(StepKeys(pianist, Sets::kCSA), meter.play);
    EXPECT_EQ(StepKeys(pianist, Sets::kCFA), meter.rest);
    // The pianist stands in column 1 of the front row: x 301.8; it walks in from the left:
    // 333.8 pixels at 8 per frame = 41 ms, then arrives in 5 frames (5 ms at 1000 frames/s).
    const uint64_t d = meter.duration;
    const uint64_t walkEnd = d - 5;
    const uint64_t walkStart = walkEnd - 41;
    Entries timeline = Timeline(*animation);
    ASSERT_EQ(timeline.size(), 7u);
    EXPECT_EQ(timeline[0], (std::pair<uint64_t, int>{0, Sets::kSLR}));
    EXPECT_EQ(timeline[1], (std::pair<uint64_t, int>{walkEnd, Sets::kLTA}));
    EXPECT_EQ(timeline[2], (std::pair<uint64_t, int>{d, Sets::kCSA}));
    EXPECT_EQ(timeline[3], (std::pair<uint64_t, int>{4 * d, Sets::kCFA}));
    EXPECT_EQ(timeline[4], (std::pair<uint64_t, int>{5 * d, Sets::kCSA}));
    // Exit after the last bar: a departure of 5 frames, then the walk off.
    EXPECT_EQ(timeline[5].first, 6 * d);
    EXPECT_TRUE(timeline[5].second == Sets::kATL || timeline[5].second == Sets::kATR);
    const bool left = timeline[5].second == Sets::kATL;
    EXPECT_EQ(timeline[6], (std::pair<uint64_t, int>{6 * d + 5, left ? Sets::kSRL : Sets::kSLR}));
    // Entry keys: off stage left to x - 32, then the arrival to the artist's place.
    auto walk = PositionKeys(pianist, Sets::kSLR);
    ASSERT_GE(walk.size(), 2u);
    EXPECT_EQ(walk[0].first, static_cast<int>(walkStart));
    EXPECT_FLOAT_EQ(walk[0].second.x, -64.0f);
    EXPECT_FLOAT_EQ(walk[0].second.y, 280.0f);
    EXPECT_EQ(walk[1].first, static_cast<int>(walkEnd));
    EXPECT_FLOAT_EQ(walk[1].second.x, pianist->x - 32);
    auto arrival = PositionKeys(pianist, Sets::kLTA);
    ASSERT_EQ(arrival.size(), 2u);
    EXPECT_EQ(arrival[0].first, static_cast<int>(walkEnd));
    EXPECT_EQ(arrival[1].first, static_cast<int>(d));
    EXPECT_FLOAT_EQ(arrival[1].second.x, pianist->x);
    // Exit keys: departure at the place, then the walk to the chosen side.
    auto departure = PositionKeys(pianist, left ? Sets::kATL : Sets::kATR);
    ASSERT_EQ(departure.size(), 1u);
    EXPECT_EQ(departure[0].first, static_cast<int>(6 * d));
    auto off = PositionKeys(pianist, left ? Sets::kSRL : Sets::kSLR);
    ASSERT_GE(off.size(), 2u);
    const int offMs = left ? 45 : 72;  // 365.8 or 577.2 pixels at 8 per frame
    EXPECT_EQ(off[off.size() - 2].first, static_cast<int>(6 * d + 5));
    EXPECT_FLOAT_EQ(off[off.size() - 2].second.x, pianist->x);
    EXPECT_EQ(off.back().first, static_cast<int>(6 * d + 5) + offMs);
    EXPECT_FLOAT_EQ(off.back().second.x, left ? -64.0f : 879.0f);
    animations.clear();
  }
}

TEST_F(AnimationTest, LongRunsAlternateThePairThroughTheJoins) {
  auto bars = MakeBars(8, 4, 4, 120, 2000);
  RangeDef on{8, 60, 72, 0.8f};
  auto piano = MakeTrack(0, *bars, {{0, 0, 0, 0}, on, on, on, on, on, on, {0, 0, 0, 0}});
  Animation* animation = Make(piano.get(), bars.get());
  uint64_t lateness = 0;
  ASSERT_TRUE(animation->Prepare(lateness));
  ASSERT_TRUE(animation->Build(0));
  Entries timeline = Timeline(*animation);
  const Entries body(timeline.begin() + 2, timeline.end() - 2);
  EXPECT_EQ(body, (Entries{{2000, Sets::kCSA},
                           {6000, Sets::kJAB},
                           {7000, Sets::kCSB},
                           {11000, Sets::kJBA},
                           {12000, Sets::kCSA},
                           {14000, Sets::kCFA}}));
  const Artist* pianist = animation->GetArtist();
  EXPECT_EQ(StepKeys(pianist, Sets::kJAB), (Steps{{6000, 0}, {7000, 1}}));
  EXPECT_EQ(StepKeys(pianist, Sets::kJBA), (Steps{{11000, 1}, {12000, 0}}));
  EXPECT_EQ(StepKeys(pianist, Sets::kCSB),
            (Steps{{7000, 0}, {8000, 1}, {9000, 0}, {10000, 1}, {11000, 0}}));
  EXPECT_EQ(StepKeys(pianist, Sets::kCSA), (Steps{{2000, 0},
                                                  {3000, 1},
                                                  {4000, 0},
                                                  {5000, 1},
                                                  {6000, 0},
                                                  {12000, 0},
                                                  {13000, 1},
                                                  {14000, 0}}));
  // A rest of one bar with factor 1 at the end; every set in play got a position key at the
  // artist's place when it started.
  for (int kind : {Sets::kCSA, Sets::kJAB, Sets::kCSB, Sets::kJBA, Sets::kCFA}) {
    auto keys = PositionKeys(pianist, kind);
    ASSERT_FALSE(keys.empty()) << kind;
    EXPECT_FLOAT_EQ(keys.front().second.x, pianist->x);
    EXPECT_FLOAT_EQ(keys.front().second.y, pianist->y);
  }
}

TEST_F(AnimationTest, MelodicBarsBelowTheStaccatoPlayTheSecondPair) {
  auto bars = MakeBars(6, 4, 4, 120, 2000);
  RangeDef legato{8, 60, 72, 0.8f};
  RangeDef staccato{8, 60, 72, 0.3f};
  RangeDef edge{4, 60, 72, 0.8f};  // at the threshold: goes on as before
  auto piano = MakeTrack(0, *bars, {legato, staccato, staccato, edge, {2, 60, 61, 0.1f}, edge});
  Animation* animation = Make(piano.get(), bars.get());
  uint64_t lateness = 0;
  ASSERT_TRUE(animation->Prepare(lateness));
  EXPECT_EQ(lateness, 46u);  // the first bar is active: the walk and arrival overrun it
  ASSERT_TRUE(animation->Build(46));
  Entries timeline = Timeline(*animation);
  const Entries body(timeline.begin() + 2, timeline.end() - 2);
  EXPECT_EQ(
      body,
      (Entries{{46, Sets::kCSA}, {2046, Sets::kCRA}, {6046, Sets::kCSA}, {8046, Sets::kCFA}}));
  // The walk starts at 0 and the arrival ends on the first bar, shifted by the offset.
  auto walk = PositionKeys(animation->GetArtist(), Sets::kSLR);
  EXPECT_EQ(walk.front().first, 0);
  EXPECT_EQ(PositionKeys(animation->GetArtist(), Sets::kLTA).back().first, 46);
}

TEST_F(AnimationTest, BarQualifiesByCoverageForMelodicArtistsAndByTheLeadForDrumGroups) {
  auto bars = MakeBars(2, 4, 4, 120, 2000);
  auto piano = MakeTrack(0, *bars, {{8}});
  auto kick = MakeTrack(200, *bars, {{8}}, 9);
  Animation* melodic = Make(piano.get(), bars.get());
  Animation* drums = Make(kick.get(), bars.get());
  Kesh::Data::Events::BarRange range(*bars->GetEvents().begin().operator*());
  range.SetParam(Kesh::Data::Events::BarRange::kNoteCount, 3);
  range.SetParam(Kesh::Data::Events::BarRange::kCoverage, 0.5f);
  range.SetParam(Kesh::Data::Events::BarRange::kWeight, 1.0f);
  EXPECT_FALSE(melodic->BarQualifies(range));  // not above 0.5
  EXPECT_TRUE(drums->BarQualifies(range));
  // A drum group that leads the bar (it reports hits) qualifies whatever its weight.
  range.SetParam(Kesh::Data::Events::BarRange::kCoverage, 0.51f);
  range.SetParam(Kesh::Data::Events::BarRange::kWeight, 0.4f);
  EXPECT_TRUE(melodic->BarQualifies(range));
  EXPECT_TRUE(drums->BarQualifies(range));
  range.SetParam(Kesh::Data::Events::BarRange::kNoteCount, 0);
  EXPECT_FALSE(drums->BarQualifies(range));
}

TEST_F(AnimationTest, DrumGroupsPlayTheirOwnSetAndShareOneDrummer) {
  auto bars = MakeBars(6, 4, 4, 120, 2000);
  // As the analysis reports them: every group's range counts all the bar's hits (coverage: the
  // time positions); only the group that leads the bar reports its own hits.
  RangeDef hit{8, 36, 36, 8, 1.5f};
  RangeDef led{0, 0, 0, 8, 0.5f};  // another group leads the bar
  RangeDef none{0, 0, 0, 0, 0};
  auto kick = MakeTrack(200, *bars, {led, hit, hit, led, hit, led}, 9);
  auto snare = MakeTrack(201, *bars, {hit, led, led, led, led, hit}, 9);
  Animation* kicks = Make(kick.get(), bars.get());
  Animation* snares = Make(snare.get(), bars.get());
  ASSERT_EQ(kicks->GetArtist(), snares->GetArtist());
  const Artist* drummer = kicks->GetArtist();
  uint64_t lateness = 0;
  ASSERT_TRUE(kicks->Prepare(lateness));
  ASSERT_TRUE(snares->Prepare(lateness));
  EXPECT_GT(lateness, 0u);  // the snare plays in the first bar
  const uint64_t offset = 1000;
  ASSERT_TRUE(kicks->Build(offset));
  ASSERT_TRUE(snares->Build(offset));
  // The kick group: its set is CSA over each run; a bar without weight rests.
  EXPECT_EQ(StepKeys(drummer, Sets::kCSA), (Steps{{3000, 0},
                                                  {4000, 1},
                                                  {5000, 0},
                                                  {6000, 1},
                                                  {7000, 0},
                                                  {9000, 0},
                                                  {10000, 1},
                                                  {11000, 0}}));
  EXPECT_EQ(StepKeys(drummer, Sets::kCSB),
            (Steps{{1000, 0}, {2000, 1}, {3000, 0}, {11000, 0}, {12000, 1}, {13000, 0}}));
  // The snare's walk (to bar 0 at 1000 ms: 32 ms of walk and 5 of arrival) is earlier than the
  // kick's, keyed first: it replaced the kick's walk keys.
  auto walkKeys = PositionKeys(drummer, Sets::kSLR);
  ASSERT_GE(walkKeys.size(), 2u);
  EXPECT_EQ(walkKeys[0].first, 963);
  EXPECT_EQ(walkKeys[1].first, 995);
  EXPECT_EQ(PositionKeys(drummer, Sets::kLTA),
            (std::vector<std::pair<int, Vell::Math::Vector3>>{
                {995, {drummer->x - 32, drummer->y, 0}}, {1000, {drummer->x, drummer->y, 0}}}));
  // The arrival steps over its images once, from the walk's end, and never loops.
  const Steps arrivalSteps = StepKeys(drummer, Sets::kLTA);
  ASSERT_EQ(arrivalSteps.size(), 2u);
  EXPECT_EQ(arrivalSteps[0], (std::pair<int, float>{995, 0}));
  EXPECT_EQ(arrivalSteps[1].second, 1.0f);
  EXPECT_GT(arrivalSteps[1].first, 995);
  // He walks behind his kit: the walking images are drawn before (deeper than) the stage pieces.
  for (int i = 0; i < drummer->sprites.Count(); ++i) {
    EXPECT_GT(drummer->GetSet(Sets::kSLR)->GetSprite()->depth,
              static_cast<const Sets::Sprite*>(drummer->sprites.GetAt(i))->depth);
  }
  std::unique_ptr<Animation> merged(Animation::MergeDrums({nullptr, kicks, snares}));
  ASSERT_NE(merged, nullptr);
  EXPECT_EQ(merged->GetArtist(), drummer);
  EXPECT_EQ(merged->GetTrack(), nullptr);
  EXPECT_EQ(merged->GetFrameRate(), 0);
  Entries timeline = Timeline(*merged);
  // Entry of the snare (the earlier walk), bodies of both, one exit.
  const uint64_t snareWalkEnd = 995;
  EXPECT_EQ(timeline[0], (std::pair<uint64_t, int>{0, Sets::kSLR}));
  EXPECT_EQ(timeline[1], (std::pair<uint64_t, int>{snareWalkEnd, Sets::kLTA}));
  const Entries body(timeline.begin() + 2, timeline.end() - 2);
  EXPECT_EQ(body, (Entries{{1000, Sets::kCSB},
                           {3000, Sets::kCSA},  // the kick's run wins over the snare's rest
                           {7000, Sets::kCFA},
                           {9000, Sets::kCSA},
                           {11000, Sets::kCSB}}));
  EXPECT_EQ(timeline[timeline.size() - 2].first, 13000u);
  EXPECT_EQ(Animation::MergeDrums({nullptr, nullptr}), nullptr);
  // A group whose walk comes later than the one keyed is skipped: its timeline starts with its
  // first run, and nothing is shown before it.
  auto hats = MakeTrack(202, *bars, {none, none, none, none, hit, none}, 9);
  Animation* hatGroup = Make(hats.get(), bars.get());
  ASSERT_TRUE(hatGroup->Prepare(lateness));
  ASSERT_TRUE(hatGroup->Build(offset));
  EXPECT_EQ(hatGroup->CurrentSet(8999), nullptr);
  EXPECT_EQ(hatGroup->CurrentSet(9000)->GetKind(), Sets::kCRA);
  EXPECT_EQ(PositionKeys(drummer, Sets::kSLR)[0].first, 963);
}

TEST_F(AnimationTest, AnArtistInTheLastColumnWalksInFromTheRight) {
  auto bars = MakeBars(3, 4, 4, 120, 2000);
  auto bass = MakeTrack(33, *bars, {{0, 0, 0}, {8, 36, 48, 0.9f}, {0, 0, 0}});
  Animation* animation = Make(bass.get(), bars.get());
  uint64_t lateness = 0;
  ASSERT_TRUE(animation->Prepare(lateness));
  ASSERT_TRUE(animation->Build(0));
  const Artist* bassist = animation->GetArtist();
  EXPECT_EQ(bassist->column, 3);
  auto timeline = Timeline(*animation);
  EXPECT_EQ(timeline[0].second, Sets::kSRL);
  EXPECT_EQ(timeline[1].second, Sets::kRTA);
  auto walk = PositionKeys(bassist, Sets::kSRL);
  EXPECT_FLOAT_EQ(walk.front().second.x, 879.0f);
  EXPECT_FLOAT_EQ(walk[1].second.x, bassist->x + 32);
  auto arrival = PositionKeys(bassist, Sets::kRTA);
  EXPECT_FLOAT_EQ(arrival.front().second.x, bassist->x + 32);
  EXPECT_FLOAT_EQ(arrival.back().second.x, bassist->x);
}

TEST_F(AnimationTest, LatenessIsTheOverrunOfTheFirstActiveBar) {
  // An artist in column 3, row 3 (x 757) walks 90 pixels from the right at 1.8 pixels per frame
  // (2500 ms at 20 frames/s) and arrives in 10 frames (500 ms).
  std::vector<Fixture::SetDef> sets = Fixture::AllSets("velocity=\"1.8\"");
  sets[3].frames = 10;  // rta
  program.WriteArtist({"slow.xml", 7, "Slow", "7", "M", "4,4", "", "", sets});
  program.WritePatchMap({{50, "7"}});
  program.WriteIndex({"slow.xml"});
  Manager::Destroy();
  auto bars = MakeBars(4, 4, 4, 120, 1000);
  RangeDef on{8, 60, 72, 0.8f};
  auto early = MakeTrack(50, *bars, {{0}, {0}, on, on});
  Animation* animation = Make(early.get(), bars.get(), 20);
  uint64_t lateness = 0;
  ASSERT_TRUE(animation->Prepare(lateness));
  EXPECT_EQ(lateness, 1000u);
  Manager::Instance()->Reset();
  auto late = MakeTrack(50, *bars, {{0}, {0}, {0}, on});
  Animation* second = Make(late.get(), bars.get(), 20);
  ASSERT_TRUE(second->Prepare(lateness));
  EXPECT_EQ(lateness, 0u);
  // Built with the offset the player would use, the walk starts at 0 and ends on time.
  ASSERT_TRUE(animation->Build(1000));
  auto walk = PositionKeys(animation->GetArtist(), Sets::kSRL);
  EXPECT_EQ(walk.front().first, 0);
  EXPECT_EQ(walk[1].first, 50);  // 2500 ms at 20 frames/s
  EXPECT_EQ(PositionKeys(animation->GetArtist(), Sets::kRTA).back().first, 60);  // 3000 ms
}

TEST_F(AnimationTest, AnArtistPushedToAnotherCellWalksThereAndIsNotLate) {
  // Two slow walkers (1.8 pixels per frame at 20 frames/s, arrivals of 10 frames = 500 ms)
  // asking for column 1, row 1; the second has the higher priority and takes the cell.
  std::vector<Fixture::SetDef> sets = Fixture::AllSets("velocity=\"1.8\"");
  sets[2].frames = 10;  // lta
  program.WriteArtist({"mover.xml", 7, "Mover", "7", "M", "2,2", "", "", sets});
  program.WriteArtist({"star.xml", 8, "Star", "8", "M", "2,2", "priority=\"200\"", "", sets});
  program.WritePatchMap({{50, "7"}, {51, "8"}});
  program.WriteIndex({"mover.xml", "star.xml"});
  Manager::Destroy();
  auto bars = MakeBars(4, 4, 4, 120, 1000);
  RangeDef on{8, 60, 72, 0.8f};
  auto moverTrack = MakeTrack(50, *bars, {{0}, {0}, on, on});
  auto starTrack = MakeTrack(51, *bars, {{0}, {0}, on, on});
  Animation* mover = Make(moverTrack.get(), bars.get(), 20);
  Animation* star = Make(starTrack.get(), bars.get(), 20);

  // In column 1, row 1 (x 333.6) the walk from the left covers 301.6 + 64 = 365.6 pixels:
  // 10155 ms, and 500 ms to arrive, 8655 ms after the first active bar at 2000 ms.
  uint64_t lateness = 0;
  ASSERT_TRUE(mover->Prepare(lateness));
  EXPECT_EQ(lateness, 8655u);
  ASSERT_TRUE(star->Prepare(lateness));
  EXPECT_EQ(lateness, 8655u);
  // The star pushed the mover to column 2, row 1 (x 497.6), right of the centre: it now walks on
  // from the right wing, 879 - 529.6 = 349.4 pixels, 9705 ms.
  const Artist* moved = mover->GetArtist();
  ASSERT_EQ(moved->column, 2);
  ASSERT_EQ(moved->row, 1);
  EXPECT_EQ(mover->Lateness(), 9705u + 250 - 2000);  // its right arrival has 5 images
  EXPECT_EQ(star->Lateness(), 8655u);

  // Built with the largest lateness, the mover walks to its new cell and arrives by the first
  // active bar (frame (8655 + 2000) / 50 = 213).
  const uint64_t offset = std::max(mover->Lateness(), star->Lateness());
  ASSERT_TRUE(mover->Build(offset));
  ASSERT_TRUE(star->Build(offset));
  auto walk = PositionKeys(moved, Sets::kSRL);
  ASSERT_GE(walk.size(), 2u);  // the walk on (and, when drawn to the left, the walk off)
  EXPECT_EQ(walk[0].first, (8655 + 2000 - 9705 - 250) / 50);
  EXPECT_FLOAT_EQ(walk[0].second.x, 879.0f);
  EXPECT_FLOAT_EQ(walk[1].second.x, moved->x + 32);
  auto arrival = PositionKeys(moved, Sets::kRTA);
  EXPECT_FLOAT_EQ(arrival.back().second.x, 497.6f);
  EXPECT_LE(arrival.back().first, 213);
  // The star walks from the left and arrives by the same bar.
  EXPECT_FLOAT_EQ(PositionKeys(star->GetArtist(), Sets::kLTA).back().second.x, 333.6f);
  EXPECT_LE(PositionKeys(star->GetArtist(), Sets::kLTA).back().first, 213);
}

TEST_F(AnimationTest, MissingSetsAndStillWalkersAreReported) {
  std::vector<Fixture::SetDef> still = Fixture::AllSets("velocity=\"0\"");
  std::vector<Fixture::SetDef> noArrival = Fixture::AllSets();
  noArrival.erase(noArrival.begin() + 2);  // lta
  std::vector<Fixture::SetDef> onlyRight = Fixture::AllSets();
  onlyRight.erase(onlyRight.begin() + 1);  // srl: only the walk to the right remains
  program.WriteArtist({"still.xml", 1, "Still", "11", "M", "1,1", "", "", still});
  program.WriteArtist({"noarrival.xml", 2, "NoArrival", "12", "M", "1,2", "", "", noArrival});
  program.WriteArtist({"right.xml", 3, "Right", "13", "M", "4,2", "", "", onlyRight});
  program.WritePatchMap({{60, "11"}, {61, "12"}, {62, "13"}});
  program.WriteIndex({"still.xml", "noarrival.xml", "right.xml"});
  Manager::Destroy();
  auto bars = MakeBars(2, 4, 4, 120, 2000);
  uint64_t lateness = 0;
  auto t60 = MakeTrack(60, *bars, {{8}, {8}});
  Animation* still60 = Make(t60.get(), bars.get());
  try {
    still60->Prepare(lateness);
    FAIL() << "a walk without speed was accepted";
  } catch (const AnimationInvalidParamException& e) {
    EXPECT_EQ(e.ToString(), "Invalid animation parameter specified");
  }
  auto t61 = MakeTrack(61, *bars, {{8}, {8}});
  Animation* noArrival61 = Make(t61.get(), bars.get());
  try {
    noArrival61->Prepare(lateness);
    FAIL() << "a missing arrival was accepted";
  } catch (const AnimationNotFoundException& e) {
    EXPECT_EQ(e.ToString(), "Artist animation set not found");
    EXPECT_EQ(e.Detail(), "artist 'NoArrival' has no set lta");
  }
  // In the last column without a walk from the right: it walks in from the left instead, and
  // leaves to the right (ATR) since it has no walk to the left.
  auto t62 = MakeTrack(62, *bars, {{8}, {8}});
  Animation* right = Make(t62.get(), bars.get());
  ASSERT_TRUE(right->Prepare(lateness));
  ASSERT_TRUE(right->Build(lateness));
  auto timeline = Timeline(*right);
  EXPECT_EQ(timeline.front().second, Sets::kSLR);
  EXPECT_EQ(timeline[timeline.size() - 2].second, Sets::kATR);
  EXPECT_EQ(timeline.back().second, Sets::kSLR);
  // No artist at all for a patch.
  auto t250 = MakeTrack(250, *bars, {{8}});
  try {
    Make(t250.get(), bars.get());
    FAIL() << "an animation without artist was made";
  } catch (const PatchNotFoundException& e) {
    EXPECT_EQ(e.ToString(), "Artist for patch #250 not found");
    EXPECT_EQ(e.patch, 250);
  }
}

TEST_F(AnimationTest, PrepareRefusesUnusableTracks) {
  auto bars = MakeBars(3, 4, 4, 120, 2000);
  uint64_t lateness = 0;
  auto quiet = MakeTrack(0, *bars, {{4}, {3}, {0}});  // melodic: never above the threshold
  EXPECT_FALSE(Make(quiet.get(), bars.get())->Prepare(lateness));
  auto empty = std::make_unique<Kesh::Data::Tracks::Event>(0, 0);
  EXPECT_FALSE(Make(empty.get(), bars.get())->Prepare(lateness));
  auto late = std::make_unique<Kesh::Data::Tracks::Event>(0, 0);
  auto* range = new Kesh::Data::Events::BarRange();
  range->start = 2000;
  range->duration = 2000;
  range->SetParam(Kesh::Data::Events::BarRange::kNoteCount, 9);
  late->Insert(range);
  Manager::Instance()->Reset();
  EXPECT_FALSE(Make(late.get(), bars.get())->Prepare(lateness));
  Manager::Instance()->Reset();
  auto fine = MakeTrack(0, *bars, {{8}});
  EXPECT_FALSE(Make(fine.get(), nullptr)->Prepare(lateness));
}

TEST_F(AnimationTest, BuildStopsAtAnUnsupportedBar) {
  auto bars = std::make_unique<Kesh::Data::Tracks::Event>(-1, -1);
  for (uint32_t i = 0; i < 4; ++i) {
    const float numerator = i == 2 ? 11 : 4;
    bars->Insert(new Kesh::Data::Events::BarBegin(i * 2000, 2000, i, numerator, 4, 120));
  }
  auto piano = MakeTrack(0, *bars, {{0}, {8}, {8}, {8}});
  Animation* animation = Make(piano.get(), bars.get());
  uint64_t lateness = 0;
  ASSERT_TRUE(animation->Prepare(lateness));
  EXPECT_FALSE(animation->Build(0));
  // The bars before it were built; nothing after it, and no exit.
  auto timeline = Timeline(*animation);
  EXPECT_EQ(timeline, (Entries{{0, Sets::kSLR}, {1995, Sets::kLTA}, {2000, Sets::kCSA}}));
  EXPECT_EQ(StepKeys(animation->GetArtist(), Sets::kCSA).back(), (std::pair<int, float>{4000, 0}));
}

TEST_F(AnimationTest, CurrentSetFollowsTheTimeline) {
  auto bars = MakeBars(4, 4, 4, 120, 2000);
  auto piano = MakeTrack(0, *bars, {{0}, {8}, {8}, {0}});
  Animation* animation = Make(piano.get(), bars.get());
  EXPECT_EQ(animation->CurrentSet(5000), nullptr);  // nothing built yet
  uint64_t lateness = 0;
  ASSERT_TRUE(animation->Prepare(lateness));
  ASSERT_TRUE(animation->Build(500));
  // Entries: 0 walk, 2495 arrival, 2500 play, 6500 rest, 8500 departure, 8505 walk off.
  EXPECT_EQ(animation->CurrentSet(0)->GetKind(), Sets::kSLR);
  EXPECT_EQ(animation->CurrentSet(2494)->GetKind(), Sets::kSLR);
  EXPECT_EQ(animation->CurrentSet(2495)->GetKind(), Sets::kLTA);
  EXPECT_EQ(animation->CurrentSet(2500)->GetKind(), Sets::kCSA);
  EXPECT_EQ(animation->CurrentSet(6499)->GetKind(), Sets::kCSA);
  EXPECT_EQ(animation->CurrentSet(6500)->GetKind(), Sets::kCFA);
  const int leaving = animation->CurrentSet(8500)->GetKind();
  EXPECT_TRUE(leaving == Sets::kATL || leaving == Sets::kATR);
  const int gone = animation->CurrentSet(1000000)->GetKind();
  EXPECT_TRUE(gone == Sets::kSRL || gone == Sets::kSLR);
  animation->GetArtist()->shown = false;
  EXPECT_EQ(animation->CurrentSet(2500), nullptr);
  animation->GetArtist()->shown = true;
}

TEST_F(AnimationTest, ReusedArtistsStartClean) {
  auto bars = MakeBars(4, 4, 4, 120, 2000);
  auto piano = MakeTrack(0, *bars, {{0}, {8}, {8}, {0}});
  Animation* first = Make(piano.get(), bars.get());
  uint64_t lateness = 0;
  ASSERT_TRUE(first->Prepare(lateness));
  ASSERT_TRUE(first->Build(0));
  EXPECT_FALSE(StepKeys(first->GetArtist(), Sets::kCSA).empty());
  Manager::Instance()->Reset();
  auto other = MakeTrack(0, *bars, {{8}, {0}, {0}, {0}});
  Animation* second = Make(other.get(), bars.get());
  ASSERT_EQ(second->GetArtist(), first->GetArtist());
  EXPECT_TRUE(StepKeys(second->GetArtist(), Sets::kCSA).empty());
  EXPECT_TRUE(PositionKeys(second->GetArtist(), Sets::kSLR).empty());
}

}  // namespace
