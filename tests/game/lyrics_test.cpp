// The lyric page on a real karaoke file: pages start at "\\" texts, lines at "/" texts, and the
// current syllable follows the position. The expected pages are worked out here from the raw
// texts with a rule of their own.
#include "game/lyrics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

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
  // The first page shows from the start; the second once the first page's last syllable has been
  // sung for half a beat, or two seconds before its own first syllable (twinkle: 500000 us a
  // quarter, so 2 s are four quarters), whichever is later, and at the latest at that syllable.
  ASSERT_EQ(turns.size(), 2u);
  EXPECT_EQ(turns[0], 0u);
  ASSERT_EQ(song.tempoChanges.size(), 1u);
  const uint32_t quarter = song.division;
  const double secondsPerQuarter = song.tempoChanges[0].tempo / 1e6;
  const uint32_t preview =
      texts[pageStarts[1]].tick - static_cast<uint32_t>(2.0 / secondsPerQuarter * quarter);
  const uint32_t sung = texts[pageStarts[1] - 1].tick + quarter / 2;
  EXPECT_EQ(turns[1], std::min(std::max(preview, sung), texts[pageStarts[1]].tick));
}

// Over every lyric file of the corpus and the demo karaoke song: when a syllable's time comes,
// the page shown holds it and marks it as the one being sung; no page is skipped; the first page
// shows before the first syllable.
TEST(LyricPage, EverySyllableIsSungOnTheShownPage) {
  std::vector<std::string> files{TAVRO_SOURCE_DIR "/data/demo/lantern.kar"};
  const std::string kar = TAVRO_CORPUS_DIR "/kar";
  if (std::filesystem::is_directory(kar)) {
    for (const auto& entry : std::filesystem::directory_iterator(kar)) {
      files.push_back(entry.path().string());
    }
  }
  std::sort(files.begin(), files.end());
  int checked = 0;
  for (const std::string& path : files) {
    SCOPED_TRACE(path);
    Kesh::Audio::Midi::MidiFile file;
    std::string reason;
    if (!Kesh::Audio::Midi::ReadMidiFile(path.c_str(), file, reason)) {
      continue;
    }
    const Kesh::Audio::SongData& song = file.song;
    // The syllables as the page stores them: each text tick once, bare line breaks left out.
    std::vector<uint32_t> syllables;
    uint32_t pagesSeen = 0;
    for (uint32_t tick = 0;; ++tick) {
      bool none = true;
      const std::string text = Kesh::Audio::NextText(song, tick, none);
      if (none) {
        // Stopped at a header text: go on after it while texts follow.
        const bool later = std::any_of(song.tracks.begin(), song.tracks.end(), [&](const auto& t) {
          return !t.textTicks.empty() && t.textTicks.back() > tick;
        });
        if (later) {
          continue;
        }
        break;
      }
      pagesSeen += syllables.empty() || text[0] == '\\' || text[0] == '\r' ? 1 : 0;
      if (text != "/" && text != "\n") {
        syllables.push_back(tick);
      }
    }
    if (syllables.empty()) {
      continue;
    }
    ++checked;
    Kesh::Game::LyricPage page;
    page.Update(song, 0);
    EXPECT_FALSE(page.Syllables().empty()) << "no page at the start of the song";
    uint32_t turns = 1;
    uint32_t shownStart = page.Times().empty() ? UINT32_MAX : page.Times().begin()->first;
    size_t next = 0;
    int missed = 0;
    for (uint32_t now = 0; next < syllables.size(); ++now) {
      page.Update(song, now);
      if (!page.Times().empty() && page.Times().begin()->first != shownStart) {
        shownStart = page.Times().begin()->first;
        ++turns;
      }
      while (next < syllables.size() && syllables[next] == now) {
        const auto at = page.Times().find(now);
        if (at == page.Times().end() || page.CurrentSyllable() != at->second) {
          ++missed;
          ADD_FAILURE() << "the syllable at tick " << now << " is not sung on the shown page";
        }
        ++next;
      }
      if (missed > 5) {
        break;
      }
    }
    EXPECT_EQ(turns, pagesSeen) << "pages shown";
  }
  EXPECT_GE(checked, 8);
  std::printf("%d lyric files checked\n", checked);
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
