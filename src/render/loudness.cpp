#include "render/loudness.h"

#include <cmath>
#include <limits>

namespace Kesh::Render {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kFullScale = 32768.0;
constexpr double kOffset = -0.691;  // the calibration of the loudness scale (BS.1770)
constexpr double kAbsoluteGate = -70.0;
constexpr double kRelativeGate = -10.0;
constexpr size_t kStepsPerBlock = 4;       // 400 ms blocks made of 100 ms steps
constexpr size_t kStepsPerShortTerm = 30;  // 3 s

double ToLoudness(double energy) {
  return energy > 0 ? kOffset + 10.0 * std::log10(energy)
                    : -std::numeric_limits<double>::infinity();
}

}  // namespace

double LoudnessMeter::Biquad::Run(int channel, double x) {
  // Transposed direct form II.
  const double y = b0 * x + z1[channel];
  z1[channel] = b1 * x - a1 * y + z2[channel];
  z2[channel] = b2 * x - a2 * y;
  return y;
}

LoudnessMeter::LoudnessMeter(int sampleRate) : stepFrames(sampleRate > 0 ? sampleRate / 10 : 1) {
  // The two K-weighting stages designed from their analogue prototypes for this sample rate (the
  // standard gives coefficients for 48 kHz only).
  const double rate = sampleRate > 0 ? sampleRate : 48000;
  {
    const double f0 = 1681.974450955533;
    const double gainDb = 3.999843853973347;
    const double q = 0.7071752369554196;
    const double k = std::tan(kPi * f0 / rate);
    const double vh = std::pow(10.0, gainDb / 20.0);
    const double vb = std::pow(vh, 0.4996667741545416);
    const double a0 = 1.0 + k / q + k * k;
    shelf.b0 = (vh + vb * k / q + k * k) / a0;
    shelf.b1 = 2.0 * (k * k - vh) / a0;
    shelf.b2 = (vh - vb * k / q + k * k) / a0;
    shelf.a1 = 2.0 * (k * k - 1.0) / a0;
    shelf.a2 = (1.0 - k / q + k * k) / a0;
  }
  {
    const double f0 = 38.13547087602444;
    const double q = 0.5003270373238773;
    const double k = std::tan(kPi * f0 / rate);
    const double a0 = 1.0 + k / q + k * k;
    highPass.b0 = 1.0;
    highPass.b1 = -2.0;
    highPass.b2 = 1.0;
    highPass.a1 = 2.0 * (k * k - 1.0) / a0;
    highPass.a2 = (1.0 - k / q + k * k) / a0;
  }
}

void LoudnessMeter::Add(const int16_t* frames, size_t frameCount) {
  if (frames == nullptr) {
    return;
  }
  for (size_t i = 0; i < frameCount; ++i) {
    for (int c = 0; c < kChannels; ++c) {
      const double x = frames[i * kChannels + static_cast<size_t>(c)] / kFullScale;
      const double y = highPass.Run(c, shelf.Run(c, x));
      stepSum += y * y;  // both channels weigh 1
    }
    if (++stepFill == stepFrames) {
      steps.push_back(stepSum / stepFrames);
      stepSum = 0;
      stepFill = 0;
    }
  }
}

std::vector<double> LoudnessMeter::BlockEnergies(size_t stepsPerBlock) const {
  std::vector<double> blocks;
  for (size_t end = stepsPerBlock; end <= steps.size(); ++end) {
    double energy = 0;
    for (size_t s = end - stepsPerBlock; s < end; ++s) {
      energy += steps[s];
    }
    blocks.push_back(energy / static_cast<double>(stepsPerBlock));
  }
  return blocks;
}

std::vector<double> LoudnessMeter::Loudness(size_t stepsPerBlock) const {
  std::vector<double> blocks = BlockEnergies(stepsPerBlock);
  for (double& block : blocks) {
    block = ToLoudness(block);
  }
  return blocks;
}

std::vector<double> LoudnessMeter::Momentary() const { return Loudness(kStepsPerBlock); }

std::vector<double> LoudnessMeter::ShortTerm() const { return Loudness(kStepsPerShortTerm); }

bool LoudnessMeter::Integrated(double& lufs) const {
  const std::vector<double> energies = BlockEnergies(kStepsPerBlock);
  const auto gatedMean = [&energies](double gate, double& mean) {
    double sum = 0;
    size_t count = 0;
    for (double e : energies) {
      if (ToLoudness(e) > gate) {
        sum += e;
        ++count;
      }
    }
    if (count == 0) {
      return false;
    }
    mean = sum / static_cast<double>(count);
    return true;
  };
  double ungated = 0;
  if (!gatedMean(kAbsoluteGate, ungated)) {
    return false;
  }
  double gated = 0;
  if (!gatedMean(ToLoudness(ungated) + kRelativeGate, gated)) {
    return false;
  }
  lufs = ToLoudness(gated);
  return true;
}

}  // namespace Kesh::Render
