// libFuzzer target over the MIDI reader and the maps built from what it returns.
#include <cstddef>
#include <cstdint>

#include "audio/midi/midi_file.h"
#include "audio/midi/tempo_map.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Kesh::Audio::Midi::MidiFile file;
  std::string reason;
  (void)Kesh::Audio::Midi::MidiExtent(data, size);
  if (!Kesh::Audio::Midi::ReadMidi(data, size, file, reason)) {
    return 0;
  }
  const Kesh::Audio::Midi::TempoMap tempo(file.song);
  const Kesh::Audio::Midi::BarMap bars(file.song);
  const int64_t end = tempo.TickToUs(file.info.lastTick);
  (void)bars.BarAt(tempo.UsToTick(end));
  for (const auto& track : file.song.tracks) {
    for (const auto& event : track.events) {
      (void)bars.BarAt(tempo.UsToTick(tempo.TickToUs(event.tick)));
    }
  }
  return 0;
}
