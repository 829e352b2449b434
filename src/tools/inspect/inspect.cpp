// tavro-inspect [--analysis] [--] FILE...: what the MIDI reader makes of each file, or why it
// refuses it; with --analysis also the note analysis of each song. Exit status 0 when every file
// opened (and, with --analysis, analysed), 1 otherwise, 2 for bad options.
// tavro-inspect --show [--json] SONG [--style NAME]: the show the player prepares for the song.
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "audio/midi/midi_file.h"
#include "audio/midi/tempo_map.h"
#include "tavro/version.h"
#include "tools/inspect/report.h"
#include "tools/inspect/show.h"

namespace {

using Kesh::Audio::Midi::MidiFile;

void Describe(const char* path, const MidiFile& file) {
  const auto& song = file.song;
  const auto& info = file.info;
  std::printf("%s\n", path);
  std::printf("  format %u, %u tracks (header announces %u)%s\n", info.format, info.tracksRead,
              info.declaredTracks, info.rmid ? ", RMID wrapper" : "");
  if (info.smpteFps != 0) {
    std::printf("  division: SMPTE %d fps x %d ticks per frame (read as %u ticks per quarter)\n",
                info.smpteFps, info.smpteTicksPerFrame, song.division);
  } else {
    std::printf("  division: %u ticks per quarter\n", song.division);
  }
  std::printf("  tempo events: %u%s\n", info.tempoEvents,
              info.defaultTempo ? " (120 bpm assumed at the start)" : "");
  const size_t shown = 12;
  for (size_t i = 0; i < song.tempoChanges.size() && i < shown; ++i) {
    std::printf("    tick %u: %.2f bpm\n", song.tempoChanges[i].tick,
                60000000.0 / song.tempoChanges[i].tempo);
  }
  if (song.tempoChanges.size() > shown) {
    std::printf("    ... %zu more\n", song.tempoChanges.size() - shown);
  }
  std::printf("  meters: %u%s\n", info.meterEvents,
              info.defaultMeter ? " (4/4 assumed at the start)" : "");
  const Kesh::Audio::Midi::BarMap bars(song);
  for (size_t i = 0; i < song.timeSignatures.size() && i < shown; ++i) {
    const auto& ts = song.timeSignatures[i];
    std::printf("    bar %u (tick %d): %u/%u\n", bars.BarAt(static_cast<uint32_t>(ts.tick)) + 1,
                ts.tick, ts.numerator, 1u << ts.denominatorExp);
  }
  if (song.timeSignatures.size() > shown) {
    std::printf("    ... %zu more\n", song.timeSignatures.size() - shown);
  }
  std::vector<std::set<int>> programs(16);
  std::vector<unsigned> notes(16, 0);
  std::vector<bool> used(16, false);
  size_t texts = 0;
  for (const auto& track : song.tracks) {
    for (const auto& e : track.events) {
      const int ch = e.status & 0x0F;
      used[ch] = true;
      if ((e.status & 0xF0) == 0xC0) {
        programs[ch].insert(e.data1);
      } else if ((e.status & 0xF0) == 0x90 && e.data2 > 0) {
        ++notes[ch];
      }
    }
    texts += track.texts.size();
  }
  std::printf("  channels:\n");
  for (int ch = 0; ch < 16; ++ch) {
    if (!used[ch]) {
      continue;
    }
    std::string list;
    for (int p : programs[ch]) {
      list += (list.empty() ? "" : ", ") + std::to_string(p);
    }
    std::printf("    %2d%s: %u notes, programs: %s\n", ch + 1, ch == 9 ? " (drums)" : "", notes[ch],
                list.empty() ? "none" : list.c_str());
  }
  std::printf("  notes: %u\n", info.noteOns);
  std::printf("  lyric events: %u, text events: %u, karaoke texts kept: %zu\n", info.lyricEvents,
              info.textEvents, texts);
  const Kesh::Audio::Midi::TempoMap tempo(song);
  std::printf("  duration: %.1f s (last tick %u)\n", tempo.TickToUs(info.lastTick) / 1e6,
              info.lastTick);
  for (const std::string& warning : info.warnings) {
    std::printf("  warning: %s\n", warning.c_str());
  }
}

const char* const kUsage =
    "usage: tavro-inspect [--analysis] [--] FILE...\n"
    "       tavro-inspect --show [--json] SONG [--style NAME]\n"
    "Shows what the MIDI reader makes of each file, or why it refuses it.\n"
    "  --analysis     also prints the note analysis of each song\n"
    "  --show         prints the show the player prepares for SONG\n"
    "  --json         with --show: the plan as one JSON object\n"
    "  --style NAME   with --show: the style to use instead of the profile's\n"
    "  -h, --help     prints this and ends\n"
    "  --version      prints the version and ends\n";

}  // namespace

int main(int argc, char** argv) {
  std::vector<const char*> paths;
  bool analysis = false;
  bool show = false;
  Kesh::Inspect::ShowOptions showOptions;
  bool options = true;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (!options || arg.empty() || arg[0] != '-' || arg == "-") {
      paths.push_back(argv[i]);
    } else if (arg == "--") {
      options = false;
    } else if (arg == "--analysis") {
      analysis = true;
    } else if (arg == "--show") {
      show = true;
    } else if (arg == "--json") {
      showOptions.json = true;
    } else if (arg == "--style") {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "tavro-inspect: --style needs a style name\n%s", kUsage);
        return 2;
      }
      showOptions.style = argv[++i];
    } else if (arg == "-h" || arg == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--version") {
      std::printf("tavro-inspect %s\n", Tavro::kVersion);
      return 0;
    } else {
      std::fprintf(stderr, "tavro-inspect: unknown option %s\n%s", arg.c_str(), kUsage);
      return 2;
    }
  }
  if (show) {
    if (paths.size() != 1 || analysis) {
      std::fprintf(stderr, "tavro-inspect: --show takes one song\n%s", kUsage);
      return 2;
    }
    showOptions.song = paths.front();
    return Kesh::Inspect::PrintShowPlan(showOptions);
  }
  if (showOptions.json || !showOptions.style.empty()) {
    std::fprintf(stderr, "tavro-inspect: --json and --style go with --show\n%s", kUsage);
    return 2;
  }
  if (paths.empty()) {
    std::fprintf(stderr, "tavro-inspect: no file given\n%s", kUsage);
    return 2;
  }
  const std::string settings = analysis ? Kesh::Data::FindAnalysisSettings() : std::string();
  int status = 0;
  for (const char* path : paths) {
    MidiFile file;
    std::string reason;
    if (Kesh::Audio::Midi::ReadMidiFile(path, file, reason)) {
      Describe(path, file);
      if (analysis && !Kesh::Data::PrintAnalysis(stdout, file.song, settings)) {
        status = 1;
      }
    } else {
      std::printf("%s: refused: %s\n", path, reason.c_str());
      status = 1;
    }
  }
  return status;
}
