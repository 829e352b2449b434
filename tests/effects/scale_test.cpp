// The stage drawn at scale 2: a shadow worked out by hand, and a whole frame (background,
// performers, cast and contact shadows under a mask, a stage light, a fade and a lit strobe) that,
// scaled back down, matches the same frame drawn at scale 1. The images are PNG files written
// here, some with an @2x file drawn at twice the detail, some scaled up at load.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <vector>

#include "common/temp_dir.h"
#include "effects/post_fx.h"
#include "effects/shadows.h"
#include "gfx/scaled_png.h"
#include "gfx/sprites.h"

namespace {

using Vell::Gfx::Argb;
using Vell::Gfx::Canvas;
using Vell::Gfx::Image;
using Vell::Gfx::G2D::Sprites::Sprite;

constexpr int kStageWidth = 815;
constexpr int kStageHeight = 400;

uint32_t Grey(uint32_t level) { return Argb(255, level, level, level); }

void Place(Sprite& sprite, float x, float y) {
  Vell::Keyframing::Runtime::KeyList<Vell::Math::Vector3> keys;
  keys.keys = {{0, {x, y, 0}, 0, 0}};
  sprite.positionTrack.SetKeys(keys);
}

// The two-light fixture of the scale-1 shadow test (render_test.cpp) on a canvas at scale 2: one
// opaque performer 120 × 160 stage units (an image of 240 × 320 at scale 2) at x 407.5 in row 0;
// light A (0, 400, 0) strength 64, light B (100, 400, 0) strength 32, back wall at z 300.
//   Wall shadows lie between stage y 40 and 0 at z 300, that is screen rows
//   2 (400 − 106) = 588 up to 2 (400 − 66) = 668 (excluded); A from stage x −90 to 90, screen
//   2 (−90 + 408) = 636 up to 2 (90 + 408) = 996 (excluded); B from −140 to 40, screen 536 to 896.
TEST(EffectsScale, ShadowAtScaleTwoFallsOnTwiceThePixels) {
  Canvas canvas(1, 1);
  canvas.Reshape(kStageWidth, kStageHeight, 2);
  canvas.Clear(Grey(120));
  Vell::Gfx::G2D::Sprites::Sprites_t sprites;
  Sprite performer("performer");
  auto image = std::make_unique<Image>(240, 320, Argb(255, 30, 20, 10));
  image->SetScale(2);
  performer.AddImage(std::move(image));
  Place(performer, 407.5f, 280);
  sprites.Add(&performer);
  performer.Track(0);

  Vell::Gfx::GDI::ShadowSet shadows;
  ASSERT_TRUE(shadows.AddLight({{0, 400, 0}, 0.5f}));
  ASSERT_TRUE(shadows.AddLight({{100, 400, 0}, 0.25f}));
  shadows.Draw(canvas, sprites);

  struct Expected {
    int x;
    int y;
    uint32_t level;
  };
  const std::vector<Expected> expected{
      {960, 588, 120 - 64},                                  // A's first row
      {960, 587, 120},                                       // above it
      {995, 620, 120 - 64},                                  // A's last column
      {996, 620, 120},                                       // beyond it
      {636, 620, 120 - 64 - 32},                             // A's first column, inside B
      {635, 620, 120 - 32},                                  // B only
      {895, 620, 120 - 64 - 32},                             // B's last column, inside A
      {536, 620, 120 - 32},                                  // B's first column
      {535, 620, 120},           {800, 667, 120 - 64 - 32},  // the wall's last row
  };
  for (const Expected& e : expected) {
    EXPECT_EQ(canvas.Pixel(e.x, e.y), Grey(e.level)) << "at " << e.x << ", " << e.y;
  }
}

class Style : public Kesh::Game::PostFX::Source {
 public:
  int CurrentFrame() const override { return 0; }
  std::vector<float> FadeParams() const override { return {16, 2}; }
  std::vector<float> StrobeParams() const override { return {3, 40, 20}; }
};

using Shade = std::function<uint32_t(double x, double y)>;

// Writes an image of width × height stage units whose pixel centres are shaded by shade (in stage
// units) at scale 1, and, with twice, its @2x file at twice the detail.
void WriteArt(const std::string& path, int width, int height, const Shade& shade, bool twice) {
  for (int scale = 1; scale <= (twice ? 2 : 1); ++scale) {
    Image image(width * scale, height * scale);
    for (int y = 0; y < image.Height(); ++y) {
      for (int x = 0; x < image.Width(); ++x) {
        image.SetPixel(x, y, shade((x + 0.5) / scale, (y + 0.5) / scale));
      }
    }
    ASSERT_TRUE(image.SavePng(scale == 1 ? path : Vell::Gfx::HiDpiPath(path)));
  }
}

uint32_t Level(double value) {
  return static_cast<uint32_t>(std::clamp(std::lround(value), 0L, 255L));
}

// A performer: an ellipse filling the image with a soft rim (alpha ramps over the outer 1.5
// units), shaded from a light top to a darker foot.
Shade Performer(double width, double height, double red, double green, double blue) {
  return [=](double x, double y) {
    const double dx = (x - width / 2) / (width / 2);
    const double dy = (y - height / 2) / (height / 2);
    const double edge = (1 - std::sqrt(dx * dx + dy * dy)) * std::min(width, height) / 2 / 1.5;
    const double alpha = std::clamp(edge, 0.0, 1.0) * 255;
    if (alpha <= 0) {
      return 0u;
    }
    const double light = 1.1 - 0.5 * y / height;
    return Argb(Level(alpha), Level(red * light), Level(green * light), Level(blue * light));
  };
}

struct Frame {
  Image pixels;
  int cast = 0;     // pixels the cast shadows darkened
  int contact = 0;  // pixels the contact shadows darkened further
};

int Changed(const Image& before, const Image& after) {
  int count = 0;
  for (int y = 0; y < before.Height(); ++y) {
    for (int x = 0; x < before.Width(); ++x) {
      count += before.Pixel(x, y) != after.Pixel(x, y) ? 1 : 0;
    }
  }
  return count;
}

// The player's frame order: background, cast and contact shadows, performers, post effects, the
// style's light on top.
Frame DrawFrame(const TempDir& art, int scale) {
  auto* hub = Vell::Gfx::G2D::Sprites::Hub::Instance();
  hub->imageScale = scale;
  Canvas canvas(1, 1);
  canvas.Reshape(kStageWidth, kStageHeight, scale);

  Image background;
  Image light;
  Image mask;
  EXPECT_TRUE(Vell::Gfx::LoadPngAtScale(background, art.File("stage.png"), scale));
  EXPECT_TRUE(Vell::Gfx::LoadPngAtScale(light, art.File("light.png"), scale));
  EXPECT_TRUE(Vell::Gfx::LoadPngAtScale(mask, art.File("mask.png"), scale));

  Vell::Gfx::G2D::Sprites::Sprites_t sprites;
  Sprite singer("singer");  // made at the hub's scale: their images are read for it
  Sprite bassist("bassist");
  hub->imageScale = 1;
  singer.LoadSingle(art.File("singer.png"));
  bassist.LoadSingle(art.File("bassist.png"));
  singer.ScanBaseline();
  bassist.ScanBaseline();
  singer.depth = 0;
  bassist.depth = 1;
  Place(singer, 300.5f, 250);
  Place(bassist, 520, 262);
  sprites.Add(&singer);
  sprites.Add(&bassist);
  singer.Track(0);
  bassist.Track(0);

  Vell::Gfx::GDI::ShadowSet shadows;
  EXPECT_TRUE(shadows.AddLight({{-150, 420, 20}, 0.5f}));
  EXPECT_TRUE(shadows.AddLight({{200, 380, 0}, 0.3f}));
  shadows.stageDepth = 330;
  shadows.SetMask(mask);

  Style style;
  Kesh::Game::PostFX fx(&style);
  fx.SetTarget(&canvas);
  fx.FadeIn(1, true);
  fx.Strobe();

  canvas.DrawBackground(&background);
  Frame frame;
  Image before = canvas.Bitmap();
  shadows.Draw(canvas, sprites);
  frame.cast = Changed(before, canvas.Bitmap());
  before = canvas.Bitmap();
  shadows.DrawContacts(canvas, sprites);
  frame.contact = Changed(before, canvas.Bitmap());
  singer.RenderTo(canvas);
  bassist.RenderTo(canvas);
  // Frames 0 … 3 run on a scratch canvas; the strobe lights on frame 4.
  Canvas scratch(1, 1);
  fx.SetTarget(&scratch);
  for (int f = 0; f < 4; ++f) {
    fx.Track(f);
    fx.Render(f);
  }
  fx.SetTarget(&canvas);
  fx.Track(4);
  fx.Render(4);
  EXPECT_TRUE(fx.GetStrobe() != nullptr && fx.GetStrobe()->lit);
  canvas.DrawStageImage(light, 90, 30, 200, 150);
  frame.pixels = canvas.Bitmap();
  return frame;
}

TEST(EffectsScale, AFrameAtScaleTwoScaledDownMatchesScaleOne) {
  TempDir art;
  // The stage with its @2x file; a light, a mask and the bassist only at 1×, scaled up at load.
  WriteArt(
      art.File("stage.png"), kStageWidth, kStageHeight,
      [](double x, double y) {
        const double wave = 40 * std::sin(x / 37) * std::cos(y / 23);
        return Argb(255, Level(90 + 60 * x / kStageWidth + wave), Level(70 + y / 4),
                    Level(110 - wave / 2));
      },
      true);
  WriteArt(
      art.File("mask.png"), kStageWidth, kStageHeight,
      [](double x, double) { return Argb(255, 0, Level(255 * std::min(1.0, x / 300)), 0); }, false);
  WriteArt(
      art.File("light.png"), 200, 150,
      [](double x, double y) {
        const double d = std::hypot((x - 100) / 100, (y - 75) / 75);
        return Argb(Level(180 * std::max(0.0, 1 - d)), 255, 230, 160);
      },
      false);
  WriteArt(art.File("singer.png"), 60, 120, Performer(60, 120, 200, 80, 60), true);
  WriteArt(art.File("bassist.png"), 70, 110, Performer(70, 110, 60, 120, 200), false);

  const Frame single = DrawFrame(art, 1);
  const Frame doubled = DrawFrame(art, 2);
  ASSERT_EQ(single.pixels.Width(), kStageWidth);
  ASSERT_EQ(doubled.pixels.Width(), 2 * kStageWidth);
  ASSERT_EQ(doubled.pixels.Height(), 2 * kStageHeight);
  // The shadows were drawn, each kind on about four times the pixels.
  ASSERT_GT(single.cast, 2000);
  ASSERT_GT(single.contact, 300);
  EXPECT_NEAR(doubled.cast / 4.0, single.cast, single.cast * 0.1);
  EXPECT_NEAR(doubled.contact / 4.0, single.contact, single.contact * 0.1);

  // Each 2 × 2 block averaged, compared with the scale-1 pixel over blue, green and red.
  double squares = 0;
  for (int y = 0; y < kStageHeight; ++y) {
    for (int x = 0; x < kStageWidth; ++x) {
      for (int shift = 0; shift < 24; shift += 8) {
        int sum = 0;
        for (int k = 0; k < 4; ++k) {
          sum += static_cast<int>((doubled.pixels.Pixel(2 * x + k % 2, 2 * y + k / 2) >> shift) &
                                  0xFF);
        }
        const double difference =
            (sum + 2) / 4 - static_cast<int>((single.pixels.Pixel(x, y) >> shift) & 0xFF);
        squares += difference * difference;
      }
    }
  }
  const double mse = squares / (3.0 * kStageWidth * kStageHeight);
  const double psnr = 10 * std::log10(255.0 * 255.0 / std::max(mse, 1e-9));
  RecordProperty("psnr", std::to_string(psnr));
  EXPECT_GE(psnr, 30.0) << "mean squared error " << mse;
}

}  // namespace
