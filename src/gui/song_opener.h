// Opening one playlist item for the window: the song or project is checked to be a readable
// regular file, opened by the game under loadMutex and started; what the game would show in a
// message box becomes the reason instead, so that a playlist run can go on. GUI thread only; owns
// nothing.
#pragma once

#include <mutex>
#include <string>

namespace Kesh::Game {
class Game;
}

namespace Kesh::GUI {

class QtMessageBox;

// Opens path in game and plays it; false with why (never null) when it cannot.
[[nodiscard]] bool OpenAndPlay(Game::Game& game, std::timed_mutex& loadMutex,
                               QtMessageBox& messages, const std::string& path, std::string* why);

}  // namespace Kesh::GUI
