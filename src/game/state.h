// The game's display and automation switches and their nine-byte serialised form (inside project
// files). Written by the user-interface thread and read by the frame thread once per frame: each
// switch is a single atomic byte and every decision re-reads it, so no stronger ordering is
// needed. Owns nothing.
#pragma once

#include <atomic>

#include "framework/interfaces.h"

namespace Kesh::Game {

class State : public Vell::ISerializable {
 public:
  // The number of bytes Save writes and Load reads.
  static constexpr int kSerialisedSize = 9;

  State() = default;
  // A snapshot of other's switches (each read once).
  State(const State& other);
  State& operator=(const State&) = delete;

  // Sets the display and automation switches to their reset values; recording, karaoke, loop,
  // paused and running keep theirs.
  void ResetDisplaySwitches();

  // Writes timeReadout, counterReadout, noClear, autoFades, autoLights, autoCrowd, recording,
  // loop, karaoke, one byte each (1 true, 0 false). false when a byte cannot be written.
  bool Save(Vell::Data::File& stream) override;
  // Reads the nine bytes in the same order; a switch becomes true exactly when its byte is 1.
  // false as soon as a byte cannot be read (the switches read before it keep their new values).
  bool Load(Vell::Data::File& stream) override;

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
};

}  // namespace Kesh::Game
