// Keeps the crowd under the band when both are mixed into one sound (offline rendering): while the
// song plays, the crowd's level is held at least kMarginDb under the music's short-term loudness
// (3 s), under its last 400 ms and under the loudest step of its last 100 ms, measured K-weighted
// as loudness meters do; before the song and after its last note (the murmur, the applause) the
// crowd may rise to kFreeLevel. Gain changes are immediate downwards and gradual upwards, and
// ramped across each 10 ms step. Plain arithmetic over the samples it is given; one thread at a
// time (the module's lock).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Kesh::Audio {

class CrowdDucker {
 public:
  // How far under the music's short-term loudness the crowd sits at most, in dB.
  static constexpr double kMarginDb = 8.0;
  // The crowd's ceiling (LUFS) while no song plays.
  static constexpr double kFreeLevel = -20.0;
  // How fast the crowd's gain may rise, in dB per second: slowly under the music, faster once
  // free (the applause after the song).
  static constexpr double kRiseDbPerSecond = 6.0;
  static constexpr double kFreeRiseDbPerSecond = 20.0;
  // The gain a rise starts from when the crowd was silenced (-40 dB): a rise is a factor per
  // step, which would never leave 0.
  static constexpr double kRiseFloor = 0.01;

  explicit CrowdDucker(int sampleRate);

  // music: the block's music, crowd: the crowd to be mixed with it, both interleaved stereo of
  // frameCount frames; the crowd is scaled in place. songPlaying: the song has notes still to play.
  void Process(const int16_t* music, int16_t* crowd, size_t frameCount, bool songPlaying);

  // The gain applied at the end of the last block (1 = untouched).
  double Gain() const { return gain; }

 private:
  struct Weighting {
    explicit Weighting(double rate);
    double Run(int channel, double x);
    double b[2][3];
    double a[2][3];
    double z[2][2][2] = {};  // [stage][channel][state]
  };

  // Ends a 10 ms step: takes its energies into the rings and sets the gain to move to.
  void EndStep();

  size_t stepFrames;
  double stepSeconds;
  Weighting musicWeighting;
  Weighting crowdWeighting;
  std::vector<double> musicSteps;  // the last 3 s of mean weighted music energy, a ring
  std::vector<double> crowdSteps;  // the last 400 ms of the crowd's, a ring
  size_t dropSteps;                // the steps of the music a drop must last to count
  size_t musicAt = 0;
  size_t crowdAt = 0;
  double musicSum = 0;
  double musicRecentSum = 0;  // of the last 400 ms of musicSteps
  double crowdSum = 0;
  bool free = true;        // no song playing: the crowd is held to kFreeLevel only
  double gain = 1.0;       // the gain now
  double gainStep = 0;     // its change per frame across the current step
  double heading = 1.0;    // the gain at the end of the current step
  size_t stepFill = 0;     // frames of the current step so far
  double musicEnergy = 0;  // the current step's weighted energy so far
  double crowdEnergy = 0;
};

}  // namespace Kesh::Audio
