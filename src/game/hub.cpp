#include "game/hub.h"

#include <ctime>
#include <utility>

#include "app/log.h"
#include "artists/sets.h"
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
  }
  const std::string path = directory + "/" + kModuleFile;
  const int index = modules->Load(path);
  if (index == -1) {
    moduleError = modules->LastError().empty() ? "cannot open " + path : modules->LastError();
  } else {
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
  if (game) {
    (void)game->GetProfile().Save(kProfileFile);
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
  (void)game->GetProfile().Load(kProfileFile);
  // The artists' sprites hold each image for the profile's number of steps from their first load.
  Artists::Animation::SetQuality(game->GetProfile().animQuality);
}

void Hub::RestoreStartDirectory() { Vell::Platform::SetCurrentDirectory(startDirectory); }

std::string Hub::ModuleMissingMessage() const {
  return std::string("The player module ") + kModuleFile + " could not be loaded: " + moduleError;
}

}  // namespace Kesh
