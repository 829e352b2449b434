// Every real song of the corpus, read by the MIDI reader, analyses without error, and the result
// holds together: bars follow each other, every measured instrument has one range per bar.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "audio/midi/midi_file.h"
#include "data/analysis.h"

namespace {

namespace fs = std::filesystem;
using Kesh::Data::Events::Analysis;
using Kesh::Data::Events::BarRange;

const std::string kConfig = TAVRO_SOURCE_DIR "/data/config/analysis.xml";

std::vector<fs::path> CorpusFiles() {
  std::vector<fs::path> files;
  for (const char* folder : {"songs", "kar"}) {
    const fs::path dir = fs::path(TAVRO_CORPUS_DIR) / folder;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
      if (entry.is_regular_file()) {
        files.push_back(entry.path());
      }
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

TEST(AnalysisCorpus, EverySongAnalyses) {
  const auto files = CorpusFiles();
  if (files.empty()) {
    GTEST_SKIP() << "no corpus at " << TAVRO_CORPUS_DIR << "/songs and /kar";
  }
  size_t withDrums = 0;
  for (const fs::path& path : files) {
    SCOPED_TRACE(path.filename().string());
    Kesh::Audio::Midi::MidiFile file;
    std::string reason;
    ASSERT_TRUE(Kesh::Audio::Midi::ReadMidiFile(path.string(), file, reason)) << reason;
    Analysis analysis(&file.song, kConfig);
    ASSERT_TRUE(analysis.IsConfigLoaded()) << analysis.ConfigError();
    ASSERT_TRUE(analysis.Run()) << analysis.Error();
    const size_t bars = analysis.GetBarCount();
    EXPECT_GT(bars, 0u);

    int64_t sum = 0;
    uint32_t index = 0;
    int64_t previousEnd = 0;
    for (const auto* bar : analysis.GetBarTrack()->GetEvents()) {
      EXPECT_EQ(bar->bar, index++);
      EXPECT_GE(static_cast<int64_t>(bar->start), previousEnd);
      previousEnd = static_cast<int64_t>(bar->start) + bar->duration;
      sum += bar->duration;
      const float tempo = bar->GetParam(2);
      EXPECT_TRUE(tempo > 0.0f && tempo < 1.0e6f) << tempo;
    }
    EXPECT_EQ(sum, analysis.GetTotalLength());

    for (const auto* track : analysis.GetTracks()) {
      if (track == analysis.GetBarTrack()) {
        continue;
      }
      EXPECT_TRUE(track->Count() % bars == 0) << "patch " << track->GetPatch();
      for (const auto* event : track->GetEvents()) {
        ASSERT_EQ(event->GetType(), BarRange::kType);
        const float count = event->GetParam(BarRange::kNoteCount);
        EXPECT_GE(count, 0.0f);
        EXPECT_LE(event->GetParam(BarRange::kLowest), event->GetParam(BarRange::kHighest));
        if (track->GetChannel() != 9) {
          EXPECT_GE(event->GetParam(BarRange::kCoverage), 0.0f);
          // Slightly above 1 when the grid step does not divide the bar (division 89).
          EXPECT_LE(event->GetParam(BarRange::kCoverage), 1.05f);
        }
      }
    }
    for (const auto& group : analysis.GetDrumGroups()) {
      const auto* track = analysis.GetTrack(group.patch);
      ASSERT_NE(track, nullptr);
      EXPECT_EQ(track->Count(), bars);
      for (const auto* event : track->GetEvents()) {
        withDrums += event->GetParam(BarRange::kNoteCount) > 0.0f ? 1 : 0;
      }
    }
  }
  EXPECT_GT(withDrums, 0u);
}

}  // namespace
