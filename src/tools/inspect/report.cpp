#include "tools/inspect/report.h"

#include <filesystem>
#include <map>
#include <memory>
#include <vector>

#include "data/analysis.h"
#include "platform/platform.h"

namespace Kesh::Data {

std::string FindAnalysisSettings() {
  std::error_code ec;
  std::string local = Events::Analysis::kConfigPath;
  if (std::filesystem::is_regular_file(local, ec)) {
    return local;
  }
  std::string beside = Vell::Platform::ProgramDirectory() + "/config/analysis.xml";
  if (std::filesystem::is_regular_file(beside, ec)) {
    return beside;
  }
  return {};
}

namespace {

// Which of the competing drum groups reports each bar: the group's number in the settings (1-9),
// "." when none has hits. Shows how the drummer's playing set changes through the song.
void PrintDrummer(std::FILE* out, const Events::Analysis& analysis) {
  const auto& groups = analysis.GetDrumGroups();
  const size_t bars = analysis.GetBarCount();
  std::string line(bars, '.');
  bool any = false;
  for (size_t g = 0; g < groups.size() && g < 9; ++g) {
    const Tracks::Event* track = analysis.GetTrack(groups[g].patch);
    if (groups[g].exclusive || track == nullptr || track->GetChannel() != 9) {
      continue;
    }
    any = true;
    for (const Events::Event* event : track->GetEvents()) {
      if (event->bar < bars && line[event->bar] == '.' &&
          event->GetParam(Events::BarRange::kNoteCount) > 0.0f) {
        line[event->bar] = static_cast<char>('1' + g);
      }
    }
  }
  if (!any || bars == 0) {
    return;
  }
  std::fprintf(out, "    drummer's group by bar:\n");
  for (size_t i = 0; i < line.size(); i += 64) {
    std::fprintf(out, "      %s\n", line.substr(i, 64).c_str());
  }
}

}  // namespace

bool PrintAnalysis(std::FILE* out, const Audio::SongData& song, const std::string& configPath,
                   int busyThreshold) {
  const auto analysis = configPath.empty()
                            ? std::make_unique<Events::Analysis>(&song, Events::AnalysisSettings())
                            : std::make_unique<Events::Analysis>(&song, configPath);
  if (!configPath.empty() && !analysis->IsConfigLoaded()) {
    std::fprintf(out, "  analysis: warning: %s; no drum groups\n", analysis->ConfigError().c_str());
  } else if (configPath.empty()) {
    std::fprintf(out, "  analysis: warning: no analysis settings found; no drum groups\n");
  }
  if (!analysis->Run()) {
    std::fprintf(out, "  analysis: failed: %s\n", analysis->Error().c_str());
    return false;
  }
  const int total = analysis->GetTotalLength();
  std::fprintf(out, "  analysis: %zu bars, total length %d ms (%d:%02d.%03d)\n",
               analysis->GetBarCount(), total, total / 60000, total / 1000 % 60, total % 1000);
  std::map<int, const Events::DrumGroup*> groupByPatch;
  for (const auto& group : analysis->GetDrumGroups()) {
    groupByPatch.emplace(group.patch, &group);
  }
  std::fprintf(out, "    patch channel  busy bars (> %d notes)\n", busyThreshold);
  for (const Tracks::Event* track : analysis->GetTracks()) {
    if (track->GetPatch() < 0) {
      continue;  // the bar track
    }
    int busy = 0;
    int bars = 0;
    for (const Events::Event* event : track->GetEvents()) {
      if (event->GetType() == Events::BarRange::kType) {
        ++bars;
        if (event->GetParam(Events::BarRange::kNoteCount) > static_cast<float>(busyThreshold)) {
          ++busy;
        }
      }
    }
    const auto group = groupByPatch.find(track->GetPatch());
    std::string label;
    if (group != groupByPatch.end() && track->GetChannel() == 9) {
      label = "  drum group \"" + group->second->name + "\"";
    }
    std::fprintf(out, "    %5d %7d  %4d of %d%s\n", track->GetPatch(), track->GetChannel() + 1,
                 busy, bars, label.c_str());
  }
  PrintDrummer(out, *analysis);
  return true;
}

}  // namespace Kesh::Data
