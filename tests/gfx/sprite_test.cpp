#include <filesystem>
#include <set>

#include <gtest/gtest.h>

#include "common/temp_dir.h"
#include "framework/xml.h"
#include "gfx/sprites.h"
#include "platform/platform.h"

namespace {

using Vell::Gfx::Argb;
using Vell::Gfx::Canvas;
using Vell::Gfx::Image;
using Vell::Gfx::G2D::Sprites::Hub;
using Vell::Gfx::G2D::Sprites::Scene;
using Vell::Gfx::G2D::Sprites::Sprite;
using Vell::Keyframing::Runtime::Key;
using Vell::Keyframing::Runtime::KeyD;
using Vell::Keyframing::Runtime::KeyList;
using Vell::Math::Vector3;

// An image whose single pixel's green channel tells which one it is.
std::unique_ptr<Image> Marked(uint32_t mark, int width = 1, int height = 1) {
  return std::make_unique<Image>(width, height, Argb(255, 0, mark, 0));
}

std::unique_ptr<Sprite> MakeSequence(int count) {
  auto sprite = std::make_unique<Sprite>();
  for (int i = 0; i < count; ++i) {
    sprite->AddImage(Marked(static_cast<uint32_t>(i)));
  }
  return sprite;
}

std::vector<int> Walk(Sprite& sprite, int from, int to) {
  std::vector<int> shown;
  for (int frame = from; frame <= to; ++frame) {
    sprite.Track(frame);
    shown.push_back(sprite.CurrentIndex());
  }
  return shown;
}

TEST(SpriteSequence, FileNamesArePaddedToTheWiderNumberWithAtLeastTwoDigits) {
  EXPECT_EQ(Sprite::SequenceFileName("walk", 1, Sprite::SequenceDigits(1, 12)), "walk01.png");
  EXPECT_EQ(Sprite::SequenceFileName("walk", 12, Sprite::SequenceDigits(1, 12)), "walk12.png");
  EXPECT_EQ(Sprite::SequenceFileName("walk", 0, Sprite::SequenceDigits(0, 9)), "walk00.png");
  EXPECT_EQ(Sprite::SequenceFileName("walk", 9, Sprite::SequenceDigits(0, 9)), "walk09.png");
  EXPECT_EQ(Sprite::SequenceFileName("walk", 0, Sprite::SequenceDigits(0, 100)), "walk000.png");
  EXPECT_EQ(Sprite::SequenceFileName("walk", 100, Sprite::SequenceDigits(0, 100)), "walk100.png");
  EXPECT_EQ(Sprite::SequenceDigits(1234, 5), 4);
  EXPECT_EQ(Sprite::SequenceDigits(5, 5), 2);
}

class SpriteFiles : public ::testing::Test {
 protected:
  void Write(const std::string& name, uint32_t mark) {
    ASSERT_TRUE(Marked(mark)->SavePng(dir.File(name)));
  }
  TempDir dir;
};

TEST_F(SpriteFiles, HoldCountReadsEveryNthFileAndRepeatsIt) {
  for (int i = 0; i <= 7; ++i) {
    Write(Sprite::SequenceFileName("walk", i, 2), static_cast<uint32_t>(10 + i));
  }
  Sprite sprite("", 3);
  sprite.LoadSequence(dir.File("walk"), 0, 7);
  ASSERT_EQ(sprite.Count(), 8);
  const std::vector<uint32_t> expected = {10, 10, 10, 13, 13, 13, 16, 16};
  std::set<const Image*> distinct;
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(Vell::Gfx::GreenOf(sprite.Images()[i]->Pixel(0, 0)), expected[i]) << i;
    distinct.insert(sprite.Images()[i]);
  }
  EXPECT_EQ(distinct.size(), 3u);

  Sprite every("", 1);
  every.LoadSequence(dir.File("walk"), 2, 4);
  ASSERT_EQ(every.Count(), 3);
  EXPECT_EQ(Vell::Gfx::GreenOf(every.Images()[2]->Pixel(0, 0)), 14u);
}

TEST_F(SpriteFiles, MissingFilesStillTakeTheirPlaceInTheSequence) {
  Write("run01.png", 1);
  Write("run03.png", 3);
  Sprite sprite;
  sprite.LoadSequence(dir.File("run"), 1, 3);
  ASSERT_EQ(sprite.Count(), 3);
  EXPECT_TRUE(sprite.Images()[1]->Empty());
  EXPECT_FALSE(sprite.Images()[2]->Empty());
  // Absurd ranges are refused instead of reading millions of names.
  Sprite huge;
  huge.LoadSequence(dir.File("run"), 0, 2147483647);
  EXPECT_EQ(huge.Count(), 0);
}

TEST_F(SpriteFiles, SequenceFilesAreReadWhenFirstShownFromTheFolderTheyWereNamedIn) {
  for (int i = 0; i <= 3; ++i) {
    Write(Sprite::SequenceFileName("jump", i, 2), static_cast<uint32_t>(20 + i));
  }
  Sprite sprite;
  {
    Vell::Platform::ScopedDirectory here(dir.path.string());
    sprite.LoadSequence("jump", 0, 3);
  }
  // The first image is read at once (it gives the baseline), the others when shown or read
  // ahead: files changed now are read as they are then.
  EXPECT_EQ(sprite.Unread(), 3);
  EXPECT_EQ(sprite.ReadAhead(1), 0);
  EXPECT_EQ(sprite.Unread(), 2);
  Write("jump01.png", 71);
  Write("jump02.png", 72);
  std::filesystem::remove(dir.File("jump03.png"));
  TempDir elsewhere;
  Vell::Platform::ScopedDirectory away(elsewhere.path.string());
  const auto shownMark = [&sprite] {
    return sprite.Current() == nullptr || sprite.Current()->Empty()
               ? -1
               : static_cast<int>(Vell::Gfx::GreenOf(sprite.Current()->Pixel(0, 0)));
  };
  std::vector<int> marks;
  for (int frame = 0; frame <= 4; ++frame) {
    sprite.Track(frame);
    marks.push_back(shownMark());
  }
  EXPECT_EQ(marks, (std::vector<int>{20, 21, 72, -1, 20}));
  EXPECT_EQ(sprite.Unread(), 0);
  EXPECT_EQ(sprite.ReadAhead(3), 3);
}

TEST_F(SpriteFiles, LoadsFromXmlRelativeToTheCurrentDirectory) {
  Write("step00.png", 0);
  Write("step01.png", 1);
  Write("step02.png", 2);
  Write("one.png", 9);
  Vell::Data::Xml::Document document;
  ASSERT_TRUE(document.LoadString(
      "<s><sprite name='body' images='step' first='0' last='2' easeIn='0.25' easeOut='0.5' "
      "pingPong='T' z-order='7'/><sprite image='one.png'/></s>"));
  Vell::Platform::ScopedDirectory here(dir.path.string());
  auto root = document.GetRoot();
  auto first = root->FirstChild();
  Sprite sprite("x", 1);
  ASSERT_TRUE(sprite.LoadXml(first.get()));
  EXPECT_EQ(sprite.GetName(), "body");
  EXPECT_EQ(sprite.Count(), 3);
  EXPECT_FLOAT_EQ(sprite.easeIn, 0.25f);
  EXPECT_FLOAT_EQ(sprite.easeOut, 0.5f);
  EXPECT_TRUE(sprite.pingPong);
  EXPECT_FLOAT_EQ(sprite.depth, 7.0f);
  Sprite single;
  ASSERT_TRUE(single.LoadXml(first->NextSibling().get()));
  ASSERT_EQ(single.Count(), 1);
  EXPECT_EQ(Vell::Gfx::GreenOf(single.Images()[0]->Pixel(0, 0)), 9u);
  EXPECT_FALSE(single.LoadXml(nullptr));
}

TEST(SpriteBaseline, CountsBottomRowsWithoutAPixelAboveAlpha64) {
  auto image = std::make_unique<Image>(4, 6, Argb(0, 0, 0, 0));
  image->SetPixel(0, 5, Argb(64, 255, 255, 255));  // 64 is not above 64
  image->SetPixel(3, 4, Argb(10, 255, 255, 255));
  image->SetPixel(2, 3, Argb(65, 255, 255, 255));
  image->SetPixel(1, 0, Argb(255, 255, 255, 255));
  Sprite sprite;
  sprite.AddImage(std::move(image));
  sprite.ScanBaseline();
  EXPECT_EQ(sprite.baseline, 2);
  Sprite empty;
  empty.baseline = 3;
  empty.AddImage(std::make_unique<Image>(2, 2, 0));
  empty.ScanBaseline();
  EXPECT_EQ(empty.baseline, 3);  // no qualifying pixel: unchanged
}

TEST(SpriteWalk, LoopsThroughItsImagesAndRestartsAfterAJump) {
  auto spriteOwner = MakeSequence(10);
  Sprite& sprite = *spriteOwner;
  EXPECT_EQ(Walk(sprite, 0, 10), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0}));
  // A jump of more than the sequence length restarts at startStep.
  sprite.startStep = 4;
  sprite.Track(30);
  EXPECT_EQ(sprite.CurrentIndex(), 4);
  sprite.Track(31);
  EXPECT_EQ(sprite.CurrentIndex(), 5);
  // After the end the loop comes back to 0, not to startStep.
  EXPECT_EQ(Walk(sprite, 32, 36), (std::vector<int>{6, 7, 8, 9, 0}));
  // Reset restarts the walk at startStep on the next Track.
  sprite.Reset();
  sprite.Track(37);
  EXPECT_EQ(sprite.CurrentIndex(), 4);
}

TEST(SpriteWalk, PingPongTurnsAtBothEnds) {
  auto spriteOwner = MakeSequence(5);
  Sprite& sprite = *spriteOwner;
  sprite.pingPong = true;
  EXPECT_EQ(Walk(sprite, 0, 10), (std::vector<int>{0, 1, 2, 3, 4, 3, 2, 1, 0, 1, 2}));
  // Stepping by two overshoots below 0: the walk restarts at startStep next time.
  auto fastOwner = MakeSequence(5);
  Sprite& fast = *fastOwner;
  fast.pingPong = true;
  fast.startStep = 1;
  std::vector<int> shown;
  for (int frame : {0, 2, 4, 6, 8, 10}) {
    fast.Track(frame);
    shown.push_back(fast.CurrentIndex());
  }
  // 1, 3, 4 (clamped, turn), 2, 0 (turn at 0), then forward 2.
  EXPECT_EQ(shown, (std::vector<int>{1, 3, 4, 2, 0, 2}));
}

TEST(SpriteWalk, StepTrackDrivesTheImageThroughTheEase) {
  auto spriteOwner = MakeSequence(11);
  Sprite& sprite = *spriteOwner;
  KeyList<float> keys;
  keys.keys = {{0, 0.0f, 0, 0}, {10, 1.0f, 0, 0}};
  sprite.stepTrack.SetKeys(keys);
  EXPECT_EQ(Walk(sprite, 0, 3), (std::vector<int>{0, 1, 2, 3}));
  sprite.Track(20);  // after the last key: the last image
  EXPECT_EQ(sprite.CurrentIndex(), 10);
  // The sprite's own eases shape the image walk: at step 2.5 of 10 with eases 0.5/0.5 the curve
  // gives 0.125, so image trunc(1.25 + 0.5) = 1.
  sprite.easeOut = 0.5f;
  sprite.easeIn = 0.5f;
  KeyList<float> quarter;
  quarter.keys = {{0, 0.25f, 0, 0}};
  sprite.stepTrack.ClearKeys();
  sprite.stepTrack.SetKeys(quarter);
  sprite.Track(5);
  EXPECT_EQ(sprite.CurrentIndex(), 1);
  // Values beyond 0..1 are clamped to the sequence.
  KeyList<float> over;
  over.keys = {{0, 3.0f, 0, 0}};
  sprite.stepTrack.ClearKeys();
  sprite.stepTrack.SetKeys(over);
  sprite.Track(6);
  EXPECT_EQ(sprite.CurrentIndex(), 10);
}

TEST(SpriteWalk, FreeWalkIsEasedToo) {
  auto spriteOwner = MakeSequence(5);
  Sprite& sprite = *spriteOwner;
  sprite.easeOut = 1.0f;  // t² / 1 × (1/(2-1)): steps 0..4 map to 0, 0.0625, 0.25, 0.5625, 1
  EXPECT_EQ(Walk(sprite, 0, 4), (std::vector<int>{0, 0, 1, 2, 4}));
}

TEST(SpriteVisibility, AHiddenSpriteKeepsItsImageAndDrawsNothing) {
  auto spriteOwner = MakeSequence(4);
  Sprite& sprite = *spriteOwner;
  sprite.SetVisibilityKeys(
      {KeyD<unsigned char>{0, 1}, KeyD<unsigned char>{2, 0}, KeyD<unsigned char>{4, 1}});
  sprite.Track(0);
  sprite.Track(1);
  EXPECT_EQ(sprite.CurrentIndex(), 1);
  sprite.Track(2);  // hidden from frame 2: the image chosen before becomes frozen
  sprite.Track(3);
  EXPECT_FALSE(sprite.visible);
  EXPECT_EQ(sprite.CurrentIndex(), 2);  // chosen at frame 2 while still visible, then kept
  Canvas canvas(4, 4);
  canvas.Clear();
  sprite.RenderTo(canvas);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) {
      EXPECT_EQ(canvas.Pixel(x, y), 0xFF000000u);
    }
  }
  sprite.Track(4);
  EXPECT_TRUE(sprite.visible);
}

TEST(SpriteTransform, DrawsCentredOnTheWorldPositionIncludingTheParent) {
  auto parentImage = std::make_unique<Image>(1, 1, Argb(255, 0, 0, 0));
  Sprite parent;
  parent.AddImage(std::move(parentImage));
  KeyList<Vector3> parentKeys;
  parentKeys.keys = {{0, {5, 3, 0}, 0, 0}};
  parent.positionTrack.SetKeys(parentKeys);

  Sprite child;
  child.AddImage(std::make_unique<Image>(4, 2, Argb(255, 200, 0, 0)));
  KeyList<Vector3> keys;
  keys.keys = {{0, {0, 0, 0}, 0, 0}, {10, {10, 20, 0}, 0, 0}};
  child.positionTrack.SetKeys(keys);
  child.parent = &parent;
  child.Track(5);  // own position (5, 10) plus the parent's (5, 3)
  EXPECT_FLOAT_EQ(child.world.At(3, 0), 10.0f);
  EXPECT_FLOAT_EQ(child.world.At(3, 1), 13.0f);
  Canvas canvas(20, 20);
  canvas.Clear();
  child.RenderTo(canvas);
  // Corner (10 - 2, 13 - 1) = (8, 12), size 4 × 2.
  EXPECT_EQ(canvas.Pixel(7, 12), 0xFF000000u);
  EXPECT_EQ(canvas.Pixel(8, 12), Argb(255, 200, 0, 0));
  EXPECT_EQ(canvas.Pixel(11, 13), Argb(255, 200, 0, 0));
  EXPECT_EQ(canvas.Pixel(12, 13), 0xFF000000u);
  EXPECT_EQ(canvas.Pixel(8, 14), 0xFF000000u);
  // fixedSize scales the image to width × height around the same centre.
  child.fixedSize = true;
  child.width = 8;
  child.height = 4;
  canvas.Clear();
  child.RenderTo(canvas);
  EXPECT_EQ(canvas.Pixel(6, 11), Argb(255, 200, 0, 0));
  EXPECT_EQ(canvas.Pixel(13, 14), Argb(255, 200, 0, 0));
  EXPECT_EQ(canvas.Pixel(14, 14), 0xFF000000u);
}

TEST(SpriteScene, KeepsSpritesDeepestFirstWithEqualDepthsInInsertionOrder) {
  Sprite a("a"), b("b"), c("c"), d("d");
  a.depth = 2;
  b.depth = 5;
  c.depth = 5;
  d.depth = 2;
  for (auto order : {std::vector<Sprite*>{&a, &b, &c, &d}, std::vector<Sprite*>{&b, &a, &d, &c}}) {
    Scene scene("Main");
    for (Sprite* s : order) {
      scene.sprites.Add(s);
    }
    std::string names;
    auto* walk = scene.sprites.GetEnumerator();
    while (walk->MoveNext()) {
      names += walk->Current()->GetName();
    }
    EXPECT_EQ(names, "bcad");
  }
  Scene scene;
  scene.sprites.Add(&c);
  scene.sprites.Add(&b);  // equal depth: after c
  std::string names;
  auto* walk = scene.sprites.GetEnumerator();
  while (walk->MoveNext()) {
    names += walk->Current()->GetName();
  }
  EXPECT_EQ(names, "cb");
  Vell::Object notASprite("x");
  EXPECT_EQ(scene.sprites.Add(&notASprite), -1);
  EXPECT_EQ(scene.sprites.Add(nullptr), -1);
  EXPECT_EQ(scene.sprites.Count(), 2);
}

TEST(SpriteScene, RendersBackgroundThenSpritesBackToFrontOnTheHubCanvas) {
  Canvas canvas(6, 6);
  Hub::Instance()->canvas = &canvas;
  Image background(1, 1, Argb(255, 0, 0, 50));
  Sprite far("far"), near("near");
  far.depth = 5;
  near.depth = 2;
  far.AddImage(std::make_unique<Image>(4, 4, Argb(255, 100, 0, 0)));
  near.AddImage(std::make_unique<Image>(2, 2, Argb(255, 0, 100, 0)));
  KeyList<Vector3> at;
  at.keys = {{0, {3, 3, 0}, 0, 0}};
  far.positionTrack.SetKeys(at);
  near.positionTrack.SetKeys(at);
  Scene scene("Main");
  EXPECT_EQ(scene.GetFrameRate(), 25);
  scene.background = &background;
  scene.sprites.Add(&near);
  scene.sprites.Add(&far);
  scene.Track(7);
  EXPECT_EQ(scene.GetPosition(), 7);
  scene.Render(0);
  EXPECT_EQ(canvas.Pixel(0, 0), Argb(255, 0, 0, 50));
  EXPECT_EQ(canvas.Pixel(1, 1), Argb(255, 100, 0, 0));
  EXPECT_EQ(canvas.Pixel(2, 2), Argb(255, 0, 100, 0));  // the nearer sprite is on top
  EXPECT_EQ(canvas.Pixel(3, 3), Argb(255, 0, 100, 0));
  EXPECT_EQ(canvas.Pixel(4, 4), Argb(255, 100, 0, 0));
  EXPECT_EQ(canvas.Pixel(5, 5), Argb(255, 0, 0, 50));
  Hub::Instance()->canvas = nullptr;
  scene.Render(0);  // no canvas: nothing happens
}

TEST(SpriteScene, TimeSettersConvertMilliseconds) {
  Scene scene;
  scene.SetStart(1000, 2);
  EXPECT_EQ(scene.GetStart(), 25);
  scene.SetEnd(999, 2);  // 24.975 truncated
  EXPECT_EQ(scene.GetEnd(), 24);
  EXPECT_EQ(scene.GetLength(), -1);
  scene.SetEnd(77, 1);
  EXPECT_EQ(scene.GetEnd(), 77);
  scene.SetPosition(40, 9);
  EXPECT_EQ(scene.GetPosition(), 40);
  Vell::SceneInfo info;
  scene.GetInfo(info);
  EXPECT_EQ(info.frameRate, 25);
  EXPECT_EQ(info.spare, 160);
}

}  // namespace

namespace {

// A flip-book without a step track plays at the scene's image rate whatever the scene's frame
// rate: at 50 frames a second each image stands for two frames, so frame 2f shows what frame f
// shows at 25.
TEST(SpriteScene, AFlipBookKeepsItsImageRateAtAnyFrameRate) {
  std::vector<int> shown[2];
  for (int i = 0; i < 2; ++i) {
    Scene scene("flip-book");
    scene.SetFrameRate(i == 0 ? Scene::kImageRate : 2 * Scene::kImageRate);
    std::unique_ptr<Sprite> sprite = MakeSequence(6);
    scene.sprites.Add(sprite.get());
    for (int frame = 0; frame < 24 * (i + 1); ++frame) {
      scene.Track(frame);
      shown[i].push_back(sprite->CurrentIndex());
    }
    scene.sprites.Clear();
  }
  EXPECT_EQ(shown[0], (std::vector<int>{0, 1, 2, 3, 4, 5, 0, 1, 2, 3, 4, 5,
                                        0, 1, 2, 3, 4, 5, 0, 1, 2, 3, 4, 5}));
  for (size_t f = 0; f < shown[0].size(); ++f) {
    EXPECT_EQ(shown[1][2 * f], shown[0][f]) << "frame " << 2 * f;
  }
}

}  // namespace
