// The offline soak: one process plays the first seconds of 100 corpus songs in turn through the
// game's playlist on the player module's offline clock (frames and sound, as tavro-render does),
// and prints its resident memory after each song with the number of artists loaded so far (they
// are kept for later songs, their images read once); at the end, the growth from song 10 to song
// 100, and from the song that loaded the last new artist to the end (what a leak would show).
// A measurement, not a test.
//   game_soak [SONGS] [SECONDS]     (default 100 songs of 30 s; the corpus is used in turn)
// Runs in the program folder (the shipped config, artists and styles).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "artists/manager.h"
#include "game/game.h"
#include "game/hub.h"
#include "game/player.h"
#include "game/playlist.h"
#include "platform/platform.h"

namespace {

long ResidentKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) {
      return std::atol(line.c_str() + 6);
    }
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  const int songs = argc > 1 ? std::atoi(argv[1]) : 100;
  const int seconds = argc > 2 ? std::atoi(argv[2]) : 30;
  std::vector<std::string> corpus;
  for (const char* folder : {TAVRO_CORPUS_DIR "/songs", TAVRO_CORPUS_DIR "/kar"}) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
      corpus.push_back(entry.path().string());
    }
  }
  std::sort(corpus.begin(), corpus.end());
  if (corpus.empty() || songs <= 0) {
    std::fprintf(stderr, "game_soak: no corpus under %s\n", TAVRO_CORPUS_DIR);
    return 2;
  }
  Vell::Platform::ScopedDirectory directory(TAVRO_PROGRAM_DIR);
  Kesh::Hub::SetModuleDirectory(TAVRO_PROGRAM_DIR);
  Kesh::Hub* hub = Kesh::Hub::Instance();
  hub->SetSaveProfileAtExit(false);
  hub->CreateGame({}, 815, 400);
  Kesh::Audio::IPlayer* module = hub->GetPlayer();
  if (module == nullptr || !module->SetOffline(true, 44100)) {
    std::fprintf(stderr, "game_soak: the player module cannot render offline\n");
    return 2;
  }
  Kesh::Game::Game& game = *hub->GetGame();
  Kesh::Game::Playlist& playlist = game.GetPlaylist();
  playlist.Clear();
  for (int i = 0; i < songs; ++i) {
    playlist.AddPath(corpus[static_cast<size_t>(i) % corpus.size()]);
  }
  std::vector<int16_t> sound(1764 * 2);
  std::vector<long> resident;
  size_t loaded = 0;
  size_t lastNewArtist = 0;  // the song (from 1) after which the last artist was first loaded
  const auto began = std::chrono::steady_clock::now();
  std::printf("song\trss_kb\tartists\tloaded\tname\n");
  bool more = playlist.Next();
  while (more) {
    const std::string path = playlist.CurrentItem()->GetName();
    int artists = -1;
    if (game.Open(path) && game.StartOfflineRun()) {
      for (int frame = 0; frame < seconds * 25; ++frame) {
        (void)game.StepOffline();
        while (module->RenderOffline(sound.data(), 1764) > 0) {
        }
      }
      artists = static_cast<int>(game.GetPlayer().Animations().size());
      game.StopOfflineRun();
    }
    game.Close();
    resident.push_back(ResidentKb());
    const size_t nowLoaded = Kesh::Artists::Manager::Instance()->LoadedArtists().size();
    if (nowLoaded > loaded) {
      loaded = nowLoaded;
      lastNewArtist = resident.size();
    }
    std::printf("%zu\t%ld\t%d\t%zu\t%s\n", resident.size(), resident.back(), artists, loaded,
                std::filesystem::path(path).filename().c_str());
    std::fflush(stdout);
    more = playlist.Next();
  }
  const double minutes =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count() / 60;
  if (resident.size() >= 10) {
    const double growth = 100.0 * static_cast<double>(resident.back() - resident[9]) /
                          static_cast<double>(resident[9]);
    std::printf("resident after song 10: %ld kB, after song %zu: %ld kB (%+.1f %%), %.1f min\n",
                resident[9], resident.size(), resident.back(), growth, minutes);
  }
  if (lastNewArtist > 0 && lastNewArtist < resident.size()) {
    const long base = resident[lastNewArtist - 1];
    std::printf(
        "resident after song %zu (the last to load a new artist, %zu loaded): %ld kB, after "
        "song %zu: %ld kB (%+.1f %%)\n",
        lastNewArtist, loaded, base, resident.size(), resident.back(),
        100.0 * static_cast<double>(resident.back() - base) / static_cast<double>(base));
  }
  Kesh::Hub::Destroy();
  return 0;
}
