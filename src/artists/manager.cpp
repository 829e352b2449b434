#include "artists/manager.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>

#include "artists/layout.h"
#include "data/events.h"
#include "data/track.h"
#include "framework/diagnostics.h"
#include "framework/xml.h"
#include "platform/platform.h"

namespace Kesh::Artists {

namespace Xml = Vell::Data::Xml;

namespace {
// The include list of the artist index in the current directory (the artists folder); the node
// keeps its document alive. Throws when the index cannot be read.
std::unique_ptr<Xml::Node> OpenArtistIndex() {
  Xml::Document index;
  std::string why;
  if (!index.Load(Manager::kIndex, &why)) {
    throw Manager::DatafileNotLoadedException(why);
  }
  auto includes = index.SelectNode("profile/artists");
  if (!includes) {
    throw Manager::DatafileNotLoadedException(std::string("'") + Manager::kIndex +
                                              "': no \"profile/artists\" element");
  }
  return includes;
}

// A size for a message: "12.5 MiB".
std::string Mebibytes(uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(bytes) / (1 << 20));
  return text;
}

// The artists folder could not be entered.
Manager::DatafileNotLoadedException NoFolder() {
  return Manager::DatafileNotLoadedException(std::string("cannot enter the folder '") +
                                             Manager::kFolder + "'");
}
}  // namespace

Manager::Manager() {
  LoadPatchMap(std::string(kFolder) + kPatchMap);
  LoadCache();
}

Manager::~Manager() {
  // The stage must not keep pointers to artists that go with the manager.
  if (Layout::Exists()) {
    for (auto& artist : loadedArtists) {
      Layout::Instance()->Remove(artist.get());
    }
  }
}

void Manager::LoadPatchMap(const std::string& path) {
  Xml::Document document;
  std::string why;
  if (!document.Load(path, &why)) {
    throw DatafileNotLoadedException(why);
  }
  std::map<int, std::vector<int>> readCandidates;
  std::map<int, std::string> readNames;
  auto root = document.GetRoot();
  std::unique_ptr<Xml::Node> melodic = root ? root->SelectNode("patchmap/melodic") : nullptr;
  if (melodic) {
    for (auto child = melodic->FirstChild(); child; child = child->NextSibling()) {
      if (!child->IsElement()) {
        continue;  // comments and white space
      }
      int program = -1;
      std::string map;
      std::string name;
      if (!child->ReadInt("in", program) || !child->ReadString("map", map) ||
          !child->ReadString("n", name)) {
        throw InvalidPatchMappingException("'" + path +
                                           "': a mapping without \"in\", \"map\" or \"n\"");
      }
      if (program < 0 || program >= kPrograms) {
        throw InvalidPatchMappingException("'" + path + "': program " + std::to_string(program) +
                                           " is not between 0 and 127");
      }
      readCandidates[program] = Xml::ParseIntList(map);
      readNames[program] = name;
    }
  }
  if (readCandidates.size() != static_cast<size_t>(kPrograms)) {
    throw InvalidPatchMappingException("'" + path + "': " + std::to_string(readCandidates.size()) +
                                       " of the 128 programs are mapped");
  }
  candidates = std::move(readCandidates);
  instrumentNames = std::move(readNames);
}

void Manager::LoadCache() {
  Vell::Platform::ScopedDirectory folder(kFolder);
  if (!folder.Ok()) {
    throw NoFolder();
  }
  auto artists = OpenArtistIndex();
  cache.DeleteAll();
  for (auto include = artists->FirstChild(); include; include = include->NextSibling()) {
    auto file = Xml::OpenInclude(include.get());
    if (!file) {
      continue;
    }
    auto list = file->SelectNode("profile/artists");
    if (!list) {
      continue;
    }
    for (auto element = list->FirstChild(); element; element = element->NextSibling()) {
      if (element->IsElement()) {
        std::string thumb, name, desc;
        element->ReadString("name", name);
        element->ReadString("desc", desc);
        element->ReadString("thumb", thumb);
        cache.Add(new Cache::Artist(thumb, name, desc));
        break;
      }
    }
  }
}

std::string Manager::GetInstrumentName(int program) const {
  auto it = instrumentNames.find(program);
  return it == instrumentNames.end() ? std::string() : it->second;
}

bool Manager::Reset() {
  usedPatches.clear();
  // A patch that found no artist for one song's part may find one for the next song's: the
  // search is not skipped for good.
  std::erase_if(loadedByPatch, [](const auto& entry) { return entry.second == nullptr; });
  // Each song blocks the stage afresh: an artist moved aside by another in an earlier song asks
  // for its own cell again, and artists absent from the next song hold no cell, so that a long
  // playlist does not crowd the players into the curtains.
  Layout::Instance()->Clear();
  for (const auto& artist : loadedArtists) {
    artist->Position(artist->homeColumn, artist->homeRow);
  }
  return true;
}

bool Manager::FitsRange(const Data::Tracks::Event* track, int range) {
  if (track == nullptr) {
    return range == 0;
  }
  const int64_t bound = std::llabs(static_cast<int64_t>(range));
  int above = 0;
  int below = 0;
  for (const Data::Events::Event* event : track->GetEvents()) {
    if (event->GetType() != Data::Events::BarRange::kType) {
      continue;
    }
    const auto* bar = static_cast<const Data::Events::BarRange*>(event);
    const int lo = static_cast<int>(bar->Lowest());
    const int hi = static_cast<int>(bar->Highest());
    if (lo == 0 || hi == 0) {
      continue;
    }
    above += hi >= bound ? 1 : 0;
    below += lo < bound ? 1 : 0;
  }
  return range >= 0 ? above >= below : above < below;
}

std::vector<int> Manager::CandidatesFor(int patch) const {
  std::vector<int> list;
  auto free = [this](int p) { return usedPatches.count(p) == 0; };
  if (patch >= 0 && patch <= 127) {
    auto it = candidates.find(patch);
    if (it != candidates.end()) {
      for (int p : it->second) {
        if (free(p)) {
          list.push_back(p);
        }
      }
    }
  } else if (patch >= 200 && patch <= 203) {
    for (int p = 200; p <= 203; ++p) {
      if (free(p)) {
        list.push_back(p);
      }
    }
  } else if (free(patch)) {
    list.push_back(patch);
  }
  return list;
}

bool Manager::InUse(const Artist* artist) const {
  return std::any_of(usedPatches.begin(), usedPatches.end(),
                     [artist](const auto& entry) { return entry.second == artist; });
}

int Manager::TimesUsed(const Artist* artist) const {
  return static_cast<int>(
      std::count_if(usedPatches.begin(), usedPatches.end(),
                    [artist](const auto& entry) { return entry.second == artist; }));
}

uint64_t Manager::ImagesTaken() const {
  uint64_t taken = 0;
  for (const auto& artist : loadedArtists) {
    taken += artist->imageBytes;
  }
  return taken;
}

bool Manager::MakeRoomForImages(uint64_t bytes) {
  if (bytes > kImageBudgetBytes) {
    return false;
  }
  if (ImagesTaken() + bytes <= kImageBudgetBytes) {
    return true;
  }
  // Artists kept from earlier songs go first, oldest first.
  for (Artist* artist : Unused()) {
    DestroyArtist(artist);
    if (ImagesTaken() + bytes <= kImageBudgetBytes) {
      return true;
    }
  }
  return false;
}

std::vector<Artist*> Manager::Unused() const {
  std::vector<Artist*> unused;
  for (const auto& artist : loadedArtists) {
    if (!InUse(artist.get())) {
      unused.push_back(artist.get());
    }
  }
  return unused;
}

void Manager::DropUnused() {
  for (Artist* artist : Unused()) {
    DestroyArtist(artist);
  }
}

void Manager::DestroyArtist(Artist* artist) {
  Layout::Instance()->Remove(artist);
  // Every patch the artist answers to forgets it, not only the one it was found under.
  for (auto it = loadedByPatch.begin(); it != loadedByPatch.end();) {
    it = it->second == artist ? loadedByPatch.erase(it) : std::next(it);
  }
  auto owner = std::find_if(loadedArtists.begin(), loadedArtists.end(),
                            [artist](const auto& a) { return a.get() == artist; });
  if (owner != loadedArtists.end()) {
    loadedArtists.erase(owner);
  }
}

namespace {

// The artist files of the index as GetArtist looks at them, read once per call: the artist
// element of each usable file (which keeps its document alive), under the first number of its
// "patch", in index order.
class IndexScan {
 public:
  struct Entry {
    size_t position = 0;  // of the include in the index
    std::string file;
    std::unique_ptr<Xml::Node> element;
    bool hasRange = false;
    int range = 0;
  };

  explicit IndexScan(const Xml::Node& includes) {
    size_t position = 0;
    for (auto include = includes.FirstChild(); include; include = include->NextSibling()) {
      const size_t at = position++;
      auto file = Xml::OpenInclude(include.get());
      if (!file) {
        continue;
      }
      auto list = file->SelectNode("profile/artists");
      if (!list) {
        // A search reaching this file fails; the files after it are never looked at.
        firstBroken = at;
        return;
      }
      std::unique_ptr<Xml::Node> element = list->FirstChild();
      while (element && !element->IsElement()) {
        element = element->NextSibling();
      }
      std::string patchText;
      if (!element || !element->ReadString("patch", patchText)) {
        continue;
      }
      const std::vector<int> patches = Xml::ParseIntList(patchText);
      if (patches.empty()) {
        continue;
      }
      Entry entry;
      entry.position = at;
      include->ReadString("file", entry.file);
      entry.hasRange = element->ReadInt("range", entry.range);
      entry.element = std::move(element);
      byPatch[patches.front()].push_back(std::move(entry));
    }
  }

  // The files whose first patch is patch, in index order, that a search reaches before the
  // first broken file.
  std::vector<Entry*> Files(int patch) {
    std::vector<Entry*> files;
    auto it = byPatch.find(patch);
    if (it != byPatch.end()) {
      for (Entry& entry : it->second) {
        if (entry.position < firstBroken) {
          files.push_back(&entry);
        }
      }
    }
    return files;
  }
  bool HasBrokenFile() const { return firstBroken != kNone; }

 private:
  static constexpr size_t kNone = static_cast<size_t>(-1);
  std::map<int, std::vector<Entry>> byPatch;
  size_t firstBroken = kNone;
};

}  // namespace

Artist* Manager::GetArtist(const Data::Tracks::Event* track) {
  if (track == nullptr) {
    return nullptr;
  }
  const std::vector<int> list = CandidatesFor(track->GetPatch());
  if (list.empty()) {
    return nullptr;
  }
  int chosen = list.front();
  bool found = false;
  int leftOut = -1;  // a candidate whose artist did not fit in the images' budget
  {
    Vell::Platform::ScopedDirectory folder(kFolder);
    if (!folder.Ok()) {
      throw NoFolder();
    }
    auto includes = OpenArtistIndex();
    std::optional<IndexScan> scan;  // read when the first candidate needs a file
    for (int c : list) {
      chosen = c;
      auto loaded = loadedByPatch.find(c);
      if (loaded != loadedByPatch.end()) {
        Artist* artist = loaded->second;
        if (artist == nullptr) {
          continue;
        }
        if (FitsRange(track, artist->range)) {
          found = true;
          break;
        }
        if (InUse(artist)) {
          // Another track of this song plays it: it cannot be replaced now.
          continue;
        }
        DestroyArtist(artist);
      }
      loadedByPatch[c] = nullptr;
      if (!scan) {
        scan.emplace(*includes);
      }
      for (IndexScan::Entry* file : scan->Files(c)) {
        if (file->hasRange && !FitsRange(track, file->range)) {
          continue;
        }
        const uint64_t imageBytes = Artist::ImageBytes(file->element.get());
        if (!MakeRoomForImages(imageBytes)) {
          leftOut = c;
          std::string name = file->file;
          file->element->ReadString("name", name);
          Vell::Diagnostics::Report("Artist " + name + " (" + file->file +
                                    ") is left out: its images need " + Mebibytes(imageBytes) +
                                    " and the artists' images may take " +
                                    Mebibytes(kImageBudgetBytes) + " in all, " +
                                    Mebibytes(ImagesTaken()) + " of it taken");
          continue;
        }
        auto artist = std::make_unique<Artist>();
        artist->imageBytes = imageBytes;
        try {
          artist->LoadXml(file->element.get());
        } catch (const std::exception& error) {
          // One damaged artist does not stop the search: the next file may serve.
          Vell::Diagnostics::Report("Artist file " + file->file + " not loaded: " + error.what());
          continue;
        }
        for (int q : artist->patches) {
          loadedByPatch[q] = artist.get();
        }
        loadedByPatch[c] = artist.get();
        loadedArtists.push_back(std::move(artist));
        found = true;
        break;
      }
      if (found) {
        break;
      }
      if (scan->HasBrokenFile()) {
        throw DatafileNotLoadedException();
      }
      loadedByPatch.erase(c);
    }
  }
  Artist* result = nullptr;
  if (found) {
    result = loadedByPatch[chosen];
  } else if (leftOut != chosen) {
    // No artist for this patch, remembered; one left out for want of room is tried again later.
    loadedByPatch.try_emplace(chosen, nullptr);
  }
  if (result != nullptr) {
    usedPatches[chosen] = result;
  }
  return result;
}

}  // namespace Kesh::Artists
