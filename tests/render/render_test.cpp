// tavro-render end to end: a corpus song rendered with the test band into a video that ffprobe
// describes, PNG frames that show the artists, the karaoke band and the read-outs, the video's
// sound against the player module's own offline rendering, and the one-line errors with exit
// status 2.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "audio/midi/midi_file.h"
#include "common/shell.h"
#include "common/sound_server.h"
#include "common/temp_dir.h"
#include "data/analysis.h"
#include "fixture.h"
#include "gfx/image.h"
#include "gfx/text.h"
#include "tavro/player_module.h"

namespace {

const std::string kRender = TAVRO_PROGRAM_DIR "/tavro-render";
const std::string kSong = TAVRO_CORPUS_DIR "/songs/freedoom__d_dm2ttl.mid";
const std::string kKaraoke = TAVRO_CORPUS_DIR "/kar/dmidiplayer__twinkle.kar";

using Result = ShellResult;

// A data folder with the fixture band and the shipped analysis settings.
struct Data {
  Data() {
    Fixture::WriteBand(program);
    std::filesystem::copy_file(TAVRO_SOURCE_DIR "/data/config/analysis.xml",
                               program.Path("config/analysis.xml"));
  }
  Fixture::Program program;
};

bool HaveCorpusAndFfmpeg() {
  return std::filesystem::exists(kSong) && Shell("command -v ffprobe").status == 0;
}

TEST(Render, VideoOfACorpusSongHasTheStageAndTheSongsSound) {
  if (!HaveCorpusAndFfmpeg()) {
    GTEST_SKIP() << "needs " << kSong << " and ffmpeg";
  }
  Data data;
  TempDir out;
  const std::string video = out.File("show.mp4");
  const Result render = Shell(kRender + " " + Quote(kSong) + " -o " + Quote(video) + " --data " +
                              data.program.Root());
  ASSERT_EQ(render.status, 0) << render.output;
  ASSERT_TRUE(std::filesystem::exists(video));
  EXPECT_FALSE(std::filesystem::exists(video + ".part"));

  const Result probe = Shell(
      "ffprobe -v error -show_entries "
      "stream=codec_type,width,height,r_frame_rate,channels:format=duration "
      "-of default=noprint_wrappers=1 " +
      Quote(video));
  ASSERT_EQ(probe.status, 0) << probe.output;
  EXPECT_NE(probe.output.find("width=816\nheight=400"), std::string::npos) << probe.output;
  EXPECT_NE(probe.output.find("r_frame_rate=25/1"), std::string::npos) << probe.output;
  EXPECT_NE(probe.output.find("channels=2"), std::string::npos) << probe.output;

  // The show lasts the song (the analysis' length) and ten seconds more.
  Kesh::Audio::Midi::MidiFile file;
  std::string reason;
  ASSERT_TRUE(Kesh::Audio::Midi::ReadMidiFile(kSong, file, reason)) << reason;
  Kesh::Data::Events::Analysis analysis(&file.song, TAVRO_SOURCE_DIR "/data/config/analysis.xml");
  ASSERT_TRUE(analysis.Run());
  const double expected = (analysis.GetTotalLength() + 10000) / 1000.0;
  const size_t at = probe.output.find("duration=");
  ASSERT_NE(at, std::string::npos);
  const double duration = std::stod(probe.output.substr(at + 9));
  EXPECT_NEAR(duration, expected, 0.2) << probe.output;
}

TEST(Render, FramesShowTheBand) {
  if (!HaveCorpusAndFfmpeg()) {
    GTEST_SKIP() << "needs " << kSong;
  }
  Data data;
  TempDir out;
  const Result render = Shell(kRender + " " + Quote(kSong) + " --frames " + out.File("frames") +
                              " --seconds 8 --data " + data.program.Root());
  ASSERT_EQ(render.status, 0) << render.output;
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(out.File("frames"))) {
    count += entry.path().extension() == ".png" ? 1 : 0;
  }
  EXPECT_EQ(count, 8 * 25);
  // Somewhere in the eight seconds a set image of an artist of the band is on the stage: its
  // colour (red a multiple of 40, green a multiple of 18) names artist and set.
  int artistPixels = 0;
  for (int frame = 0; frame < count; frame += 25) {
    char name[32];
    std::snprintf(name, sizeof name, "/frame-%06d.png", frame);
    Vell::Gfx::Image image;
    ASSERT_TRUE(image.LoadPng(out.File("frames") + name)) << name;
    for (int y = 0; y < image.Height(); ++y) {
      for (int x = 0; x < image.Width(); ++x) {
        const uint32_t p = image.Pixel(x, y);
        const uint32_t r = Vell::Gfx::RedOf(p);
        const uint32_t g = Vell::Gfx::GreenOf(p);
        artistPixels += r > 0 && r % 40 == 0 && r <= 240 && g > 0 && g % 18 == 0 ? 1 : 0;
      }
    }
  }
  EXPECT_GT(artistPixels, 0) << render.output;
}

TEST(Render, ErrorsAreOneLineWithStatusTwo) {
  TempDir out;
  const auto expectError = [](const Result& result, const std::string& words) {
    EXPECT_EQ(result.status, 2) << result.output;
    EXPECT_NE(result.output.find("tavro-render: "), std::string::npos) << result.output;
    EXPECT_NE(result.output.find(words), std::string::npos) << result.output;
  };
  expectError(Shell(kRender + " /nowhere/song.mid -o " + out.File("a.mp4")),
              "cannot read the song /nowhere/song.mid");
  std::ofstream(out.File("song.mid")) << "not a song";
  expectError(Shell(kRender + " " + out.File("song.mid") + " -o /proc/none/a.mp4"),
              "cannot write /proc/none/a.mp4");
  expectError(Shell("PATH=/nonexistent " + kRender + " " + out.File("song.mid") + " -o " +
                    out.File("a.mp4")),
              "ffmpeg was not found");
  expectError(Shell(kRender + " " + out.File("song.mid") + " -o " + out.File("a.mp4")),
              out.File("song.mid") + ": Unable to open");
  // A copy of the renderer without the module beside it.
  std::filesystem::copy_file(kRender, out.File("tavro-render"));
  std::filesystem::permissions(out.File("tavro-render"), std::filesystem::perms::owner_exec,
                               std::filesystem::perm_options::add);
  expectError(
      Shell(out.File("tavro-render") + " " + out.File("song.mid") + " -o " + out.File("a.mp4")),
      "The player module audio.so could not be loaded");
  EXPECT_FALSE(std::filesystem::exists(out.File("a.mp4")));
}

}  // namespace

namespace {

std::vector<Vell::Gfx::Image> LoadFrames(const std::string& folder, int count) {
  std::vector<Vell::Gfx::Image> frames(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "/frame-%06d.png", i);
    std::string why;
    EXPECT_TRUE(frames[static_cast<size_t>(i)].LoadPng(folder + name, &why)) << why;
  }
  return frames;
}

// Pixels of the rectangle [x0, x1) × [y0, y1) for which keep holds.
template <typename Keep>
int Count(const Vell::Gfx::Image& image, int x0, int y0, int x1, int y1, Keep keep) {
  int n = 0;
  for (int y = y0; y < std::min(y1, image.Height()); ++y) {
    for (int x = x0; x < std::min(x1, image.Width()); ++x) {
      n += keep(image.Pixel(x, y)) ? 1 : 0;
    }
  }
  return n;
}

}  // namespace

// The karaoke band under the stage: the video grows by the window's karaoke view (152 rows, and
// 815 padded to 816), the band shows the twinkle song's lines, the part sung in the rose colour.
TEST(Render, KaraokeBandShowsTheLyricPageUnderTheStage) {
  if (!std::filesystem::exists(kKaraoke) || Shell("command -v ffprobe").status != 0) {
    GTEST_SKIP() << "needs " << kKaraoke << " and ffmpeg";
  }
  namespace K = Vell::Gfx::Karaoke;
  Data data;
  TempDir out;
  // Twelve seconds in, the second line of the first page is being sung.
  const Result render =
      Shell(kRender + " " + Quote(kKaraoke) + " --karaoke --start 11 --seconds 2" + " -o " +
            Quote(out.File("k.mp4")) + " --frames " + out.File("frames") + " --data " +
            data.program.Root());
  ASSERT_EQ(render.status, 0) << render.output;
  const Result probe = Shell(
      "ffprobe -v error -show_entries stream=width,height -of "
      "default=noprint_wrappers=1 " +
      Quote(out.File("k.mp4")));
  EXPECT_NE(probe.output.find("width=816\nheight=552"), std::string::npos) << probe.output;

  const std::vector<Vell::Gfx::Image> frames = LoadFrames(out.File("frames"), 50);
  int withSung = 0;
  for (const Vell::Gfx::Image& frame : frames) {
    ASSERT_EQ(frame.Width(), 815);
    ASSERT_EQ(frame.Height(), 400 + K::kViewHeight);
    const int text = Count(frame, 0, 400, 815, 552, [](uint32_t p) { return p != K::kBackground; });
    const int sung = Count(frame, 0, 400, 815, 552, [](uint32_t p) { return p == K::kSung; });
    const int unsung = Count(frame, 0, 400, 815, 552, [](uint32_t p) { return p == K::kUnsung; });
    EXPECT_GT(text, 1000) << "the band holds the page's lines";
    EXPECT_GT(unsung, 100) << "lines still to sing are near-white";
    // Nothing of the band lies above its first line's top.
    EXPECT_EQ(Count(frame, 0, 400, 815, 400 + K::kFirstTop,
                    [](uint32_t p) { return p != K::kBackground; }),
              0);
    withSung += sung > 100 ? 1 : 0;
  }
  EXPECT_GT(withSung, 25) << "the current syllable's line shows in the karaoke colour";
}

// --scale 2 on a real show (the shipped Rock stage with its lights and shadows, the test band, the
// karaoke band and the read-outs): frames of twice the size whose stage, averaged 2 × 2, matches
// the scale-1 frame of the same moment (PSNR at least 30 dB), with the karaoke lines and the time
// at twice their places.
TEST(Render, ScaleTwoDrawsTheSameShowAtTwiceTheSize) {
  if (!std::filesystem::exists(kKaraoke)) {
    GTEST_SKIP() << "needs " << kKaraoke;
  }
  namespace K = Vell::Gfx::Karaoke;
  Data data;
  std::filesystem::create_directory_symlink(TAVRO_SOURCE_DIR "/data/styles",
                                            data.program.Path("styles"));
  TempDir out;
  for (const char* scale : {"1", "2"}) {
    const Result render =
        Shell(kRender + " " + Quote(kKaraoke) + " --style Rock --karaoke --readouts --no-crowd" +
              " --start 12 --seconds 0.2 --scale " + scale + " --frames " +
              out.File(std::string("s") + scale) + " --data " + data.program.Root());
    ASSERT_EQ(render.status, 0) << render.output;
  }
  const Result refused = Shell(kRender + " " + Quote(kKaraoke) + " --scale 3 --frames " +
                               out.File("s3") + " --data " + data.program.Root());
  EXPECT_EQ(refused.status, 2);
  EXPECT_NE(refused.output.find("--scale needs 1 or 2"), std::string::npos) << refused.output;

  const Vell::Gfx::Image one = LoadFrames(out.File("s1"), 5).back();
  const Vell::Gfx::Image two = LoadFrames(out.File("s2"), 5).back();
  ASSERT_EQ(one.Width(), 815);
  ASSERT_EQ(one.Height(), 400 + K::kViewHeight);
  ASSERT_EQ(two.Width(), 1630);
  ASSERT_EQ(two.Height(), 2 * (400 + K::kViewHeight));
  double squares = 0;
  for (int y = 0; y < 400; ++y) {
    for (int x = 0; x < 815; ++x) {
      for (int shift = 0; shift < 24; shift += 8) {
        int sum = 0;
        for (int k = 0; k < 4; ++k) {
          sum += static_cast<int>((two.Pixel(2 * x + k % 2, 2 * y + k / 2) >> shift) & 0xFF);
        }
        const int difference = (sum + 2) / 4 - static_cast<int>((one.Pixel(x, y) >> shift) & 0xFF);
        squares += static_cast<double>(difference) * difference;
      }
    }
  }
  const double mse = squares / (3.0 * 815 * 400);
  EXPECT_GE(10 * std::log10(255.0 * 255.0 / std::max(mse, 1e-9)), 30.0) << "mse " << mse;

  // The karaoke lines: ink only from twice the first line's top on, centred as at scale 1.
  const auto ink = [](uint32_t p) { return p != K::kBackground; };
  EXPECT_EQ(Count(two, 0, 800, 1630, 800 + 2 * K::kFirstTop, ink), 0);
  const int lines = Count(two, 0, 800, 1630, two.Height(), ink);
  EXPECT_NEAR(lines, 4 * Count(one, 0, 400, 815, one.Height(), ink), lines / 3);
  // The time read-out: at scale 2 inside the doubled top-right corner only.
  const int corner = Count(two, 2 * Vell::Gfx::Readouts::kTimeX, 2 * Vell::Gfx::Readouts::kTimeY,
                           1630, 80, [](uint32_t p) { return Vell::Gfx::RedOf(p) > 200; });
  EXPECT_GT(corner, 100);
}

// The read-outs: a second run without them gives the same frames except the read-outs' corner; the
// time there changes between two frames a second apart.
TEST(Render, ReadoutsShowTheTimeTopRight) {
  if (!std::filesystem::exists(kKaraoke)) {
    GTEST_SKIP() << "needs " << kKaraoke;
  }
  Data data;
  TempDir out;
  for (const char* kind : {"plain", "readouts"}) {
    const Result render =
        Shell(kRender + " " + Quote(kKaraoke) + " --no-crowd --start 10 --seconds 1.04 --frames " +
              out.File(kind) + " --data " + data.program.Root() +
              (std::string(kind) == "readouts" ? " --readouts" : ""));
    ASSERT_EQ(render.status, 0) << render.output;
  }
  const std::vector<Vell::Gfx::Image> plain = LoadFrames(out.File("plain"), 26);
  const std::vector<Vell::Gfx::Image> shown = LoadFrames(out.File("readouts"), 26);
  // Where the read-outs changed a frame.
  const auto mask = [&](int i) {
    std::vector<bool> m(815 * 400);
    for (int y = 0; y < 400; ++y) {
      for (int x = 0; x < 815; ++x) {
        m[static_cast<size_t>(y * 815 + x)] = plain[i].Pixel(x, y) != shown[i].Pixel(x, y);
      }
    }
    return m;
  };
  const std::vector<bool> first = mask(0);
  const std::vector<bool> second = mask(25);
  int inside = 0;
  int outside = 0;
  int changed = 0;
  for (int y = 0; y < 400; ++y) {
    for (int x = 0; x < 815; ++x) {
      const size_t i = static_cast<size_t>(y * 815 + x);
      const bool corner = x >= 730 && y >= 8 && y < 40 + 2 * Vell::Gfx::Readouts::kCounterPixels;
      (corner ? inside : outside) += first[i] ? 1 : 0;
      outside += !corner && second[i] ? 1 : 0;
      // The seconds' digit: the time's rows only.
      changed += y < 40 && first[i] != second[i] ? 1 : 0;
    }
  }
  EXPECT_GT(inside, 100);
  EXPECT_EQ(outside, 0);
  EXPECT_GT(changed, 20) << "the time reads differently a second later";
}

// The video's sound is the synthesizer's: its loudness envelope follows the module's own offline
// rendering of the song, the music starting with the first frame at or after the audio start the
// renderer reports (to within half a frame, so a frame late or early fails), and the sound lasts
// exactly as long as the frames. options: the renderer's further options; fps: its frame rate.
void ExpectSoundFollowsTheModule(const std::string& options, int fps = 25) {
  // A song whose music waits 1.9 s for the fixture band to walk on.
  const std::string kLeadIn = TAVRO_CORPUS_DIR "/songs/avgvst__CrossingTheRubicon.mid";
  if (!std::filesystem::exists(kLeadIn) || Shell("command -v ffprobe").status != 0) {
    GTEST_SKIP() << "needs " << kLeadIn << " and ffmpeg";
  }
  constexpr int kRate = 44100;
  constexpr int kWindow = kRate / 50;  // 20 ms
  constexpr int kWindows = 6 * 50;     // six seconds of music
  Data data;
  TempDir out;
  const Result render =
      Shell(kRender + " " + Quote(kLeadIn) + " --no-crowd --seconds 9 -o " +
            Quote(out.File("s.mp4")) + " --data " + data.program.Root() + " " + options);
  ASSERT_EQ(render.status, 0) << render.output;
  const size_t at = render.output.find("audio start ");
  ASSERT_NE(at, std::string::npos) << render.output;
  const int audioStartMs = std::stoi(render.output.substr(at + 12));
  ASSERT_GT(audioStartMs, 0) << "the test needs a song with a lead-in";
  ASSERT_LT(audioStartMs, 2500) << "the test needs six seconds of music in nine";
  const Result decode = Shell("ffmpeg -v error -i " + Quote(out.File("s.mp4")) +
                              " -f s16le -ac 2 -ar 44100 " + Quote(out.File("s.raw")));
  ASSERT_EQ(decode.status, 0) << decode.output;
  std::vector<int16_t> video(std::filesystem::file_size(out.File("s.raw")) / 2);
  std::ifstream(out.File("s.raw"), std::ios::binary)
      .read(reinterpret_cast<char*>(video.data()), static_cast<std::streamsize>(video.size() * 2));

  // The reference: the module alone, offline, from its Play.
  void* handle = dlopen(TAVRO_PROGRAM_DIR "/audio.so", RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(handle, nullptr) << dlerror();
  auto query = reinterpret_cast<Kesh::Audio::InterfaceQueryFn>(dlsym(handle, "InterfaceQuery"));
  ASSERT_NE(query, nullptr);
  auto* module = static_cast<Kesh::Audio::IPlayer*>(query(Kesh::Audio::kPlayerInterfaceId));
  ASSERT_NE(module, nullptr);
  ASSERT_TRUE(module->SetOffline(true, kRate));
  ASSERT_TRUE(module->OpenFile(kLeadIn.c_str())) << module->GetLastError();
  module->Play();
  std::vector<int16_t> offline;
  std::vector<int16_t> block(kRate * 2);
  for (int i = 0; i < 7 * 25; ++i) {
    module->AdvanceOffline(40);
    const int n = module->RenderOffline(block.data(), kRate);
    offline.insert(offline.end(), block.begin(), block.begin() + 2 * n);
  }
  module->Stop();
  module->Release(1);
  dlclose(handle);
  const std::vector<double> reference = TavroTest::Loudness(offline).Envelope(0, kWindow, kWindows);

  // Nine seconds of sound: no frame rate lets it drift from the frames. (AAC rounds the end up to
  // a whole packet of 1024 samples.)
  EXPECT_GE(video.size() / 2, size_t{9} * kRate) << fps << " frames a second";
  EXPECT_LE(video.size() / 2, size_t{9} * kRate + 1024) << fps << " frames a second";
  // The music starts with the first frame at or after the audio start.
  const int frameMs = 1000 / fps;
  const int expectedMs = static_cast<int>((int64_t{audioStartMs} * fps + 999) / 1000 * 1000 / fps);
  const TavroTest::Loudness heard(video);
  double best = -1;
  int bestMs = -1;
  for (int ms = std::max(0, expectedMs - 400); ms <= expectedMs + 400; ++ms) {
    const double r = TavroTest::Correlation(
        reference, heard.Envelope(int64_t{ms} * kRate / 1000, kWindow, kWindows));
    if (r > best) {
      best = r;
      bestMs = ms;
    }
  }
  EXPECT_GE(best, 0.9) << "the video's sound is not the song's";
  EXPECT_NEAR(bestMs, expectedMs, frameMs / 2) << "audio start " << audioStartMs << " ms";
  std::printf("envelope correlation %.3f, music at %d ms (expected %d ms)\n", best, bestMs,
              expectedMs);
}

TEST(Render, SoundFollowsTheModulesOfflineRendering) { ExpectSoundFollowsTheModule(""); }

// The size of the picture changes nothing of the sound.
TEST(Render, SoundFollowsTheModulesOfflineRenderingAt1080p) {
  ExpectSoundFollowsTheModule("--size 1920x1080");
}

// 60 frames a second: a frame lasts 16 2/3 ms and 735 samples.
TEST(Render, SoundFollowsTheModulesOfflineRenderingAt60Fps) {
  ExpectSoundFollowsTheModule("--fps 60", 60);
}
