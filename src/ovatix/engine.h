// The process-wide state behind the exported functions: scene, waves, collection, series starts.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <random>
#include <string>

#include "ovatix/collection.h"
#include "ovatix/wave_buffer.h"
#include "ovatix/wave_scene.h"

namespace Ovatix {

class Engine {
 public:
  Engine();

  // Operations of the exported functions; those returning bool turn every error into false.
  bool InitScene(int32_t device, uint32_t sampleRate, int32_t channels, uint32_t bufferMs);
  bool InitSceneOffline(uint32_t sampleRate, int32_t channels, uint32_t bufferMs);
  bool RenderScene(int16_t* samples, uint32_t frames);
  bool PlayScene();
  bool StopScene();
  bool PauseScene();
  int32_t IsPlaying() const;
  bool OpenCollection(const char* iniPath, const char* waveFolder);
  bool CloseCollection();
  void EnumSeries(std::deque<std::string>* names) const;
  bool PlaySeries(const char* name, float volume, int32_t phase, uint32_t gridBase);
  void StopSeries();
  bool SetSceneVolume(const float* volumes, uint32_t count, int32_t rampMs);
  int32_t GetSceneVolume(float* out);
  uint32_t SetSeriesCoopLimit(uint32_t limit);
  void SetSeriesBreakFadeTime(int32_t ms);
  void MuteScene(bool mute);
  bool GetSceneMutedState();

  // The scheduler: starts one group of instances for the series and returns its play id, or 0
  // when nothing could be started.
  uint32_t StartSeries(const SeriesParams& p, int32_t phase, uint32_t gridBase, float volume);
  void ApplyCoopLimit();

  // rnd(n): uniform over 0 ... n-1 (0 for n <= 0).
  int32_t Rnd(int32_t n);
  void Seed(uint32_t seed) { rng_.seed(seed); }

  TWaveScene& Scene() { return scene_; }
  TWaveContainer& Waves() { return waves_; }
  Collection& Series() { return collection_; }
  uint32_t PlayIdCounter() const { return playId_; }
  const std::map<std::string, std::string>& Running() const { return running_; }

  // Upper bound of instances one series start makes, against absurd collection values.
  static constexpr int32_t kMaxInstancesPerStart = 1024;

 private:
  double Spread(double base, double s);

  TWaveScene scene_;
  TWaveContainer waves_;
  Collection collection_;
  std::map<std::string, std::string> running_;
  uint32_t playId_ = 1;
  uint32_t coopLimit_ = 0;
  int32_t breakFadeMs_ = 300;
  std::mt19937 rng_;
};

}  // namespace Ovatix
