// The bundled demo songs: each opens, gives a band of at least four busy parts and a drummer that
// moves between its drum groups; the karaoke song's words come in pages and lines as written.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "audio/midi/midi_file.h"
#include "data/analysis.h"

namespace {

namespace fs = std::filesystem;
using Kesh::Data::Events::Analysis;
using Kesh::Data::Events::BarRange;

const fs::path kDemo = fs::path(TAVRO_SOURCE_DIR) / "data" / "demo";
const std::string kConfig = TAVRO_SOURCE_DIR "/data/config/analysis.xml";

std::vector<std::string> PlaylistItems() {
  std::ifstream in(kDemo / "demo.m3u");
  std::vector<std::string> items;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line[0] != '#') {
      items.push_back(line);
    }
  }
  return items;
}

TEST(DemoSongs, EverySongOfThePlaylistGivesABusyBand) {
  const auto items = PlaylistItems();
  ASSERT_EQ(items.size(), 6u);
  for (const std::string& item : items) {
    SCOPED_TRACE(item);
    Kesh::Audio::Midi::MidiFile file;
    std::string reason;
    ASSERT_TRUE(Kesh::Audio::Midi::ReadMidiFile((kDemo / item).string(), file, reason)) << reason;
    Analysis analysis(&file.song, kConfig);
    ASSERT_TRUE(analysis.Run()) << analysis.Error();
    const size_t bars = analysis.GetBarCount();
    const double seconds = analysis.GetTotalLength() / 1000.0;
    EXPECT_GE(seconds, 60.0);
    EXPECT_LE(seconds, 120.0);

    // Melodic parts busy (more than four notes) in at least eight bars but resting in some.
    int busyParts = 0;
    for (const auto* track : analysis.GetTracks()) {
      if (track == analysis.GetBarTrack() || track->GetChannel() == 9) {
        continue;
      }
      size_t busy = 0;
      for (const auto* range : track->GetEvents()) {
        busy += range->GetParam(BarRange::kNoteCount) > 4.0F ? 1 : 0;
      }
      EXPECT_LT(busy, bars) << "patch " << track->GetPatch() << " never rests";
      busyParts += busy >= 8 ? 1 : 0;
    }
    // The drummer leads with the heaviest group of each bar: at least two groups take turns.
    std::vector<float> best(bars, 0.0F);
    std::vector<int> lead(bars, -1);
    for (const auto& group : analysis.GetDrumGroups()) {
      if (group.exclusive) {
        continue;
      }
      size_t bar = 0;
      for (const auto* range : analysis.GetTrack(group.patch)->GetEvents()) {
        const float weight = range->GetParam(BarRange::kNoteCount) * group.weight;
        if (weight > best[bar]) {
          best[bar] = weight;
          lead[bar] = group.patch;
        }
        ++bar;
      }
    }
    std::set<int> leading(lead.begin(), lead.end());
    leading.erase(-1);
    EXPECT_GE(busyParts + (leading.empty() ? 0 : 1), 4);
    EXPECT_GE(leading.size(), 1u);
    if (item != "classic.mid") {
      EXPECT_GE(leading.size(), 3u);
    }
  }
}

TEST(DemoSongs, KaraokeWordsComeInPagesOfTwoLines) {
  Kesh::Audio::Midi::MidiFile file;
  std::string reason;
  ASSERT_TRUE(Kesh::Audio::Midi::ReadMidiFile((kDemo / "lantern.kar").string(), file, reason))
      << reason;
  std::vector<std::vector<std::string>> pages;
  // The headers sit at tick 0, the words after them.
  uint32_t tick = 1;
  uint32_t previous = 1;
  for (bool none = false;;) {
    const std::string text = NextText(file.song, tick, none);
    if (none) {
      break;
    }
    EXPECT_GE(tick, previous);
    previous = tick;
    ++tick;
    if (text[0] == '\\') {
      pages.push_back({text.substr(1)});
    } else if (text[0] == '/') {
      ASSERT_FALSE(pages.empty());
      pages.back().push_back(text.substr(1));
    } else {
      ASSERT_FALSE(pages.empty()) << "words before the first page: " << text;
      pages.back().back() += text;
    }
  }
  ASSERT_EQ(pages.size(), 5u);
  for (const auto& page : pages) {
    EXPECT_EQ(page.size(), 2u);
  }
  EXPECT_EQ(pages[0][0], "Lights come up on the old town square");
  EXPECT_EQ(pages[4][1], "Hey hey, sing it soft and slow");
}

}  // namespace
