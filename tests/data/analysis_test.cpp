#include <gtest/gtest.h>

#include <algorithm>
#include <bitset>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "data/analysis.h"
#include "tavro/song_data.h"

namespace {

using Kesh::Audio::MidiEvent;
using Kesh::Audio::SongData;
using Kesh::Data::Events::Analysis;
using Kesh::Data::Events::AnalysisSettings;
using Kesh::Data::Events::BarBegin;
using Kesh::Data::Events::BarRange;
using Kesh::Data::Events::DrumGroup;
using Kesh::Data::Tracks::Event;

const std::string kShippedConfig = TAVRO_SOURCE_DIR "/data/config/analysis.xml";

// A song at the given division, 120 quarter notes per minute, 4/4 from tick 0, one empty track.
SongData MakeSong(uint16_t division = 480) {
  SongData song;
  song.division = division;
  song.tempoChanges = {{0, 500000}};
  song.timeSignatures = {{0, 4, 2}};
  song.tracks.resize(1);
  return song;
}

void Add(SongData& song, uint32_t tick, uint8_t status, uint8_t data1, uint8_t data2 = 100,
         size_t track = 0) {
  if (song.tracks.size() <= track) {
    song.tracks.resize(track + 1);
  }
  // Kept in tick order, as the reader delivers them; equal ticks keep their order.
  auto& events = song.tracks[track].events;
  auto at = std::upper_bound(events.begin(), events.end(), tick,
                             [](uint32_t t, const MidiEvent& e) { return t < e.tick; });
  events.insert(at, MidiEvent{tick, status, data1, data2});
}

// Makes the song's last tick exactly tick (a controller message, which the analysis ignores).
void EndAt(SongData& song, uint32_t tick) { Add(song, tick, 0xB0, 7, 100); }

template <typename T>
std::vector<const T*> EventsOf(const Event* track) {
  std::vector<const T*> out;
  for (const auto* event : track->GetEvents()) {
    out.push_back(dynamic_cast<const T*>(event));
  }
  return out;
}

std::vector<const BarBegin*> Bars(const Analysis& analysis) {
  return EventsOf<BarBegin>(analysis.GetBarTrack());
}

std::vector<const BarRange*> Ranges(const Analysis& analysis, int patch) {
  const Event* track = analysis.GetTrack(patch);
  return track != nullptr ? EventsOf<BarRange>(track) : std::vector<const BarRange*>{};
}

AnalysisSettings Groups(std::vector<DrumGroup> groups) {
  AnalysisSettings settings;
  settings.drumGroups = std::move(groups);
  return settings;
}

DrumGroup Group(int patch, const char* notes, float weight = 1.0f, bool exclusive = false) {
  DrumGroup group;
  group.patch = patch;
  group.weight = weight;
  group.exclusive = exclusive;
  group.SetNoteList(notes);
  return group;
}

TEST(AnalysisArithmetic, ToMsRoundsHalvesAwayFromZero) {
  EXPECT_EQ(Analysis::ToMs(500000, 1920, 480), 2000);
  EXPECT_EQ(Analysis::ToMs(1, 499, 1), 0);      // 0.499
  EXPECT_EQ(Analysis::ToMs(1, 500, 1), 1);      // 0.5 goes up
  EXPECT_EQ(Analysis::ToMs(3, 500, 1), 2);      // 1.5 goes up
  EXPECT_EQ(Analysis::ToMs(1, 1499, 1), 1);     // 1.499
  EXPECT_EQ(Analysis::ToMs(500000, 1, 96), 5);  // 5.208
  EXPECT_EQ(Analysis::ToMs(500000, 0, 96), 0);
  EXPECT_EQ(Analysis::ToMs(500000, 1000, 0), 0);  // no division: nothing to convert
  // The full product does not fit in 64 bits; the result is still exact.
  EXPECT_EQ(Analysis::ToMs(0xFFFFFFFFu, 0xFFFFFFFFFFull, 96), 49191317518394152LL);
}

TEST(AnalysisBars, LengthCountAndDurationPerTimeSignature) {
  SongData song = MakeSong(480);
  // 4/4 for two bars, then 3/4 from tick 3840, then 6/8 from tick 3840 + 2 x 1440.
  song.timeSignatures = {{0, 4, 2}, {3840, 3, 2}, {3840 + 2 * 1440, 6, 3}};
  EndAt(song, 3840 + 2 * 1440 + 1440 * 3 + 700);  // three 6/8 bars and a partial one
  Analysis analysis(&song, AnalysisSettings());
  ASSERT_TRUE(analysis.Run()) << analysis.Error();
  EXPECT_EQ(analysis.GetGridStep(), 60u);
  const auto bars = Bars(analysis);
  ASSERT_EQ(bars.size(), 7u);  // the trailing partial bar is dropped
  const uint32_t starts[] = {0, 2000, 4000, 5500, 7000, 8500, 10000};
  for (size_t i = 0; i < bars.size(); ++i) {
    EXPECT_EQ(bars[i]->bar, i);
    EXPECT_EQ(bars[i]->start, starts[i]) << i;
    EXPECT_EQ(bars[i]->Tempo(), 120.0f);
  }
  EXPECT_EQ(bars[0]->duration, 2000u);
  EXPECT_EQ(bars[0]->Numerator(), 4.0f);
  EXPECT_EQ(bars[2]->duration, 1500u);
  EXPECT_EQ(bars[2]->Numerator(), 3.0f);
  EXPECT_EQ(bars[2]->Denominator(), 4.0f);
  EXPECT_EQ(bars[4]->Numerator(), 6.0f);
  EXPECT_EQ(bars[4]->Denominator(), 8.0f);
  EXPECT_EQ(analysis.GetTotalLength(), 11500);
  EXPECT_EQ(analysis.GetBarCount(), 7u);
}

TEST(AnalysisBars, FirstSignatureCountsFromTickZeroAndHalfBarIsDropped) {
  SongData song = MakeSong(480);
  song.timeSignatures = {{960, 4, 2}};
  EndAt(song, 10 * 1920 + 960);  // ten bars and a half
  Add(song, 0, 0xC0, 0);
  Add(song, 10 * 1920 + 60, 0x90, 60);  // a note in the half bar
  Add(song, 10 * 1920 + 600, 0x80, 60);
  Analysis analysis(&song, AnalysisSettings());
  ASSERT_TRUE(analysis.Run());
  const auto bars = Bars(analysis);
  ASSERT_EQ(bars.size(), 10u);
  EXPECT_EQ(bars[0]->start, 0u);
  EXPECT_EQ(bars[9]->start, 18000u);
  const auto ranges = Ranges(analysis, 0);
  ASSERT_EQ(ranges.size(), 10u);
  for (const auto* range : ranges) {
    EXPECT_EQ(range->NoteCount(), 0.0f);
  }
}

TEST(AnalysisBars, TempoChangeInsideABar) {
  SongData song = MakeSong(480);
  // 120 bpm, then 240 bpm from the middle of bar 0, then 100 bpm exactly at the start of bar 2.
  song.tempoChanges = {{0, 500000}, {960, 250000}, {3840, 600000}};
  EndAt(song, 3 * 1920);
  Analysis analysis(&song, AnalysisSettings());
  ASSERT_TRUE(analysis.Run());
  const auto bars = Bars(analysis);
  ASSERT_EQ(bars.size(), 3u);
  // The plain mean of the tempos met in the bar, not weighted by time; the duration follows both.
  EXPECT_EQ(bars[0]->Tempo(), 180.0f);
  EXPECT_EQ(bars[0]->duration, 1500u);
  EXPECT_EQ(bars[1]->start, 1500u);
  EXPECT_EQ(bars[1]->duration, 1000u);
  EXPECT_EQ(bars[1]->Tempo(), 240.0f);
  // A change on a bar's first tick is met inside that bar: the tempo before it joins the mean.
  EXPECT_EQ(bars[2]->Tempo(), 170.0f);
  EXPECT_EQ(bars[2]->start, 2500u);
  EXPECT_EQ(bars[2]->duration, 2400u);
  EXPECT_EQ(analysis.GetTotalLength(), 4900);
}

TEST(AnalysisBars, RunFailsWithoutTempoOrTimeSignature) {
  SongData song = MakeSong(480);
  EndAt(song, 4 * 1920);
  Add(song, 0, 0xC0, 5);
  song.tempoChanges.clear();
  Analysis noTempo(&song, AnalysisSettings());
  EXPECT_FALSE(noTempo.Run());
  EXPECT_FALSE(noTempo.Error().empty());
  EXPECT_TRUE(noTempo.GetTracks().empty());
  EXPECT_EQ(noTempo.GetBarTrack(), nullptr);

  song = MakeSong(480);
  EndAt(song, 4 * 1920);
  song.timeSignatures.clear();
  Analysis noMeter(&song, AnalysisSettings());
  EXPECT_FALSE(noMeter.Run());
  EXPECT_TRUE(noMeter.GetTracks().empty());

  Analysis noSong(nullptr, AnalysisSettings());
  EXPECT_FALSE(noSong.Run());
}

TEST(AnalysisBars, ZeroLengthBarsAndBackwardSegmentsGiveNoBars) {
  SongData song = MakeSong(480);
  // 0/4 for tick 0-1920, 4/4 for two bars, a denominator 2^40 (a bar of no ticks), 4/4 up to
  // the next signature (past the song's end), and that one, which ends before it starts.
  song.timeSignatures = {{0, 0, 2}, {1920, 4, 2}, {5760, 4, 40}, {7680, 4, 2}, {20000, 4, 2}};
  EndAt(song, 7680 + 1920);
  Analysis analysis(&song, AnalysisSettings());
  ASSERT_TRUE(analysis.Run());
  const auto bars = Bars(analysis);
  ASSERT_EQ(bars.size(), 8u);  // 2 + (20000 - 7680) / 1920
  // The tempo walk goes on over the bar-less stretches.
  EXPECT_EQ(bars[0]->start, 2000u);
  EXPECT_EQ(bars[1]->start, 4000u);
  EXPECT_EQ(bars[2]->start, 8000u);
  EXPECT_EQ(bars[2]->bar, 2u);

  // Division 0: no bar has ticks.
  SongData flat = MakeSong(0);
  EndAt(flat, 5000);
  Analysis none(&flat, AnalysisSettings());
  EXPECT_TRUE(none.Run());
  EXPECT_EQ(none.GetBarCount(), 0u);
}

TEST(AnalysisBars, MetersOutOfTickOrderAreTakenInTickOrder) {
  // A record built by hand (the reader sorts): the last meter belongs first. Unsorted, the
  // 255/8 bars were laid over the 6/64 ones and instrument tracks lost whole bars.
  SongData song = MakeSong(128);
  song.tempoChanges = {{23794, 2129789029u}};
  song.timeSignatures = {{65535, 255, 3}, {65663, 92, 2}, {-17668928, 6, 6}};
  Add(song, 0, 0xC0, 0);
  Add(song, 10, 0x90, 60);
  Add(song, 360, 0x80, 60);
  Analysis analysis(&song, AnalysisSettings());
  ASSERT_TRUE(analysis.Run());

  // 6/64 from tick 0 up to 65535 in bars of 128 * 4 * 6 / 64 = 48 ticks; 255/8 from 65535 has
  // 128 ticks for a bar of 16320; 92/4 ends at the song's end before it starts.
  const auto bars = Bars(analysis);
  ASSERT_EQ(bars.size(), 65535u / 48);
  for (size_t i = 0; i < bars.size(); ++i) {
    ASSERT_EQ(bars[i]->bar, i);
    ASSERT_EQ(bars[i]->Numerator(), 6.0f);
    ASSERT_EQ(bars[i]->Denominator(), 64.0f);
  }
  for (const auto* track : analysis.GetTracks()) {
    EXPECT_EQ(track->Count(), bars.size());
  }
  EXPECT_EQ(Ranges(analysis, 0).size(), bars.size());

  // The same song with its meters in order analyses the same.
  SongData sorted = song;
  std::rotate(sorted.timeSignatures.begin(), sorted.timeSignatures.begin() + 2,
              sorted.timeSignatures.end());
  Analysis reference(&sorted, AnalysisSettings());
  ASSERT_TRUE(reference.Run());
  const auto expected = Bars(reference);
  ASSERT_EQ(expected.size(), bars.size());
  for (size_t i = 0; i < bars.size(); ++i) {
    ASSERT_EQ(bars[i]->start, expected[i]->start);
    ASSERT_EQ(bars[i]->duration, expected[i]->duration);
  }
}

TEST(AnalysisBars, AbsurdBarCountIsRefused) {
  SongData song = MakeSong(1);  // one tick per quarter: a bar of 4 ticks
  EndAt(song, 0xFFFFFFF0u);
  Analysis analysis(&song, AnalysisSettings());
  EXPECT_FALSE(analysis.Run());
  EXPECT_NE(analysis.Error().find("too many bars"), std::string::npos);
}

TEST(AnalysisMelodic, GridSamplingFromNoteOnUpToTheNoteOffStep) {
  SongData song = MakeSong(480);
  EndAt(song, 2 * 1920);
  Add(song, 0, 0xC1, 33);
  Add(song, 130, 0x91, 40);   // grid 120
  Add(song, 330, 0x81, 40);   // grid 300: samples 120, 180, 240
  Add(song, 1800, 0x91, 50);  // across the bar line: 1800, 1860 | 1920 (no bar), 1980
  Add(song, 2040, 0x81, 50);
  Analysis analysis(&song, AnalysisSettings());
  ASSERT_TRUE(analysis.Run());
  const Event* track = analysis.GetTrack(33);
  ASSERT_NE(track, nullptr);
  EXPECT_EQ(track->GetChannel(), 1);
  const auto ranges = Ranges(analysis, 33);
  ASSERT_EQ(ranges.size(), 2u);
  EXPECT_EQ(ranges[0]->NoteCount(), 5.0f);
  EXPECT_EQ(ranges[0]->Lowest(), 40.0f);
  EXPECT_EQ(ranges[0]->Highest(), 50.0f);
  EXPECT_EQ(ranges[0]->Coverage(), 60.0f * 5 / 1920);
  EXPECT_EQ(ranges[0]->Polyphony(), 0.0f);
  EXPECT_EQ(ranges[0]->Weight(), 0.0f);
  EXPECT_EQ(ranges[0]->start, 0u);
  EXPECT_EQ(ranges[0]->duration, 2000u);
  EXPECT_EQ(ranges[1]->NoteCount(), 1.0f);
  EXPECT_EQ(ranges[1]->start, 2000u);
  EXPECT_EQ(ranges[1]->bar, 1u);
}

TEST(AnalysisMelodic, NoteOnABarsFirstTickIsInNoBar) {
  SongData song = MakeSong(480);
  EndAt(song, 2 * 1920);
  Add(song, 0, 0xC0, 0);
  Add(song, 1920, 0x90, 60);  // one sample, at 1920
  Add(song, 1990, 0x80, 60);
  Analysis analysis(&song, AnalysisSettings());
  ASSERT_TRUE(analysis.Run());
  const auto ranges = Ranges(analysis, 0);
  ASSERT_EQ(ranges.size(), 2u);
  EXPECT_EQ(ranges[0]->NoteCount(), 0.0f);
  EXPECT_EQ(ranges[1]->NoteCount(), 0.0f);
  EXPECT_EQ(ranges[1]->Lowest(), 0.0f);  // an empty bar reports 0 for both ends
  EXPECT_EQ(ranges[1]->Highest(), 0.0f);
}

TEST(AnalysisMelodic, VelocityZeroNoteOnIsANoteOn) {
  SongData song = MakeSong(480);
  EndAt(song, 1920);
  Add(song, 0, 0xC0, 0);
  Add(song, 120, 0x90, 60, 100);
  Add(song, 240, 0x90, 60, 0);  // not an end: the note sounds on
  Add(song, 480, 0x80, 60, 0);  // 120 ... 420: six samples
  Add(song, 600, 0x90, 64, 0);  // starts a note, never ended: 600, 660, 720
  Add(song, 720, 0x80, 70, 0);  // not sounding: no change
  Add(song, 780, 0x90, 72, 0);  // the program's last mark: nothing sounds after it
  Analysis analysis(&song, AnalysisSettings());
  ASSERT_TRUE(analysis.Run());
  const auto ranges = Ranges(analysis, 0);
  ASSERT_EQ(ranges.size(), 1u);
  EXPECT_EQ(ranges[0]->NoteCount(), 9.0f);
  EXPECT_EQ(ranges[0]->Highest(), 64.0f);
}

TEST(AnalysisMelodic, PolyphonyCoverageAndPooledChannels) {
  SongData song = MakeSong(480);
  EndAt(song, 1920);
  Add(song, 0, 0x93, 60);  // before channel 3 has a program: ignored
  Add(song, 10, 0xC2, 48);
  Add(song, 10, 0xC3, 48);  // a second channel on the same program pools its notes
  Add(song, 20, 0xC4, 1);   // a program without notes: a track, but no ranges
  // Channel 2: C E G for four steps from 240; channel 3: a low A for eight steps from 240.
  for (uint8_t note : {60, 64, 67}) {
    Add(song, 240, 0x92, note);
  }
  Add(song, 240, 0x93, 45);
  for (uint8_t note : {60, 64, 67}) {
    Add(song, 480, 0x82, note);
  }
  Add(song, 720, 0x83, 45);
  Add(song, 800, 0x83, 60, 0);  // the note 60 is already off: no change
  Analysis analysis(&song, AnalysisSettings());
  ASSERT_TRUE(analysis.Run());
  const Event* track = analysis.GetTrack(48);
  ASSERT_NE(track, nullptr);
  EXPECT_EQ(track->GetChannel(), 2);  // the channel that selected the program first
  const auto ranges = Ranges(analysis, 48);
  ASSERT_EQ(ranges.size(), 1u);
  // Steps 240-420: four notes each; 480-660: one note each.
  EXPECT_EQ(ranges[0]->NoteCount(), 20.0f);
  EXPECT_EQ(ranges[0]->Polyphony(), 12.0f / 20.0f);
  EXPECT_EQ(ranges[0]->Coverage(), 60.0f * 8 / 1920);
  EXPECT_EQ(ranges[0]->Lowest(), 45.0f);
  EXPECT_EQ(ranges[0]->Highest(), 67.0f);
  ASSERT_NE(analysis.GetTrack(1), nullptr);
  EXPECT_EQ(analysis.GetTrack(1)->Count(), 0u);
  EXPECT_EQ(analysis.GetTrack(1)->GetChannel(), 4);
}

TEST(AnalysisMelodic, ProgramStaysWithTheChannelAcrossTracksAndRunStartsOver) {
  SongData song = MakeSong(480);
  EndAt(song, 1920);
  Add(song, 0, 0xC0, 10);
  Add(song, 1000, 0xC0, 20);
  // A later track's notes go to the program its channel had when the earlier tracks were read.
  Add(song, 60, 0x90, 60, 100, 1);
  Add(song, 180, 0x80, 60, 100, 1);
  Analysis analysis(&song, AnalysisSettings());
  ASSERT_TRUE(analysis.Run());
  EXPECT_TRUE(Ranges(analysis, 10).empty());
  ASSERT_EQ(Ranges(analysis, 20).size(), 1u);
  EXPECT_EQ(Ranges(analysis, 20)[0]->NoteCount(), 2.0f);
  // Tracks in order: bar track, then programs as they were selected.
  std::vector<int> patches;
  auto* e = analysis.GetEnumerator();
  while (e->MoveNext()) {
    patches.push_back(e->Current()->GetPatch());
  }
  EXPECT_EQ(patches, (std::vector<int>{-1, 10, 20}));
  ASSERT_TRUE(analysis.Run());
  EXPECT_EQ(analysis.GetTracks().size(), 3u);
  EXPECT_EQ(Ranges(analysis, 20).size(), 1u);
  EXPECT_EQ(analysis.GetBarCount(), 1u);
}

TEST(AnalysisMelodic, SmallDivisionSamplesEveryTick) {
  SongData song = MakeSong(4);  // 4/4 bar of 16 ticks; a thirty-second is less than a tick
  EndAt(song, 32);
  Add(song, 0, 0xC0, 0);
  Add(song, 3, 0x90, 60);
  Add(song, 7, 0x80, 60);
  Analysis analysis(&song, AnalysisSettings());
  ASSERT_TRUE(analysis.Run());
  EXPECT_EQ(analysis.GetGridStep(), 1u);
  ASSERT_EQ(Ranges(analysis, 0).size(), 2u);
  EXPECT_EQ(Ranges(analysis, 0)[0]->NoteCount(), 4.0f);
}

TEST(AnalysisDrums, WholeNumberMembership) {
  DrumGroup group = Group(200, "36, 38");
  EXPECT_EQ(group.notes, "36, 38,");
  EXPECT_TRUE(group.Contains(36));
  EXPECT_TRUE(group.Contains(38));
  EXPECT_FALSE(group.Contains(6));  // "6," occurs in the text, but 6 is not in the list
  EXPECT_FALSE(group.Contains(3));
  DrumGroup odd = Group(200, "x,128,,-1, 042 ,7a");
  EXPECT_EQ(odd.members.count(), 1u);
  EXPECT_TRUE(odd.Contains(42));

  SongData song = MakeSong(480);
  EndAt(song, 1920);
  for (uint32_t tick : {60, 120, 180}) {
    Add(song, tick, 0x99, 6);
  }
  Add(song, 240, 0x99, 36);
  Analysis analysis(&song, Groups({Group(200, "36,38"), Group(201, "6")}));
  ASSERT_TRUE(analysis.Run());
  EXPECT_EQ(Ranges(analysis, 200)[0]->NoteCount(), 0.0f);
  EXPECT_EQ(Ranges(analysis, 201)[0]->NoteCount(), 3.0f);
}

TEST(AnalysisDrums, HeaviestNonExclusiveGroupReportsAndExclusiveGroupsAlways) {
  SongData song = MakeSong(480);
  EndAt(song, 3 * 1920);
  // Bar 0: 4 kicks, 8 hats (two on one step), 1 tom. Bar 1: 2 kicks, 2 hats (a tie).
  // Bar 2: 3 toms only. Every hit is a note-on and a note-off: both count.
  const auto hit = [&](uint32_t tick, uint8_t note) {
    Add(song, tick, 0x99, note, 100);
    Add(song, tick + 30, 0x89, note, 0);
  };
  for (uint32_t i = 0; i < 4; ++i) {
    hit(60 + i * 480, 36);
  }
  for (uint32_t i = 0; i < 7; ++i) {
    hit(60 + i * 240, 42);
  }
  hit(60, 44);
  hit(1800, 45);
  hit(1920 + 60, 36);
  hit(1920 + 540, 36);
  hit(1920 + 60, 42);
  hit(1920 + 540, 42);
  hit(3840 + 60, 45);
  hit(3840 + 300, 45);
  hit(3840 + 540, 47);
  Add(song, 3840 + 900, 0xB9, 7, 100);  // a controller on channel 10 counts as a hit of note 7
  Analysis analysis(&song, Groups({Group(200, "35,36", 1.0f), Group(201, "42,44", 1.0f),
                                   Group(202, "45,47", 1.0f), Group(204, "36,45", 2.0f, true)}));
  ASSERT_TRUE(analysis.Run());
  const auto kick = Ranges(analysis, 200);
  const auto hats = Ranges(analysis, 201);
  const auto toms = Ranges(analysis, 202);
  const auto percussion = Ranges(analysis, 204);
  ASSERT_EQ(kick.size(), 3u);
  ASSERT_EQ(percussion.size(), 3u);

  // Bar 0: 26 hits on 8 grid steps (every note-off lies on its note-on's step).
  EXPECT_EQ(kick[0]->NoteCount(), 0.0f);
  EXPECT_EQ(hats[0]->NoteCount(), 16.0f);
  EXPECT_EQ(toms[0]->NoteCount(), 0.0f);
  EXPECT_EQ(percussion[0]->NoteCount(), 10.0f);  // 4 kicks and 1 tom, on and off
  EXPECT_FLOAT_EQ(hats[0]->Weight(), 16.0f / 26.0f);
  EXPECT_FLOAT_EQ(kick[0]->Weight(), 8.0f / 26.0f);
  EXPECT_FLOAT_EQ(percussion[0]->Weight(), 2.0f * 10.0f / 26.0f);
  // Shared values: all drum hits, whatever the group.
  EXPECT_EQ(kick[0]->Lowest(), 36.0f);
  EXPECT_EQ(kick[0]->Highest(), 45.0f);
  EXPECT_EQ(hats[0]->Polyphony(), 18.0f);  // a count, not divided
  EXPECT_EQ(hats[0]->Coverage(), 8.0f);    // steps, not a share
  // Bar 1: kick and hats tie; the earlier group reports.
  EXPECT_EQ(kick[1]->NoteCount(), 4.0f);
  EXPECT_EQ(hats[1]->NoteCount(), 0.0f);
  EXPECT_EQ(hats[1]->Weight(), kick[1]->Weight());
  // Bar 2: toms outweigh group 0.
  EXPECT_EQ(toms[2]->NoteCount(), 6.0f);
  EXPECT_EQ(kick[2]->NoteCount(), 0.0f);
  EXPECT_EQ(percussion[2]->NoteCount(), 4.0f);
  EXPECT_EQ(kick[2]->Lowest(), 7.0f);
}

TEST(AnalysisDrums, ExclusiveFirstGroupKeepsTheLeadUnlessOutweighed) {
  SongData song = MakeSong(480);
  EndAt(song, 1920);
  for (uint32_t i = 0; i < 4; ++i) {
    Add(song, 60 + i * 240, 0x99, 36);
  }
  Add(song, 1000, 0x99, 42);
  // Group 0 is exclusive and heavier than group 1: no non-exclusive group reports.
  Analysis analysis(&song, Groups({Group(200, "36", 1.0f, true), Group(201, "42", 1.0f)}));
  ASSERT_TRUE(analysis.Run());
  EXPECT_EQ(Ranges(analysis, 200)[0]->NoteCount(), 4.0f);
  EXPECT_EQ(Ranges(analysis, 201)[0]->NoteCount(), 0.0f);
  Analysis heavier(&song, Groups({Group(200, "36", 1.0f, true), Group(201, "42", 5.0f)}));
  ASSERT_TRUE(heavier.Run());
  EXPECT_EQ(Ranges(heavier, 201)[0]->NoteCount(), 1.0f);
}

TEST(AnalysisDrums, SongWithoutDrumsGetsOneTrackPerGroup) {
  SongData song = MakeSong(480);
  EndAt(song, 2 * 1920);
  Add(song, 0, 0xC0, 200 & 0x7F);  // program 72: not a drum patch
  Add(song, 100, 0x90, 60);
  Add(song, 400, 0x80, 60);
  Analysis analysis(
      &song, Groups({Group(200, "36"), Group(201, "38"), Group(201, "42"), Group(72, "40")}));
  ASSERT_TRUE(analysis.Run());
  // Bar track, program 72 (shared with the last group), then 200 and 201 (shared by two groups).
  ASSERT_EQ(analysis.GetTracks().size(), 4u);
  EXPECT_EQ(analysis.GetTracks()[2]->GetPatch(), 200);
  EXPECT_EQ(analysis.GetTracks()[2]->GetChannel(), 9);
  EXPECT_EQ(analysis.GetTracks()[3]->GetPatch(), 201);
  for (int patch : {200, 201}) {
    const auto ranges = Ranges(analysis, patch);
    ASSERT_EQ(ranges.size(), patch == 200 ? 2u : 4u);
    for (const auto* range : ranges) {
      for (int i = 0; i < BarRange::kParamCount; ++i) {
        EXPECT_EQ(range->GetParam(i), 0.0f);
      }
    }
  }
  // The program's own range comes first in its bar, the drum group's after it.
  const auto shared = Ranges(analysis, 72);
  ASSERT_EQ(shared.size(), 4u);
  EXPECT_EQ(shared[0]->NoteCount(), 5.0f);
  EXPECT_EQ(shared[1]->NoteCount(), 0.0f);
  EXPECT_EQ(shared[1]->start, 0u);
}

TEST(AnalysisSettingsFile, ShippedFileCoversEveryPercussionNote) {
  AnalysisSettings settings;
  std::string error;
  ASSERT_TRUE(settings.Load(kShippedConfig, &error)) << error;
  ASSERT_GE(settings.drumGroups.size(), 4u);
  std::bitset<128> drummer;
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(settings.drumGroups[i].patch, 200 + static_cast<int>(i));
    EXPECT_FALSE(settings.drumGroups[i].name.empty());
    EXPECT_GT(settings.drumGroups[i].weight, 0.0f);
    drummer |= settings.drumGroups[i].members;
  }
  for (int note = 35; note <= 81; ++note) {
    EXPECT_TRUE(drummer.test(note)) << note;
  }
  for (size_t i = 4; i < settings.drumGroups.size(); ++i) {
    EXPECT_GT(settings.drumGroups[i].patch, 203);
  }
  EXPECT_GT(settings.soloMinSoloLength, 0.0);
  SongData song = MakeSong(480);
  Analysis analysis(&song, kShippedConfig);
  EXPECT_TRUE(analysis.IsConfigLoaded());
  EXPECT_EQ(analysis.GetHistogramBin(), 480u * settings.histogramBinSize / 16);
}

TEST(AnalysisSettingsFile, ReadsAttributesAndSurvivesAMissingFile) {
  AnalysisSettings settings;
  ASSERT_TRUE(settings.LoadText(R"(<Root><Analysis><params hist_bin_size="32"/>
      <Events><PauseMid MinLength="2.5"/><Solo MaxOverlepedNotes="3"/></Events>
      <Drums><list1 Name="A" Patch="210" Exclusive="2" X="0.5" NoteList="1,2"/>
             <list2 Name="no patch" NoteList="3"/>
             <list3 Name="C" Patch="211" NoteList="4"/>
             <list5 Name="after a gap" Patch="212" NoteList="5"/></Drums></Analysis></Root>)"));
  EXPECT_EQ(settings.histogramBinSize, 32);
  EXPECT_EQ(settings.pauseMidMinLength, 2.5);
  EXPECT_EQ(settings.soloMaxOverlappedNotes, 3.0);
  ASSERT_EQ(settings.drumGroups.size(), 2u);  // list2 has no patch; list4 ends the numbering
  EXPECT_EQ(settings.drumGroups[0].name, "A");
  EXPECT_TRUE(settings.drumGroups[0].exclusive);
  EXPECT_EQ(settings.drumGroups[0].weight, 0.5f);
  EXPECT_EQ(settings.drumGroups[1].patch, 211);
  EXPECT_FALSE(settings.drumGroups[1].exclusive);
  EXPECT_EQ(settings.drumGroups[1].weight, 1.0f);
  EXPECT_FALSE(settings.LoadText("<Root><Other/></Root>"));
  EXPECT_FALSE(settings.LoadText("not xml"));
  std::string why;
  EXPECT_FALSE(settings.LoadText("<Root><Group></Root>", &why));
  EXPECT_EQ(why, "analysis settings do not parse: Start-end tags mismatch at byte 15");

  SongData song = MakeSong(480);
  EndAt(song, 1920);
  Analysis analysis(&song, std::string("/nonexistent/analysis.xml"));
  EXPECT_FALSE(analysis.IsConfigLoaded());
  EXPECT_EQ(analysis.ConfigError(),
            "analysis settings '/nonexistent/analysis.xml': cannot open the file");
  ASSERT_TRUE(analysis.Run());
  EXPECT_EQ(analysis.GetTracks().size(), 1u);
}

}  // namespace
