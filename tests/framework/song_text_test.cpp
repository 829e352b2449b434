#include <gtest/gtest.h>

#include "tavro/song_data.h"

namespace {

using namespace Kesh::Audio;

SongTrack TextTrack(std::vector<std::pair<uint32_t, std::string>> texts) {
  SongTrack track;
  for (auto& [tick, text] : texts) {
    track.textTicks.push_back(tick);
    track.texts.push_back(text);
  }
  return track;
}

TEST(SongData, LastTickOverNonEmptyTracks) {
  SongData song;
  EXPECT_EQ(LastTick(song), 0U);
  song.tracks.resize(3);
  song.tracks[0].events = {{10, 0x90, 60, 100}, {400, 0x80, 60, 0}};
  song.tracks[2].events = {{300, 0x90, 62, 100}};
  EXPECT_EQ(LastTick(song), 400U);
}

TEST(SongData, TextLookupsSkipHeadersAndTracksWithoutTexts) {
  SongData song;
  song.tracks.push_back(SongTrack());  // no texts: never consulted
  song.tracks.push_back(TextTrack({{0, "@KMIDI KARAOKE FILE"}, {100, "@Ttitle"}}));
  song.tracks.push_back(TextTrack({{50, "Hel"}, {80, "lo"}, {200, "/world"}}));

  // The first track with texts decides NextTextTick, headers included.
  EXPECT_EQ(NextTextTick(song, 1), 100U);
  EXPECT_EQ(NextTextTick(song, 101), 101U);  // none after: t itself

  uint32_t tick = 0;
  EXPECT_EQ(TextAt(song, 90, tick), "lo");  // the header track's text is "@": next track
  EXPECT_EQ(tick, 80U);
  EXPECT_EQ(TextAt(song, 80, tick), "Hel");  // at the successor's tick the earlier one wins
  EXPECT_EQ(tick, 50U);
  EXPECT_EQ(TextAt(song, 10, tick), "");  // nothing in force yet in the lyric track

  bool none = true;
  tick = 60;
  // The header at 100 moves the tick; the lyric track is then searched from there.
  EXPECT_EQ(NextText(song, tick, none), "/world");
  EXPECT_FALSE(none);
  EXPECT_EQ(tick, 200U);
  tick = 0;
  song.tracks[1].texts = {"intro", "@Ttitle"};
  EXPECT_EQ(NextText(song, tick, none), "intro");
  EXPECT_EQ(tick, 0U);
}

TEST(SongData, NextTextReportsNone) {
  SongData song;
  song.tracks.push_back(TextTrack({{10, "a"}}));
  uint32_t tick = 11;
  bool none = false;
  EXPECT_EQ(NextText(song, tick, none), "");
  EXPECT_TRUE(none);
  EXPECT_EQ(tick, 11U);
}

}  // namespace
