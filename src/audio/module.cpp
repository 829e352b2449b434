// The module's single export: "InterfaceQuery"(1) gives the player object, one per process.
#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>

#include "audio/player.h"

namespace {

std::mutex instanceMutex;
Kesh::Audio::Player* instance = nullptr;

std::string ModuleDirectory() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&ModuleDirectory), &info) == 0 || info.dli_fname == nullptr) {
    return ".";
  }
  return std::filesystem::path(info.dli_fname).parent_path().string();
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void* InterfaceQuery(int32_t id) {
  if (id != Kesh::Audio::kPlayerInterfaceId) {
    return nullptr;
  }
  std::lock_guard lock(instanceMutex);
  if (instance == nullptr) {
    // Never let the synthesizer's JACK driver try to start a server (it stalls for seconds).
    setenv("JACK_NO_START_SERVER", "1", 0);
    instance = new Kesh::Audio::Player(Kesh::Audio::MakeSystemOutputs(),
                                       ModuleDirectory() + "/libovatix.so");
    instance->SetReleaseHook([](Kesh::Audio::Player* player) {
      std::lock_guard release(instanceMutex);
      if (player == instance) {
        instance = nullptr;
      }
      delete player;
    });
  }
  return static_cast<Kesh::Audio::IPlayer*>(instance);
}
