// The lyric page on a real karaoke file: pages start at "\\" texts, lines at "/" texts, and the
// current syllable follows the position. The expected pages are worked out here from the raw
// texts with a rule of their own.
#include "game/lyrics.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "audio/midi/midi_file.h"
#include "gfx/lyric_page.h"
#include "tavro/text_encoding.h"

namespace {

const char* const kSong = TAVRO_CORPUS_DIR "/kar/dmidiplayer__twinkle.kar";

struct Text {
  uint32_t tick;
  std::string text;
};

// The song's lyric texts without "@" headers, in tick order (the first track with texts).
std::vector<Text> Lyrics(const Kesh::Audio::SongData& song) {
  std::vector<Text> texts;
  for (const auto& track : song.tracks) {
    if (track.texts.empty()) {
      continue;
    }
    for (size_t i = 0; i < track.texts.size(); ++i) {
      if (track.texts[i].empty() || track.texts[i][0] != '@') {
        texts.push_back({track.textTicks[i], track.texts[i]});
      }
    }
    break;
  }
  return texts;
}

TEST(LyricPage, PagesARealKaraokeFile) {
  if (!std::filesystem::exists(kSong)) {
    GTEST_SKIP() << "the corpus is not at " << kSong;
  }
  Kesh::Audio::Midi::MidiFile file;
  std::string reason;
  ASSERT_TRUE(Kesh::Audio::Midi::ReadMidiFile(kSong, file, reason)) << reason;
  const Kesh::Audio::SongData& song = file.song;
  const std::vector<Text> texts = Lyrics(song);
  ASSERT_GT(texts.size(), 20u);

  // Page starts: the first text and the texts beginning with "\\".
  std::vector<size_t> pageStarts{0};
  for (size_t i = 1; i < texts.size(); ++i) {
    if (texts[i].text[0] == '\\' || texts[i].text[0] == '\r') {
      pageStarts.push_back(i);
    }
  }
  ASSERT_EQ(pageStarts.size(), 2u) << "twinkle has two pages of lines split by \"/\"";
  pageStarts.push_back(texts.size());

  // The expected page from its first text up to the next page's, by the page rules.
  const auto expectedPage = [&](size_t first, size_t end, int& lines) {
    std::vector<std::string> expected;
    lines = 1;
    bool slash = false;
    for (size_t i = first; i < end; ++i) {
      std::string text = texts[i].text;
      if (i == first) {
        if (text[0] == '\\' || text[0] == '/' || text[0] == '\r') {
          text.erase(0, 1);
        }
      } else if (text == "/" || text == "\n") {
        ++lines;
        slash = true;
        continue;
      } else if (text[0] == '/' || text[0] == '\n') {
        ++lines;
      } else if (slash) {
        text = "/" + text;
      }
      slash = false;
      expected.push_back(text);
    }
    return expected;
  };

  // The frame loop updates the page as the song goes; here tick by tick.
  Kesh::Game::LyricPage page;
  std::vector<uint32_t> turns;  // the ticks at which a new page appeared
  uint32_t shownStart = UINT32_MAX;
  const uint32_t lastTick = texts.back().tick + 1000;
  for (uint32_t now = 0; now <= lastTick; ++now) {
    page.Update(song, now);
    if (!page.Times().empty() && page.Times().begin()->first != shownStart) {
      shownStart = page.Times().begin()->first;
      turns.push_back(now);
    }
    for (size_t p = 0; p + 1 < pageStarts.size(); ++p) {
      const size_t first = pageStarts[p];
      const size_t end = pageStarts[p + 1];
      if (now == texts[first].tick) {
        SCOPED_TRACE("page " + std::to_string(p));
        int lines = 0;
        EXPECT_EQ(page.Syllables(), expectedPage(first, end, lines));
        EXPECT_EQ(page.Lines(), lines);
        EXPECT_GT(lines, 1) << "twinkle's pages have several lines";
        EXPECT_EQ(page.CurrentSyllable(), 0);
      }
      for (size_t i = first; i < end; ++i) {
        if (now == texts[i].tick + 1) {
          SCOPED_TRACE("text " + std::to_string(i));
          ASSERT_GE(page.CurrentSyllable(), 0);
          const std::string sung = page.Syllables().at(page.CurrentSyllable());
          const std::string raw = texts[i].text;
          EXPECT_TRUE(sung == raw || sung == "/" + raw || "\\" + sung == raw) << sung;
        }
      }
    }
    if (now + 1 == texts.front().tick) {
      EXPECT_EQ(page.CurrentSyllable(), -1) << "nothing is sung before the first syllable";
    }
  }
  // The first page comes 580 ticks ahead (nothing is sung yet), the second 80 ticks ahead; at
  // exactly its tick a text is not yet in force (the earlier text wins), hence one tick later.
  ASSERT_EQ(turns.size(), 2u);
  EXPECT_EQ(turns[0], texts[pageStarts[0]].tick - 580 + 1);
  EXPECT_EQ(turns[1], texts[pageStarts[1]].tick - 80 + 1);
}

TEST(LyricPage, AHugeSyllableIsKeptAndLaidOutOnlyAsFarAsItCanBeShown) {
  // Two-byte characters ("é") around the cut, so the cut must fall between characters.
  std::string huge = "/";
  for (int i = 0; i < 1 << 19; ++i) {
    huge += "\xC3\xA9";  // a megabyte
  }
  Kesh::Audio::SongData song;
  song.tracks.resize(1);
  song.tracks[0].texts = {"\\la", huge, "/end"};
  song.tracks[0].textTicks = {1000, 2000, 3000};
  Kesh::Game::LyricPage page;
  page.Update(song, 500);  // the page comes ahead of its first syllable
  page.Update(song, 2100);
  ASSERT_EQ(page.Syllables().size(), 3u);
  const std::string& kept = page.Syllables()[1];
  EXPECT_LE(kept.size(), Kesh::Game::LyricPage::kMaxSyllableBytes);
  EXPECT_GE(kept.size(), Kesh::Game::LyricPage::kMaxSyllableBytes - 1);
  EXPECT_EQ(kept.substr(0, 3), "/\xC3\xA9");
  EXPECT_TRUE(Vell::Text::IsValidUtf8(kept));
  EXPECT_EQ(page.CurrentSyllable(), 1);

  // However many and however long the syllables of a line, it is laid out up to its limit.
  const std::vector<std::string> many(5000, "\xC3\xA9\xC3\xA9x");
  const std::vector<Vell::Gfx::LyricLine> lines = Vell::Gfx::LayoutLyricPage(many, 4000, 1);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_LE(lines[0].text.size(), Vell::Gfx::kMaxLyricLineBytes);
  EXPECT_GT(lines[0].text.size(), Vell::Gfx::kMaxLyricLineBytes - 5);
  EXPECT_TRUE(Vell::Text::IsValidUtf8(lines[0].text));
  EXPECT_EQ(lines[0].sungBytes, lines[0].text.size()) << "the cut part is all sung";
}

}  // namespace
