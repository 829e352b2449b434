// The video encoder: ffmpeg as a child process, fed raw YUV 4:2:0 frames on its standard input and
// 16-bit stereo sound on a second pipe, writing a temporary file that is renamed over the output
// only when the encoding succeeded and the video holds every frame. Used by the renderer's single
// thread; owns the child process, both pipes and the temporary files beside the output.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <string>
#include <vector>

namespace Kesh::Render {

class Encoder {
 public:
  struct Settings {
    std::string output;  // .mp4, .mkv or .webm
    int width = 815;
    int height = 400;
    int frameRate = 25;
    int sampleRate = 44100;
    std::string preset = "veryfast";  // the H.264 speed preset
    // ffmpeg's video encoder ("libx264", "h264_vaapi", …); "" takes the container's own
    // (libx264, or VP9 in webm).
    std::string videoEncoder;
    int threads = 0;  // the encoders' threads; 0 lets ffmpeg choose
    // Set by a signal handler: a write or wait that the signal interrupts gives up at once.
    const volatile std::sig_atomic_t* interrupted = nullptr;
  };

  Encoder() = default;
  Encoder(const Encoder&) = delete;
  Encoder& operator=(const Encoder&) = delete;
  // Stops a child that was not finished and removes its temporary files.
  ~Encoder();

  // The path of the program found on PATH ("ffmpeg", "ffprobe"), or "".
  static std::string FindProgram(const std::string& name);
  static std::string FindFfmpeg() { return FindProgram("ffmpeg"); }
  // Whether this ffmpeg has a video encoder of that name (`ffmpeg -encoders`); false with the
  // reason otherwise.
  [[nodiscard]] static bool HasVideoEncoder(const std::string& name, std::string* why = nullptr);
  // The container of an output path by its extension ("mp4", "matroska", "webm"), or "".
  static std::string FormatOf(const std::string& path);

  // Creates the temporary video and log beside the output (fresh names, never an existing file
  // or a link) and starts ffmpeg. An output that is a symbolic link is written to its target.
  [[nodiscard]] bool Start(const Settings& settings, std::string* why = nullptr);
  // One frame of width x height BGRA pixels (rows of exactly width pixels). Write each frame's
  // sound before the frame.
  [[nodiscard]] bool WriteFrame(const uint32_t* pixels, std::string* why = nullptr);
  // Interleaved stereo samples.
  [[nodiscard]] bool WriteSound(const int16_t* samples, int frames, std::string* why = nullptr);
  // The codecs and speed setting used, for the log: "H.264 preset veryfast, AAC".
  // The video encoder used: the one asked for, or the container's own.
  std::string VideoEncoder() const;
  std::string Describe() const;
  // Closes the pipes, waits for ffmpeg, checks its status and that the video lasts as long as the
  // frames written (a full disk truncates it while ffmpeg may still end well), and renames the
  // file into place. On failure ffmpeg's messages are left in OUTPUT.ffmpeg.log.
  [[nodiscard]] bool Finish(std::string* why = nullptr);
  // Stops an encoding that will not be finished. keep false: ffmpeg is stopped at once and the
  // partial video removed; returns "". keep true: ffmpeg closes the video after the frames it was
  // given and the partial file stays (as OUTPUT.part when that name is free); returns its path.
  std::string Cancel(bool keep);
  // The process id of ffmpeg while it runs, else -1.
  pid_t Child() const { return child; }

 private:
  bool WriteAll(int fd, const void* data, size_t size, const char* what, std::string* why);
  bool Interrupted() const { return settings.interrupted != nullptr && *settings.interrupted != 0; }
  // Waits up to limit for ffmpeg to end (status: its wait status); false while it still runs,
  // or at once when interruptible and a signal came.
  bool Wait(std::chrono::milliseconds limit, bool interruptible, int& status);
  // Ends ffmpeg: gently (closing its input, so that it closes the video) or at once (SIGTERM,
  // then SIGKILL), and waits for it. Its wait status.
  int Stop(bool gently);
  void ClosePipes();
  // Keeps ffmpeg's messages as OUTPUT.ffmpeg.log when there are any; removes the empty log.
  void SettleLog();
  // The first line ffmpeg wrote, or "".
  std::string FirstLogLine() const;
  // The duration ffprobe reads from the temporary video, in seconds; false with the reason.
  bool ProbeDuration(double& seconds, std::string* why) const;

  Settings settings;
  std::string target;  // where the video goes: the output, or the target of its link
  pid_t child = -1;
  int videoFd = -1;
  int soundFd = -1;
  int temporaryFd = -1;  // the temporary video, held open so that ffmpeg writes into this file
  std::string temporary;
  std::string temporaryLog;
  int64_t framesWritten = 0;
  std::vector<uint8_t> frame;  // the frame being written, in 4:2:0
};

}  // namespace Kesh::Render
