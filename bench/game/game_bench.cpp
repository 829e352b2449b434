// Opening a corpus song with the real player module up to the first drawn frame, and one frame of
// a running show (the test band of six artists, no style), on the module's offline clock.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <vector>

#include "artists/layout.h"
#include "artists/manager.h"
#include "artists/settings.h"
#include "band.h"
#include "fixture.h"
#include "game/game.h"
#include "game/hub.h"
#include "game/player.h"
#include "platform/platform.h"
#include "styles/manager.h"

namespace {

using Kesh::Game::Game;

// The managers that read the artists and styles of the current folder once and keep them: gone,
// so that the next hub reads its own folder. Only while no hub exists.
void FreshManagers() {
  Kesh::Artists::Manager::Destroy();
  Kesh::Artists::Animation::Manager::Destroy();
  Kesh::Artists::Layout::Instance()->Clear();
  Kesh::Styles::Manager::Destroy();
}

struct Show {
  Show() {
    FreshManagers();
    Fixture::WriteBand(program);
    std::filesystem::copy_file(TAVRO_SOURCE_DIR "/data/config/analysis.xml",
                               program.Path("config/analysis.xml"));
    directory = std::make_unique<Vell::Platform::ScopedDirectory>(program.Root());
    Kesh::Hub::SetModuleDirectory(TAVRO_PROGRAM_DIR);
    hub = Kesh::Hub::Instance();
    hub->SetSaveProfileAtExit(false);
    hub->CreateGame({}, 815, 400);
    hub->GetPlayer()->SetOffline(true, 44100);
  }
  ~Show() {
    Kesh::Hub::Destroy();
    FreshManagers();
    directory.reset();
  }
  Game& GetGame() { return *hub->GetGame(); }

  Fixture::Program program;
  std::unique_ptr<Vell::Platform::ScopedDirectory> directory;
  Kesh::Hub* hub = nullptr;
};

void OpenToFirstFrame(benchmark::State& state, const char* song) {
  if (!std::filesystem::exists(song)) {
    state.SkipWithError("the corpus is missing");
    return;
  }
  Show show;
  for (auto _ : state) {
    Game& game = show.GetGame();
    if (!game.Open(song) || !game.StartOfflineRun()) {
      state.SkipWithError("the song does not open");
      return;
    }
    game.RunOfflineFrame();
    game.StopOfflineRun();
  }
}
BENCHMARK_CAPTURE(OpenToFirstFrame, typical, TAVRO_CORPUS_DIR "/songs/avgvst__Endgame.mid")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(OpenToFirstFrame, longest, TAVRO_CORPUS_DIR "/songs/freedoom__d_map27.mid")
    ->Unit(benchmark::kMillisecond);

// The first song of a session: the shipped artists and styles are read from the program folder
// (their images decoded) as part of the opening. The hub and the module are made outside the
// timing.
void ColdOpenToFirstFrame(benchmark::State& state, const char* song) {
  if (!std::filesystem::exists(song)) {
    state.SkipWithError("the corpus is missing");
    return;
  }
  Vell::Platform::ScopedDirectory directory(TAVRO_PROGRAM_DIR);
  Kesh::Hub::SetModuleDirectory(TAVRO_PROGRAM_DIR);
  for (auto _ : state) {
    state.PauseTiming();
    FreshManagers();
    Kesh::Hub* hub = Kesh::Hub::Instance();
    hub->SetSaveProfileAtExit(false);
    hub->CreateGame({}, 815, 400);
    hub->GetPlayer()->SetOffline(true, 44100);
    Game& game = *hub->GetGame();
    state.ResumeTiming();
    if (!game.Open(song) || !game.StartOfflineRun()) {
      state.SkipWithError("the song does not open");
      break;
    }
    game.RunOfflineFrame();
    state.PauseTiming();
    game.StopOfflineRun();
    Kesh::Hub::Destroy();
    state.ResumeTiming();
  }
  FreshManagers();
}
BENCHMARK_CAPTURE(ColdOpenToFirstFrame, typical, TAVRO_CORPUS_DIR "/songs/avgvst__Endgame.mid")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);
BENCHMARK_CAPTURE(ColdOpenToFirstFrame, longest, TAVRO_CORPUS_DIR "/songs/freedoom__d_map27.mid")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);

void Frame(benchmark::State& state) {
  const char* song = TAVRO_CORPUS_DIR "/songs/avgvst__Endgame.mid";
  if (!std::filesystem::exists(song)) {
    state.SkipWithError("the corpus is missing");
    return;
  }
  Show show;
  Game& game = show.GetGame();
  if (!game.Open(song) || !game.StartOfflineRun()) {
    state.SkipWithError("the song does not open");
    return;
  }
  // Forty seconds into the song, the band on stage; then the same frame is drawn again and again.
  Kesh::Audio::IPlayer* module = show.hub->GetPlayer();
  std::vector<int16_t> sound(1764 * 2);
  for (int i = 0; i < 1000; ++i) {
    module->AdvanceOffline(40);
    while (module->RenderOffline(sound.data(), 1764) > 0) {
    }
    game.RunOfflineFrame();
  }
  for (auto _ : state) {
    game.RunOfflineFrame();
  }
  state.counters["artists"] = static_cast<double>(game.GetPlayer().Animations().size());
  game.StopOfflineRun();
}
BENCHMARK(Frame)->Unit(benchmark::kMicrosecond);

// One frame (advance and render) of a full stage: thirteen artists made from the shipped band,
// the shipped styles with their lights, shadows and effects, a corpus song with sixteen channels,
// a minute in, at the render scale given (1: 815 x 400, 2: 1630 x 800). The counters say how many
// artists were created and how many are on stage.
void ThirteenArtistFrame(benchmark::State& state) {
  const int scale = static_cast<int>(state.range(0));
  const char* song = TAVRO_CORPUS_DIR "/songs/avgvst__Fable.mid";
  if (!std::filesystem::exists(song)) {
    state.SkipWithError("the corpus is missing");
    return;
  }
  BenchBand::Folder folder;
  FreshManagers();
  Vell::Platform::ScopedDirectory directory(folder.Root());
  Kesh::Hub::SetModuleDirectory(TAVRO_PROGRAM_DIR);
  Kesh::Hub* hub = Kesh::Hub::Instance();
  hub->SetSaveProfileAtExit(false);
  hub->CreateGame({}, 815, 400);
  Kesh::Audio::IPlayer* module = hub->GetPlayer();
  module->SetOffline(true, 44100);
  Game& game = *hub->GetGame();
  game.SetRenderScale(scale);
  if (!game.Open(song) || !game.StartOfflineRun()) {
    state.SkipWithError("the song does not open");
    Kesh::Hub::Destroy();
    return;
  }
  std::vector<int16_t> sound(1764 * 2);
  for (int i = 0; i < 1500; ++i) {
    (void)game.StepOffline();
    while (module->RenderOffline(sound.data(), 1764) > 0) {
    }
  }
  // The frame is drawn again and again at the same position: a full frame's work each time.
  for (auto _ : state) {
    game.RunOfflineFrame();
  }
  const Kesh::Game::Player& player = game.GetPlayer();
  int onStage = 0;
  const uint64_t t = static_cast<uint64_t>(player.CurrentFrame()) * 40;
  for (const auto* animation : player.Animations()) {
    onStage += animation->CurrentSet(t) != nullptr ? 1 : 0;
  }
  state.counters["artists"] = static_cast<double>(player.Animations().size());
  state.counters["onStage"] = onStage;
  state.counters["width"] = game.GetCanvas().Width();
  game.StopOfflineRun();
  Kesh::Hub::Destroy();
  FreshManagers();
}
BENCHMARK(ThirteenArtistFrame)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

}  // namespace
