#include <sys/stat.h>

#include <gtest/gtest.h>

#include "ovatix/error.h"
#include "ovatix/volumer.h"
#include "ovatix/wave_buffer.h"
#include "wav_maker.h"

using namespace ovatix_test;

namespace {

std::string LoadError(TWaveContainer& c, const std::string& path, const std::string& name) {
  try {
    c.Load(path, name);
  } catch (const Ovatix::Error& e) {
    return e.what();
  }
  return "";
}

TEST(WaveLoader, LoadsPcmVariants) {
  TempDir dir;
  TWaveContainer c;
  // 10 001 data bytes of 16-bit stereo: the partial last frame is dropped.
  WavSpec stereo;
  stereo.channels = 2;
  WriteFile(dir / "s.wav", MakeWav(stereo, std::string(10001, '\x01')));
  c.Load(dir / "s.wav", "s");
  EXPECT_EQ(c.Find("s")->Frames(), 2500u);
  EXPECT_EQ(c.Find("s")->Format().channels, 2);

  // An 18-byte "fmt " chunk (extra size 0) after an unrelated chunk loads like a plain one.
  WavSpec ext;
  ext.fmtSize = 18;
  ext.listChunk = true;
  WriteFile(dir / "e.wav", MakeWav(ext, Pcm16({1, -2, 3})));
  c.Load(dir / "e.wav", "e");
  EXPECT_EQ(c.Find("e")->Frames(), 3u);
  const auto* e = reinterpret_cast<const int16_t*>(c.Find("e")->Data());
  EXPECT_EQ(e[1], -2);

  WavSpec eight;
  eight.bits = 8;
  WriteFile(dir / "8.wav", MakeWav(eight, std::string("\x80\xff\x00", 3)));
  c.Load(dir / "8.wav", "8");
  EXPECT_EQ(c.Find("8")->Frames(), 3u);
  EXPECT_EQ(c.Find("8")->Data()[0], 128);

  // A data chunk cut short by the end of the file keeps the frames present.
  WavSpec cut;
  cut.declaredData = 1000;
  WriteFile(dir / "cut.wav", MakeWav(cut, Pcm16({5, 6})));
  c.Load(dir / "cut.wav", "cut");
  EXPECT_EQ(c.Find("cut")->Frames(), 2u);
  EXPECT_EQ(c.Size(), 4u);
}

TEST(WaveLoader, ReportsBadFilesWithTheirMessages) {
  TempDir dir;
  TWaveContainer c;
  WavSpec w24;
  w24.bits = 24;
  WriteFile(dir / "24.wav", MakeWav(w24, std::string(6, '\0')));
  EXPECT_EQ(LoadError(c, dir / "24.wav", "a"), "WaveBuffer supports 8 and 16 bit depth only!");

  WavSpec fl;
  fl.tag = 3;
  fl.bits = 32;
  fl.fmtSize = 18;
  WriteFile(dir / "f.wav", MakeWav(fl, std::string(8, '\0')));
  EXPECT_EQ(LoadError(c, dir / "f.wav", "a"),
            "File '" + (dir / "f.wav") + "' read error: non-PCM wav format");

  WriteFile(dir / "empty.wav", MakeWav(WavSpec{}, ""));
  EXPECT_EQ(LoadError(c, dir / "empty.wav", "a"), "file '" + (dir / "empty.wav") + "' is empty");

  EXPECT_EQ(LoadError(c, dir / "none.wav", "a"), "Error open file '" + (dir / "none.wav") + "'");
  // A named pipe or a folder is refused at once, not waited on.
  ASSERT_EQ(::mkfifo((dir / "pipe.wav").c_str(), 0600), 0);
  EXPECT_EQ(LoadError(c, dir / "pipe.wav", "a"), "Error open file '" + (dir / "pipe.wav") + "'");
  ASSERT_EQ(::mkdir((dir / "folder.wav").c_str(), 0700), 0);
  EXPECT_EQ(LoadError(c, dir / "folder.wav", "a"),
            "Error open file '" + (dir / "folder.wav") + "'");
  WriteFile(dir / "junk.wav", "RIFX0000WAVEfmt ");
  EXPECT_EQ(LoadError(c, dir / "junk.wav", "a"), "Error open file '" + (dir / "junk.wav") + "'");
  EXPECT_EQ(c.Size(), 0u);

  WriteFile(dir / "ok.wav", MakeWav(WavSpec{}, Pcm16({1})));
  WriteFile(dir / "ok2.wav", MakeWav(WavSpec{}, Pcm16({2})));
  c.Load(dir / "ok.wav", "x");
  EXPECT_EQ(LoadError(c, dir / "ok2.wav", "x"), "Wave name 'x' allready present.");
  EXPECT_EQ(reinterpret_cast<const int16_t*>(c.Find("x")->Data())[0], 1);
  try {
    c.Find("y");
    FAIL();
  } catch (const Ovatix::Error& e) {
    EXPECT_STREQ(e.what(), "Wave with name 'y' not found");
  }
}

TEST(WaveFile, WrittenFileHasCorrectHeader) {
  TempDir dir;
  const std::string path = dir / "out.wav";
  TWaveBuffer b(3, WaveFormat::Pcm(22050, 2, 16));
  EXPECT_THROW(b.AppendToWaveFile(), Ovatix::Error);
  auto* d = reinterpret_cast<int16_t*>(b.Data());
  for (int i = 0; i < 6; ++i) {
    d[i] = static_cast<int16_t>(i * 100 - 200);
  }
  b.CreateWaveFile(path);
  b.AppendToWaveFile();
  b.AppendToWaveFile();
  b.CloseWaveFile();
  const std::string f = ReadFile(path);
  ASSERT_EQ(f.size(), 56u + 24u);
  EXPECT_EQ(f.substr(0, 4), "RIFF");
  EXPECT_EQ(Get32(f, 4), f.size() - 8);
  EXPECT_EQ(f.substr(8, 8), "WAVEfmt ");
  EXPECT_EQ(Get32(f, 16), 16u);
  EXPECT_EQ(Get16(f, 20), 1);
  EXPECT_EQ(Get16(f, 22), 2);
  EXPECT_EQ(Get32(f, 24), 22050u);
  EXPECT_EQ(Get32(f, 28), 22050u * 4);
  EXPECT_EQ(Get16(f, 32), 4);
  EXPECT_EQ(Get16(f, 34), 16);
  EXPECT_EQ(f.substr(36, 4), "fact");
  EXPECT_EQ(Get32(f, 40), 4u);
  EXPECT_EQ(Get32(f, 44), 0u);
  EXPECT_EQ(f.substr(48, 4), "data");
  EXPECT_EQ(Get32(f, 52), 24u);
  EXPECT_EQ(static_cast<int16_t>(Get16(f, 56 + 12 + 2)), -100);
  EXPECT_FALSE(std::filesystem::exists(path + ".part"));

  // An odd data size gets a pad byte that the RIFF size counts.
  TWaveBuffer m(3, WaveFormat::Pcm(8000, 1, 8));
  m.CreateWaveFile(dir / "odd.wav");
  m.AppendToWaveFile();
  m.CloseWaveFile();
  const std::string o = ReadFile(dir / "odd.wav");
  ASSERT_EQ(o.size(), 56u + 4u);
  EXPECT_EQ(Get32(o, 52), 3u);
  EXPECT_EQ(Get32(o, 4), o.size() - 8);

  // The written file reads back.
  TWaveContainer c;
  c.Load(path, "back");
  EXPECT_EQ(c.Find("back")->Frames(), 6u);
}

TEST(WaveBuffer, RejectsUnsupportedFormats) {
  WaveFormat f = WaveFormat::Pcm(44100, 2, 16);
  f.formatTag = 2;
  try {
    TWaveBuffer b(1, f);
    FAIL();
  } catch (const Ovatix::Error& e) {
    EXPECT_STREQ(e.what(), "WaveBuffer supports WAVE_FORMAT_PCM only!");
  }
  f = WaveFormat::Pcm(44100, 0, 16);
  EXPECT_THROW(TWaveBuffer(1, f), Ovatix::Error);
}

// Mixing ------------------------------------------------------------------------------------

struct Mix {
  TWaveBuffer dst;
  explicit Mix(uint32_t frames, uint32_t rate = 44100, uint16_t channels = 2)
      : dst(frames, WaveFormat::Pcm(rate, channels, 16)) {}
  const int16_t* out() const { return reinterpret_cast<const int16_t*>(dst.Data()); }
};

TWaveBuffer Source(const std::vector<int16_t>& samples, uint32_t rate, uint16_t channels) {
  return TWaveBuffer(static_cast<uint32_t>(samples.size() / channels),
                     WaveFormat::Pcm(rate, channels, 16), samples.data());
}

TEST(Mixing, EightBitMonoIsWidenedAndCopiedToBothChannels) {
  const uint8_t bytes[] = {128, 255, 0, 130};
  TWaveBuffer src(4, WaveFormat::Pcm(44100, 1, 8), bytes);
  Mix m(4);
  uint32_t pos = 0;
  EXPECT_EQ(MixWave(src, pos, 4, m.dst, 0, 4, 1.0f, nullptr, nullptr, false), 4u);
  EXPECT_EQ(pos, 4u);
  const int16_t expected[] = {0, 0, 127 * 128, 127 * 128, -128 * 128, -128 * 128, 256, 256};
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(m.out()[i], expected[i]) << i;
  }
}

TEST(Mixing, WriteThenAddClipsAtHalfRange) {
  TWaveBuffer a = Source({12000, -12000, 100, 30000}, 44100, 2);
  Mix m(2);
  uint32_t pos = 0;
  MixWave(a, pos, 2, m.dst, 0, 2, 1.0f, nullptr, nullptr, false);
  EXPECT_EQ(m.out()[3], 30000);  // written without the clip
  pos = 0;
  MixWave(a, pos, 2, m.dst, 0, 2, 1.0f, nullptr, nullptr, true);
  EXPECT_EQ(m.out()[0], 16383);
  EXPECT_EQ(m.out()[1], -16383);
  EXPECT_EQ(m.out()[2], 200);
  EXPECT_EQ(m.out()[3], 16383);
}

TEST(Mixing, FirstInstanceAboveUnitGainIsClampedNotWrapped) {
  TWaveBuffer a = Source({30000, -30000}, 44100, 2);
  Mix m(1);
  TVolumer gain({2.0f, 2.0f});
  uint32_t pos = 0;
  MixWave(a, pos, 1, m.dst, 0, 1, 1.0f, nullptr, &gain, false);
  EXPECT_EQ(m.out()[0], 32767);
  EXPECT_EQ(m.out()[1], -32768);
}

TEST(Mixing, GainsOfBothStagesTruncateInTurn) {
  TWaveBuffer a = Source({1000, 1000, 1000, 1000}, 44100, 2);
  Mix m(2);
  TVolumer master({0.5f, 0.25f});
  TVolumer env({0.5f, 0.5f});
  env.Ramp({0.0f, 0.0f}, 2);
  uint32_t pos = 0;
  MixWave(a, pos, 2, m.dst, 0, 2, 1.0f, &master, &env, false);
  EXPECT_EQ(m.out()[0], 250);
  EXPECT_EQ(m.out()[1], 125);
  EXPECT_EQ(m.out()[2], 125);  // envelope advanced by one frame: 0.25
  EXPECT_EQ(m.out()[3], 62);
}

TEST(Mixing, SlowerSourceRepeatsFrames) {
  // 22050 Hz mono into 44100 Hz stereo: every source frame is written twice.
  TWaveBuffer a = Source({10, 20, 30}, 22050, 1);
  Mix m(8);
  uint32_t pos = 0;
  EXPECT_EQ(MixWave(a, pos, 3, m.dst, 0, 8, 1.0f, nullptr, nullptr, false), 6u);
  EXPECT_EQ(pos, 3u);
  const int16_t expected[] = {10, 10, 10, 10, 20, 20, 20, 20, 30, 30, 30, 30, 0, 0, 0, 0};
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(m.out()[i], expected[i]) << i;
  }
}

TEST(Mixing, FasterSourceDropsFrames) {
  TWaveBuffer a = Source({1, 2, 3, 4, 5, 6}, 44100, 1);
  Mix m(8, 44100, 1);
  uint32_t pos = 0;
  // Pitch 2: every second frame is dropped.
  EXPECT_EQ(MixWave(a, pos, 6, m.dst, 0, 8, 2.0f, nullptr, nullptr, false), 3u);
  EXPECT_EQ(pos, 6u);
  EXPECT_EQ(m.out()[0], 1);
  EXPECT_EQ(m.out()[1], 3);
  EXPECT_EQ(m.out()[2], 5);
  // 88200 Hz into 44100 Hz at pitch 1 drops the same way; the destination bounds the mix.
  TWaveBuffer b = Source({1, 2, 3, 4, 5, 6}, 88200, 1);
  Mix n(2, 44100, 1);
  pos = 0;
  EXPECT_EQ(MixWave(b, pos, 6, n.dst, 0, 2, 1.0f, nullptr, nullptr, false), 2u);
  EXPECT_EQ(n.out()[1], 3);
  EXPECT_EQ(pos, 3u);
  // Pitch 1.5: frames 0, 2, 3 and 5 are written (two of every three).
  Mix k(8, 44100, 1);
  pos = 0;
  EXPECT_EQ(MixWave(a, pos, 6, k.dst, 0, 8, 1.5f, nullptr, nullptr, false), 4u);
  EXPECT_EQ(k.out()[0], 1);
  EXPECT_EQ(k.out()[1], 3);
  EXPECT_EQ(k.out()[2], 4);
  EXPECT_EQ(k.out()[3], 6);
}

TEST(Mixing, ManyChannelScenesMatchTheSmallOnes) {
  // Three scene channels: the stereo source's last channel is copied into the third; both gain
  // stages apply per channel and advance per frame.
  TWaveBuffer a = Source({1000, -2000, 3000, -4000, 5000, -6000}, 22050, 2);
  TVolumer master({0.5f, 1.0f, 0.25f});
  TVolumer env({1.0f, 1.0f, 1.0f});
  env.Ramp({0.0f, 0.0f, 0.0f}, 4);
  Mix m(6, 44100, 3);
  uint32_t pos = 0;
  EXPECT_EQ(MixWave(a, pos, 3, m.dst, 0, 6, 1.0f, &master, &env, false), 6u);
  const int16_t expected[] = {500,  -2000, -500, 500,  -2000, -500, 1125, -3000, -750,
                              1125, -3000, -750, 1250, -3000, -750, 1250, -3000, -750};
  for (int i = 0; i < 18; ++i) {
    EXPECT_EQ(m.out()[i], expected[i]) << i;
  }
  // The same through the two-channel path gives the same first two channels.
  TVolumer master2({0.5f, 1.0f});
  TVolumer env2({1.0f, 1.0f});
  env2.Ramp({0.0f, 0.0f}, 4);
  Mix n(6, 44100, 2);
  pos = 0;
  MixWave(a, pos, 3, n.dst, 0, 6, 1.0f, &master2, &env2, false);
  for (int f = 0; f < 6; ++f) {
    EXPECT_EQ(n.out()[2 * f], expected[3 * f]) << f;
    EXPECT_EQ(n.out()[2 * f + 1], expected[3 * f + 1]) << f;
  }
}

TEST(Mixing, RejectsNonPositivePitch) {
  TWaveBuffer a = Source({1}, 44100, 1);
  Mix m(1);
  uint32_t pos = 0;
  try {
    MixWave(a, pos, 1, m.dst, 0, 1, 0.0f, nullptr, nullptr, false);
    FAIL();
  } catch (const Ovatix::Error& e) {
    EXPECT_STREQ(e.what(), "Pitch<=0");
  }
}

}  // namespace
