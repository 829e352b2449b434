// tavro-render end to end: a corpus song rendered with the test band into a video that ffprobe
// describes, PNG frames that show the artists, and the one-line errors with exit status 2.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "audio/midi/midi_file.h"
#include "common/temp_dir.h"
#include "data/analysis.h"
#include "fixture.h"
#include "gfx/image.h"

namespace {

const std::string kRender = TAVRO_PROGRAM_DIR "/tavro-render";
const std::string kSong = TAVRO_CORPUS_DIR "/songs/freedoom__d_dm2ttl.mid";

struct Result {
  int status = -1;
  std::string output;  // standard output and error together
};

Result Shell(const std::string& command) {
  Result result;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) {
    return result;
  }
  char buffer[4096];
  size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
    result.output.append(buffer, n);
  }
  const int status = ::pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::string Quote(const std::string& text) { return "'" + text + "'"; }

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
