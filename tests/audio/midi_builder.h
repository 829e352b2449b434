// Builds Standard MIDI Files in memory for the audio tests and benchmarks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace TavroTest {

class TrackBuilder {
 public:
  TrackBuilder& Delta(uint32_t ticks) {
    uint8_t buffer[5];
    int n = 0;
    buffer[n++] = ticks & 0x7F;
    while ((ticks >>= 7) != 0) {
      buffer[n++] = static_cast<uint8_t>(0x80 | (ticks & 0x7F));
    }
    while (n > 0) {
      bytes.push_back(buffer[--n]);
    }
    return *this;
  }
  TrackBuilder& Raw(std::initializer_list<uint8_t> raw) {
    bytes.insert(bytes.end(), raw);
    return *this;
  }
  // A channel message after a delta time.
  TrackBuilder& Msg(uint32_t delta, uint8_t status, uint8_t d1, int d2 = -1) {
    Delta(delta);
    bytes.push_back(status);
    bytes.push_back(d1);
    if (d2 >= 0) {
      bytes.push_back(static_cast<uint8_t>(d2));
    }
    return *this;
  }
  TrackBuilder& Meta(uint32_t delta, uint8_t type, const std::string& data) {
    Delta(delta);
    bytes.push_back(0xFF);
    bytes.push_back(type);
    Delta(static_cast<uint32_t>(data.size()));
    bytes.insert(bytes.end(), data.begin(), data.end());
    return *this;
  }
  TrackBuilder& Tempo(uint32_t delta, uint32_t usPerQuarter) {
    return Meta(delta, 0x51,
                std::string{static_cast<char>(usPerQuarter >> 16),
                            static_cast<char>(usPerQuarter >> 8), static_cast<char>(usPerQuarter)});
  }
  TrackBuilder& Meter(uint32_t delta, uint8_t num, uint8_t denExp) {
    return Meta(delta, 0x58, std::string{static_cast<char>(num), static_cast<char>(denExp), 24, 8});
  }
  TrackBuilder& End(uint32_t delta = 0) { return Meta(delta, 0x2F, ""); }

  std::vector<uint8_t> bytes;
};

inline void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) {
    out.push_back(static_cast<uint8_t>(v >> s));
  }
}

inline std::vector<uint8_t> BuildMidi(uint16_t format, uint16_t division,
                                      const std::vector<TrackBuilder>& tracks) {
  std::vector<uint8_t> out{'M', 'T', 'h', 'd', 0, 0, 0, 6};
  out.push_back(static_cast<uint8_t>(format >> 8));
  out.push_back(static_cast<uint8_t>(format));
  out.push_back(static_cast<uint8_t>(tracks.size() >> 8));
  out.push_back(static_cast<uint8_t>(tracks.size()));
  out.push_back(static_cast<uint8_t>(division >> 8));
  out.push_back(static_cast<uint8_t>(division));
  for (const TrackBuilder& t : tracks) {
    out.insert(out.end(), {'M', 'T', 'r', 'k'});
    Put32(out, static_cast<uint32_t>(t.bytes.size()));
    out.insert(out.end(), t.bytes.begin(), t.bytes.end());
  }
  return out;
}

// A song of `bars` bars of 4/4 at the given tempo: a piano melody of quarter notes on channel 1,
// a bass on channel 2 and a drum hit per beat on channel 10.
inline std::vector<uint8_t> GeneratedSong(int bars, uint32_t usPerQuarter = 500000,
                                          uint16_t division = 480) {
  TrackBuilder meta;
  meta.Tempo(0, usPerQuarter).Meter(0, 4, 2).End(static_cast<uint32_t>(bars) * 4 * division);
  TrackBuilder piano;
  piano.Msg(0, 0xC0, 0).Msg(0, 0xB0, 7, 100);
  TrackBuilder bass;
  bass.Msg(0, 0xC1, 33);
  TrackBuilder drums;
  const uint8_t melody[8] = {60, 62, 64, 65, 67, 65, 64, 62};
  for (int beat = 0; beat < bars * 4; ++beat) {
    const uint8_t note = melody[beat % 8];
    piano.Msg(0, 0x90, note, 100).Msg(division, 0x80, note, 0);
    bass.Msg(0, 0x91, static_cast<uint8_t>(36 + (beat / 4) % 5), 90)
        .Msg(division - 10, 0x91, static_cast<uint8_t>(36 + (beat / 4) % 5), 0)
        .Delta(10)
        .Raw({0xB1, 64, 0});  // one controller per beat
    drums.Msg(0, 0x99, beat % 2 ? 38 : 36, 110).Msg(division, 0x89, beat % 2 ? 38 : 36, 0);
  }
  piano.End();
  bass.End();
  drums.End();
  return BuildMidi(1, division, {meta, piano, bass, drums});
}

}  // namespace TavroTest
