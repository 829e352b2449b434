#include "audio/midi/midi_file.h"

#include "tavro/text_encoding.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>

namespace Kesh::Audio::Midi {
namespace {

constexpr uint32_t kMaxTick = static_cast<uint32_t>(std::numeric_limits<int32_t>::max());
constexpr size_t kMaxFileSize = 64u << 20;

uint32_t Be32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}
uint16_t Be16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
uint32_t Le32(const uint8_t* p) {
  return (uint32_t{p[3]} << 24) | (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
}

// A bounded cursor over one track chunk.
struct Cursor {
  const uint8_t* data;
  size_t pos;
  size_t end;

  bool AtEnd() const { return pos >= end; }
  size_t Left() const { return end - pos; }
  bool Byte(uint8_t& b) {
    if (pos >= end) {
      return false;
    }
    b = data[pos++];
    return true;
  }
  bool Peek(uint8_t& b) const {
    if (pos >= end) {
      return false;
    }
    b = data[pos];
    return true;
  }
  // Variable-length quantity of at most four bytes.
  bool Vlq(uint32_t& value) {
    value = 0;
    for (int i = 0; i < 4; ++i) {
      uint8_t b;
      if (!Byte(b)) {
        return false;
      }
      value = (value << 7) | (b & 0x7F);
      if ((b & 0x80) == 0) {
        return true;
      }
    }
    return false;
  }
};

struct RawText {
  uint32_t tick;
  std::string bytes;
};

struct TrackTexts {
  std::vector<RawText> lyrics;
  std::vector<RawText> texts;
};

std::string Hex(uint8_t b) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "%02X", b);
  return buffer;
}

bool IsChunkIdChar(uint8_t c) { return c >= 0x20 && c < 0x7F; }

class Reader {
 public:
  Reader(MidiFile& out) : file(out), song(out.song), info(out.info) {}

  bool Read(const uint8_t* data, size_t size, std::string& reason);

 private:
  void Warn(uint32_t track, const std::string& what) {
    if (info.warnings.size() < 64) {
      info.warnings.push_back("track " + std::to_string(track + 1) + ": " + what);
    }
  }
  // Reads one MTrk body; returns the tick of its last event (relative to the track start).
  uint32_t ReadTrack(const uint8_t* data, size_t begin, size_t end, uint32_t index, uint32_t offset,
                     SongTrack& track, TrackTexts& texts);
  void FinishTexts(std::vector<TrackTexts>& texts);
  void FinishTempoAndMeters();

  MidiFile& file;
  SongData& song;
  FileInfo& info;
  std::vector<TempoChange> tempos;
  std::vector<TimeSignature> meters;
};

uint32_t Reader::ReadTrack(const uint8_t* data, size_t begin, size_t end, uint32_t index,
                           uint32_t offset, SongTrack& track, TrackTexts& texts) {
  Cursor c{data, begin, end};
  track.events.reserve((end - begin) / 4);  // a channel message takes three to four bytes
  uint64_t tick = 0;
  uint8_t running = 0;
  bool named = false;
  auto absolute = [&]() {
    return static_cast<uint32_t>(std::min<uint64_t>(tick + offset, kMaxTick));
  };
  while (!c.AtEnd()) {
    uint32_t delta;
    if (!c.Vlq(delta)) {
      Warn(index, "delta time runs past the end of the track");
      break;
    }
    tick += delta;
    const uint32_t now = absolute();
    info.lastTick = std::max(info.lastTick, now);

    uint8_t status;
    if (!c.Peek(status)) {
      Warn(index, "track ends after a delta time");
      break;
    }
    if (status & 0x80) {
      ++c.pos;
    } else if (running != 0) {
      status = running;
    } else {
      // A data byte with no status to run on: skip it and read on.
      ++c.pos;
      Warn(index, "data byte without status skipped");
      continue;
    }

    if (status < 0xF0) {
      running = status;
      const uint8_t kind = status & 0xF0;
      const int need = (kind == 0xC0 || kind == 0xD0) ? 1 : 2;
      uint8_t d[2] = {0, 0};
      bool ok = true;
      for (int i = 0; i < need && ok; ++i) {
        ok = c.Byte(d[i]);
      }
      if (!ok) {
        Warn(index, "channel message cut off by the end of the track");
        break;
      }
      MidiEvent ev;
      ev.tick = now;
      ev.status = status;
      ev.data1 = d[0] & 0x7F;
      ev.data2 = d[1] & 0x7F;
      if (kind == 0x90 && ev.data2 > 0) {
        ++info.noteOns;
      }
      track.events.push_back(ev);
      continue;
    }

    if (status == 0xF0 || status == 0xF7) {
      uint32_t length;
      if (!c.Vlq(length) || length > c.Left()) {
        Warn(index, "system exclusive message cut off by the end of the track");
        break;
      }
      SysexEvent ev;
      ev.tick = now;
      ev.track = index;
      ev.eventIndex = static_cast<uint32_t>(track.events.size());
      ev.escape = status == 0xF7;
      const size_t prefix = ev.escape ? 0 : 1;
      ev.bytes.resize(prefix + length);
      if (prefix == 1) {
        ev.bytes[0] = 0xF0;
      }
      if (length > 0) {
        std::memcpy(ev.bytes.data() + prefix, data + c.pos, length);
      }
      c.pos += length;
      file.sysex.push_back(std::move(ev));
      continue;
    }

    if (status == 0xFF) {
      uint8_t type;
      uint32_t length;
      if (!c.Byte(type) || !c.Vlq(length) || length > c.Left()) {
        Warn(index, "meta event cut off by the end of the track");
        break;
      }
      const uint8_t* p = data + c.pos;
      c.pos += length;
      switch (type) {
        case 0x2F:  // end of track: whatever follows is not part of the track
          return static_cast<uint32_t>(std::min<uint64_t>(tick, kMaxTick));
        case 0x51:
          ++info.tempoEvents;
          if (length >= 3) {
            const uint32_t tempo = (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
            if (tempo > 0) {
              tempos.push_back({now, tempo});
            } else {
              Warn(index, "tempo 0 ignored");
            }
          } else {
            Warn(index, "short tempo event ignored");
          }
          break;
        case 0x58:
          ++info.meterEvents;
          if (length >= 2 && p[0] > 0 && p[1] <= 6) {
            TimeSignature ts;
            ts.tick = static_cast<int32_t>(now);
            ts.numerator = p[0];
            ts.denominatorExp = p[1];
            if (length >= 4) {
              ts.clocksPerClick = p[2];
              ts.thirtySecondsPerQuarter = p[3];
            }
            meters.push_back(ts);
          } else {
            Warn(index, "invalid time signature ignored");
          }
          break;
        case 0x01:
          ++info.textEvents;
          texts.texts.push_back({now, std::string(reinterpret_cast<const char*>(p), length)});
          break;
        case 0x05:
          ++info.lyricEvents;
          texts.lyrics.push_back({now, std::string(reinterpret_cast<const char*>(p), length)});
          break;
        case 0x03:
          if (!named) {
            track.name = Vell::Text::ToUtf8(std::string(reinterpret_cast<const char*>(p), length));
            named = true;
          }
          break;
        default:
          break;
      }
      // Running status is kept across meta events: some writers rely on it.
      continue;
    }

    // Undefined or real-time system bytes (F1-F6, F8-FE) have no place in a file: skip them with
    // the data bytes their message type carries.
    int skip = status == 0xF2 ? 2 : (status == 0xF1 || status == 0xF3) ? 1 : 0;
    uint8_t b;
    while (skip-- > 0 && c.Peek(b) && (b & 0x80) == 0) {
      ++c.pos;
    }
    Warn(index, "system message " + Hex(status) + " skipped");
  }
  return static_cast<uint32_t>(std::min<uint64_t>(tick, kMaxTick));
}

// Keeps a track's lyric events when the song has any, otherwise its text events; text that is not
// valid UTF-8 is decoded from Windows-1252.
void Reader::FinishTexts(std::vector<TrackTexts>& texts) {
  bool lyrics = false;
  for (const TrackTexts& t : texts) {
    lyrics = lyrics || !t.lyrics.empty();
  }
  for (size_t i = 0; i < texts.size() && i < song.tracks.size(); ++i) {
    SongTrack& track = song.tracks[i];
    for (RawText& raw : lyrics ? texts[i].lyrics : texts[i].texts) {
      while (!raw.bytes.empty() && raw.bytes.back() == '\0') {
        raw.bytes.pop_back();
      }
      track.texts.push_back(Vell::Text::ToUtf8(raw.bytes));
      track.textTicks.push_back(raw.tick);
    }
  }
}

void Reader::FinishTempoAndMeters() {
  auto byTick = [](const auto& a, const auto& b) { return a.tick < b.tick; };
  if (info.smpteFps != 0) {
    // SMPTE time: one quarter is one second, or 30/29.97 s for drop-frame time, so that the
    // ticks-per-quarter stays an integer and the tempo is constant.
    const uint32_t tempo = info.smpteFps == 29 ? 1001001u : 1000000u;
    song.tempoChanges = {{0, tempo}};
  } else {
    std::stable_sort(tempos.begin(), tempos.end(), byTick);
    if (tempos.empty() || tempos.front().tick != 0) {
      tempos.insert(tempos.begin(), TempoChange{0, 500000});
      info.defaultTempo = true;
    }
    song.tempoChanges = std::move(tempos);
  }
  std::stable_sort(meters.begin(), meters.end(), byTick);
  if (meters.empty() || meters.front().tick != 0) {
    meters.insert(meters.begin(), TimeSignature{});
    info.defaultMeter = true;
  }
  song.timeSignatures = std::move(meters);
}

bool Reader::Read(const uint8_t* data, size_t size, std::string& reason) {
  if (size == 0) {
    reason = "empty file";
    return false;
  }
  // RIFF "RMID": the Standard MIDI File is the body of the "data" chunk.
  if (size >= 12 && std::memcmp(data, "RIFF", 4) == 0) {
    if (std::memcmp(data + 8, "RMID", 4) != 0) {
      reason = "RIFF file that is not RMID";
      return false;
    }
    size_t pos = 12;
    bool found = false;
    while (pos + 8 <= size) {
      const uint32_t length = Le32(data + pos + 4);
      if (std::memcmp(data + pos, "data", 4) == 0) {
        data += pos + 8;
        size = std::min<size_t>(length, size - pos - 8);
        found = true;
        break;
      }
      const uint64_t next = uint64_t{pos} + 8 + length + (length & 1);
      if (next > size) {
        break;
      }
      pos = static_cast<size_t>(next);
    }
    if (!found) {
      reason = "RMID file without a data chunk";
      return false;
    }
    info.rmid = true;
  }
  if (size >= 8 && std::memcmp(data, "SMF2CLIP", 8) == 0) {
    reason = "MIDI 2.0 clip file (not supported)";
    return false;
  }
  if (size < 4 || std::memcmp(data, "MThd", 4) != 0) {
    reason = "not a MIDI file";
    return false;
  }
  if (size < 14) {
    reason = "truncated header";
    return false;
  }
  const uint32_t headerLength = Be32(data + 4);
  if (headerLength < 6) {
    reason = "bad header length " + std::to_string(headerLength);
    return false;
  }
  info.format = Be16(data + 8);
  info.declaredTracks = Be16(data + 10);
  const uint16_t division = Be16(data + 12);
  if (info.format > 2) {
    reason = "unsupported MIDI format " + std::to_string(info.format);
    return false;
  }
  if (division & 0x8000) {
    const int fps = -static_cast<int8_t>(division >> 8);
    const int ticksPerFrame = division & 0xFF;
    if (fps != 24 && fps != 25 && fps != 29 && fps != 30) {
      reason = "invalid SMPTE frame rate " + std::to_string(fps);
      return false;
    }
    if (ticksPerFrame == 0) {
      reason = "invalid SMPTE resolution 0";
      return false;
    }
    info.smpteFps = fps;
    info.smpteTicksPerFrame = ticksPerFrame;
    song.division = static_cast<uint16_t>((fps == 29 ? 30 : fps) * ticksPerFrame);
  } else {
    if (division == 0) {
      reason = "invalid division 0";
      return false;
    }
    song.division = division;
  }
  song.format = info.format;

  std::vector<TrackTexts> texts;
  uint64_t pos = uint64_t{8} + headerLength;
  uint32_t offset = 0;  // format 2: each track starts where the previous one ended
  while (pos + 8 <= size) {
    const uint8_t* id = data + pos;
    const uint32_t length = Be32(data + pos + 4);
    const size_t begin = static_cast<size_t>(pos + 8);
    const uint64_t declaredEnd = uint64_t{begin} + length;
    if (std::memcmp(id, "MTrk", 4) == 0) {
      const uint32_t index = static_cast<uint32_t>(song.tracks.size());
      const size_t end = static_cast<size_t>(std::min<uint64_t>(declaredEnd, size));
      if (declaredEnd > size) {
        Warn(index, "declared length runs past the end of the file");
      }
      song.tracks.emplace_back();
      texts.emplace_back();
      SongTrack& track = song.tracks.back();
      track.header = index;
      const uint32_t last = ReadTrack(data, begin, end, index, offset, track, texts.back());
      if (info.format == 2) {
        offset = static_cast<uint32_t>(std::min<uint64_t>(uint64_t{offset} + last, kMaxTick));
      }
    } else if (IsChunkIdChar(id[0]) && IsChunkIdChar(id[1]) && IsChunkIdChar(id[2]) &&
               IsChunkIdChar(id[3])) {
      info.warnings.push_back("unknown chunk \"" +
                              std::string(reinterpret_cast<const char*>(id), 4) + "\" skipped");
    } else {
      info.warnings.push_back("garbage at offset " + std::to_string(pos) + " ignored");
      break;
    }
    pos = declaredEnd;
  }
  if (pos < size && size - pos < 8) {
    info.warnings.push_back(std::to_string(size - pos) + " trailing bytes ignored");
  }
  info.tracksRead = static_cast<uint32_t>(song.tracks.size());
  if (song.tracks.empty()) {
    reason = "no track in the file";
    return false;
  }
  if (info.tracksRead != info.declaredTracks) {
    info.warnings.push_back("header announces " + std::to_string(info.declaredTracks) +
                            " tracks, found " + std::to_string(info.tracksRead));
  }
  std::stable_sort(file.sysex.begin(), file.sysex.end(),
                   [](const SysexEvent& a, const SysexEvent& b) { return a.tick < b.tick; });
  FinishTexts(texts);
  FinishTempoAndMeters();
  return true;
}

}  // namespace

size_t MidiExtent(const uint8_t* data, size_t size) {
  if (size >= 12 && std::memcmp(data, "RIFF", 4) == 0) {
    return static_cast<size_t>(std::min<uint64_t>(uint64_t{Le32(data + 4)} + 8, size));
  }
  if (size < 14 || std::memcmp(data, "MThd", 4) != 0) {
    return 0;
  }
  const uint32_t tracks = Be16(data + 10);
  uint64_t pos = uint64_t{8} + Be32(data + 4);
  uint32_t found = 0;
  while (found < tracks && pos + 8 <= size) {
    const uint8_t* id = data + pos;
    if (!(IsChunkIdChar(id[0]) && IsChunkIdChar(id[1]) && IsChunkIdChar(id[2]) &&
          IsChunkIdChar(id[3]))) {
      break;
    }
    if (std::memcmp(id, "MTrk", 4) == 0) {
      ++found;
    }
    pos += uint64_t{8} + Be32(data + pos + 4);
  }
  return static_cast<size_t>(std::min<uint64_t>(pos, size));
}

bool ReadMidi(const uint8_t* data, size_t size, MidiFile& out, std::string& reason) {
  out = MidiFile{};
  reason.clear();
  Reader reader(out);
  if (!reader.Read(data, size, reason)) {
    out = MidiFile{};
    return false;
  }
  return true;
}

bool ReadMidiFile(const std::string& path, MidiFile& out, std::string& reason) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    out = MidiFile{};
    reason = "cannot open the file";
    return false;
  }
  in.seekg(0, std::ios::end);
  const std::streamoff length = in.tellg();
  in.seekg(0, std::ios::beg);
  if (length < 0) {
    out = MidiFile{};
    reason = "cannot read the file";
    return false;
  }
  if (static_cast<uint64_t>(length) > kMaxFileSize) {
    out = MidiFile{};
    reason = "file too large for a MIDI file";
    return false;
  }
  std::vector<uint8_t> bytes(static_cast<size_t>(length));
  if (length > 0 && !in.read(reinterpret_cast<char*>(bytes.data()), length)) {
    out = MidiFile{};
    reason = "cannot read the file";
    return false;
  }
  return ReadMidi(bytes.data(), bytes.size(), out, reason);
}

}  // namespace Kesh::Audio::Midi
