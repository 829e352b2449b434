#include "audio/sequencer.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <queue>
#include <tuple>

#include "audio/midi/tempo_map.h"
#include "tavro/midi.h"

namespace Kesh::Audio {

Sequencer::Sequencer() { ForgetSongState(); }

void Sequencer::ForgetSongState() {
  for (Channel& ch : channels) {
    ch.controllers.fill(-1);
    ch.program = -1;
    ch.pitchBend = -1;
    ch.songVolume = 100;
    ch.songPan = 64;
    ch.sounding.fill(kSilent);
  }
  parts.Reset();
}

void Sequencer::Load(const Midi::MidiFile& file) {
  Clear();
  tempo = Midi::TempoMap(file.song);
  const size_t trackCount = file.song.tracks.size();
  // Escape packets carry no complete message for an output; F0 alone says nothing.
  auto playable = [&](const Midi::SysexEvent& x) {
    return !x.escape && x.length >= 2 && x.track < trackCount;
  };
  size_t total = 0;
  size_t sysexBytes = 0;
  for (const Midi::SysexEvent& x : file.sysex) {
    if (playable(x)) {
      ++total;
      sysexBytes += 4 + x.length + 1;
    }
  }
  for (const SongTrack& track : file.song.tracks) {
    total += track.events.size();
  }
  events.reserve(total);
  sysex.reserve(sysexBytes);  // grown by copying, millions of messages would need twice the room

  // One order: tick, then track, then position in the track (a SysEx message goes before the
  // channel message that followed it in the file). The file's SysEx list is already in that order;
  // the tracks' channel messages are merged into it without sorting a copy.
  auto addSysex = [&](const Midi::SysexEvent& x) {
    const bool closed = file.sysexData[x.offset + x.length - 1] == Midi::kSysExEnd;
    const uint32_t length = x.length + (closed ? 0 : 1);
    for (int shift = 0; shift < 32; shift += 8) {
      sysex.push_back(static_cast<uint8_t>(length >> shift));
    }
    sysex.insert(sysex.end(), file.sysexData.begin() + x.offset,
                 file.sysexData.begin() + x.offset + x.length);
    if (!closed) {
      sysex.push_back(Midi::kSysExEnd);
    }
    events.push_back({x.tick, Midi::kSysEx, 0, 0});
  };
  std::vector<size_t> cursors(trackCount, 0);
  using Head = std::pair<uint32_t, uint32_t>;  // tick, track
  std::priority_queue<Head, std::vector<Head>, std::greater<>> heads;
  for (size_t t = 0; t < trackCount; ++t) {
    if (!file.song.tracks[t].events.empty()) {
      heads.emplace(file.song.tracks[t].events.front().tick, static_cast<uint32_t>(t));
    }
  }
  size_t nextSysexEvent = 0;
  for (;;) {
    while (nextSysexEvent < file.sysex.size() && !playable(file.sysex[nextSysexEvent])) {
      ++nextSysexEvent;
    }
    const bool haveSysex = nextSysexEvent < file.sysex.size();
    if (heads.empty()) {
      if (!haveSysex) {
        break;
      }
      addSysex(file.sysex[nextSysexEvent++]);
      continue;
    }
    const auto [tick, t] = heads.top();
    if (haveSysex) {
      const Midi::SysexEvent& x = file.sysex[nextSysexEvent];
      if (std::tie(x.tick, x.track) < std::tie(tick, t) ||
          (x.tick == tick && x.track == t && x.eventIndex <= cursors[t])) {
        addSysex(x);
        ++nextSysexEvent;
        continue;
      }
    }
    heads.pop();
    const auto& list = file.song.tracks[t].events;
    const MidiEvent& m = list[cursors[t]++];
    events.push_back({m.tick, m.status, m.data1, m.data2});
    if (cursors[t] < list.size()) {
      heads.emplace(list[cursors[t]].tick, t);
    }
  }
  endUs = tempo.TickToUs(file.info.lastTick);
}

void Sequencer::Clear() {
  events.clear();
  sysex.clear();
  next = 0;
  nextSysex = 0;
  endUs = 0;
  tempo = Midi::TempoMap();
  ForgetSongState();
}

int64_t Sequencer::NextEventUs() const {
  return next < events.size() ? tempo.TickToUs(events[next].tick) : kNever;
}

void Sequencer::PlayUntil(int64_t us, MidiSink* sink) {
  // Ticks ascend: one conversion for all the messages of a tick.
  uint32_t tick = 0;
  int64_t due = kNever;
  while (next < events.size()) {
    if (due == kNever || events[next].tick != tick) {
      tick = events[next].tick;
      due = tempo.TickToUs(tick);
    }
    if (due > us) {
      break;
    }
    Dispatch(events[next++], sink);
  }
}

void Sequencer::Rewind() {
  next = 0;
  nextSysex = 0;
}

void Sequencer::Send3(MidiSink* sink, uint8_t status, uint8_t d1, uint8_t d2) {
  if (sink == nullptr) {
    return;
  }
  const uint8_t kind = status & Midi::kKindMask;
  const uint8_t bytes[3] = {status, d1, d2};
  sink->Send(bytes, (kind == Midi::kProgramChange || kind == Midi::kChannelPressure) ? 2 : 3);
}

uint8_t Sequencer::ScaledVolume(uint8_t songVolume, int mixerVolume) {
  if (mixerVolume == 100) {
    return songVolume;
  }
  const int v = (songVolume * mixerVolume + 50) / 100;
  return static_cast<uint8_t>(std::clamp(v, 0, 127));
}

uint8_t Sequencer::ShiftedPan(uint8_t songPan, int mixerPan) {
  return static_cast<uint8_t>(std::clamp(songPan + mixerPan, 0, 127));
}

void Sequencer::SendNoteOff(int channel, uint8_t note, MidiSink* sink) {
  Channel& ch = channels[channel];
  if (ch.sounding[note] != kSilent) {
    Send3(sink, Midi::Status(Midi::kNoteOff, channel), ch.sounding[note], 0);
    ch.sounding[note] = kSilent;
  }
}

void Sequencer::Dispatch(const Event& e, MidiSink* sink) {
  if (e.status == Midi::kSysEx) {
    const uint8_t* stored = sysex.data() + nextSysex;
    const size_t length = size_t{stored[0]} | size_t{stored[1]} << 8 | size_t{stored[2]} << 16 |
                          size_t{stored[3]} << 24;
    const uint8_t* message = stored + 4;
    nextSysex += 4 + length;
    if (sink != nullptr) {
      sink->Send(message, length);
    }
    if (DrumParts::IsSystemReset(message, length)) {
      AfterSystemReset(sink);
    } else {
      parts.Follow(message, length);
    }
    return;
  }
  const int c = e.status & Midi::kChannelMask;
  Channel& ch = channels[c];
  switch (e.status & Midi::kKindMask) {
    case Midi::kNoteOn:
      if (e.data2 > 0) {
        if (ch.muted) {
          return;
        }
        const int note = parts.IsDrum(c) ? e.data1 : e.data1 + transpose;
        if (note < 0 || note > 127) {
          return;  // shifted out of the MIDI range: not played
        }
        if (ch.sounding[e.data1] != kSilent && ch.sounding[e.data1] != note) {
          SendNoteOff(c, e.data1, sink);  // restruck after a key change: release the old key
        }
        ch.sounding[e.data1] = static_cast<uint8_t>(note);
        Send3(sink, e.status, static_cast<uint8_t>(note), e.data2);
        return;
      }
      [[fallthrough]];
    case Midi::kNoteOff:
      if (ch.sounding[e.data1] != kSilent) {
        Send3(sink, e.status, ch.sounding[e.data1], e.data2);
        ch.sounding[e.data1] = kSilent;
      }
      return;
    case Midi::kKeyPressure:
      if (ch.sounding[e.data1] != kSilent) {
        Send3(sink, e.status, ch.sounding[e.data1], e.data2);
      }
      return;
    case Midi::kControlChange:
      ch.controllers[e.data1] = e.data2;
      if (e.data1 == Midi::kBankSelect) {
        const uint8_t bytes[3] = {e.status, e.data1, e.data2};
        parts.Follow(bytes, 3);
      }
      if (e.data1 == Midi::kVolume) {
        ch.songVolume = e.data2;
        Send3(sink, e.status, Midi::kVolume, ScaledVolume(e.data2, ch.mixVolume));
        return;
      }
      if (e.data1 == Midi::kPan) {
        ch.songPan = e.data2;
        Send3(sink, e.status, Midi::kPan, ShiftedPan(e.data2, ch.mixPan));
        return;
      }
      if (e.data1 == Midi::kAllSoundOff || e.data1 == Midi::kAllNotesOff) {
        ch.sounding.fill(kSilent);  // the song releases its own notes
      }
      Send3(sink, e.status, e.data1, e.data2);
      return;
    case Midi::kProgramChange: {
      const uint8_t bytes[2] = {e.status, e.data1};
      parts.Follow(bytes, 2);
      ch.program = e.data1;
      Send3(sink, e.status, e.data1, 0);
      return;
    }
    case Midi::kPitchBend:
      ch.pitchBend = static_cast<int16_t>(e.data1 | (e.data2 << 7));
      Send3(sink, e.status, e.data1, e.data2);
      return;
    default:
      Send3(sink, e.status, e.data1, e.data2);
      return;
  }
}

void Sequencer::Silence(MidiSink* sink) {
  for (int c = 0; c < Midi::kChannels; ++c) {
    for (int n = 0; n < 128; ++n) {
      SendNoteOff(c, static_cast<uint8_t>(n), sink);
    }
    Send3(sink, Midi::Status(Midi::kControlChange, c), Midi::kSustain, 0);
    Send3(sink, Midi::Status(Midi::kControlChange, c), Midi::kAllNotesOff, 0);
  }
}

void Sequencer::Resume(MidiSink* sink) {
  for (int c = 0; c < Midi::kChannels; ++c) {
    if (channels[c].controllers[Midi::kSustain] > 0) {
      Send3(sink, Midi::Status(Midi::kControlChange, c), Midi::kSustain,
            static_cast<uint8_t>(channels[c].controllers[Midi::kSustain]));
    }
  }
}

void Sequencer::Reset(MidiSink* sink) {
  Silence(sink);
  ForgetSongState();
  for (int c = 0; c < Midi::kChannels; ++c) {
    Send3(sink, Midi::Status(Midi::kControlChange, c), Midi::kResetAllControllers, 0);
    SendMixer(c, sink);
  }
}

void Sequencer::SendMixer(int c, MidiSink* sink) {
  const Channel& ch = channels[c];
  if (ch.mixVolume != 100) {
    Send3(sink, Midi::Status(Midi::kControlChange, c), Midi::kVolume,
          ScaledVolume(ch.songVolume, ch.mixVolume));
  }
  if (ch.mixPan != 0) {
    Send3(sink, Midi::Status(Midi::kControlChange, c), Midi::kPan,
          ShiftedPan(ch.songPan, ch.mixPan));
  }
}

void Sequencer::AfterSystemReset(MidiSink* sink) {
  for (int c = 0; c < Midi::kChannels; ++c) {
    Channel& ch = channels[c];
    ch.controllers.fill(-1);
    ch.program = -1;
    ch.pitchBend = -1;
    ch.songVolume = 100;
    ch.songPan = 64;
    SendMixer(c, sink);
  }
  parts.Reset();
}

void Sequencer::Restore(MidiSink* sink) {
  for (int c = 0; c < Midi::kChannels; ++c) {
    if (sink != nullptr && parts.IsDrum(c) != (c == Midi::kDrumChannel)) {
      const auto message = DrumParts::RhythmPartMessage(c, parts.IsDrum(c));
      sink->Send(message.data(), message.size());
    }
  }
  for (int c = 0; c < Midi::kChannels; ++c) {
    const Channel& ch = channels[c];
    const auto status = Midi::Status(Midi::kControlChange, c);
    for (int cc : {Midi::kBankSelect, Midi::kBankSelectLsb}) {
      if (ch.controllers[cc] >= 0) {
        Send3(sink, status, static_cast<uint8_t>(cc), static_cast<uint8_t>(ch.controllers[cc]));
      }
    }
    if (ch.program >= 0) {
      Send3(sink, Midi::Status(Midi::kProgramChange, c), static_cast<uint8_t>(ch.program), 0);
    }
    for (int cc = 1; cc < 120; ++cc) {
      // Bank select went first; data entry and parameter numbers only make sense in order.
      const bool skip = cc == Midi::kBankSelectLsb || cc == Midi::kDataEntry ||
                        cc == Midi::kDataEntryLsb ||
                        (cc >= Midi::kDataIncrement && cc <= Midi::kRpnMsb);
      if (skip || cc == Midi::kVolume || cc == Midi::kPan || ch.controllers[cc] < 0) {
        continue;
      }
      Send3(sink, status, static_cast<uint8_t>(cc), static_cast<uint8_t>(ch.controllers[cc]));
    }
    if (ch.controllers[Midi::kVolume] >= 0 || ch.mixVolume != 100) {
      Send3(sink, status, Midi::kVolume, ScaledVolume(ch.songVolume, ch.mixVolume));
    }
    if (ch.controllers[Midi::kPan] >= 0 || ch.mixPan != 0) {
      Send3(sink, status, Midi::kPan, ShiftedPan(ch.songPan, ch.mixPan));
    }
    if (ch.pitchBend >= 0) {
      Send3(sink, Midi::Status(Midi::kPitchBend, c),
            static_cast<uint8_t>(ch.pitchBend & Midi::kDataMask),
            static_cast<uint8_t>(ch.pitchBend >> 7));
    }
  }
}

void Sequencer::SetTranspose(int semitones) { transpose = std::clamp(semitones, -12, 12); }

void Sequencer::SetVolume(int channel, int volume, MidiSink* sink) {
  if (channel < 0 || channel >= Midi::kChannels) {
    return;
  }
  Channel& ch = channels[channel];
  volume = std::clamp(volume, 0, 120);
  if (volume == ch.mixVolume) {
    return;
  }
  ch.mixVolume = volume;
  Send3(sink, Midi::Status(Midi::kControlChange, channel), Midi::kVolume,
        ScaledVolume(ch.songVolume, volume));
}

int Sequencer::GetVolume(int channel) const {
  return channel >= 0 && channel < Midi::kChannels ? channels[channel].mixVolume : 0;
}

void Sequencer::SetPan(int channel, int pan, MidiSink* sink) {
  if (channel < 0 || channel >= Midi::kChannels) {
    return;
  }
  Channel& ch = channels[channel];
  pan = std::clamp(pan, -64, 64);
  if (pan == ch.mixPan) {
    return;
  }
  ch.mixPan = pan;
  Send3(sink, Midi::Status(Midi::kControlChange, channel), Midi::kPan, ShiftedPan(ch.songPan, pan));
}

int Sequencer::GetPan(int channel) const {
  return channel >= 0 && channel < Midi::kChannels ? channels[channel].mixPan : 0;
}

void Sequencer::SetMute(int channel, bool mute, MidiSink* sink) {
  if (channel < 0 || channel >= Midi::kChannels) {
    return;
  }
  Channel& ch = channels[channel];
  if (mute == ch.muted) {
    return;
  }
  ch.muted = mute;
  if (mute) {
    for (int n = 0; n < 128; ++n) {
      SendNoteOff(channel, static_cast<uint8_t>(n), sink);
    }
    // Cut the release tails too.
    Send3(sink, Midi::Status(Midi::kControlChange, channel), Midi::kAllSoundOff, 0);
  }
}

bool Sequencer::GetMute(int channel) const {
  return channel >= 0 && channel < Midi::kChannels && channels[channel].muted;
}

}  // namespace Kesh::Audio
