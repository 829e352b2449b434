// A game wired to the test doubles (a recording module, counting windows, a message box) in a
// program folder with the fixture band, with a song file "song.mid" there. Used on the test's
// thread.
#pragma once

#include <chrono>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "fakes.h"
#include "game/game.h"
#include "songs.h"

struct Rig {
  using Game = Kesh::Game::Game;

  explicit Rig(Kesh::Audio::SongData song, bool withModule = true) {
    module.song = std::move(song);
    Game::Services services;
    services.module = withModule ? &module : nullptr;
    services.moduleError = "cannot open /nowhere/audio.so";
    services.loadMutex = &loadMutex;
    services.frameLock = &frameLock;
    services.frontEnd = {&mainWindow, &stage, &karaoke, &timeline, &messages};
    game = std::make_unique<Game>(std::move(services), 815, 400);
    std::ofstream(folder.Path("song.mid")) << "MThd";
  }
  ~Rig() { game.reset(); }

  std::string Song() const { return folder.Path("song.mid"); }
  // Runs the show without a thread, the module's clock moving 40 ms a frame while it plays.
  void Frames(int count) {
    for (int i = 0; i < count; ++i) {
      game->RunOfflineFrame();
      if (module.IsPlaying()) {
        module.manualMs = module.manualMs + 40;
      }
    }
  }
  template <typename Predicate>
  static bool WaitFor(Predicate predicate,
                      std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!predicate()) {
      if (std::chrono::steady_clock::now() > end) {
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
  }

  Songs::Folder folder;
  Fakes::Module module;
  Fakes::Window mainWindow, stage, karaoke, timeline;
  Fakes::MessageBox messages;
  std::timed_mutex loadMutex;
  std::recursive_mutex frameLock;
  std::unique_ptr<Game> game;
};
