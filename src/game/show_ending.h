// When the show of a song is over and the window asks for the next item (or starts the song
// again). Pure arithmetic, any thread.
//
// Every show runs on Player::kEndPauseMs after the song's last note for the band's bows. A
// rendered video then runs on while the crowd is still heard (it listens to its own sound). The
// window cannot hear the crowd, which plays through its own output, so its show runs on for the
// closing applause as well: kApplauseMs, as long as the shipped styles' closing applause lasts,
// so that the next song does not cut it off.
#pragma once

#include <cstdint>

namespace Kesh::Game {

struct ShowEnding {
  // The closing applause after the bows: it starts within a second of the song's end; a start
  // plays the style's applause (5.5-7 s) up to four times over, so it may be heard for up to
  // about 17 s, well past the bows.
  static constexpr int64_t kApplauseMs = 10000;

  // The song time (ms) at which the show of a song songLengthMs long is over: in a caller-driven
  // (offline) run at the end of the bows, in the window after the applause too.
  static int64_t EndMs(int64_t songLengthMs, int64_t endPauseMs, bool offline) {
    return songLengthMs + endPauseMs + (offline ? 0 : kApplauseMs);
  }
};

}  // namespace Kesh::Game
