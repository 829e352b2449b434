#include "render/encoder.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <random>
#include <sstream>
#include <thread>

#include "framework/text.h"
#include "render/yuv.h"

namespace Kesh::Render {

namespace {

// How long ffmpeg is given to close a video it was told to end, and to exit once asked to stop.
constexpr auto kCloseGrace = std::chrono::seconds(30);
constexpr auto kStopGrace = std::chrono::seconds(2);
constexpr auto kPoll = std::chrono::milliseconds(10);
// How long a write to ffmpeg waits between checks, and how long ffmpeg may take nothing: after it
// logged an error, and at all.
constexpr auto kPollWrite = std::chrono::milliseconds(500);
constexpr auto kStallAfterError = std::chrono::seconds(3);
constexpr auto kStall = std::chrono::seconds(120);
// Descriptors ffmpeg finds its inputs and its output on.
constexpr int kSoundFd = 3;
constexpr int kOutputFd = 4;
// Below this much free space the filesystem of a short video is taken for full.
constexpr unsigned long long kFullDiskBytes = 1u << 20;
// The device VA-API encoders are given.
constexpr const char* kVaapiDevice = "/dev/dri/renderD128";
// Links followed from the output to its target at most (the system's own limit).
constexpr int kMaxLinks = 40;

bool Fail(std::string* why, const std::string& reason) {
  if (why != nullptr) {
    *why = reason;
  }
  return false;
}

// Creates a new file named base + six random letters + suffix, exclusively: never an existing
// file, never through a symbolic link. The descriptor, or -1 with errno set.
int CreateFresh(const std::string& base, const std::string& suffix, std::string& path) {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device random;
  std::uniform_int_distribution<size_t> pick(0, sizeof kLetters - 2);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = base + ".";
    for (int i = 0; i < 6; ++i) {
      name += kLetters[pick(random)];
    }
    name += suffix;
    const int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0) {
      path = name;
      return fd;
    }
    if (errno != EEXIST) {
      return -1;
    }
  }
  errno = EEXIST;
  return -1;
}

// Runs a program and collects what it writes on standard output and error; its exit status, or
// -1 when it could not run.
int Capture(std::vector<std::string> args, std::string& output) {
  int pipe[2];
  if (::pipe2(pipe, O_CLOEXEC) != 0) {
    return -1;
  }
  std::vector<char*> argv;
  for (std::string& arg : args) {
    argv.push_back(arg.data());
  }
  argv.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(pipe[1], 1);
    ::dup2(pipe[1], 2);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(pipe[1]);
  if (pid < 0) {
    ::close(pipe[0]);
    return -1;
  }
  char buffer[4096];
  ssize_t n = 0;
  while ((n = ::read(pipe[0], buffer, sizeof buffer)) != 0) {
    if (n > 0) {
      output.append(buffer, static_cast<size_t>(n));
    } else if (errno != EINTR) {
      break;
    }
  }
  ::close(pipe[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      return -1;
    }
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// "; the disk is full" when the filesystem holding path has (almost) no room left, else "".
std::string DiskNote(const std::string& path) {
  struct statvfs disk {};
  const std::string folder = std::filesystem::path(path).parent_path().string();
  const bool full = ::statvfs(folder.c_str(), &disk) == 0 &&
                    static_cast<unsigned long long>(disk.f_bavail) * disk.f_frsize < kFullDiskBytes;
  return full ? "; the disk is full" : "";
}

// A message line without the "[component @ 0x...] " prefix of ffmpeg's tools.
std::string WithoutPrefix(const std::string& line) {
  const size_t end = line.find("] ");
  return !line.empty() && line[0] == '[' && end != std::string::npos ? line.substr(end + 2) : line;
}

}  // namespace

Encoder::~Encoder() { (void)Cancel(false); }

std::string Encoder::FindProgram(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::stringstream folders(path != nullptr ? path : "/usr/bin:/bin");
  std::string folder;
  while (std::getline(folders, folder, ':')) {
    const std::string candidate = (folder.empty() ? "." : folder) + "/" + name;
    if (::access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
  }
  return "";
}
bool Encoder::HasVideoEncoder(const std::string& name, std::string* why) {
  const std::string ffmpeg = FindFfmpeg();
  if (ffmpeg.empty()) {
    return Fail(why, "ffmpeg was not found on PATH (install the ffmpeg package)");
  }
  std::string output;
  if (Capture({ffmpeg, "-hide_banner", "-encoders"}, output) != 0) {
    return Fail(why, "cannot list ffmpeg's encoders: " +
                         WithoutPrefix(output.substr(0, output.find('\n'))));
  }
  // Lines such as " V....D libx264   libx264 H.264 …": the kind's letter, flags, the name.
  std::istringstream lines(output);
  std::string line;
  bool listing = false;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::string flags;
    std::string encoder;
    words >> flags >> encoder;
    if (flags.find("------") == 0) {
      listing = true;  // the legend above the line explains the flags
      continue;
    }
    if (listing && encoder == name) {
      if (flags.empty() || flags[0] != 'V') {
        return Fail(why, "--encoder " + name + ": ffmpeg's " + name + " is not a video encoder");
      }
      return true;
    }
  }
  return Fail(why, "--encoder " + name +
                       ": this ffmpeg has no such video encoder (`ffmpeg -encoders` lists them)");
}

std::string Encoder::VideoEncoder() const {
  if (!settings.videoEncoder.empty()) {
    return settings.videoEncoder;
  }
  return FormatOf(settings.output) == "webm" ? "libvpx-vp9" : "libx264";
}

std::string Encoder::FormatOf(const std::string& path) {
  const std::string extension = std::filesystem::path(path).extension().string();
  if (Vell::Text::EqualsIgnoreCase(extension, ".mp4")) {
    return "mp4";
  }
  if (Vell::Text::EqualsIgnoreCase(extension, ".mkv")) {
    return "matroska";
  }
  if (Vell::Text::EqualsIgnoreCase(extension, ".webm")) {
    return "webm";
  }
  return "";
}

bool Encoder::Start(const Settings& given, std::string* why) {
  settings = given;
  framesWritten = 0;
  const std::string ffmpeg = FindFfmpeg();
  if (ffmpeg.empty()) {
    return Fail(why, "ffmpeg was not found on PATH (install the ffmpeg package)");
  }
  const std::string format = FormatOf(settings.output);
  if (format.empty()) {
    return Fail(why, settings.output + ": the output must end in .mp4, .mkv or .webm");
  }
  // An output that is a symbolic link is the user's own: the video replaces its target (which
  // need not exist yet).
  target = settings.output;
  for (int hops = 0; hops < kMaxLinks; ++hops) {
    std::error_code error;
    if (!std::filesystem::is_symlink(target, error)) {
      break;
    }
    const std::filesystem::path link = std::filesystem::read_symlink(target, error);
    if (error) {
      break;
    }
    target = (link.is_absolute() ? link : std::filesystem::path(target).parent_path() / link)
                 .lexically_normal()
                 .string();
  }
  // H.264 and VP9 in 4:2:0 need even sizes: the stage is padded by a column or row of black.
  // Frames go to ffmpeg already in 4:2:0 (WriteFrame): its own conversion from BGRA took a
  // third of its video time, ours costs about a third of that, and the pipe carries 60 % fewer
  // bytes.
  const int paddedWidth = settings.width + settings.width % 2;
  const int paddedHeight = settings.height + settings.height % 2;
  const std::string size = std::to_string(paddedWidth) + "x" + std::to_string(paddedHeight);
  try {
    frame.assign(Yuv420Bytes(paddedWidth, paddedHeight), 0);
  } catch (const std::bad_alloc&) {
    return Fail(why, "not enough memory for a frame of " + size + " pixels");
  }
  // The video and ffmpeg's messages go to files of fresh names beside the output: an existing
  // file, or a link planted at a predictable name, is never written through.
  temporaryFd = CreateFresh(target, ".part", temporary);
  if (temporaryFd < 0) {
    return Fail(why, "cannot write " + settings.output + ": " + std::strerror(errno));
  }
  const int logFd = CreateFresh(target, ".ffmpeg.log", temporaryLog);
  if (logFd < 0) {
    const std::string reason = std::strerror(errno);
    (void)Cancel(false);
    return Fail(why, "cannot write " + settings.output + ": " + reason);
  }
  // ffmpeg writes into the file created here through its descriptor, whatever the name comes to
  // point at meanwhile.
  const std::string outputName = ::access("/proc/self/fd", X_OK) == 0
                                     ? "/proc/self/fd/" + std::to_string(kOutputFd)
                                     : temporary;
  std::vector<std::string> args = {
      // Both inputs are described completely: ffmpeg must not wait for more than one frame of
      // either while it opens them, since they are written in turn.
      ffmpeg,
      "-hide_banner",
      "-loglevel",
      "error",
      "-y",
      "-probesize",
      "32",
      "-analyzeduration",
      "0",
      "-f",
      "rawvideo",
      "-pix_fmt",
      "yuv420p",
      "-s",
      size,
      "-r",
      std::to_string(settings.frameRate),
      "-thread_queue_size",
      "64",
      "-i",
      "pipe:0",
      "-probesize",
      "32",
      "-analyzeduration",
      "0",
      "-f",
      "s16le",
      "-ar",
      std::to_string(settings.sampleRate),
      "-ac",
      "2",
      "-thread_queue_size",
      "1024",
      "-i",
      "pipe:3",
      "-map",
      "0:v",
      "-map",
      "1:a",
      "-pix_fmt",
      "yuv420p"};
  // The speed and quality settings belong to each encoder: libx264's preset and CRF, VP9's
  // realtime mode; any other encoder (a hardware one above all) gets a bit rate for the size and
  // frame rate, about a tenth of a bit per pixel.
  const std::string encoder = VideoEncoder();
  if (encoder == "libx264") {
    args.insert(args.end(), {"-c:v", "libx264", "-preset", settings.preset, "-crf", "20"});
  } else if (encoder == "libvpx-vp9") {
    args.insert(args.end(),
                {"-c:v", "libvpx-vp9", "-deadline", "realtime", "-cpu-used", "8", "-b:v", "2M"});
  } else {
    const int64_t bitRate = int64_t{paddedWidth} * paddedHeight * settings.frameRate / 10;
    // VA-API encoders take frames in video memory, uploaded to the first render node, instead
    // of the 4:2:0 frames in main memory that the other encoders are told to expect.
    if (encoder.size() > 6 && encoder.compare(encoder.size() - 6, 6, "_vaapi") == 0) {
      args.insert(args.begin() + 1, {"-vaapi_device", kVaapiDevice});
      args.resize(args.size() - 2);
      args.insert(args.end(), {"-vf", "format=nv12,hwupload"});
    }
    args.insert(args.end(), {"-c:v", encoder, "-b:v", std::to_string(bitRate)});
  }
  // The AAC encoder's fast coder takes a third of the time of its default one (the sound had
  // been a sixth of ffmpeg's time).
  if (format == "webm") {
    args.insert(args.end(), {"-c:a", "libopus", "-b:a", "160k"});
  } else {
    args.insert(args.end(), {"-c:a", "aac", "-aac_coder", "fast", "-b:a", "192k"});
  }
  if (settings.threads > 0) {
    args.insert(args.end(), {"-threads", std::to_string(settings.threads)});
  }
  args.insert(args.end(), {"-f", format, "file:" + outputName});

  int video[2];
  int sound[2];
  if (::pipe2(video, O_CLOEXEC) != 0) {
    const std::string reason = std::strerror(errno);
    ::close(logFd);
    (void)Cancel(false);
    return Fail(why, "cannot create a pipe: " + reason);
  }
  if (::pipe2(sound, O_CLOEXEC) != 0) {
    const std::string reason = std::strerror(errno);
    ::close(video[0]);
    ::close(video[1]);
    ::close(logFd);
    (void)Cancel(false);
    return Fail(why, "cannot create a pipe: " + reason);
  }
  std::vector<char*> argv;
  for (std::string& arg : args) {
    argv.push_back(arg.data());
  }
  argv.push_back(nullptr);
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid == 0) {
    // The child. A process group of its own: a terminal's Ctrl-C reaches only the renderer, which
    // stops ffmpeg itself. It dies with the renderer, should that be killed outright.
    ::setpgid(0, 0);
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) {
      ::_exit(127);
    }
    // Frames on 0, sound on 3, the video on 4, messages into the log: every source is moved
    // above the targets first, so that no placement overwrites another source.
    const int from[4] = {
        ::fcntl(video[0], F_DUPFD_CLOEXEC, 10), ::fcntl(sound[0], F_DUPFD_CLOEXEC, 10),
        ::fcntl(temporaryFd, F_DUPFD_CLOEXEC, 10), ::fcntl(logFd, F_DUPFD_CLOEXEC, 10)};
    const int to[4] = {0, kSoundFd, kOutputFd, 2};
    for (int i = 0; i < 4; ++i) {
      if (from[i] < 0 || ::dup2(from[i], to[i]) < 0) {
        ::_exit(127);
      }
    }
    const int null = ::open("/dev/null", O_WRONLY);
    if (null >= 0) {
      ::dup2(null, 1);
    }
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(video[0]);
  ::close(sound[0]);
  ::close(logFd);
  if (pid < 0) {
    const std::string reason = std::strerror(errno);
    ::close(video[1]);
    ::close(sound[1]);
    (void)Cancel(false);
    return Fail(why, "cannot start ffmpeg: " + reason);
  }
  child = pid;
  videoFd = video[1];
  soundFd = sound[1];
  // Room for several seconds of sound, so that sound written ahead never waits for a frame; and
  // for most of a frame, so that a frame crosses in a few writes rather than in many small ones.
  ::fcntl(soundFd, F_SETPIPE_SZ, 1 << 20);
  ::fcntl(videoFd, F_SETPIPE_SZ, 1 << 20);
  // Writes never block: WriteAll waits with poll and watches ffmpeg meanwhile.
  for (const int fd : {soundFd, videoFd}) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  }
  ::signal(SIGPIPE, SIG_IGN);
  return true;
}

bool Encoder::WriteAll(int fd, const void* data, size_t size, const char* what, std::string* why) {
  const char* bytes = static_cast<const char*>(data);
  const char* const first = bytes;
  auto progress = std::chrono::steady_clock::now();
  // A signal before the first byte ends the write at once; one in the middle of a frame lets the
  // frame finish (ffmpeg is still reading), so that a kept partial video holds whole frames and
  // ffmpeg has no cut frame to complain of.
  bool interrupted = false;
  const auto stopHere = [&] {
    interrupted = interrupted || Interrupted();
    return interrupted && bytes == first;
  };
  const auto stopped = [&](const std::string& reason) {
    const std::string line = FirstLogLine();
    const std::string told = !line.empty() ? line + " (see " + target + ".ffmpeg.log)" : reason;
    return Fail(why, std::string("ffmpeg stopped taking ") + what +
                         (told.empty() ? "" : ": " + told) + DiskNote(target));
  };
  while (size > 0) {
    const ssize_t n = ::write(fd, bytes, size);
    if (n > 0) {
      bytes += n;
      size -= static_cast<size_t>(n);
      progress = std::chrono::steady_clock::now();
      continue;
    }
    if (n < 0 && errno == EINTR) {
      if (stopHere()) {
        return Fail(why, "interrupted");
      }
      continue;
    }
    if (n < 0 && errno == EAGAIN) {
      // ffmpeg can stop reading without exiting: after a write error it waits for the reader of
      // its other input, which waits for this write. An error in its log and no progress, or a
      // long stall, ends the wait.
      pollfd ready{fd, POLLOUT, 0};
      if (::poll(&ready, 1, static_cast<int>(kPollWrite.count())) < 0 && errno == EINTR &&
          stopHere()) {
        return Fail(why, "interrupted");
      }
      const auto stalled = std::chrono::steady_clock::now() - progress;
      if (stalled >= kStall) {
        return stopped("it took nothing for " + std::to_string(kStall.count()) + " s");
      }
      if (stalled >= kStallAfterError && !FirstLogLine().empty()) {
        return stopped("");
      }
      continue;
    }
    return stopped("");
  }
  return !interrupted || Fail(why, "interrupted");
}

bool Encoder::WriteFrame(const uint32_t* pixels, std::string* why) {
  ToYuv420(pixels, settings.width, settings.height, settings.width + settings.width % 2,
           settings.height + settings.height % 2, frame.data());
  if (!WriteAll(videoFd, frame.data(), frame.size(), "frames", why)) {
    return false;
  }
  ++framesWritten;
  return true;
}

bool Encoder::WriteSound(const int16_t* samples, int frames, std::string* why) {
  return frames <= 0 || WriteAll(soundFd, samples,
                                 static_cast<size_t>(frames) * 2 * sizeof(int16_t), "sound", why);
}

std::string Encoder::Describe() const {
  const std::string encoder = VideoEncoder();
  const std::string audio = FormatOf(settings.output) == "webm" ? "Opus" : "AAC";
  const std::string size = std::to_string(settings.width + settings.width % 2) + "x" +
                           std::to_string(settings.height + settings.height % 2) + " at " +
                           std::to_string(settings.frameRate) + " fps, ";
  if (encoder == "libx264") {
    return size + "H.264 preset " + settings.preset + ", " + audio;
  }
  if (encoder == "libvpx-vp9") {
    return size + "VP9 realtime, " + audio;
  }
  return size + encoder + ", " + audio;
}

void Encoder::ClosePipes() {
  if (videoFd >= 0) {
    ::close(videoFd);
  }
  if (soundFd >= 0) {
    ::close(soundFd);
  }
  videoFd = soundFd = -1;
}

bool Encoder::Wait(std::chrono::milliseconds limit, bool interruptible, int& status) {
  // Polled rather than blocking, so that neither a signal nor a deadline can be missed.
  const auto until = std::chrono::steady_clock::now() + limit;
  for (;;) {
    const pid_t done = ::waitpid(child, &status, WNOHANG);
    if (done == child || (done < 0 && errno != EINTR)) {
      child = -1;
      return true;
    }
    if ((interruptible && Interrupted()) || std::chrono::steady_clock::now() >= until) {
      return false;
    }
    std::this_thread::sleep_for(kPoll);
  }
}

int Encoder::Stop(bool gently) {
  ClosePipes();
  int status = -1;
  if (child <= 0) {
    return status;
  }
  // Gently: the pipes are closed, so ffmpeg writes out what it was given and ends by itself.
  if (gently && Wait(kCloseGrace, false, status)) {
    return status;
  }
  ::kill(child, SIGTERM);
  if (Wait(kStopGrace, false, status)) {
    return status;
  }
  ::kill(child, SIGKILL);
  while (!Wait(std::chrono::hours(1), false, status)) {
  }
  return status;
}

std::string Encoder::FirstLogLine() const {
  std::ifstream log(temporaryLog);
  std::string line;
  std::getline(log, line);
  return line;
}

void Encoder::SettleLog() {
  if (temporaryLog.empty()) {
    return;
  }
  struct stat status {};
  // rename replaces whatever has the log's name (a link too) and never writes through it.
  if (::stat(temporaryLog.c_str(), &status) != 0 || status.st_size == 0 ||
      ::rename(temporaryLog.c_str(), (target + ".ffmpeg.log").c_str()) != 0) {
    ::unlink(temporaryLog.c_str());
  }
  temporaryLog.clear();
}

bool Encoder::ProbeDuration(double& seconds, std::string* why) const {
  const std::string ffprobe = FindProgram("ffprobe");
  if (ffprobe.empty()) {
    return Fail(why, "ffprobe was not found on PATH (install the ffmpeg package)");
  }
  std::string output;
  const int status = Capture({ffprobe, "-v", "error", "-show_entries", "format=duration", "-of",
                              "default=noprint_wrappers=1:nokey=1", "file:" + temporary},
                             output);
  char* end = nullptr;
  seconds = std::strtod(output.c_str(), &end);
  if (status != 0 || end == output.c_str() || !std::isfinite(seconds)) {
    const std::string line = WithoutPrefix(output.substr(0, output.find('\n')));
    return Fail(why, line.empty() ? "ffprobe cannot read it" : line);
  }
  return true;
}

bool Encoder::Finish(std::string* why) {
  if (child < 0) {
    return Fail(why, "the encoder was not started");
  }
  ClosePipes();
  int status = 0;
  if (!Wait(std::chrono::hours(24), true, status)) {
    return Fail(why, "interrupted");
  }
  const auto failed = [&](const std::string& reason) {
    const std::string line = FirstLogLine();
    (void)Cancel(false);  // removes the video, keeps ffmpeg's messages
    return Fail(why, "cannot write " + settings.output + ": " + reason +
                         (line.empty() ? "" : " (" + line + "; see " + target + ".ffmpeg.log)") +
                         DiskNote(target));
  };
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    return failed(WIFSIGNALED(status)
                      ? "ffmpeg was killed by signal " + std::to_string(WTERMSIG(status))
                      : "ffmpeg failed with status " + std::to_string(WEXITSTATUS(status)));
  }
  // ffmpeg may end well although its writes failed (a full disk): the file must reach the disk
  // and last as long as the frames given.
  if (::fsync(temporaryFd) != 0) {
    return failed(std::strerror(errno));
  }
  double seconds = 0;
  std::string reason;
  if (!ProbeDuration(seconds, &reason)) {
    return failed("the video is unreadable: " + reason);
  }
  const double expected = static_cast<double>(framesWritten) / settings.frameRate;
  // The sound may run a little past the last frame, never the other way round; a frame's
  // rounding is allowed.
  if (seconds + 1.0 / settings.frameRate < expected) {
    char text[96];
    std::snprintf(text, sizeof text, "the video is incomplete (%.2f s of %.2f s)", seconds,
                  expected);
    return failed(text);
  }
  if (::rename(temporary.c_str(), target.c_str()) != 0) {
    return failed(std::strerror(errno));
  }
  temporary.clear();
  ::close(temporaryFd);
  temporaryFd = -1;
  ::unlink(temporaryLog.c_str());  // the video is good: ffmpeg's messages do not matter
  temporaryLog.clear();
  return true;
}

std::string Encoder::Cancel(bool keep) {
  if (child > 0) {
    (void)Stop(keep);
  }
  ClosePipes();
  if (temporaryFd >= 0) {
    ::close(temporaryFd);
    temporaryFd = -1;
  }
  std::string kept;
  if (!temporary.empty()) {
    if (keep) {
      // The conventional name when it is free; never over an existing file.
      const std::string part = target + ".part";
      kept = ::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, part.c_str(), RENAME_NOREPLACE) == 0
                 ? part
                 : temporary;
    } else {
      ::unlink(temporary.c_str());
    }
    temporary.clear();
  }
  SettleLog();
  return kept;
}

}  // namespace Kesh::Render
