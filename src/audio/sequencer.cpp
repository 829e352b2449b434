#include "audio/sequencer.h"

#include <algorithm>
#include <cmath>

#include "audio/midi/tempo_map.h"

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
}

void Sequencer::Load(const Midi::MidiFile& file) {
  Clear();
  const Midi::TempoMap tempo(file.song);
  // Order: tick, then track, then position in the track (a SysEx message goes before the channel
  // message that followed it in the file).
  struct Key {
    uint32_t tick, track, order;
    Event event;
  };
  std::vector<Key> keys;
  size_t total = file.sysex.size();
  for (const SongTrack& track : file.song.tracks) {
    total += track.events.size();
  }
  keys.reserve(total);
  for (size_t t = 0; t < file.song.tracks.size(); ++t) {
    const auto& list = file.song.tracks[t].events;
    for (size_t i = 0; i < list.size(); ++i) {
      const MidiEvent& m = list[i];
      keys.push_back({m.tick,
                      static_cast<uint32_t>(t),
                      static_cast<uint32_t>(i * 2 + 1),
                      {0, kNone, m.status, m.data1, m.data2}});
    }
  }
  sysex.resize(file.sysex.size());
  for (size_t s = 0; s < file.sysex.size(); ++s) {
    const Midi::SysexEvent& x = file.sysex[s];
    if (x.escape || x.bytes.size() < 2) {
      continue;  // escape packets carry no complete message for an output
    }
    keys.push_back({x.tick, x.track, x.eventIndex * 2, {0, static_cast<uint32_t>(s), 0, 0, 0}});
    sysex[s] = x.bytes;
    if (sysex[s].back() != 0xF7) {
      sysex[s].push_back(0xF7);
    }
  }
  std::stable_sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) {
    if (a.tick != b.tick) return a.tick < b.tick;
    if (a.track != b.track) return a.track < b.track;
    return a.order < b.order;
  });
  events.reserve(keys.size());
  for (Key& k : keys) {
    k.event.us = tempo.TickToUs(k.tick);
    events.push_back(k.event);
  }
  endUs = tempo.TickToUs(file.info.lastTick);
}

void Sequencer::Clear() {
  events.clear();
  sysex.clear();
  next = 0;
  endUs = 0;
  ForgetSongState();
}

int64_t Sequencer::NextEventUs() const { return next < events.size() ? events[next].us : kNever; }

void Sequencer::PlayUntil(int64_t us, MidiSink* sink) {
  while (next < events.size() && events[next].us <= us) {
    Dispatch(events[next++], sink);
  }
}

void Sequencer::Rewind() { next = 0; }

void Sequencer::Send3(MidiSink* sink, uint8_t status, uint8_t d1, uint8_t d2) {
  if (sink == nullptr) {
    return;
  }
  const uint8_t kind = status & 0xF0;
  const uint8_t bytes[3] = {status, d1, d2};
  sink->Send(bytes, (kind == 0xC0 || kind == 0xD0) ? 2 : 3);
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
    Send3(sink, static_cast<uint8_t>(0x80 | channel), ch.sounding[note], 0);
    ch.sounding[note] = kSilent;
  }
}

void Sequencer::Dispatch(const Event& e, MidiSink* sink) {
  if (e.sysex != kNone) {
    if (sink != nullptr) {
      sink->Send(sysex[e.sysex].data(), sysex[e.sysex].size());
    }
    return;
  }
  const int c = e.status & 0x0F;
  Channel& ch = channels[c];
  switch (e.status & 0xF0) {
    case 0x90:
      if (e.data2 > 0) {
        if (ch.muted) {
          return;
        }
        const int note = c == kDrumChannel ? e.data1 : e.data1 + transpose;
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
    case 0x80:
      if (ch.sounding[e.data1] != kSilent) {
        Send3(sink, e.status, ch.sounding[e.data1], e.data2);
        ch.sounding[e.data1] = kSilent;
      }
      return;
    case 0xA0:
      if (ch.sounding[e.data1] != kSilent) {
        Send3(sink, e.status, ch.sounding[e.data1], e.data2);
      }
      return;
    case 0xB0:
      ch.controllers[e.data1] = e.data2;
      if (e.data1 == 7) {
        ch.songVolume = e.data2;
        Send3(sink, e.status, 7, ScaledVolume(e.data2, ch.mixVolume));
        return;
      }
      if (e.data1 == 10) {
        ch.songPan = e.data2;
        Send3(sink, e.status, 10, ShiftedPan(e.data2, ch.mixPan));
        return;
      }
      if (e.data1 == 120 || e.data1 == 123) {
        ch.sounding.fill(kSilent);  // the song releases its own notes
      }
      Send3(sink, e.status, e.data1, e.data2);
      return;
    case 0xC0:
      ch.program = e.data1;
      Send3(sink, e.status, e.data1, 0);
      return;
    case 0xE0:
      ch.pitchBend = static_cast<int16_t>(e.data1 | (e.data2 << 7));
      Send3(sink, e.status, e.data1, e.data2);
      return;
    default:
      Send3(sink, e.status, e.data1, e.data2);
      return;
  }
}

void Sequencer::Silence(MidiSink* sink) {
  for (int c = 0; c < 16; ++c) {
    for (int n = 0; n < 128; ++n) {
      SendNoteOff(c, static_cast<uint8_t>(n), sink);
    }
    Send3(sink, static_cast<uint8_t>(0xB0 | c), 64, 0);
    Send3(sink, static_cast<uint8_t>(0xB0 | c), 123, 0);
  }
}

void Sequencer::Reset(MidiSink* sink) {
  Silence(sink);
  ForgetSongState();
  for (int c = 0; c < 16; ++c) {
    const Channel& ch = channels[c];
    Send3(sink, static_cast<uint8_t>(0xB0 | c), 121, 0);
    if (ch.mixVolume != 100) {
      Send3(sink, static_cast<uint8_t>(0xB0 | c), 7, ScaledVolume(ch.songVolume, ch.mixVolume));
    }
    if (ch.mixPan != 0) {
      Send3(sink, static_cast<uint8_t>(0xB0 | c), 10, ShiftedPan(ch.songPan, ch.mixPan));
    }
  }
}

void Sequencer::Restore(MidiSink* sink) {
  for (int c = 0; c < 16; ++c) {
    const Channel& ch = channels[c];
    const auto status = static_cast<uint8_t>(0xB0 | c);
    for (int cc : {0, 32}) {
      if (ch.controllers[cc] >= 0) {
        Send3(sink, status, static_cast<uint8_t>(cc), static_cast<uint8_t>(ch.controllers[cc]));
      }
    }
    if (ch.program >= 0) {
      Send3(sink, static_cast<uint8_t>(0xC0 | c), static_cast<uint8_t>(ch.program), 0);
    }
    for (int cc = 1; cc < 120; ++cc) {
      // Bank select went first; data entry and parameter numbers only make sense in order.
      const bool skip = cc == 32 || cc == 6 || cc == 38 || (cc >= 96 && cc <= 101);
      if (skip || cc == 7 || cc == 10 || ch.controllers[cc] < 0) {
        continue;
      }
      Send3(sink, status, static_cast<uint8_t>(cc), static_cast<uint8_t>(ch.controllers[cc]));
    }
    if (ch.controllers[7] >= 0 || ch.mixVolume != 100) {
      Send3(sink, status, 7, ScaledVolume(ch.songVolume, ch.mixVolume));
    }
    if (ch.controllers[10] >= 0 || ch.mixPan != 0) {
      Send3(sink, status, 10, ShiftedPan(ch.songPan, ch.mixPan));
    }
    if (ch.pitchBend >= 0) {
      Send3(sink, static_cast<uint8_t>(0xE0 | c), static_cast<uint8_t>(ch.pitchBend & 0x7F),
            static_cast<uint8_t>(ch.pitchBend >> 7));
    }
  }
}

void Sequencer::SetTranspose(int semitones) { transpose = std::clamp(semitones, -12, 12); }

void Sequencer::SetVolume(int channel, int volume, MidiSink* sink) {
  if (channel < 0 || channel > 15) {
    return;
  }
  Channel& ch = channels[channel];
  volume = std::clamp(volume, 0, 120);
  if (volume == ch.mixVolume) {
    return;
  }
  ch.mixVolume = volume;
  Send3(sink, static_cast<uint8_t>(0xB0 | channel), 7, ScaledVolume(ch.songVolume, volume));
}

int Sequencer::GetVolume(int channel) const {
  return channel >= 0 && channel < 16 ? channels[channel].mixVolume : 0;
}

void Sequencer::SetPan(int channel, int pan, MidiSink* sink) {
  if (channel < 0 || channel > 15) {
    return;
  }
  Channel& ch = channels[channel];
  pan = std::clamp(pan, -64, 64);
  if (pan == ch.mixPan) {
    return;
  }
  ch.mixPan = pan;
  Send3(sink, static_cast<uint8_t>(0xB0 | channel), 10, ShiftedPan(ch.songPan, pan));
}

int Sequencer::GetPan(int channel) const {
  return channel >= 0 && channel < 16 ? channels[channel].mixPan : 0;
}

void Sequencer::SetMute(int channel, bool mute, MidiSink* sink) {
  if (channel < 0 || channel > 15) {
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
    Send3(sink, static_cast<uint8_t>(0xB0 | channel), 120, 0);  // cut the release tails too
  }
}

bool Sequencer::GetMute(int channel) const {
  return channel >= 0 && channel < 16 && channels[channel].muted;
}

}  // namespace Kesh::Audio
