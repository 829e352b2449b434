// The game's display and automation switches, and their nine-byte form inside project files.
// Written by the user-interface thread and read by the frame thread at its next turn; each switch
// is a single atomic byte, so no further ordering is needed.
#pragma once

#include <atomic>

#include "framework/file.h"
#include "framework/interfaces.h"

namespace Kesh::Game {

class State : public Vell::ISerializable {
 public:
  std::atomic<bool> counterReadout{false};
  std::atomic<bool> timeReadout{true};
  std::atomic<bool> recording{false};
  std::atomic<bool> karaoke{false};
  std::atomic<bool> loop{false};
  std::atomic<bool> paused{false};
  std::atomic<bool> running{false};
  std::atomic<bool> autoLights{true};
  std::atomic<bool> autoCrowd{true};
  std::atomic<bool> autoFades{true};
  std::atomic<bool> noClear{true};

  void ResetDisplaySwitches() {
    counterReadout = false;
    timeReadout = true;
    autoLights = true;
    autoCrowd = true;
    autoFades = true;
    noClear = true;
  }

  // timeReadout, counterReadout, noClear, autoFades, autoLights, autoCrowd, recording, loop,
  // karaoke: one byte each, 1 for true.
  bool Save(Vell::Data::File& stream) override {
    const unsigned char bytes[9] = {timeReadout, counterReadout, noClear, autoFades, autoLights,
                                    autoCrowd,   recording,      loop,    karaoke};
    return stream.Write(bytes, 9) == 9;
  }
  // The same order; a switch is true exactly when its byte is 1. Stops at the first missing byte.
  bool Load(Vell::Data::File& stream) override {
    std::atomic<bool>* switches[9] = {&timeReadout, &counterReadout, &noClear,
                                      &autoFades,   &autoLights,     &autoCrowd,
                                      &recording,   &loop,           &karaoke};
    for (std::atomic<bool>* value : switches) {
      unsigned char byte = 0;
      if (stream.Read(&byte, 1) != 1) {
        return false;
      }
      *value = byte == 1;
    }
    return true;
  }
};

}  // namespace Kesh::Game
