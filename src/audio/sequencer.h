// The song as one time-ordered stream of MIDI messages, played against a clock in microseconds,
// with the mixer (transposition, volume, pan, mute) applied on the way to the output. Not thread
// safe: the player serialises every call.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "audio/drum_parts.h"
#include "audio/midi/midi_file.h"
#include "audio/midi/tempo_map.h"

namespace Kesh::Audio {

// Where the sequencer sends its messages: complete channel messages (two or three bytes) and
// system-exclusive messages (F0 ... F7).
class MidiSink {
 public:
  virtual ~MidiSink() = default;
  virtual void Send(const uint8_t* bytes, size_t length) = 0;
};

class Sequencer {
 public:
  static constexpr int64_t kNever = std::numeric_limits<int64_t>::max();

  Sequencer();

  // Takes the song's messages; the position goes back to the start and the channel state is
  // forgotten (the mixer settings stay).
  void Load(const Midi::MidiFile& file);
  void Clear();

  // Time of the song's last event of any kind.
  int64_t EndUs() const { return endUs; }
  // Time of the next message still to play, kNever when none is left.
  int64_t NextEventUs() const;
  // Plays every message due at or before us. A null sink only consumes them.
  void PlayUntil(int64_t us, MidiSink* sink);
  // Back to the first message.
  void Rewind();

  // Releases every sounding note and the sustain pedal: note-offs, then All Notes Off.
  void Silence(MidiSink* sink);
  // After Silence: presses the sustain pedals the song holds down again, to resume playing.
  void Resume(MidiSink* sink);
  // Silence, then Reset All Controllers on every channel; the song's channel state is forgotten
  // and the mixer's non-neutral volumes and pans are sent again.
  void Reset(MidiSink* sink);
  // Sends the song's channel state so far (bank, program, controllers, pitch bend) with the mixer
  // applied, for an output that has just been selected.
  void Restore(MidiSink* sink);

  // Mixer. Values are clamped to their ranges; each call sends what changes on the output.
  void SetTranspose(int semitones);
  int GetTranspose() const { return transpose; }
  void SetVolume(int channel, int volume, MidiSink* sink);  // 0...120, 100 leaves the song's own
  int GetVolume(int channel) const;
  void SetPan(int channel, int pan, MidiSink* sink);  // -64...64, 0 leaves the song's own
  int GetPan(int channel) const;
  void SetMute(int channel, bool mute, MidiSink* sink);
  bool GetMute(int channel) const;

  // Volume and pan values the output receives for the song's own values.
  static uint8_t ScaledVolume(uint8_t songVolume, int mixerVolume);
  static uint8_t ShiftedPan(uint8_t songPan, int mixerPan);

 private:
  // Eight bytes a message: a song may hold tens of millions. The time comes from the tempo map
  // when the message is due; a SysEx message (status F0) takes the next one stored in `sysex`.
  struct Event {
    uint32_t tick;
    uint8_t status, data1, data2;
  };
  static_assert(sizeof(Event) == 8);
  static constexpr uint8_t kSilent = 0xFF;

  struct Channel {
    std::array<int16_t, 128> controllers;  // -1: never set by the song
    int16_t program = -1;
    int16_t pitchBend = -1;  // 14-bit value, -1: never set
    uint8_t songVolume = 100;
    uint8_t songPan = 64;
    std::array<uint8_t, 128> sounding;  // per note of the song: the note sent, or kSilent
    int mixVolume = 100;
    int mixPan = 0;
    bool muted = false;
  };

  void Dispatch(const Event& e, MidiSink* sink);
  void SendNoteOff(int channel, uint8_t note, MidiSink* sink);
  static void Send3(MidiSink* sink, uint8_t status, uint8_t d1, uint8_t d2);
  void ForgetSongState();
  // After a GM, GM2 or GS reset in the song: the output is back at its power-on state, so the
  // song's channel state is forgotten and the mixer's settings are sent again.
  void AfterSystemReset(MidiSink* sink);
  void SendMixer(int channel, MidiSink* sink);

  std::vector<Event> events;
  std::vector<uint8_t> sysex;  // the SysEx messages in play order, each after its length (4 bytes,
                               // LSB first)
  Midi::TempoMap tempo;
  size_t next = 0;
  size_t nextSysex = 0;  // where the next SysEx message to play starts in `sysex`
  int64_t endUs = 0;
  int transpose = 0;
  std::array<Channel, 16> channels;
  DrumParts parts;  // which channels play drums now: their notes are never transposed
};

}  // namespace Kesh::Audio
