#include "effects/shadows.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>

namespace {

using Vell::Gfx::Argb;
using Vell::Gfx::Canvas;
using Vell::Gfx::Image;
using Vell::Gfx::G2D::Sprites::Sprite;
using Vell::Gfx::GDI::Quad;
using Vell::Gfx::GDI::ShadowLight;
using Vell::Gfx::GDI::ShadowPlan;
using Vell::Gfx::GDI::ShadowSet;
using Vell::Gfx::GDI::StagePoint;

constexpr uint32_t kGrey = Argb(255, 120, 120, 120);

void ExpectPoint(const StagePoint& p, double x, double y, double z) {
  EXPECT_NEAR(p.x, x, 1e-9);
  EXPECT_NEAR(p.y, y, 1e-9);
  EXPECT_NEAR(p.z, z, 1e-9);
}

// The worked example: a 120 × 160 card at x 0, z 200, a light at (0, 400, 0), the wall at 300.
// Floor: the top corners go to t = 400 / 240 = 5/3, so x ±100 and z 333⅓; the wall at 300 keeps
// three quarters of the depth 200 … 333⅓ (f = 0.75), cutting the side edges a quarter of the way
// down at x ±90. Wall: t = 300 / 200 = 1.5, so x ±90, the top at y = 400 − 240 × 1.5 = 40 and the
// bottom at −200; above the floor 40 of 240 (q = 1/6), so the wall takes rows 0 … 26.
TEST(Shadows, CardProjectionClipsAndShares) {
  const Quad card = ShadowSet::Card(0, 200, 120, 160);
  ExpectPoint(card[0], -60, 160, 200);
  ExpectPoint(card[1], 60, 160, 200);
  ExpectPoint(card[2], 60, 0, 200);
  ExpectPoint(card[3], -60, 0, 200);
  const Quad odd = ShadowSet::Card(10.5, 292, 121, 7);
  ExpectPoint(odd[0], -49.5, 7, 292);
  ExpectPoint(odd[2], 70.5, 0, 292);

  ShadowSet set;
  const ShadowLight light{{0, 400, 0}, 0.5f};
  ShadowPlan plan = set.Plan(card, 160, light);
  ASSERT_TRUE(plan.floor);
  ExpectPoint(plan.floorShape[0], -90, 0, 300);
  ExpectPoint(plan.floorShape[1], 90, 0, 300);
  ExpectPoint(plan.floorShape[2], 60, 0, 200);
  ExpectPoint(plan.floorShape[3], -60, 0, 200);
  EXPECT_NEAR(plan.floorShare, 0.75, 1e-12);
  ASSERT_TRUE(plan.wall);
  ExpectPoint(plan.wallShape[0], -90, 40, 300);
  ExpectPoint(plan.wallShape[1], 90, 40, 300);
  ExpectPoint(plan.wallShape[2], 90, 0, 300);
  ExpectPoint(plan.wallShape[3], -90, 0, 300);
  EXPECT_NEAR(plan.wallShare, 1.0 / 6, 1e-12);
  EXPECT_EQ(plan.wallFirstRow, 0);
  EXPECT_EQ(plan.wallLastRow, 26);
  EXPECT_EQ(plan.floorFirstRow, 26);
  EXPECT_EQ(plan.floorLastRow, 160);

  // Without the back wall the floor carries the bottom rows from trunc(160 − 0.75 × 160) = 40.
  set.stageBack = false;
  plan = set.Plan(card, 160, light);
  EXPECT_FALSE(plan.wall);
  ASSERT_TRUE(plan.floor);
  EXPECT_EQ(plan.floorFirstRow, 40);
  EXPECT_EQ(plan.floorLastRow, 160);

  // A deep wall: the whole floor shape, all rows.
  set.stageDepth = 1000;
  plan = set.Plan(card, 150, light);
  EXPECT_DOUBLE_EQ(plan.floorShare, 1);
  EXPECT_EQ(plan.floorFirstRow, 0);
  EXPECT_EQ(plan.floorLastRow, 150);
  ExpectPoint(plan.floorShape[0], -100, 0, 1000.0 / 3);
}

TEST(Shadows, LightBelowTheCardTop) {
  ShadowSet set;
  set.stageBack = false;
  set.stageDepth = 1e6;
  const Quad card = ShadowSet::Card(0, 200, 120, 160);
  // Clipped at y = 100 − 5: the top corners move down the side edges to 95, then t = 100 / 5.
  Quad clipped = card;
  ASSERT_TRUE(ShadowSet::Clip(clipped, 1, 95, true));
  ExpectPoint(clipped[0], -60, 95, 200);
  ExpectPoint(clipped[3], -60, 0, 200);
  ShadowPlan plan = set.Plan(card, 160, {{0, 100, 0}, 1});
  ASSERT_TRUE(plan.floor);
  ExpectPoint(plan.floorShape[0], -1200, 0, 4000);
  ExpectPoint(plan.floorShape[2], 60, 0, 200);
  // A light level with the card's top is not above it: clipped too.
  plan = set.Plan(card, 160, {{0, 160, 0}, 1});
  ExpectPoint(plan.floorShape[0], -60 * 32, 0, 200 * 32);
  // At most 5 above the floor: nothing remains of the card, no floor shadow.
  for (double y : {5.0, 3.0, 0.0, -10.0}) {
    EXPECT_FALSE(set.Plan(card, 160, {{0, y, 0}, 1}).floor) << y;
  }
  // A light behind the card that throws the shadow before z = 0 is abandoned.
  EXPECT_FALSE(set.Plan(card, 160, {{0, 200, 500}, 1}).floor);
  // A light level with the floor puts the whole image on the wall.
  set.stageBack = true;
  set.stageDepth = 300;
  plan = set.Plan(card, 160, {{0, 0, 0}, 1});
  EXPECT_FALSE(plan.floor);
  ASSERT_TRUE(plan.wall);
  EXPECT_DOUBLE_EQ(plan.wallShare, 1);
  EXPECT_EQ(plan.wallLastRow, 160);
  // Bias 0 or below casts nothing.
  plan = set.Plan(card, 160, {{0, 400, 0}, 0});
  EXPECT_FALSE(plan.floor || plan.wall);
}

TEST(Shadows, StrengthRowsAndNegativeDepth) {
  EXPECT_EQ(ShadowSet::Strength(0.5f), 64);
  EXPECT_EQ(ShadowSet::Strength(0.999f), 127);
  EXPECT_EQ(ShadowSet::Strength(0), 0);
  EXPECT_EQ(ShadowSet::Strength(-1), 0);
  EXPECT_EQ(ShadowSet::Strength(5), 255);
  EXPECT_EQ(ShadowSet::RowDepth(0), 200);
  EXPECT_EQ(ShadowSet::RowDepth(1.9f), 292);
  EXPECT_EQ(ShadowSet::RowDepth(2), 388);
  EXPECT_EQ(ShadowSet::RowDepth(3), 488);
  EXPECT_EQ(ShadowSet::RowDepth(6), 388);
  EXPECT_EQ(ShadowSet::RowDepth(-1), 200);
  EXPECT_EQ(ShadowSet::RowDepth(-7), 200);
  ShadowSet set;
  EXPECT_TRUE(set.AddLight({{0, 1, 2}, 1}));
  EXPECT_TRUE(set.AddLight({{3, 4, 5}, 1}));
  EXPECT_FALSE(set.AddLight({{6, 7, 8}, 1}));
  EXPECT_EQ(set.Lights().size(), 2u);
  EXPECT_EQ(set.Lights()[1].location.y, 4);
}

// A sprite with an image of the given colour standing at screen x.
std::unique_ptr<Sprite> MakeSprite(float x, float depth, uint32_t colour, int width = 120,
                                   int height = 160) {
  auto sprite = std::make_unique<Sprite>("performer");
  sprite->AddImage(std::make_unique<Image>(width, height, colour));
  Vell::Keyframing::Runtime::KeyList<Vell::Math::Vector3> keys;
  keys.keys = {{0, {x, 300, 0}, 0, 0}};
  sprite->positionTrack.SetKeys(keys);
  sprite->depth = depth;
  sprite->Track(0);
  return sprite;
}

// The worked example on the screen: the wall shape covers x 318 … 497 on rows 294 … 333, the
// floor shape rows 334 … 355 between the edges 318 → 348 and 498 → 468.
TEST(Shadows, DrawsTheWorkedExampleWithTheAlphaThreshold) {
  ShadowSet set;
  set.AddLight({{0, 400, 0}, 0.5f});
  Canvas canvas(815, 400);
  auto draw = [&](uint32_t colour, float depth) {
    canvas.Clear(kGrey);
    auto sprite = MakeSprite(407.5f, depth, colour);
    set.DrawSprite(canvas, *sprite);
  };
  draw(Argb(25, 0, 0, 0), 0);
  const uint32_t dark = Argb(255, 56, 56, 56);
  EXPECT_EQ(canvas.Pixel(318, 294), dark);
  EXPECT_EQ(canvas.Pixel(497, 333), dark);
  EXPECT_EQ(canvas.Pixel(317, 300), kGrey);
  EXPECT_EQ(canvas.Pixel(498, 300), kGrey);
  EXPECT_EQ(canvas.Pixel(400, 293), kGrey);
  EXPECT_EQ(canvas.Pixel(400, 334), dark);
  EXPECT_EQ(canvas.Pixel(400, 355), dark);
  EXPECT_EQ(canvas.Pixel(400, 356), kGrey);
  EXPECT_EQ(canvas.Pixel(318, 334), dark);   // the floor's top-left corner
  EXPECT_EQ(canvas.Pixel(330, 350), kGrey);  // left of the slanted edge (339 on that row)
  EXPECT_EQ(canvas.Pixel(345, 350), dark);
  EXPECT_EQ(canvas.Pixel(476, 350), kGrey);  // right of it (476 on that row)
  EXPECT_EQ(canvas.Pixel(475, 350), dark);

  draw(Argb(24, 0, 0, 0), 0);  // alpha 24: no shadow at all
  EXPECT_EQ(canvas.Pixel(400, 300), kGrey);
  EXPECT_EQ(canvas.Pixel(400, 340), kGrey);

  draw(Argb(255, 0, 0, 0), -3);  // a negative depth stands in row 0
  EXPECT_EQ(canvas.Pixel(400, 300), dark);
  EXPECT_EQ(canvas.Pixel(400, 355), dark);
  EXPECT_EQ(canvas.Pixel(400, 356), kGrey);
}

TEST(Shadows, ImageRowsColumnsAndBaseline) {
  // Left half transparent, bottom 10 rows transparent (the baseline): the shadow keeps to the
  // image's opaque right half, and the baseline rows are not part of the image that is mapped.
  auto image = std::make_unique<Image>(120, 170, Argb(255, 0, 0, 0));
  for (int y = 0; y < 170; ++y) {
    for (int x = 0; x < 60; ++x) {
      image->SetPixel(x, y, 0);
    }
  }
  for (int y = 160; y < 170; ++y) {
    for (int x = 60; x < 120; ++x) {
      image->SetPixel(x, y, 0);
    }
  }
  Sprite sprite("performer");
  sprite.AddImage(std::move(image));
  sprite.ScanBaseline();
  ASSERT_EQ(sprite.baseline, 10);
  Vell::Keyframing::Runtime::KeyList<Vell::Math::Vector3> keys;
  keys.keys = {{0, {407.5f, 300, 0}, 0, 0}};
  sprite.positionTrack.SetKeys(keys);
  sprite.Track(0);

  // A light level with the floor puts the whole image on the wall: t = 300 / 200 = 1.5, so the
  // wall shape spans x −90 … 90 (screen 318 … 497) and y 0 … 255 (screen rows 79 … 333). The 160
  // rows without the baseline are stretched over those 255 rows, so the lowest screen row shows
  // image row 159, which is opaque; with the baseline rows it would show a transparent row.
  ShadowSet set;
  set.AddLight({{0, 0, 0}, 1});
  Canvas canvas(815, 400);
  canvas.Clear(kGrey);
  set.DrawSprite(canvas, sprite);
  const uint32_t black = Argb(255, 0, 0, 0);
  EXPECT_EQ(canvas.Pixel(450, 79), black);
  EXPECT_EQ(canvas.Pixel(450, 333), black);
  EXPECT_EQ(canvas.Pixel(497, 200), black);
  EXPECT_EQ(canvas.Pixel(450, 78), kGrey);
  EXPECT_EQ(canvas.Pixel(450, 334), kGrey);
  EXPECT_EQ(canvas.Pixel(498, 200), kGrey);
  EXPECT_EQ(canvas.Pixel(350, 200), kGrey);  // the transparent left half (column 21)
  EXPECT_EQ(canvas.Pixel(400, 200), kGrey);  // column 54
  EXPECT_EQ(canvas.Pixel(410, 200), black);  // column 61
}

TEST(Shadows, OffCanvasAndExtremeLightsAreSafe) {
  ShadowSet set;
  set.AddLight({{0, 160.001, 0}, 1});  // just above the card: a shadow thrown very far
  set.AddLight({{-3000, 170, -50}, 0.5f});
  Canvas canvas(815, 400);
  canvas.Clear(kGrey);
  for (float x : {-100.0f, 0.0f, 407.5f, 810.0f, 2000.0f, 1e7f}) {
    for (float depth : {0.0f, 1.0f, 2.0f, 3.0f}) {
      auto sprite = MakeSprite(x, depth, Argb(255, 0, 0, 0));
      set.DrawSprite(canvas, *sprite);
    }
  }
  // Something was darkened, and nothing but colour changed.
  bool darker = false;
  for (int y = 0; y < 400; ++y) {
    for (int x = 0; x < 815; ++x) {
      const uint32_t p = canvas.Pixel(x, y);
      ASSERT_EQ(Vell::Gfx::AlphaOf(p), 255u);
      darker = darker || p != kGrey;
    }
  }
  EXPECT_TRUE(darker);
  // A sprite whose shadow starts left of the canvas still darkens the part on it.
  canvas.Clear(kGrey);
  ShadowSet one;
  one.AddLight({{0, 400, 0}, 0.5f});
  auto sprite = MakeSprite(407.5f - 400, 0, Argb(255, 0, 0, 0));
  one.DrawSprite(canvas, *sprite);
  // The card at x −400: the wall shape lies off the canvas (screen x −282 … −102); on floor row
  // 355 the edges run from −282 to −52 and from −102 to 68, so the row is dark from 0 to 59.
  EXPECT_EQ(canvas.Pixel(0, 355), Argb(255, 56, 56, 56));
  EXPECT_EQ(canvas.Pixel(59, 355), Argb(255, 56, 56, 56));
  EXPECT_EQ(canvas.Pixel(60, 355), kGrey);
  EXPECT_EQ(canvas.Pixel(0, 340), kGrey);
}

}  // namespace

namespace {

// Random lights, walls and sprites: the fill stays on the canvas (the sanitizer builds check every
// write) and changes colours only.
TEST(Shadows, RandomScenesStayOnTheCanvas) {
  std::mt19937 random(2026);
  auto uniform = [&](double low, double high) {
    return std::uniform_real_distribution<double>(low, high)(random);
  };
  Canvas canvas(815, 400);
  canvas.Clear(kGrey);
  for (int scene = 0; scene < 400; ++scene) {
    ShadowSet set;
    set.stageDepth = static_cast<float>(uniform(-100, 1500));
    set.stageBack = random() % 2 == 0;
    for (int i = 0; i < 2; ++i) {
      set.AddLight({{uniform(-2000, 2000), uniform(-50, 1500), uniform(-800, 1200)},
                    static_cast<float>(uniform(-0.2, 1.5))});
    }
    const int width = 1 + static_cast<int>(random() % 200);
    const int height = 1 + static_cast<int>(random() % 200);
    auto image = std::make_unique<Image>(width, height, Argb(200, 0, 0, 0));
    image->SetPixel(0, 0, 0);
    const int baseline = static_cast<int>(random() % (height + 2));
    const Quad card =
        ShadowSet::Card(uniform(-1500, 1500),
                        ShadowSet::RowDepth(static_cast<float>(uniform(-3, 7))), width, height);
    set.DrawCard(canvas, *image, height - baseline, card);
  }
  int darker = 0;
  for (int y = 0; y < 400; ++y) {
    for (int x = 0; x < 815; ++x) {
      ASSERT_EQ(Vell::Gfx::AlphaOf(canvas.Pixel(x, y)), 255u);
      darker += canvas.Pixel(x, y) != kGrey ? 1 : 0;
    }
  }
  EXPECT_GT(darker, 1000);
}

// The contact shadow of a 120-pixel-wide performer in the front row (floor at screen row
// 400 - 0.22 x 200 = 356) standing at the stage's centre (screen x 408): an ellipse 36 x 9
// pixels in radius, darkest at its centre, nothing at its rim or outside it.
TEST(Shadows, AContactShadowUnderTheFeet) {
  ShadowSet set;
  Canvas canvas(815, 400);
  canvas.Clear(kGrey);
  auto sprite = MakeSprite(407.5f, 0, Argb(255, 10, 10, 10));
  Vell::Gfx::G2D::Sprites::Sprites_t sprites;
  sprites.Add(sprite.get());
  set.DrawContacts(canvas, sprites);
  const auto darkness = [&canvas](int x, int y) {
    return static_cast<int>(Vell::Gfx::RedOf(kGrey)) -
           static_cast<int>(Vell::Gfx::RedOf(canvas.Pixel(x, y)));
  };
  EXPECT_EQ(darkness(408, 356), ShadowSet::kContactStrength);
  EXPECT_GT(darkness(420, 356), 0);
  EXPECT_LT(darkness(420, 356), darkness(410, 356));
  EXPECT_EQ(darkness(444, 356), 0);  // the rim
  EXPECT_EQ(darkness(408, 365), 0);
  EXPECT_EQ(darkness(300, 356), 0);
  EXPECT_EQ(darkness(408, 300), 0);
  sprite->visible = false;
  canvas.Clear(kGrey);
  set.DrawContacts(canvas, sprites);
  EXPECT_EQ(darkness(408, 356), 0);
  sprites.Clear();
}

// The style's mask scales the shadow by its brightness: the worked example's shadow (64 darker)
// over a mask white left of x 408, mid grey (128) to x 450 and black beyond.
TEST(Shadows, TheMaskKeepsShadowsWhereTheStyleAllows) {
  const auto mask = [](int scale) {
    auto image = std::make_unique<Image>(815 * scale, 400 * scale, Argb(255, 0, 0, 0));
    for (int y = 0; y < image->Height(); ++y) {
      for (int x = 0; x < image->Width(); ++x) {
        if (x < 408 * scale) {
          image->SetPixel(x, y, Argb(255, 255, 255, 255));
        } else if (x < 450 * scale) {
          image->SetPixel(x, y, Argb(255, 0, 128, 0));  // the green channel counts
        }
      }
    }
    return image;
  };
  const uint32_t dark = Argb(255, 56, 56, 56);
  const uint32_t half = Argb(255, 88, 88, 88);  // 120 − round(64 × 128 / 255) = 120 − 32
  Canvas canvas(815, 400);
  for (int scale : {1, 2}) {  // a mask of another size is stretched over the canvas
    SCOPED_TRACE(scale);
    ShadowSet set;
    set.AddLight({{0, 400, 0}, 0.5f});
    set.SetMask(*mask(scale));
    ASSERT_TRUE(set.HasMask());
    canvas.Clear(kGrey);
    auto sprite = MakeSprite(407.5f, 0, Argb(255, 0, 0, 0));
    set.DrawSprite(canvas, *sprite);
    EXPECT_EQ(canvas.Pixel(318, 294), dark);  // wall, under white
    EXPECT_EQ(canvas.Pixel(400, 340), dark);  // floor, under white
    EXPECT_EQ(canvas.Pixel(420, 300), half);
    EXPECT_EQ(canvas.Pixel(440, 350), half);
    EXPECT_EQ(canvas.Pixel(460, 300), kGrey);  // inside the shadow's shape, under black
    EXPECT_EQ(canvas.Pixel(470, 350), kGrey);

    // The contact shadow follows the mask too: 96 at the centre, halved there.
    canvas.Clear(kGrey);
    Vell::Gfx::G2D::Sprites::Sprites_t sprites;
    sprites.Add(sprite.get());
    set.DrawContacts(canvas, sprites);
    EXPECT_EQ(Vell::Gfx::RedOf(canvas.Pixel(408, 356)), 120u - 48u);
    EXPECT_EQ(Vell::Gfx::RedOf(canvas.Pixel(404, 356)),
              120u - 93u);  // white: 96 (1 − d²)², d = (4 / 36)²
    sprites.Clear();

    set.ClearMask();  // no mask: shadows fall everywhere again
    canvas.Clear(kGrey);
    set.DrawSprite(canvas, *sprite);
    EXPECT_EQ(canvas.Pixel(460, 300), dark);
  }
}

}  // namespace
