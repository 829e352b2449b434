#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "audio/midi/midi_file.h"
#include "audio/midi/tempo_map.h"
#include "midi_builder.h"

using Kesh::Audio::Midi::MidiFile;
using Kesh::Audio::Midi::ReadMidi;
using TavroTest::BuildMidi;
using TavroTest::TrackBuilder;

namespace {

bool Read(const std::vector<uint8_t>& bytes, MidiFile& file, std::string& reason) {
  return ReadMidi(bytes.data(), bytes.size(), file, reason);
}

size_t NoteOns(const MidiFile& file) {
  size_t n = 0;
  for (const auto& t : file.song.tracks) {
    for (const auto& e : t.events) {
      n += (e.status & 0xF0) == 0x90 && e.data2 > 0;
    }
  }
  return n;
}

size_t Texts(const MidiFile& file) {
  size_t n = 0;
  for (const auto& t : file.song.tracks) {
    EXPECT_EQ(t.texts.size(), t.textTicks.size());
    EXPECT_TRUE(std::is_sorted(t.textTicks.begin(), t.textTicks.end()));
    n += t.texts.size();
  }
  return n;
}

std::filesystem::path Corpus() { return TAVRO_CORPUS_DIR; }

// Rows of the corpus inventory by file, as column name -> value.
std::map<std::string, std::map<std::string, std::string>> Inventory() {
  std::map<std::string, std::map<std::string, std::string>> rows;
  std::ifstream in(Corpus() / "INVENTORY.tsv");
  std::string line;
  std::vector<std::string> names;
  auto split = [](const std::string& s) {
    std::vector<std::string> cells;
    std::stringstream ss(s);
    std::string cell;
    while (std::getline(ss, cell, '\t')) {
      cells.push_back(cell);
    }
    if (!s.empty() && s.back() == '\t') {
      cells.push_back("");
    }
    return cells;
  };
  if (std::getline(in, line)) {
    names = split(line);
  }
  while (std::getline(in, line)) {
    const auto cells = split(line);
    auto& row = rows[cells[0]];
    for (size_t i = 0; i < names.size() && i < cells.size(); ++i) {
      row[names[i]] = cells[i];
    }
  }
  return rows;
}

}  // namespace

TEST(MidiReader, CorpusSongsMatchTheIndependentCount) {
  if (!std::filesystem::exists(Corpus() / "INVENTORY.tsv")) {
    GTEST_SKIP() << "corpus not found at " << Corpus();
  }
  int checked = 0;
  for (const auto& [name, row] : Inventory()) {
    if (name.rfind("songs/", 0) != 0 && name.rfind("kar/", 0) != 0) {
      continue;
    }
    SCOPED_TRACE(name);
    MidiFile file;
    std::string reason;
    ASSERT_TRUE(Kesh::Audio::Midi::ReadMidiFile((Corpus() / name).string(), file, reason))
        << reason;
    const auto& info = file.info;
    EXPECT_EQ(NoteOns(file), std::stoul(row.at("note_ons")));
    EXPECT_EQ(info.noteOns, std::stoul(row.at("note_ons")));
    const size_t tempos = std::stoul(row.at("tempo_events"));
    EXPECT_EQ(info.tempoEvents, tempos);
    EXPECT_EQ(file.song.tempoChanges.size() - (info.defaultTempo ? 1 : 0), tempos);
    const size_t lyrics = std::stoul(row.at("lyric_events"));
    const size_t texts = std::stoul(row.at("text_events"));
    EXPECT_EQ(info.lyricEvents, lyrics);
    EXPECT_EQ(Texts(file), lyrics > 0 ? lyrics : texts);
    EXPECT_EQ(info.lastTick, std::stoul(row.at("end_tick")));
    EXPECT_EQ(file.song.division, std::stoul(row.at("division")));
    const Kesh::Audio::Midi::TempoMap tempo(file.song);
    EXPECT_NEAR(tempo.TickToUs(info.lastTick) / 1e6, std::stod(row.at("duration_s")), 0.051);
    ASSERT_FALSE(file.song.tempoChanges.empty());
    EXPECT_EQ(file.song.tempoChanges[0].tick, 0u);
    ASSERT_FALSE(file.song.timeSignatures.empty());
    EXPECT_EQ(file.song.timeSignatures[0].tick, 0);
    ++checked;
  }
  EXPECT_EQ(checked, 126);
}

TEST(MidiReader, ConformanceFilesOpenOrAreRefusedWithAReason) {
  const auto dir = Corpus() / "conformance";
  if (!std::filesystem::exists(dir)) {
    GTEST_SKIP() << "corpus not found at " << dir;
  }
  const std::map<std::string, std::string> refused = {
      {"jazzsoft__test-empty-file.mid", "empty file"},
      {"jazzsoft__test-not-a-midi-file.mid", "not a MIDI file"},
      {"jazzsoft__test-c-major-scale-m2-g0.midi2", "MIDI 2.0 clip file (not supported)"},
      {"jazzsoft__test-no-header.midi2", "MIDI 2.0 clip file (not supported)"},
      {"nfroidure__MIDIBadHeaderChunk.mid", "not a MIDI file"},
      {"nfroidure__MIDIBadHeaderFormat.mid", "unsupported MIDI format 3"},
      {"nfroidure__MIDIBadHeaderSMTPE.mid", "invalid SMPTE frame rate 16"},
      {"nfroidure__MIDIBadHeaderLength.mid", "no track in the file"},
      {"nfroidure__MIDIBadTrackHdr.mid", "no track in the file"},
      {"shkyrockett__header-type-00-single.mid", "no track in the file"},
      {"shkyrockett__header-type-01-multi-track.mid", "no track in the file"},
      {"shkyrockett__header-type-02-multi-song.mid", "no track in the file"},
  };
  const auto inventory = Inventory();
  int opened = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    SCOPED_TRACE(name);
    MidiFile file;
    std::string reason;
    const bool ok = Kesh::Audio::Midi::ReadMidiFile(entry.path().string(), file, reason);
    const auto it = refused.find(name);
    if (it != refused.end()) {
      EXPECT_FALSE(ok);
      EXPECT_EQ(reason, it->second);
      continue;
    }
    ASSERT_TRUE(ok) << reason;
    ++opened;
    const auto& row = inventory.at("conformance/" + name);
    // Files whose running status goes on after a meta or SysEx event have notes that a strict
    // reader drops; everywhere else the counts agree.
    if (name.find("running-status") == std::string::npos) {
      EXPECT_EQ(file.info.noteOns, std::stoul(row.at("note_ons")));
    } else {
      EXPECT_GT(file.info.noteOns, std::stoul(row.at("note_ons")));
    }
  }
  EXPECT_EQ(opened, 84);
}

TEST(MidiReader, DamagedFilesKeepWhatCanBeRead) {
  // Running status kept across meta and SysEx events; F1-FE skipped with their data bytes.
  TrackBuilder t;
  t.Msg(0, 0x90, 60, 100).Meta(0, 0x01, "x").Raw({0x00, 62, 100});
  t.Delta(0).Raw({0xF0, 0x02, 0x7E, 0xF7}).Raw({0x00, 64, 100});
  t.Delta(0).Raw({0xF2, 0x10, 0x20}).Raw({0x00, 65, 100});
  t.Delta(0).Raw({0xFE}).Raw({0x00, 67, 100});
  t.End();
  auto bytes = BuildMidi(0, 96, {t});
  MidiFile file;
  std::string reason;
  ASSERT_TRUE(Read(bytes, file, reason)) << reason;
  ASSERT_EQ(file.song.tracks[0].events.size(), 5u);
  EXPECT_EQ(file.song.tracks[0].events[4].data1, 67);
  ASSERT_EQ(file.sysex.size(), 1u);
  EXPECT_EQ(file.SysexBytes(file.sysex[0]), (std::vector<uint8_t>{0xF0, 0x7E, 0xF7}));
  EXPECT_EQ(file.sysex[0].eventIndex, 2u);

  // Cut anywhere: every prefix either opens with fewer events or is refused, never more.
  for (size_t cut = 0; cut < bytes.size(); ++cut) {
    MidiFile part;
    if (ReadMidi(bytes.data(), cut, part, reason)) {
      EXPECT_GE(cut, 22u);
      EXPECT_LE(part.song.tracks[0].events.size(), 5u);
    } else {
      EXPECT_FALSE(reason.empty());
    }
  }
  // A track that claims more bytes than the file has is read up to the end of the file.
  bytes[21] = 0xFF;
  ASSERT_TRUE(Read(bytes, file, reason));
  EXPECT_EQ(file.song.tracks[0].events.size(), 5u);
  EXPECT_FALSE(file.info.warnings.empty());
}

TEST(MidiReader, FormatsDivisionsAndDefaults) {
  MidiFile file;
  std::string reason;
  // Format 2: each track starts where the previous one ended.
  TrackBuilder a, b;
  a.Msg(0, 0x90, 60, 100).Msg(96, 0x80, 60, 0).End(96);
  b.Msg(10, 0x90, 62, 100).End();
  ASSERT_TRUE(Read(BuildMidi(2, 96, {a, b}), file, reason)) << reason;
  EXPECT_EQ(file.song.tracks[1].events[0].tick, 192u + 10u);
  // Defaults where the file has no tempo or meter at tick 0.
  EXPECT_EQ(file.song.tempoChanges.size(), 1u);
  EXPECT_EQ(file.song.tempoChanges[0].tempo, 500000u);
  EXPECT_TRUE(file.info.defaultTempo);
  EXPECT_EQ(file.song.timeSignatures[0].numerator, 4);
  EXPECT_EQ(file.song.timeSignatures[0].denominatorExp, 2);

  TrackBuilder late;
  late.Tempo(100, 400000).Meter(0, 3, 2).End();
  ASSERT_TRUE(Read(BuildMidi(1, 96, {late}), file, reason));
  ASSERT_EQ(file.song.tempoChanges.size(), 2u);
  EXPECT_EQ(file.song.tempoChanges[1].tick, 100u);
  ASSERT_EQ(file.song.timeSignatures.size(), 2u);
  EXPECT_EQ(file.song.timeSignatures[1].numerator, 3);

  // SMPTE 25 fps x 40 ticks per frame: 1000 ticks per second, one second per quarter.
  auto smpte = BuildMidi(0, 0, {a});
  smpte[12] = static_cast<uint8_t>(-25);
  smpte[13] = 40;
  ASSERT_TRUE(Read(smpte, file, reason)) << reason;
  EXPECT_EQ(file.song.division, 1000);
  EXPECT_EQ(file.song.tempoChanges[0].tempo, 1000000u);
  EXPECT_EQ(Kesh::Audio::Midi::TempoMap(file.song).TickToUs(96), 96000);
  smpte[12] = static_cast<uint8_t>(-29);  // 29.97 drop frame
  ASSERT_TRUE(Read(smpte, file, reason));
  EXPECT_EQ(Kesh::Audio::Midi::TempoMap(file.song).TickToUs(1200 * 30),
            30030030);  // 30 quarters of 30/29.97 s

  // RMID wrapper, padded body.
  const auto smf = BuildMidi(0, 96, {a});
  std::vector<uint8_t> riff{'R', 'I', 'F', 'F', 0, 0, 0, 0, 'R', 'M', 'I', 'D', 'd', 'a', 't', 'a'};
  const uint32_t n = static_cast<uint32_t>(smf.size());
  riff.insert(riff.end(), {uint8_t(n), uint8_t(n >> 8), uint8_t(n >> 16), uint8_t(n >> 24)});
  riff.insert(riff.end(), smf.begin(), smf.end());
  riff.push_back(0);
  const uint32_t body = static_cast<uint32_t>(riff.size() - 8);
  for (int i = 0; i < 4; ++i) {
    riff[4 + i] = static_cast<uint8_t>(body >> (8 * i));
  }
  ASSERT_TRUE(Read(riff, file, reason)) << reason;
  EXPECT_TRUE(file.info.rmid);
  EXPECT_EQ(file.song.tracks[0].events.size(), 2u);
  EXPECT_EQ(Kesh::Audio::Midi::MidiExtent(riff.data(), riff.size()), riff.size());

  // A song embedded in a larger stream: the extent ends after the last announced track.
  auto embedded = smf;
  embedded.insert(embedded.end(), {0x00, 0x30, 0, 0, 0, 6, 1, 2, 3, 4, 5, 6});
  EXPECT_EQ(Kesh::Audio::Midi::MidiExtent(embedded.data(), embedded.size()), smf.size());

  for (auto [bytes, expected] : std::vector<std::pair<std::vector<uint8_t>, std::string>>{
           {{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0}, "truncated header"},
           {{'M', 'T', 'h', 'd', 0, 0, 0, 4, 0, 0, 0, 1, 0, 96}, "bad header length 4"},
           {{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 0}, "invalid division 0"},
           {{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'}, "RIFF file that is not RMID"}}) {
    EXPECT_FALSE(Read(bytes, file, reason));
    EXPECT_EQ(reason, expected);
  }
}

TEST(MidiReader, KaraokeTexts) {
  MidiFile file;
  std::string reason;
  TrackBuilder words, other;
  words.Meta(0, 0x01, "@TTitle").Meta(0, 0x05, "Hel").Meta(10, 0x05, std::string("lo\xe9", 3));
  words.Meta(5, 0x01, "plain").Meta(5, 0x05, "/w\xc3\xa9").End();
  other.Meta(0, 0x01, "only text").End();
  ASSERT_TRUE(Read(BuildMidi(1, 96, {words, other}), file, reason));
  // Lyrics exist, so every track keeps only its lyric events; Windows-1252 becomes UTF-8 and
  // valid UTF-8 stays as it is.
  EXPECT_EQ(file.song.tracks[0].texts,
            (std::vector<std::string>{"Hel", "lo\xc3\xa9", "/w\xc3\xa9"}));
  EXPECT_EQ(file.song.tracks[0].textTicks, (std::vector<uint32_t>{0, 10, 20}));
  EXPECT_TRUE(file.song.tracks[1].texts.empty());

  TrackBuilder karaoke;
  karaoke.Meta(0, 0x01, "@KMIDI KARAOKE FILE")
      .Meta(0, 0x01, "\\Twin")
      .Meta(4, 0x01, std::string("kle\0", 4))
      .End();
  ASSERT_TRUE(Read(BuildMidi(1, 96, {karaoke}), file, reason));
  EXPECT_EQ(file.song.tracks[0].texts,
            (std::vector<std::string>{"@KMIDI KARAOKE FILE", "\\Twin", "kle"}));
}

// A flood of lyric events keeps the first 2^20 (with a warning) and counts them all, so memory
// stays bounded; the plain texts of the other track are dropped because lyrics exist.
TEST(MidiReader, LyricFloodKeepsABoundedNumber) {
  constexpr uint32_t kKept = 1u << 20;
  constexpr uint32_t kSent = kKept + 3;
  TrackBuilder words;
  words.bytes.reserve(size_t{kSent} * 5 + 16);
  for (uint32_t i = 0; i < kSent; ++i) {
    words.Raw({0x01, 0xFF, 0x05, 0x01, static_cast<uint8_t>('a' + i % 26)});
  }
  words.End();
  TrackBuilder other;
  other.Meta(0, 0x01, "text").Meta(1, 0x01, "more").End();
  MidiFile file;
  std::string reason;
  ASSERT_TRUE(Read(BuildMidi(1, 96, {words, other}), file, reason)) << reason;
  EXPECT_EQ(file.info.lyricEvents, kSent);
  EXPECT_EQ(file.info.textEvents, 2U);
  ASSERT_EQ(file.song.tracks[0].texts.size(), kKept);
  EXPECT_EQ(file.song.tracks[0].texts[kKept - 1], std::string(1, 'a' + (kKept - 1) % 26));
  EXPECT_EQ(file.song.tracks[0].textTicks[kKept - 1], kKept);
  EXPECT_TRUE(file.song.tracks[1].texts.empty());
  EXPECT_NE(std::find(file.info.warnings.begin(), file.info.warnings.end(),
                      "track 1: more than 1048576 lyric events: the rest ignored"),
            file.info.warnings.end());
}

TEST(MidiReader, TempoAndBarMaps) {
  Kesh::Audio::SongData song;
  song.division = 100;
  song.tempoChanges = {{0, 500000}, {400, 250000}, {400, 1000000}};
  song.timeSignatures = {{0, 4, 2}, {500, 3, 2}, {1000, 6, 3}};
  const Kesh::Audio::Midi::TempoMap tempo(song);
  EXPECT_EQ(tempo.TickToUs(400), 2000000);
  EXPECT_EQ(tempo.TickToUs(500), 3000000);  // the later change at the same tick wins
  EXPECT_EQ(tempo.UsToTick(2999999), 499u);
  EXPECT_EQ(tempo.UsToTick(3000000), 500u);
  const Kesh::Audio::Midi::BarMap bars(song);
  EXPECT_EQ(bars.BarAt(399), 0u);
  EXPECT_EQ(bars.BarAt(400), 1u);
  EXPECT_EQ(bars.BarAt(500), 2u);  // the meter change inside bar 2 starts bar 3
  EXPECT_EQ(bars.BarAt(799), 2u);
  EXPECT_EQ(bars.BarAt(800), 3u);
  EXPECT_EQ(bars.BarAt(1000), 4u);
  EXPECT_EQ(bars.BarAt(1300), 5u);  // 6/8 is 300 ticks
}
