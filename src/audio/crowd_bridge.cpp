#include "audio/crowd_bridge.h"

#include <dlfcn.h>

#include <algorithm>
#include <thread>
#include <vector>

namespace Kesh::Audio {
namespace {

constexpr int kSceneRate = 44100;
constexpr int kSceneChannels = 2;
constexpr int kSceneBufferMs = 100;
constexpr int kVolumeRampMs = 20;
// A crowd stopped while the window plays fades out over this long instead of stopping dead (a
// skip or Stop during the applause).
constexpr int kStopFadeMs = 1000;
constexpr auto kDeviceRetry = std::chrono::seconds(1);
// The longest the carrier's audio thread waits for the bridge: opening a collection, which reads
// its waves, holds it longer; that period goes without the crowd rather than the music stalling.
// (Tried every 250 us rather than with a timed lock, which the thread checker cannot follow.)
constexpr auto kMostCarrierWait = std::chrono::milliseconds(5);
constexpr auto kCarrierRetry = std::chrono::microseconds(250);
constexpr float kFullScale = 32768.0f;

int16_t ToSample(float v) {
  return static_cast<int16_t>(std::clamp(v * kFullScale, -kFullScale, kFullScale - 1.0f));
}

template <typename Fn>
Fn Symbol(void* handle, const char* name) {
  return reinterpret_cast<Fn>(dlsym(handle, name));
}

}  // namespace

CrowdBridge::CrowdBridge(std::string libraryPath) : path(std::move(libraryPath)) {}

CrowdBridge::~CrowdBridge() {
  if (handle != nullptr) {
    if (ready && stopScene != nullptr) {
      stopScene();
    }
    dlclose(handle);
  }
}

bool CrowdBridge::LoadLibrary() {
  if (loadTried) {
    return handle != nullptr;
  }
  loadTried = true;
  handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* reason = dlerror();
    loadError = "The crowd-sound engine cannot be loaded (" +
                std::string(reason != nullptr ? reason : path) + "): the show goes on without it";
    return false;
  }
  initScene = Symbol<InitSceneFn>(handle, "_InitScene");
  initSceneOffline = Symbol<InitSceneOfflineFn>(handle, "_InitSceneOffline");
  renderScene = Symbol<RenderSceneFn>(handle, "_RenderScene");
  openCollection = Symbol<OpenCollectionFn>(handle, "_OpenCollection");
  stopSeries = Symbol<VoidFn>(handle, "_StopSeries");
  playSeries = Symbol<PlaySeriesFn>(handle, "_PlaySeries");
  setSceneVolume = Symbol<SetSceneVolumeFn>(handle, "_SetSceneVolume");
  muteScene = Symbol<MuteSceneFn>(handle, "_MuteScene");
  getSceneMutedState = Symbol<BoolFn>(handle, "_GetSceneMutedState");
  stopScene = Symbol<BoolFn>(handle, "_StopScene");
  const bool complete = initScene && openCollection && stopSeries && playSeries && setSceneVolume &&
                        muteScene && getSceneMutedState;
  if (!complete) {
    dlclose(handle);
    handle = nullptr;
    loadError = "The crowd-sound engine " + path +
                " lacks some of its exports: the show goes on without it";
    return false;
  }
  return true;
}

std::string CrowdBridge::LoadError() {
  std::lock_guard lock(mutex);
  return loadError;
}

bool CrowdBridge::Ready() {
  if (ready) {
    return true;
  }
  if (!LoadLibrary()) {
    return false;
  }
  const auto now = std::chrono::steady_clock::now();
  if (deviceTried && now - lastDeviceTry < kDeviceRetry) {
    return false;
  }
  deviceTried = true;
  lastDeviceTry = now;
  ready = initScene(-1, kSceneRate, kSceneChannels, kSceneBufferMs);
  if (ready) {
    ApplySettings();
  }
  return ready;
}

void CrowdBridge::ApplySettings() {
  EndFadingStop();
  if (volumeSet) {
    float copy[2] = {volume[0], volume[1]};
    setSceneVolume(copy, 2, 0);
  }
  if (muteSet) {
    muteScene(muted);
  }
}

bool CrowdBridge::InitOffline(int sampleRate) {
  std::lock_guard lock(mutex);
  if (!LoadLibrary() || initSceneOffline == nullptr || renderScene == nullptr) {
    return false;
  }
  carrier = nullptr;  // the render mixes the scene itself
  offline = initSceneOffline(sampleRate, kSceneChannels, kSceneBufferMs);
  ready = ready || offline;
  ducker = std::make_unique<CrowdDucker>(sampleRate);
  if (offline) {
    ApplySettings();
  }
  return offline;
}

void CrowdBridge::LeaveOffline() {
  std::lock_guard lock(mutex);
  if (offline) {
    offline = false;
    ready = false;
    deviceTried = false;
  }
}

bool CrowdBridge::MixInto(int16_t* frames, int frameCount, bool songPlaying) {
  std::lock_guard lock(mutex);
  if (!offline || frameCount <= 0) {
    return false;
  }
  std::vector<int16_t> crowd(static_cast<size_t>(frameCount) * kSceneChannels);
  if (!renderScene(crowd.data(), frameCount)) {
    return false;
  }
  if (ducker) {
    ducker->Process(frames, crowd.data(), static_cast<size_t>(frameCount), songPlaying);
  }
  for (size_t i = 0; i < crowd.size(); ++i) {
    frames[i] = static_cast<int16_t>(std::clamp(frames[i] + crowd[i], -32768, 32767));
  }
  return true;
}

void CrowdBridge::CarryBy(Output* by) {
  std::lock_guard lock(mutex);
  if (by == carrier || offline) {
    return;
  }
  if (by == nullptr) {
    // Back on a device of its own, at once, so that a murmur goes on.
    carrier = nullptr;
    ready = false;
    deviceTried = false;
    Ready();
    return;
  }
  if (!LoadLibrary() || initSceneOffline == nullptr || renderScene == nullptr ||
      !initSceneOffline(kSceneRate, kSceneChannels, kSceneBufferMs)) {
    return;  // the scene keeps its own device
  }
  carrier = by;
  ready = true;
  ducker = std::make_unique<CrowdDucker>(kSceneRate);
  ApplySettings();
  by->Carry(this);
}

void CrowdBridge::MixUnder(const Output* by, float* left, float* right, int frameCount,
                           bool songPlaying) {
  std::unique_lock lock(mutex, std::try_to_lock);
  for (auto waited = std::chrono::microseconds(0); !lock.owns_lock() && waited < kMostCarrierWait;
       waited += kCarrierRetry) {
    std::this_thread::sleep_for(kCarrierRetry);
    lock.try_lock();
  }
  if (frameCount <= 0 || !lock.owns_lock() || by != carrier || offline) {
    return;
  }
  const size_t samples = static_cast<size_t>(frameCount) * kSceneChannels;
  if (crowdScratch.size() < samples) {
    crowdScratch.resize(samples);
    musicScratch.resize(samples);
  }
  if (!renderScene(crowdScratch.data(), frameCount)) {
    return;
  }
  for (int i = 0; i < frameCount; ++i) {
    musicScratch[2 * i] = ToSample(left[i]);
    musicScratch[2 * i + 1] = ToSample(right[i]);
  }
  ducker->Process(musicScratch.data(), crowdScratch.data(), static_cast<size_t>(frameCount),
                  songPlaying);
  for (int i = 0; i < frameCount; ++i) {
    left[i] = std::clamp(left[i] + crowdScratch[2 * i] / kFullScale, -1.0f, 1.0f);
    right[i] = std::clamp(right[i] + crowdScratch[2 * i + 1] / kFullScale, -1.0f, 1.0f);
  }
}

bool CrowdBridge::OpenCollection(const char* iniPath, const char* waveFolder) {
  std::lock_guard lock(mutex);
  if (iniPath == nullptr || !Ready()) {
    return false;
  }
  EndFadingStop();
  return openCollection(iniPath, waveFolder != nullptr ? waveFolder : "");
}

bool CrowdBridge::StopAll() {
  std::lock_guard lock(mutex);
  if (!Ready()) {
    return false;
  }
  if (offline) {
    stopSeries();  // a render ends its own sound
    return true;
  }
  // The scene fades to silence; its sounds are stopped, and its volume given back, at its next
  // use.
  float silent[2] = {0.0f, 0.0f};
  setSceneVolume(silent, 2, kStopFadeMs);
  stopFading = true;
  return true;
}

void CrowdBridge::EndFadingStop() {
  if (!stopFading) {
    return;
  }
  stopFading = false;
  stopSeries();
  float volumes[2] = {volume[0], volume[1]};
  setSceneVolume(volumes, 2, 0);
}

bool CrowdBridge::PlaySeries(const char* name, float volume) {
  std::lock_guard lock(mutex);
  if (name == nullptr || !Ready()) {
    return false;
  }
  EndFadingStop();
  if (!playSeries(name, volume)) {
    return false;
  }
  if (carrier != nullptr) {
    carrier->WakeSoon();  // a synthesizer silent for a while has closed its device
  }
  return true;
}

bool CrowdBridge::SetVolume(float left, float right) {
  std::lock_guard lock(mutex);
  volume[0] = left;
  volume[1] = right;
  volumeSet = true;
  if (!Ready()) {
    return false;
  }
  EndFadingStop();
  float volumes[2] = {left, right};
  return setSceneVolume(volumes, 2, kVolumeRampMs);
}

bool CrowdBridge::Mute(bool mute) {
  std::lock_guard lock(mutex);
  muted = mute;
  muteSet = true;
  if (!Ready()) {
    return false;
  }
  muteScene(mute);
  return true;
}

bool CrowdBridge::IsMuted() {
  std::lock_guard lock(mutex);
  if (!Ready()) {
    return false;
  }
  return getSceneMutedState();
}

}  // namespace Kesh::Audio
