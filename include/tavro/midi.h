// Named numbers of the MIDI protocol and of Standard MIDI Files: status bytes, controllers, meta
// event types and the reset messages. Constants only; any thread may use them.
#pragma once

#include <cstdint>

namespace Kesh::Audio::Midi {

// Channel message kinds (the high nibble of a status byte) and the parts of a status byte.
constexpr uint8_t kNoteOff = 0x80;
constexpr uint8_t kNoteOn = 0x90;
constexpr uint8_t kKeyPressure = 0xA0;
constexpr uint8_t kControlChange = 0xB0;
constexpr uint8_t kProgramChange = 0xC0;
constexpr uint8_t kChannelPressure = 0xD0;
constexpr uint8_t kPitchBend = 0xE0;
constexpr uint8_t kKindMask = 0xF0;
constexpr uint8_t kChannelMask = 0x0F;
constexpr uint8_t kStatusBit = 0x80;
constexpr uint8_t kDataMask = 0x7F;

// System messages.
constexpr uint8_t kSystem = 0xF0;  // the first system status; also SysEx start
constexpr uint8_t kSysEx = 0xF0;
constexpr uint8_t kTimeCodeQuarterFrame = 0xF1;
constexpr uint8_t kSongPosition = 0xF2;
constexpr uint8_t kSongSelect = 0xF3;
constexpr uint8_t kSysExEnd = 0xF7;  // in a file: an escape packet
constexpr uint8_t kMeta = 0xFF;      // in a file: a meta event (on the wire: reset)

// Controllers.
constexpr uint8_t kBankSelect = 0;
constexpr uint8_t kModulation = 1;
constexpr uint8_t kDataEntry = 6;
constexpr uint8_t kVolume = 7;
constexpr uint8_t kPan = 10;
constexpr uint8_t kExpression = 11;
constexpr uint8_t kBankSelectLsb = 32;
constexpr uint8_t kDataEntryLsb = 38;
constexpr uint8_t kSustain = 64;
constexpr uint8_t kNrpnLsb = 98;  // 96...101: data increment/decrement and parameter numbers
constexpr uint8_t kDataIncrement = 96;
constexpr uint8_t kRpnMsb = 101;
constexpr uint8_t kAllSoundOff = 120;
constexpr uint8_t kResetAllControllers = 121;
constexpr uint8_t kAllNotesOff = 123;

// GM2 bank numbers (bank select MSB) of the rhythm and melody sets.
constexpr uint8_t kGm2RhythmBank = 120;
constexpr uint8_t kGm2MelodyBank = 121;

// The General MIDI drum channel (channel 10, counted from 0).
constexpr int kDrumChannel = 9;
constexpr int kChannels = 16;

// Meta event types.
constexpr uint8_t kMetaText = 0x01;
constexpr uint8_t kMetaTrackName = 0x03;
constexpr uint8_t kMetaLyric = 0x05;
constexpr uint8_t kMetaEndOfTrack = 0x2F;
constexpr uint8_t kMetaTempo = 0x51;
constexpr uint8_t kMetaTimeSignature = 0x58;

// System-exclusive identifiers.
constexpr uint8_t kUniversalNonRealTime = 0x7E;
constexpr uint8_t kGeneralMidiSubId = 0x09;  // sub-ID 1 of universal non-real-time messages
constexpr uint8_t kGmSystemOn = 0x01;        // sub-ID 2 values under kGeneralMidiSubId
constexpr uint8_t kGmSystemOff = 0x02;
constexpr uint8_t kGm2SystemOn = 0x03;
constexpr uint8_t kRolandId = 0x41;
constexpr uint8_t kGsModelId = 0x42;
constexpr uint8_t kRolandDataSet = 0x12;

// Status byte of a channel message of a kind on a channel (0...15).
constexpr uint8_t Status(uint8_t kind, int channel) {
  return static_cast<uint8_t>(kind | (channel & kChannelMask));
}

}  // namespace Kesh::Audio::Midi
