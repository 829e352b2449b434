// Standard MIDI File reader: formats 0, 1 and 2, running status, SysEx and escapes, meta events,
// RIFF "RMID" wrappers and SMPTE division. The whole file is held in memory and every read is
// bounds-checked; a damaged file yields as much of the song as can be recovered, an unreadable one
// a one-line reason.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tavro/song_data.h"

namespace Kesh::Audio::Midi {

// A system-exclusive message (starting with F0, as sent on the wire) or an escape packet (F7:
// the raw bytes that followed it in the file). Its bytes lie in MidiFile::sysexData, so that a
// file of millions of tiny messages costs a few bytes per message. Messages with no data bytes
// carry nothing and are not kept.
struct SysexEvent {
  uint32_t tick = 0;
  uint32_t track = 0;
  uint32_t eventIndex = 0;  // number of the track's channel events read before this message
  uint32_t offset = 0;      // of the bytes in MidiFile::sysexData
  uint32_t length : 31 = 0;
  uint32_t escape : 1 = 0;
};

// What the reader saw while reading, for tools, tests and diagnostics.
struct FileInfo {
  uint32_t format = 0;
  uint32_t declaredTracks = 0;
  uint32_t tracksRead = 0;
  bool rmid = false;
  int smpteFps = 0;                   // 24, 25, 29 (29.97 drop frame) or 30; 0 for metrical time
  int smpteTicksPerFrame = 0;         // ticks per SMPTE frame when smpteFps is set
  uint32_t tempoEvents = 0;           // every Set Tempo meta event in the file
  uint32_t meterEvents = 0;           // every Time Signature meta event in the file
  uint32_t lyricEvents = 0;           // FF05
  uint32_t textEvents = 0;            // FF01
  uint32_t noteOns = 0;               // note-on messages with velocity above 0
  uint32_t lastTick = 0;              // the last event of any kind (meta events included)
  bool defaultTempo = false;          // 500000 us per quarter was put at tick 0
  bool defaultMeter = false;          // 4/4 was put at tick 0
  std::vector<std::string> warnings;  // damage that was tolerated, one line each
};

struct MidiFile {
  SongData song;
  std::vector<SysexEvent> sysex;  // ascending tick order (then track, then file order)
  std::vector<uint8_t> sysexData;
  FileInfo info;

  // The bytes of one of the messages above.
  std::vector<uint8_t> SysexBytes(const SysexEvent& event) const {
    return {sysexData.begin() + event.offset, sysexData.begin() + event.offset + event.length};
  }
};

// Reads a Standard MIDI File (or an RMID wrapper around one) from memory. On success fills out and
// returns true; otherwise returns false with a one-line reason ("truncated header", ...).
bool ReadMidi(const uint8_t* data, size_t size, MidiFile& out, std::string& reason);

// The number of bytes the MIDI file at the start of data occupies (header, then chunks up to the
// last announced track, or the RIFF body of an RMID file), for a song embedded in a larger stream.
// 0 when data does not start with a MIDI file.
size_t MidiExtent(const uint8_t* data, size_t size);

// Reads the file at path completely and parses it as above. Refuses files above 64 MiB.
bool ReadMidiFile(const std::string& path, MidiFile& out, std::string& reason);

}  // namespace Kesh::Audio::Midi
