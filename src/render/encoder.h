// The video encoder: ffmpeg as a child process, fed raw YUV 4:2:0 frames on its standard input and
// 16-bit stereo sound on a second pipe, writing a temporary file that is renamed over the output
// only when the encoding succeeded. Used by the renderer's single thread; owns the child process
// and both pipes.
#pragma once

#include <sys/types.h>

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
    int threads = 0;                  // the encoders' threads; 0 lets ffmpeg choose
  };

  Encoder() = default;
  Encoder(const Encoder&) = delete;
  Encoder& operator=(const Encoder&) = delete;
  // Kills a child that was not finished and removes its temporary file.
  ~Encoder();

  // The path of the ffmpeg program found on PATH, or "".
  static std::string FindFfmpeg();
  // The container of an output path by its extension ("mp4", "matroska", "webm"), or "".
  static std::string FormatOf(const std::string& path);

  [[nodiscard]] bool Start(const Settings& settings, std::string* why = nullptr);
  // One frame of width x height BGRA pixels (rows of exactly width pixels). Write each frame's
  // sound before the frame.
  [[nodiscard]] bool WriteFrame(const uint32_t* pixels, std::string* why = nullptr);
  // Interleaved stereo samples.
  [[nodiscard]] bool WriteSound(const int16_t* samples, int frames, std::string* why = nullptr);
  // The codecs and speed setting used, for the log: "H.264 preset veryfast, AAC".
  std::string Describe() const;
  // Closes the pipes, waits for ffmpeg and renames the file into place.
  [[nodiscard]] bool Finish(std::string* why = nullptr);

 private:
  bool WriteAll(int fd, const void* data, size_t size, const char* what, std::string* why);
  void Abort();

  Settings settings;
  pid_t child = -1;
  int videoFd = -1;
  int soundFd = -1;
  std::string temporary;
  std::string errorLog;
  std::vector<uint8_t> frame;  // the frame being written, in 4:2:0
};

}  // namespace Kesh::Render
