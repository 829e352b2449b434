#include <gtest/gtest.h>

#include "artists/artist.h"
#include "artists/layout.h"

namespace {

using Kesh::Artists::Artist;
using Kesh::Artists::Layout;

class LayoutTest : public ::testing::Test {
 protected:
  void SetUp() override { layout->Clear(); }
  void TearDown() override { layout->Clear(); }

  // An artist asking for (column, row) with a priority.
  std::unique_ptr<Artist> Make(int column, int row, int priority = 128) {
    auto artist = std::make_unique<Artist>();
    artist->column = column;
    artist->row = row;
    artist->priority = priority;
    return artist;
  }
  void Fill(std::vector<std::pair<int, int>> cells) {
    for (auto [column, row] : cells) {
      fillers.push_back(Make(column, row));
      ASSERT_TRUE(layout->Place(fillers.back().get()));
    }
  }

  Layout* layout = Layout::Instance();
  std::vector<std::unique_ptr<Artist>> fillers;
};

TEST_F(LayoutTest, ACellTakesItsArtistAndGivesTheStagePosition) {
  auto a = Make(2, 3);
  EXPECT_TRUE(layout->Place(a.get()));
  EXPECT_EQ(layout->At(2, 3), a.get());
  EXPECT_FLOAT_EQ(a->x, 2 * 164 + 265.0f);
  EXPECT_FLOAT_EQ(a->y, 217.0f);
  EXPECT_TRUE(layout->Place(a.get()));  // already there
  auto outside = Make(4, 0);
  EXPECT_FALSE(layout->Place(outside.get()));
  auto negative = Make(-1, 2);
  EXPECT_FALSE(layout->Place(negative.get()));
  EXPECT_FALSE(layout->Remove(negative.get()));
  EXPECT_FALSE(layout->Place(nullptr));
}

TEST_F(LayoutTest, AHigherPriorityTakesTheCellAndTheOccupantMoves) {
  auto first = Make(1, 1, 128);
  auto second = Make(1, 1, 200);
  ASSERT_TRUE(layout->Place(first.get()));
  EXPECT_TRUE(layout->Place(second.get()));
  EXPECT_EQ(layout->At(1, 1), second.get());
  // The occupant looks leftwards from its column first; column 0 is never offered, so it goes
  // right to column 2.
  EXPECT_EQ(layout->At(2, 1), first.get());
  EXPECT_EQ(first->column, 2);
  EXPECT_EQ(first->row, 1);
  EXPECT_FLOAT_EQ(first->x, 2 * 164 + 169.6f);
}

TEST_F(LayoutTest, EqualPriorityKeepsTheOccupant) {
  auto first = Make(2, 2, 150);
  auto second = Make(2, 2, 150);
  ASSERT_TRUE(layout->Place(first.get()));
  EXPECT_TRUE(layout->Place(second.get()));
  EXPECT_EQ(layout->At(2, 2), first.get());
  EXPECT_EQ(layout->At(1, 2), second.get());  // leftwards first
}

TEST_F(LayoutTest, FreeCellSearchOrder) {
  // Asking for column 2, row 2: row 2 columns 2, 1, then 3; row 1 the same; then row 3, whose
  // column 3 (x 757) lies in the right curtain and is never chosen.
  Fill({{2, 2}});
  std::vector<std::pair<int, int>> order;
  std::vector<std::unique_ptr<Artist>> movers;
  for (int i = 0; i < 9; ++i) {
    movers.push_back(Make(2, 2));
    if (!layout->Place(movers.back().get())) {
      order.push_back({-1, -1});
      continue;
    }
    order.push_back({movers.back()->column, movers.back()->row});
  }
  const std::vector<std::pair<int, int>> expected = {{1, 2}, {3, 2}, {2, 1},   {1, 1},  {3, 1},
                                                     {2, 3}, {1, 3}, {-1, -1}, {-1, -1}};
  EXPECT_EQ(order, expected);
  // Row 0 and column 0 stay free: only artists whose own place names them get there.
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(layout->At(i, 0), nullptr);
    EXPECT_EQ(layout->At(0, i), nullptr);
  }
  EXPECT_EQ(movers.back()->column, 2);  // the refused artist keeps its values
}

TEST_F(LayoutTest, AskingForTakenFrontCellsMovesBehind) {
  Fill({{1, 0}});
  auto late = Make(1, 0);
  EXPECT_TRUE(layout->Place(late.get()));
  EXPECT_EQ(late->row, 1);
  EXPECT_EQ(late->column, 1);
  // From the back row nothing is searched behind it.
  layout->Clear();
  Fill({{1, 3}, {2, 3}, {3, 3}});
  auto back = Make(3, 3);
  EXPECT_TRUE(layout->Place(back.get()));
  EXPECT_EQ(back->row, 2);
  EXPECT_EQ(back->column, 3);
}

TEST_F(LayoutTest, RemoveEmptiesOnlyTheArtistsOwnCell) {
  auto first = Make(1, 1, 100);
  auto winner = Make(1, 1, 200);
  ASSERT_TRUE(layout->Place(first.get()));
  Fill({{1, 2}, {2, 2}, {3, 2}, {2, 1}, {3, 1}, {1, 3}, {2, 3}, {3, 3}});
  ASSERT_TRUE(layout->Place(winner.get()));
  // No cell was free for the moved occupant: it keeps its old column and row but no cell.
  EXPECT_EQ(layout->At(1, 1), winner.get());
  EXPECT_EQ(first->column, 1);
  EXPECT_EQ(first->row, 1);
  EXPECT_FALSE(layout->Remove(first.get()));
  EXPECT_EQ(layout->At(1, 1), winner.get());
  EXPECT_TRUE(layout->Remove(winner.get()));
  EXPECT_EQ(layout->At(1, 1), nullptr);
  EXPECT_FALSE(layout->Remove(winner.get()));
}

TEST(LayoutRows, RowFromYInvertsTheRowFormula) {
  for (int row = 0; row < 4; ++row) {
    int column = -1;
    int found = -1;
    Layout::RowFromY(280.0f - 21.0f * static_cast<float>(row), column, found);
    EXPECT_EQ(found, row);
    EXPECT_EQ(column, 0);
  }
  int column = 0;
  int row = 0;
  Layout::RowFromY(259, column, row);
  EXPECT_EQ(row, 1);
  Layout::RowFromY(270, column, row);  // 0.47 truncated
  EXPECT_EQ(row, 0);
}

}  // namespace
