// The stage grid: four rows of four cells, one artist per cell. Settles conflicts between artists
// asking for the same cell by priority and moves the loser to a free cell.
#pragma once

#include <array>

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
