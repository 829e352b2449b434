#include "render/encoder.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <sstream>

#include "framework/text.h"
#include "render/yuv.h"

namespace Kesh::Render {

namespace {
bool Fail(std::string* why, const std::string& reason) {
  if (why != nullptr) {
    *why = reason;
  }
  return false;
}
}  // namespace

Encoder::~Encoder() { Abort(); }

std::string Encoder::FindFfmpeg() {
  const char* path = std::getenv("PATH");
  std::stringstream folders(path != nullptr ? path : "/usr/bin:/bin");
  std::string folder;
  while (std::getline(folders, folder, ':')) {
    const std::string candidate = (folder.empty() ? "." : folder) + "/ffmpeg";
    if (::access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
  }
  return "";
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
  const std::string ffmpeg = FindFfmpeg();
  if (ffmpeg.empty()) {
    return Fail(why, "ffmpeg was not found on PATH (install the ffmpeg package)");
  }
  const std::string format = FormatOf(settings.output);
  if (format.empty()) {
    return Fail(why, settings.output + ": the output must end in .mp4, .mkv or .webm");
  }
  temporary = settings.output + ".part";
  errorLog = settings.output + ".ffmpeg.log";
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
  if (format == "webm") {
    args.insert(args.end(), {"-c:v", "libvpx-vp9", "-deadline", "realtime", "-cpu-used", "8",
                             "-b:v", "2M", "-c:a", "libopus", "-b:a", "160k"});
  } else {
    // The AAC encoder's fast coder takes a third of the time of its default one (the sound had
    // been a sixth of ffmpeg's time).
    args.insert(args.end(), {"-c:v", "libx264", "-preset", settings.preset, "-crf", "20", "-c:a",
                             "aac", "-aac_coder", "fast", "-b:a", "192k"});
  }
  if (settings.threads > 0) {
    args.insert(args.end(), {"-threads", std::to_string(settings.threads)});
  }
  args.insert(args.end(), {"-f", format, temporary});

  int video[2];
  int sound[2];
  if (::pipe2(video, O_CLOEXEC) != 0) {
    return Fail(why, std::string("cannot create a pipe: ") + std::strerror(errno));
  }
  if (::pipe2(sound, O_CLOEXEC) != 0) {
    ::close(video[0]);
    ::close(video[1]);
    return Fail(why, std::string("cannot create a pipe: ") + std::strerror(errno));
  }
  std::vector<char*> argv;
  for (std::string& arg : args) {
    argv.push_back(arg.data());
  }
  argv.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    // The child: frames on 0, sound on 3, messages into the log file.
    ::dup2(video[0], 0);
    ::dup2(sound[0], 3);
    const int log = ::open(errorLog.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (log >= 0) {
      ::dup2(log, 2);
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
  if (pid < 0) {
    ::close(video[1]);
    ::close(sound[1]);
    return Fail(why, std::string("cannot start ffmpeg: ") + std::strerror(errno));
  }
  child = pid;
  videoFd = video[1];
  soundFd = sound[1];
  // Room for several seconds of sound, so that sound written ahead never waits for a frame; and
  // for most of a frame, so that a frame crosses in a few writes rather than in many small ones.
  ::fcntl(soundFd, F_SETPIPE_SZ, 1 << 20);
  ::fcntl(videoFd, F_SETPIPE_SZ, 1 << 20);
  ::signal(SIGPIPE, SIG_IGN);
  return true;
}

bool Encoder::WriteAll(int fd, const void* data, size_t size, const char* what, std::string* why) {
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd, bytes, size);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      std::ifstream log(errorLog);
      std::string line;
      std::getline(log, line);
      return Fail(why,
                  std::string("ffmpeg stopped taking ") + what + (line.empty() ? "" : ": " + line));
    }
    bytes += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool Encoder::WriteFrame(const uint32_t* pixels, std::string* why) {
  ToYuv420(pixels, settings.width, settings.height, settings.width + settings.width % 2,
           settings.height + settings.height % 2, frame.data());
  return WriteAll(videoFd, frame.data(), frame.size(), "frames", why);
}

bool Encoder::WriteSound(const int16_t* samples, int frames, std::string* why) {
  return frames <= 0 || WriteAll(soundFd, samples,
                                 static_cast<size_t>(frames) * 2 * sizeof(int16_t), "sound", why);
}

std::string Encoder::Describe() const {
  return FormatOf(settings.output) == "webm" ? "VP9 realtime, Opus"
                                             : "H.264 preset " + settings.preset + ", AAC";
}

bool Encoder::Finish(std::string* why) {
  if (child < 0) {
    return Fail(why, "the encoder was not started");
  }
  ::close(videoFd);
  ::close(soundFd);
  videoFd = soundFd = -1;
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  child = -1;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::ifstream log(errorLog);
    std::string line;
    std::getline(log, line);
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    return Fail(why, "ffmpeg failed" + (line.empty() ? std::string() : ": " + line) + " (see " +
                         errorLog + ")");
  }
  std::error_code error;
  std::filesystem::remove(errorLog, error);
  std::filesystem::rename(temporary, settings.output, error);
  if (error) {
    return Fail(why, "cannot write " + settings.output + ": " + error.message());
  }
  temporary.clear();
  return true;
}

void Encoder::Abort() {
  if (videoFd >= 0) {
    ::close(videoFd);
  }
  if (soundFd >= 0) {
    ::close(soundFd);
  }
  videoFd = soundFd = -1;
  if (child > 0) {
    ::kill(child, SIGTERM);
    int status = 0;
    ::waitpid(child, &status, 0);
    child = -1;
  }
  if (!temporary.empty()) {
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
  }
}

}  // namespace Kesh::Render
