// Stage and search lights: envelopes, placement, zones, and a frame drawn with post effects and
// lights whose pixels are computed by hand.
#include <gtest/gtest.h>

#include <cmath>

#include "effects/post_fx.h"
#include "framework/xml.h"
#include "gfx/canvas.h"
#include "platform/platform.h"
#include "styles/fixture.h"
#include "styles/lights.h"
#include "styles/style.h"

namespace {

using Kesh::Styles::SearchLight;
using Kesh::Styles::StageLight;
using Kesh::Styles::Style;
using Vell::Gfx::Argb;
using Vell::Gfx::G2D::Sprites::Sprite;

TEST(LightEnvelope, AttackSustainReleaseAndIdle) {
  StageLight light;  // 10 / 200 / 10
  light.Fire();
  EXPECT_TRUE(light.active);
  EXPECT_EQ(light.startFrame, -1);
  light.Track(100);
  EXPECT_EQ(light.startFrame, 100);
  EXPECT_FLOAT_EQ(light.Envelope(100), 0.0f);
  EXPECT_FLOAT_EQ(light.Envelope(105), 0.5f);
  EXPECT_FLOAT_EQ(light.Envelope(110), 1.0f);
  EXPECT_FLOAT_EQ(light.Envelope(150), 1.0f);
  EXPECT_FLOAT_EQ(light.Envelope(310), 1.0f);
  EXPECT_FLOAT_EQ(light.Envelope(315), 0.5f);
  light.Fire();  // an active light keeps its running envelope
  light.Track(319);
  EXPECT_TRUE(light.active);
  EXPECT_EQ(light.startFrame, 100);
  light.Track(320);
  EXPECT_FALSE(light.active);
  EXPECT_EQ(light.startFrame, -1);
  EXPECT_EQ(SearchLight().sustain, 250);

  // Attack or release of 0: straight to full, straight to dark.
  StageLight sharp;
  sharp.attack = 0;
  sharp.sustain = 3;
  sharp.release = 0;
  sharp.Fire();
  sharp.Track(10);
  EXPECT_FLOAT_EQ(sharp.Envelope(10), 1.0f);
  EXPECT_FLOAT_EQ(sharp.Envelope(13), 1.0f);
  EXPECT_FLOAT_EQ(sharp.Envelope(14), 0.0f);
  sharp.Track(12);
  EXPECT_TRUE(sharp.active);
  sharp.Track(13);
  EXPECT_FALSE(sharp.active);
}

TEST(LightImages, IndexFollowsTheEnvelope) {
  StageLight light;
  for (int i = 0; i < 5; ++i) {
    light.images.push_back(std::make_unique<Vell::Gfx::Image>(1, 1, static_cast<uint32_t>(i)));
  }
  EXPECT_EQ(light.ImageAt(0), nullptr);  // idle
  light.Fire();
  light.Track(0);
  auto indexAt = [&light](int frame) {
    return static_cast<int>(light.ImageAt(frame)->Pixel(0, 0));
  };
  EXPECT_EQ(indexAt(0), 0);
  EXPECT_EQ(indexAt(2), 0);  // 0.2 × 4 = 0.8
  EXPECT_EQ(indexAt(3), 1);  // 0.3 × 4 = 1.2
  EXPECT_EQ(indexAt(5), 2);
  EXPECT_EQ(indexAt(10), 4);
  EXPECT_EQ(indexAt(219), 0);  // 0.1 × 4 = 0.4
}

TEST(LightPlacement, SixPlacesOnTheStage) {
  const int expected[6][2] = {{0, 350}, {357, 350}, {715, 350}, {0, 0}, {357, 0}, {715, 0}};
  for (int position = 0; position < 6; ++position) {
    StageLight light;
    light.position = position;
    light.width = 100;
    light.height = 50;
    light.Place(815, 400);
    EXPECT_EQ(light.x, expected[position][0]) << position;
    EXPECT_EQ(light.y, expected[position][1]) << position;
  }
  StageLight odd;
  odd.position = 4;
  odd.width = 101;
  odd.Place(815, 400);
  EXPECT_EQ(odd.x, 357);  // 407 - trunc(101 / 2)
  StageLight huge;
  huge.position = 2;
  huge.width = std::numeric_limits<int>::min();
  huge.Place(815, 400);
  EXPECT_EQ(huge.x, std::numeric_limits<int>::max());  // saturated, not wrapped
}

TEST(SearchLightZones, BordersAreNobodysZone) {
  EXPECT_EQ(Kesh::Styles::ZoneOf(0.0f), 0);
  EXPECT_EQ(Kesh::Styles::ZoneOf(270.9f), 0);
  EXPECT_EQ(Kesh::Styles::ZoneOf(271.0f), -1);
  EXPECT_EQ(Kesh::Styles::ZoneOf(271.1f), 1);
  EXPECT_EQ(Kesh::Styles::ZoneOf(542.9f), 1);
  EXPECT_EQ(Kesh::Styles::ZoneOf(543.0f), -1);
  EXPECT_EQ(Kesh::Styles::ZoneOf(543.1f), 2);
  EXPECT_EQ(Kesh::Styles::ZoneOf(-0.5f), -1);
  EXPECT_EQ(Kesh::Styles::ZoneOf(NAN), -1);
  int x = 0;
  int y = 0;
  SearchLight::Anchor(200.7f, 300.0f, 41, x, y);
  EXPECT_EQ(x, 180);  // trunc(200.7 - 20)
  EXPECT_EQ(y, 216);
}

// A style with a bottom-center stage light (attack 8; images: transparent, half-opaque orange,
// opaque) and a left and right search light of one opaque image each, in a styles folder.
class LightsFrame : public ::testing::Test {
 protected:
  void SetUp() override {
    folder.WriteImages("bc", {Argb(0, 0, 0, 0), Argb(128, 200, 100, 50), Argb(255, 250, 240, 230)});
    folder.WriteImages("sl", {Argb(255, 10, 20, 30)});
    folder.WriteImages("sr", {Argb(255, 90, 80, 70)});
    Vell::Data::Xml::Document document;
    ASSERT_TRUE(document.LoadString(R"(<style name="Test">
        <stagelights><bottom-center size="100,50" maps="bc" first="0" last="2" attack="8"/>
        </stagelights>
        <searchlights><left size="40,60" maps="sl" first="0" last="0"/>
          <right size="40,60" maps="sr" first="0" last="0"/></searchlights>
        <shadowlights><a location="0,400,0" bias="0.5"/><b location="100,400,0" bias="0.25"/>
        </shadowlights></style>)"));
    auto root = document.GetRoot();
    ASSERT_TRUE(style.LoadXml(root.get()));
    links.show = &show;
    show.scene = &scene;
    Vell::Platform::ScopedDirectory rootFolder(folder.Root());
    ASSERT_TRUE(style.Start());
  }

  // Draws frame as the player does: a grey 120 background, the shadows of the performers, the
  // post effects, then the lights.
  void DrawFrame(int frame) {
    canvas.Clear(Argb(255, 120, 120, 120));
    style.Track(frame);
    for (int i = 0; i < performers.Count(); ++i) {
      static_cast<Sprite*>(performers.GetAt(i))->Track(frame);
    }
    style.shadows.Draw(canvas, performers);
    effects.Track(frame);
    effects.Render(frame);
    style.RenderTo(canvas, frame);
  }
  uint32_t At(int x, int y) const { return canvas.Pixel(x, y); }

  StylesFixture::Folder folder;
  StylesFixture::Show show;
  Kesh::Styles::Links links;
  Style style{0, &links};
  Vell::Gfx::G2D::Sprites::Scene scene;
  Vell::Gfx::Canvas canvas{815, 400};
  Kesh::Game::PostFX effects{&show};
  Vell::Gfx::G2D::Sprites::Sprites_t performers;  // the sprites that cast shadows
};

uint32_t Grey(uint32_t level) { return Argb(255, level, level, level); }

TEST_F(LightsFrame, ShadowsFadeStrobeStageAndSearchLightsByHand) {
  // An opaque 120 × 160 performer at screen x 407.5 in row 0, under the style's shadow lights
  // A (0, 400, 0), bias 0.5 (strength 64) and B (100, 400, 0), bias 0.25 (32): on screen row 310
  // the wall shadows cover x 318 … 497 (A) and 268 … 447 (B); on row 345 the floor shadows cover
  // 333 … 483 (A) and 308 … 458 (B).
  Sprite performer("performer");
  performer.AddImage(std::make_unique<Vell::Gfx::Image>(120, 160, Argb(255, 30, 20, 10)));
  performer.positionTrack.SetValue({407.5f, 280, 0});
  performers.Add(&performer);
  // Sprites that the search lights see: A at x 200 (zone 0), B on the 271 border, C with one
  // image in zone 2, D at 700.
  auto a = StylesFixture::KeyedSprite({0}, 200.7f, 300.0f);
  auto b = StylesFixture::KeyedSprite({0}, 271.0f, 300.0f);
  auto c = StylesFixture::KeyedSprite({0}, 600.0f, 300.0f, 1);
  auto d = StylesFixture::KeyedSprite({0}, 700.0f, 250.0f);
  for (auto* sprite : {a.get(), b.get(), c.get(), d.get()}) {
    scene.sprites.Add(sprite);
  }
  // Fade of 40 and a strobe of period 3 and brightness 20 from frame 0; the stage light and the
  // left search light fire at frame 0, the right search light stays idle.
  show.strobeParams = {3, 20, 50};
  effects.SetTarget(&canvas);
  show.frame = 0;
  effects.FadeIn(1, true);
  effects.Strobe();
  style.stageLights[1].Fire();
  style.searchLights[0].Fire();
  for (int frame = 0; frame < 4; ++frame) {
    DrawFrame(frame);
    EXPECT_EQ(At(10, 10), Grey(80)) << frame;  // 120 − 40, the strobe still dark
  }
  EXPECT_EQ(At(400, 345), Grey(0));   // 120 − 64 − 32 − 40, held at 0
  EXPECT_EQ(At(300, 310), Grey(48));  // 120 − 32 − 40: B's wall shadow
  EXPECT_EQ(At(470, 310), Grey(16));  // 120 − 64 − 40: A's wall shadow
  DrawFrame(4);  // the strobe is lit: + 20, in either order with the fade (nothing saturates)
  EXPECT_EQ(At(10, 10), Grey(100));
  EXPECT_EQ(At(300, 310), Grey(68));
  EXPECT_EQ(At(470, 310), Grey(36));
  EXPECT_EQ(At(320, 345), Grey(68));   // B's floor shadow
  EXPECT_EQ(At(470, 345), Grey(36));   // A's floor shadow
  EXPECT_EQ(At(200, 310), Grey(100));  // no shadow
  // Stage light at (357, 350), 100 × 50, envelope 4 / 8 → image 1 over 100 with alpha 128:
  // (s × 128 + 100 × 127 + 127) / 255 per channel.
  const uint32_t lit =
      Argb(255, (200 * 128 + 100 * 127 + 127) / 255, (100 * 128 + 100 * 127 + 127) / 255,
           (50 * 128 + 100 * 127 + 127) / 255);
  EXPECT_EQ(lit, Argb(255, 150, 100, 75));
  // (Its rows 350 … 355 lie over the floor shadows; rows from 357 on are clear of them.)
  EXPECT_EQ(At(357, 357), lit);
  EXPECT_EQ(At(456, 399), lit);
  EXPECT_EQ(At(356, 357), Grey(100));
  EXPECT_EQ(At(457, 399), Grey(100));
  // Left search light over A: (trunc(200.7 − 20), trunc(300 − 84)) = (180, 216), 40 × 60.
  EXPECT_EQ(style.searchLights[0].target, a.get());
  EXPECT_EQ(At(180, 216), Argb(255, 10, 20, 30));
  EXPECT_EQ(At(219, 275), Argb(255, 10, 20, 30));
  EXPECT_EQ(At(179, 216), Grey(100));
  EXPECT_EQ(At(220, 275), Grey(100));
  EXPECT_EQ(At(180, 276), Grey(100));
  // Nobody in the centre zone (B stands on the border); C has one image; D takes the right
  // light, which is idle and draws nothing.
  EXPECT_EQ(style.searchLights[1].target, nullptr);
  EXPECT_EQ(style.searchLights[2].target, d.get());
  EXPECT_EQ(At(680, 166), Grey(100));

  // Once fired, the right light follows D; A leaves the scene and the left light loses it.
  style.searchLights[2].Fire();
  scene.sprites.Clear();
  scene.sprites.Add(d.get());
  DrawFrame(5);
  EXPECT_EQ(style.searchLights[0].target, nullptr);
  EXPECT_EQ(At(180, 216), Grey(100));
  EXPECT_EQ(At(680, 166), Argb(255, 90, 80, 70));  // (700 − 20, 250 − 84)
}

TEST_F(LightsFrame, ZonesAreFilledFromTheLastSprite) {
  auto first = StylesFixture::KeyedSprite({0}, 100.0f, 300.0f);
  auto second = StylesFixture::KeyedSprite({0}, 150.0f, 300.0f);
  auto centre = StylesFixture::KeyedSprite({0}, 543.0f, 300.0f);
  scene.sprites.Add(first.get());
  scene.sprites.Add(second.get());
  scene.sprites.Add(centre.get());
  DrawFrame(0);
  EXPECT_EQ(style.searchLights[0].target, second.get());
  EXPECT_EQ(style.searchLights[1].target, nullptr);
  EXPECT_EQ(style.searchLights[2].target, nullptr);  // exactly 543
  // A followed sprite keeps its light when it walks into another zone, where the free light of
  // that zone picks it up too.
  second->positionTrack.SetValue({400.0f, 300.0f, 0});
  DrawFrame(1);
  EXPECT_EQ(style.searchLights[0].target, second.get());
  EXPECT_EQ(style.searchLights[1].target, second.get());
  // Without a scene every target is dropped.
  show.scene = nullptr;
  DrawFrame(2);
  EXPECT_EQ(style.searchLights[0].target, nullptr);
}

TEST_F(LightsFrame, StopFreesImagesAndResetIdlesLights) {
  EXPECT_EQ(style.stageLights[1].images.size(), 3u);
  EXPECT_EQ(style.stageLights[1].x, 357);
  EXPECT_EQ(style.stageLights[1].y, 350);
  EXPECT_TRUE(style.stageLights[0].images.empty());
  style.stageLights[1].Fire();
  style.searchLights[2].Fire();
  style.Track(3);
  style.Reset();
  EXPECT_FALSE(style.stageLights[1].active);
  EXPECT_EQ(style.stageLights[1].startFrame, -1);
  EXPECT_FALSE(style.searchLights[2].active);
  ASSERT_TRUE(style.Stop());
  EXPECT_TRUE(style.stageLights[1].images.empty());
  EXPECT_TRUE(style.searchLights[0].images.empty());
  EXPECT_EQ(style.StageImage(), nullptr);
}

}  // namespace

namespace {

// At 50 frames a second the envelope of 10 / 200 / 10 frames (at the files' 25) lasts as long in
// seconds: 20 / 400 / 20 frames.
TEST(LightEnvelope, KeepsItsSecondsAtAnotherFrameRate) {
  StageLight light;
  light.SetFrameRate(50);
  light.Fire();
  light.Track(100);
  EXPECT_FLOAT_EQ(light.Envelope(110), 0.5f);
  EXPECT_FLOAT_EQ(light.Envelope(120), 1.0f);
  EXPECT_FLOAT_EQ(light.Envelope(520), 1.0f);
  EXPECT_FLOAT_EQ(light.Envelope(530), 0.5f);
  light.Track(539);
  EXPECT_TRUE(light.active);
  light.Track(540);
  EXPECT_FALSE(light.active);
}

}  // namespace
