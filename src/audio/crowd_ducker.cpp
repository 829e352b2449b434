#include "audio/crowd_ducker.h"

#include <algorithm>
#include <cmath>

namespace Kesh::Audio {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kFullScale = 32768.0;
constexpr double kLoudnessOffset = -0.691;  // BS.1770's calibration of the loudness scale
constexpr int kStepMs = 10;
constexpr int kShortTermMs = 3000;
constexpr int kCrowdWindowMs = 400;
constexpr int kDropMs = 100;  // a drop of the music counts once it has lasted this long

double EnergyOf(double lufs) { return std::pow(10.0, (lufs - kLoudnessOffset) / 10.0); }

}  // namespace

CrowdDucker::Weighting::Weighting(double rate) {
  // The two K-weighting stages (a high shelf, then a high pass) for this sample rate.
  {
    const double k = std::tan(kPi * 1681.974450955533 / rate);
    const double q = 0.7071752369554196;
    const double vh = std::pow(10.0, 3.999843853973347 / 20.0);
    const double vb = std::pow(vh, 0.4996667741545416);
    const double a0 = 1.0 + k / q + k * k;
    b[0][0] = (vh + vb * k / q + k * k) / a0;
    b[0][1] = 2.0 * (k * k - vh) / a0;
    b[0][2] = (vh - vb * k / q + k * k) / a0;
    a[0][1] = 2.0 * (k * k - 1.0) / a0;
    a[0][2] = (1.0 - k / q + k * k) / a0;
  }
  {
    const double k = std::tan(kPi * 38.13547087602444 / rate);
    const double q = 0.5003270373238773;
    const double a0 = 1.0 + k / q + k * k;
    b[1][0] = 1.0;
    b[1][1] = -2.0;
    b[1][2] = 1.0;
    a[1][1] = 2.0 * (k * k - 1.0) / a0;
    a[1][2] = (1.0 - k / q + k * k) / a0;
  }
  a[0][0] = a[1][0] = 1.0;
}

double CrowdDucker::Weighting::Run(int channel, double x) {
  for (int stage = 0; stage < 2; ++stage) {
    double* state = z[stage][channel];
    const double y = b[stage][0] * x + state[0];
    state[0] = b[stage][1] * x - a[stage][1] * y + state[1];
    state[1] = b[stage][2] * x - a[stage][2] * y;
    x = y;
  }
  return x;
}

CrowdDucker::CrowdDucker(int sampleRate)
    : stepFrames(static_cast<size_t>(std::max(sampleRate, 1000)) * kStepMs / 1000),
      stepSeconds(kStepMs / 1000.0),
      musicWeighting(std::max(sampleRate, 1000)),
      crowdWeighting(std::max(sampleRate, 1000)),
      musicSteps(kShortTermMs / kStepMs, 0.0),
      crowdSteps(kCrowdWindowMs / kStepMs, 0.0),
      dropSteps(kDropMs / kStepMs) {}

void CrowdDucker::Process(const int16_t* music, int16_t* crowd, size_t frameCount,
                          bool songPlaying) {
  if (music == nullptr || crowd == nullptr) {
    return;
  }
  free = !songPlaying;
  for (size_t i = 0; i < frameCount; ++i) {
    for (int c = 0; c < 2; ++c) {
      const size_t at = i * 2 + static_cast<size_t>(c);
      const double m = musicWeighting.Run(c, music[at] / kFullScale);
      const double x = crowdWeighting.Run(c, crowd[at] / kFullScale);
      musicEnergy += m * m;
      crowdEnergy += x * x;
      const double scaled = std::round(crowd[at] * gain);
      crowd[at] = static_cast<int16_t>(std::clamp(scaled, -32768.0, 32767.0));
    }
    gain += gainStep;
    if (++stepFill == stepFrames) {
      EndStep();
    }
  }
}

void CrowdDucker::EndStep() {
  const double stepMusic = musicEnergy / static_cast<double>(stepFrames);
  const double stepCrowd = crowdEnergy / static_cast<double>(stepFrames);
  musicEnergy = crowdEnergy = 0;
  stepFill = 0;
  musicSum += stepMusic - musicSteps[musicAt];
  const size_t recentSteps = crowdSteps.size();  // 400 ms as well
  musicRecentSum +=
      stepMusic - musicSteps[(musicAt + musicSteps.size() - recentSteps) % musicSteps.size()];
  musicSteps[musicAt] = stepMusic;
  musicAt = (musicAt + 1) % musicSteps.size();
  crowdSum += stepCrowd - crowdSteps[crowdAt];
  crowdSteps[crowdAt] = stepCrowd;
  crowdAt = (crowdAt + 1) % crowdSteps.size();
  musicSum = std::max(musicSum, 0.0);  // rounding of the running sums
  musicRecentSum = std::max(musicRecentSum, 0.0);
  crowdSum = std::max(crowdSum, 0.0);

  // The music's energy: the quietest of its short-term (3 s), its last 400 ms and the loudest
  // step of its last 100 ms, so that the crowd follows a sudden drop of the music within 100 ms
  // rather than over 3 s (a crowd left loud for a few hundred milliseconds after a drop stands
  // out over the quieter music for the next seconds), while the gaps between notes shorter than
  // that leave it alone. The crowd's: the louder of its last 400 ms and its last step, so that a
  // sudden cheer is caught within a step.
  double musicPeak = 0;
  for (size_t i = 1; i <= dropSteps; ++i) {
    musicPeak =
        std::max(musicPeak, musicSteps[(musicAt + musicSteps.size() - i) % musicSteps.size()]);
  }
  const double musicShortTerm =
      std::min({musicSum / static_cast<double>(musicSteps.size()),
                musicRecentSum / static_cast<double>(recentSteps), musicPeak});
  const double crowdLevel = std::max(crowdSum / static_cast<double>(crowdSteps.size()), stepCrowd);
  const double limit =
      free ? EnergyOf(kFreeLevel) : musicShortTerm * std::pow(10.0, -kMarginDb / 10.0);
  double target = crowdLevel > limit ? std::sqrt(limit / crowdLevel) : 1.0;
  // Down at once (across one step), up no faster than kRiseDbPerSecond.
  const double rise =
      std::pow(10.0, (free ? kFreeRiseDbPerSecond : kRiseDbPerSecond) * stepSeconds / 20.0);
  // The ramp across the step ends exactly on the gain it headed for: summed steps leave a rounding
  // error, and a gain a hair under 0 would otherwise grow by the rise factor every step into a
  // huge inverted gain.
  gain = heading;
  heading = std::clamp(std::min(target, std::max(gain, kRiseFloor) * rise), 0.0, 1.0);
  gainStep = (heading - gain) / static_cast<double>(stepFrames);
}

}  // namespace Kesh::Audio
