// The hub: the core's composition root. It owns the module registry, the player module's interface,
// the game and the two locks that the user-interface thread and the frame thread share. Created by
// the first Instance() call (start-up) and destroyed by Destroy() or at process exit (shutdown),
// both on the user-interface thread; the accessors may be called from any thread.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "app/message_box.h"
#include "app/modules.h"
#include "framework/singleton.h"
#include "game/frontend.h"
#include "tavro/player_module.h"

namespace Kesh {

namespace Game {
class Game;
}

class Hub : public Vell::Singleton<Hub> {
 public:
  static constexpr const char* kModuleFile = "audio.so";
  static constexpr const char* kProfileFile = "game.xml";

  // Where the next hub loads the player module from; the program's own folder when empty. For the
  // tests and tools that assemble a program folder of their own; call it before Instance().
  static void SetModuleDirectory(std::string directory);

  // Shutdown: saves the profile, deletes the game, releases the player interface and unloads the
  // modules, with the log lines of the shutdown.
  ~Hub();

  // Creates the game once (a second call keeps the first game) and loads its profile from
  // "game.xml" in the current directory.
  void CreateGame(const FrontEnd& frontEnd, int width, int height);
  // The folder holding the program's data (config, artists, styles, help): the program's own folder
  // in a build or a portable copy, share/tavro beside an installed program's bin folder; empty
  // when neither exists. The program makes it current before the hub starts.
  static std::string DataDirectory();
  // Where the profile is kept: "game.xml" in the start folder when that folder is writable and
  // not an installed share/tavro, else in $XDG_CONFIG_HOME/tavro (by default ~/.config/tavro).
  std::string ProfilePath() const;
  // Makes the start directory current again.
  void RestoreStartDirectory();
  // Whether shutdown writes the profile to "game.xml" (on by default; tools that only read the
  // profile switch it off).
  void SetSaveProfileAtExit(bool value) { saveProfileAtExit = value; }

  Audio::IPlayer* GetPlayer() const { return player; }
  Game::Game* GetGame() const { return game.get(); }
  std::timed_mutex& LoadMutex() { return loadMutex; }
  std::recursive_mutex& FrameLock() { return frameLock; }
  const std::string& StartDirectory() const { return startDirectory; }
  // Why there is no player interface ("" when there is one).
  const std::string& ModuleError() const { return moduleError; }
  // The message "The player module audio.so could not be loaded: <reason>".
  std::string ModuleMissingMessage() const;
  Moduling::ModuleList& Modules() { return *modules; }

 private:
  friend class Vell::Singleton<Hub>;
  // Start-up: logs the system and the start time, loads the player module from the module
  // directory and asks it for the player interface. A module that cannot be loaded, lacks
  // "InterfaceQuery" or answers no interface leaves the player null, with the reason in
  // ModuleError.
  Hub();

  std::unique_ptr<Moduling::ModuleList> modules;
  Audio::IPlayer* player = nullptr;
  std::unique_ptr<Game::Game> game;
  std::recursive_mutex frameLock;
  std::timed_mutex loadMutex;
  std::string startDirectory;
  std::string moduleError;
  bool saveProfileAtExit = true;
};

}  // namespace Kesh
