// A fixture stage drawn the way the player draws a frame: background, shadows, post effects.
// Every expected value is worked out by hand below, not by calling the code under test.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "effects/post_fx.h"
#include "effects/shadows.h"
#include "gfx/sprites.h"

namespace {

using Vell::Gfx::Argb;
using Vell::Gfx::Canvas;
using Vell::Gfx::Image;
using Vell::Gfx::G2D::Sprites::Sprite;

class Style : public Kesh::Game::PostFX::Source {
 public:
  int CurrentFrame() const override { return 0; }
  std::vector<float> FadeParams() const override { return {16, 2}; }
  std::vector<float> StrobeParams() const override { return {3, 50, 20}; }
};

uint32_t Grey(uint32_t level) { return Argb(255, level, level, level); }

// One opaque 120 × 160 performer at screen x 407.5 in row 0 (card x −60 … 60 at z 200, 160 high).
// Light A at (0, 400, 0), bias 0.5 (strength 64); light B at (100, 400, 0), bias 0.25 (32); the
// back wall at z 300.
//   Both lights reach the card's top corners through t = 400 / 240 on the floor and t = 1.5 on
//   the wall. Wall shapes, screen rows 294 … 333 (y 40 … 0 at z 300): A from x −90 to 90
//   (screen 318 … 497), B from 100 + (−160) × 1.5 = −140 to 100 + (−40) × 1.5 = 40 (268 … 447).
//   Floor shapes, screen rows 334 … 355: A between the edges 318 → 348 and 498 → 468, B between
//   268 → 348 and 448 → 468 (on row 345, halfway: A 333 … 483, B 308 … 458).
// Grey 120 background; the fade starts at once at its depth 16; the strobe (period 3,
// brightness 50) lights on frame 4.
TEST(EffectsRender, ShadowsFromTwoLightsThenFadeAndStrobe) {
  Canvas canvas(815, 400);
  Vell::Gfx::G2D::Sprites::Sprites_t sprites;
  Sprite performer("performer");
  performer.AddImage(std::make_unique<Image>(120, 160, Argb(255, 30, 20, 10)));
  Vell::Keyframing::Runtime::KeyList<Vell::Math::Vector3> keys;
  keys.keys = {{0, {407.5f, 280, 0}, 0, 0}};
  performer.positionTrack.SetKeys(keys);
  sprites.Add(&performer);

  Vell::Gfx::GDI::ShadowSet shadows;
  ASSERT_TRUE(shadows.AddLight({{0, 400, 0}, 0.5f}));
  ASSERT_TRUE(shadows.AddLight({{100, 400, 0}, 0.25f}));

  Style style;
  Kesh::Game::PostFX fx(&style);
  fx.SetTarget(&canvas);
  fx.FadeIn(1, true);
  fx.Strobe();

  struct Expected {
    int x;
    int y;
    uint32_t frame3;
    uint32_t frame4;
  };
  const std::vector<Expected> expected{
      {400, 310, 120 - 64 - 32 - 16, 120 - 64 - 32 - 16 + 50},  // both wall shadows
      {300, 310, 120 - 32 - 16, 120 - 32 - 16 + 50},            // B's wall shadow only
      {470, 310, 120 - 64 - 16, 120 - 64 - 16 + 50},            // A's wall shadow only
      {400, 345, 120 - 64 - 32 - 16, 120 - 64 - 32 - 16 + 50},  // both floor shadows
      {320, 345, 120 - 32 - 16, 120 - 32 - 16 + 50},            // B's floor only
      {470, 345, 120 - 64 - 16, 120 - 64 - 16 + 50},            // A's floor only
      {200, 310, 120 - 16, 120 - 16 + 50},                      // no shadow
      {600, 100, 120 - 16, 120 - 16 + 50},
  };
  for (int frame = 0; frame <= 4; ++frame) {
    canvas.Clear(Grey(120));
    sprites.GetEnumerator();
    performer.Track(frame);
    shadows.Draw(canvas, sprites);
    fx.Track(frame);
    fx.Render(frame);
    if (frame == 3 || frame == 4) {
      for (const Expected& e : expected) {
        EXPECT_EQ(canvas.Pixel(e.x, e.y), Grey(frame == 3 ? e.frame3 : e.frame4))
            << "frame " << frame << " at " << e.x << ", " << e.y;
      }
    }
  }
  EXPECT_TRUE(fx.GetStrobe()->lit);
}

}  // namespace
