// The toolkit's views under Qt's offscreen platform: what they show and what they report.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>
#include <algorithm>
#include <cmath>

#include "gfx/lyric_page.h"
#include "qtext/text_painter.h"
#include "widgets/image_button.h"
#include "widgets/lyric_pane.h"
#include "widgets/mixer_strip.h"
#include "widgets/notice_line.h"
#include "widgets/play_list.h"
#include "widgets/stage_pane.h"
#include "widgets/time_bar.h"

namespace {

QApplication& App() {
  static int argc = 1;
  static char name[] = "widgets_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

class Widgets : public ::testing::Test {
 protected:
  void SetUp() override { App(); }
};

// The contrast ratio of two colours as the web's accessibility guidelines define it: relative
// luminance from linearised sRGB, (lighter + 0.05) / (darker + 0.05).
double Contrast(const QColor& a, const QColor& b) {
  auto luminance = [](const QColor& c) {
    auto linear = [](double v) {
      return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
  };
  const double x = luminance(a);
  const double y = luminance(b);
  return (std::max(x, y) + 0.05) / (std::min(x, y) + 0.05);
}

using Vell::Gfx::LayoutLyricPage;
using Vell::Gfx::LyricLine;

std::vector<std::string> texts(const std::vector<LyricLine>& lines) {
  std::vector<std::string> out;
  for (const auto& line : lines) {
    out.push_back(line.text.substr(0, line.sungBytes) + "|" + line.text.substr(line.sungBytes));
  }
  return out;
}

}  // namespace

TEST(LyricPage, ShortPagesShowEveryLineWithTheSungPartMarked) {
  const std::vector<std::string> page = {"Lights ", "come ", "up", "/Some", "body ", "hums"};
  using V = std::vector<std::string>;
  EXPECT_EQ(texts(LayoutLyricPage(page, -1, 2)), (V{"|Lights come up", "|Somebody hums"}));
  EXPECT_EQ(texts(LayoutLyricPage(page, 1, 2)), (V{"Lights come |up", "|Somebody hums"}));
  EXPECT_EQ(texts(LayoutLyricPage(page, 3, 2)), (V{"Lights come up|", "Some|body hums"}));
  EXPECT_EQ(texts(LayoutLyricPage(page, 5, 2)), (V{"Lights come up|", "Somebody hums|"}));
  EXPECT_TRUE(LayoutLyricPage({}, 0, 0).empty());
}

TEST(LyricPage, LongPagesScrollByTwoLinesAtEverySecondBreak) {
  // Six lines of two syllables: line k holds "a<k>" and "b<k>", lines 2.. begin with "/".
  std::vector<std::string> page;
  for (int k = 1; k <= 6; ++k) {
    page.push_back((k > 1 ? "/a" : "a") + std::to_string(k));
    page.push_back("b" + std::to_string(k));
  }
  using V = std::vector<std::string>;
  // On the first or second line (fewer than two breaks): three lines from the top.
  EXPECT_EQ(texts(LayoutLyricPage(page, 0, 6)), (V{"a1|b1", "|a2b2", "|a3b3"}));
  EXPECT_EQ(texts(LayoutLyricPage(page, 3, 6)), (V{"a1b1|", "a2b2|", "|a3b3"}));
  // Third line (two breaks): 6 - 2 = 4 lines left, shown as three from the second break.
  EXPECT_EQ(texts(LayoutLyricPage(page, 4, 6)), (V{"a3|b3", "|a4b4", "|a5b5"}));
  // Fifth line (four breaks): two lines from the fourth break.
  EXPECT_EQ(texts(LayoutLyricPage(page, 9, 6)), (V{"a5b5|", "|a6b6"}));
  // Sixth line still scrolls from the fourth break (five breaks, ⌊5/2⌋ = 2 pairs).
  EXPECT_EQ(texts(LayoutLyricPage(page, 11, 6)), (V{"a5b5|", "a6b6|"}));
  // Without a current syllable the walk goes to the end of the page.
  EXPECT_EQ(texts(LayoutLyricPage(page, -1, 6)), (V{"|a5b5", "|a6b6"}));
}

TEST_F(Widgets, LyricPaneDrawsTheSungPartInTheKaraokeColour) {
  Vell::QText::TextPainter text;
  L::LyricPane pane(&text);
  pane.resize(815, 152);
  pane.SetLines(LayoutLyricPage({"MMMM", "WWWW"}, 0, 1));
  const QImage image = pane.grab().toImage();
  ASSERT_EQ(image.width(), 815);
  // Glyph interiors carry the pen colour exactly: every sung pixel lies left of every unsung one.
  int sung = 0, unsung = 0, lastSung = -1, firstUnsung = image.width();
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (image.pixel(x, y) == Vell::Gfx::Karaoke::kSung) {
        ++sung;
        lastSung = std::max(lastSung, x);
      } else if (image.pixel(x, y) == Vell::Gfx::Karaoke::kUnsung) {
        ++unsung;
        firstUnsung = std::min(firstUnsung, x);
      }
    }
  }
  EXPECT_GT(sung, 100);
  EXPECT_GT(unsung, 100);
  EXPECT_LT(lastSung, firstUnsung);
  EXPECT_NEAR((lastSung + firstUnsung) / 2, 407, 60);  // the line is centred
  EXPECT_EQ(image.pixel(2, 2), Vell::Gfx::Karaoke::kBackground);
  EXPECT_EQ(image.pixel(812, 140), Vell::Gfx::Karaoke::kBackground);
}

TEST_F(Widgets, BalanceKnobSharesTheCrowdBetweenLeftAndRight) {
  EXPECT_EQ(L::BalanceGains(32), std::make_pair(0.5F, 1.0F));
  EXPECT_EQ(L::BalanceGains(-32), std::make_pair(1.0F, 0.5F));
  EXPECT_EQ(L::BalanceGains(64), std::make_pair(0.0F, 1.0F));
  EXPECT_EQ(L::BalanceGains(-64), std::make_pair(1.0F, 0.0F));
  EXPECT_EQ(L::BalanceGains(0), std::make_pair(1.0F, 1.0F));
}

TEST_F(Widgets, MixerStripReportsTheUsersMovesButNotTheWindowsOwn) {
  L::MixerStrip strip(false, 48);
  QSignalSpy artists(&strip, &L::MixerStrip::ArtistsClicked);
  QSignalSpy sound(&strip, &L::MixerStrip::SoundClicked);
  QSignalSpy pan(&strip, &L::MixerStrip::PanMoved);
  QSignalSpy level(&strip, &L::MixerStrip::LevelMoved);
  EXPECT_EQ(strip.ArtistsButton()->text(), "A");
  EXPECT_EQ(strip.SoundButton()->text(), "S");
  EXPECT_EQ(strip.ArtistsButton()->geometry(), QRect(QPoint(3, 22), QPoint(22, 39)));
  // On and off look plainly different: the face's colour at the button's centre.
  strip.show();
  auto face = [](QPushButton* button) {
    const QImage image = button->grab().toImage();
    return image.pixelColor(3, image.height() / 2);
  };
  strip.SetSoundPressed(true);
  EXPECT_EQ(face(strip.SoundButton()).rgba(), L::MixerStrip::kOnFace);
  strip.SetSoundPressed(false);
  EXPECT_EQ(face(strip.SoundButton()).rgba(), L::MixerStrip::kOffFace);
  EXPECT_GE(
      Contrast(QColor::fromRgba(L::MixerStrip::kOnFace), QColor::fromRgba(L::MixerStrip::kOffFace)),
      3.0);
  QTest::mouseClick(strip.ArtistsButton(), Qt::LeftButton);
  QTest::mouseClick(strip.SoundButton(), Qt::LeftButton);
  EXPECT_EQ(artists.count(), 1);
  EXPECT_EQ(sound.count(), 1);
  strip.SetPan(-20);
  strip.SetLevel(100);
  EXPECT_EQ(pan.count(), 0);
  EXPECT_EQ(level.count(), 0);
  EXPECT_EQ(strip.Pan(), -20);
  strip.PanKnob()->setValue(90);  // clamped to the knob's range
  ASSERT_EQ(pan.count(), 1);
  EXPECT_EQ(pan.at(0).at(0).toInt(), 64);
  strip.LevelSlider()->setValue(120);
  ASSERT_EQ(level.count(), 1);
  EXPECT_EQ(level.at(0).at(0).toInt(), 120);

  L::MixerStrip master(true, 46);
  EXPECT_EQ(master.SoundButton(), nullptr);
  EXPECT_TRUE(master.ArtistsButton()->text().isEmpty());
  EXPECT_EQ(master.ArtistsButton()->geometry(), QRect(QPoint(4, 22), QPoint(41, 39)));
}

TEST_F(Widgets, PlayListMarksTheCurrentRowAndReportsEdits) {
  L::PlayList list;
  list.SetItems({"/songs/a.mid", "/songs/b.kar", "/songs/c.kesh"}, 1);
  ASSERT_EQ(list.count(), 3);
  EXPECT_EQ(list.item(0)->text(), "a.mid");
  EXPECT_EQ(list.item(1)->background().color().rgba(), L::PlayList::kCurrentRow);
  EXPECT_NE(list.item(0)->background().color().rgba(), L::PlayList::kCurrentRow);
  EXPECT_EQ(list.PathOf(2), "/songs/c.kesh");
  EXPECT_EQ(list.PathOf(3), "");
  // The current row reads well: contrast of at least 4.5:1 between its text and background.
  EXPECT_GE(Contrast(list.item(1)->foreground().color(), list.item(1)->background().color()), 4.5);

  QSignalSpy removed(&list, &L::PlayList::RemoveRequested);
  QSignalSpy moved(&list, &L::PlayList::MoveRequested);
  QSignalSpy played(&list, &L::PlayList::PlayRequested);
  list.setCurrentRow(2);
  QTest::keyClick(&list, Qt::Key_Up, Qt::ControlModifier);
  QTest::keyClick(&list, Qt::Key_Delete);
  QTest::keyClick(&list, Qt::Key_Space);
  ASSERT_EQ(moved.count(), 1);
  EXPECT_EQ(moved.at(0).at(0).toInt(), 2);
  EXPECT_EQ(moved.at(0).at(1).toInt(), -1);
  ASSERT_EQ(removed.count(), 1);
  EXPECT_EQ(removed.at(0).at(0).toInt(), 2);
  ASSERT_EQ(played.count(), 1);

  QStringList labels;
  for (QAction* action : list.BuildMenu()->actions()) {
    labels << (action->isSeparator() ? QStringLiteral("-") : action->text());
  }
  EXPECT_EQ(labels, (QStringList{"Add item(s)...", "Save playlist...", "-", "Play item\tSpace",
                                 "Remove item\tDelete", "Remove all"}));

  // A current index outside the rows marks nothing.
  list.SetItems({"x.mid"}, 4);
  EXPECT_EQ(list.CurrentItem(), -1);
}

TEST_F(Widgets, PlayListTakesDroppedLocalFiles) {
  L::PlayList list;
  QSignalSpy dropped(&list, &L::PlayList::FilesDropped);
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile("/tmp/one.mid"), QUrl("http://example.invalid/x.mid"),
                QUrl::fromLocalFile("/tmp/two.m3u")});
  list.show();
  // The event sequence of a real drag: enter, move, drop.
  QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(list.viewport(), &enter);
  QDragMoveEvent move(QPoint(6, 6), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(list.viewport(), &move);
  QDropEvent drop(QPointF(6, 6), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(list.viewport(), &drop);
  ASSERT_EQ(dropped.count(), 1);
  EXPECT_EQ(dropped.at(0).at(0).value<QByteArrayList>(),
            (QByteArrayList{"/tmp/one.mid", "/tmp/two.m3u"}));
  // A name that is not UTF-8 keeps its bytes.
  data.setUrls({QUrl(QStringLiteral("file:///tmp/caf%E9.mid"))});
  EXPECT_EQ(L::LocalFilesOf(&data), QByteArrayList{"/tmp/caf\xe9.mid"});
}

TEST(TimeBar, MarkerGrowsWithThePositionOverTheTrackLeftByTheMarker) {
  EXPECT_EQ(L::TimeBar::FilledColumns(6, 0, 1000), 0);
  EXPECT_EQ(L::TimeBar::FilledColumns(6, 500, 1000), 105);   // (216 - 6) / 2
  EXPECT_EQ(L::TimeBar::FilledColumns(6, 1000, 1000), 210);  // full track
  EXPECT_EQ(L::TimeBar::FilledColumns(6, 5000, 1000), 210);  // past the end stays full
  EXPECT_EQ(L::TimeBar::FilledColumns(16, 333, 1000), 66);   // 333 * 200 / 1000
  EXPECT_EQ(L::TimeBar::FilledColumns(6, 10, 0), 0);         // no song length
}

TEST_F(Widgets, ImageButtonShowsTheFaceOfItsState) {
  // A strip of four 10 x 8 faces in four plain colours.
  const QRgb colours[4] = {0xFF102030, 0xFF405060, 0xFF708090, 0xFFA0B0C0};
  QImage strip(40, 8, QImage::Format_ARGB32);
  for (int x = 0; x < 40; ++x) {
    for (int y = 0; y < 8; ++y) {
      strip.setPixel(x, y, colours[x / 10]);
    }
  }
  L::ImageButton button(QPixmap::fromImage(strip), "Play");
  EXPECT_EQ(button.size(), QSize(10, 8));
  EXPECT_EQ(button.toolTip(), "Play");
  auto shown = [&button] { return button.grab().toImage().pixel(5, 4); };
  EXPECT_EQ(shown(), colours[0]);
  button.setCheckable(true);
  button.setChecked(true);
  EXPECT_EQ(shown(), colours[2]);
  button.setEnabled(false);
  EXPECT_EQ(shown(), colours[3]);
}

TEST_F(Widgets, RegionFrameReportsTheRegionUnderAClick) {
  QPixmap image(82, 56);
  image.fill(Qt::darkGray);
  L::RegionFrame frame(image, image,
                       {QRectF(0, 0, 0.5, 0.5), QRectF(0.5, 0, 0.5, 0.5), QRectF(0, 0.5, 1, 0.5)});
  QSignalSpy clicked(&frame, &L::RegionFrame::RegionClicked);
  EXPECT_EQ(frame.RegionAt(QPoint(10, 10)), 0);
  EXPECT_EQ(frame.RegionAt(QPoint(41, 27)), 1);  // 41 / 82 = 0.5 belongs to the right half
  EXPECT_EQ(frame.RegionAt(QPoint(81, 55)), 2);
  QTest::mouseClick(&frame, Qt::LeftButton, Qt::NoModifier, QPoint(60, 40));
  QTest::mouseClick(&frame, Qt::RightButton, Qt::NoModifier, QPoint(60, 40));
  ASSERT_EQ(clicked.count(), 1);
  EXPECT_EQ(clicked.at(0).at(0).toInt(), 2);
}

// Notices that come together are all read: they stack, the newest on top, up to three, growing
// upwards from the line's place; once faded, the next notice stands alone again.
TEST_F(Widgets, NoticesThatComeTogetherStackAndFadeTogether) {
  QWidget stage;
  stage.resize(400, 200);
  auto* line = new L::NoticeLine(&stage);
  line->setGeometry(0, 170, 400, 20);
  stage.show();
  EXPECT_EQ(line->Shown(), "");
  line->Show("module");
  line->Show("soundfont");
  EXPECT_EQ(line->Shown(), "soundfont\nmodule");
  EXPECT_EQ(line->geometry(), QRect(0, 150, 400, 40));
  line->Show("output");
  line->Show("fourth");
  EXPECT_EQ(line->Shown(), "fourth\noutput\nsoundfont");
  EXPECT_EQ(line->geometry(), QRect(0, 130, 400, 60));
  ASSERT_TRUE(QTest::qWaitFor([&] { return line->Shown().isEmpty(); },
                              L::NoticeLine::kShownMs + L::NoticeLine::kFadeMs + 2000));
  line->Show("later");
  EXPECT_EQ(line->Shown(), "later");
  EXPECT_EQ(line->geometry(), QRect(0, 170, 400, 20));
}

using L::StagePane;

TEST(StagePane, RenderScaleFollowsTheScreensDensityAndFullScreen) {
  const QSize fullHd(1920, 1080);
  EXPECT_EQ(StagePane::RenderScaleFor(1.0, fullHd, false), 1);
  EXPECT_EQ(StagePane::RenderScaleFor(1.25, fullHd, false), 1);
  EXPECT_EQ(StagePane::RenderScaleFor(1.5, fullHd, false), 2);
  EXPECT_EQ(StagePane::RenderScaleFor(2.0, QSize(1630, 800), false), 2);
  EXPECT_EQ(StagePane::RenderScaleFor(1.0, fullHd, true), 2);
  // In full screen only a screen that shows the stage bigger than at scale 1 wants scale 2.
  EXPECT_EQ(StagePane::RenderScaleFor(1.0, QSize(815, 400), true), 1);
  EXPECT_EQ(StagePane::RenderScaleFor(1.0, QSize(1024, 400), true), 1);
  EXPECT_EQ(StagePane::RenderScaleFor(1.0, QSize(1024, 768), true), 2);
}

TEST(StagePane, FullScreenFitsTheStageWithItsAspectBetweenBars) {
  // 1080 / 400 = 2.7 > 1920 / 815 = 2.3558: the width limits; 400 * 2.3558 = 942.3.
  EXPECT_EQ(StagePane::FitStage(QSize(1920, 1080)), QRect(0, 69, 1920, 942));
  EXPECT_EQ(StagePane::FitStage(QSize(815, 400)), QRect(0, 0, 815, 400));
  // A wide screen: the height limits, 815 * 1200 / 400 = 2445.
  EXPECT_EQ(StagePane::FitStage(QSize(3440, 1200)), QRect(497, 0, 2445, 1200));
  EXPECT_EQ(StagePane::FitStage(QSize(1280, 1024)), QRect(0, 198, 1280, 628));
}

TEST(StagePane, AScaleOneCanvasIsFilteredOntoADenserDevice) {
  App();
  const QRect stage(0, 0, StagePane::kStageWidth, StagePane::kStageHeight);
  // A scale 1 canvas on a 2x device: black left half, white right half. Sampled, every device
  // pixel would be black or white; filtered, the two columns at the edge are in between.
  QImage canvas(stage.size(), QImage::Format_RGB32);
  canvas.fill(Qt::black);
  QPainter(&canvas).fillRect(400, 0, 415, 400, Qt::white);
  QImage device(stage.size() * 2, QImage::Format_RGB32);
  device.setDevicePixelRatio(2);
  {
    QPainter painter(&device);
    StagePane::DrawCanvas(painter, stage, canvas);
  }
  EXPECT_EQ(qRed(device.pixel(700, 200)), 0);
  EXPECT_EQ(qRed(device.pixel(900, 200)), 255);
  int between = 0;
  for (int x = 790; x < 810; ++x) {
    const int red = qRed(device.pixel(x, 200));
    between += red > 20 && red < 235 ? 1 : 0;
  }
  EXPECT_GE(between, 2);
}

TEST_F(Widgets, TheCursorHidesOverAnIdleFullScreenStageOnly) {
  StagePane pane;
  pane.resize(1920, 1080);
  pane.SetFullScreen(true);
  EXPECT_EQ(pane.cursor().shape(), Qt::ArrowCursor);
  QTest::qWait(StagePane::kCursorIdleMs + 300);
  EXPECT_EQ(pane.cursor().shape(), Qt::BlankCursor);
  QMouseEvent move(QEvent::MouseMove, QPointF(500, 500), QPointF(500, 500), Qt::NoButton,
                   Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(&pane, &move);
  EXPECT_EQ(pane.cursor().shape(), Qt::ArrowCursor);
  pane.SetFullScreen(false);
  QTest::qWait(StagePane::kCursorIdleMs + 300);
  EXPECT_EQ(pane.cursor().shape(), Qt::ArrowCursor) << "the cursor hides only in full screen";
}
