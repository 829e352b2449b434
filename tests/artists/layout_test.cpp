#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "artists/artist.h"
#include "artists/layout.h"
#include "gfx/sprites.h"

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

// ---- the band spread across the stage ----

// An artist whose playing image's opaque part is width wide, from 60 above its point to 76
// below (the shipped musicians' size), with its pieces on a side.
std::unique_ptr<Artist> Player(int priority, float width, int piecesSide = 0) {
  auto artist = std::make_unique<Artist>();
  artist->priority = priority;
  artist->extent = {-width / 2, -60, width / 2, 76};
  artist->piecesSide = piecesSide;
  artist->AddBodySprite(std::make_unique<Artist::Sprite>("", 1));
  return artist;
}

// The shipped drummer on his riser: cell (1, 3), his box 117 x 104 above the riser.
std::unique_ptr<Artist> Drummer() {
  auto artist = std::make_unique<Artist>();
  artist->patches = {200, 201, 202, 203};
  artist->priority = 210;
  artist->extent = {-61, -68, 56, 36};
  artist->Position(1, 3);
  return artist;
}

// The share of the smaller of two artists' boxes that they cover together, worked out apart
// from the layout's own boxes.
double Covered(const Artist& a, const Artist& b) {
  const double w = std::min(a.x + a.extent.right, b.x + b.extent.right) -
                   std::max(a.x + a.extent.left, b.x + b.extent.left);
  const double h = std::min(a.y + a.extent.bottom, b.y + b.extent.bottom) -
                   std::max(a.y + a.extent.top, b.y + b.extent.top);
  const auto area = [](const Artist& c) {
    return static_cast<double>(c.extent.right - c.extent.left) * (c.extent.bottom - c.extent.top);
  };
  return w > 0 && h > 0 ? w * h / std::min(area(a), area(b)) : 0.0;
}

TEST_F(LayoutTest, ASmallBandSpreadsFromTheCentrePiecesTowardsIt) {
  auto singer = Player(220, 40);
  auto bassist = Player(170, 80, 1);    // amplifier on his right: stands left of the centre
  auto guitarist = Player(160, 80, 1);  // the same, but the left side is wider now
  const std::vector<Artist*> band{guitarist.get(), singer.get(), bassist.get()};
  EXPECT_TRUE(layout->Arrange(band).empty());
  // 200 pixels of boxes on the 691 of the open stage: gaps of 110 (the widest), the group of
  // 420 centred on 407.5, so its left edge is at 197.5.
  EXPECT_FLOAT_EQ(bassist->x, 197.5f + 40);
  EXPECT_FLOAT_EQ(singer->x, 407.5f);
  EXPECT_FLOAT_EQ(guitarist->x, 197.5f + 80 + 110 + 40 + 110 + 40);
  for (const Artist* artist : band) {
    EXPECT_FLOAT_EQ(artist->y, 280.0f);
  }
  // The outer musicians are drawn first (higher depth), behind the inner ones.
  const auto depth = [](const Artist& artist) {
    return static_cast<const Artist::Sprite*>(artist.sprites.GetAt(0))->depth;
  };
  EXPECT_GT(depth(*bassist), depth(*singer));
  EXPECT_GT(depth(*guitarist), depth(*singer));
  EXPECT_LT(depth(*guitarist), 1.0f);  // still in front of the rows behind
}

TEST_F(LayoutTest, TheDrummerKeepsHisRiserAndTheFrontRowLeavesHisKitInView) {
  auto drummer = Drummer();
  const float drumX = drummer->x;
  const float drumY = drummer->y;
  auto keys = Player(180, 90);  // too wide to stand in front of the kit
  auto bass = Player(170, 100, 1);
  auto guitar = Player(160, 110, -1);
  const std::vector<Artist*> band{drummer.get(), keys.get(), bass.get(), guitar.get()};
  EXPECT_TRUE(layout->Arrange(band).empty());
  EXPECT_FLOAT_EQ(drummer->x, drumX);
  EXPECT_FLOAT_EQ(drummer->y, drumY);
  EXPECT_LE(Covered(*keys, *drummer), 0.12);  // of the kit, the smaller box
  EXPECT_LT(bass->x, drumX);
  EXPECT_GT(guitar->x, drumX);
  for (size_t i = 0; i < band.size(); ++i) {
    for (size_t j = i + 1; j < band.size(); ++j) {
      EXPECT_LE(Covered(*band[i], *band[j]), 0.25) << i << " and " << j;
    }
  }
}

TEST_F(LayoutTest, ABandTooBigForTheStageLosesItsLowestPriorities) {
  auto drummer = Drummer();
  std::vector<std::unique_ptr<Artist>> players;
  std::vector<Artist*> band{drummer.get()};
  for (int i = 0; i < 15; ++i) {
    players.push_back(Player(100 + i, 100, i % 3 - 1));
    players.back()->column = 1 + i % 3;
    players.back()->row = i / 3 % 4;
    (void)layout->Place(players.back().get());
    band.push_back(players.back().get());
  }
  const std::vector<Artist*> dropped = layout->Arrange(band);
  ASSERT_FALSE(dropped.empty());
  ASSERT_LT(dropped.size(), players.size());
  // The left-out ones are the lowest priorities and hold no cell any more.
  for (size_t i = 0; i < dropped.size(); ++i) {
    EXPECT_EQ(dropped[i], players[i].get());
    EXPECT_NE(layout->At(dropped[i]->column, dropped[i]->row), dropped[i]);
  }
  std::vector<Artist*> staying;
  for (Artist* artist : band) {
    if (std::find(dropped.begin(), dropped.end(), artist) == dropped.end()) {
      staying.push_back(artist);
    }
  }
  for (size_t i = 0; i < staying.size(); ++i) {
    EXPECT_GE(staying[i]->x + staying[i]->extent.left, Layout::kStageLeft);
    EXPECT_LE(staying[i]->x + staying[i]->extent.right, Layout::kStageRight);
    EXPECT_TRUE(staying[i]->y == 280.0f || staying[i]->y == 238.0f || staying[i] == drummer.get());
    for (size_t j = i + 1; j < staying.size(); ++j) {
      EXPECT_LE(Covered(*staying[i], *staying[j]), 0.25) << i << " and " << j;
    }
  }
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
