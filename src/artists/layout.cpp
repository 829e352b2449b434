#include "artists/layout.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "artists/artist.h"

namespace Kesh::Artists {

namespace {

bool Inside(int column, int row) {
  return static_cast<unsigned>(column) < 4u && static_cast<unsigned>(row) < 4u;
}

// The arrangement's two rows: the front row on the cells' row 0, the back row on row 2, in front
// of the drummer's riser (row 3).
constexpr float kFrontY = 280;
constexpr float kBackY = 238;
constexpr float kFrontDepth = 0;
constexpr float kBackDepth = 2;
// Depth added per pixel from the centre: outer musicians are drawn before (behind) inner ones,
// whose stage pieces face the centre.
constexpr float kOuterDepth = 0.001f;
// The widest gap between the boxes of a small band's neighbours.
constexpr float kWidestGap = 110;
// How much wider one side of the front row may grow than the other for the sake of the pieces.
constexpr float kBalance = 60;
// How much neighbours may cover each other (of the smaller box) when the stage has room.
constexpr float kSnugOverlap = 0.08f;
// How far the front row's wings reach in front of the drum kit's box.
constexpr float kKitMargin = 24;
// How much of the kit's box the front row may hide before it moves to the wings.
constexpr float kKitCover = 0.12f;
// The step of the search for a back-row place.
constexpr float kScanStep = 2;

struct Box {
  float left = 0;
  float top = 0;
  float right = 0;
  float bottom = 0;
};

Box BoxAt(const Artist& artist, float x, float y) {
  return {x + artist.extent.left, y + artist.extent.top, x + artist.extent.right,
          y + artist.extent.bottom};
}

float Area(const Box& b) {
  return std::max(0.0f, b.right - b.left) * std::max(0.0f, b.bottom - b.top);
}

float Overlap(const Box& a, const Box& b) {
  const float w = std::min(a.right, b.right) - std::max(a.left, b.left);
  const float h = std::min(a.bottom, b.bottom) - std::max(a.top, b.top);
  return w > 0 && h > 0 ? w * h : 0;
}

// Whether two boxes cover at most a share of the smaller one.
bool Apart(const Box& a, const Box& b, float share) {
  return Overlap(a, b) <= share * std::min(Area(a), Area(b));
}

bool OnStage(const Box& b) {
  return b.left >= Layout::kStageLeft && b.right <= Layout::kStageRight;
}

struct Spot {
  Artist* artist = nullptr;
  float x = 0;
  float y = 0;
  Box box;
};

bool ApartFromAll(const Box& box, const std::vector<Spot>& spots, float share) {
  return std::all_of(spots.begin(), spots.end(),
                     [&box, share](const Spot& spot) { return Apart(box, spot.box, share); });
}

// The front row: the first musician in the middle, the others alternately on either side, each
// on the side that turns his stage pieces towards the centre while the two sides stay about as
// wide, else on the narrower side. Each side is listed from the middle outwards.
struct FrontRow {
  Artist* middle = nullptr;
  std::vector<Artist*> left;
  std::vector<Artist*> right;
};

FrontRow FrontOrder(const std::vector<Artist*>& players, size_t front) {
  FrontRow row;
  float leftWidth = 0;
  float rightWidth = 0;
  for (size_t i = 0; i < front; ++i) {
    Artist* artist = players[i];
    if (i == 0) {
      row.middle = artist;
      continue;
    }
    // Pieces decide while the sides are about as wide; otherwise the narrower side.
    const float lead = rightWidth - leftWidth;
    const bool toRight = std::fabs(lead) >= kBalance || artist->piecesSide == 0
                             ? lead < 0 || (lead == 0 && artist->piecesSide <= 0)
                             : artist->piecesSide < 0;
    (toRight ? row.right : row.left).push_back(artist);
    (toRight ? rightWidth : leftWidth) += artist->extent.right - artist->extent.left;
  }
  return row;
}

float Width(const Artist& artist) { return artist.extent.right - artist.extent.left; }

// Spreads players (left to right) over [from, to] at y with even gaps (at most kWidestGap, the
// group centred), or packs them overlapping evenly when they are wider than the span; false
// when one stands off the stage or inside another.
bool SpreadRow(const std::vector<Artist*>& players, float from, float to, float y, float share,
               std::vector<Spot>& spots) {
  if (players.empty()) {
    return true;
  }
  float total = 0;
  for (const Artist* artist : players) {
    total += Width(*artist);
  }
  const float free = (to - from) - total;
  const auto n = static_cast<float>(players.size());
  const float gap = free >= 0 ? std::min(free / (n + 1), kWidestGap) : n > 1 ? free / (n - 1) : 0;
  float left = free >= 0 ? (from + to) / 2 - (total + gap * (n - 1)) / 2 : from;
  for (Artist* artist : players) {
    const float x = left - artist->extent.left;
    const Box box = BoxAt(*artist, x, y);
    if (!OnStage(box) || !ApartFromAll(box, spots, share)) {
      return false;
    }
    spots.push_back({artist, x, y, box});
    left = box.right + gap;
  }
  return true;
}

// The back row: each player at the free place nearest the centre, on alternate sides, leaving
// keepInView (the kit) in view when given; false when one finds none.
bool FillBackRow(const std::vector<Artist*>& players, float share, const Box* keepInView,
                 std::vector<Spot>& spots) {
  int lead = 0;  // players right of the centre less those left of it
  for (Artist* artist : players) {
    const float firstSign = lead > 0 ? -1.0f : 1.0f;
    bool placed = false;
    for (float d = 0; !placed && d <= Layout::kStageCentre; d += kScanStep) {
      for (const float sign : {firstSign, -firstSign}) {
        const float x = Layout::kStageCentre + sign * d;
        const Box box = BoxAt(*artist, x, kBackY);
        if (OnStage(box) && ApartFromAll(box, spots, share) &&
            (keepInView == nullptr || Overlap(box, *keepInView) <= kKitCover * Area(*keepInView))) {
          spots.push_back({artist, x, kBackY, box});
          lead += x > Layout::kStageCentre ? 1 : x < Layout::kStageCentre ? -1 : 0;
          placed = true;
          break;
        }
      }
    }
    if (!placed) {
      return false;
    }
  }
  return true;
}

// Places the first `front` players in the front row and the others in the back row; false when
// someone finds no place. The front row is spread over the whole stage or, where that hides the
// drum kit, over the two wings beside the kit; with hideKit the first also when the wings fail.
bool TryArrangement(const std::vector<Artist*>& players, size_t front, const Box* kit, float share,
                    bool hideKit, std::vector<Spot>& spots) {
  const FrontRow row = FrontOrder(players, front);
  const std::vector<Artist*> back(players.begin() + static_cast<std::ptrdiff_t>(front),
                                  players.end());
  std::vector<Artist*> whole(row.left.rbegin(), row.left.rend());
  whole.push_back(row.middle);
  whole.insert(whole.end(), row.right.begin(), row.right.end());
  std::vector<Spot> spread = spots;
  const bool spreadFits =
      SpreadRow(whole, Layout::kStageLeft, Layout::kStageRight, kFrontY, share, spread) &&
      FillBackRow(back, share, hideKit ? nullptr : kit, spread);
  // Whether the front row leaves the kit in view: someone narrow (the singer) may stand in
  // front of it.
  const bool kitInView =
      kit == nullptr || std::all_of(spread.begin(), spread.end(), [kit](const Spot& spot) {
        return spot.y != kFrontY || Overlap(spot.box, *kit) <= kKitCover * Area(*kit);
      });
  if (spreadFits && kitInView) {
    spots = std::move(spread);
    return true;
  }
  if (kit == nullptr) {
    return false;
  }
  // The middle player stands next to the kit in the wing that turns his pieces towards it, or
  // in the lighter wing.
  std::vector<Artist*> left(row.left.rbegin(), row.left.rend());
  std::vector<Artist*> right = row.right;
  float leftWidth = 0;
  float rightWidth = 0;
  for (const Artist* artist : left) {
    leftWidth += Width(*artist);
  }
  for (const Artist* artist : right) {
    rightWidth += Width(*artist);
  }
  if (row.middle->piecesSide != 0 ? row.middle->piecesSide > 0 : leftWidth <= rightWidth) {
    left.push_back(row.middle);
  } else {
    right.insert(right.begin(), row.middle);
  }
  std::vector<Spot> wings = spots;
  if (SpreadRow(left, Layout::kStageLeft, kit->left + kKitMargin, kFrontY, share, wings) &&
      SpreadRow(right, kit->right - kKitMargin, Layout::kStageRight, kFrontY, share, wings) &&
      FillBackRow(back, share, hideKit ? nullptr : kit, wings)) {
    spots = std::move(wings);
    return true;
  }
  if (spreadFits && hideKit) {
    spots = std::move(spread);
    return true;
  }
  return false;
}

}  // namespace

std::vector<Artist*> Layout::Arrange(const std::vector<Artist*>& band) {
  std::vector<Spot> fixed;
  std::vector<Artist*> players;
  for (Artist* artist : band) {
    if (artist == nullptr || std::find(players.begin(), players.end(), artist) != players.end() ||
        std::any_of(fixed.begin(), fixed.end(),
                    [artist](const Spot& spot) { return spot.artist == artist; })) {
      continue;
    }
    if (artist->IsDrummer()) {
      // Seated on the riser drawn into every stage at his cell.
      fixed.push_back({artist, artist->x, artist->y, BoxAt(*artist, artist->x, artist->y)});
    } else {
      players.push_back(artist);
    }
  }
  const Box* kit = fixed.empty() ? nullptr : &fixed.front().box;
  // Highest priority in the middle of the front row; equal priorities in the order given.
  std::stable_sort(players.begin(), players.end(),
                   [](const Artist* a, const Artist* b) { return a->priority > b->priority; });
  std::vector<Artist*> dropped;
  while (!players.empty()) {
    // Neighbours standing clear of each other first, with some in the back row if need be;
    // then as close as allowed; and only then with the kit partly hidden.
    for (const auto& [share, hideKit] :
         {std::pair{kSnugOverlap, false}, std::pair{kMostOverlap, false},
          std::pair{kMostOverlap, true}}) {
      for (size_t front = players.size(); front >= 1; --front) {
        std::vector<Spot> spots = fixed;
        if (!TryArrangement(players, front, kit, share, hideKit, spots)) {
          continue;
        }
        for (const Spot& spot : spots) {
          if (spot.artist->IsDrummer()) {
            continue;
          }
          const float base = spot.y == kFrontY ? kFrontDepth : kBackDepth;
          spot.artist->PlaceAt(spot.x, spot.y,
                               base + kOuterDepth * std::fabs(spot.x - kStageCentre));
        }
        return dropped;
      }
    }
    // No room for everybody: the lowest priority leaves the stage.
    dropped.push_back(players.back());
    Remove(players.back());
    players.pop_back();
  }
  return dropped;
}

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
