// The processor time the module takes to play a song in real time through a sound server: starts
// a private PulseAudio with a null sink, loads audio.so, plays the song and reads this process's
// user and system time over 20 s (after 2 s of settling).
//   audio_realtime_cpu SONG.mid
#include <dlfcn.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>

#include "common/sound_server.h"
#include "tavro/player_module.h"

namespace {

// User and system seconds of this process so far.
void Times(double& user, double& system) {
  std::ifstream in("/proc/self/stat");
  const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::istringstream fields(all.substr(all.rfind(')') + 2));
  std::string skip;
  for (int i = 3; i <= 13; ++i) {
    fields >> skip;
  }
  long utime = 0;
  long stime = 0;
  fields >> utime >> stime;
  const auto tick = static_cast<double>(sysconf(_SC_CLK_TCK));
  user = static_cast<double>(utime) / tick;
  system = static_cast<double>(stime) / tick;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s SONG.mid\n", argv[0]);
    return 2;
  }
  TavroTest::SoundServer server;
  std::string why;
  if (!server.Start(&why)) {
    std::fprintf(stderr, "no sound server: %s\n", why.c_str());
    return 1;
  }
  void* module = dlopen(TAVRO_PROGRAM_DIR "/audio.so", RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    std::fprintf(stderr, "%s\n", dlerror());
    return 1;
  }
  auto query = reinterpret_cast<Kesh::Audio::InterfaceQueryFn>(dlsym(module, "InterfaceQuery"));
  auto* player = static_cast<Kesh::Audio::IPlayer*>(query(Kesh::Audio::kPlayerInterfaceId));
  if (!player->OpenFile(argv[1])) {
    std::fprintf(stderr, "%s: %s\n", argv[1], player->GetLastError());
    return 1;
  }
  player->Play();
  std::this_thread::sleep_for(std::chrono::seconds(2));
  double user0 = 0;
  double system0 = 0;
  Times(user0, system0);
  const auto start = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(20));
  double user1 = 0;
  double system1 = 0;
  Times(user1, system1);
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("user %.1f %%, system %.1f %%, total %.1f %% of one core over %.0f s\n",
              100 * (user1 - user0) / wall, 100 * (system1 - system0) / wall,
              100 * (user1 - user0 + system1 - system0) / wall, wall);
  player->Stop();
  player->Release(1);
  dlclose(module);
  return 0;
}
