// Arbitrary bytes as an ".m3u" file read the way the window reads one: every line kept is a usable
// file name (not empty, no line break, no NUL byte, no longer than the limit, not a comment), its
// bytes unchanged, and resolved against the playlist's folder unless it is absolute.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "framework/file.h"
#include "game/playlist.h"

using Kesh::Game::Playlist;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Playlist list;
  Vell::Data::MemoryStg stream(data, size);
  if (!list.Load(stream)) {
    return 0;
  }
  const std::string folder = "/music/lists";
  size_t kept = 0;
  for (const std::string& item : list.Paths()) {
    if (item.empty() || item[0] == '#' || item.size() > Playlist::kMaxLineBytes ||
        item.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
      std::abort();
    }
    kept += item.size();
    const std::string path = Playlist::ResolveItem(folder, item);
    const bool absolute = item[0] == '/';
    if (absolute ? path != item : path != folder + "/" + item) {
      std::abort();
    }
    (void)Playlist::Classify(path);
  }
  // Every line kept or left out holds at least one byte of the text.
  if (kept + static_cast<size_t>(list.SkippedLines()) > size) {
    std::abort();
  }
  return 0;
}
