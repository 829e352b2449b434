#include "artists/layout.h"

#include "artists/artist.h"

namespace Kesh::Artists {

namespace {

bool Inside(int column, int row) {
  return static_cast<unsigned>(column) < 4u && static_cast<unsigned>(row) < 4u;
}

}  // namespace

Artist* Layout::At(int column, int row) const {
  return Inside(column, row) ? cells[row * kColumns + column] : nullptr;
}

bool Layout::Place(Artist* artist) {
  if (artist == nullptr) {
    return false;
  }
  const int column = artist->column;
  const int row = artist->row;
  if (!Inside(column, row)) {
    return false;
  }
  Artist*& cell = cells[row * kColumns + column];
  if (cell == nullptr) {
    cell = artist;
    artist->Position(column, row);
    return true;
  }
  if (cell == artist) {
    return true;
  }
  if (cell->priority >= artist->priority) {
    return FindFreeCell(artist, column, row);
  }
  Artist* occupant = cell;
  cell = artist;  // the newcomer keeps the position it was given when it was loaded
  FindFreeCell(occupant, column, row);
  return true;
}

bool Layout::Remove(Artist* artist) {
  if (artist == nullptr || !Inside(artist->column, artist->row)) {
    return false;
  }
  Artist*& cell = cells[artist->row * kColumns + artist->column];
  if (cell != artist) {
    return false;
  }
  cell = nullptr;
  return true;
}

bool Layout::TryCell(Artist* artist, int column, int row) {
  Artist*& cell = cells[row * kColumns + column];
  if (cell != nullptr || !Open(column, row)) {
    return false;
  }
  cell = artist;
  artist->Position(column, row);
  return true;
}

bool Layout::Open(int column, int row) {
  float x = 0;
  float y = 0;
  return Artist::CellPosition(column, row, x, y) && x >= kOpenLeft && x <= kOpenRight;
}

bool Layout::FindFreeCell(Artist* artist, int column, int row) {
  if (artist == nullptr || !Inside(column, row)) {
    return false;
  }
  auto tryRow = [&](int i) {
    for (int d = column; d >= 1; --d) {
      if (TryCell(artist, d, i)) {
        return true;
      }
    }
    for (int d = column + 1; d <= 3; ++d) {
      if (TryCell(artist, d, i)) {
        return true;
      }
    }
    return false;
  };
  for (int i = row; i >= 1; --i) {
    if (tryRow(i)) {
      return true;
    }
  }
  if (row >= 3) {
    return false;
  }
  for (int i = row + 1; i <= 3; ++i) {
    if (tryRow(i)) {
      return true;
    }
  }
  return false;
}

void Layout::RowFromY(float y, int& column, int& row) {
  column = 0;
  row = static_cast<int>((y - 280.0f) / -21.0f);
}

}  // namespace Kesh::Artists
