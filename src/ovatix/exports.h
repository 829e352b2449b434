// The C functions exported by libovatix.so. Clients load the library with dlopen and look the
// names up with dlsym; the typedefs below give the signatures.
#pragma once

#include <cstdint>
#include <deque>
#include <string>

#define OVATIX_EXPORT extern "C" __attribute__((visibility("default")))

// The names are fixed by the clients, leading underscore included.
// NOLINTBEGIN(bugprone-reserved-identifier)

OVATIX_EXPORT bool _InitScene(int32_t device, uint32_t sampleRate, int32_t channels,
                              uint32_t bufferMs);
OVATIX_EXPORT bool _PlayScene();
OVATIX_EXPORT bool _StopScene();
OVATIX_EXPORT bool _PauseScene();
OVATIX_EXPORT int32_t _IsPlaying();
OVATIX_EXPORT bool _OpenCollection(const char* iniPath, const char* waveFolder);
OVATIX_EXPORT bool _CloseCollection();
OVATIX_EXPORT void _EnumSeries(std::deque<std::string>* names);
OVATIX_EXPORT bool _PlaySeries(const char* name, float volume);
OVATIX_EXPORT bool _PlaySeriesEx(const char* name, float volume, int32_t phase, uint32_t gridBase);
OVATIX_EXPORT void _StopSeries();
OVATIX_EXPORT bool _SetSceneVolume(const float* volumes, uint32_t count, int32_t rampMs);
OVATIX_EXPORT int32_t _GetSceneVolume(float* out);
OVATIX_EXPORT uint32_t _SetSeriesCoopLimit(uint32_t limit);
OVATIX_EXPORT void _SetSeriesBreakFadeTime(int32_t ms);
OVATIX_EXPORT void _MuteScene(bool mute);
OVATIX_EXPORT bool _GetSceneMutedState();
// Offline rendering (no output device): format the scene, then pull frames on the caller's thread.
OVATIX_EXPORT bool _InitSceneOffline(uint32_t sampleRate, int32_t channels, uint32_t bufferMs);
OVATIX_EXPORT bool _RenderScene(int16_t* samples, uint32_t frames);
// NOLINTEND(bugprone-reserved-identifier)

namespace OvatixApi {
using InitScene = bool (*)(int32_t, uint32_t, int32_t, uint32_t);
using PlayScene = bool (*)();
using StopScene = bool (*)();
using PauseScene = bool (*)();
using IsPlaying = int32_t (*)();
using OpenCollection = bool (*)(const char*, const char*);
using CloseCollection = bool (*)();
using EnumSeries = void (*)(std::deque<std::string>*);
using PlaySeries = bool (*)(const char*, float);
using PlaySeriesEx = bool (*)(const char*, float, int32_t, uint32_t);
using StopSeries = void (*)();
using SetSceneVolume = bool (*)(const float*, uint32_t, int32_t);
using GetSceneVolume = int32_t (*)(float*);
using SetSeriesCoopLimit = uint32_t (*)(uint32_t);
using SetSeriesBreakFadeTime = void (*)(int32_t);
using MuteScene = void (*)(bool);
using GetSceneMutedState = bool (*)();
using InitSceneOffline = bool (*)(uint32_t, int32_t, uint32_t);
using RenderScene = bool (*)(int16_t*, uint32_t);
}  // namespace OvatixApi
