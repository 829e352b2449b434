// The crowd under the music: noise of the same colour as music and crowd, so that their level
// difference in RMS is their loudness difference, worked out by hand.
#include "audio/crowd_ducker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace {

constexpr int kRate = 44100;

std::vector<int16_t> Noise(double seconds, double rmsDb, unsigned seed) {
  std::mt19937 random(seed);
  std::normal_distribution<double> normal(0.0, 32768.0 * std::pow(10.0, rmsDb / 20.0));
  std::vector<int16_t> sound(static_cast<size_t>(seconds * kRate) * 2);
  for (int16_t& s : sound) {
    s = static_cast<int16_t>(std::clamp(std::lround(normal(random)), -32768L, 32767L));
  }
  return sound;
}

double RmsDb(const std::vector<int16_t>& sound, double fromSeconds, double toSeconds) {
  double sum = 0;
  const size_t from = static_cast<size_t>(fromSeconds * kRate) * 2;
  const size_t to = static_cast<size_t>(toSeconds * kRate) * 2;
  for (size_t i = from; i < to; ++i) {
    sum += static_cast<double>(sound[i]) * sound[i];
  }
  return 10 * std::log10(sum / static_cast<double>(to - from)) - 20 * std::log10(32768.0);
}

// Runs music and crowd through a ducker in blocks of an uneven size, as the module mixes them.
// The song plays until songEnd seconds.
void Duck(const std::vector<int16_t>& music, std::vector<int16_t>& crowd, double songEnd = 100) {
  Kesh::Audio::CrowdDucker ducker(kRate);
  for (size_t at = 0; at < crowd.size() / 2; at += 1234) {
    const size_t n = std::min<size_t>(1234, crowd.size() / 2 - at);
    ducker.Process(music.data() + at * 2, crowd.data() + at * 2, n,
                   static_cast<double>(at) / kRate < songEnd);
  }
}

TEST(CrowdDucker, HoldsTheCrowdUnderTheMusicAndFreesItAfter) {
  // A cheer 10 dB louder than the music sits 8 dB under it from its first step on; one 20 dB
  // under is left alone once the music's short-term window has filled (3 s).
  const std::vector<int16_t> music = Noise(10, -20, 1);
  std::vector<int16_t> loud = Noise(10, -10, 2);
  Duck(music, loud);
  EXPECT_NEAR(RmsDb(loud, 4, 10) - RmsDb(music, 4, 10), -8.0, 0.5);
  EXPECT_LT(RmsDb(loud, 0.05, 1) - RmsDb(music, 0.05, 1), -6.0);
  std::vector<int16_t> quiet = Noise(10, -40, 3);
  const std::vector<int16_t> untouched = quiet;
  Duck(music, quiet);
  const auto after = static_cast<std::ptrdiff_t>(kRate * 2 * 3.1);
  EXPECT_TRUE(std::equal(quiet.begin() + after, quiet.end(), untouched.begin() + after));

  // After the song's last note (here also its sound) the crowd may rise to the free level, -20
  // LUFS, quickly: for white noise in
  // both channels about -25.8 dB RMS (K-weighting adds about 3.5 dB, the second channel 3 dB,
  // the scale's offset -0.7 dB), so a -10 dB crowd ends there, not pressed under the silence.
  std::vector<int16_t> ended = music;
  std::fill(ended.begin() + kRate * 2 * 2, ended.end(), 0);  // the music stops at 2 s
  std::vector<int16_t> applause = Noise(10, -10, 4);
  Duck(ended, applause, 2.0);
  EXPECT_LT(RmsDb(applause, 1, 2), -27.0);  // under the music while it plays
  EXPECT_NEAR(RmsDb(applause, 4, 10), -25.8, 1.5);
  // A break inside the song does not free the crowd: it stays under the fading music.
  std::vector<int16_t> cheer = Noise(10, -10, 5);
  Duck(ended, cheer);
  EXPECT_LT(RmsDb(cheer, 4, 10), -40.0);
}

// A sudden drop of the music by 20 dB: the crowd follows it within 100 ms, not over the 400 ms
// the recent window takes to empty, or it would stand out over the quiet music for seconds.
TEST(CrowdDucker, FollowsASuddenDropWithin100Ms) {
  std::vector<int16_t> music = Noise(8, -20, 6);
  const std::vector<int16_t> quiet = Noise(8, -40, 7);
  std::copy(quiet.begin() + kRate * 2 * 5, quiet.end(), music.begin() + kRate * 2 * 5);
  std::vector<int16_t> cheer = Noise(8, -30, 8);
  Duck(music, cheer);
  EXPECT_NEAR(RmsDb(cheer, 4, 5) - RmsDb(music, 4, 5), -10.0, 0.5);  // 10 under: left alone
  // From 120 ms after the drop the cheer sits 8 dB under the quiet music: -48 dB at most.
  EXPECT_LT(RmsDb(cheer, 5.12, 5.4), -47.0);
  EXPECT_LT(RmsDb(cheer, 5.4, 8), -47.0);
}

}  // namespace

// A long silence inside the song presses the crowd to nothing; its gain must stay there, neither
// under 0 (where the rise factor would blow it up, inverted, to full scale) nor stuck at 0: once
// the music is back, a crowd well under it is heard again as it is.
TEST(CrowdDucker, ALongSilenceNeitherInvertsNorSilencesTheCrowdForGood) {
  std::vector<int16_t> music(static_cast<size_t>(kRate) * 2 * 80, 0);
  const std::vector<int16_t> back = Noise(10, -20, 9);
  std::copy(back.begin(), back.end(), music.begin() + kRate * 2 * 70);  // back at 70 s
  const std::vector<int16_t> given = Noise(80, -30, 10);
  std::vector<int16_t> crowd = given;
  Duck(music, crowd);
  size_t grown = 0;
  for (size_t i = 0; i < crowd.size(); ++i) {
    const bool flipped = (crowd[i] < 0 && given[i] > 0) || (crowd[i] > 0 && given[i] < 0);
    grown += (flipped || std::abs(crowd[i]) > std::abs(given[i])) ? 1 : 0;
  }
  EXPECT_EQ(grown, 0u);
  EXPECT_LT(RmsDb(crowd, 2, 70), -80.0);
  EXPECT_NEAR(RmsDb(crowd, 78, 80), -30.0, 1.0);
}
