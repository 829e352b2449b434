// A stand-in for the crowd-sound engine: records every call in a log the tests read back.
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {
std::string calls;
bool muted = false;
void Log(const std::string& line) { calls += line + "\n"; }
}  // namespace

#define EXPORT extern "C" __attribute__((visibility("default")))

EXPORT const char* FakeOvatixCalls() { return calls.c_str(); }
EXPORT void FakeOvatixClear() { calls.clear(); }

// The engine's export names begin with an underscore.
// NOLINTBEGIN(bugprone-reserved-identifier)
EXPORT bool _InitScene(int device, unsigned rate, int channels, unsigned bufferMs) {
  Log("InitScene " + std::to_string(device) + " " + std::to_string(rate) + " " +
      std::to_string(channels));
  return std::getenv("FAKE_OVATIX_NO_DEVICE") == nullptr;
}
EXPORT bool _InitSceneOffline(int rate, int channels, int bufferMs) {
  Log("InitSceneOffline " + std::to_string(rate) + " " + std::to_string(channels));
  return true;
}
EXPORT bool _RenderScene(int16_t* samples, int frames) {
  for (int i = 0; i < frames * 2; ++i) {
    samples[i] = 1000;
  }
  return true;
}
EXPORT bool _StopScene() { return true; }
EXPORT bool _OpenCollection(const char* ini, const char* folder) {
  Log(std::string("OpenCollection ") + ini + " [" + folder + "]");
  return true;
}
EXPORT void _StopSeries() { Log("StopSeries"); }
EXPORT bool _PlaySeries(const char* name, float volume) {
  Log(std::string("PlaySeries ") + name + " " + std::to_string(volume));
  return std::string(name) != "missing";
}
EXPORT bool _SetSceneVolume(float* v, unsigned count, int rampMs) {
  Log("SetSceneVolume " + std::to_string(count) + " " + std::to_string(v[0]) + " " +
      std::to_string(v[count - 1]) + (rampMs > 0 ? " ramp " + std::to_string(rampMs) : ""));
  return count > 0;
}
EXPORT void _MuteScene(bool mute) {
  Log(std::string("MuteScene ") + (mute ? "1" : "0"));
  muted = mute;
}
EXPORT bool _GetSceneMutedState() { return muted; }
// NOLINTEND(bugprone-reserved-identifier)
