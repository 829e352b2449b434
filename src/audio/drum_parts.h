// Which channels play drums, followed from the messages a song sends: channel 10 after power-on
// and after a GM System On, GM2 System On or GS reset; GS "use for rhythm part" messages; GM2
// rhythm (120) and melody (121) banks, which take effect at the channel's next program change.
// Not thread safe: each owner (the sequencer, the built-in synthesizer) keeps its own.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace Kesh::Audio {

class DrumParts {
 public:
  DrumParts() { Reset(); }

  // Channel 10 plays drums, the others melodies; no bank is pending.
  void Reset();
  // Follows one complete message (a channel message or F0 ... F7). Returns true when it changed
  // which channels play drums or reset them all.
  bool Follow(const uint8_t* bytes, size_t length);
  bool IsDrum(int channel) const { return channel >= 0 && channel < 16 && drum[channel]; }

  // GM System On, GM2 System On or GS reset: the receiver returns to its power-on state.
  static bool IsSystemReset(const uint8_t* bytes, size_t length);
  // The GS "use for rhythm part" message that makes a channel play drums (or not).
  static std::array<uint8_t, 11> RhythmPartMessage(int channel, bool drums);

 private:
  std::array<bool, 16> drum{};
  std::array<int8_t, 16> pendingBank{};  // -1, or the GM2 bank that the next program change uses
};

}  // namespace Kesh::Audio
