// What the built-in synthesizer makes of songs that reset it, move drum parts or play too loud:
// each case rendered offline and measured.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "audio/limiter.h"
#include "audio/outputs.h"
#include "audio/player.h"
#include "memory_stream.h"
#include "midi_builder.h"
#include "tavro/stream.h"

using Kesh::Audio::Player;
using TavroTest::BuildMidi;
using TavroTest::MemoryStream;
using TavroTest::TrackBuilder;

namespace {

constexpr int kRate = 22050;

struct Mixer {
  int volume = 100;
  int pan = 0;
  bool mute = false;
  int transpose = 0;
  float gainDb = 0;  // the music gain against the calibration
};

// Renders the first `ms` of a one-track song (division 96, 120 bpm) with the mixer set on every
// channel.
std::vector<int16_t> Render(const TrackBuilder& track, const Mixer& mixer = {}, int ms = 1500) {
  Player player(Kesh::Audio::MakeSystemOutputs(), "");
  MemoryStream stream(BuildMidi(0, 96, {track}));
  EXPECT_TRUE(player.OpenStream(&stream));
  EXPECT_TRUE(player.SetOffline(true, kRate));
  for (int ch = 0; ch < 16; ++ch) {
    player.SetVolume(ch, mixer.volume);
    player.SetPan(ch, mixer.pan);
    player.SetMute(ch, mixer.mute);
  }
  player.SetTranspose(mixer.transpose);
  EXPECT_TRUE(player.SetMusicGain(mixer.gainDb));
  player.Play();
  const int frames = kRate * ms / 1000;
  std::vector<int16_t> sound(static_cast<size_t>(frames) * 2);
  player.AdvanceOffline(ms);
  EXPECT_EQ(player.RenderOffline(sound.data(), frames), frames);
  return sound;
}

// RMS of one side (0 left, 1 right) of stereo frames [from, to).
double Rms(const std::vector<int16_t>& sound, int side, size_t from = 0, size_t to = SIZE_MAX) {
  to = std::min(to, sound.size() / 2);
  double sum = 0;
  for (size_t f = from; f < to; ++f) {
    sum += double(sound[2 * f + side]) * sound[2 * f + side];
  }
  return to > from ? std::sqrt(sum / static_cast<double>(to - from)) : 0.0;
}

// A note on every channel, without reverb and chorus (so that pan alone places the sound), at the
// start and again after `reset` half a second later.
TrackBuilder ResetSong(std::initializer_list<uint8_t> reset) {
  TrackBuilder t;
  auto dry = [&t] {
    for (uint8_t ch = 0; ch < 16; ++ch) {
      t.Msg(0, static_cast<uint8_t>(0xC0 | ch), 0).Msg(0, static_cast<uint8_t>(0xB0 | ch), 91, 0);
      t.Msg(0, static_cast<uint8_t>(0xB0 | ch), 93, 0);
    }
  };
  dry();
  for (uint8_t ch = 0; ch < 16; ++ch) {
    t.Msg(0, static_cast<uint8_t>(0x90 | ch), 60, 100);
  }
  t.Delta(96).Raw(reset);
  dry();
  for (uint8_t ch = 0; ch < 16; ++ch) {
    t.Msg(0, static_cast<uint8_t>(0x90 | ch), 64, 100);
  }
  t.End(192);
  return t;
}

const std::initializer_list<uint8_t> kGmOn = {0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
const std::initializer_list<uint8_t> kGm2On = {0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x03, 0xF7};
const std::initializer_list<uint8_t> kGsReset = {0xF0, 0x0A, 0x41, 0x10, 0x42, 0x12,
                                                 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7};

bool HaveSoundFont() { return !Kesh::Audio::FindSoundFont().empty(); }

}  // namespace

// A GM, GM2 or GS reset in the song returns the synthesizer's channels to their defaults; the
// mixer's volume, pan and mute still hold afterwards.
TEST(Synth, ResetsInTheSongKeepTheMixer) {
  if (!HaveSoundFont()) {
    GTEST_SKIP() << "no SoundFont installed";
  }
  const size_t half = kRate / 2;
  const size_t after = half + kRate / 10;  // past the reset and the attack of the next chord
  for (const auto& reset : {kGmOn, kGm2On, kGsReset}) {
    const TrackBuilder song = ResetSong(reset);
    const auto silent = Render(song, {.volume = 0});
    EXPECT_LT(Rms(silent, 0) + Rms(silent, 1), 10.0) << "volume 0 is lost at the reset";

    // Panned hard left, then hard right: the sides trade places after the reset as before it.
    // (The instruments' own reverb and stereo samples keep sound on the other side.) Sixteen
    // notes at once are turned down so that the limiter does not bend the louder side.
    const auto left = Render(song, {.pan = -64, .gainDb = -12});
    const auto right = Render(song, {.pan = 64, .gainDb = -12});
    auto balance = [](const std::vector<int16_t>& sound, size_t from, size_t to) {
      return Rms(sound, 0, from, to) / std::max(Rms(sound, 1, from, to), 1.0);
    };
    ASSERT_GT(Rms(left, 0, after), 500.0) << "the song is not heard after the reset";
    EXPECT_GT(balance(left, 0, half) / balance(right, 0, half), 2.0);
    // Measured here: about 3 before, 1.8 after; 1.0 when the reset recentres both.
    EXPECT_GT(balance(left, after, SIZE_MAX) / balance(right, after, SIZE_MAX), 1.4)
        << "pan is lost at the reset";
  }
}

// Bank 121 makes channel 10 melodic (GM2): the same sound as the program on channel 1. Drum
// parts are never transposed and melodic ones always, whatever their channel number.
TEST(Synth, DrumPartsDecideMelodyAndTransposition) {
  if (!HaveSoundFont()) {
    GTEST_SKIP() << "no SoundFont installed";
  }
  TrackBuilder piano;
  piano.Msg(0, 0xC0, 0).Msg(0, 0x90, 60, 100).End(96);
  TrackBuilder pianoUp;
  pianoUp.Msg(0, 0xC0, 0).Msg(0, 0x90, 65, 100).End(96);
  TrackBuilder melodic10;
  melodic10.Msg(0, 0xB9, 0, 121).Msg(0, 0xC9, 0).Msg(0, 0x99, 60, 100).End(96);
  TrackBuilder drums10;
  drums10.Msg(0, 0xC9, 0).Msg(0, 0x99, 38, 100).End(96);
  TrackBuilder drums2;  // GS: part 2 plays drums
  drums2.Delta(0).Raw({0xF0, 0x0A, 0x41, 0x10, 0x42, 0x12, 0x40, 0x12, 0x15, 0x01, 0x18, 0xF7});
  drums2.Msg(0, 0xC1, 0).Msg(0, 0x91, 38, 100).End(96);

  const auto reference = Render(piano, {}, 1000);
  EXPECT_TRUE(Render(melodic10, {}, 1000) == reference) << "bank 121 on channel 10 is not melodic";
  EXPECT_FALSE(Render(drums10, {}, 1000) == reference);

  const Mixer up{.transpose = 5};
  EXPECT_TRUE(Render(melodic10, up, 1000) == Render(pianoUp, {}, 1000))
      << "a melodic channel 10 is not transposed";
  const auto drumHit = Render(drums10, {}, 1000);
  EXPECT_TRUE(Render(drums2, up, 1000) == drumHit) << "drums on channel 2 are transposed";
  EXPECT_TRUE(Render(drums10, up, 1000) == drumHit);
}

// Samples up to -6 dBFS pass untouched; louder ones bend smoothly towards -2 dBFS, never above.
TEST(Synth, SoftLimiterShape) {
  using Kesh::Audio::SoftLimit;
  for (float x = -Kesh::Audio::kLimiterThreshold; x <= Kesh::Audio::kLimiterThreshold;
       x += 0.001f) {
    ASSERT_EQ(SoftLimit(x), x);
  }
  float previous = SoftLimit(Kesh::Audio::kLimiterThreshold);
  for (float x = Kesh::Audio::kLimiterThreshold; x < 8.0f; x += 0.0005f) {
    const float y = SoftLimit(x);
    ASSERT_GE(y, previous) << x;
    ASSERT_LT(y - previous, 0.0006f) << "a step at " << x;  // slope at most 1
    ASSERT_LT(y, 0.7944f) << x;                             // -2 dBFS
    ASSERT_EQ(SoftLimit(-x), -y);
    previous = y;
  }
  EXPECT_GT(SoftLimit(2.0f), 0.79f);
  EXPECT_NEAR(SoftLimit(0.5f), 0.5f, 1e-6f);  // -6.02 dBFS: below the threshold
}

// The music gain scales the synthesizer's sound by its decibels (a quiet note, far under the
// limiter); values outside -40 ... 20 dB are refused.
TEST(Synth, MusicGainScalesTheSound) {
  if (!HaveSoundFont()) {
    GTEST_SKIP() << "no SoundFont installed";
  }
  TrackBuilder quiet;
  quiet.Msg(0, 0xC0, 0).Msg(0, 0x90, 60, 60).End(192);
  const auto base = Render(quiet, {.gainDb = 0});
  const auto lower = Render(quiet, {.gainDb = -12});
  int peak = 0;
  for (int16_t s : base) {
    peak = std::max(peak, std::abs(int{s}));
  }
  ASSERT_LT(peak, 16000) << "the limiter would bend the louder sound";
  const double ratio = (Rms(lower, 0) + Rms(lower, 1)) / (Rms(base, 0) + Rms(base, 1));
  EXPECT_NEAR(ratio, std::pow(10.0, -12.0 / 20.0), 0.01);
  Player player(Kesh::Audio::MakeSystemOutputs(), "");
  EXPECT_FALSE(player.SetMusicGain(21.0f));
  EXPECT_FALSE(player.SetMusicGain(-41.0f));
  EXPECT_FALSE(player.SetMusicGain(std::nanf("")));
}

// A song far too loud for the synthesizer's gain comes out loud, held under the limiter's ceiling.
TEST(Synth, LoudSongsDoNotClip) {
  if (!HaveSoundFont()) {
    GTEST_SKIP() << "no SoundFont installed";
  }
  TrackBuilder loud;
  for (uint8_t ch = 0; ch < 16; ++ch) {
    if (ch == 9) {
      continue;
    }
    loud.Msg(0, static_cast<uint8_t>(0xC0 | ch), 30)
        .Msg(0, static_cast<uint8_t>(0xB0 | ch), 7, 127);
    for (uint8_t note : {40, 47, 52, 55, 59, 64}) {
      loud.Msg(0, static_cast<uint8_t>(0x90 | ch), note, 127);
    }
  }
  loud.End(192);
  const auto sound = Render(loud, {.volume = 120}, 1000);
  int peak = 0;
  int atFullScale = 0;
  for (int16_t s : sound) {
    peak = std::max(peak, std::abs(int{s}));
    atFullScale += (s == 32767 || s == -32768) ? 1 : 0;
  }
  EXPECT_GT(peak, 25000) << "the song is not loud enough to test the limiter";
  EXPECT_LE(peak, 26030);  // the limiter's ceiling, -2 dBFS
  EXPECT_EQ(atFullScale, 0);
}
