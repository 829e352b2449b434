// Arbitrary bytes as a playlist: read, written and read again gives the same items, none empty
// and none starting with "#" or holding a line break.
#include <cstdint>
#include <cstdlib>

#include "framework/file.h"
#include "game/playlist.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Kesh::Game::Playlist list;
  Vell::Data::MemoryStg stream(data, size);
  if (!list.Load(stream)) {
    return 0;
  }
  for (int i = 0; i < list.Count(); ++i) {
    const std::string& path = list.GetAt(i)->GetName();
    if (path.empty() || path[0] == '#' || path.find_first_of("\r\n") != std::string::npos) {
      std::abort();
    }
    (void)Kesh::Game::Playlist::Classify(path);
  }
  Vell::Data::MemoryStg written;
  (void)list.Save(written);
  Kesh::Game::Playlist again;
  Vell::Data::MemoryStg reading(written.Bytes());
  if (!again.Load(reading) || again.Count() != list.Count()) {
    std::abort();
  }
  if (list.Count() > 1) {
    list.SetCurrent(list.Count() - 1);
    (void)list.Swap(0, list.Count() - 1);
    delete list.RemoveAt(0);
    (void)list.Next();
    (void)list.Previous();
  }
  return 0;
}
