// What a viewer sees and hears of a rendered show, measured from the real tavro-render's output:
// no second of the picture flashes more than three times (the shipped styles in their strobe
// sections, and a style that asks for a strobe every frame), the music reaches the loudness
// target without passing -1 dBTP, and the loudness meter of the music pass agrees with ffmpeg's.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "common/shell.h"
#include "common/temp_dir.h"
#include "gfx/image.h"
#include "render/ending.h"
#include "render/loudness.h"

namespace {

namespace fs = std::filesystem;

const std::string kProgram = TAVRO_PROGRAM_DIR;
const std::string kRender = kProgram + "/tavro-render";
const std::string kDemo = kProgram + "/demo/";
constexpr int kFrameRate = 25;
constexpr int kMaxFlashes = 3;

using Result = ShellResult;

bool HaveFfmpeg() { return Shell("command -v ffmpeg").status == 0; }

// sRGB to linear light (IEC 61966-2-1).
double Linear(uint32_t channel) {
  const double c = channel / 255.0;
  return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

// The mean relative luminance of every frame of a folder of PNG frames, in order.
std::vector<double> FrameLuminance(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path().extension() == ".png") {
      names.push_back(entry.path().string());
    }
  }
  std::sort(names.begin(), names.end());
  double table[256];
  for (uint32_t c = 0; c < 256; ++c) {
    table[c] = Linear(c);
  }
  std::vector<double> means;
  for (const std::string& name : names) {
    Vell::Gfx::Image image;
    EXPECT_TRUE(image.LoadPng(name)) << name;
    double sum = 0;
    for (int y = 0; y < image.Height(); ++y) {
      for (int x = 0; x < image.Width(); ++x) {
        const uint32_t p = image.Pixel(x, y);
        sum += 0.2126 * table[Vell::Gfx::RedOf(p)] + 0.7152 * table[Vell::Gfx::GreenOf(p)] +
               0.0722 * table[Vell::Gfx::BlueOf(p)];
      }
    }
    means.push_back(image.Width() > 0 ? sum / (image.Width() * image.Height()) : 0);
  }
  return means;
}

// The most flashes in any one second: a change is a swing of at least 0.1 in mean relative
// luminance away from the extreme reached since the previous change, the other way; a flash is
// a pair of opposing changes.
int MostFlashesInASecond(const std::vector<double>& luminance) {
  std::vector<size_t> changes;
  int direction = 0;
  double low = luminance.empty() ? 0 : luminance[0];
  double high = low;
  for (size_t i = 0; i < luminance.size(); ++i) {
    const double v = luminance[i];
    if (direction >= 0) {
      high = std::max(high, v);
    }
    if (direction <= 0) {
      low = std::min(low, v);
    }
    if (direction >= 0 && high - v >= 0.1) {
      changes.push_back(i);
      direction = -1;
      low = v;
    } else if (direction <= 0 && v - low >= 0.1) {
      changes.push_back(i);
      direction = 1;
      high = v;
    }
  }
  int most = 0;
  for (size_t i = 0; i < changes.size(); ++i) {
    int n = 0;
    for (size_t j = i; j < changes.size() && changes[j] < changes[i] + kFrameRate; ++j) {
      ++n;
    }
    most = std::max(most, n / 2);
  }
  return most;
}

// The light SoundFont when it is installed: these tests look, they do not listen.
std::string LightSoundFont() {
  const std::string font = "/usr/share/sounds/sf2/TimGM6mb.sf2";
  return fs::exists(font) ? " --soundfont " + font : "";
}

// Renders frames of a span of a song and counts its flashes.
int Flashes(const std::string& song, const std::string& style, double start, double seconds,
            const std::string& extra = "") {
  TempDir out;
  const Result render = Shell(kRender + " " + Quote(song) + " --style " + style + " --start " +
                              std::to_string(start) + " --seconds " + std::to_string(seconds) +
                              " --frames " + out.File("frames") + LightSoundFont() + " " + extra);
  EXPECT_EQ(render.status, 0) << render.output;
  const std::vector<double> luminance = FrameLuminance(out.File("frames"));
  EXPECT_EQ(static_cast<int>(luminance.size()), static_cast<int>(seconds * kFrameRate));
  return MostFlashesInASecond(luminance);
}

TEST(ShowSafety, TheFlashCountOfAKnownSequence) {
  // Dark, two bright frames, dark: one flash; a slow ramp of small steps is no flash until it
  // has moved 0.1; an alternation every frame is twelve flashes in 25 frames.
  std::vector<double> one(50, 0.02);
  one[10] = one[11] = 0.5;
  EXPECT_EQ(MostFlashesInASecond(one), 1);
  std::vector<double> ramp;
  for (int i = 0; i < 50; ++i) {
    ramp.push_back(0.02 + 0.004 * (i % 25));  // up by 0.096, then back down at once
  }
  EXPECT_EQ(MostFlashesInASecond(ramp), 0);
  std::vector<double> strobe;
  for (int i = 0; i < 50; ++i) {
    strobe.push_back(i % 2 == 0 ? 0.02 : 0.6);
  }
  EXPECT_EQ(MostFlashesInASecond(strobe), 12);
}

// Each shipped style on its demo song, over the span where its strobe automation fires (its
// "range" of the song: Rock 55-85 %, Electronic 50-85 %, Pop 70-85 %); Jazz and Classic do not
// strobe, so a stretch of lights early in the song is taken. Each span is cut to 8 s to keep the
// test short (the show before the span is rendered too).
TEST(ShowSafety, ShippedStylesFlashAtMostThreeTimesASecond) {
  struct Span {
    const char* style;
    const char* song;
    double start;
  };
  const Span spans[] = {{"Rock", "rock.mid", 50},
                        {"Electronic", "electronic.mid", 45},
                        {"Pop", "pop.mid", 62},
                        {"Jazz", "jazz.mid", 12},
                        {"Classic", "classic.mid", 12}};
  for (const Span& span : spans) {
    SCOPED_TRACE(span.style);
    EXPECT_LE(Flashes(kDemo + span.song, span.style, span.start, 8), kMaxFlashes);
  }
}

// A style file asking for a full-white strobe toggling every frame for the whole song: held to
// the limit with reduced flashing (the default), free with --allow-flashing (which shows that
// the measurement sees the flashes).
TEST(ShowSafety, AHostileStrobeIsHeldToTheLimit) {
  TempDir data;
  for (const char* folder : {"config", "artists"}) {
    fs::create_directory_symlink(kProgram + "/" + folder, data.File(folder));
  }
  fs::create_directories(data.File("styles"));
  fs::create_directory_symlink(kProgram + "/styles/rock", data.File("styles/rock"));
  std::ofstream(data.File("styles/styles.xml"))
      << R"(<?xml version="1.0"?><styles><include file="hostile.xml"/></styles>)";
  std::ofstream(data.File("styles/hostile.xml")) << R"(<?xml version="1.0"?>
<profile><styles><style name="Hostile" stage="rock/stage.png">
  <filters>
    <fade depth="16" inc="4"><auto out="0" in="0" attack="1" release="1" delay="1"/></fade>
    <strobe freq="0" depth="255" sustain="1000000"><auto lines="1,2,3,4,5,6,7,8" range="0,1"/></strobe>
  </filters>
</style></styles></profile>
)";
  const std::string song = kDemo + "rock.mid";
  const std::string where = "--data " + data.path.string();
  EXPECT_LE(Flashes(song, "Hostile", 20, 6, where), kMaxFlashes);
  EXPECT_GT(Flashes(song, "Hostile", 20, 6, where + " --allow-flashing"), 6);
}

// The music pass's meter against ffmpeg's on the same sound: bursts of noise and tones at
// different levels with silences between them (which the gates must leave out).
TEST(ShowSafety, LoudnessMeterAgreesWithFfmpeg) {
  if (!HaveFfmpeg()) {
    GTEST_SKIP() << "needs ffmpeg";
  }
  constexpr int kRate = 44100;
  std::vector<int16_t> sound;
  std::mt19937 random(7);
  std::normal_distribution<double> noise(0.0, 1.0);
  const double levels[] = {0.05, 0.2, 0.0, 0.1, 0.0005, 0.3};
  for (int part = 0; part < 6; ++part) {
    for (int i = 0; i < kRate * 2; ++i) {
      const double tone = std::sin(2 * 3.14159265358979 * (200.0 + 700.0 * part) * i / kRate);
      const double x = levels[part] * (part % 2 == 0 ? 0.5 * noise(random) : tone);
      const auto sample = static_cast<int16_t>(std::clamp(x, -1.0, 1.0) * 32767);
      sound.push_back(sample);
      sound.push_back(static_cast<int16_t>(part == 3 ? 0 : sample));  // one part on the left only
    }
  }
  Kesh::Render::LoudnessMeter meter(kRate);
  meter.Add(sound.data(), sound.size() / 2);
  double ours = 0;
  ASSERT_TRUE(meter.Integrated(ours));

  TempDir out;
  const std::string raw = out.File("sound.raw");
  std::ofstream(raw, std::ios::binary)
      .write(reinterpret_cast<const char*>(sound.data()),
             static_cast<std::streamsize>(sound.size() * sizeof(int16_t)));
  const Result ffmpeg =
      Shell("ffmpeg -nostats -f s16le -ar 44100 -ac 2 -i " + Quote(raw) + " -af ebur128 -f null -");
  std::smatch match;
  const std::string summary = ffmpeg.output.substr(ffmpeg.output.rfind("Summary:"));
  ASSERT_TRUE(std::regex_search(summary, match, std::regex(R"(I:\s+(-?[0-9.]+) LUFS)")))
      << ffmpeg.output;
  EXPECT_NEAR(ours, std::stod(match[1]), 0.15);

  // A 997 Hz sine at -20 dBFS in both channels reads -20 LUFS; silence has no loudness.
  Kesh::Render::LoudnessMeter sine(kRate);
  std::vector<int16_t> tone;
  for (int i = 0; i < kRate * 3; ++i) {
    const auto s = static_cast<int16_t>(
        std::lround(0.1 * 32767 * std::sin(2 * 3.14159265358979 * 997.0 * i / kRate)));
    tone.push_back(s);
    tone.push_back(s);
  }
  sine.Add(tone.data(), tone.size() / 2);
  double level = 0;
  ASSERT_TRUE(sine.Integrated(level));
  EXPECT_NEAR(level, -20.0, 0.1);
  Kesh::Render::LoudnessMeter quiet(kRate);
  std::vector<int16_t> silence(static_cast<size_t>(kRate) * 2, 0);
  quiet.Add(silence.data(), static_cast<size_t>(kRate));
  EXPECT_FALSE(quiet.Integrated(level));
}

// The sound of a video: 16-bit stereo at 44.1 kHz, decoded by ffmpeg.
std::vector<int16_t> SoundOf(const std::string& video) {
  std::vector<int16_t> sound;
  FILE* pipe =
      ::popen(("ffmpeg -v error -i " + Quote(video) + " -f s16le -ac 2 -ar 44100 -").c_str(), "r");
  if (pipe == nullptr) {
    return sound;
  }
  int16_t buffer[4096];
  size_t n = 0;
  while ((n = std::fread(buffer, sizeof(int16_t), 4096, pipe)) > 0) {
    sound.insert(sound.end(), buffer, buffer + n);
  }
  ::pclose(pipe);
  return sound;
}

// ffmpeg's integrated loudness and true peak of a file's sound.
void Ebur128(const std::string& path, double& lufs, double& peak) {
  const Result result =
      Shell("ffmpeg -nostats -i " + Quote(path) + " -af ebur128=peak=true -f null -");
  const size_t at = result.output.rfind("Summary:");
  ASSERT_NE(at, std::string::npos) << result.output;
  const std::string summary = result.output.substr(at);
  std::smatch match;
  ASSERT_TRUE(std::regex_search(summary, match, std::regex(R"(I:\s+(-?[0-9.]+) LUFS)")));
  lufs = std::stod(match[1]);
  ASSERT_TRUE(std::regex_search(summary, match, std::regex(R"(Peak:\s+(-?[0-9.]+) dBFS)")));
  peak = std::stod(match[1]);
}

// Three corpus songs of different density, 60 s each with and without the crowd: the music
// (measured by ffmpeg) within 2 LU of -16 LUFS with its true peak at most -1 dBTP; wherever the
// crowd sounds while the music plays (the music's short-term loudness above -45 LUFS for the
// 3 s before and after), the crowd (the difference of the two videos) at least 6 dB under the
// music's short-term loudness.
TEST(ShowSafety, MusicReachesTheTargetAndTheCrowdStaysUnderIt) {
  if (!HaveFfmpeg() || !fs::exists(TAVRO_CORPUS_DIR "/songs")) {
    GTEST_SKIP() << "needs ffmpeg and the corpus";
  }
  for (const char* name :
       {"openmsx__harp_harmony.mid", "yubatake__Town.mid", "freedoom__d_e1m1.mid"}) {
    SCOPED_TRACE(name);
    const std::string song = std::string(TAVRO_CORPUS_DIR "/songs/") + name;
    TempDir out;
    const std::string full = out.File("full.mkv");
    const std::string music = out.File("music.mkv");
    const std::string common = " --seconds 60" + LightSoundFont();
    ASSERT_EQ(Shell(kRender + " " + Quote(song) + " -o " + full + common).status, 0);
    ASSERT_EQ(Shell(kRender + " " + Quote(song) + " -o " + music + common + " --no-crowd").status,
              0);
    double lufs = 0;
    double peak = 0;
    Ebur128(music, lufs, peak);
    EXPECT_NEAR(lufs, -16.0, 2.0);
    EXPECT_LE(peak, -1.0);

    const std::vector<int16_t> a = SoundOf(full);
    const std::vector<int16_t> b = SoundOf(music);
    const size_t n = std::min(a.size(), b.size());
    ASSERT_GT(n, 44100u * 2 * 50);
    std::vector<int16_t> crowd(n);
    for (size_t i = 0; i < n; ++i) {
      crowd[i] = static_cast<int16_t>(std::clamp(a[i] - b[i], -32768, 32767));
    }
    Kesh::Render::LoudnessMeter musicMeter(44100);
    Kesh::Render::LoudnessMeter crowdMeter(44100);
    musicMeter.Add(b.data(), n / 2);
    crowdMeter.Add(crowd.data(), n / 2);
    const std::vector<double> m = musicMeter.ShortTerm();
    const std::vector<double> c = crowdMeter.ShortTerm();
    constexpr size_t kSpan = 30;  // 3 s of 100 ms steps
    int windows = 0;
    double worst = 100;
    for (size_t i = kSpan; i + kSpan < std::min(m.size(), c.size()); ++i) {
      bool playing = true;
      for (size_t j = i - kSpan; j <= i + kSpan; ++j) {
        playing = playing && m[j] > -45;
      }
      if (playing && c[i] > -60) {
        ++windows;
        worst = std::min(worst, m[i] - c[i]);
      }
    }
    EXPECT_GE(worst, 6.0) << windows << " windows with the crowd";
  }
}

// A short song rendered to its end: the video runs on through the applause and ends in silence,
// its last half second at least 30 dB under its loudest second.
TEST(ShowSafety, TheVideoEndsAfterTheApplause) {
  const std::string song = TAVRO_CORPUS_DIR "/songs/avgvst__DarknessApproaches.mid";
  if (!HaveFfmpeg() || !fs::exists(song)) {
    GTEST_SKIP() << "needs ffmpeg and " << song;
  }
  TempDir out;
  const std::string video = out.File("show.mkv");
  ASSERT_EQ(Shell(kRender + " " + Quote(song) + " -o " + video + LightSoundFont()).status, 0);
  const std::vector<int16_t> sound = SoundOf(video);
  const auto db = [&sound](size_t from, size_t frames) {
    double sum = 0;
    for (size_t i = from * 2; i < (from + frames) * 2 && i < sound.size(); ++i) {
      sum += static_cast<double>(sound[i]) * sound[i];
    }
    return 10 * std::log10(sum / static_cast<double>(frames * 2) + 1e-9);
  };
  const size_t frames = sound.size() / 2;
  ASSERT_GT(frames, 44100u * 25);
  double loudest = -200;
  for (size_t at = 0; at + 44100 <= frames; at += 4410) {
    loudest = std::max(loudest, db(at, 44100));
  }
  EXPECT_LE(db(frames - 22050, 22050), loudest - 30.0);
}

// The end of a video frame by frame (40 ms, 1764 stereo frames each): a show silent when it ends
// stops at once; applause that never fades is cut 20 s after the end, its last 2 s falling
// linearly to silence.
TEST(ShowSafety, TheEndingWaitsForSilenceAndFadesACut) {
  constexpr size_t kFrames = 1764;
  std::vector<int16_t> quiet(kFrames * 2, 3);
  Kesh::Render::Ending silent(40);
  for (int i = 0; i < 20; ++i) {
    silent.Frame(quiet.data(), kFrames, false);
  }
  EXPECT_FALSE(silent.Done());
  silent.Frame(quiet.data(), kFrames, true);
  EXPECT_TRUE(silent.Done());

  Kesh::Render::Ending endless(40);
  std::vector<double> levels;  // the first sample of each frame after the end
  int frames = 0;
  while (!endless.Done() && frames < 1000) {
    std::vector<int16_t> loud(kFrames * 2, 10000);
    endless.Frame(loud.data(), kFrames, true);
    levels.push_back(loud[0]);
    ++frames;
  }
  EXPECT_EQ(frames, 20000 / 40);
  EXPECT_EQ(levels[(20000 - 2000) / 40 - 1], 10000);   // the last frame before the fade
  EXPECT_NEAR(levels[(20000 - 1000) / 40], 5000, 10);  // half way through the fade
  EXPECT_LT(levels.back(), 10000 * 40 / 2000 + 1);     // its last frame starts 40 ms from silence
}

}  // namespace
