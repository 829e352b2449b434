// Finding the artist for a track when the patch map offers many candidates and the artist index
// lists many files, none of which plays them: every candidate is looked up in every file.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "artists/manager.h"
#include "data/events.h"
#include "data/track.h"
#include "platform/platform.h"

namespace {

using Kesh::Artists::Manager;

// A program folder with an artists folder, removed at the end.
struct Program {
  Program(int candidates, int files) {
    std::random_device device;
    root = std::filesystem::temp_directory_path() /
           ("tavro-bench-" + std::to_string(device()) + std::to_string(device()));
    std::filesystem::create_directories(root / "artists");
    std::string map;
    for (int c = 0; c < candidates; ++c) {
      map += (c ? "," : "") + std::to_string(1000 + c);
    }
    std::ofstream patchMap(root / "artists" / "patchmap.xml");
    patchMap << "<profile><patchmap><melodic>\n";
    for (int program = 0; program < 128; ++program) {
      patchMap << "<m in=\"" << program << "\" map=\"" << (program == 0 ? map : "1")
               << "\" n=\"Instrument\"/>\n";
    }
    patchMap << "</melodic></patchmap></profile>\n";
    std::ofstream index(root / "artists" / "artists.xml");
    index << "<profile><artists>\n";
    for (int f = 0; f < files; ++f) {
      const std::string name = "artist" + std::to_string(f) + ".xml";
      index << "<include file=\"" << name << "\"/>\n";
      std::ofstream(root / "artists" / name)
          << "<profile><artists><artist name=\"Artist " << f << "\" patch=\"" << 5000 + f
          << "\" type=\"M\" place=\"2,2\" desc=\"An artist\" thumb=\"a.png\" range=\"0\">"
          << "<animation SLen=\"4\" RLen=\"4\" SPos=\"2\" RPos=\"2\"/></artist></artists>"
          << "</profile>\n";
    }
    index << "</artists></profile>\n";
  }
  ~Program() {
    std::error_code error;
    std::filesystem::remove_all(root, error);
  }
  std::filesystem::path root;
};

// args: candidates of the track's program, artist files in the index.
void BM_GetArtistWithoutMatch(benchmark::State& state) {
  Program program(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  Vell::Platform::ScopedDirectory inside(program.root.string());
  Manager::Destroy();
  Manager* manager = Manager::Instance();
  Kesh::Data::Tracks::Event track(0, 0);
  Kesh::Data::Events::BarBegin bar(0, 2000, 0, 4, 4, 120);
  auto* range = new Kesh::Data::Events::BarRange(bar);
  range->SetParam(Kesh::Data::Events::BarRange::kNoteCount, 8);
  range->SetParam(Kesh::Data::Events::BarRange::kLowest, 60);
  range->SetParam(Kesh::Data::Events::BarRange::kHighest, 72);
  track.Insert(range);
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
    benchmark::DoNotOptimize(manager->GetArtist(&track));
  }
  Manager::Destroy();
}

BENCHMARK(BM_GetArtistWithoutMatch)
    ->Args({10, 1000})
    ->Args({100, 10000})
    ->Args({1000, 10000})
    ->ArgNames({"candidates", "files"})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace
