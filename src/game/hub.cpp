#include "game/hub.h"

#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <utility>

#include "app/log.h"
#include "artists/sets.h"
#include "framework/diagnostics.h"
#include "game/game.h"
#include "platform/platform.h"

namespace Kesh {

namespace {
std::string& ModuleDirectory() {
  static std::string directory;
  return directory;
}
}  // namespace

void Hub::SetModuleDirectory(std::string directory) { ModuleDirectory() = std::move(directory); }

Hub::Hub() {
  const Vell::Platform::SystemVersion version = Vell::Platform::GetSystemVersion();
  Log("Running on %s %d.%d (%s)", version.name.c_str(), version.major, version.minor,
      version.release.c_str());
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char started[128];
  asctime_r(&local, started);
  Log("Started on %s", started);
  modules = std::make_unique<Moduling::ModuleList>();
  Log("...creating infrastructure");

  std::string directory = ModuleDirectory();
  if (directory.empty()) {
    directory = Vell::Platform::ProgramDirectory();
    // Installed, the modules live in lib/tavro beside the program's bin folder.
    const std::filesystem::path installed =
        std::filesystem::path(directory).parent_path() / "lib" / "tavro";
    if (!std::filesystem::exists(std::filesystem::path(directory) / kModuleFile) &&
        std::filesystem::exists(installed / kModuleFile)) {
      directory = installed.string();
    }
  }
  const std::string path = directory + "/" + kModuleFile;
  int index = -1;
  try {
    index = modules->Load(path);
  } catch (const Moduling::InvalidModuleException& error) {
    // A library that is not our player module: the program goes on without one and says why.
    Log("%s: %s", error.ToString().c_str(), error.Detail().c_str());
    moduleError = error.Detail().empty() ? error.ToString() : error.Detail();
  }
  if (index == -1 && moduleError.empty()) {
    moduleError = modules->LastError().empty() ? "cannot open " + path : modules->LastError();
  } else if (index != -1) {
    Moduling::Module* module = modules->At(index);
    player = module != nullptr
                 ? static_cast<Audio::IPlayer*>(module->Query(Audio::kPlayerInterfaceId))
                 : nullptr;
    if (player == nullptr) {
      Log("\tError quering audio player interface");
      moduleError = path + " answered no player interface";
    }
  }
  startDirectory = Vell::Platform::CurrentDirectory();
}

Hub::~Hub() {
  Log("...clearing");
  if (game && saveProfileAtExit) {
    std::string why;
    if (!game->GetProfile().SaveFile(ProfilePath(), &why)) {
      Log("The settings could not be saved: %s", why.c_str());
      game->ShowMessage("The settings could not be saved: " + why,
                        App::IMessageBox::Icon::kWarning);
    }
  }
  game.reset();
  if (player != nullptr) {
    player->Release(1);
    player = nullptr;
  }
  modules.reset();
  Log("\ndone");
}

void Hub::CreateGame(const FrontEnd& frontEnd, int width, int height) {
  if (game) {
    return;
  }
  Game::Game::Services services;
  services.module = player;
  services.moduleError = moduleError;
  services.loadMutex = &loadMutex;
  services.frameLock = &frameLock;
  services.frontEnd = frontEnd;
  game = std::make_unique<Game::Game>(std::move(services), width, height);
  // No settings file yet is the first start; any other failure is told, and the defaults apply.
  if (std::string why;
      std::filesystem::exists(ProfilePath()) && !game->GetProfile().LoadFile(ProfilePath(), &why)) {
    Log("The settings could not be read: %s", why.c_str());
    Vell::Diagnostics::Warn("The settings could not be read (" + why + "): the defaults are used");
  }
  // The artists' sprites hold each image for the profile's number of steps from their first load.
  Artists::Animation::SetQuality(game->GetProfile().animQuality);
}

std::string Hub::DataDirectory() {
  namespace fs = std::filesystem;
  const fs::path program = Vell::Platform::ProgramDirectory();
  if (fs::is_directory(program / "config")) {
    return program.string();  // a build folder or a portable copy
  }
  const fs::path shared = program.parent_path() / "share" / "tavro";
  if (fs::is_directory(shared / "config")) {
    return shared.string();  // installed
  }
  return {};
}

std::string Hub::ProfilePath() const {
  // Installed, the data folder is ../share/tavro beside the program; it is never written to, even
  // when the user could (root, or a prefix in the home folder).
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path shared =
      fs::path(Vell::Platform::ProgramDirectory()).parent_path() / "share" / "tavro";
  const bool installed = fs::equivalent(startDirectory, shared, error);
  if (!installed && access(startDirectory.c_str(), W_OK) == 0) {
    return kProfileFile;  // portable: the profile stays beside the program's data
  }
  // Installed, or a read-only copy: the user's configuration folder.
  const char* config = std::getenv("XDG_CONFIG_HOME");
  const char* home = std::getenv("HOME");
  std::filesystem::path folder;
  if (config != nullptr && *config == '/') {
    folder = config;
  } else if (home != nullptr) {
    folder = std::filesystem::path(home) / ".config";
  } else {
    return kProfileFile;
  }
  folder /= "tavro";
  std::filesystem::create_directories(folder, error);
  return (folder / kProfileFile).string();
}

void Hub::RestoreStartDirectory() { Vell::Platform::SetCurrentDirectory(startDirectory); }

std::string Hub::ModuleMissingMessage() const {
  return std::string("The player module ") + kModuleFile + " could not be loaded: " + moduleError;
}

}  // namespace Kesh
