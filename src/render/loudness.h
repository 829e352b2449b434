// Loudness of 16-bit stereo sound as broadcast practice measures it (ITU-R BS.1770: K-weighting,
// 400 ms blocks overlapping by 75 %, the absolute gate at -70 LUFS and the relative gate 10 LU
// under the ungated level), for normalising a video's music. Owns its filter state; one thread at
// a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Kesh::Render {

class LoudnessMeter {
 public:
  static constexpr int kChannels = 2;

  explicit LoudnessMeter(int sampleRate);

  // Adds interleaved stereo frames (full scale 32768).
  void Add(const int16_t* frames, size_t frameCount);
  // The integrated loudness in LUFS of everything added so far; false when nothing rose above
  // the absolute gate (silence).
  [[nodiscard]] bool Integrated(double& lufs) const;
  // The loudness of each 400 ms block so far, one every 100 ms (LUFS; -inf for silence): block i
  // ends at (i + 4) x 100 ms.
  std::vector<double> Momentary() const;
  // The same for 3 s blocks (short-term loudness): block i ends at (i + 30) x 100 ms.
  std::vector<double> ShortTerm() const;

 private:
  struct Biquad {
    double b0, b1, b2, a1, a2;
    double z1[kChannels] = {};
    double z2[kChannels] = {};
    double Run(int channel, double x);
  };

  // The mean weighted energy of each block of that many 100 ms steps, one block a step.
  std::vector<double> BlockEnergies(size_t stepsPerBlock) const;
  std::vector<double> Loudness(size_t stepsPerBlock) const;

  int stepFrames;             // 100 ms
  Biquad shelf{};             // the head's high-frequency shelf
  Biquad highPass{};          // the low-frequency roll-off
  double stepSum = 0;         // weighted energy of the current 100 ms step
  int stepFill = 0;           // frames in it
  std::vector<double> steps;  // mean weighted energy of each finished 100 ms step
};

}  // namespace Kesh::Render
