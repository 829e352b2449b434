#include "render/music_pass.h"

#include <algorithm>
#include <vector>

#include "render/loudness.h"
#include "tavro/player_module.h"

namespace Kesh::Render {

namespace {

constexpr int kStepMs = 1000;
// After the last note: reverb and releases still belong to the music.
constexpr int64_t kReleaseMs = 2000;
// Played with the song stopped, so that the video's pass starts from silence.
constexpr int kSilenceMs = 3000;
// The music is measured this far under its calibrated gain, where the limiter leaves it alone:
// measured at the calibrated gain, a loud song is pressed by the limiter, reads too quiet, and
// comes out louder than the target once the gain is lowered.
constexpr float kMeasureGainDb = -24.0f;
// The range of the module's SetMusicGain.
constexpr float kMinGainDb = -40.0f;
constexpr float kMaxGainDb = 20.0f;

// Pulls everything the module has rendered; the frames go to meter when one is given.
bool Drain(Audio::IPlayer& module, LoudnessMeter* meter, std::vector<int16_t>& buffer) {
  const int capacity = static_cast<int>(buffer.size() / LoudnessMeter::kChannels);
  int n = 0;
  while ((n = module.RenderOffline(buffer.data(), capacity)) > 0) {
    if (meter != nullptr) {
      meter->Add(buffer.data(), static_cast<size_t>(n));
    }
  }
  return n == 0;
}

}  // namespace

bool MeasureMusic(Audio::IPlayer& module, int sampleRate, int64_t songMs, int64_t fromMs,
                  int64_t toMs, double& lufs, std::string* why) {
  const auto fail = [why](const char* reason) {
    if (why != nullptr) {
      *why = reason;
    }
    return false;
  };
  LoudnessMeter meter(sampleRate);
  std::vector<int16_t> buffer(static_cast<size_t>(sampleRate) * LoudnessMeter::kChannels);
  module.Stop();
  (void)module.SetMusicGain(kMeasureGainDb);
  module.Play();
  toMs = std::min(toMs, songMs + kReleaseMs);
  int64_t at = 0;
  while (at < toMs) {
    // Up to the span first, then the span itself, at most kStepMs at a time.
    const int64_t step = std::min<int64_t>(at < fromMs ? fromMs - at : toMs - at, kStepMs);
    if (!module.AdvanceOffline(static_cast<int>(step))) {
      module.Stop();
      (void)module.SetMusicGain(0.0f);
      return fail("the synthesizer does not render offline");
    }
    (void)Drain(module, at >= fromMs ? &meter : nullptr, buffer);
    at += step;
  }
  module.Stop();
  (void)module.AdvanceOffline(kSilenceMs);
  (void)Drain(module, nullptr, buffer);
  (void)module.SetMusicGain(0.0f);
  if (!meter.Integrated(lufs)) {
    return fail("the music is silent");
  }
  lufs -= kMeasureGainDb;
  return true;
}

float NormalisingGain(double lufs, double target) {
  return std::clamp(static_cast<float>(target - lufs), kMinGainDb, kMaxGainDb);
}

}  // namespace Kesh::Render
