#include "game/state.h"

#include <array>

#include "tavro/stream.h"

namespace Kesh::Game {

namespace {

// The stored switches in their serialised order; paused and running are never stored.
std::array<std::atomic<bool>*, State::kSerialisedSize> Stored(State& s) {
  return {&s.timeReadout, &s.counterReadout, &s.noClear, &s.autoFades, &s.autoLights,
          &s.autoCrowd,   &s.recording,      &s.loop,    &s.karaoke};
}

}  // namespace

State::State(const State& other) : ISerializable(other) {
  counterReadout = other.counterReadout.load();
  timeReadout = other.timeReadout.load();
  recording = other.recording.load();
  karaoke = other.karaoke.load();
  loop = other.loop.load();
  paused = other.paused.load();
  running = other.running.load();
  autoLights = other.autoLights.load();
  autoCrowd = other.autoCrowd.load();
  autoFades = other.autoFades.load();
  noClear = other.noClear.load();
}

void State::ResetDisplaySwitches() {
  counterReadout = false;
  timeReadout = true;
  autoLights = true;
  autoCrowd = true;
  autoFades = true;
  noClear = true;
}

bool State::Save(Vell::Data::File& stream) {
  for (std::atomic<bool>* value : Stored(*this)) {
    const unsigned char byte = *value ? 1 : 0;
    if (stream.Write(&byte, 1) != 1) {
      return false;
    }
  }
  return true;
}

bool State::Load(Vell::Data::File& stream) {
  for (std::atomic<bool>* value : Stored(*this)) {
    unsigned char byte = 0;
    if (stream.Read(&byte, 1) != 1) {
      return false;
    }
    *value = byte == 1;
  }
  return true;
}

}  // namespace Kesh::Game
