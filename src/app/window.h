// The window seam: how the core asks a front-end window to repaint or to act on a message, without
// knowing the toolkit. The Qt views implement it for the program, a recorder for headless runs.
// Post may be called from any thread and never waits; Send is called from the frame thread and
// waits for the window's thread unless the request is abandoned. Implementations own nothing of the
// core.
#pragma once

#include <atomic>
#include <cstdint>

namespace Kesh::App {

// Repaint request; its first parameter is a frame marker.
constexpr unsigned kPaintMessage = 0x000F;
// First parameter of a paint request for a newly drawn frame.
constexpr uintptr_t kNewFrameMarker = 0xCACA;
// First parameter of a paint request that repaints the last frame while paused.
constexpr uintptr_t kPausedFrameMarker = 0xCA00;
// Views paint from the canvas only for markers in this range.
constexpr bool IsFrameMarker(uintptr_t marker) { return marker >= 0xCA00 && marker <= 0xCAFF; }
// Posted to the main window ten seconds after the end of a song: go on to the next item.
constexpr unsigned kSongEndMessage = 1152;

class IWindow {
 public:
  // Queues the message for the window's thread and returns at once.
  virtual void Post(unsigned message, uintptr_t first, intptr_t second) = 0;
  // Delivers the message and waits until the window has handled it. While waiting, the request is
  // abandoned (false) as soon as abandon becomes true, so that a thread that is asked to stop
  // never blocks a window thread that waits for it. true when the window handled the message.
  virtual bool Send(unsigned message, uintptr_t first, intptr_t second,
                    const std::atomic<bool>* abandon) = 0;

 protected:
  ~IWindow() = default;
};

}  // namespace Kesh::App
