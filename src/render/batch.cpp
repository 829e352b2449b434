#include "render/batch.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <sstream>

#include "framework/text.h"
#include "framework/user_file.h"
#include "game/playlist.h"

namespace Kesh::Render::Batch {

const char* const kUsage =
    "       tavro-render SONG|FOLDER|PLAYLIST.m3u... --out-dir DIR [-j N] [--force]\n"
    "                    [--report FILE] [--format mp4|mkv|webm] [--list] [song options]\n"
    "A batch renders every song into DIR, named after it; -j songs at once (default: the number\n"
    "of cores); songs whose video exists are skipped unless --force; --report writes a JSON\n"
    "summary; --list prints one command line per song instead of rendering.\n";

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Exit statuses of a batch.
constexpr int kExitRendered = 0;
constexpr int kExitSongFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitSignalBase = 128;
// What is kept of a child's error output: its last line says why it failed.
constexpr size_t kKeptErrorBytes = 64 * 1024;
// How often the progress line is redrawn and finished children are collected.
constexpr int kPollMs = 250;
constexpr auto kRedraw = std::chrono::milliseconds(kPollMs);

// The options of the single-song renderer that a batch hands on to each song, with whether they
// take a value. Paths among the values are made absolute first.
struct SongOption {
  const char* name;
  bool value;
  bool path;
};
// clang-format off
constexpr SongOption kSongOptions[] = {
    {"--style", true, false},
    {"--start", true, false},
    {"--seconds", true, false},
    {"--soundfont", true, true},
    {"--data", true, true},
    {"--threads", true, false},
    {"--size", true, false},
    {"--fps", true, false},
    {"--encoder", true, false},
    {"--no-crowd", false, false},
    {"--karaoke", false, false},
    {"--readouts", false, false},
    {"--loudness", true, false},
    {"--allow-flashing", false, false},
    {"--scale", true, false},
};
// clang-format on
// Options of a batch only; -j also as -jN and --jobs.
constexpr const char* kBatchValueOptions[] = {"--out-dir", "-j", "--jobs", "--report", "--format"};
constexpr const char* kBatchFlags[] = {"--force", "--list"};

const SongOption* FindSongOption(const std::string& name) {
  for (const SongOption& option : kSongOptions) {
    if (name == option.name) {
      return &option;
    }
  }
  return nullptr;
}

bool IsOneOf(const std::string& arg, const auto& names) {
  return std::any_of(std::begin(names), std::end(names),
                     [&](const char* name) { return arg == name; });
}

bool IsPlaylist(const std::string& path) {
  return Game::Playlist::Classify(path) == Game::Playlist::kPlaylist;
}

struct Options {
  std::vector<std::string> inputs;
  std::vector<std::string> songArgs;  // handed on to every song
  std::string outDir;
  std::string report;
  std::string extension = ".mp4";
  int jobs = 0;  // 0: the number of cores
  bool threadsGiven = false;
  bool force = false;
  bool list = false;
};

bool ParsePositive(const std::string& text, int& value) {
  char* end = nullptr;
  errno = 0;
  const long number = std::strtol(text.c_str(), &end, 10);
  if (end == text.c_str() || *end != '\0' || errno != 0 || number < 1 || number > 4096) {
    return false;
  }
  value = static_cast<int>(number);
  return true;
}

bool ParseSeconds(const std::string& text) {
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  return end != text.c_str() && *end == '\0' && std::isfinite(value) && value >= 0;
}

std::string Absolute(const std::string& path) {
  std::error_code ignored;
  return fs::absolute(path, ignored).lexically_normal().string();
}

bool Parse(int argc, char** argv, Options& options, std::string& error) {
  bool positional = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (positional || arg.empty() || arg[0] != '-' || arg == "-") {
      options.inputs.push_back(Absolute(arg));
      continue;
    }
    if (arg == "--") {
      positional = true;
      continue;
    }
    const auto value = [&](std::string& into) {
      if (i + 1 >= argc) {
        error = arg + " needs a value";
        return false;
      }
      into = argv[++i];
      return true;
    };
    std::string text;
    if (const SongOption* option = FindSongOption(arg)) {
      options.songArgs.push_back(arg);
      if (option->value) {
        if (!value(text)) {
          return false;
        }
        if ((arg == "--start" || arg == "--seconds") && !ParseSeconds(text)) {
          error = arg + " needs a number of seconds, not \"" + text + "\"";
          return false;
        }
        int threads = 0;
        if (arg == "--threads" && !ParsePositive(text, threads)) {
          error = "--threads needs a whole number from 1, not \"" + text + "\"";
          return false;
        }
        options.threadsGiven = options.threadsGiven || arg == "--threads";
        options.songArgs.push_back(option->path ? Absolute(text) : text);
      }
    } else if (arg == "--out-dir") {
      if (!value(text)) {
        return false;
      }
      options.outDir = Absolute(text);
    } else if (arg == "--report") {
      if (!value(text)) {
        return false;
      }
      options.report = Absolute(text);
    } else if (arg == "--format") {
      if (!value(text)) {
        return false;
      }
      if (text != "mp4" && text != "mkv" && text != "webm") {
        error = "--format is mp4, mkv or webm, not \"" + text + "\"";
        return false;
      }
      options.extension = "." + text;
    } else if (arg == "-j" || arg == "--jobs" || arg.rfind("-j", 0) == 0) {
      if (arg.size() > 2 && arg[1] == 'j') {
        text = arg.substr(2);
      } else if (!value(text)) {
        return false;
      }
      if (!ParsePositive(text, options.jobs)) {
        error = "-j needs a number of songs at once from 1, not \"" + text + "\"";
        return false;
      }
    } else if (arg == "--force") {
      options.force = true;
    } else if (arg == "--list") {
      options.list = true;
    } else if (arg == "-o" || arg == "--frames") {
      error = arg + " names the output of one song; a batch writes its videos into --out-dir";
      return false;
    } else {
      error = "unknown option " + arg;
      return false;
    }
  }
  if (options.inputs.empty()) {
    error = "no song given";
    return false;
  }
  if (options.outDir.empty()) {
    error = "a batch needs --out-dir DIR for its videos";
    return false;
  }
  return true;
}

// The number of cores this process may run on.
int Cores() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (::sched_getaffinity(0, sizeof set, &set) == 0) {
    return std::max(1, CPU_COUNT(&set));
  }
  return std::max(1L, ::sysconf(_SC_NPROCESSORS_ONLN));
}

// The renderer itself, for the children and the printed command lines: "tavro-render" when that
// name on PATH is this very program, else its absolute path.
std::string SelfPath() {
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  if (error) {
    return "tavro-render";
  }
  return self.string();
}

std::string CommandName(const std::string& self) {
  const char* path = std::getenv("PATH");
  std::stringstream folders(path != nullptr ? path : "");
  std::string folder;
  while (std::getline(folders, folder, ':')) {
    std::error_code error;
    if (!folder.empty() && fs::equivalent(fs::path(folder) / "tavro-render", self, error)) {
      return "tavro-render";
    }
  }
  return self;
}

std::string Clip(double seconds) {
  const long whole = std::lround(std::max(0.0, seconds));
  char text[32];
  if (whole >= 3600) {
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", whole / 3600, whole / 60 % 60, whole % 60);
  } else {
    std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
  }
  return text;
}

// The state of a song in the batch, as the report names it.
enum class Status { kPending, kRunning, kRendered, kSkipped, kFailed, kInterrupted };

const char* StatusName(Status status) {
  switch (status) {
    case Status::kPending:
      return "not started";
    case Status::kRunning:
    case Status::kInterrupted:
      return "interrupted";
    case Status::kRendered:
      return "rendered";
    case Status::kSkipped:
      return "skipped";
    case Status::kFailed:
      return "failed";
  }
  return "failed";
}

struct Entry {
  Song song;
  Status status = Status::kPending;
  std::string reason;
  double seconds = 0;
  // While running:
  pid_t pid = -1;
  int errorFd = -1;
  std::string errors;
  Clock::time_point began;
};

// The signal that interrupts the batch, written by the handler and read by the loop.
volatile sig_atomic_t interruptSignal = 0;

void OnSignal(int signal) { interruptSignal = signal; }

void CatchSignals() {
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no restart: poll returns at once
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    ::sigaction(signal, &action, nullptr);
  }
}

// The last line of a child's error output that the renderer wrote itself, without its prefix; or
// the last line; or "".
std::string ReasonOf(const std::string& errors) {
  std::stringstream lines(errors);
  std::string line;
  std::string last;
  std::string ours;
  const std::string prefix = "tavro-render: ";
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    if (line.empty()) {
      continue;
    }
    last = line;
    if (line.rfind(prefix, 0) == 0) {
      ours = line.substr(prefix.size());
    }
  }
  return ours.empty() ? last : ours;
}

class Runner {
 public:
  Runner(const Options& options, std::vector<Song> songs)
      : options(options), terminal(::isatty(2) != 0) {
    for (Song& song : songs) {
      Entry entry;
      entry.song = std::move(song);
      entries.push_back(std::move(entry));
    }
    jobs = options.jobs > 0 ? options.jobs : Cores();
    self = SelfPath();
  }

  // The command line that renders one song by itself.
  std::vector<std::string> CommandOf(const Song& song, const std::string& program) const {
    std::vector<std::string> args = {program, song.path, "-o", song.output};
    args.insert(args.end(), options.songArgs.begin(), options.songArgs.end());
    if (!options.threadsGiven && (options.jobs > 0 || !options.list)) {
      args.insert(args.end(), {"--threads", std::to_string(threads)});
    }
    return args;
  }

  // Skips the songs whose video exists (unless forced) and makes the folders of the others.
  void Prepare() {
    for (Entry& entry : entries) {
      std::error_code error;
      if (!options.force && fs::exists(entry.song.output, error)) {
        entry.status = Status::kSkipped;
        entry.reason = "the video exists";
        continue;
      }
      const fs::path folder = fs::path(entry.song.output).parent_path();
      fs::create_directories(folder, error);
      if (error) {
        entry.status = Status::kFailed;
        entry.reason = "cannot make the folder " + folder.string() + ": " + error.message();
      }
    }
    // Each song's ffmpeg gets its share of the cores.
    const auto pending = std::count_if(entries.begin(), entries.end(),
                                       [](const Entry& e) { return e.status == Status::kPending; });
    threads = std::max(1, Cores() / std::max(1, std::min(jobs, static_cast<int>(pending))));
  }

  int List() {
    const std::string program = CommandName(self);
    for (const Entry& entry : entries) {
      if (entry.status == Status::kPending) {
        std::string line;
        for (const std::string& word : CommandOf(entry.song, program)) {
          line += (line.empty() ? "" : " ") + ShellQuote(word);
        }
        std::printf("%s\n", line.c_str());
      } else if (entry.status == Status::kFailed) {
        std::fprintf(stderr, "tavro-render: %s: %s\n", entry.song.path.c_str(),
                     entry.reason.c_str());
      }
    }
    return std::any_of(entries.begin(), entries.end(),
                       [](const Entry& e) { return e.status == Status::kFailed; })
               ? kExitSongFailed
               : kExitRendered;
  }

  int Render() {
    began = Clock::now();
    CatchSignals();
    size_t next = 0;
    while (true) {
      while (interruptSignal == 0 && Running() < jobs && next < entries.size()) {
        Entry& entry = entries[next++];
        if (entry.status == Status::kPending) {
          Launch(entry);
        } else {
          Finished(entry);
        }
      }
      if (Running() == 0 && (next >= entries.size() || interruptSignal != 0)) {
        break;
      }
      Wait();
      if (interruptSignal != 0 && !forwarded) {
        // To each song's process group, as a terminal would: the renderers stop their ffmpeg
        // and remove their partial videos.
        forwarded = true;
        for (Entry& entry : entries) {
          if (entry.status == Status::kRunning) {
            ::kill(-entry.pid, interruptSignal);
          }
        }
      }
    }
    ClearProgress();
    Summarise();
    std::string why;
    if (!options.report.empty() && !WriteReport(&why)) {
      std::fprintf(stderr, "tavro-render: %s\n", why.c_str());
    }
    if (interruptSignal != 0) {
      return kExitSignalBase + interruptSignal;
    }
    return failed > 0 || !why.empty() ? kExitSongFailed : kExitRendered;
  }

 private:
  int Running() const {
    return static_cast<int>(std::count_if(entries.begin(), entries.end(), [](const Entry& e) {
      return e.status == Status::kRunning;
    }));
  }

  void Launch(Entry& entry) {
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0) {
      entry.status = Status::kFailed;
      entry.reason = std::string("cannot make a pipe: ") + std::strerror(errno);
      Finished(entry);
      return;
    }
    std::vector<std::string> args = CommandOf(entry.song, self);
    std::vector<char*> argv;
    for (std::string& arg : args) {
      argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
      // A group of its own, so that a Ctrl+C in the terminal reaches the batch alone and each
      // song is stopped once, by the batch; and stopped as well when the batch dies.
      ::setpgid(0, 0);
      ::prctl(PR_SET_PDEATHSIG, SIGTERM);
      if (::getppid() != parent) {
        ::_exit(kExitSignalBase + SIGTERM);
      }
      ::dup2(pipe[1], 2);
      const int null = ::open("/dev/null", O_RDWR);
      if (null >= 0) {
        ::dup2(null, 0);
        ::dup2(null, 1);
      }
      ::execv(argv[0], argv.data());
      std::fprintf(stderr, "tavro-render: cannot run %s: %s\n", argv[0], std::strerror(errno));
      ::_exit(kExitUsage);
    }
    ::close(pipe[1]);
    if (pid > 0) {
      ::setpgid(pid, pid);  // also here, so that a signal right after the fork finds the group
    }
    if (pid < 0) {
      ::close(pipe[0]);
      entry.status = Status::kFailed;
      entry.reason = std::string("cannot start a renderer: ") + std::strerror(errno);
      Finished(entry);
      return;
    }
    ::fcntl(pipe[0], F_SETFL, O_NONBLOCK);
    entry.pid = pid;
    entry.errorFd = pipe[0];
    entry.status = Status::kRunning;
    entry.began = Clock::now();
  }

  // Reads what the children wrote, collects those that ended and redraws the progress line.
  void Wait() {
    std::vector<pollfd> fds;
    for (const Entry& entry : entries) {
      if (entry.status == Status::kRunning && entry.errorFd >= 0) {
        fds.push_back({entry.errorFd, POLLIN, 0});
      }
    }
    if (::poll(fds.data(), fds.size(), kPollMs) == 0 || Clock::now() - drawn > kRedraw) {
      Progress();
    }
    for (Entry& entry : entries) {
      if (entry.status != Status::kRunning) {
        continue;
      }
      if (entry.errorFd >= 0) {
        Drain(entry);
      }
      int status = 0;
      const pid_t done = ::waitpid(entry.pid, &status, WNOHANG);
      if (done != entry.pid) {
        continue;
      }
      if (entry.errorFd >= 0) {
        Drain(entry);
      }
      if (entry.errorFd >= 0) {
        ::close(entry.errorFd);
        entry.errorFd = -1;
      }
      entry.seconds = std::chrono::duration<double>(Clock::now() - entry.began).count();
      if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        entry.status = Status::kRendered;
      } else {
        const bool stopped =
            interruptSignal != 0 &&
            ((WIFSIGNALED(status) && WTERMSIG(status) == interruptSignal) ||
             (WIFEXITED(status) && WEXITSTATUS(status) == kExitSignalBase + interruptSignal));
        entry.status = stopped ? Status::kInterrupted : Status::kFailed;
        entry.reason = ReasonOf(entry.errors);
        if (WIFSIGNALED(status)) {
          entry.reason = "stopped by signal " + std::to_string(WTERMSIG(status)) +
                         (entry.reason.empty() ? "" : " after: " + entry.reason);
        }
        if (WIFSIGNALED(status) || stopped) {
          RemoveLeftovers(entry);
        } else if (entry.reason.empty()) {
          entry.reason = "exit status " + std::to_string(WEXITSTATUS(status));
        }
        if (stopped) {
          entry.reason = "interrupted";
        }
      }
      entry.errors.clear();
      entry.errors.shrink_to_fit();
      Finished(entry);
    }
  }

  // A renderer stopped by a signal may have had no time to stop its ffmpeg and remove the
  // partial video: once its process group is gone (a few seconds at most), the batch does.
  static void RemoveLeftovers(const Entry& entry) {
    constexpr auto kGrace = std::chrono::seconds(5);
    const auto until = Clock::now() + kGrace;
    while (::kill(-entry.pid, 0) == 0 && Clock::now() < until) {
      ::usleep(50 * 1000);
    }
    ::kill(-entry.pid, SIGKILL);
    std::error_code ignored;
    fs::remove(entry.song.output + ".part", ignored);
    fs::remove(entry.song.output + ".ffmpeg.log", ignored);
  }

  void Drain(Entry& entry) {
    char buffer[4096];
    while (true) {
      const ssize_t n = ::read(entry.errorFd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) {
        continue;
      }
      if (n == 0) {
        // The end of its output: the renderer is ending; it is collected by waitpid.
        ::close(entry.errorFd);
        entry.errorFd = -1;
        return;
      }
      if (n < 0) {
        return;
      }
      entry.errors.append(buffer, static_cast<size_t>(n));
      if (entry.errors.size() > kKeptErrorBytes) {
        entry.errors.erase(0, entry.errors.size() - kKeptErrorBytes / 2);
      }
    }
  }

  // One line for a song that ended (or was skipped), above the progress line.
  void Finished(const Entry& entry) {
    ++finished;
    if (entry.status == Status::kRendered) {
      ++rendered;
      workedSeconds += entry.seconds;
    } else if (entry.status == Status::kSkipped) {
      ++skipped;
    } else if (entry.status == Status::kFailed) {
      ++failed;
      workedSeconds += entry.seconds;
    } else {
      return;
    }
    ClearProgress();
    if (entry.status == Status::kFailed) {
      std::fprintf(stderr, "tavro-render: failed: %s: %s\n", entry.song.path.c_str(),
                   entry.reason.c_str());
    } else if (entry.status == Status::kRendered) {
      std::fprintf(stderr, "rendered %s (%.1f s)\n", entry.song.output.c_str(), entry.seconds);
    } else {
      std::fprintf(stderr, "skipped %s: %s\n", entry.song.path.c_str(), entry.reason.c_str());
    }
    Progress();
  }

  void Progress() {
    if (!terminal) {
      return;
    }
    // Time left: the mean time of the songs that ended, for the songs still to end, shared out
    // over the songs run at once.
    const int worked = rendered + failed;
    const int left = static_cast<int>(entries.size()) - finished;
    std::string time = left == 0 ? "0:00" : "--:--";
    if (worked > 0 && left > 0) {
      time = Clip(workedSeconds / worked * left / std::min(jobs, left));
    }
    std::fprintf(stderr, "\r%d/%zu songs: %d rendered, %d skipped, %d failed, %d running, %s left ",
                 finished, entries.size(), rendered, skipped, failed, Running(), time.c_str());
    std::fflush(stderr);
    shown = true;
    drawn = Clock::now();
  }

  void ClearProgress() {
    if (shown) {
      std::fputs("\r\033[K", stderr);
      shown = false;
    }
  }

  void Summarise() const {
    const double elapsed = std::chrono::duration<double>(Clock::now() - began).count();
    std::fprintf(stderr, "%d rendered, %d skipped, %d failed of %zu songs in %s%s\n", rendered,
                 skipped, failed, entries.size(), Clip(elapsed).c_str(),
                 interruptSignal != 0 ? " (interrupted)" : "");
    for (const Entry& entry : entries) {
      if (entry.status == Status::kFailed) {
        std::fprintf(stderr, "  failed: %s: %s\n", entry.song.path.c_str(), entry.reason.c_str());
      }
    }
  }

  [[nodiscard]] bool WriteReport(std::string* why) const {
    std::string json = "{\n  \"songs\": [";
    for (size_t i = 0; i < entries.size(); ++i) {
      const Entry& entry = entries[i];
      char seconds[32];
      std::snprintf(seconds, sizeof seconds, "%.3f", entry.seconds);
      json += std::string(i == 0 ? "" : ",") +
              "\n    {\"song\": " + Vell::Text::JsonString(entry.song.path) +
              ", \"output\": " + Vell::Text::JsonString(entry.song.output) +
              ", \"seconds\": " + seconds +
              ", \"status\": " + Vell::Text::JsonString(StatusName(entry.status)) +
              ", \"reason\": " + Vell::Text::JsonString(entry.reason) + "}";
    }
    char totals[256];
    std::snprintf(totals, sizeof totals,
                  "\n  ],\n  \"rendered\": %d,\n  \"skipped\": %d,\n  \"failed\": %d,\n"
                  "  \"interrupted\": %s,\n  \"seconds\": %.3f\n}\n",
                  rendered, skipped, failed, interruptSignal != 0 ? "true" : "false",
                  std::chrono::duration<double>(Clock::now() - began).count());
    json += totals;
    return Vell::Data::WriteUserFile(options.report, json, why);
  }

  const Options& options;
  const bool terminal;
  std::vector<Entry> entries;
  int jobs = 1;
  int threads = 1;
  std::string self;
  Clock::time_point began;
  Clock::time_point drawn;
  int finished = 0;
  int rendered = 0;
  int skipped = 0;
  int failed = 0;
  double workedSeconds = 0;
  bool forwarded = false;
  bool shown = false;
};

// The video of a song: its name with the extension, in folder; a name taken gets "-2", "-3", ...
std::string OutputFor(const fs::path& song, const fs::path& folder, const std::string& extension,
                      std::set<std::string>& taken) {
  const std::string stem = song.stem().string();
  std::string output = (folder / (stem + extension)).lexically_normal().string();
  for (int n = 2; !taken.insert(output).second; ++n) {
    output = (folder / (stem + "-" + std::to_string(n) + extension)).lexically_normal().string();
  }
  return output;
}

}  // namespace

bool IsBatch(int argc, char** argv) {
  int songs = 0;
  bool folder = false;
  bool oneOutput = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--") {
      songs += argc - i - 1;
      break;
    }
    if (IsOneOf(arg, kBatchValueOptions) || IsOneOf(arg, kBatchFlags) ||
        (arg.size() > 2 && arg.rfind("-j", 0) == 0)) {
      return true;
    }
    if (arg == "-o" || arg == "--frames") {
      oneOutput = true;
      ++i;
      continue;
    }
    if (const SongOption* option = FindSongOption(arg)) {
      i += option->value ? 1 : 0;
      continue;
    }
    if (!arg.empty() && arg[0] == '-') {
      continue;
    }
    if (IsPlaylist(arg)) {
      return true;
    }
    std::error_code error;
    folder = folder || fs::is_directory(arg, error);
    ++songs;
  }
  // A lone folder with one output named is taken as a song, which is then refused as a folder.
  return songs > 1 || (folder && !oneOutput);
}

bool CollectSongs(const std::vector<std::string>& inputs, const std::string& outDir,
                  const std::string& extension, std::vector<Song>& songs, std::string* why) {
  std::set<std::string> taken;
  std::set<std::string> seen;  // a song named twice is rendered once
  const fs::path out(outDir);
  const auto add = [&](const fs::path& song, const fs::path& folder) {
    if (seen.insert(song.string()).second) {
      songs.push_back({song.string(), OutputFor(song, folder, extension, taken)});
    }
  };
  const auto fail = [why](const std::string& reason) {
    if (why != nullptr) {
      *why = reason;
    }
    return false;
  };
  for (const std::string& input : inputs) {
    std::error_code error;
    if (fs::is_directory(input, error)) {
      std::vector<fs::path> found;
      // Links to folders are not followed: a link to a parent folder would never end.
      fs::recursive_directory_iterator walk(input, error);
      for (; !error && walk != fs::recursive_directory_iterator(); walk.increment(error)) {
        const int kind = Game::Playlist::Classify(walk->path().string());
        if ((kind == Game::Playlist::kSong || kind == Game::Playlist::kProject) &&
            walk->is_regular_file()) {
          found.push_back(walk->path());
        }
      }
      if (error) {
        return fail("cannot read the folder " + input + ": " + error.message());
      }
      std::sort(found.begin(), found.end());
      for (const fs::path& song : found) {
        const fs::path relative = song.lexically_relative(input).parent_path();
        add(song, out / relative);
      }
    } else if (IsPlaylist(input)) {
      Game::Playlist playlist;
      std::string reason;
      if (!playlist.LoadFile(input, &reason)) {
        return fail(reason.empty() ? "cannot read the playlist " + input : reason);
      }
      const fs::path folder = fs::path(input).parent_path();
      for (int i = 0; i < playlist.Count(); ++i) {
        const fs::path item = playlist.Item(i)->GetName();
        const fs::path song = (item.is_absolute() ? item : folder / item).lexically_normal();
        add(song, out);
      }
    } else {
      add(input, out);
    }
  }
  return true;
}

std::string ShellQuote(const std::string& word) {
  const bool plain = !word.empty() && std::all_of(word.begin(), word.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 ||
           std::strchr("_@%+=:,./-", c) != nullptr;
  });
  if (plain) {
    return word;
  }
  std::string quoted = "'";
  for (const char c : word) {
    quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  }
  return quoted + "'";
}

int Run(int argc, char** argv) {
  Options options;
  std::string error;
  if (!Parse(argc, argv, options, error)) {
    std::fprintf(stderr, "tavro-render: %s\n", error.c_str());
    return kExitUsage;
  }
  std::error_code made;
  fs::create_directories(options.outDir, made);
  if (::access(options.outDir.c_str(), W_OK) != 0) {
    std::fprintf(stderr, "tavro-render: cannot write into the folder %s\n", options.outDir.c_str());
    return kExitUsage;
  }
  std::vector<Song> songs;
  if (!CollectSongs(options.inputs, options.outDir, options.extension, songs, &error)) {
    std::fprintf(stderr, "tavro-render: %s\n", error.c_str());
    return kExitUsage;
  }
  if (songs.empty()) {
    std::fprintf(stderr, "tavro-render: no songs found in what was given\n");
    return kExitUsage;
  }
  Runner runner(options, std::move(songs));
  runner.Prepare();
  return options.list ? runner.List() : runner.Render();
}

}  // namespace Kesh::Render::Batch
