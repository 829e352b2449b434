// The window on Qt's offscreen platform with two screens (screens.json): a 1920 x 1080 one, where
// the stage goes full screen and back, and one of device pixel ratio 2, where a canvas twice the
// stage's size lands on the device pixels 1:1.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QScreen>
#include <QTest>
#include <QWindow>
#include <cmath>
#include <cstdint>
#include <mutex>

#include "game/game.h"
#include "gfx/canvas.h"
#include "gui/mainframe.h"
#include "widgets/notice_line.h"
#include "widgets/stage_pane.h"
#include "window_fixture.h"

namespace {

using L::StagePane;

// Where the stage lies on a 1920 x 1080 screen: 815 x 400 times 1920 / 815, centred.
const QRect kFittedStage(0, 69, 1920, 942);

class Screens : public GuiTest::Gui {
 protected:
  void SetUp() override {
    Gui::SetUp();
    const QList<QScreen*> screens = QGuiApplication::screens();
    ASSERT_EQ(screens.size(), 2) << "screens.json was not read (QT_QPA_PLATFORM)";
    ASSERT_EQ(screens[0]->geometry(), QRect(0, 0, 1920, 1080));
    window->setGeometry(120, 90, 1024, 736);
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  }
  bool AwaitFullScreen(bool on) {
    return QTest::qWaitFor([&] {
      return window->isFullScreen() == on && (!on || window->geometry() == QRect(0, 0, 1920, 1080));
    });
  }
  size_t Opens() {
    size_t opens = 0;
    for (const std::string& call : module.Calls()) {
      opens += call.rfind("OpenFile", 0) == 0 ? 1 : 0;
    }
    return opens;
  }
  // Draws a picture of soft and sharp edges onto the game's canvas (a paused show leaves it there).
  void DrawOnCanvas() {
    const std::lock_guard<std::recursive_mutex> frame(frameLock);
    Vell::Gfx::Canvas& canvas = game->GetCanvas();
    for (int y = 0; y < canvas.Height(); ++y) {
      for (int x = 0; x < canvas.Width(); ++x) {
        const int cell = (x / 50 + y / 50) % 2;
        canvas.Pixels()[y * canvas.Width() + x] =
            qRgb(cell * 200 + x % 50, y * 255 / canvas.Height(), (x * 255 / canvas.Width()));
      }
    }
    canvas.Bitmap().Changed();
  }
  // The game's canvas as it is now.
  QImage Canvas() {
    const std::lock_guard<std::recursive_mutex> frame(frameLock);
    const Vell::Gfx::Canvas& canvas = game->GetCanvas();
    return QImage(reinterpret_cast<const uchar*>(canvas.Pixels()), canvas.Width(), canvas.Height(),
                  QImage::Format_RGB32)
        .copy();
  }
};

// Every pixel of a row is the colour.
::testing::AssertionResult RowIs(const QImage& image, int y, QRgb colour) {
  for (int x = 0; x < image.width(); ++x) {
    if ((image.pixel(x, y) | 0xFF000000u) != colour) {
      return ::testing::AssertionFailure() << "pixel " << x << "," << y << " is " << std::hex
                                           << image.pixel(x, y) << ", not " << colour;
    }
  }
  return ::testing::AssertionSuccess();
}

}  // namespace

TEST_F(Screens, F11ShowsTheStageOverTheWholeScreenAndEscReturnsToTheSameWindow) {
  const QRect windowed = window->geometry();
  EXPECT_EQ(window->RenderScale(), 1);
  QTest::keyClick(window.get(), Qt::Key_F11);
  ASSERT_TRUE(AwaitFullScreen(true));
  EXPECT_TRUE(window->StageFullScreen());
  EXPECT_EQ(window->RenderScale(), 2) << "a full-screen stage bigger than 815 x 400";
  QTest::qWait(50);

  // No song: the stage is the plain panel, the full width of the screen, black above and below.
  const QImage shot = window->grab().toImage();
  ASSERT_EQ(shot.size(), QSize(1920, 1080));
  for (int y = 0; y < 1080; y += 1) {
    const bool onStage = kFittedStage.contains(0, y);
    ASSERT_TRUE(RowIs(shot, y, onStage ? StagePane::kPanel : StagePane::kBars));
  }

  // A notice lies over the bottom of the full-screen stage.
  window->ShowNotice(QStringLiteral("told in full screen"));
  auto* line = window->findChild<L::NoticeLine*>();
  ASSERT_NE(line, nullptr);
  EXPECT_TRUE(line->isVisible());
  EXPECT_EQ(line->geometry().bottom(), kFittedStage.bottom());
  EXPECT_EQ(line->geometry().width(), 1920);
  EXPECT_EQ(window->childAt(960, kFittedStage.bottom() - 5), line);

  QTest::keyClick(window.get(), Qt::Key_Escape);
  ASSERT_TRUE(AwaitFullScreen(false));
  EXPECT_FALSE(window->StageFullScreen());
  EXPECT_TRUE(line->isVisible()) << "the notice is still shown";
  EXPECT_EQ(line->parentWidget(), window->Container());
  EXPECT_EQ(window->geometry(), windowed);
  EXPECT_EQ(window->RenderScale(), 1);
  // The stage is back in its place, under the notice line that lies over its bottom.
  EXPECT_EQ(window->Stage()->parentWidget(), window->Container());
  EXPECT_EQ(window->Stage()->geometry(), QRect(3, 32, 815, 400));
  EXPECT_TRUE(window->Stage()->isVisible());
  window->ShowNotice(QStringLiteral("over the stage"));
  EXPECT_EQ(window->Container()->childAt(400, 420), line);
  // Two notices now, the one told in full screen among them: two lines up from the same bottom.
  EXPECT_EQ(line->geometry(), QRect(3, 388, 815, 44));
  // Esc with the stage in the window does not toggle anything.
  QTest::keyClick(window.get(), Qt::Key_Escape);
  QTest::qWait(50);
  EXPECT_FALSE(window->isFullScreen());
  EXPECT_EQ(window->geometry(), windowed);
}

TEST_F(Screens, ADoubleClickTogglesWhileTheShowPlaysOnAndTheKeysKeepWorking) {
  Open();
  Frames(300);
  const size_t opens = Opens();
  QTest::mouseDClick(window->Stage(), Qt::LeftButton, Qt::NoModifier, QPoint(400, 200));
  ASSERT_TRUE(AwaitFullScreen(true));
  const int position = module.GetPositionMs();
  Frames(300);
  EXPECT_TRUE(game->GetState().running);
  EXPECT_FALSE(game->GetState().paused);
  EXPECT_GT(module.GetPositionMs(), position) << "the song plays on";

  // The transport's keys reach the game in full screen: Space pauses.
  QTest::keyClick(window.get(), Qt::Key_Space);
  EXPECT_TRUE(game->GetState().paused);
  Frames(200);  // the paused frame stays as it is from here on
  DrawOnCanvas();
  Frames(400);  // repainted while paused
  const QImage canvas = Canvas();
  const QImage shot = window->grab().toImage();
  ASSERT_EQ(shot.size(), QSize(1920, 1080));
  EXPECT_TRUE(RowIs(shot, 0, StagePane::kBars));
  EXPECT_TRUE(RowIs(shot, kFittedStage.top() - 1, StagePane::kBars));
  EXPECT_TRUE(RowIs(shot, kFittedStage.bottom() + 1, StagePane::kBars));
  EXPECT_TRUE(RowIs(shot, 1079, StagePane::kBars));
  // The stage rectangle holds the paused frame, scaled with its aspect kept.
  const QImage expected =
      canvas.scaled(kFittedStage.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  const QImage shown = shot.copy(kFittedStage).convertToFormat(QImage::Format_RGB32);
  double difference = 0;
  for (int y = 0; y < expected.height(); y += 3) {
    for (int x = 0; x < expected.width(); x += 3) {
      const QRgb a = expected.pixel(x, y);
      const QRgb b = shown.pixel(x, y);
      difference += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
                    std::abs(qBlue(a) - qBlue(b));
    }
  }
  const double samples = 3.0 * (expected.height() / 3 + 1) * (expected.width() / 3 + 1);
  EXPECT_LT(difference / samples, 2.0) << "mean difference per channel";
  EXPECT_EQ(canvas.pixel(60, 10), qRgb(210, 6, 18)) << "the frame is not the one drawn here";

  QTest::mouseDClick(window->Stage(), Qt::LeftButton, Qt::NoModifier, QPoint(960, 540));
  ASSERT_TRUE(AwaitFullScreen(false));
  EXPECT_TRUE(game->GetState().running);
  EXPECT_TRUE(game->GetState().paused) << "leaving full screen keeps the show's state";
  QTest::keyClick(window.get(), Qt::Key_Space);
  EXPECT_FALSE(game->GetState().paused);
  EXPECT_EQ(Opens(), opens) << "nothing was loaded again";
}

TEST_F(Screens, AHighDensityScreenWantsScaleTwoAndGetsTheCanvasOneToOne) {
  QScreen* dense = QGuiApplication::screens()[1];
  ASSERT_DOUBLE_EQ(dense->devicePixelRatio(), 2.0);
  StagePane pane;
  pane.setScreen(dense);
  pane.setGeometry(QRect(dense->geometry().topLeft() + QPoint(50, 50), QSize(815, 400)));
  QImage canvas(1630, 800, QImage::Format_RGB32);
  uint32_t state = 99;
  for (int y = 0; y < canvas.height(); ++y) {
    for (int x = 0; x < canvas.width(); ++x) {
      state = state * 1664525u + 1013904223u;
      canvas.setPixel(x, y, 0xFF000000u | (state >> 8));
    }
  }
  pane.SetFramePainter([&](QPainter& painter) {
    pane.DrawCanvas(painter, canvas);
    return true;
  });
  pane.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&pane));
  EXPECT_DOUBLE_EQ(pane.devicePixelRatioF(), 2.0);
  EXPECT_EQ(pane.WantedRenderScale(), 2);
  QImage shot = pane.grab().toImage();
  ASSERT_EQ(shot.size(), QSize(1630, 800));
  shot.setDevicePixelRatio(1);
  EXPECT_EQ(shot.convertToFormat(QImage::Format_RGB32), canvas);
}

// The window on the high-density screen asks the game for scale 2: the next show is drawn on a
// canvas twice the stage's size, which the stage shows pixel for pixel.
TEST_F(Screens, OnAHighDensityScreenTheShowIsDrawnAtScaleTwoAndShownOneToOne) {
  QScreen* dense = QGuiApplication::screens()[1];
  window->windowHandle()->setScreen(dense);
  window->setGeometry(QRect(dense->geometry().topLeft() + QPoint(20, 20), QSize(1024, 736)));
  ASSERT_TRUE(QTest::qWaitFor([&] { return window->devicePixelRatioF() == 2.0; }));
  ASSERT_TRUE(QTest::qWaitFor([&] { return game->GetRenderScale() == 2; }));
  Open();
  Frames(300);
  {
    const std::lock_guard<std::recursive_mutex> frame(frameLock);
    EXPECT_EQ(game->GetCanvas().Scale(), 2);
    EXPECT_EQ(game->GetCanvas().Width(), 1630);
    EXPECT_EQ(game->GetCanvas().Height(), 800);
  }
  game->Pause();
  ASSERT_TRUE(game->GetState().paused);
  Frames(200);
  DrawOnCanvas();
  Frames(400);
  QImage shot = window->Stage()->grab().toImage();
  ASSERT_EQ(shot.size(), QSize(1630, 800));
  shot.setDevicePixelRatio(1);
  EXPECT_EQ(shot.convertToFormat(QImage::Format_RGB32), Canvas());
}
