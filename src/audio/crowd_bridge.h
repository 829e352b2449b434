// The crowd sub-interface: forwards to the crowd-sound engine library, loaded on first use. When
// the library, its exports or a sound device are missing, every operation does nothing and
// reports false; a scene that failed to open on the device is tried again at a later operation,
// at most once a second. While the built-in synthesizer plays through a sound device, the scene
// has no device of its own: it rides in the synthesizer's sound, held under the music there
// (CarryBy). The scene's volume, balance and mute are kept by the bridge and given to every scene
// it opens (device, carried or offline). Any thread may call; one lock serialises the calls.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "audio/crowd_ducker.h"
#include "audio/outputs.h"
#include "tavro/player_module.h"

namespace Kesh::Audio {

class CrowdBridge : public ICrowd, public Underlay {
 public:
  explicit CrowdBridge(std::string libraryPath);
  CrowdBridge(const CrowdBridge&) = delete;
  CrowdBridge& operator=(const CrowdBridge&) = delete;
  ~CrowdBridge();

  bool OpenCollection(const char* iniPath, const char* waveFolder) override;
  bool StopAll() override;
  bool PlaySeries(const char* name, float volume) override;
  bool SetVolume(float left, float right) override;
  bool Mute(bool mute) override;
  bool IsMuted() override;

  // Why the engine library could not be loaded ("" when it loaded or was not tried yet).
  std::string LoadError();
  // Offline rendering: sets the scene up without a device (stereo at sampleRate). False when the
  // library is missing.
  bool InitOffline(int sampleRate);
  // Back to the default device at the next use.
  void LeaveOffline();
  // Adds the scene's next frameCount stereo frames to frames (saturating), held under the music
  // that frames holds (see CrowdDucker). False when the scene is not rendering offline.
  // songPlaying: the song has notes still to play (the crowd is held under the music then).
  bool MixInto(int16_t* frames, int frameCount, bool songPlaying);

  // Renders the scene into carrier's sound from now on, without a device of its own (see
  // Output::Carry); null gives the scene its own device again. Not on an audio thread.
  void CarryBy(Output* carrier);
  // Underlay: the carrier's audio thread.
  void MixUnder(const Output* carrier, float* left, float* right, int frameCount,
                bool songPlaying) override;

 private:
  using InitSceneFn = bool (*)(int, unsigned, int, unsigned);
  using InitSceneOfflineFn = bool (*)(int, int, int);
  using RenderSceneFn = bool (*)(int16_t*, int);
  using OpenCollectionFn = bool (*)(const char*, const char*);
  using VoidFn = void (*)();
  using PlaySeriesFn = bool (*)(const char*, float);
  using SetSceneVolumeFn = bool (*)(float*, unsigned, int);
  using MuteSceneFn = void (*)(bool);
  using BoolFn = bool (*)();

  bool LoadLibrary();
  // Loads the library and opens the scene on the default device (again, after a failure, when
  // a second has passed); true when usable.
  bool Ready();
  // Gives a freshly opened scene the volume, balance and mute asked for so far.
  void ApplySettings();
  // Stops the sounds of a fading StopAll and gives the scene back its volume.
  void EndFadingStop();

  std::recursive_mutex mutex;
  std::string path;
  void* handle = nullptr;
  bool loadTried = false;
  std::string loadError;
  bool deviceTried = false;
  std::chrono::steady_clock::time_point lastDeviceTry;
  float volume[2] = {1.0f, 1.0f};
  bool volumeSet = false;
  bool muted = false;
  bool muteSet = false;
  bool ready = false;
  bool offline = false;
  bool stopFading = false;              // a live StopAll is fading the scene out
  std::unique_ptr<CrowdDucker> ducker;  // for the offline or carried scene
  Output* carrier = nullptr;            // the output whose sound carries the scene, if any
  std::vector<int16_t> musicScratch;    // MixUnder's
  std::vector<int16_t> crowdScratch;
  InitSceneFn initScene = nullptr;
  InitSceneOfflineFn initSceneOffline = nullptr;
  RenderSceneFn renderScene = nullptr;
  OpenCollectionFn openCollection = nullptr;
  VoidFn stopSeries = nullptr;
  PlaySeriesFn playSeries = nullptr;
  SetSceneVolumeFn setSceneVolume = nullptr;
  MuteSceneFn muteScene = nullptr;
  BoolFn getSceneMutedState = nullptr;
  BoolFn stopScene = nullptr;
};

}  // namespace Kesh::Audio
