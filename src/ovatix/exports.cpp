// The exported functions: each forwards to the one engine of the process.
#include "ovatix/exports.h"

#include "ovatix/engine.h"

namespace {
// Created when the library is loaded and destroyed when it is unloaded.
Ovatix::Engine g_engine;
}  // namespace

// NOLINTBEGIN(bugprone-reserved-identifier)
bool _InitScene(int32_t device, uint32_t sampleRate, int32_t channels, uint32_t bufferMs) {
  return g_engine.InitScene(device, sampleRate, channels, bufferMs);
}
bool _PlayScene() { return g_engine.PlayScene(); }
bool _StopScene() { return g_engine.StopScene(); }
bool _PauseScene() { return g_engine.PauseScene(); }
int32_t _IsPlaying() { return g_engine.IsPlaying(); }
bool _OpenCollection(const char* iniPath, const char* waveFolder) {
  return g_engine.OpenCollection(iniPath, waveFolder);
}
bool _CloseCollection() { return g_engine.CloseCollection(); }
void _EnumSeries(std::deque<std::string>* names) { g_engine.EnumSeries(names); }
bool _PlaySeries(const char* name, float volume) { return g_engine.PlaySeries(name, volume, 0, 0); }
bool _PlaySeriesEx(const char* name, float volume, int32_t phase, uint32_t gridBase) {
  return g_engine.PlaySeries(name, volume, phase, gridBase);
}
void _StopSeries() { g_engine.StopSeries(); }
bool _SetSceneVolume(const float* volumes, uint32_t count, int32_t rampMs) {
  return g_engine.SetSceneVolume(volumes, count, rampMs);
}
int32_t _GetSceneVolume(float* out) { return g_engine.GetSceneVolume(out); }
uint32_t _SetSeriesCoopLimit(uint32_t limit) { return g_engine.SetSeriesCoopLimit(limit); }
void _SetSeriesBreakFadeTime(int32_t ms) { g_engine.SetSeriesBreakFadeTime(ms); }
void _MuteScene(bool mute) { g_engine.MuteScene(mute); }
bool _GetSceneMutedState() { return g_engine.GetSceneMutedState(); }
bool _InitSceneOffline(uint32_t sampleRate, int32_t channels, uint32_t bufferMs) {
  return g_engine.InitSceneOffline(sampleRate, channels, bufferMs);
}
bool _RenderScene(int16_t* samples, uint32_t frames) {
  return g_engine.RenderScene(samples, frames);
}
// NOLINTEND(bugprone-reserved-identifier)
