#include "audio/drum_parts.h"

#include "tavro/midi.h"

namespace Kesh::Audio {
namespace {

// GS parts 1-9 are channels 1-9, part 10 is channel 10 and parts 11-16 channels 11-16, but the
// part number in the address counts 1-9 as 1-9, 10 as 0 and 11-16 as 10-15 (the "block" number).
int ChannelOfBlock(int block) { return block == 0 ? 9 : block <= 9 ? block - 1 : block; }
int BlockOfChannel(int channel) { return channel == 9 ? 0 : channel < 9 ? channel + 1 : channel; }

bool IsGsDataSet(const uint8_t* b, size_t n) {
  return n == 11 && b[0] == Midi::kSysEx && b[1] == Midi::kRolandId && b[3] == Midi::kGsModelId &&
         b[4] == Midi::kRolandDataSet;
}

}  // namespace

void DrumParts::Reset() {
  drum.fill(false);
  drum[Midi::kDrumChannel] = true;
  pendingBank.fill(-1);
}

bool DrumParts::IsSystemReset(const uint8_t* b, size_t n) {
  const bool gm = n == 6 && b[0] == Midi::kSysEx && b[1] == Midi::kUniversalNonRealTime &&
                  b[3] == Midi::kGeneralMidiSubId &&
                  (b[4] == Midi::kGmSystemOn || b[4] == Midi::kGm2SystemOn);
  // GS reset: address 40 00 7F, value 00.
  const bool gs = IsGsDataSet(b, n) && b[5] == 0x40 && b[6] == 0x00 && b[7] == 0x7F;
  return gm || gs;
}

std::array<uint8_t, 11> DrumParts::RhythmPartMessage(int channel, bool drums) {
  const auto block = static_cast<uint8_t>(0x10 | BlockOfChannel(channel));
  const uint8_t value = drums ? 1 : 0;
  // Roland checksum: the address and data bytes plus the checksum add up to a multiple of 128.
  const auto checksum = static_cast<uint8_t>((128 - (0x40 + block + 0x15 + value) % 128) % 128);
  return {
      Midi::kSysEx, Midi::kRolandId, 0x10,     Midi::kGsModelId, Midi::kRolandDataSet, 0x40, block,
      0x15,         value,           checksum, Midi::kSysExEnd};
}

bool DrumParts::Follow(const uint8_t* b, size_t n) {
  if (n == 0) {
    return false;
  }
  if (b[0] == Midi::kSysEx) {
    if (IsSystemReset(b, n)) {
      Reset();
      return true;
    }
    // GS "use for rhythm part": address 40 1x 15, value 0 (off) or 1-2 (drum map 1 or 2).
    if (IsGsDataSet(b, n) && b[5] == 0x40 && (b[6] & 0xF0) == 0x10 && b[7] == 0x15) {
      const int channel = ChannelOfBlock(b[6] & 0x0F);
      const bool drums = b[8] != 0;
      const bool changed = drum[channel] != drums;
      drum[channel] = drums;
      return changed;
    }
    return false;
  }
  const int channel = b[0] & Midi::kChannelMask;
  const uint8_t kind = b[0] & Midi::kKindMask;
  if (kind == Midi::kControlChange && n >= 3 && b[1] == Midi::kBankSelect) {
    pendingBank[channel] = (b[2] == Midi::kGm2RhythmBank || b[2] == Midi::kGm2MelodyBank)
                               ? static_cast<int8_t>(b[2])
                               : int8_t{-1};
    return false;
  }
  if (kind == Midi::kProgramChange && pendingBank[channel] >= 0) {
    const bool drums = pendingBank[channel] == Midi::kGm2RhythmBank;
    pendingBank[channel] = -1;
    const bool changed = drum[channel] != drums;
    drum[channel] = drums;
    return changed;
  }
  return false;
}

}  // namespace Kesh::Audio
