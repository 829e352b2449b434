#include <gtest/gtest.h>

#include <vector>

#include "data/actions.h"
#include "data/events.h"
#include "data/track.h"
#include "framework/file.h"

namespace {

using Kesh::Data::Events::BarBegin;
using Kesh::Data::Events::BarRange;
using Vell::Data::MemoryStg;

std::vector<const Kesh::Data::Events::Event*> Walk(Kesh::Data::Tracks::Event& track) {
  std::vector<const Kesh::Data::Events::Event*> out;
  auto* e = track.GetEnumerator();
  while (e->MoveNext()) {
    out.push_back(e->Current());
  }
  return out;
}

TEST(Track, EqualStartsKeepInsertionOrderAndLaterStartsSortIn) {
  Kesh::Data::Tracks::Event track(5, 2);
  BarBegin bar(1000, 500, 3, 4, 4, 120);
  auto* first = new BarRange(bar);
  auto* second = new BarRange(bar);
  auto* early = new BarRange(BarBegin(200, 500, 0, 4, 4, 120));
  auto* third = new BarRange(bar);
  track.Insert(first);
  track.Insert(second);
  track.Insert(early);
  track.Insert(third);
  track.Insert(nullptr);
  EXPECT_EQ(track.GetPatch(), 5);
  EXPECT_EQ(track.GetChannel(), 2);
  EXPECT_EQ(Walk(track),
            (std::vector<const Kesh::Data::Events::Event*>{early, first, second, third}));
  // The enumerator is the track's own and starts over on every GetEnumerator.
  EXPECT_EQ(track.GetEnumerator(), track.GetEnumerator());
  EXPECT_EQ(Walk(track).size(), 4u);
}

TEST(Track, BarTrackYieldsBarsInTimeOrder) {
  Kesh::Data::Tracks::Event bars(-1, -1);
  bars.Insert(new BarBegin(4000, 2000, 2, 4, 4, 120));
  bars.Insert(new BarBegin(0, 2000, 0, 4, 4, 120));
  bars.Insert(new BarBegin(2000, 2000, 1, 3, 8, 90));
  std::vector<uint32_t> indexes;
  for (const auto* event : Walk(bars)) {
    EXPECT_EQ(event->GetType(), BarBegin::kType);
    EXPECT_EQ(event->GetParamCount(), 3);
    indexes.push_back(event->bar);
  }
  EXPECT_EQ(indexes, (std::vector<uint32_t>{0, 1, 2}));
}

TEST(Events, ParametersAreBoundedByTheirCount) {
  BarBegin bar(10, 20, 1, 6, 8, 133.5f);
  EXPECT_EQ(bar.Numerator(), 6.0f);
  EXPECT_EQ(bar.Denominator(), 8.0f);
  EXPECT_EQ(bar.GetParam(2), 133.5f);
  EXPECT_EQ(bar.GetParam(3), 0.0f);  // beyond a bar's three parameters
  EXPECT_EQ(bar.GetParam(-1), 0.0f);
  BarRange range(bar);
  EXPECT_EQ(range.start, 10u);
  EXPECT_EQ(range.duration, 20u);
  EXPECT_EQ(range.bar, 1u);
  EXPECT_EQ(range.GetType(), BarRange::kType);
  range.SetParam(BarRange::kWeight, 2.5f);
  range.SetParam(6, 9.0f);  // ignored
  EXPECT_EQ(range.Weight(), 2.5f);
  EXPECT_EQ(range.GetParam(6), 0.0f);
}

TEST(Actions, DefaultActionAndStreamLayout) {
  Kesh::Data::Actions::Action none;
  EXPECT_EQ(none.GetCode(), -1);
  EXPECT_EQ(none.GetTime(), -1);
  MemoryStg out;
  Kesh::Data::Actions::Action action(0x0102, -2);
  ASSERT_TRUE(action.Save(out));
  EXPECT_EQ(out.Bytes(), (std::vector<unsigned char>{2, 1, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF}));
}

TEST(ActionList, EmptyListSavesOnlyTheCount) {
  Kesh::Data::Tracks::Action list;
  MemoryStg out;
  ASSERT_TRUE(list.Save(out));
  EXPECT_EQ(out.Bytes(), (std::vector<unsigned char>{0, 0, 0, 0}));
}

TEST(ActionList, SaveIsInTimeOrderAndLoadAddsToTheList) {
  Kesh::Data::Tracks::Action list;
  EXPECT_TRUE(list.Add(5000, 4));
  EXPECT_TRUE(list.Add(100, 12));
  EXPECT_FALSE(list.Add(5000, 7));  // the time is taken: the first action stays
  EXPECT_EQ(list.Get(5000)->GetCode(), 4);
  MemoryStg out;
  ASSERT_TRUE(list.Save(out));
  EXPECT_EQ(out.Bytes(), (std::vector<unsigned char>{2, 0, 0, 0, 12, 0, 0,    0,    100, 0,
                                                     0, 0, 4, 0, 0,  0, 0x88, 0x13, 0,   0}));

  Kesh::Data::Tracks::Action other;
  other.Add(100, 1);  // already held: the loaded action at 100 is discarded
  other.Add(7, 3);
  MemoryStg in(out.Bytes());
  ASSERT_TRUE(other.Load(in));
  ASSERT_EQ(other.Count(), 3);
  EXPECT_EQ(other.Get(100)->GetCode(), 1);
  EXPECT_EQ(other.Get(5000)->GetCode(), 4);
  EXPECT_EQ(other.NextFrom(8)->GetTime(), 100);
  EXPECT_EQ(other.NextFrom(5001), nullptr);
  std::vector<int> times;
  auto* e = other.GetEnumerator();
  while (e->MoveNext()) {
    times.push_back(e->Current()->GetTime());
  }
  EXPECT_EQ(times, (std::vector<int>{7, 100, 5000}));
}

TEST(ActionList, LoadKeepsTheFirstOfTwoActionsWithOneTime) {
  MemoryStg in(
      std::vector<unsigned char>{2, 0, 0, 0, 8, 0, 0, 0, 50, 0, 0, 0, 9, 0, 0, 0, 50, 0, 0, 0});
  Kesh::Data::Tracks::Action list;
  ASSERT_TRUE(list.Load(in));
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list.Get(50)->GetCode(), 8);
}

TEST(ActionList, TruncatedOrNegativeCountAddsNothing) {
  Kesh::Data::Tracks::Action list;
  list.Add(1, 1);
  // Count 3 but only one and a half actions follow.
  MemoryStg truncated(std::vector<unsigned char>{3, 0, 0, 0, 8, 0, 0, 0, 50, 0, 0, 0, 9, 0, 0, 0});
  EXPECT_FALSE(list.Load(truncated));
  EXPECT_EQ(list.Count(), 1);
  MemoryStg negative(std::vector<unsigned char>{0xFF, 0xFF, 0xFF, 0xFF});
  EXPECT_FALSE(list.Load(negative));
  MemoryStg empty;
  EXPECT_FALSE(list.Load(empty));
  EXPECT_EQ(list.Count(), 1);
}

}  // namespace
