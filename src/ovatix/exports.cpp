// The exported functions: each forwards to the one engine of the process. No C++ exception
// leaves an export: whatever escapes the engine becomes the export's failure value.
#include "ovatix/exports.h"

#include "ovatix/engine.h"

namespace {
// Created when the library is loaded and destroyed when it is unloaded.
Ovatix::Engine g_engine;

// Runs call and returns its result, or failure when it raises.
template <typename Result, typename Call>
Result Guarded(Result failure, Call call) noexcept {
  try {
    return call();
  } catch (...) {
    return failure;
  }
}

template <typename Call>
void Guarded(Call call) noexcept {
  try {
    call();
  } catch (...) {
    // Nothing to report through a void export; the engine's state stays as far as it got.
  }
}
}  // namespace

// NOLINTBEGIN(bugprone-reserved-identifier)
bool _InitScene(int32_t device, uint32_t sampleRate, int32_t channels, uint32_t bufferMs) {
  return Guarded(false, [&] { return g_engine.InitScene(device, sampleRate, channels, bufferMs); });
}
bool _PlayScene() {
  return Guarded(false, [] { return g_engine.PlayScene(); });
}
bool _StopScene() {
  return Guarded(false, [] { return g_engine.StopScene(); });
}
bool _PauseScene() {
  return Guarded(false, [] { return g_engine.PauseScene(); });
}
int32_t _IsPlaying() {
  return Guarded(0, [] { return g_engine.IsPlaying(); });
}
bool _OpenCollection(const char* iniPath, const char* waveFolder) {
  return Guarded(false, [&] { return g_engine.OpenCollection(iniPath, waveFolder); });
}
bool _CloseCollection() {
  return Guarded(false, [] { return g_engine.CloseCollection(); });
}
void _EnumSeries(std::deque<std::string>* names) {
  Guarded([&] { g_engine.EnumSeries(names); });
}
bool _PlaySeries(const char* name, float volume) {
  return Guarded(false, [&] { return g_engine.PlaySeries(name, volume, 0, 0); });
}
bool _PlaySeriesEx(const char* name, float volume, int32_t phase, uint32_t gridBase) {
  return Guarded(false, [&] { return g_engine.PlaySeries(name, volume, phase, gridBase); });
}
void _StopSeries() {
  Guarded([] { g_engine.StopSeries(); });
}
bool _SetSceneVolume(const float* volumes, uint32_t count, int32_t rampMs) {
  return Guarded(false, [&] { return g_engine.SetSceneVolume(volumes, count, rampMs); });
}
int32_t _GetSceneVolume(float* out) {
  return Guarded(0, [&] { return g_engine.GetSceneVolume(out); });
}
uint32_t _SetSeriesCoopLimit(uint32_t limit) {
  return Guarded(limit, [&] { return g_engine.SetSeriesCoopLimit(limit); });
}
void _SetSeriesBreakFadeTime(int32_t ms) {
  Guarded([&] { g_engine.SetSeriesBreakFadeTime(ms); });
}
void _MuteScene(bool mute) {
  Guarded([&] { g_engine.MuteScene(mute); });
}
bool _GetSceneMutedState() {
  return Guarded(false, [] { return g_engine.GetSceneMutedState(); });
}
bool _InitSceneOffline(uint32_t sampleRate, int32_t channels, uint32_t bufferMs) {
  return Guarded(false, [&] { return g_engine.InitSceneOffline(sampleRate, channels, bufferMs); });
}
bool _RenderScene(int16_t* samples, uint32_t frames) {
  return Guarded(false, [&] { return g_engine.RenderScene(samples, frames); });
}
// NOLINTEND(bugprone-reserved-identifier)
