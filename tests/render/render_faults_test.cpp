// tavro-render as a child process under hostile conditions: songs that are no files, stop
// signals in the middle of an encoding, a disk that fills, files planted beside the output.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "common/shell.h"
#include "common/temp_dir.h"
#include "fixture.h"

namespace {

namespace fs = std::filesystem;

const std::string kRender = TAVRO_PROGRAM_DIR "/tavro-render";
const std::string kInspect = TAVRO_PROGRAM_DIR "/tavro-inspect";
const std::string kSong = TAVRO_CORPUS_DIR "/songs/freedoom__d_dm2ttl.mid";
// Nine minutes of music: still encoding long after a signal is sent.
const std::string kLongSong = TAVRO_CORPUS_DIR "/songs/freedoom__d_map27.mid";

using Result = ShellResult;

// A guard that turns a hang into a failure instead of a stuck test.
const std::string kGuard = "timeout -k 5 60 ";

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// A data folder with the fixture band and the shipped analysis settings: quick to load.
struct Data {
  Data() {
    Fixture::WriteBand(program);
    fs::copy_file(TAVRO_SOURCE_DIR "/data/config/analysis.xml",
                  program.Path("config/analysis.xml"));
  }
  Fixture::Program program;
};

bool HaveFfmpeg() { return Shell("command -v ffmpeg && command -v ffprobe").status == 0; }

// The names in a folder, sorted.
std::vector<std::string> Names(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(RenderFaults, SongsThatAreNoFilesAreRefusedAtOnce) {
  TempDir dir;
  ASSERT_EQ(::mkfifo(dir.File("pipe.mid").c_str(), 0644), 0);
  ASSERT_EQ(::mkfifo(dir.File("pipe.kesh").c_str(), 0644), 0);
  fs::create_directory(dir.File("folder.mid"));
  const std::string out = " -o " + dir.File("out.mp4");
  const struct {
    std::string song;
    std::string reason;
  } cases[] = {{dir.File("pipe.mid"), "is a named pipe, not a file"},
               {dir.File("pipe.kesh"), "is a named pipe, not a file"},
               {dir.File("folder.mid"), "is a folder"},
               {"/dev/zero", "is a device, not a file"}};
  for (const auto& c : cases) {
    const Result render = Shell(kGuard + kRender + " " + Quote(c.song) + out);
    EXPECT_EQ(render.status, 2) << render.output;
    EXPECT_NE(render.output.find("tavro-render: cannot read the song " + c.song + ": " + c.reason),
              std::string::npos)
        << render.output;
    const Result inspect = Shell(kGuard + kInspect + " " + Quote(c.song));
    EXPECT_EQ(inspect.status, 1) << inspect.output;
    EXPECT_NE(inspect.output.find(c.song + ": refused: " + c.reason), std::string::npos)
        << inspect.output;
  }
  EXPECT_EQ(Names(dir.path).size(), 3u);  // nothing written beside
}

// tavro-render started with its output into a file, so that the test can read its log.
class Child {
 public:
  Child(const std::vector<std::string>& args, const std::string& logPath) : log(logPath) {
    pid = ::fork();
    if (pid == 0) {
      const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(fd, 1);
      ::dup2(fd, 2);
      std::vector<char*> argv;
      for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
      }
      argv.push_back(nullptr);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
  }
  ~Child() {
    if (pid > 0) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
  }
  // The process id of ffmpeg as the renderer logs it, once it is there (waits up to 60 s).
  pid_t Ffmpeg() const {
    const std::string marker = "ffmpeg runs as process ";
    for (int i = 0; i < 600; ++i) {
      const std::string text = Read(log);
      const size_t at = text.find(marker);
      if (at != std::string::npos) {
        return static_cast<pid_t>(std::stoi(text.substr(at + marker.size())));
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return -1;
  }
  // The exit status, or -1 when it did not exit normally within 30 s.
  int Wait() {
    for (int i = 0; i < 3000; ++i) {
      int status = 0;
      if (::waitpid(pid, &status, WNOHANG) == pid) {
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
  }
  pid_t pid = -1;
  std::string log;
};

// Whether a process of that id is still there, as a zombie too (a parent that never waited) or
// re-parented.
bool Exists(pid_t pid) { return fs::exists("/proc/" + std::to_string(pid)); }

TEST(RenderFaults, StopSignalsEndFfmpegAndRemoveThePartialVideo) {
  if (!fs::exists(kLongSong) || !HaveFfmpeg()) {
    GTEST_SKIP() << "needs " << kLongSong << " and ffmpeg";
  }
  Data data;
  const struct {
    int signal;
    int status;
    bool keep;
  } cases[] = {
      {SIGINT, 130, false}, {SIGTERM, 143, false}, {SIGHUP, 129, false}, {SIGTERM, 143, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.signal);
    TempDir out;
    std::vector<std::string> args = {kRender,  kLongSong,          "-o", out.File("show.mp4"),
                                     "--data", data.program.Root()};
    if (c.keep) {
      args.push_back("--keep-partial");
    }
    Child render(args, out.File("log.txt"));
    const pid_t ffmpeg = render.Ffmpeg();
    ASSERT_GT(ffmpeg, 0) << Read(out.File("log.txt"));
    // Encoding: ffmpeg has written part of the video.
    bool encoding = false;
    for (int i = 0; i < 600 && !encoding; ++i) {
      for (const auto& entry : fs::directory_iterator(out.path)) {
        encoding = encoding || (entry.path().extension() == ".part" && entry.file_size() > 0);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_TRUE(encoding) << Read(out.File("log.txt"));
    ASSERT_EQ(::kill(render.pid, c.signal), 0);
    EXPECT_EQ(render.Wait(), c.status) << Read(out.File("log.txt"));
    EXPECT_FALSE(Exists(ffmpeg)) << "ffmpeg " << ffmpeg << " outlived the renderer";
    const std::string log = Read(out.File("log.txt"));
    if (c.keep) {
      EXPECT_EQ(Names(out.path), (std::vector<std::string>{"log.txt", "show.mp4.part"}));
      EXPECT_NE(log.find("the partial video is kept in " + out.File("show.mp4.part")),
                std::string::npos)
          << log;
      // Closed properly: a video of what was rendered before the signal.
      const Result probe = Shell("ffprobe -v error -show_entries format=duration -of csv=p=0 " +
                                 out.File("show.mp4.part"));
      EXPECT_EQ(probe.status, 0) << probe.output;
      EXPECT_GT(std::atof(probe.output.c_str()), 0.0) << probe.output;
    } else {
      EXPECT_EQ(Names(out.path), std::vector<std::string>{"log.txt"});
      EXPECT_NE(log.find("the partial video was removed"), std::string::npos) << log;
    }
  }
}

// A folder on PATH whose "ffmpeg" runs the real one with extra arguments put before the output
// (the last argument), or replaces it by a script of its own.
struct FakeFfmpeg {
  explicit FakeFfmpeg(const std::string& body) {
    std::ofstream(dir.File("ffmpeg")) << "#!/bin/sh\n" << body << "\n";
    fs::permissions(dir.File("ffmpeg"), fs::perms::owner_all);
  }
  std::string Env() const { return "PATH=" + dir.path.string() + ":$PATH "; }
  TempDir dir;
};

TEST(RenderFaults, AVideoCutShortIsAFailureEvenWhenFfmpegEndsWell) {
  if (!fs::exists(kSong) || !HaveFfmpeg()) {
    GTEST_SKIP() << "needs " << kSong << " and ffmpeg";
  }
  Data data;
  TempDir out;
  // An ffmpeg that takes every frame and exits with 0 but leaves a video of one second, as ffmpeg
  // does on a full disk.
  const std::string ffmpeg = Shell("command -v ffmpeg").output;
  FakeFfmpeg fake(
      "for a; do last=$a; done\n"
      "exec 5<&0\n"
      "cat <&5 >/dev/null &\n"
      "cat <&3 >/dev/null &\n" +
      ffmpeg.substr(0, ffmpeg.find('\n')) +
      " -v error -y -f lavfi -i testsrc=size=816x400:rate=25 -t 1 -f mp4 \"$last\" "
      "</dev/null\n"
      "wait");
  const Result render = Shell(fake.Env() + kRender + " " + Quote(kSong) + " --seconds 4 -o " +
                              Quote(out.File("show.mp4")) + " --data " + data.program.Root());
  EXPECT_EQ(render.status, 2) << render.output;
  EXPECT_NE(render.output.find("tavro-render: cannot write " + out.File("show.mp4") +
                               ": the video is incomplete ("),
            std::string::npos)
      << render.output;
  EXPECT_NE(render.output.find(" of 4.00 s)"), std::string::npos) << render.output;
  EXPECT_TRUE(Names(out.path).empty());

  // The same render without the cut succeeds (the check does not refuse good videos).
  const Result good = Shell(kRender + " " + Quote(kSong) + " --seconds 4 -o " +
                            Quote(out.File("show.mkv")) + " --data " + data.program.Root());
  EXPECT_EQ(good.status, 0) << good.output;
  EXPECT_EQ(Names(out.path), std::vector<std::string>{"show.mkv"});
}

TEST(RenderFaults, AFullDiskEndsWithStatusTwoAndTheReason) {
  if (!fs::exists(kSong) || !HaveFfmpeg()) {
    GTEST_SKIP() << "needs " << kSong << " and ffmpeg";
  }
  Data data;
  TempDir out;
  const std::string render = kRender + " " + Quote(kSong) + " --seconds 20 --no-crowd --data " +
                             data.program.Root() + " -o " + Quote(out.File("show.mp4"));
  const Result whole = Shell(render);
  ASSERT_EQ(whole.status, 0) << whole.output;
  const uintmax_t size = fs::file_size(out.File("show.mp4"));
  fs::remove(out.File("show.mp4"));
  // Full at once, and full near the end (there ffmpeg ended with status 0 and left a video
  // without its index).
  for (const uintmax_t room : {uintmax_t{64} << 10, size * 4 / 5}) {
    SCOPED_TRACE(room);
    const std::string option = "size=" + std::to_string(room);
    if (::mount("tmpfs", out.path.c_str(), "tmpfs", 0, option.c_str()) != 0) {
      GTEST_SKIP() << "a small tmpfs cannot be mounted here: " << std::strerror(errno);
    }
    const Result full = Shell(render);
    EXPECT_EQ(full.status, 2) << full.output;
    EXPECT_NE(full.output.find("the disk is full"), std::string::npos) << full.output;
    EXPECT_TRUE(Names(out.path).empty());
    ASSERT_EQ(::umount(out.path.c_str()), 0);
  }
}

TEST(RenderFaults, FilesPlantedBesideTheOutputAreNeverWrittenThrough) {
  if (!fs::exists(kSong) || !HaveFfmpeg()) {
    GTEST_SKIP() << "needs " << kSong << " and ffmpeg";
  }
  Data data;
  TempDir out;
  std::ofstream(out.File("victim-log")) << "keep me";
  std::ofstream(out.File("victim-part")) << "keep me too";
  fs::create_symlink(out.File("victim-log"), out.File("show.mp4.ffmpeg.log"));
  fs::create_symlink(out.File("victim-part"), out.File("show.mp4.part"));
  const std::string video = out.File("show.mp4");
  const Result render = Shell(kRender + " " + Quote(kSong) + " --seconds 2 -o " + Quote(video) +
                              " --data " + data.program.Root());
  EXPECT_EQ(render.status, 0) << render.output;
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(video)));
  EXPECT_EQ(Read(out.File("victim-log")), "keep me");
  EXPECT_EQ(Read(out.File("victim-part")), "keep me too");
  EXPECT_TRUE(fs::is_symlink(out.File("show.mp4.ffmpeg.log")));
  EXPECT_TRUE(fs::is_symlink(out.File("show.mp4.part")));
  EXPECT_EQ(Names(out.path).size(), 5u);  // nothing else left behind

  // A failing ffmpeg: its messages replace the planted link, the link's target stays.
  fs::create_symlink(out.File("victim-log"), out.File("other.mp4.ffmpeg.log"));
  FakeFfmpeg failing("echo 'Unknown encoder libx264' >&2; exit 1");
  const Result failed = Shell(failing.Env() + kRender + " " + Quote(kSong) + " --seconds 2 -o " +
                              Quote(out.File("other.mp4")) + " --data " + data.program.Root());
  EXPECT_EQ(failed.status, 2) << failed.output;
  EXPECT_NE(failed.output.find("Unknown encoder libx264"), std::string::npos) << failed.output;
  EXPECT_EQ(Read(out.File("victim-log")), "keep me");
  EXPECT_FALSE(fs::is_symlink(out.File("other.mp4.ffmpeg.log")));
  EXPECT_NE(Read(out.File("other.mp4.ffmpeg.log")).find("Unknown encoder"), std::string::npos);
  EXPECT_FALSE(fs::exists(out.File("other.mp4")));

  // An output that is the user's own link: the video goes to its target.
  fs::create_symlink(out.File("target.mp4"), out.File("link.mp4"));
  const Result linked = Shell(kRender + " " + Quote(kSong) + " --seconds 2 -o " +
                              Quote(out.File("link.mp4")) + " --data " + data.program.Root());
  EXPECT_EQ(linked.status, 0) << linked.output;
  EXPECT_TRUE(fs::is_symlink(out.File("link.mp4")));
  EXPECT_GT(fs::file_size(out.File("target.mp4")), 1000u);
}

TEST(RenderFaults, ASoundFontThatDoesNotLoadEndsTheRender) {
  if (!fs::exists(kSong) || !HaveFfmpeg()) {
    GTEST_SKIP() << "needs " << kSong << " and ffmpeg";
  }
  Data data;
  TempDir out;
  std::ofstream(out.File("junk.sf2")) << "RIFF, but not a SoundFont";
  const std::string render = kRender + " " + Quote(kSong) + " --seconds 1 -o " +
                             Quote(out.File("show.mp4")) + " --data " + data.program.Root();
  const struct {
    std::string how;
    std::string said;
  } cases[] = {
      {render + " --soundfont " + out.File("junk.sf2"),
       "The SoundFont " + out.File("junk.sf2") + " cannot be loaded: it is not a SoundFont"},
      {render + " --soundfont " + out.path.string(),
       "The SoundFont " + out.path.string() + " cannot be loaded: it is a folder"},
      {"TAVRO_SOUNDFONT=" + out.File("none.sf2") + " " + render,
       "The SoundFont " + out.File("none.sf2") + " cannot be loaded: there is no such file"}};
  for (const auto& c : cases) {
    const Result result = Shell(c.how);
    EXPECT_EQ(result.status, 2) << result.output;
    EXPECT_NE(result.output.find("tavro-render: " + c.said), std::string::npos) << result.output;
    EXPECT_EQ(result.output.find("playing with"), std::string::npos) << result.output;
    EXPECT_FALSE(fs::exists(out.File("show.mp4")));
  }
  // In a mount namespace of its own, the installed SoundFonts can be taken away or broken: none
  // installed ends the render; a broken first one falls back to the next that loads.
  const std::string fonts = "/usr/share/sounds/sf2";
  if (Shell("unshare -m true").status == 0 && fs::exists(fonts + "/FluidR3_GM.sf2")) {
    const Result none =
        Shell("unshare -m sh -c \"mount -t tmpfs tmpfs " + fonts + " && " + render + "\"");
    EXPECT_EQ(none.status, 2) << none.output;
    EXPECT_NE(none.output.find("tavro-render: No SoundFont could be loaded (none is installed)"),
              std::string::npos)
        << none.output;
    std::ofstream(out.File("real.sf2")).close();
    const Result fallback =
        Shell("unshare -m sh -c \"mount --bind " + fonts + "/FluidR3_GM.sf2 " +
              out.File("real.sf2") + " && mount -t tmpfs tmpfs " + fonts + " && echo junk > " +
              fonts + "/FluidR3_GM.sf2 && touch " + fonts + "/TimGM6mb.sf2 && mount --bind " +
              out.File("real.sf2") + " " + fonts + "/TimGM6mb.sf2 && " + render + "\"");
    EXPECT_EQ(fallback.status, 0) << fallback.output;
    EXPECT_NE(fallback.output.find("tavro-render: warning: The SoundFont " + fonts +
                                   "/FluidR3_GM.sf2 cannot be loaded: it is not a SoundFont that "
                                   "loads; playing with " +
                                   fonts + "/TimGM6mb.sf2 instead"),
              std::string::npos)
        << fallback.output;
    EXPECT_TRUE(fs::exists(out.File("show.mp4")));
    fs::remove(out.File("show.mp4"));
  }
  // A SoundFont that loads, named explicitly, is no problem.
  const Result good = Shell(render + " --soundfont /usr/share/sounds/sf2/FluidR3_GM.sf2");
  if (fs::exists("/usr/share/sounds/sf2/FluidR3_GM.sf2")) {
    EXPECT_EQ(good.status, 0) << good.output;
    EXPECT_EQ(good.output.find("SoundFont"), std::string::npos) << good.output;
  }
}

// How often text occurs in output.
int Occurrences(const std::string& output, const std::string& text) {
  int n = 0;
  for (size_t at = output.find(text); at != std::string::npos; at = output.find(text, at + 1)) {
    ++n;
  }
  return n;
}

TEST(RenderFaults, WhatTheShowGoesOnWithoutIsSaidOnce) {
  if (!fs::exists(kSong) || !HaveFfmpeg()) {
    GTEST_SKIP() << "needs " << kSong << " and ffmpeg";
  }
  // A copy of the program without its crowd-sound engine, and data whose analysis settings are
  // broken and whose animation settings are missing.
  TempDir program;
  for (const char* file : {"tavro-render", "audio.so"}) {
    fs::copy_file(std::string(TAVRO_PROGRAM_DIR) + "/" + file, program.File(file));
  }
  fs::permissions(program.File("tavro-render"), fs::perms::owner_all);
  Data data;
  data.program.WriteText("config/analysis.xml", "<Analysis><broken");
  // A style whose crowd sounds are not there.
  fs::create_directories(data.program.Path("styles"));
  data.program.WriteText("styles/styles.xml", "<index><include file=\"quiet.xml\"/></index>");
  data.program.WriteText("styles/quiet.xml",
                         "<profile><styles><style name=\"Quiet\"><ovatix collections=\"hall\"/>"
                         "</style></styles></profile>");
  TempDir out;
  const std::string render = program.File("tavro-render") + " " + Quote(kSong) +
                             " --seconds 2 --style Quiet -o " + Quote(out.File("show.mp4")) +
                             " --data " + data.program.Root();
  const Result result = Shell(render);
  EXPECT_EQ(result.status, 0) << result.output;
  EXPECT_TRUE(fs::exists(out.File("show.mp4")));
  const std::string warning = "tavro-render: warning: ";
  EXPECT_EQ(Occurrences(result.output, warning + "The crowd-sound engine cannot be loaded (" +
                                           program.File("libovatix.so")),
            1)
      << result.output;
  EXPECT_EQ(Occurrences(result.output, warning + "The analysis settings could not be read ("), 1)
      << result.output;
  EXPECT_EQ(Occurrences(result.output, warning + "The animation settings ./config/animation.xml "
                                                 "could not be read"),
            1)
      << result.output;
  EXPECT_EQ(Occurrences(result.output, warning + "The crowd sounds of the style Quiet are missing "
                                                 "(./styles/hall/collection.ini)"),
            1)
      << result.output;
  EXPECT_EQ(Occurrences(result.output, warning), 4) << result.output;

  // A file that is no library where the engine should be.
  std::ofstream(program.File("libovatix.so")) << "not a library";
  const Result broken = Shell(render);
  EXPECT_EQ(broken.status, 0) << broken.output;
  EXPECT_NE(broken.output.find(warning + "The crowd-sound engine cannot be loaded (" +
                               program.File("libovatix.so") + ": "),
            std::string::npos)
      << broken.output;

  // A damaged project: the reason, not only that it cannot be opened.
  std::ofstream(out.File("damaged.kesh")) << "KESH, but only the name";
  const Result project = Shell(kRender + " " + out.File("damaged.kesh") + " -o " +
                               Quote(out.File("p.mp4")) + " --data " + data.program.Root());
  EXPECT_EQ(project.status, 2) << project.output;
  EXPECT_NE(project.output.find("tavro-render: " + out.File("damaged.kesh") + ": "),
            std::string::npos)
      << project.output;
  EXPECT_EQ(project.output.find("cannot be opened"), std::string::npos) << project.output;
}

}  // namespace
