// The stage grid: four rows of four cells, one artist per cell. Settles conflicts between artists
// asking for the same cell by priority and moves the loser to a free cell; once a song's band has
// its cells, spreads it across the stage. Called by the thread that prepares a song (the
// player's Prepare) and by tests; not thread-safe.
#pragma once

#include <array>
#include <vector>

#include "framework/singleton.h"

namespace Kesh::Artists {

class Artist;

class Layout : public Vell::Singleton<Layout> {
 public:
  static constexpr int kColumns = 4;
  static constexpr int kRows = 4;

  virtual ~Layout() = default;

  // Puts the artist into the cell of its column and row. A cell held by an artist of the same or
  // higher priority sends the newcomer to a free cell (false when there is none); a lower one
  // gives the cell to the newcomer and moves the occupant. false for cells outside the grid.
  bool Place(Artist* artist);
  // Empties the artist's cell when it holds that artist; false when it does not or the cell is
  // outside the grid.
  bool Remove(Artist* artist);
  // The first empty cell from (column, row): this row and the rows in front of it down to row 1,
  // each from the column leftwards to column 1 then rightwards; then the rows behind. Column 0 and
  // row 0 are never chosen here, nor the two cells whose place lies in the stage's curtains
  // (column 0 of row 2, column 3 of row 3): an artist moved aside is not sent into them. On
  // success the artist takes the cell.
  bool FindFreeCell(Artist* artist, int column, int row);
  // The row whose stage y is y (column always 0).
  static void RowFromY(float y, int& column, int& row);

  // Spreads a song's band (every artist it shows) across the open stage, so that no two stand
  // inside each other: the drummer keeps his cell at the back centre on the riser;
  // the others, highest priority first, fill a front row from the centre outwards, alternating
  // sides with their stage pieces towards the centre, and the rest a back row beside the
  // drummer, in the front row's gaps. Outer musicians are drawn behind inner ones, the back row
  // behind the front. Artists for whom no place is left (the lowest priorities first) lose
  // their cells and are returned. The others keep the cells Place gave them.
  std::vector<Artist*> Arrange(const std::vector<Artist*>& band);
  // The open stage every style leaves between its curtains and how far two musicians' boxes
  // may cover each other (of the smaller box).
  static constexpr float kStageLeft = 62;
  static constexpr float kStageRight = 753;
  static constexpr float kStageCentre = (kStageLeft + kStageRight) / 2;
  static constexpr float kMostOverlap = 0.24f;

  Artist* At(int column, int row) const;
  // Empties every cell.
  void Clear() { cells.fill(nullptr); }

 private:
  friend class Vell::Singleton<Layout>;
  Layout() = default;
  bool TryCell(Artist* artist, int column, int row);
  // Whether the cell's place lies between the curtains of every stage (x 100-715).
  static bool Open(int column, int row);
  static constexpr float kOpenLeft = 100;
  static constexpr float kOpenRight = 715;

  std::array<Artist*, kColumns * kRows> cells{};
};

}  // namespace Kesh::Artists
