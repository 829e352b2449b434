// A long run of random clicks on the real window with the real frame thread, the shipped styles
// and a player module that records its calls: transport (previous, play, stop, pause, next, loop,
// record, the three views), every stage control, the two effect frames, the style picker, the
// transposition and the mixer strips. Meant for ThreadSanitizer (registered for the tsan preset
// or with -DTAVRO_SOAK_TESTS=ON); TAVRO_SOAK_SECONDS sets the length (default 60).
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QTest>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>

#include "fakes.h"
#include "game/game.h"
#include "gui/mainframe.h"
#include "songs.h"
#include "widgets/image_button.h"
#include "widgets/mixer_strip.h"

namespace {

using Clock = std::chrono::steady_clock;
using Kesh::GUI::Mainframe;

QApplication& App() {
  static int argc = 1;
  static char name[] = "gui_soak_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

int SoakSeconds() {
  const char* text = std::getenv("TAVRO_SOAK_SECONDS");
  const int seconds = text != nullptr ? std::atoi(text) : 0;
  return seconds > 0 ? seconds : 60;
}

TEST(Soak, RandomClicksOnEveryControlNeverHangOrRace) {
  App();
  Songs::Folder folder;
  std::error_code ignored;
  std::filesystem::create_directory_symlink(TAVRO_PROGRAM_DIR "/styles", folder.Path("styles"),
                                            ignored);
  Fakes::Module module;
  module.song = Songs::Band();
  std::timed_mutex loadMutex;
  std::recursive_mutex frameLock;
  Fakes::MessageBox messages;
  auto window =
      std::make_unique<Mainframe>(Mainframe::Core{&module, &loadMutex, &frameLock, folder.Root()});
  Kesh::Game::Game::Services services;
  services.module = &module;
  services.loadMutex = &loadMutex;
  services.frameLock = &frameLock;
  services.frontEnd = window->GetFrontEnd();
  services.frontEnd.messages = &messages;
  auto game = std::make_unique<Kesh::Game::Game>(std::move(services), 815, 400);
  window->AttachGame(game.get());
  window->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));

  QStringList songs;
  for (const char* name : {"one.mid", "two.mid", "three.mid"}) {
    std::ofstream(folder.Path(name)) << "MThd";
    songs << QString::fromStdString(folder.Path(name));
  }
  window->OpenFiles(songs);
  ASSERT_TRUE(game->GetState().running);
  ASSERT_GT(window->StylePicker()->count(), 1) << "the shipped styles were not found";

  // Every control a user can click without a dialog opening.
  std::vector<std::function<void(std::mt19937&)>> clicks;
  auto click = [](QWidget* widget) {
    return [widget](std::mt19937&) { QTest::mouseClick(widget, Qt::LeftButton); };
  };
  for (const int id : {103, 104, 105, 106, 107, 108, 102, 121, 101, 100}) {
    clicks.push_back(click(window->Transport(id)));
    clicks.push_back(click(window->Transport(id)));  // the transport twice as often
  }
  for (const int id : {100, 101, 102, 103, 105, 106, 107, 108, 110, 112, 113}) {
    clicks.push_back(click(window->StageButton(id)));
  }
  for (QWidget* frame :
       {static_cast<QWidget*>(window->LightFrame()), static_cast<QWidget*>(window->CrowdFrame())}) {
    clicks.push_back([frame](std::mt19937& random) {
      std::uniform_int_distribution<int> x(0, frame->width() - 1);
      std::uniform_int_distribution<int> y(0, frame->height() - 1);
      QTest::mouseClick(frame, Qt::LeftButton, Qt::NoModifier, QPoint(x(random), y(random)));
    });
  }
  QComboBox* styles = window->StylePicker();
  for (int i = 0; i < 4; ++i) {
    clicks.push_back([styles](std::mt19937& random) {
      std::uniform_int_distribution<int> index(0, styles->count() - 1);
      const int chosen = index(random);
      styles->setCurrentIndex(chosen);
      emit styles->activated(chosen);
    });
  }
  for (int strip = 0; strip < 17; ++strip) {
    clicks.push_back([&window, strip](std::mt19937& random) {
      L::MixerStrip* mixer = window->Strip(strip);
      // The master strip (the crowd) has no "S".
      QWidget* button = mixer->SoundButton() != nullptr && random() % 2 == 0
                            ? static_cast<QWidget*>(mixer->SoundButton())
                            : static_cast<QWidget*>(mixer->ArtistsButton());
      QTest::mouseClick(button, Qt::LeftButton);
    });
  }

  std::mt19937 random(20261209);
  std::uniform_int_distribution<size_t> pick(0, clicks.size() - 1);
  std::uniform_int_distribution<int> pause(0, 60);
  const auto end = Clock::now() + std::chrono::seconds(SoakSeconds());
  int done = 0;
  double slowest = 0;
  while (Clock::now() < end) {
    const auto start = Clock::now();
    clicks[pick(random)](random);
    QTest::qWait(pause(random));
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    slowest = std::max(slowest, seconds);
    // A hang guard, not a timing check: a click and its frames never take this long.
    ASSERT_LT(seconds, 10.0) << "click " << done << " hung";
    ++done;
  }
  std::printf("%d clicks, slowest with its wait %.3f s, %zu module calls\n", done, slowest,
              module.Calls().size());

  // The window still works: play, then stop ends the run.
  QTest::mouseClick(window->Transport(104), Qt::LeftButton);
  QTest::mouseClick(window->Transport(105), Qt::LeftButton);
  for (int i = 0; i < 200 && game->GetState().running; ++i) {
    QTest::qWait(10);
  }
  EXPECT_FALSE(game->GetState().running);
  EXPECT_GT(module.Count("Play"), 10U);
  game->RequestStop();
  game.reset();
  window.reset();
}

}  // namespace
