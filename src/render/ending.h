// The end of a rendered show: after the song's end the video runs on while the crowd is still
// heard (the applause), until half a second of near silence; if the applause has not faded
// kMaxMs after the end, the last kFadeMs fade out to silence and the video ends there. Called on
// tavro-render's one thread, once per video frame.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Kesh::Render {

class Ending {
 public:
  static constexpr int kMaxMs = 20000;       // the longest the video runs on after the show's end
  static constexpr int kFadeMs = 2000;       // the fade before such a cut
  static constexpr int kQuietMs = 500;       // the silence that ends the video
  static constexpr double kQuietDb = -60.0;  // RMS in dBFS that counts as silence

  // frameMs: a frame's length, which need not be a whole number of milliseconds.
  explicit Ending(double frameMs) : frameMs(frameMs > 0 ? frameMs : 1) {}

  // Takes a frame's sound (interleaved stereo, changed in place during the fade) and whether the
  // show has ended by then.
  void Frame(int16_t* sound, size_t frameCount, bool showEnded);
  // True once the video should stop: this frame was its last.
  bool Done() const { return done; }

 private:
  double frameMs;
  double afterEndMs = -1;  // time since the show's end; -1 before it
  double quietMs = 0;
  bool done = false;
};

}  // namespace Kesh::Render
