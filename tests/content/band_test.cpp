// The shipped band in data/: the patch map, the artist index and every artist with its images,
// read through the program's own loaders (patch map and artist manager, artist and set loaders,
// sprite sequences, PNG decoder), plus the guitarists' split by range on corpus songs.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "artists/artist.h"
#include "artists/layout.h"
#include "artists/manager.h"
#include "framework/xml.h"
#include "gfx/image.h"
#include "gfx/sprites.h"
#include "platform/platform.h"
#include "tracks.h"
#ifdef TAVRO_HAVE_MIDI
#include "audio/midi/midi_file.h"
#include "data/analysis.h"
#endif

namespace {

namespace fs = std::filesystem;
using Kesh::Artists::Artist;
using Kesh::Artists::Manager;
using Vell::Gfx::Image;
using Vell::Platform::ScopedDirectory;
namespace Xml = Vell::Data::Xml;

const std::string kData = TAVRO_SOURCE_DIR "/data";
constexpr int kFrameHeight = 152;
constexpr uint32_t kOpaque = 64;  // the sprite baseline's alpha threshold

// The lowest image row holding a pixel with alpha above 64, or -1.
int FeetRow(const Image& image) {
  for (int y = image.Height() - 1; y >= 0; --y) {
    const uint32_t* row = image.Row(y);
    for (int x = 0; x < image.Width(); ++x) {
      if (Vell::Gfx::AlphaOf(row[x]) > kOpaque) {
        return y;
      }
    }
  }
  return -1;
}

// Whether the shipped index lists an artist of this name (the manager's cache).
bool Ships(Manager* manager, const std::string& name) {
  const auto& cache = manager->GetCache();
  for (int i = 0; i < cache.Count(); ++i) {
    if (static_cast<const Manager::Cache::Artist*>(cache.GetAt(i))->name == name) {
      return true;
    }
  }
  return false;
}

// A fresh manager reading data/ as the program directory.
class ShippedBand : public ::testing::Test {
 protected:
  void SetUp() override {
    Manager::Destroy();
    Kesh::Artists::Layout::Instance()->Clear();
  }
  void TearDown() override {
    ScopedDirectory at(kData);
    Manager::Destroy();
    Kesh::Artists::Layout::Instance()->Clear();
  }
};

// Every artist element of the index, loaded with the artist loader (current directory: the
// artists folder, as the manager has it).
struct Loaded {
  std::string file;
  std::unique_ptr<Artist> artist;
  std::string thumb;
};

std::vector<Loaded> LoadEveryArtist() {
  std::vector<Loaded> out;
  Xml::Document index;
  EXPECT_TRUE(index.Load("artists.xml"));
  auto includes = index.SelectNode("profile/artists");
  EXPECT_TRUE(includes);
  if (!includes) {
    return out;
  }
  for (auto include = includes->FirstChild(); include; include = include->NextSibling()) {
    if (!include->IsElement()) {
      continue;
    }
    Loaded loaded;
    EXPECT_TRUE(include->ReadString("file", loaded.file));
    auto file = Xml::OpenInclude(include.get());
    EXPECT_TRUE(file) << loaded.file;
    if (!file) {
      continue;
    }
    auto list = file->SelectNode("profile/artists");
    EXPECT_TRUE(list) << loaded.file;
    if (!list) {
      continue;
    }
    auto element = list->FirstChild();
    while (element && !element->IsElement()) {
      element = element->NextSibling();
    }
    EXPECT_TRUE(element) << loaded.file;
    if (!element) {
      continue;
    }
    element->ReadString("thumb", loaded.thumb);
    loaded.artist = std::make_unique<Artist>();
    EXPECT_TRUE(loaded.artist->LoadXml(element.get())) << loaded.file;
    out.push_back(std::move(loaded));
  }
  return out;
}

TEST_F(ShippedBand, PatchMapNamesEveryProgramAndEveryCandidateIsAnArtist) {
  ScopedDirectory at(kData);
  Manager* manager = Manager::Instance();  // throws on a patch map without 128 programs
  EXPECT_EQ(manager->GetInstrumentName(0), "Acoustic Grand Piano");
  EXPECT_EQ(manager->GetInstrumentName(30), "Distortion Guitar");
  EXPECT_EQ(manager->GetInstrumentName(127), "Gunshot");
  std::set<std::string> names;
  for (int program = 0; program < 128; ++program) {
    names.insert(manager->GetInstrumentName(program));
  }
  EXPECT_EQ(names.size(), 128u);
  EXPECT_EQ(names.count(""), 0u);
  EXPECT_GE(manager->GetCache().Count(), 5);

  // Every program finds a musician for a high part and for a low part.
  auto bars = Fixture::MakeBars(4, 4, 4, 120, 2000);
  for (int program = 0; program < 128; ++program) {
    for (float low : {40.0f, 64.0f}) {
      SCOPED_TRACE("program " + std::to_string(program) + " from note " + std::to_string(low));
      auto track = Fixture::MakeTrack(program, *bars, {{8, low, low + 12}, {8, low, low + 12}});
      manager->Reset();
      Artist* artist = manager->GetArtist(track.get());
      ASSERT_NE(artist, nullptr);
      EXPECT_TRUE(Manager::FitsRange(track.get(), artist->range));
    }
  }
  manager->Reset();
}

TEST_F(ShippedBand, TheDrummerAnswersToTheFourGroupsAndThePercussionistTo204) {
  ScopedDirectory at(kData);
  Manager* manager = Manager::Instance();
  auto bars = Fixture::MakeBars(4, 4, 4, 120, 2000);
  Artist* drummer = nullptr;
  // Whatever order the groups ask in, they share one drummer.
  for (int patch : {202, 200, 203, 201}) {
    auto track = Fixture::MakeTrack(patch, *bars, {{8, 36, 49}}, 9);
    Artist* artist = manager->GetArtist(track.get());
    ASSERT_NE(artist, nullptr) << patch;
    EXPECT_EQ(artist->GetName(), "Drummer");
    if (drummer != nullptr) {
      EXPECT_EQ(artist, drummer);
    }
    drummer = artist;
  }
  ASSERT_NE(drummer, nullptr);
  EXPECT_EQ(drummer->patches, (std::vector<int>{200, 201, 202, 203}));
  if (!Ships(manager, "Percussionist")) {
    manager->Reset();
    return;
  }
  auto congas = Fixture::MakeTrack(204, *bars, {{8, 62, 64}}, 9);
  Artist* percussionist = manager->GetArtist(congas.get());
  ASSERT_NE(percussionist, nullptr);
  EXPECT_EQ(percussionist->GetName(), "Percussionist");
  manager->Reset();
}

TEST_F(ShippedBand, EveryArtistHasAllSetsWithConsistentImages) {
  ScopedDirectory at(kData + "/artists");
  const auto band = LoadEveryArtist();
  ASSERT_GE(band.size(), 5u);
  {
    Manager::Destroy();
    ScopedDirectory up("..");
    EXPECT_EQ(static_cast<size_t>(Manager::Instance()->GetCache().Count()), band.size());
  }
  std::set<std::string> names;
  for (const Loaded& loaded : band) {
    const Artist& artist = *loaded.artist;
    SCOPED_TRACE(loaded.file);
    names.insert(artist.GetName());
    EXPECT_FALSE(artist.desc.empty());
    EXPECT_FALSE(artist.patches.empty());

    Image thumb;
    EXPECT_TRUE(thumb.LoadPng(loaded.thumb)) << loaded.thumb;
    EXPECT_FALSE(thumb.Empty());

    // Every frame of every set, then the body sprites: feet on one row, one frame size.
    std::map<int, int> feetRows;  // row -> number of images
    int width = -1;
    for (int kind = 1; kind <= 13; ++kind) {
      SCOPED_TRACE("set " + std::string(Kesh::Artists::Animation::KindName(kind)));
      const auto* set = artist.GetSet(kind);
      ASSERT_NE(set, nullptr);
      const auto* sprite = set->GetSprite();
      ASSERT_GE(sprite->Count(), 4);
      if (kind == 1 || kind == 2) {
        EXPECT_GT(set->velocity, 0.0f);
      }
      for (const Image* image : sprite->Images()) {
        ASSERT_FALSE(image->Empty());  // a missing file loads as an empty image
        EXPECT_EQ(image->Height(), kFrameHeight);
        if (width < 0) {
          width = image->Width();
        }
        EXPECT_EQ(image->Width(), width);
        ++feetRows[FeetRow(*image)];
      }
    }
    ASSERT_GE(artist.sprites.Count(), 1);  // the stage pieces that stay
    for (int i = 0; i < artist.sprites.Count(); ++i) {
      const auto* body =
          dynamic_cast<const Vell::Gfx::G2D::Sprites::Sprite*>(artist.sprites.GetAt(i));
      ASSERT_NE(body, nullptr);
      ASSERT_EQ(body->Count(), 1);
      EXPECT_EQ(body->Images()[0]->Width(), width);
      EXPECT_EQ(body->Images()[0]->Height(), kFrameHeight);
      ++feetRows[FeetRow(*body->Images()[0])];
    }
    ASSERT_FALSE(feetRows.empty());
    EXPECT_LE(feetRows.rbegin()->first - feetRows.begin()->first, 1)
        << "feet rows from " << feetRows.begin()->first << " to " << feetRows.rbegin()->first;
    // The feet stand on the bottom rows, where the shadows put the floor.
    EXPECT_GE(feetRows.begin()->first, kFrameHeight - 3);
  }
  EXPECT_EQ(names.size(), band.size());
}

TEST(ShippedBandSize, ImagesStayUnder25Megabytes) {
  uintmax_t total = 0;
  int files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(kData + "/artists")) {
    if (entry.is_regular_file() && entry.path().extension() == ".png") {
      total += entry.file_size();
      ++files;
    }
  }
  EXPECT_GT(files, 5 * 13 * 4);
  EXPECT_LT(total, 25u * 1000 * 1000);
}

#ifdef TAVRO_HAVE_MIDI
// Songs with a high and a low electric guitar part: the high part goes to the lead guitarist,
// the low one to the rhythm guitarist, whichever asks first.
TEST_F(ShippedBand, GuitarPartsGoToTheGuitaristsByRange) {
  using Kesh::Data::Events::Analysis;
  std::vector<fs::path> songs;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(fs::path(TAVRO_CORPUS_DIR) / "songs", ec)) {
    songs.push_back(entry.path());
  }
  if (songs.empty()) {
    GTEST_SKIP() << "no corpus at " << TAVRO_CORPUS_DIR;
  }
  std::sort(songs.begin(), songs.end());
  ScopedDirectory at(kData);
  Manager* manager = Manager::Instance();
  if (!Ships(manager, "Lead guitarist") || !Ships(manager, "Rhythm guitarist")) {
    GTEST_SKIP() << "the band has not both guitarists yet";
  }
  int checked = 0;
  for (const fs::path& path : songs) {
    Kesh::Audio::Midi::MidiFile file;
    std::string reason;
    if (!Kesh::Audio::Midi::ReadMidiFile(path.string(), file, reason)) {
      continue;
    }
    Analysis analysis(&file.song, kData + "/config/analysis.xml");
    if (!analysis.Run()) {
      continue;
    }
    const Kesh::Data::Tracks::Event* high = nullptr;
    const Kesh::Data::Tracks::Event* low = nullptr;
    for (const auto* track : analysis.GetTracks()) {
      const int patch = track->GetPatch();
      if (patch < 26 || patch > 31) {
        continue;
      }
      (Manager::FitsRange(track, 60) ? high : low) = track;
    }
    if (high == nullptr || low == nullptr) {
      continue;
    }
    SCOPED_TRACE(path.filename().string());
    for (bool highFirst : {true, false}) {
      manager->Reset();
      const auto* first = highFirst ? high : low;
      const auto* second = highFirst ? low : high;
      Artist* a = manager->GetArtist(first);
      Artist* b = manager->GetArtist(second);
      ASSERT_NE(a, nullptr);
      ASSERT_NE(b, nullptr);
      EXPECT_EQ((highFirst ? a : b)->GetName(), "Lead guitarist");
      EXPECT_EQ((highFirst ? b : a)->GetName(), "Rhythm guitarist");
    }
    ++checked;
  }
  manager->Reset();
  EXPECT_GE(checked, 1) << "no corpus song has a high and a low electric guitar part";
}
#endif

}  // namespace
