// Arbitrary bytes as a project file: reading must refuse or accept without a crash, a hang or an
// allocation beyond the file's size; what it accepts is written again and must read back the same.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "data/actions.h"
#include "framework/file.h"
#include "game/project.h"
#include "game/state.h"

namespace Project = Kesh::Game::Project;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Vell::Data::MemoryStg stream(data, size);
  Project::Content content;
  if (!Project::Read(stream, content)) {
    return 0;
  }
  if (content.song.size() > size) {
    std::abort();  // more than the file could hold
  }
  Kesh::Game::State state;
  Vell::Data::MemoryStg stateBytes(content.state);
  (void)state.Load(stateBytes);
  Kesh::Data::Tracks::Action actions;
  for (const std::vector<unsigned char>& body : content.actions) {
    Vell::Data::MemoryStg actionBytes(body);
    (void)actions.Load(actionBytes);
  }
  Vell::Data::MemoryStg written;
  if (!Project::Write(written, {content.title, content.factor, content.style, &state, &content.song,
                                "", &actions})) {
    std::abort();
  }
  Vell::Data::MemoryStg again(written.Bytes());
  Project::Content reread;
  if (!Project::Read(again, reread) || reread.song != content.song ||
      reread.title != content.title || reread.style != content.style) {
    std::abort();
  }
  return 0;
}
