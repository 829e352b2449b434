// A private sound server for the tests labelled "sound": PulseAudio with one null sink, started in
// its own runtime folder under a fresh temporary directory (never the system's or the user's
// server), reached only by this test process through the environment it sets, and stopped and
// removed at the end. MonitorRecorder records what the sink plays from its monitor with parec.
// Test-thread only, except MonitorRecorder's counters, which any thread may read.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/temp_dir.h"

extern char** environ;  // NOLINT(readability-redundant-declaration): POSIX declares it nowhere

namespace TavroTest {

constexpr int kSinkRate = 44100;
constexpr const char* kSinkName = "tavro_test_sink";

// Runs a program found on PATH with this process's environment; its id, or -1.
inline pid_t Spawn(const std::vector<std::string>& args, const std::string& output = "/dev/null",
                   int* stdoutPipe = nullptr) {
  std::vector<char*> argv;
  for (const std::string& a : args) {
    argv.push_back(const_cast<char*>(a.c_str()));
  }
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  int pipeEnds[2] = {-1, -1};
  if (stdoutPipe != nullptr) {
    if (pipe(pipeEnds) != 0) {
      posix_spawn_file_actions_destroy(&actions);
      return -1;
    }
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[1]);
  } else {
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                     0600);
  }
  posix_spawn_file_actions_addopen(&actions, 2, output.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                   0600);
  pid_t pid = -1;
  if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
    pid = -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  if (stdoutPipe != nullptr) {
    close(pipeEnds[1]);
    if (pid < 0) {
      close(pipeEnds[0]);
    } else {
      *stdoutPipe = pipeEnds[0];
    }
  }
  return pid;
}

// Waits up to timeout for a child; its exit status, or -1 when it is still running.
inline int WaitFor(pid_t pid, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) {
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
    }
    if (std::chrono::steady_clock::now() >= end) {
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

// Ends a child: asks, then insists.
inline void Stop(pid_t pid) {
  if (pid <= 0) {
    return;
  }
  kill(pid, SIGTERM);
  if (WaitFor(pid, std::chrono::seconds(3)) < 0) {
    kill(pid, SIGKILL);
    WaitFor(pid, std::chrono::seconds(3));
  }
}

class SoundServer {
 public:
  SoundServer() = default;
  SoundServer(const SoundServer&) = delete;
  SoundServer& operator=(const SoundServer&) = delete;
  ~SoundServer() {
    Stop(pid);
    for (const auto& [name, value] : saved) {
      if (value.present) {
        setenv(name.c_str(), value.text.c_str(), 1);
      } else {
        unsetenv(name.c_str());
      }
    }
  }

  // Starts the server and points this process at it; false with the reason when it cannot run
  // here (the caller skips).
  [[nodiscard]] bool Start(std::string* why) {
    const std::string runtime = folder.File("runtime");
    const std::string home = folder.File("home");
    std::filesystem::create_directories(runtime + "/pulse");
    std::filesystem::create_directories(home);
    chmod(runtime.c_str(), 0700);
    chmod((runtime + "/pulse").c_str(), 0700);
    const std::string clientConfig = folder.File("client.conf");
    std::ofstream(clientConfig) << "autospawn = no\n";
    // The server and every client of this process find each other through these alone.
    Set("HOME", home);
    Set("XDG_RUNTIME_DIR", runtime);
    Set("XDG_CONFIG_HOME", home + "/.config");
    Set("PULSE_RUNTIME_PATH", runtime + "/pulse");
    Set("PULSE_STATE_PATH", home + "/state");
    Set("PULSE_SERVER", "unix:" + runtime + "/pulse/native");
    Set("PULSE_CLIENTCONFIG", clientConfig);
    log = folder.File("server.log");
    // --system=no with a private runtime folder is what lets it run as root as well.
    pid = Spawn({"pulseaudio", "--system=no", "--daemonize=no", "--exit-idle-time=-1", "-n",
                 "--use-pid-file=no", "--disallow-exit=yes", "--realtime=no", "--high-priority=no",
                 "--log-target=stderr", "--log-level=warning",
                 std::string("--load=module-null-sink sink_name=") + kSinkName +
                     " rate=" + std::to_string(kSinkRate) + " channels=2",
                 "--load=module-native-protocol-unix auth-anonymous=1"},
                log);
    if (pid < 0) {
      return Fail(why, "pulseaudio could not be started (is it installed?)");
    }
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < end) {
      if (WaitFor(pid, std::chrono::milliseconds(0)) >= 0) {
        pid = -1;
        return Fail(why, "pulseaudio exited at once: " + LogText());
      }
      const pid_t probe = Spawn({"pactl", "info"});
      if (probe > 0 && WaitFor(probe, std::chrono::seconds(5)) == 0) {
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return Fail(why, "pulseaudio did not answer within 10 s: " + LogText());
  }

  std::string MonitorName() const { return std::string(kSinkName) + ".monitor"; }

 private:
  struct Saved {
    bool present = false;
    std::string text;
  };

  void Set(const std::string& name, const std::string& value) {
    const char* old = std::getenv(name.c_str());
    saved.emplace_back(name, Saved{old != nullptr, old != nullptr ? old : ""});
    setenv(name.c_str(), value.c_str(), 1);
  }

  std::string LogText() const {
    std::ifstream in(log);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return text.substr(0, 400);
  }

  bool Fail(std::string* why, const std::string& reason) {
    if (why != nullptr) {
      *why = reason;
    }
    return false;
  }

  TempDir folder;
  std::string log;
  pid_t pid = -1;
  std::vector<std::pair<std::string, Saved>> saved;
};

// What pactl prints for its arguments (empty when it fails). Test thread.
inline std::string Pactl(const std::vector<std::string>& args) {
  std::vector<std::string> command = {"pactl"};
  command.insert(command.end(), args.begin(), args.end());
  int fd = -1;
  const pid_t pid = Spawn(command, "/dev/null", &fd);
  if (pid < 0) {
    return {};
  }
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) {
    text.append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  return WaitFor(pid, std::chrono::seconds(5)) == 0 ? text : std::string();
}

// The streams the sound server has (its sink inputs), and of them those that are not corked
// (paused by their client).
inline int ServerStreams() {
  const std::string text = Pactl({"list", "short", "sink-inputs"});
  return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}
inline int RunningServerStreams() {
  const std::string text = Pactl({"list", "sink-inputs"});
  int corked = 0;
  for (size_t at = text.find("Corked: yes"); at != std::string::npos;
       at = text.find("Corked: yes", at + 1)) {
    ++corked;
  }
  return ServerStreams() - corked;
}

// Records the sink's monitor (16-bit stereo at kSinkRate) from Start to Stop. FrameAt maps a moment
// to the frame the sink played then, from when each piece arrived: a reader that a busy machine
// holds up gets its frames late, never early, so the earliest arrivals give the sink's clock.
class MonitorRecorder {
 public:
  explicit MonitorRecorder(std::string monitor) : source(std::move(monitor)) {}
  MonitorRecorder(const MonitorRecorder&) = delete;
  MonitorRecorder& operator=(const MonitorRecorder&) = delete;
  ~MonitorRecorder() { Stop(); }

  [[nodiscard]] bool Start(std::string* why) {
    int fd = -1;
    pid = Spawn({"parec", "--device=" + source, "--raw", "--format=s16le",
                 "--rate=" + std::to_string(kSinkRate), "--channels=2", "--latency-msec=10"},
                "/dev/null", &fd);
    if (pid < 0) {
      if (why != nullptr) {
        *why = "parec could not be started";
      }
      return false;
    }
    reader = std::thread([this, fd] {
      std::vector<int16_t> buffer(4096);
      for (;;) {
        const ssize_t n = read(fd, buffer.data(), buffer.size() * sizeof(int16_t));
        if (n <= 0) {
          break;
        }
        const auto now = std::chrono::steady_clock::now();
        std::lock_guard lock(mutex);
        const size_t values = static_cast<size_t>(n) / sizeof(int16_t);
        samples.insert(samples.end(), buffer.begin(), buffer.begin() + static_cast<long>(values));
        frames = static_cast<int64_t>(samples.size() / 2);
        // The sink's frame at time zero of the steady clock, as this piece tells it.
        const double micros = static_cast<double>(
            std::chrono::duration_cast<std::chrono::microseconds>(now.time_since_epoch()).count());
        const double origin = static_cast<double>(frames.load()) - micros * kSinkRate / 1e6;
        if (!originKnown || origin > sinkOrigin) {
          sinkOrigin = origin;
          originKnown = true;
        }
      }
      close(fd);
    });
    // Wait for the stream to flow, so that what follows is heard from its start.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (Frames() < kSinkRate / 10 && std::chrono::steady_clock::now() < end) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (Frames() < kSinkRate / 10) {
      if (why != nullptr) {
        *why = "parec recorded nothing from " + source;
      }
      return false;
    }
    return true;
  }

  // Frames recorded so far.
  int64_t Frames() const { return frames.load(); }

  // The frame of the recording the sink played at the moment given (once something arrived).
  int64_t FrameAt(std::chrono::steady_clock::time_point moment) {
    const double micros = static_cast<double>(
        std::chrono::duration_cast<std::chrono::microseconds>(moment.time_since_epoch()).count());
    std::lock_guard lock(mutex);
    return static_cast<int64_t>(std::llround(sinkOrigin + micros * kSinkRate / 1e6));
  }

  // Ends the recording; everything recorded, interleaved stereo.
  std::vector<int16_t> Stop() {
    if (pid > 0) {
      TavroTest::Stop(pid);
      pid = -1;
    }
    if (reader.joinable()) {
      reader.join();
    }
    std::lock_guard lock(mutex);
    return samples;
  }

  // A copy of what has been recorded so far.
  std::vector<int16_t> Snapshot() {
    std::lock_guard lock(mutex);
    return samples;
  }

 private:
  std::string source;
  pid_t pid = -1;
  std::thread reader;
  std::mutex mutex;
  std::vector<int16_t> samples;
  std::atomic<int64_t> frames{0};
  double sinkOrigin = 0;  // under mutex
  bool originKnown = false;
};

// The loudness of a recording (16-bit interleaved stereo): the RMS of its mono mix over any span,
// from running sums of squares.
class Loudness {
 public:
  explicit Loudness(const std::vector<int16_t>& stereo) : sums(stereo.size() / 2 + 1, 0.0) {
    for (size_t f = 0; f + 1 < sums.size(); ++f) {
      const double mono = (stereo[2 * f] + stereo[2 * f + 1]) / 2.0;
      sums[f + 1] = sums[f] + mono * mono;
    }
  }
  int64_t Frames() const { return static_cast<int64_t>(sums.size()) - 1; }
  // RMS over frames [from, to), clipped to the recording; 0 for an empty span.
  double Rms(int64_t from, int64_t to) const {
    from = std::clamp<int64_t>(from, 0, Frames());
    to = std::clamp<int64_t>(to, from, Frames());
    return to > from ? std::sqrt((sums[to] - sums[from]) / static_cast<double>(to - from)) : 0.0;
  }
  // The envelope: RMS in `count` windows of `window` frames from frame `from`.
  std::vector<double> Envelope(int64_t from, int window, int count) const {
    std::vector<double> out;
    for (int w = 0; w < count; ++w) {
      out.push_back(Rms(from + int64_t{w} * window, from + int64_t{w + 1} * window));
    }
    return out;
  }

 private:
  std::vector<double> sums;
};

// Pearson correlation of two series of equal length (0 when either is constant).
inline double Correlation(const std::vector<double>& a, const std::vector<double>& b) {
  const size_t n = std::min(a.size(), b.size());
  double ma = 0;
  double mb = 0;
  for (size_t i = 0; i < n; ++i) {
    ma += a[i];
    mb += b[i];
  }
  ma /= static_cast<double>(n);
  mb /= static_cast<double>(n);
  double sab = 0;
  double saa = 0;
  double sbb = 0;
  for (size_t i = 0; i < n; ++i) {
    sab += (a[i] - ma) * (b[i] - mb);
    saa += (a[i] - ma) * (a[i] - ma);
    sbb += (b[i] - mb) * (b[i] - mb);
  }
  return saa > 0 && sbb > 0 ? sab / std::sqrt(saa * sbb) : 0.0;
}

}  // namespace TavroTest
