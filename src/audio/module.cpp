// The module's single export: "InterfaceQuery"(1) gives the player object, one per process. The
// object handed out guards every operation, so that no C++ exception crosses into the program: an
// operation that fails that way answers as it does for any other failure (false, 0, nothing).
#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>

#include "audio/player.h"

namespace Kesh::Audio {
namespace {

template <typename R, typename F>
R Guard(R fallback, F&& call) noexcept {
  try {
    return call();
  } catch (...) {
    return fallback;
  }
}

template <typename F>
void Guard(F&& call) noexcept {
  try {
    call();
  } catch (...) {
  }
}

class GuardedCrowd final : public ICrowd {
 public:
  explicit GuardedCrowd(ICrowd* crowd) : inner(crowd) {}
  bool OpenCollection(const char* ini, const char* folder) override {
    return Guard(false, [&] { return inner->OpenCollection(ini, folder); });
  }
  bool StopAll() override {
    return Guard(false, [&] { return inner->StopAll(); });
  }
  bool PlaySeries(const char* name, float volume) override {
    return Guard(false, [&] { return inner->PlaySeries(name, volume); });
  }
  bool SetVolume(float left, float right) override {
    return Guard(false, [&] { return inner->SetVolume(left, right); });
  }
  bool Mute(bool mute) override {
    return Guard(false, [&] { return inner->Mute(mute); });
  }
  bool IsMuted() override {
    return Guard(false, [&] { return inner->IsMuted(); });
  }

 private:
  ICrowd* inner;
};

class ModulePlayer;
std::mutex instanceMutex;
ModulePlayer* instance = nullptr;

class ModulePlayer final : public IPlayer {
 public:
  explicit ModulePlayer(std::unique_ptr<Player> player)
      : inner(std::move(player)), crowd(inner->GetCrowd()) {}

  // Destroys the object; the next query makes a new one.
  void Release(int) override {
    {
      std::lock_guard lock(instanceMutex);
      if (instance == this) {
        instance = nullptr;
      }
    }
    delete this;
  }
  bool SelectMidiOutput(int device, int reserved) override {
    return Guard(false, [&] { return inner->SelectMidiOutput(device, reserved); });
  }
  bool OpenStream(Vell::Data::File* stream) override {
    return Guard(false, [&] { return inner->OpenStream(stream); });
  }
  bool OpenFile(const char* path) override {
    return Guard(false, [&] { return inner->OpenFile(path); });
  }
  void Play() override {
    Guard([&] { inner->Play(); });
  }
  void Pause() override {
    Guard([&] { inner->Pause(); });
  }
  void Stop() override {
    Guard([&] { inner->Stop(); });
  }
  bool IsPlaying() override {
    return Guard(false, [&] { return inner->IsPlaying(); });
  }
  bool IsPaused() override {
    return Guard(false, [&] { return inner->IsPaused(); });
  }
  int GetPositionMs() override {
    return Guard(0, [&] { return inner->GetPositionMs(); });
  }
  void GetTime(int64_t* elapsedMs) override {
    Guard([&] { inner->GetTime(elapsedMs); });
  }
  int GetPositionTicks() override {
    return Guard(0, [&] { return inner->GetPositionTicks(); });
  }
  int GetMidiOutputCount() override {
    return Guard(0, [&] { return inner->GetMidiOutputCount(); });
  }
  bool GetMidiOutputName(int index, char* buffer, int size) override {
    return Guard(false, [&] { return inner->GetMidiOutputName(index, buffer, size); });
  }
  int GetCounter() override {
    return Guard(0, [&] { return inner->GetCounter(); });
  }
  void SetTranspose(int semitones) override {
    Guard([&] { inner->SetTranspose(semitones); });
  }
  int GetTranspose() override {
    return Guard(0, [&] { return inner->GetTranspose(); });
  }
  int GetPan(int channel) override {
    return Guard(0, [&] { return inner->GetPan(channel); });
  }
  void SetPan(int channel, int pan) override {
    Guard([&] { inner->SetPan(channel, pan); });
  }
  int GetVolume(int channel) override {
    return Guard(0, [&] { return inner->GetVolume(channel); });
  }
  void SetVolume(int channel, int volume) override {
    Guard([&] { inner->SetVolume(channel, volume); });
  }
  void SetMute(int channel, bool mute) override {
    Guard([&] { inner->SetMute(channel, mute); });
  }
  bool GetMute(int channel) override {
    return Guard(false, [&] { return inner->GetMute(channel); });
  }
  const SongData* GetSong() override {
    return Guard(static_cast<const SongData*>(nullptr), [&] { return inner->GetSong(); });
  }
  ICrowd* GetCrowd() override { return &crowd; }
  const char* GetLastError() override {
    return Guard("", [&] { return inner->GetLastError(); });
  }
  bool SetOffline(bool offline, int sampleRate) override {
    return Guard(false, [&] { return inner->SetOffline(offline, sampleRate); });
  }
  bool AdvanceOffline(int milliseconds) override {
    return Guard(false, [&] { return inner->AdvanceOffline(milliseconds); });
  }
  int RenderOffline(int16_t* frames, int frameCount) override {
    return Guard(0, [&] { return inner->RenderOffline(frames, frameCount); });
  }
  int GetSoundFontState(char* text, int size) override {
    return Guard(static_cast<int>(kSoundFontUnknown),
                 [&] { return inner->GetSoundFontState(text, size); });
  }
  bool GetCrowdEngineError(char* text, int size) override {
    return Guard(false, [&] { return inner->GetCrowdEngineError(text, size); });
  }
  bool SetMusicGain(float decibels) override {
    return Guard(false, [&] { return inner->SetMusicGain(decibels); });
  }

 private:
  ~ModulePlayer() = default;

  std::unique_ptr<Player> inner;
  GuardedCrowd crowd;
};

std::string ModuleDirectory() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&ModuleDirectory), &info) == 0 || info.dli_fname == nullptr) {
    return ".";
  }
  return std::filesystem::path(info.dli_fname).parent_path().string();
}

}  // namespace
}  // namespace Kesh::Audio

extern "C" __attribute__((visibility("default"))) void* InterfaceQuery(int32_t id) {
  using namespace Kesh::Audio;
  if (id != kPlayerInterfaceId) {
    return nullptr;
  }
  try {
    std::lock_guard lock(instanceMutex);
    if (instance == nullptr) {
      // Never let the synthesizer's JACK driver try to start a server (it stalls for seconds).
      setenv("JACK_NO_START_SERVER", "1", 0);
      instance = new ModulePlayer(
          std::make_unique<Player>(MakeSystemOutputs(), ModuleDirectory() + "/libovatix.so"));
    }
    return static_cast<IPlayer*>(instance);
  } catch (...) {
    return nullptr;
  }
}
