// The window's playlist runs and file handling through the real window (offscreen): hostile
// playlists, Previous/Next at the ends, the end of a run, failed opens and Stop leaving the plain
// stage, names that are not UTF-8, the file dialogs' filters and overwrite question, the saved MIDI
// output, and the keys and looks a user relies on.
#include <sys/stat.h>

#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "app/window.h"
#include "game/player.h"
#include "gfx/lyric_page.h"
#include "gui/file_dialogs.h"
#include "gui/local_files.h"
#include "gui/playlist_run.h"
#include "widgets/image_button.h"
#include "widgets/lyric_pane.h"
#include "widgets/play_list.h"
#include "widgets/stage_pane.h"
#include "widgets/time_bar.h"
#include "window_fixture.h"

namespace {

using GuiTest::Gui;
using Kesh::GUI::Mainframe;
using Kesh::GUI::PlaylistRun;

// The game's messages go through the window, as in the program.
class Window : public Gui {
 protected:
  Window() { windowMessages = true; }

  void Write(const std::string& name, const std::string& text) {
    std::ofstream(folder.Path(name), std::ios::binary) << text;
  }
  // Waits (serving the window's events) until the playlist run has ended; a hang fails the test
  // instead of blocking it.
  void AwaitRun() {
    for (int i = 0; i < 6000 && window->PlaylistRunning(); ++i) {
      QTest::qWait(10);
    }
    ASSERT_FALSE(window->PlaylistRunning()) << "the playlist run did not end within 60 s";
  }
  size_t Opened(const std::string& name) { return module.Count("OpenFile " + folder.Path(name)); }
  // Whether every pixel of the stage shows the plain panel.
  bool PlainStage() {
    const QImage shown = window->findChild<L::StagePane*>()->grab().toImage();
    for (int y = 0; y < shown.height(); ++y) {
      for (int x = 0; x < shown.width(); ++x) {
        if (shown.pixel(x, y) != L::StagePane::kPanel) {
          return false;
        }
      }
    }
    return true;
  }
  // Runs answer(dialog) on the next modal dialog of type T once it shows.
  template <typename T>
  static void OnDialog(std::function<void(T*)> answer) {
    QTimer::singleShot(50, [answer] {
      auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
      ASSERT_NE(dialog, nullptr);
      answer(dialog);
    });
  }
};

TEST_F(Window, HostilePlaylistsAreSkippedAndTheRunGivesUp) {
  // A folder entry, a 10 MB line, a FIFO and a missing song, then a song.
  std::filesystem::create_directory(folder.Path("folder.mid"));
  ASSERT_EQ(::mkfifo(folder.Path("fifo.mid").c_str(), 0600), 0);
  Write("hostile.m3u",
        "folder.mid\n" + std::string(10 << 20, 'x') + ".mid\nfifo.mid\nnowhere.mid\nsong.mid\n");
  window->OpenFiles({folder.Path("hostile.m3u")});
  AwaitRun();
  EXPECT_TRUE(game->GetState().running) << window->Notice().toStdString();
  EXPECT_EQ(game->GetPlaylist().Count(), 4) << "the long line is left out";
  EXPECT_EQ(game->GetPlaylist().GetCurrent(), 3);
  EXPECT_EQ(Opened("folder.mid") + Opened("fifo.mid") + Opened("nowhere.mid"), 0u)
      << "refused before the module";
  EXPECT_EQ(Opened("song.mid"), 1u);
  EXPECT_EQ(window->windowTitle(), "Tavro - song.mid");

  // 100,000 missing songs: the run gives up after its limit of failures in a row, and says why.
  std::string lines;
  for (int i = 0; i < 100000; ++i) {
    lines += "missing-" + std::to_string(i) + ".mid\n";
  }
  Write("missing.m3u", lines);
  window->OpenFiles({folder.Path("missing.m3u")});
  EXPECT_TRUE(window->PlaylistRunning()) << "one item a turn: the window answers meanwhile";
  AwaitRun();
  EXPECT_FALSE(game->GetState().running);
  EXPECT_EQ(game->GetPlaylist().GetCurrent(), PlaylistRun::kMaxFailuresInARow - 1);
  EXPECT_TRUE(window->Notice().startsWith(
      QStringLiteral("Stopped the playlist: %1 items in a row could not be opened")
          .arg(PlaylistRun::kMaxFailuresInARow)))
      << window->Notice().toStdString();
  EXPECT_TRUE(window->Notice().contains(QStringLiteral("missing-9.mid: no such file")));
  EXPECT_EQ(window->PlaylistView()->count(), 100000);
  EXPECT_TRUE(PlainStage());
}

TEST_F(Window, AnUnreadableSongIsANoticeWithTheReasonAndTheRunGoesOn) {
  Write("second.mid", "MThd");
  Write("list.m3u", "song.mid\nsecond.mid\n");
  module.accept = false;
  module.refusal = "no MThd header";
  window->OpenFiles({folder.Path("list.m3u")});
  // No box stops the run: both are tried, each refusal becomes a notice with the module's reason.
  AwaitRun();
  EXPECT_EQ(Opened("song.mid"), 1u);
  EXPECT_EQ(Opened("second.mid"), 1u);
  EXPECT_TRUE(window->Notice().contains("second.mid")) << window->Notice().toStdString();
  EXPECT_TRUE(window->Notice().contains("no MThd header")) << window->Notice().toStdString();
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(Window, PreviousAndNextStopAtTheEndsAndTheRunStopsAfterItsLastSong) {
  Write("b.mid", "MThd");
  Write("c.midi", "MThd");  // ".midi" is a song too
  window->OpenFiles({folder.Path("song.mid"), folder.Path("b.mid"), folder.Path("c.midi")});
  ASSERT_TRUE(game->GetState().running);
  auto& playlist = game->GetPlaylist();
  module.ClearCalls();
  Click(window->Transport(103));  // Previous on the first song: nothing changes
  EXPECT_EQ(playlist.GetCurrent(), 0);
  EXPECT_EQ(module.Count("OpenFile " + folder.Path("song.mid")), 0u);
  Click(window->Transport(107));
  EXPECT_EQ(playlist.GetCurrent(), 1);
  Click(window->Transport(103));
  EXPECT_EQ(playlist.GetCurrent(), 0);
  Click(window->Transport(107));
  Click(window->Transport(107));
  EXPECT_EQ(playlist.GetCurrent(), 2);
  EXPECT_EQ(Opened("c.midi"), 1u);
  EXPECT_EQ(window->windowTitle(), "Tavro - c.midi");
  Click(window->Transport(107));  // Next on the last song wraps to the first
  EXPECT_EQ(playlist.GetCurrent(), 0);

  // The end of a song plays the next one; the end of the last one stops the show.
  Kesh::App::IWindow* main = window->GetFrontEnd().mainWindow;
  playlist.SetCurrent(1);
  main->Post(Kesh::App::kSongEndMessage, 0, 0);
  for (int i = 0; i < 300 && playlist.GetCurrent() != 2; ++i) {
    QTest::qWait(10);
  }
  EXPECT_EQ(playlist.GetCurrent(), 2);
  EXPECT_TRUE(game->GetState().running);
  main->Post(Kesh::App::kSongEndMessage, 0, 0);
  // The posted end is handled on a later turn of the event loop.
  for (int i = 0; i < 500 && (game->GetState().running || game->ThreadRunning()); ++i) {
    QTest::qWait(10);
  }
  EXPECT_FALSE(game->GetState().running);
  EXPECT_FALSE(game->ThreadRunning()) << "the frame thread ends with the show";
  EXPECT_EQ(playlist.GetCurrent(), 2) << "the last song stays the current item";
  // Paints the frame thread queued before it ended are served, then the views are cleared.
  for (int i = 0; i < 300 && (window->Timeline()->Length() != 0 || !PlainStage()); ++i) {
    QTest::qWait(10);
  }
  EXPECT_EQ(window->Timeline()->Length(), 0);
  EXPECT_TRUE(PlainStage());
}

TEST_F(Window, AFailedOpenAndStopLeaveThePlainStage) {
  Open();
  Click(window->Transport(100));  // karaoke view
  for (int i = 0; i < 300 && PlainStage(); ++i) {
    QTest::qWait(10);
  }
  ASSERT_FALSE(PlainStage()) << "a running show paints its frames";
  for (int i = 0; i < 300 && window->Timeline()->Length() == 0; ++i) {
    QTest::qWait(10);
  }
  ASSERT_NE(window->Timeline()->Length(), 0) << "the time bar follows the song";
  window->KaraokeView()->SetLines({Vell::Gfx::LyricLine{"Lights come up", 6}});
  Click(window->Transport(105));
  for (int i = 0; i < 300 && (window->Timeline()->Length() != 0 || !PlainStage()); ++i) {
    QTest::qWait(10);
  }
  EXPECT_EQ(window->Timeline()->Length(), 0);
  EXPECT_TRUE(window->KaraokeView()->Lines().empty());
  EXPECT_TRUE(PlainStage()) << "after Stop";

  Open();
  QTest::qWait(200);
  module.accept = false;
  window->OpenFiles({folder.Path("song.mid")});
  AwaitRun();
  EXPECT_FALSE(game->GetState().running);
  for (int i = 0; i < 300 && (window->Timeline()->Length() != 0 || !PlainStage()); ++i) {
    QTest::qWait(10);
  }
  EXPECT_EQ(window->Timeline()->Length(), 0);
  EXPECT_TRUE(PlainStage()) << "after a failed open";
}

TEST_F(Window, NamesThatAreNotUtf8OpenWithTheirBytes) {
  const std::string name = "caf\xe9 \xff.mid";  // Latin-1 bytes, not UTF-8
  Write(name, "MThd");
  window->OpenFiles(std::vector<std::string>{folder.Path(name)});
  EXPECT_EQ(Opened(name), 1u);
  EXPECT_TRUE(game->GetState().running);

  // From a playlist, relative to it.
  Write("latin.m3u", name + "\n");
  window->OpenFiles({folder.Path("latin.m3u")});
  EXPECT_EQ(Opened(name), 2u);

  // Dropped: the URL carries the bytes percent-encoded.
  QMimeData data;
  data.setUrls({QUrl(
      QStringLiteral("file://") +
      QString::fromLatin1(QByteArray::fromStdString(folder.Path(name)).toPercentEncoding("/")))});
  QWidget* target = window->PlaylistView()->viewport();
  QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &enter);
  QDragMoveEvent move(QPoint(6, 6), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &move);
  QDropEvent drop(QPointF(6, 6), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &drop);
  EXPECT_EQ(Opened(name), 3u);
  EXPECT_EQ(window->PlaylistView()->PathOf(0), folder.Path(name));

  // Chosen in a dialog: Qt shows the name with replacement characters; its bytes are found.
  EXPECT_EQ(Kesh::GUI::LocalPathOf(QFile::decodeName(QByteArray::fromStdString(folder.Path(name)))),
            folder.Path(name));
}

TEST_F(Window, TheOpenDialogOffersEverythingTheWindowOpensFirst) {
  QStringList filters;
  QString chosen;
  OnDialog<QFileDialog>([&](QFileDialog* dialog) {
    filters = dialog->nameFilters();
    chosen = dialog->selectedNameFilter();
    dialog->reject();
  });
  Click(window->Tool(100));
  EXPECT_EQ(filters, Kesh::GUI::FileDialogs::OpenFilters());
  for (const char* pattern : {"*.mid", "*.midi", "*.kar", "*.kesh", "*.m3u"}) {
    EXPECT_TRUE(chosen.contains(pattern)) << chosen.toStdString() << " lacks " << pattern;
  }
}

TEST_F(Window, SavingUnderANameWithoutItsExtensionAsksBeforeReplacing) {
  Open();
  for (const auto& [extension, save] : std::vector<std::pair<std::string, std::function<void()>>>{
           {"m3u", [this] { emit window->PlaylistView()->SaveRequested(); }},
           {"kesh", [this] { Click(window->Tool(101)); }}}) {
    Write("mine." + extension, "keep me");
    QString question;
    OnDialog<QFileDialog>([&](QFileDialog* dialog) {
      dialog->setDirectory(QString::fromStdString(folder.Root()));
      dialog->findChild<QLineEdit*>()->setText(QStringLiteral("mine"));
      OnDialog<QMessageBox>([&question](QMessageBox* box) {
        question = box->text();
        box->button(QMessageBox::No)->click();
      });
      QTest::keyClick(dialog->findChild<QLineEdit*>(), Qt::Key_Return);
      // "No" keeps the dialog open; the user then cancels.
      QTimer::singleShot(200, dialog, &QDialog::reject);
    });
    save();
    EXPECT_TRUE(question.contains(QString::fromStdString("mine." + extension)))
        << question.toStdString();
    std::ifstream kept(folder.Path("mine." + extension));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "keep me");
  }
}

TEST_F(Window, TheSavedMidiOutputOpensAtStartOrTheSynthesizerPlaysWithANotice) {
  game->GetProfile().device = 1;
  window->AttachGame(game.get());
  EXPECT_EQ(module.selected, std::vector<int>{1});
  EXPECT_EQ(game->GetProfile().device, 1);
  module.outputWorks = false;
  window->AttachGame(game.get());
  EXPECT_EQ(game->GetProfile().device, Mainframe::kBuiltInOutput);
  EXPECT_TRUE(window->Notice().contains("built-in synthesizer")) << window->Notice().toStdString();

  // Saved with its name, the port is found where it now stands in the list, or told gone.
  module.outputWorks = true;
  module.selected.clear();
  module.outputNames = {"Synth", "Port B", "Port A"};
  game->GetProfile().device = 1;
  game->GetProfile().deviceName = "Port A";
  window->AttachGame(game.get());
  EXPECT_EQ(module.selected, std::vector<int>{2});
  EXPECT_EQ(game->GetProfile().device, 2);
  module.outputNames = {"Synth", "Port B"};
  window->AttachGame(game.get());
  EXPECT_EQ(module.selected, std::vector<int>{2}) << "Port B is not the port that was chosen";
  EXPECT_EQ(game->GetProfile().device, Mainframe::kBuiltInOutput);
  EXPECT_TRUE(game->GetProfile().deviceName.empty());
  EXPECT_TRUE(window->Notice().contains("(\"Port A\") is gone")) << window->Notice().toStdString();
}

TEST_F(Window, KeysSizeAndSaveAreWhereAUserExpectsThem) {
  EXPECT_GE(window->minimumWidth(), Mainframe::kContainerWidth);
  EXPECT_GE(window->minimumHeight(), Mainframe::kContainerHeight);
  window->resize(100, 100);
  EXPECT_TRUE(window->rect().contains(window->Container()->geometry()));

  EXPECT_FALSE(window->Tool(101)->isEnabled()) << "nothing to save";
  EXPECT_FALSE(window->Tool(101)->toolTip().isEmpty());
  Open();
  EXPECT_TRUE(window->Tool(101)->isEnabled());
  QApplication::setActiveWindow(window.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  QTest::keyClick(window.get(), Qt::Key_Space);
  EXPECT_TRUE(game->GetState().paused);
  QTest::keyClick(window.get(), Qt::Key_Space);
  EXPECT_FALSE(game->GetState().paused);
  QTest::keyClick(window.get(), Qt::Key_L);
  EXPECT_TRUE(game->GetState().loop);
  QTest::keyClick(window.get(), Qt::Key_S);
  EXPECT_FALSE(game->GetState().running);
  EXPECT_FALSE(window->Tool(101)->isEnabled());
  QTest::keyClick(window.get(), Qt::Key_Space);  // plays the stopped song again
  EXPECT_TRUE(game->GetState().running);
}

TEST_F(Window, AReplayedToggleMovesItsControlAndAProjectBringsBackItsSwitches) {
  Open();
  AwaitRun();
  L::ImageButton* autoLights = window->StageButton(108);
  ASSERT_TRUE(autoLights->isChecked());
  Click(window->Transport(102));  // record
  Frames(600);                    // late enough in the song to see the replay come
  Click(autoLights);              // automatic lights off, recorded
  EXPECT_FALSE(autoLights->isChecked());
  ASSERT_EQ(game->GetPlayer().Actions().Count(), 1);
  Click(window->Transport(102));  // recording off
  Click(window->Transport(105));  // stop

  // The next run starts from the song's switches and replays the toggle at its frame: the frame
  // thread flips the switch, and the control follows each time.
  std::vector<bool> shown;
  QObject::connect(autoLights, &QAbstractButton::toggled,
                   [&shown](bool on) { shown.push_back(on); });
  Click(window->Transport(104));  // play
  for (int i = 0; i < 600 && shown.size() < 2; ++i) {
    QTest::qWait(10);
  }
  EXPECT_EQ(shown, (std::vector<bool>{true, false}));
  EXPECT_EQ(autoLights->isChecked(), game->GetState().autoLights.load());

  // Saved as a project, with the bar counter on; opened again after the counter was turned off,
  // the project's switches come back and the controls show them.
  Click(window->StageButton(100));  // bar counter on
  OnDialog<QFileDialog>([this](QFileDialog* dialog) {
    dialog->setDirectory(QString::fromStdString(folder.Root()));
    dialog->findChild<QLineEdit*>()->setText(QStringLiteral("show"));
    QTest::keyClick(dialog->findChild<QLineEdit*>(), Qt::Key_Return);
  });
  Click(window->Tool(101));
  ASSERT_TRUE(std::filesystem::exists(folder.Path("show.kesh")));
  Click(window->StageButton(100));  // bar counter off
  EXPECT_FALSE(window->StageButton(100)->isChecked());
  window->OpenFiles({folder.Path("show.kesh")});
  AwaitRun();
  ASSERT_TRUE(game->GetState().running);
  EXPECT_TRUE(game->GetState().counterReadout);
  EXPECT_TRUE(window->StageButton(100)->isChecked());
  EXPECT_EQ(game->GetPlayer().Actions().Count(), 1) << "the recorded toggle came with it";
}

TEST_F(Window, ThePlaylistViewsCommandsChangeTheGamesPlaylist) {
  Write("b.mid", "MThd");
  Write("c.mid", "MThd");
  window->OpenFiles({folder.Path("song.mid"), folder.Path("b.mid"), folder.Path("c.mid")});
  AwaitRun();
  auto& playlist = game->GetPlaylist();
  L::PlayList* view = window->PlaylistView();
  const auto rows = [view] {
    std::vector<std::string> names;
    for (int row = 0; row < view->count(); ++row) {
      names.push_back(std::filesystem::path(view->PathOf(row)).filename().string());
    }
    return names;
  };
  EXPECT_EQ(rows(), (std::vector<std::string>{"song.mid", "b.mid", "c.mid"}));
  emit view->MoveRequested(0, 1);
  EXPECT_EQ(rows(), (std::vector<std::string>{"b.mid", "song.mid", "c.mid"}));
  EXPECT_EQ(playlist.Paths()[0], folder.Path("b.mid"));
  emit view->MoveRequested(2, 1);  // past the end: nothing moves
  EXPECT_EQ(rows(), (std::vector<std::string>{"b.mid", "song.mid", "c.mid"}));
  emit view->RemoveRequested(2);
  EXPECT_EQ(playlist.Count(), 2);
  module.ClearCalls();
  emit view->PlayRequested(0);
  AwaitRun();
  EXPECT_EQ(Opened("b.mid"), 1u);
  EXPECT_EQ(view->CurrentItem(), 0);
  EXPECT_EQ(window->windowTitle(), "Tavro - b.mid");

  // Add takes songs and projects from the dialog and leaves the rest out.
  Write("notes.txt", "not a song");
  OnDialog<QFileDialog>([this](QFileDialog* dialog) {
    dialog->setDirectory(QString::fromStdString(folder.Root()));
    dialog->findChild<QLineEdit*>()->setText(QStringLiteral("\"c.mid\" \"notes.txt\""));
    QTest::keyClick(dialog->findChild<QLineEdit*>(), Qt::Key_Return);
  });
  emit view->AddRequested();
  EXPECT_EQ(rows(), (std::vector<std::string>{"b.mid", "song.mid", "c.mid"}));

  emit view->ClearRequested();
  EXPECT_EQ(playlist.Count(), 0);
  EXPECT_EQ(view->count(), 0);
}

}  // namespace
