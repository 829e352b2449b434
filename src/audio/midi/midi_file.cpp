#include "audio/midi/midi_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string_view>

#include "tavro/midi.h"
#include "tavro/text_encoding.h"

namespace Kesh::Audio::Midi {
namespace {

constexpr uint32_t kMaxTick = static_cast<uint32_t>(std::numeric_limits<int32_t>::max());
constexpr size_t kMaxFileSize = 64u << 20;
// Lyric or text events kept for a song, of each kind: a karaoke song has a few thousand; a file of
// millions of them would otherwise cost forty bytes each.
constexpr uint32_t kMaxTexts = 1u << 20;

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

// A text event's place in the file being read: strings are made only for the texts kept.
struct RawText {
  uint32_t tick;
  uint32_t offset;
  uint32_t length;
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
  void FinishTexts(const uint8_t* data, std::vector<TrackTexts>& texts);
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
  // A channel message takes at least two bytes (delta and one data byte under running status):
  // room for that many is only address space until used, and the list never grows by copying.
  track.events.reserve((end - begin) / 2);
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
    if (status & kStatusBit) {
      ++c.pos;
    } else if (running != 0) {
      status = running;
    } else {
      // A data byte with no status to run on: skip it and read on.
      ++c.pos;
      Warn(index, "data byte without status skipped");
      continue;
    }

    if (status < kSystem) {
      running = status;
      const uint8_t kind = status & kKindMask;
      const int need = (kind == kProgramChange || kind == kChannelPressure) ? 1 : 2;
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
      ev.data1 = d[0] & kDataMask;
      ev.data2 = d[1] & kDataMask;
      if (kind == kNoteOn && ev.data2 > 0) {
        ++info.noteOns;
      }
      track.events.push_back(ev);
      continue;
    }

    if (status == kSysEx || status == kSysExEnd) {
      uint32_t length;
      if (!c.Vlq(length) || length > c.Left()) {
        Warn(index, "system exclusive message cut off by the end of the track");
        break;
      }
      if (length > 0) {
        SysexEvent ev;
        ev.tick = now;
        ev.track = index;
        ev.eventIndex = static_cast<uint32_t>(track.events.size());
        ev.escape = status == kSysExEnd ? 1 : 0;
        ev.offset = static_cast<uint32_t>(file.sysexData.size());
        if (status == kSysEx) {
          file.sysexData.push_back(kSysEx);
        }
        file.sysexData.insert(file.sysexData.end(), data + c.pos, data + c.pos + length);
        ev.length = static_cast<uint32_t>(file.sysexData.size() - ev.offset);
        file.sysex.push_back(ev);
      }
      c.pos += length;
      continue;
    }

    if (status == kMeta) {
      uint8_t type;
      uint32_t length;
      if (!c.Byte(type) || !c.Vlq(length) || length > c.Left()) {
        Warn(index, "meta event cut off by the end of the track");
        break;
      }
      const uint8_t* p = data + c.pos;
      c.pos += length;
      switch (type) {
        case kMetaEndOfTrack:  // end of track: whatever follows is not part of the track
          return static_cast<uint32_t>(std::min<uint64_t>(tick, kMaxTick));
        case kMetaTempo:
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
        case kMetaTimeSignature:
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
        case kMetaText:
          if (++info.textEvents <= kMaxTexts) {
            texts.texts.push_back({now, static_cast<uint32_t>(p - data), length});
          } else if (info.textEvents == kMaxTexts + 1) {
            Warn(index,
                 "more than " + std::to_string(kMaxTexts) + " text events: the rest ignored");
          }
          break;
        case kMetaLyric:
          if (++info.lyricEvents <= kMaxTexts) {
            texts.lyrics.push_back({now, static_cast<uint32_t>(p - data), length});
          } else if (info.lyricEvents == kMaxTexts + 1) {
            Warn(index,
                 "more than " + std::to_string(kMaxTexts) + " lyric events: the rest ignored");
          }
          break;
        case kMetaTrackName:
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
    int skip = status == kSongPosition                                      ? 2
               : (status == kTimeCodeQuarterFrame || status == kSongSelect) ? 1
                                                                            : 0;
    uint8_t b;
    while (skip-- > 0 && c.Peek(b) && (b & kStatusBit) == 0) {
      ++c.pos;
    }
    Warn(index, "system message " + Hex(status) + " skipped");
  }
  return static_cast<uint32_t>(std::min<uint64_t>(tick, kMaxTick));
}

// Keeps a track's lyric events when the song has any, otherwise its text events; text that is not
// valid UTF-8 is decoded from Windows-1252.
void Reader::FinishTexts(const uint8_t* data, std::vector<TrackTexts>& texts) {
  bool lyrics = false;
  for (const TrackTexts& t : texts) {
    lyrics = lyrics || !t.lyrics.empty();
  }
  for (size_t i = 0; i < texts.size() && i < song.tracks.size(); ++i) {
    SongTrack& track = song.tracks[i];
    std::vector<RawText>& kept = lyrics ? texts[i].lyrics : texts[i].texts;
    track.texts.reserve(kept.size());
    track.textTicks.reserve(kept.size());
    for (const RawText& raw : kept) {
      std::string_view bytes(reinterpret_cast<const char*>(data) + raw.offset, raw.length);
      while (!bytes.empty() && bytes.back() == '\0') {
        bytes.remove_suffix(1);
      }
      track.texts.push_back(Vell::Text::ToUtf8(std::string(bytes)));
      track.textTicks.push_back(raw.tick);
    }
    texts[i] = TrackTexts{};  // done with this track's places
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
  // By tick; the track and the place in the data keep each track's file order. In place: the
  // list may hold millions of messages.
  std::sort(file.sysex.begin(), file.sysex.end(), [](const SysexEvent& a, const SysexEvent& b) {
    if (a.tick != b.tick) {
      return a.tick < b.tick;
    }
    return a.track != b.track ? a.track < b.track : a.offset < b.offset;
  });
  FinishTexts(data, texts);
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
  out = MidiFile{};
  // Opened without blocking and checked before anything is read: a named pipe or a device would
  // hold the reader for ever, and a folder is no file.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    reason = errno == ENOENT ? "cannot open the file"
                             : std::string("cannot open the file: ") + std::strerror(errno);
    return false;
  }
  struct stat status {};
  const bool known = ::fstat(fd, &status) == 0;
  const mode_t type = known ? (status.st_mode & S_IFMT) : 0;
  if (!known || type != S_IFREG) {
    ::close(fd);
    reason = !known                               ? "cannot read the file"
             : type == S_IFDIR                    ? "is a folder"
             : type == S_IFIFO                    ? "is a named pipe, not a file"
             : type == S_IFCHR || type == S_IFBLK ? "is a device, not a file"
                                                  : "is not a regular file";
    return false;
  }
  if (static_cast<uint64_t>(status.st_size) > kMaxFileSize) {
    ::close(fd);
    reason = "file too large for a MIDI file";
    return false;
  }
  // A regular file never blocks; reads stop at the end even if the file grew meanwhile.
  std::vector<uint8_t> bytes(static_cast<size_t>(status.st_size));
  size_t got = 0;
  bool readError = false;
  while (got < bytes.size()) {
    const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      readError = n < 0;
      break;
    }
    got += static_cast<size_t>(n);
  }
  ::close(fd);
  if (readError) {
    reason = "cannot read the file";
    return false;
  }
  bytes.resize(got);  // the file shrank while it was read: parse what is there
  return ReadMidi(bytes.data(), bytes.size(), out, reason);
}

}  // namespace Kesh::Audio::Midi
