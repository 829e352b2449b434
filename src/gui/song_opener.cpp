#include "gui/song_opener.h"

#include <exception>

#include "game/game.h"
#include "gui/local_files.h"
#include "gui/qt_seams.h"

namespace Kesh::GUI {

bool OpenAndPlay(Game::Game& game, std::timed_mutex& loadMutex, QtMessageBox& messages,
                 const std::string& path, std::string* why) {
  // Missing files, folders, FIFOs and devices are refused here: the module is never asked to
  // read them (a FIFO would block it).
  if (!IsReadableFile(path, why)) {
    return false;
  }
  game.RequestStop();
  const std::lock_guard<std::timed_mutex> load(loadMutex);
  std::string told;
  messages.Divert([&told](const std::string& text) { told = text; });
  bool opened = false;
  try {
    opened = game.Open(path);
    if (opened) {
      game.Play();
    }
  } catch (const std::exception& error) {
    told = error.what();
  }
  messages.Divert(nullptr);
  if (!opened) {
    *why = !told.empty() ? told : "not a song or a project that can be played";
  }
  return opened;
}

}  // namespace Kesh::GUI
