// The performers' shadows: each sprite's current image, an upright card standing on the stage, is
// projected from every shadow light onto the stage floor and, when the style says so, onto the
// back wall; the projected shapes darken the canvas wherever the image is opaque.
//
// Stage space: x across the stage (0 at its centre, one unit = one canvas pixel at scale 1), y up
// from the floor, z into the stage. A stage point maps to the screen of a canvas at scale s at
// (trunc(s (x + 408)), trunc(s (400 - (y + 0.22 z)))). A card's size is its image's size in stage
// units (pixels divided by the image's scale).
//
// The set is filled by the style loader (any thread, before the style is used) and drawn on the
// frame thread under the frame lock. It owns only its lights and a scratch table of row pointers.
#pragma once

#include <array>
#include <vector>

#include "gfx/canvas.h"
#include "gfx/image.h"
#include "gfx/sprites.h"

namespace Vell::Gfx::GDI {

struct StagePoint {
  double x = 0;
  double y = 0;
  double z = 0;
};

struct ShadowLight {
  StagePoint location;
  float bias = 0;  // bias <= 0 casts nothing; the strength is trunc(bias × 128)
};

// Four stage points in the card's corner order: top-left, top-right, bottom-right, bottom-left.
// The top (0, 1) and bottom (3, 2) pairs each share their y and z, so a clip against a y or z
// plane only moves corners along the two side edges (0–3 and 1–2).
using Quad = std::array<StagePoint, 4>;

// One light's shadow of one card: the shapes to fill and the image rows each carries.
struct ShadowPlan {
  bool floor = false;  // floorShape is drawn
  Quad floorShape{};
  int floorFirstRow = 0;  // image rows [first, last)
  int floorLastRow = 0;
  bool wall = false;  // wallShape is drawn
  Quad wallShape{};
  int wallFirstRow = 0;
  int wallLastRow = 0;
  double floorShare = 0;  // f: share of the floor shape's depth in front of the back wall
  double wallShare = 0;   // q: share of the wall shape's height above the floor
};

class ShadowSet {
 public:
  static constexpr int kMaxLights = 2;
  static constexpr int kAlphaThreshold = 24;  // texels with alpha above this cast a shadow
  static constexpr double kStageCentreX = 407.5;
  static constexpr std::array<double, 4> kRowDepth{200, 292, 388, 488};

  // Adds a light; false (and no change) when the set already has two.
  bool AddLight(const ShadowLight& light);
  void ClearLights() { lights.clear(); }
  const std::vector<ShadowLight>& Lights() const { return lights; }

  // The pass of one frame: the shadow of every visible sprite that has a current image, in list
  // order, from every light. Marks the canvas changed when it drew.
  void Draw(Canvas& canvas, G2D::Sprites::Sprites_t& sprites, double centreX = kStageCentreX);
  // One sprite's shadows: base (sprite x − centreX, 0, row depth of its depth row).
  void DrawSprite(Canvas& canvas, const G2D::Sprites::Sprite& sprite,
                  double centreX = kStageCentreX);
  // The shadows of image (its top `rows` rows) standing as card, from every light.
  void DrawCard(Canvas& canvas, const Image& image, int rows, const Quad& card);

  // The soft contact shadow of every visible sprite that has a current image: a dark ellipse on
  // the floor where its feet stand (0.6 of the image wide, a quarter of that deep), darkest
  // (kContactStrength) at the centre and fading to nothing at its rim. Marks the canvas changed.
  void DrawContacts(Canvas& canvas, G2D::Sprites::Sprites_t& sprites,
                    double centreX = kStageCentreX);
  static constexpr int kContactStrength = 96;

  // The card of an image w × h standing on the floor at (baseX, 0, z).
  static Quad Card(double baseX, double z, int width, int height);
  // The depth of a sprite's row: rowDepth[depth mod 4]; a negative depth stands in row 0.
  static double RowDepth(float depth);
  // trunc(bias × 128) held in 0 … 255.
  static int Strength(float bias);
  // Clips the quad against the plane coordinate axis (0 x, 1 y, 2 z) = value, keeping the part
  // below it (coordinate < value) or, with keepBelow false, the part at or above it. false when
  // nothing remains.
  static bool Clip(Quad& quad, int axis, double value, bool keepBelow);
  // The shapes and rows of one light's shadow of card, whose image has `rows` rows.
  ShadowPlan Plan(const Quad& card, int rows, const ShadowLight& light) const;
  // The screen position of a stage point on a canvas at scale (coordinates held inside ±1e6
  // first).
  static void ToScreen(const StagePoint& point, int& x, int& y, int scale = 1);

  // Where shadows may fall: the mask's brightness (its green channel) scales the shadow's
  // strength, 255 full, 0 none, so a style keeps shadows on its floor and back wall and off its
  // curtains, sky and scenery. A mask of another size than the canvas is stretched over it
  // (nearest pixel). Without a mask (the default) shadows fall everywhere.
  void SetMask(const Image& mask);
  void ClearMask();
  bool HasMask() const { return !mask.empty(); }

  float stageDepth = 300.0f;  // z of the back wall
  bool stageBack = true;      // the back wall catches shadows too
  bool floorShadows = true;

 private:
  // Fills the screen quadrilateral of shape with image rows [firstRow, lastRow) mapped onto it,
  // darkening by strength where the texel's alpha is above the threshold.
  void Fill(Canvas& canvas, const Image& image, int firstRow, int lastRow, const Quad& shape,
            int strength);

  // The mask's rows at the canvas's size, made from the mask on the first pass at a new size;
  // null without a mask.
  const uint8_t* MaskFor(const Canvas& canvas);

  std::vector<ShadowLight> lights;
  std::vector<uint8_t> mask;  // one byte a mask pixel
  int maskWidth = 0;
  int maskHeight = 0;
  std::vector<uint8_t> canvasMask;  // mask stretched to canvasMaskWidth × canvasMaskHeight
  int canvasMaskWidth = 0;
  int canvasMaskHeight = 0;
  const uint8_t* passMask = nullptr;  // the canvas mask of the pass under way
  // One image row: its pixels and the columns from its first to its last pixel that is not fully
  // transparent (first > last: none), so the fill skips the transparent margins.
  struct Row {
    const uint32_t* texels;
    int first;
    int last;
  };
  std::vector<Row> rowTable;  // the image's rows, reused from frame to frame
  bool drew = false;
};

}  // namespace Vell::Gfx::GDI
