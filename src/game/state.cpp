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
