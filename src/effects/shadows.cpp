#include "effects/shadows.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "effects/pixels.h"

namespace Vell::Gfx::GDI {

namespace {

constexpr double kScreenLimit = 1e6;
constexpr int kFixedShift = 16;

double& Coordinate(StagePoint& point, int axis) {
  return axis == 0 ? point.x : axis == 1 ? point.y : point.z;
}
double Coordinate(const StagePoint& point, int axis) {
  return axis == 0 ? point.x : axis == 1 ? point.y : point.z;
}

// amount scaled by a mask value (255 whole, 0 nothing), rounded to nearest.
uint8_t MaskedAmount(uint8_t amount, uint8_t mask) {
  return static_cast<uint8_t>((amount * mask + 127) / 255);
}

bool Inside(double coordinate, double value, bool keepBelow) {
  return keepBelow ? coordinate < value : coordinate >= value;
}

// Clips the segment a–b (a on the top, b on the bottom side of the quad) against the plane.
bool ClipSegment(StagePoint& a, StagePoint& b, int axis, double value, bool keepBelow) {
  const double ca = Coordinate(a, axis);
  const double cb = Coordinate(b, axis);
  const bool inA = Inside(ca, value, keepBelow);
  const bool inB = Inside(cb, value, keepBelow);
  if (inA && inB) {
    return true;
  }
  if (!inA && !inB) {
    return false;
  }
  const double t = (value - ca) / (cb - ca);
  const StagePoint crossing{a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.z + (b.z - a.z) * t};
  (inA ? b : a) = crossing;
  Coordinate(inA ? b : a, axis) = value;
  return true;
}

// The extent of the quad along an axis.
double Extent(const Quad& quad, int axis) {
  double low = Coordinate(quad[0], axis);
  double high = low;
  for (const StagePoint& p : quad) {
    low = std::min(low, Coordinate(p, axis));
    high = std::max(high, Coordinate(p, axis));
  }
  return high - low;
}

// The point where the line from light through point meets the plane axis = value; false when the
// line runs parallel to it or meets it behind the light.
bool Project(const StagePoint& light, const StagePoint& point, int axis, double value,
             StagePoint& out) {
  const double towards = Coordinate(point, axis) - Coordinate(light, axis);
  if (towards == 0) {
    return false;
  }
  const double t = (value - Coordinate(light, axis)) / towards;
  if (!(t > 0) || !std::isfinite(t)) {
    return false;
  }
  out = {light.x + (point.x - light.x) * t, light.y + (point.y - light.y) * t,
         light.z + (point.z - light.z) * t};
  Coordinate(out, axis) = value;
  return true;
}

int64_t ScreenCoordinate(double value) {
  return static_cast<int64_t>(std::clamp(value, -kScreenLimit, kScreenLimit));
}

}  // namespace

bool ShadowSet::AddLight(const ShadowLight& light) {
  if (static_cast<int>(lights.size()) >= kMaxLights) {
    return false;
  }
  lights.push_back(light);
  return true;
}

Quad ShadowSet::Card(double baseX, double z, int width, int height) {
  const int half = width / 2;
  const double h = height;
  return {StagePoint{baseX - half, h, z}, StagePoint{baseX + half, h, z},
          StagePoint{baseX + half, 0, z}, StagePoint{baseX - half, 0, z}};
}

double ShadowSet::RowDepth(float depth) {
  if (!(depth >= 0)) {
    return kRowDepth[0];
  }
  const auto row = static_cast<int64_t>(std::min(depth, 1e9f));
  return kRowDepth[static_cast<size_t>(row % 4)];
}

int ShadowSet::Strength(float bias) {
  if (!(bias > 0)) {
    return 0;
  }
  const double strength = std::trunc(static_cast<double>(bias) * 128);
  return strength >= 255 ? 255 : static_cast<int>(strength);
}

bool ShadowSet::Clip(Quad& quad, int axis, double value, bool keepBelow) {
  Quad clipped = quad;
  if (!ClipSegment(clipped[0], clipped[3], axis, value, keepBelow) ||
      !ClipSegment(clipped[1], clipped[2], axis, value, keepBelow)) {
    return false;
  }
  quad = clipped;
  return true;
}

void ShadowSet::ToScreen(const StagePoint& point, int& x, int& y, int scale) {
  const double s = scale;
  x = static_cast<int>(
      ScreenCoordinate(s * (std::clamp(point.x, -kScreenLimit, kScreenLimit) + 408)));
  y = static_cast<int>(
      ScreenCoordinate(s * (400 - (std::clamp(point.y, -kScreenLimit, kScreenLimit) +
                                   0.22 * std::clamp(point.z, -kScreenLimit, kScreenLimit)))));
}

ShadowPlan ShadowSet::Plan(const Quad& card, int rows, const ShadowLight& light) const {
  ShadowPlan plan;
  if (Strength(light.bias) == 0 || rows <= 0) {
    return plan;
  }
  const StagePoint& l = light.location;
  const double top = card[0].y;

  // Floor: the card (or its part below L.y − 5 when the light is not above it) projected down.
  bool floor = floorShadows;
  Quad floorShape = card;
  if (floor && !(l.y > top)) {
    floor = Clip(floorShape, 1, l.y - 5, true);
  }
  if (floor) {
    for (StagePoint& corner : floorShape) {
      StagePoint projected;
      if (!Project(l, corner, 1, 0, projected) || projected.z < 0) {
        floor = false;
        break;
      }
      corner = projected;
    }
  }
  if (floor) {
    const double depth = Extent(floorShape, 2);
    floor = Clip(floorShape, 2, stageDepth, true);
    plan.floorShare = !floor ? 0 : depth > 0 ? Extent(floorShape, 2) / depth : 1;
  }

  // Back wall: the whole card projected onto z = stageDepth, kept above the floor.
  bool wall = stageBack;
  Quad wallShape = card;
  if (wall) {
    for (StagePoint& corner : wallShape) {
      if (!Project(l, corner, 2, stageDepth, corner)) {
        wall = false;
        break;
      }
    }
  }
  if (wall) {
    const double height = Extent(wallShape, 1);
    wall = Clip(wallShape, 1, 0, false);
    plan.wallShare = !wall ? 0 : height > 0 ? Extent(wallShape, 1) / height : 1;
  }

  // The rows: the wall takes the top of the image, the floor the rest.
  if (stageBack) {
    const int split = plan.wallShare >= 1 ? rows : static_cast<int>(rows * plan.wallShare);
    plan.wall = wall && split > 0;
    plan.wallShape = wallShape;
    plan.wallFirstRow = 0;
    plan.wallLastRow = split;
    plan.floor = floor && split < rows && plan.floorShare > 0;
    plan.floorFirstRow = split;
  } else {
    plan.floor = floor && plan.floorShare > 0;
    plan.floorFirstRow = plan.floorShare >= 1 ? 0 : static_cast<int>(rows - plan.floorShare * rows);
  }
  plan.floorShape = floorShape;
  plan.floorLastRow = rows;
  if (plan.floorFirstRow >= plan.floorLastRow) {
    plan.floor = false;
  }
  return plan;
}

void ShadowSet::SetMask(const Image& image) {
  ClearMask();
  if (image.Empty()) {
    return;
  }
  maskWidth = image.Width();
  maskHeight = image.Height();
  mask.resize(static_cast<size_t>(maskWidth) * static_cast<size_t>(maskHeight));
  for (int y = 0; y < maskHeight; ++y) {
    const uint32_t* row = image.Row(y);
    for (int x = 0; x < maskWidth; ++x) {
      mask[static_cast<size_t>(y) * static_cast<size_t>(maskWidth) + static_cast<size_t>(x)] =
          static_cast<uint8_t>((row[x] >> 8) & 0xFF);
    }
  }
}

void ShadowSet::ClearMask() {
  mask.clear();
  maskWidth = maskHeight = 0;
  canvasMask.clear();
  canvasMaskWidth = canvasMaskHeight = 0;
}

const uint8_t* ShadowSet::MaskFor(const Canvas& canvas) {
  if (mask.empty()) {
    return nullptr;
  }
  const int width = canvas.Width();
  const int height = canvas.Height();
  if (width == maskWidth && height == maskHeight) {
    return mask.data();
  }
  if (width != canvasMaskWidth || height != canvasMaskHeight) {
    canvasMask.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (int y = 0; y < height; ++y) {
      const size_t from = static_cast<size_t>(static_cast<int64_t>(y) * maskHeight / height) *
                          static_cast<size_t>(maskWidth);
      for (int x = 0; x < width; ++x) {
        canvasMask[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] =
            mask[from + static_cast<size_t>(static_cast<int64_t>(x) * maskWidth / width)];
      }
    }
    canvasMaskWidth = width;
    canvasMaskHeight = height;
  }
  return canvasMask.data();
}

void ShadowSet::Draw(Canvas& canvas, G2D::Sprites::Sprites_t& sprites, double centreX) {
  auto* walk = sprites.GetEnumerator();
  while (walk->MoveNext()) {
    DrawSprite(canvas, *static_cast<const G2D::Sprites::Sprite*>(walk->Current()), centreX);
  }
}

void ShadowSet::DrawContacts(Canvas& canvas, G2D::Sprites::Sprites_t& sprites, double centreX) {
  bool darkened = false;
  const uint8_t* where = MaskFor(canvas);
  auto* walk = sprites.GetEnumerator();
  while (walk->MoveNext()) {
    const auto& sprite = *static_cast<const G2D::Sprites::Sprite*>(walk->Current());
    const Image* image = sprite.Current();
    const double x = static_cast<double>(sprite.positionTrack.Value().x) - centreX;
    if (!sprite.visible || image == nullptr || image->Empty() || !(std::fabs(x) < kScreenLimit)) {
      continue;
    }
    int cx = 0;
    int cy = 0;
    const int scale = canvas.Scale();
    ToScreen({x, 0, RowDepth(sprite.depth)}, cx, cy, scale);
    const double stageRx = std::max(0.3 * (image->Width() / image->Scale()), 2.0);
    const double rx = stageRx * scale;
    const double ry = std::max(stageRx * 0.25, 1.0) * scale;
    const int top = std::max(static_cast<int>(cy - ry), 0);
    const int bottom = std::min(static_cast<int>(cy + ry), canvas.Height() - 1);
    const int left = std::max(static_cast<int>(cx - rx), 0);
    const int right = std::min(static_cast<int>(cx + rx), canvas.Width() - 1);
    if (left > right) {
      continue;
    }
    // The squared horizontal distances, the same for every row.
    thread_local std::vector<double> across;
    across.resize(static_cast<size_t>(right - left + 1));
    for (int px = left; px <= right; ++px) {
      const double dx = (px - cx) / rx;
      across[static_cast<size_t>(px - left)] = dx * dx;
    }
    for (int y = top; y <= bottom; ++y) {
      const double dy = (y - cy) / ry;
      const double dy2 = dy * dy;
      if (dy2 >= 1.0) {
        continue;
      }
      // Only the columns inside the ellipse on this row (one more each side for rounding).
      const double half = rx * std::sqrt(1.0 - dy2);
      const int from = std::max(left, static_cast<int>(std::floor(cx - half)) - 1);
      const int to = std::min(right, static_cast<int>(std::ceil(cx + half)) + 1);
      uint32_t* row = canvas.Pixels() + static_cast<size_t>(y) * canvas.Width();
      for (int px = from; px <= to; ++px) {
        const double d = across[static_cast<size_t>(px - left)] + dy2;
        if (d >= 1.0) {
          continue;
        }
        const uint8_t masked =
            where != nullptr ? where[static_cast<size_t>(y) * canvas.Width() + px] : 255;
        const auto amount =
            static_cast<uint8_t>(kContactStrength * (1.0 - d) * (1.0 - d) * masked / 255.0);
        if (amount > 0) {
          row[px] = Pixels::SubtractColour(row[px], amount);
          darkened = true;
        }
      }
    }
  }
  if (darkened) {
    canvas.Bitmap().ColoursChanged();
  }
}

void ShadowSet::DrawSprite(Canvas& canvas, const G2D::Sprites::Sprite& sprite, double centreX) {
  const Image* image = sprite.Current();
  if (!sprite.visible || image == nullptr || image->Empty()) {
    return;
  }
  const double x = static_cast<double>(sprite.positionTrack.Value().x) - centreX;
  if (!(std::fabs(x) < kScreenLimit)) {
    return;
  }
  const int rows =
      image->Height() - std::clamp(sprite.baseline * image->Scale(), 0, image->Height());
  DrawCard(canvas, *image, rows,
           Card(x, RowDepth(sprite.depth), image->Width() / image->Scale(),
                image->Height() / image->Scale()));
}

void ShadowSet::DrawCard(Canvas& canvas, const Image& image, int rows, const Quad& card) {
  rows = std::clamp(rows, 0, image.Height());
  if (rows == 0 || image.Width() == 0 || lights.empty()) {
    return;
  }
  drew = false;
  passMask = MaskFor(canvas);
  rowTable.resize(static_cast<size_t>(rows));
  for (int row = 0; row < rows; ++row) {
    const Image::Span* first = nullptr;
    const Image::Span* last = nullptr;
    image.RowSpans(row, first, last);
    rowTable[static_cast<size_t>(row)] =
        first == last
            ? Row{image.Row(row), 0, -1}
            : Row{image.Row(row), first->start, (last - 1)->start + (last - 1)->length - 1};
  }
  for (const ShadowLight& light : lights) {
    const ShadowPlan plan = Plan(card, rows, light);
    const int strength = Strength(light.bias);
    if (plan.wall) {
      Fill(canvas, image, plan.wallFirstRow, plan.wallLastRow, plan.wallShape, strength);
    }
    if (plan.floor) {
      Fill(canvas, image, plan.floorFirstRow, plan.floorLastRow, plan.floorShape, strength);
    }
  }
  if (drew) {
    canvas.Bitmap().ColoursChanged();
  }
}

void ShadowSet::Fill(Canvas& canvas, const Image& image, int firstRow, int lastRow,
                     const Quad& shape, int strength) {
  std::array<int, 4> sx{};
  std::array<int, 4> sy{};
  for (int i = 0; i < 4; ++i) {
    ToScreen(shape[static_cast<size_t>(i)], sx[static_cast<size_t>(i)], sy[static_cast<size_t>(i)],
             canvas.Scale());
  }
  // The top and bottom edges are level on screen (each pair shares y and z): walk the screen rows
  // from the top edge to the bottom edge, the left edge 0–3 and the right edge 1–2 stepping in
  // 16.16 fixed point, and across each row from the left to the right edge.
  const int64_t steps = std::abs(static_cast<int64_t>(sy[3]) - sy[0]);
  if (steps == 0 || lastRow <= firstRow) {
    return;
  }
  const int64_t direction = sy[3] > sy[0] ? 1 : -1;
  const int64_t leftStep = ((static_cast<int64_t>(sx[3]) - sx[0]) << kFixedShift) / steps;
  const int64_t rightStep = ((static_cast<int64_t>(sx[2]) - sx[1]) << kFixedShift) / steps;
  const int64_t rowStep = (static_cast<int64_t>(lastRow - firstRow) << kFixedShift) / steps;
  const int width = canvas.Width();
  const int height = canvas.Height();
  const int64_t columns = image.Width();

  // Only the steps whose screen row lies on the canvas.
  int64_t first = direction > 0 ? -static_cast<int64_t>(sy[0]) : sy[0] - (height - 1);
  int64_t last = direction > 0 ? (height - 1) - static_cast<int64_t>(sy[0]) : sy[0];
  first = std::max<int64_t>(first, 0);
  last = std::min<int64_t>(last, steps - 1);
  if (first > last) {
    return;
  }
  int64_t left = (static_cast<int64_t>(sx[0]) << kFixedShift) + leftStep * first;
  int64_t right = (static_cast<int64_t>(sx[1]) << kFixedShift) + rightStep * first;
  int64_t row = (static_cast<int64_t>(firstRow) << kFixedShift) + rowStep * first;
  const auto amount = static_cast<uint8_t>(strength);
  bool darkened = false;
  for (int64_t i = first; i <= last; ++i) {
    const int y = static_cast<int>(sy[0] + direction * i);
    const int texelRow = std::min(static_cast<int>(row >> kFixedShift), lastRow - 1);
    const Row& texels = rowTable[static_cast<size_t>(texelRow)];
    const int64_t xl = left >> kFixedShift;
    const int64_t xr = right >> kFixedShift;
    const int64_t span = std::abs(xr - xl);
    if (span > 0 && texels.first <= texels.last) {
      const int64_t across = xr > xl ? 1 : -1;
      const int64_t columnStep = (columns << kFixedShift) / span;
      // The steps on the canvas, then only those that reach the row's visible columns: column
      // c is reached from step ceil((c << 16) / columnStep) on.
      int64_t j0 = std::max<int64_t>(across > 0 ? -xl : xl - (width - 1), 0);
      int64_t j1 = std::min<int64_t>(across > 0 ? (width - 1) - xl : xl, span - 1);
      if (columnStep > 0) {
        const int64_t firstStep =
            ((static_cast<int64_t>(texels.first) << kFixedShift) + columnStep - 1) / columnStep;
        const int64_t lastStep =
            ((static_cast<int64_t>(texels.last + 1) << kFixedShift) - 1) / columnStep;
        j0 = std::max(j0, firstStep);
        j1 = std::min(j1, lastStep);
      } else if (texels.first > 0) {
        j1 = -1;  // every step reads column 0, which is transparent
      }
      if (j0 <= j1) {
        uint32_t* pixel = canvas.Pixels() + static_cast<size_t>(y) * width + xl + across * j0;
        // column stays below columns << 16: j < span and columnStep = (columns << 16) / span.
        int64_t column = columnStep * j0;
        if (passMask != nullptr) {
          // Masked: the strength scaled by the mask under each pixel.
          const uint8_t* where = passMask + (pixel - canvas.Pixels());
          for (int64_t j = j0; j <= j1; ++j, column += columnStep) {
            if (AlphaOf(texels.texels[column >> kFixedShift]) > kAlphaThreshold && *where != 0) {
              *pixel = Pixels::SubtractColour(*pixel, MaskedAmount(amount, *where));
              darkened = true;
            }
            pixel += across;
            where += across;
          }
        } else if (across > 0) {
          darkened = Pixels::SubtractColourWhereOpaque(pixel, static_cast<size_t>(j1 - j0 + 1),
                                                       texels.texels, column, columnStep, amount,
                                                       kAlphaThreshold) ||
                     darkened;
        } else {
          for (int64_t j = j0; j <= j1; ++j, column += columnStep, pixel += across) {
            if (AlphaOf(texels.texels[column >> kFixedShift]) > kAlphaThreshold) {
              *pixel = Pixels::SubtractColour(*pixel, amount);
              darkened = true;
            }
          }
        }
      }
    }
    left += leftStep;
    right += rightStep;
    row += rowStep;
  }
  drew = drew || darkened;
}

}  // namespace Vell::Gfx::GDI
