#include "ovatix/engine.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <functional>
#include <thread>
#include <vector>

#include "ovatix/error.h"

namespace Ovatix {

namespace {

// Converts to int32 truncating toward zero, saturating instead of overflowing.
int32_t TruncI32(double v) {
  if (std::isnan(v)) {
    return 0;
  }
  return static_cast<int32_t>(std::clamp(std::trunc(v), -2147483648.0, 2147483647.0));
}

}  // namespace

// Every operation reached from an export holds the scene's client lock for its whole duration, so
// one client thread never sees the format, the writer or the instances change under it.
using ClientLock = std::lock_guard<std::recursive_mutex>;

Engine::Engine() : rng_(std::random_device{}()) {}

int32_t Engine::Rnd(int32_t n) {
  if (n <= 0) {
    return 0;
  }
  return std::uniform_int_distribution<int32_t>(0, n - 1)(rng_);
}

double Engine::Spread(double base, double s) { return base - s + s * Rnd(200) * 0.01; }

bool Engine::InitScene(int32_t device, uint32_t sampleRate, int32_t channels, uint32_t bufferMs) {
  try {
    ClientLock client(scene_.ClientLock());
    scene_.Stop();
    scene_.SetSceneFormat(sampleRate, static_cast<uint8_t>(channels), 16, bufferMs);
    scene_.SetOutputDevice(TWaveScene::kOutputDevice, std::to_string(device));
    scene_.Play();
    return true;
  } catch (...) {
    return false;
  }
}

bool Engine::InitSceneOffline(uint32_t sampleRate, int32_t channels, uint32_t bufferMs) {
  try {
    ClientLock client(scene_.ClientLock());
    scene_.Stop();
    scene_.RemoveOutput();
    scene_.SetSceneFormat(sampleRate, static_cast<uint8_t>(channels), 16, bufferMs);
    scene_.Play();
    return true;
  } catch (...) {
    return false;
  }
}

bool Engine::RenderScene(int16_t* samples, uint32_t frames) {
  if (samples == nullptr) {
    return false;
  }
  try {
    ClientLock client(scene_.ClientLock());
    scene_.RenderFrames(samples, frames);
    return true;
  } catch (...) {
    return false;
  }
}

bool Engine::PlayScene() {
  try {
    ClientLock client(scene_.ClientLock());
    scene_.Play();
    return true;
  } catch (...) {
    return false;
  }
}

bool Engine::StopScene() {
  ClientLock client(scene_.ClientLock());
  scene_.Stop();
  return true;
}

bool Engine::PauseScene() {
  ClientLock client(scene_.ClientLock());
  scene_.Pause();
  return true;
}

int32_t Engine::IsPlaying() const {
  ClientLock client(scene_.ClientLock());
  return scene_.GetState() == TWaveScene::kPlaying ? 1 : 0;
}

bool Engine::OpenCollection(const char* iniPath, const char* waveFolder) {
  try {
    ClientLock client(scene_.ClientLock());
    if (!collection_.Read(iniPath ? iniPath : "")) {
      return false;
    }
    scene_.StopAll();
    scene_.Clear();
    waves_.Clear();
    std::string folder = waveFolder ? waveFolder : "";
    if (!folder.empty() && folder.back() != '/' && folder.back() != '\\') {
      folder += '/';
    }
    for (const auto& [name, params] : collection_.Series()) {
      const std::string& w = params.wavFile;
      // Series naming the same recording share one loaded wave.
      if (w.empty() || waves_.Contains(w)) {
        continue;
      }
      std::string path;
      if (folder.empty()) {
        path = w;
        std::replace(path.begin(), path.end(), '\\', '/');
      } else {
        path = folder + FileNamePart(w);
      }
      waves_.Load(path, w);
    }
    return true;
  } catch (...) {
    return false;
  }
}

bool Engine::CloseCollection() {
  ClientLock client(scene_.ClientLock());
  collection_.Clear();
  scene_.StopAll();
  scene_.Clear();
  waves_.Clear();
  return true;
}

void Engine::EnumSeries(std::deque<std::string>* names) const {
  if (!names) {
    return;
  }
  ClientLock client(scene_.ClientLock());
  names->clear();
  for (const auto& entry : collection_.Series()) {
    names->push_back(entry.first);
  }
}

bool Engine::PlaySeries(const char* name, float volume, int32_t phase, uint32_t gridBase) {
  try {
    ClientLock client(scene_.ClientLock());
    const std::string key = name ? name : "";
    std::string& entry = running_[key];
    if (!entry.empty()) {
      uint32_t id = 0;
      auto [end, ec] = std::from_chars(entry.data(), entry.data() + entry.size(), id);
      if (ec != std::errc()) {
        id = 0;
      }
      if (scene_.CountInGroup(id) > 0) {
        return true;  // still sounding
      }
    }
    const SeriesParams& p = collection_.Find(key);
    const uint32_t id = StartSeries(p, phase, gridBase, volume);
    running_[key] = std::to_string(id);
    return true;
  } catch (...) {
    return false;
  }
}

void Engine::StopSeries() {
  ClientLock client(scene_.ClientLock());
  scene_.StopAll();
}

bool Engine::SetSceneVolume(const float* volumes, uint32_t count, int32_t rampMs) {
  try {
    ClientLock client(scene_.ClientLock());
    if (count == 0 || !volumes) {
      return false;
    }
    const uint8_t channels = scene_.Channels();
    if (channels == 0) {
      return false;
    }
    std::vector<float> gains(channels);
    for (uint32_t i = 0; i < channels; ++i) {
      gains[i] = volumes[i < count ? i : count - 1];
    }
    scene_.SetVolume(rampMs, gains);
    return true;
  } catch (...) {
    return false;
  }
}

int32_t Engine::GetSceneVolume(float* out) {
  ClientLock client(scene_.ClientLock());
  const std::vector<float> gains = scene_.GetVolume();
  if (out) {
    std::copy(gains.begin(), gains.end(), out);
  }
  return static_cast<int32_t>(gains.size());
}

uint32_t Engine::SetSeriesCoopLimit(uint32_t limit) {
  ClientLock client(scene_.ClientLock());
  coopLimit_ = limit;
  return limit;
}

void Engine::SetSeriesBreakFadeTime(int32_t ms) {
  ClientLock client(scene_.ClientLock());
  breakFadeMs_ = ms;
}

void Engine::MuteScene(bool mute) {
  ClientLock client(scene_.ClientLock());
  scene_.Mute(mute);
}

bool Engine::GetSceneMutedState() {
  ClientLock client(scene_.ClientLock());
  return scene_.IsMuted();
}

uint32_t Engine::StartSeries(const SeriesParams& p, int32_t phase, uint32_t gridBase,
                             float volume) {
  const uint32_t id = ++playId_;
  try {
    if (p.wavFile.empty()) {
      return 0;
    }
    int64_t count = static_cast<int64_t>(p.number) - p.numberSpread;
    const int64_t twice = 2 * static_cast<int64_t>(p.numberSpread);
    if (twice > 0) {
      count += Rnd(static_cast<int32_t>(std::min<int64_t>(twice, INT32_MAX)));
    }
    if (count <= 0) {
      return id;
    }
    count = std::min<int64_t>(count, kMaxInstancesPerStart);
    if (!waves_.Contains(p.wavFile)) {
      return 0;
    }
    const std::shared_ptr<TWaveBuffer> wave = waves_.Find(p.wavFile);

    const uint32_t period =
        (gridBase != 0 && p.midiSynch != 0) ? gridBase / static_cast<uint32_t>(p.midiSynch) : 0;
    const double target = Spread(1.0 - p.volumeReducing, p.volumeReducingSpread);
    float gain = 1.0f;
    const auto gainStep = static_cast<float>((target - 1.0) / static_cast<double>(count));

    const auto ticks =
        static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                  std::chrono::steady_clock::now().time_since_epoch())
                                  .count());
    const auto thread =
        static_cast<uint32_t>(std::hash<std::thread::id>{}(std::this_thread::get_id()));
    const std::string prefix =
        std::to_string(static_cast<int32_t>(static_cast<uint32_t>(Rnd(100)) + ticks + thread));

    int64_t start = 0;
    uint32_t len = 0;
    for (int64_t i = 0; i < count; ++i) {
      const std::string name = prefix + std::to_string(i);
      const auto pitch = static_cast<float>(Spread(1.0, p.pitchSpread));
      scene_.AddInstance(wave, name, id);
      if (i == 0) {
        len = scene_.GetInstanceLength(name, true);
      }
      auto prop = static_cast<float>(Spread(p.proportion, p.proportionSpread));
      if (!(prop < 1.0f)) {
        prop = 0.99f;
      }
      if (i == 0) {
        if (period != 0) {
          const auto ph = static_cast<uint32_t>(phase);
          start = ph % period;
          if (ph >= period) {
            start += period;
          }
        }
      } else {
        int64_t next = TruncI32(len * (1.0 + p.ahead) / pitch + static_cast<double>(start));
        if (period != 0) {
          const int64_t per = period;
          const int64_t rem = ((static_cast<int64_t>(phase) + next) % per + per) % per;
          next = rem < per - rem ? next - rem : next + (per - rem);
        }
        start = TruncI32((Rnd(200) * 0.01 * p.aheadSpread - p.aheadSpread) * len / pitch +
                         static_cast<double>(next));
      }
      scene_.SetInstanceDelay(name, TruncI32(static_cast<double>(start)));
      scene_.SetInstancePitch(name, pitch);
      scene_.InstanceAddVolumeNode(name, 0, 0.0f, TWaveScene::kEndNone);
      scene_.InstanceAddVolumeNode(name, TruncI32(len * static_cast<double>(prop)), gain * volume,
                                   TWaveScene::kEndNone);
      scene_.InstanceAddVolumeNode(name, TruncI32((1.0 - prop) * len), 0.0f,
                                   TWaveScene::kEndRemove);
      gain = gain + gainStep;
    }
    scene_.ForEachInGroup(id, [this](const std::string& name) {
      scene_.PlayInstance(name);
      return true;
    });
    ApplyCoopLimit();
    return id;
  } catch (...) {
    return 0;
  }
}

void Engine::ApplyCoopLimit() {
  if (coopLimit_ == 0) {
    return;
  }
  if (scene_.CountGroups(0) <= coopLimit_) {
    return;
  }
  const uint32_t oldest = scene_.OldestGroup(0);
  scene_.ForEachInGroup(oldest, [this](const std::string& name) {
    scene_.SetInstanceVolume(name, breakFadeMs_, 0.0f, TWaveScene::kEndRemove);
    scene_.SetInstanceGroup(name, 0xFFFFFFFFu);
    return true;
  });
}

}  // namespace Ovatix
