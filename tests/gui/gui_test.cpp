// The main window under Qt's offscreen platform against a player module that records its calls:
// the transport, the stage controls and their recorded actions, the mixer, the karaoke view on a
// real karaoke file, the settings and artists dialogs, and quitting.
#include <gtest/gtest.h>

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <memory>
#include <thread>

#include "audio/midi/midi_file.h"
#include "game/game.h"
#include "game/player.h"
#include "gfx/lyric_page.h"
#include "gui/dialogs.h"
#include "gui/mainframe.h"
#include "songs.h"
#include "widgets/image_button.h"
#include "widgets/lyric_pane.h"
#include "widgets/mixer_strip.h"
#include "window_fixture.h"

namespace {

using GuiTest::Gui;
using Kesh::GUI::Mainframe;

TEST_F(Gui, TransportDrivesTheGameAndTheModule) {
  Open();
  EXPECT_EQ(window->windowTitle(), "Tavro - song.mid");
  for (int i = 0; i < 100 && module.Count("Play") == 0; ++i) {
    Frames(100);
  }
  EXPECT_GE(module.Count("Play"), 1u);
  module.ClearCalls();
  Click(window->Transport(106));  // pause
  EXPECT_TRUE(game->GetState().paused);
  EXPECT_EQ(module.Transport(), std::vector<std::string>{"Pause"});
  Click(window->Transport(106));  // resume
  EXPECT_FALSE(game->GetState().paused);
  Click(window->Transport(108));  // loop
  EXPECT_TRUE(game->GetState().loop);
  EXPECT_TRUE(window->Transport(108)->isChecked());
  Click(window->Transport(100));  // karaoke view
  EXPECT_TRUE(game->GetState().karaoke);
  EXPECT_EQ(window->GetLowerView(), Mainframe::kKaraoke);
  EXPECT_TRUE(window->KaraokeView()->isVisible() || !window->isVisible());
  Click(window->Transport(121));
  EXPECT_EQ(window->GetLowerView(), Mainframe::kPlaylist);
  Click(window->Transport(101));  // mixer view clears the karaoke switch
  EXPECT_FALSE(game->GetState().karaoke);
  EXPECT_EQ(window->GetLowerView(), Mainframe::kMixer);
  // "Next" on a one-item playlist does nothing.
  module.ClearCalls();
  Click(window->Transport(107));
  EXPECT_EQ(module.Count("OpenFile " + folder.Path("song.mid")), 0u);
  Click(window->Transport(105));  // stop: the frame thread ends and stops the module
  for (int i = 0; i < 500 && module.Count("Stop") == 0; ++i) {
    QTest::qWait(10);
  }
  EXPECT_GE(module.Count("Stop"), 1u);
  game->Close();
  EXPECT_FALSE(game->GetState().running);
}

TEST_F(Gui, StageControlsRecordTheirCodesOnlyWhileRecording) {
  Open();
  // Automatic switches on: the manual fades and both frames are disabled.
  EXPECT_FALSE(window->StageButton(106)->isEnabled());
  EXPECT_FALSE(window->LightFrame()->isEnabled());
  EXPECT_FALSE(window->CrowdFrame()->isEnabled());
  Click(window->StageButton(108));  // automatic lights off: code 11, not recorded
  Click(window->StageButton(110));  // automatic crowd off
  Click(window->StageButton(105));  // automatic fades off
  EXPECT_FALSE(game->GetState().autoLights);
  EXPECT_TRUE(window->LightFrame()->isEnabled());
  EXPECT_TRUE(window->StageButton(107)->isEnabled());
  EXPECT_TRUE(game->GetPlayer().Actions().GetActions().empty());

  // A light frame click while not recording changes the show but records nothing.
  QTest::mouseClick(window->LightFrame(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
  EXPECT_TRUE(game->GetPlayer().Actions().GetActions().empty());

  Click(window->Transport(102));  // recording on
  ASSERT_TRUE(game->GetState().recording);
  // One action a frame: the show's time of a click is its frame.
  QTest::mouseClick(window->LightFrame(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));  // 8
  Frames(120);
  QTest::mouseClick(window->LightFrame(), Qt::LeftButton, Qt::NoModifier, QPoint(78, 52));  // 4
  Frames(120);
  QTest::mouseClick(window->LightFrame(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 52));  // none
  Frames(120);
  QTest::mouseClick(window->CrowdFrame(), Qt::LeftButton, Qt::NoModifier, QPoint(40, 10));  // 15
  Frames(120);
  Click(window->StageButton(107));  // darker: 1
  Frames(120);
  Click(window->StageButton(108));  // automatic lights back on: 11
  std::vector<int> codes;
  for (const auto& [frame, action] : game->GetPlayer().Actions().GetActions()) {
    codes.push_back(action->GetCode());
  }
  EXPECT_EQ(codes, (std::vector<int>{8, 4, 15, 1, 11}));
  EXPECT_EQ(module.crowd.series, std::vector<std::string>{"applause"});
  EXPECT_FALSE(window->LightFrame()->isEnabled());
}

TEST_F(Gui, TranspositionStaysWithinAnOctave) {
  for (int i = 0; i < 13; ++i) {
    Click(window->StageButton(112));
  }
  EXPECT_EQ(module.transpose, 12);
  EXPECT_EQ(window->TransposeLabel()->text(), "12");
  Click(window->StageButton(113));
  EXPECT_EQ(window->TransposeLabel()->text(), "11");
  Click(window->StageButton(102));  // reset
  EXPECT_EQ(module.transpose, 0);
  EXPECT_EQ(window->TransposeLabel()->text(), "0");
}

TEST_F(Gui, MixerShowsTheSongsChannelsAndSendsItsMoves) {
  Open();
  EXPECT_EQ(window->Strip(9)->Name(), "Drums");
  EXPECT_FALSE(window->Strip(0)->Name().isEmpty());  // the piano's instrument name
  EXPECT_TRUE(window->Strip(5)->Name().isEmpty());   // a channel without a patch
  window->Strip(2)->PanKnob()->setValue(-30);
  window->Strip(2)->LevelSlider()->setValue(90);
  EXPECT_EQ(module.pans[2], -30);
  EXPECT_EQ(module.volumes[2], 90);
  Click(window->Strip(2)->SoundButton());  // "S": mute
  EXPECT_TRUE(module.mutes[2]);
  Click(window->Strip(2)->SoundButton());
  EXPECT_FALSE(module.mutes[2]);
  EXPECT_TRUE(window->Strip(2)->SoundButton()->isChecked());
  // "A" hides the channel's artists.
  const auto animations = game->GetPlayer().AnimationsOfChannel(0);
  ASSERT_FALSE(animations.empty());
  Click(window->Strip(0)->ArtistsButton());
  EXPECT_FALSE(animations.front()->GetArtist()->shown);
  EXPECT_FALSE(window->Strip(0)->ArtistsButton()->isChecked());
  // The master strip: balance +32 halves the left side.
  window->Strip(16)->PanKnob()->setValue(32);
  EXPECT_FLOAT_EQ(module.crowd.left, 0.5F);
  EXPECT_FLOAT_EQ(module.crowd.right, 1.0F);
  window->Strip(16)->LevelSlider()->setValue(60);
  EXPECT_FLOAT_EQ(module.crowd.left, 0.25F);
  EXPECT_FLOAT_EQ(module.crowd.right, 0.5F);
  Click(window->Strip(16)->ArtistsButton());
  EXPECT_TRUE(module.crowd.muted);
  // Reset puts every channel back to 100 and the centre, and the crowd to full.
  Click(window->StageButton(102));
  EXPECT_EQ(module.volumes[2], 100);
  EXPECT_EQ(module.pans[2], 0);
  EXPECT_FALSE(module.crowd.muted);
  EXPECT_EQ(window->Strip(16)->Level(), 120);
  EXPECT_EQ(window->Strip(16)->Pan(), 0);
  EXPECT_TRUE(animations.front()->GetArtist()->shown);
}

TEST_F(Gui, KaraokeViewPaintsTheSungWordsOfARealKaraokeFile) {
  const std::string kar = TAVRO_CORPUS_DIR "/kar";
  std::string path;
  for (const auto& entry : std::filesystem::directory_iterator(kar)) {
    if (entry.path().extension() == ".kar") {
      path = entry.path().string();
      break;
    }
  }
  if (path.empty()) {
    GTEST_SKIP() << "no karaoke file under " << kar;
  }
  Kesh::Audio::Midi::MidiFile file;
  std::string reason;
  ASSERT_TRUE(Kesh::Audio::Midi::ReadMidiFile(path, file, reason)) << reason;
  module.song = file.song;
  // A tick well inside the words: the fourth lyric text of the song.
  uint32_t tick = 1;
  bool none = false;
  for (int i = 0; i < 4 && !none; ++i) {
    (void)Kesh::Audio::NextText(module.song, tick, none);
    ++tick;
  }
  ASSERT_FALSE(none);
  window->OpenFiles({QString::fromStdString(folder.Path("song.mid"))});
  ASSERT_TRUE(game->GetState().running);
  Click(window->Transport(100));
  game->RequestStop();
  game->Close();
  ASSERT_TRUE(game->Open(folder.Path("song.mid")));
  ASSERT_TRUE(game->StartOfflineRun());
  game->GetState().karaoke = true;
  module.manualClock = true;
  // Walk the song's ticks until a syllable of a page is being sung with words after it.
  module.ticks = static_cast<int>(tick);
  for (int i = 0; i < 4000; ++i) {
    game->RunOfflineFrame();
    const Kesh::Game::LyricState now = game->GetPlayer().GetLyricState();
    if (now.currentSyllable >= 0 &&
        now.currentSyllable + 3 < static_cast<int>(now.syllables.size())) {
      break;
    }
    module.ticks = module.ticks + 10;
  }
  const Kesh::Game::LyricState state = game->GetPlayer().GetLyricState();
  ASSERT_FALSE(state.syllables.empty());
  ASSERT_GE(state.currentSyllable, 0);
  window->RefreshKaraoke();
  const QImage shown = window->KaraokeView()->grab().toImage();
  int sung = 0;
  int unsung = 0;
  for (int y = 0; y < shown.height(); ++y) {
    for (int x = 0; x < shown.width(); ++x) {
      sung += shown.pixel(x, y) == Vell::Gfx::Karaoke::kSung ? 1 : 0;
      unsung += shown.pixel(x, y) == Vell::Gfx::Karaoke::kUnsung ? 1 : 0;
    }
  }
  EXPECT_GT(sung, 20);
  EXPECT_GT(unsung, 20);
  EXPECT_EQ(shown.pixel(1, shown.height() - 2), Vell::Gfx::Karaoke::kBackground);
  game->StopOfflineRun();
}

TEST_F(Gui, TheDemoKaraokeSongShowsItsPagesInTheKaraokeView) {
  Kesh::Audio::Midi::MidiFile file;
  std::string reason;
  ASSERT_TRUE(
      Kesh::Audio::Midi::ReadMidiFile(TAVRO_SOURCE_DIR "/data/demo/lantern.kar", file, reason))
      << reason;
  module.song = file.song;
  ASSERT_TRUE(game->Open(folder.Path("song.mid")));
  ASSERT_TRUE(game->StartOfflineRun());
  game->GetState().karaoke = true;
  module.manualClock = true;
  // Every page the view shows while the song's ticks pass, as its lines of text.
  std::vector<std::vector<std::string>> pages;
  for (int tick = 0; tick < 64000; tick += 40) {
    module.ticks = tick;
    game->RunOfflineFrame();
    const Kesh::Game::LyricState state = game->GetPlayer().GetLyricState();
    std::vector<std::string> lines;
    for (const auto& line :
         Vell::Gfx::LayoutLyricPage(state.syllables, state.currentSyllable, state.lines)) {
      lines.push_back(line.text);
    }
    if (!lines.empty() && (pages.empty() || pages.back() != lines)) {
      pages.push_back(lines);
    }
  }
  game->StopOfflineRun();
  const std::vector<std::vector<std::string>> expected = {
      {"Lights come up on the old town square", "Somebody hums and the night is there"},
      {"Pick up a drum and pick up a song", "Everybody here can sing along"},
      {"Hey hey, under the lantern glow", "Hey hey, nobody wants to go"},
      {"Strings of the moon on the water run", "We keep on singing till the night is done"},
      {"Hey hey, under the lantern glow", "Hey hey, sing it soft and slow"}};
  EXPECT_EQ(pages, expected);
}

TEST_F(Gui, SettingsCopyOnOkOnlyAndReportAnOutputThatFails) {
  auto& profile = game->GetProfile();
  profile.latency = 20;
  {
    Kesh::GUI::SettingsDlg dialog(profile, &module, 9, {}, messages, window.get());
    EXPECT_EQ(dialog.Output()->count(), 2);
    dialog.Latency()->setText("250");
    dialog.Drummer()->setChecked(!profile.forceDrummer);
    dialog.reject();
  }
  EXPECT_EQ(profile.latency, 20);
  {
    Kesh::GUI::SettingsDlg dialog(profile, &module, 9, {}, messages, window.get());
    dialog.Latency()->setText("250");
    dialog.Quality()->button(12)->setChecked(true);  // Low: tells about the restart once
    dialog.Quality()->button(11)->setChecked(true);
    dialog.Output()->setCurrentIndex(1);
    module.outputWorks = false;
    dialog.accept();
  }
  EXPECT_EQ(profile.latency, 100);
  EXPECT_EQ(profile.animQuality, 2);
  EXPECT_EQ(profile.device, 0);
  EXPECT_EQ(module.selected, std::vector<int>{1});
  const auto texts = messages.Texts();
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0], "Tavro: Quality settings take effect only after program restart.");
  EXPECT_EQ(texts[1], "Tavro: Unable to set MIDI output!");
  {
    Kesh::GUI::SettingsDlg dialog(profile, &module, 9, {}, messages, window.get());
    dialog.Latency()->setText("-5");
    dialog.Output()->setCurrentIndex(0);  // already selected: not opened again
    dialog.accept();
  }
  EXPECT_EQ(profile.latency, 0);
  EXPECT_EQ(module.selected.size(), 1u);
  {
    module.outputWorks = true;
    Kesh::GUI::SettingsDlg dialog(profile, &module, 9, {}, messages, window.get());
    dialog.Output()->setCurrentIndex(1);
    dialog.accept();
  }
  EXPECT_EQ(profile.device, 1);
  EXPECT_EQ(profile.deviceName, "Output 1") << "the chosen port is kept by its name too";
}

TEST_F(Gui, ArtistsDialogPagesByFour) {
  std::vector<Kesh::GUI::ArtistEntry> nine(9);
  Kesh::GUI::ArtistsDlg dialog(nine, window.get());
  EXPECT_EQ(dialog.windowTitle(), "Artists available - 9");
  EXPECT_EQ(dialog.PageStart(), 0);
  dialog.Next();
  EXPECT_EQ(dialog.PageStart(), 4);
  dialog.Next();
  EXPECT_EQ(dialog.PageStart(), 8);
  dialog.Next();
  EXPECT_EQ(dialog.PageStart(), 8);
  dialog.Previous();
  EXPECT_EQ(dialog.PageStart(), 4);
}

TEST_F(Gui, ClosingAsksFirst) {
  auto answer = [](QMessageBox::StandardButton button) {
    QTimer::singleShot(50, [button] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      ASSERT_NE(box, nullptr);
      EXPECT_EQ(box->text(), "Really quit?");
      box->button(button)->click();
    });
  };
  window->show();
  answer(QMessageBox::No);
  EXPECT_FALSE(window->close());
  answer(QMessageBox::Yes);
  EXPECT_TRUE(window->close());
}

TEST_F(Gui, ARefusedSongShowsANoticeAndThePlaylistGoesOn) {
  module.accept = false;
  window->OpenFiles({QString::fromStdString(folder.Path("song.mid"))});
  EXPECT_FALSE(game->GetState().running);
  EXPECT_TRUE(window->Notice().contains("song.mid")) << window->Notice().toStdString();
}

}  // namespace

// The artist files name their thumbnails relative to the artists folder; the list that the
// artists dialog shows must find them from the data folder.
TEST_F(Gui, ArtistListFindsTheThumbnailsInTheArtistsFolder) {
  const Kesh::Artists::Manager* manager = Kesh::Artists::Manager::Instance();
  ASSERT_GT(manager->GetCache().Count(), 0);
  for (int i = 0; i < manager->GetCache().Count(); ++i) {
    const auto* artist =
        static_cast<const Kesh::Artists::Manager::Cache::Artist*>(manager->GetCache().Item(i));
    QImage thumb(8, 8, QImage::Format_RGB32);
    thumb.fill(Qt::red);
    ASSERT_TRUE(thumb.save(QString::fromStdString(folder.Path("artists/" + artist->thumb))));
  }
  const std::vector<Kesh::GUI::ArtistEntry> list = Mainframe::ArtistList();
  ASSERT_EQ(list.size(), static_cast<size_t>(manager->GetCache().Count()));
  for (const Kesh::GUI::ArtistEntry& entry : list) {
    EXPECT_FALSE(QImage(entry.thumb).isNull()) << entry.thumb.toStdString();
  }
}

// What the show goes on without reaches the window's notice line through the game, also when the
// frame thread finds it.
TEST_F(Gui, ASoundFontThatDidNotLoadBecomesANotice) {
  module.soundFontState = Kesh::Audio::kSoundFontFallback;
  module.soundFontNote =
      "The SoundFont /gui/test.sf2 cannot be loaded: it is a folder; playing with "
      "/usr/share/sounds/sf2/FluidR3_GM.sf2 instead";
  Kesh::Game::Game::Services services;
  services.module = &module;
  services.loadMutex = &loadMutex;
  services.frameLock = &frameLock;
  services.frontEnd = window->GetFrontEnd();
  Kesh::Game::Game shown(std::move(services), 815, 400);
  std::thread([&shown] { shown.CheckModule(); }).join();
  EXPECT_TRUE(QTest::qWaitFor([&] { return window->Notice().contains("/gui/test.sf2"); }, 2000))
      << window->Notice().toStdString();
  EXPECT_TRUE(window->Notice().contains("playing with")) << window->Notice().toStdString();
}
