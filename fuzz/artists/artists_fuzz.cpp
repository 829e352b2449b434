// Feeds XML to the artist loaders. The first byte of the input picks the loader, the rest is the
// file's text:
//   0: the patch map ("patchmap.xml"),
//   1: an artist element, loaded directly (sets, sprites, place, patches, ...),
//   2: an artist file named by the index, found and loaded through the manager's search,
//   3: the artist index ("artists.xml"), read for the artist list and searched.
// A fixed program directory with a valid patch map, index and one small image sequence is made
// in a temporary folder at start-up.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include "artists/artist.h"
#include "artists/layout.h"
#include "artists/manager.h"
#include "data/events.h"
#include "data/track.h"
#include "framework/exception.h"
#include "framework/xml.h"
#include "gfx/image.h"
#include "platform/platform.h"

namespace {

std::filesystem::path root;

void Write(const std::string& relative, const char* data, size_t size) {
  std::ofstream out(root / relative, std::ios::binary | std::ios::trunc);
  out.write(data, static_cast<std::streamsize>(size));
}

void Write(const std::string& relative, const std::string& text) {
  Write(relative, text.data(), text.size());
}

std::string PatchMap() {
  std::string xml = "<profile><patchmap><melodic>";
  for (int program = 0; program < 128; ++program) {
    xml += "<m in=\"" + std::to_string(program) + "\" map=\"1,2\" n=\"p\"/>";
  }
  return xml + "</melodic></patchmap></profile>";
}

const std::string kIndex =
    "<profile><artists><include file=\"fuzz.xml\"/><include file=\"good.xml\"/></artists>"
    "</profile>";
const std::string kGood =
    "<profile><artists><artist name=\"g\" patch=\"1,200\" place=\"2,2\" range=\"0\">"
    "<childs><sprite image=\"img00.png\"/></childs><animation><csa velocity=\"2\">"
    "<sprite images=\"img\" first=\"0\" last=\"1\"/></csa></animation></artist></artists>"
    "</profile>";

// Restores the files an input of the given mode replaced (all of them for -1).
void Reset(int mode) {
  if (mode < 0) {
    Write("artists/patchmap.xml", PatchMap());
    Write("artists/good.xml", kGood);
  }
  if (mode < 0 || mode == 3) {
    Write("artists/artists.xml", kIndex);
  }
  if (mode < 0 || mode == 2) {
    Write("artists/fuzz.xml", std::string("<profile/>"));
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  root =
      std::filesystem::temp_directory_path() / ("tavro-artists-fuzz-" + std::to_string(getpid()));
  std::filesystem::create_directories(root / "artists");
  std::filesystem::create_directories(root / "config");
  Vell::Gfx::Image image(4, 4, 0xFF102030);
  if (!image.SavePng((root / "artists/img00.png").string()) ||
      !image.SavePng((root / "artists/img01.png").string())) {
    std::abort();  // no sprite images: the fuzzer would test nothing
  }
  Reset(-1);
  Vell::Platform::SetCurrentDirectory(root.string());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) {
    return 0;
  }
  const int mode = data[0] % 4;
  const char* text = reinterpret_cast<const char*>(data + 1);
  const size_t length = size - 1;
  Kesh::Data::Tracks::Event bars(-1, -1);
  bars.Insert(new Kesh::Data::Events::BarBegin(0, 2000, 0, 4, 4, 120));
  Kesh::Data::Tracks::Event track(0, 0);
  auto* range = new Kesh::Data::Events::BarRange(**bars.GetEvents().begin());
  range->SetParam(Kesh::Data::Events::BarRange::kLowest, 40);
  range->SetParam(Kesh::Data::Events::BarRange::kHighest, 70);
  track.Insert(range);
  Kesh::Data::Tracks::Event drums(201, 9);
  try {
    switch (mode) {
      case 0: {
        Write("artists/fuzz_patchmap.xml", text, length);
        Kesh::Artists::Manager::Instance()->LoadPatchMap("artists/fuzz_patchmap.xml");
        Kesh::Artists::Manager::Instance()->GetArtist(&track);
        break;
      }
      case 1: {
        Vell::Data::Xml::Document document;
        if (document.LoadString(std::string_view(text, length))) {
          if (auto element = document.GetRoot()) {
            Vell::Platform::ScopedDirectory folder("artists");
            Kesh::Artists::Artist artist;
            artist.LoadXml(element.get());
            Kesh::Artists::Layout::Instance()->Place(&artist);
            Kesh::Artists::Layout::Instance()->Remove(&artist);
          }
        }
        break;
      }
      case 2: {
        Write("artists/fuzz.xml", text, length);
        Kesh::Artists::Manager::Instance()->GetArtist(&track);
        Kesh::Artists::Manager::Instance()->GetArtist(&drums);
        break;
      }
      default: {
        Write("artists/artists.xml", text, length);
        Kesh::Artists::Manager::Instance()->LoadCache();
        Kesh::Artists::Manager::Instance()->GetArtist(&track);
        break;
      }
    }
  } catch (const Vell::Exception&) {
    // Bad data files are reported by exceptions; that is the expected outcome.
  }
  Kesh::Artists::Manager::Destroy();
  Kesh::Artists::Layout::Instance()->Clear();
  Reset(mode);
  return 0;
}
