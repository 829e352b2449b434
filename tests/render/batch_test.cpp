// Batch renders through the real tavro-render: corpus songs from a folder and a playlist with a
// broken file among them, -j 2; a second run that skips them; an interrupted batch; the command
// lines of --list run by GNU parallel; the naming, quoting and JSON pieces checked against the
// shell and Python's JSON reader; and --help and --version of the three programs.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "common/shell.h"
#include "common/temp_dir.h"
#include "fixture.h"
#include "framework/text.h"
#include "render/batch.h"

namespace {

namespace fs = std::filesystem;

const std::string kRender = TAVRO_PROGRAM_DIR "/tavro-render";
const std::string kSongs = TAVRO_CORPUS_DIR "/songs/";
const char* const kCorpus[] = {"freedoom__d_dm2ttl.mid",   "freedoom__d_intro.mid",
                               "yubatake__Temple.mid",     "avgvst__Rift.mid",
                               "yubatake__RoyalCourt.mid", "avgvst__LeftAlone.mid"};

using Result = ShellResult;

using Kesh::Render::Batch::ShellQuote;

bool Have(const std::string& tool) { return Shell("command -v " + tool).status == 0; }

// The video's duration in seconds, or -1 when ffprobe finds no video and sound stream in it.
double Duration(const std::string& video) {
  const Result probe = Shell(
      "ffprobe -v error -show_entries stream=codec_type:format=duration "
      "-of default=noprint_wrappers=1 " +
      ShellQuote(video));
  if (probe.status != 0 || probe.output.find("codec_type=video") == std::string::npos ||
      probe.output.find("codec_type=audio") == std::string::npos) {
    return -1;
  }
  const size_t at = probe.output.find("duration=");
  return at == std::string::npos ? -1 : std::stod(probe.output.substr(at + 9));
}

// Files below folder whose names end in suffix.
std::vector<std::string> Find(const std::string& folder, const std::string& suffix) {
  std::vector<std::string> found;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    const std::string name = entry.path().string();
    if (name.size() >= suffix.size() &&
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
      found.push_back(name);
    }
  }
  std::sort(found.begin(), found.end());
  return found;
}

// A library: three songs in a folder (one in a subfolder) with a broken file, and a playlist of
// three more, named relative to it; and a data folder with the small test band.
struct Library {
  Library() {
    fs::create_directories(dir / "folder/sub");
    fs::copy_file(kSongs + kCorpus[0], dir.path / "folder" / kCorpus[0]);
    fs::copy_file(kSongs + kCorpus[1], dir.path / "folder" / kCorpus[1]);
    fs::copy_file(kSongs + kCorpus[2], dir.path / "folder/sub" / kCorpus[2]);
    std::ofstream(dir / "folder/broken.mid") << "MThd but not a song";
    fs::create_directories(dir / "list");
    std::ofstream list(dir / "list/songs.m3u");
    list << "# three more\n";
    for (int i = 3; i < 6; ++i) {
      fs::copy_file(kSongs + kCorpus[i], dir.path / "list" / kCorpus[i]);
      list << kCorpus[i] << "\n";
    }
    list.close();
    Fixture::WriteBand(data);
    fs::copy_file(TAVRO_SOURCE_DIR "/data/config/analysis.xml", data.Path("config/analysis.xml"));
  }
  // The arguments of a batch of it into out, every song 2 s long.
  std::string Batch(const std::string& extra = "") const {
    return ShellQuote(dir / "folder") + " " + ShellQuote(dir / "list/songs.m3u") + " --out-dir " +
           ShellQuote(dir / "out") + " --seconds 2 --data " + ShellQuote(data.Root()) + " " + extra;
  }
  // The videos the six songs become.
  std::vector<std::string> Videos() const {
    std::vector<std::string> videos = {dir / "out/freedoom__d_dm2ttl.mp4",
                                       dir / "out/freedoom__d_intro.mp4",
                                       dir / "out/sub/yubatake__Temple.mp4"};
    for (int i = 3; i < 6; ++i) {
      videos.push_back(dir / ("out/" + fs::path(kCorpus[i]).stem().string() + ".mp4"));
    }
    std::sort(videos.begin(), videos.end());
    return videos;
  }
  TempDir dir;
  Fixture::Program data;
};

bool HaveTools() { return fs::exists(kSongs + kCorpus[0]) && Have("ffprobe") && Have("python3"); }

// A JSON report read by Python: "status" of every song, in order, and the totals.
std::string ReadReport(const std::string& report) {
  return Shell(
             "python3 -c 'import json,sys; r=json.load(open(sys.argv[1])); "
             "print(\" \".join(s[\"status\"].replace(\" \",\"_\") + \":\" + "
             "s[\"output\"].rsplit(\"/\",1)[-1] for s in r[\"songs\"])); "
             "print(r[\"rendered\"], r[\"skipped\"], r[\"failed\"], r[\"interrupted\"]); "
             "print([s[\"reason\"] for s in r[\"songs\"] if s[\"status\"]==\"failed\"])' " +
             ShellQuote(report))
      .output;
}

}  // namespace

TEST(Batch, RendersEverySongOnceReportsTheBrokenOneAndSkipsOnTheSecondRun) {
  if (!HaveTools()) {
    GTEST_SKIP() << "needs the corpus, ffprobe and python3";
  }
  Library library;
  const std::string report = library.dir / "report.json";
  const Result first = Shell(kRender + " " + library.Batch("-j 2 --report " + ShellQuote(report)));
  EXPECT_EQ(first.status, 1) << first.output;
  EXPECT_NE(first.output.find("failed: " + (library.dir / "folder/broken.mid")), std::string::npos)
      << first.output;
  EXPECT_NE(first.output.find("6 rendered, 0 skipped, 1 failed of 7 songs"), std::string::npos)
      << first.output;
  EXPECT_EQ(Find(library.dir / "out", ".mp4"), library.Videos());
  for (const std::string& video : library.Videos()) {
    EXPECT_NEAR(Duration(video), 2.0, 0.2) << video;
  }
  EXPECT_TRUE(Find(library.dir / "out", ".part").empty());
  const std::string read = ReadReport(report);
  // Folder order (sorted paths: broken.mid first), then the playlist's.
  EXPECT_NE(read.find("failed:broken.mp4 rendered:freedoom__d_dm2ttl.mp4 "
                      "rendered:freedoom__d_intro.mp4 rendered:yubatake__Temple.mp4 "
                      "rendered:avgvst__Rift.mp4 rendered:yubatake__RoyalCourt.mp4 "
                      "rendered:avgvst__LeftAlone.mp4\n6 0 1 False\n"),
            std::string::npos)
      << read;
  EXPECT_NE(read.find("Unable to open"), std::string::npos) << read;

  // Again, without the broken file: every video exists, nothing is rendered, status 0.
  const auto written = fs::last_write_time(library.Videos()[0]);
  fs::remove(library.dir / "folder/broken.mid");
  const Result second = Shell(kRender + " " + library.Batch("-j 2 --report " + ShellQuote(report)));
  EXPECT_EQ(second.status, 0) << second.output;
  EXPECT_NE(second.output.find("0 rendered, 6 skipped, 0 failed of 6 songs"), std::string::npos)
      << second.output;
  EXPECT_EQ(fs::last_write_time(library.Videos()[0]), written);
  EXPECT_NE(ReadReport(report).find("\n0 6 0 False\n"), std::string::npos) << ReadReport(report);
}

TEST(Batch, InterruptedBatchStopsItsSongsAndLeavesNoPartialVideo) {
  if (!HaveTools()) {
    GTEST_SKIP() << "needs the corpus, ffprobe and python3";
  }
  Library library;
  const std::string out = library.dir / "out";
  const pid_t pid = ::fork();
  if (pid == 0) {
    const std::string data = library.data.Root();
    const std::string folder = library.dir / "folder";
    ::execl(kRender.c_str(), kRender.c_str(), folder.c_str(), "--out-dir", out.c_str(), "-j", "2",
            "--seconds", "120", "--data", data.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ASSERT_GT(pid, 0);
  // Interrupted while its songs are being encoded.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (std::chrono::steady_clock::now() < deadline &&
         (!fs::exists(out) || Find(out, ".part").empty())) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ASSERT_FALSE(Find(out, ".part").empty()) << "no song was started";
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  ::kill(pid, SIGINT);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 130);
  EXPECT_TRUE(Find(out, ".mp4").empty());
  EXPECT_TRUE(Find(out, ".part").empty());
  // No renderer outlives the batch.
  // ("[t]" keeps the pattern from matching the shell that runs pgrep.)
  EXPECT_NE(Shell("pgrep -f " + ShellQuote("[t]avro-render " + library.dir.path.string())).status,
            0);
}

TEST(Batch, ListedCommandLinesRunUnderGnuParallel) {
  if (!HaveTools() || !Have("parallel")) {
    GTEST_SKIP() << "needs the corpus, ffprobe, python3 and GNU parallel";
  }
  Library library;
  const std::string lines = library.dir / "lines.txt";
  const Result list = Shell(kRender + " --list " + library.Batch() + " > " + ShellQuote(lines));
  ASSERT_EQ(list.status, 0) << list.output;
  std::ifstream read(lines);
  std::string line;
  int count = 0;
  while (std::getline(read, line)) {
    ++count;
    EXPECT_EQ(line.rfind(ShellQuote(kRender) + " " + ShellQuote(library.dir / "folder/"), 0) == 0 ||
                  line.rfind(ShellQuote(kRender) + " " + ShellQuote(library.dir / "list/"), 0) == 0,
              true)
        << line;
    EXPECT_NE(line.find(" --seconds 2 --data "), std::string::npos) << line;
  }
  EXPECT_EQ(count, 7);
  // Run locally (":" is this machine, no ssh); parallel's status is the number of failed lines.
  const Result run = Shell("parallel --will-cite -S : -j 2 < " + ShellQuote(lines));
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_EQ(Find(library.dir / "out", ".mp4"), library.Videos());
  for (const std::string& video : library.Videos()) {
    EXPECT_NEAR(Duration(video), 2.0, 0.2) << video;
  }
  // Listed again, only the song without a video is left.
  const Result again = Shell(kRender + " --list " + library.Batch());
  EXPECT_EQ(again.output.find("freedoom"), std::string::npos) << again.output;
  EXPECT_NE(again.output.find("broken.mid"), std::string::npos) << again.output;
}

TEST(Batch, NamesQuotesAndReportTextsHoldForOddNames) {
  TempDir dir;
  // Songs with the same name in a folder and its subfolder; a playlist naming one of them again
  // (climbing out of its own folder) and one more by its full path.
  fs::create_directories(dir / "a/b");
  for (const char* name : {"a/x.mid", "a/b/x.kar", "a/x.kar", "a/notes.txt", "y.mid"}) {
    std::ofstream(dir / name) << "";
  }
  fs::create_directories(dir / "l");
  std::ofstream(dir / "l/p.m3u") << "../a/x.mid\r\n" << (dir / "y.mid") << "\n";
  std::vector<Kesh::Render::Batch::Song> songs;
  std::string why;
  ASSERT_TRUE(Kesh::Render::Batch::CollectSongs({dir / "a", dir / "l/p.m3u"}, dir / "o", ".webm",
                                                songs, &why))
      << why;
  const std::vector<std::pair<std::string, std::string>> expected = {{"a/b/x.kar", "o/b/x.webm"},
                                                                     {"a/x.kar", "o/x.webm"},
                                                                     {"a/x.mid", "o/x-2.webm"},
                                                                     {"y.mid", "o/y.webm"}};
  ASSERT_EQ(songs.size(), expected.size());
  for (size_t i = 0; i < songs.size(); ++i) {
    EXPECT_EQ(songs[i].path, dir / expected[i].first) << i;
    EXPECT_EQ(songs[i].output, dir / expected[i].second) << i;
  }
  EXPECT_FALSE(
      Kesh::Render::Batch::CollectSongs({dir / "none.m3u"}, dir / "o", ".mp4", songs, &why));
  EXPECT_NE(why.find("none.m3u"), std::string::npos) << why;

  // Quoted words come back from a shell unchanged; JSON strings from Python's reader.
  const std::vector<std::string> words = {
      "plain/path-1.mid", "two words", "it's", "$HOME", "a\"b\\c",
      "tab\there",        "new\nline", "",     "*?[x]", "caf\xc3\xa9"};
  std::string command = "printf '%s\\0'";
  for (const std::string& word : words) {
    command += " " + ShellQuote(word);
  }
  const Result echoed = Shell(command);
  std::string joined;
  for (const std::string& word : words) {
    joined += word + '\0';
  }
  EXPECT_EQ(echoed.output, joined);
  EXPECT_EQ(ShellQuote("plain/path-1.mid"), "plain/path-1.mid");
  if (Have("python3")) {
    std::string list = "[";
    for (const std::string& word : words) {
      list += (list.size() > 1 ? "," : "") + Vell::Text::JsonString(word);
    }
    list += "," + Vell::Text::JsonString("latin\xe9") + "]";
    std::ofstream(dir / "t.json") << list;
    const Result parsed = Shell(
        "python3 -c 'import json,sys; sys.stdout.buffer.write(b\"\\0\".join(w.encode() for w in "
        "json.load(open(sys.argv[1], encoding=\"utf-8\"))))' " +
        ShellQuote(dir / "t.json"));
    EXPECT_EQ(parsed.output, joined + "latin\xc3\xa9") << list;
  }
}

// --help and --version of the three programs, without a display (the window program must answer
// them before it needs one), against the version of the top CMakeLists.txt.
TEST(Programs, AnswerHelpAndVersionWithoutADisplay) {
  std::ifstream cmake(TAVRO_SOURCE_DIR "/CMakeLists.txt");
  std::string text((std::istreambuf_iterator<char>(cmake)), std::istreambuf_iterator<char>());
  const size_t at = text.find("project(Tavro VERSION ");
  ASSERT_NE(at, std::string::npos);
  const std::string version = text.substr(at + 22, text.find(' ', at + 22) - at - 22);
  const std::string bare = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 20 ";
  for (const std::string program : {"tavro", "tavro-render", "tavro-inspect"}) {
    const std::string path = TAVRO_PROGRAM_DIR "/" + program;
    if (!fs::exists(path)) {
      continue;  // tavro and tavro-render are built with the Qt front end only
    }
    const Result said = Shell(bare + path + " --version");
    EXPECT_EQ(said.status, 0) << said.output;
    EXPECT_EQ(said.output, program + " " + version + "\n");
    for (const char* help : {" --help", " -h", " song.mid --help"}) {
      const Result usage = Shell(bare + path + help);
      EXPECT_EQ(usage.status, 0) << program << help << ": " << usage.output;
      EXPECT_EQ(usage.output.rfind("usage: " + program + " ", 0), 0u) << usage.output;
    }
  }
  // The inspector refuses an unknown option and takes what follows "--" as files.
  const std::string inspect = TAVRO_PROGRAM_DIR "/tavro-inspect";
  const Result unknown = Shell(inspect + " --anaylsis song.mid");
  EXPECT_EQ(unknown.status, 2);
  EXPECT_EQ(unknown.output.rfind("tavro-inspect: unknown option --anaylsis\nusage:", 0), 0u)
      << unknown.output;
  if (fs::exists(kSongs + kCorpus[0])) {
    TempDir dir;
    fs::copy_file(kSongs + kCorpus[0], dir.path / "-x.mid");
    const Result odd =
        Shell("cd " + ShellQuote(dir.path.string()) + " && " + inspect + " -- -x.mid");
    EXPECT_EQ(odd.status, 0) << odd.output;
    EXPECT_EQ(odd.output.rfind("-x.mid\n  format ", 0), 0u) << odd.output;
  }
}
