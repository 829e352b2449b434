// The shipped band in data/: the patch map, the artist index and every artist with its images,
// read through the program's own loaders (patch map and artist manager, artist and set loaders,
// sprite sequences, PNG decoder), plus the guitarists' split by range on corpus songs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "artists/artist.h"
#include "artists/layout.h"
#include "artists/manager.h"
#include "artists/settings.h"
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
// The drummer sits on the riser drawn into every stage: his frames are twice its height taller,
// so that the sprite, drawn centred on its point, shows him that much higher.
constexpr int kDrumRiser = 40;
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

// The General MIDI families and the musicians who play them, written down from the instruments
// (not read from the packer that writes the patch map). A part of the family goes to one of
// `players`; a second part of the same program to one of `players` or `second`.
struct Family {
  int first;
  int last;
  const char* name;
  std::set<std::string> players;
  std::set<std::string> second;
};

const std::vector<Family>& Families() {
  static const std::vector<Family> families = {
      {0, 7, "pianos, electric pianos, harpsichord, clavinet", {"Pianist", "Keyboardist"}, {}},
      {8,
       14,
       "celesta, glockenspiel, music box, vibraphone, marimba, xylophone, bells",
       {"Mallet player"},
       {"Keyboardist", "Pianist", "Percussionist"}},
      {15, 15, "dulcimer", {"Folk musician", "Mallet player"}, {}},
      {16, 21, "organs, accordion", {"Keyboardist"}, {"Pianist"}},
      {22, 22, "harmonica", {"Singer", "Folk musician"}, {"Keyboardist"}},
      {23, 23, "tango accordion", {"Keyboardist"}, {"Pianist"}},
      {24, 31, "guitars", {"Acoustic guitarist", "Lead guitarist", "Rhythm guitarist"}, {}},
      {32, 37, "basses", {"Bassist", "Upright bassist"}, {}},
      {38, 39, "synth basses", {"Bassist"}, {"Synth lead", "Keyboardist"}},
      {40, 41, "violin, viola", {"Violinist"}, {"Cellist"}},
      {42, 43, "cello, contrabass", {"Cellist"}, {"Violinist", "Upright bassist"}},
      {44, 45, "tremolo and pizzicato strings", {"Violinist"}, {"Cellist"}},
      {46, 46, "harp", {"Harpist"}, {"Pianist"}},
      {47, 47, "timpani", {"Percussionist"}, {"Mallet player"}},
      {48, 49, "string ensembles", {"Violinist"}, {"Cellist"}},
      {50, 51, "synth strings", {"Pad player"}, {"Keyboardist"}},
      {52, 52, "choir aahs", {"Choir"}, {"Singer"}},
      {53, 53, "voice oohs", {"Singer"}, {"Choir"}},
      {54, 54, "synth voice", {"Pad player"}, {"Choir", "Singer"}},
      {55, 55, "orchestra hit", {"Harpist"}, {"Keyboardist"}},
      {56,
       61,
       "trumpets, trombone, tuba, French horn, brass section",
       {"Trumpeter", "Trombonist"},
       {}},
      {62, 63, "synth brass", {"Synth lead"}, {"Pad player"}},
      {64, 67, "saxophones", {"Saxophonist"}, {"Clarinettist"}},
      {68, 71, "oboe, English horn, bassoon, clarinet", {"Clarinettist"}, {"Saxophonist"}},
      {72, 79, "flutes, recorder, pipes, whistle, ocarina", {"Flautist"}, {"Clarinettist"}},
      {80,
       87,
       "synth leads",
       {"Synth lead"},
       {"Pad player", "Lead guitarist", "Rhythm guitarist", "Singer", "Bassist"}},
      {88, 95, "synth pads", {"Pad player"}, {"Keyboardist", "Choir"}},
      {96, 103, "synth effects", {"DJ"}, {"Pad player"}},
      {104,
       109,
       "sitar, banjo, shamisen, koto, kalimba, bagpipe",
       {"Folk musician"},
       {"Acoustic guitarist", "Mallet player", "Flautist"}},
      {110, 110, "fiddle", {"Violinist"}, {"Folk musician"}},
      {111, 111, "shanai", {"Clarinettist"}, {"Folk musician"}},
      {112,
       119,
       "bells, agogo, steel drums, woodblock, taiko, toms, synth drum, cymbal",
       {"Percussionist", "Mallet player", "DJ"},
       {}},
      {120,
       120,
       "guitar fret noise",
       {"Lead guitarist", "Rhythm guitarist"},
       {"Acoustic guitarist"}},
      {121, 121, "breath noise", {"Flautist"}, {"DJ"}},
      {122, 125, "seashore, bird, telephone, helicopter", {"DJ"}, {"Pad player"}},
      {126, 126, "applause", {"Singer"}, {"DJ"}},
      {127, 127, "gunshot", {"DJ"}, {"Pad player"}},
  };
  return families;
}

TEST_F(ShippedBand, EveryProgramGoesToAMusicianOfItsFamilyAndASecondPartToAnother) {
  // The table covers every program once.
  std::vector<const Family*> of(128, nullptr);
  for (const Family& family : Families()) {
    for (int program = family.first; program <= family.last; ++program) {
      ASSERT_EQ(of[program], nullptr) << program;
      of[program] = &family;
    }
  }
  ScopedDirectory at(kData);
  Manager* manager = Manager::Instance();
  auto bars = Fixture::MakeBars(4, 4, 4, 120, 2000);
  for (int program = 0; program < 128; ++program) {
    ASSERT_NE(of[program], nullptr) << program;
    const Family& family = *of[program];
    for (float low : {40.0f, 64.0f}) {
      SCOPED_TRACE(std::string(family.name) + ", program " + std::to_string(program) +
                   " from note " + std::to_string(low));
      auto one = Fixture::MakeTrack(program, *bars, {{8, low, low + 12}, {8, low, low + 12}});
      auto two = Fixture::MakeTrack(program, *bars, {{8, low, low + 12}, {8, low, low + 12}});
      manager->Reset();
      Artist* first = manager->GetArtist(one.get());
      Artist* second = manager->GetArtist(two.get());
      ASSERT_NE(first, nullptr);
      ASSERT_NE(second, nullptr) << "no musician for a second part";
      EXPECT_NE(first, second);
      EXPECT_EQ(family.players.count(first->GetName()), 1u) << first->GetName();
      EXPECT_EQ(family.players.count(second->GetName()) + family.second.count(second->GetName()),
                1u)
          << second->GetName();
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
    const int height = kFrameHeight + 2 * (artist.GetName() == "Drummer" ? kDrumRiser : 0);
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
        EXPECT_EQ(image->Height(), height);
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
      EXPECT_EQ(body->Images()[0]->Height(), height);
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

// What the stage layout knows of a musician, against ImageMagick's trim of the shipped images
// (identify -format '%@' csa_00.png body.png): the playing image's opaque box around the
// musician's point (the image centred on it) and the side the stage pieces stand on.
TEST_F(ShippedBand, TheLayoutMeasuresEachMusiciansBoxAndHisPiecesSide) {
  ScopedDirectory at(kData + "/artists");
  const auto band = LoadEveryArtist();
  struct Expected {
    std::string name;
    Artist::Extent extent;
    int piecesSide;
  };
  const std::vector<Expected> expected{
      // 104x136+50+16 of 184x152; the amplifier 49x72+103+80, right of him.
      {"Bassist", {50 - 92, 16 - 76, 154 - 92, 152 - 76}, 1},
      // 124x130+35+22 of 184x152; the amplifier 48x54+35+98, left of him.
      {"Rhythm guitarist", {35 - 92, 22 - 76, 159 - 92, 152 - 76}, -1},
      // 53x125+59+27 of 160x152; the microphone stand 28x115+66+37, in front of her.
      {"Singer", {59 - 80, 27 - 76, 112 - 80, 152 - 76}, 0},
      // 80x130+48+22 of 176x152; the keyboard stand 80x93+48+58, around him.
      {"Keyboardist", {48 - 88, 22 - 76, 128 - 88, 152 - 76}, 0}};
  for (const Expected& e : expected) {
    SCOPED_TRACE(e.name);
    const auto found = std::find_if(band.begin(), band.end(), [&e](const Loaded& loaded) {
      return loaded.artist->GetName() == e.name;
    });
    ASSERT_NE(found, band.end());
    const Artist& artist = *found->artist;
    EXPECT_FLOAT_EQ(artist.extent.left, e.extent.left);
    EXPECT_FLOAT_EQ(artist.extent.top, e.extent.top);
    EXPECT_FLOAT_EQ(artist.extent.right, e.extent.right);
    EXPECT_FLOAT_EQ(artist.extent.bottom, e.extent.bottom);
    EXPECT_EQ(artist.piecesSide, e.piecesSide);
  }
}

// The 1x images; the 2x ones count towards the whole data folder's limit (art_2x_test.cpp).
TEST(ShippedBandSize, ImagesStayUnder40Megabytes) {
  uintmax_t total = 0;
  int files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(kData + "/artists")) {
    if (entry.is_regular_file() && entry.path().extension() == ".png" &&
        !entry.path().filename().string().ends_with("@2x.png")) {
      total += entry.file_size();
      ++files;
    }
  }
  EXPECT_GT(files, 24 * 13 * 4);  // the whole band of 24 musicians
  EXPECT_LT(total, 40u * 1000 * 1000);
}

#ifdef TAVRO_HAVE_MIDI
// The corpus songs (not the karaoke files) in name order; none without the corpus.
std::vector<fs::path> CorpusSongs() {
  std::vector<fs::path> songs;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(fs::path(TAVRO_CORPUS_DIR) / "songs", ec)) {
    songs.push_back(entry.path());
  }
  std::sort(songs.begin(), songs.end());
  return songs;
}

// Songs with a high and a low electric guitar part: the high part goes to the lead guitarist,
// the low one to the rhythm guitarist, whichever asks first.
TEST_F(ShippedBand, GuitarPartsGoToTheGuitaristsByRange) {
  using Kesh::Data::Events::Analysis;
  const std::vector<fs::path> songs = CorpusSongs();
  if (songs.empty()) {
    GTEST_SKIP() << "no corpus at " << TAVRO_CORPUS_DIR;
  }
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

// The busy instruments of a song, busiest first: those with at least eventsMin bars above the
// threshold of animation.xml (melodic or drum), as the player counts them.
std::vector<const Kesh::Data::Tracks::Event*> BusyTracks(
    const Kesh::Data::Events::Analysis& analysis) {
  const auto* settings = Kesh::Artists::Animation::Manager::Instance();
  std::vector<std::pair<int, const Kesh::Data::Tracks::Event*>> busy;
  for (const auto* track : analysis.GetTracks()) {
    const int patch = track->GetPatch();
    if (patch < 0) {
      continue;
    }
    const int threshold = patch <= 127 ? settings->melodicThreshold : settings->drumThreshold;
    int active = 0;
    for (const auto* event : track->GetEvents()) {
      if (event->GetType() != Kesh::Data::Events::BarRange::kType) {
        continue;
      }
      const auto* range = static_cast<const Kesh::Data::Events::BarRange*>(event);
      if (range->NoteCount() > static_cast<float>(threshold) &&
          (patch < 204 || range->Weight() >= 1.0f)) {
        ++active;
      }
    }
    if (active >= settings->eventsMin) {
      busy.emplace_back(active, track);
    }
  }
  std::stable_sort(busy.begin(), busy.end(),
                   [](const auto& a, const auto& b) { return a.first > b.first; });
  std::vector<const Kesh::Data::Tracks::Event*> out;
  for (const auto& entry : busy) {
    out.push_back(entry.second);
  }
  return out;
}

// Every corpus song through the analysis and the manager: the orchestral, brass and synth parts
// of three songs reach their musicians. With TAVRO_BAND_CORPUS_TABLE=FILE the rows of
// docs/band-corpus.md (song | patch → artist; ...) are written to FILE.
TEST_F(ShippedBand, CorpusPartsReachTheirMusicians) {
  using Kesh::Data::Events::Analysis;
  const std::vector<fs::path> songs = CorpusSongs();
  if (songs.empty()) {
    GTEST_SKIP() << "no corpus at " << TAVRO_CORPUS_DIR;
  }
  ScopedDirectory at(kData);
  Kesh::Artists::Animation::Manager::Destroy();
  Manager* manager = Manager::Instance();
  std::map<std::string, std::map<int, std::string>> given;  // song -> patch -> artist
  std::string table;
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
    const std::string song = path.stem().string();
    table += "| " + song + " | ";
    manager->Reset();
    for (const auto* track : BusyTracks(analysis)) {
      Artist* artist = manager->GetArtist(track);
      const std::string name = artist != nullptr ? artist->GetName() : "none";
      given[song].emplace(track->GetPatch(), name);
      table += std::to_string(track->GetPatch()) + "→" + name + "; ";
    }
    table += "|\n";
  }
  manager->Reset();
  Kesh::Artists::Animation::Manager::Destroy();
  if (const char* out = std::getenv("TAVRO_BAND_CORPUS_TABLE")) {
    std::ofstream(out) << table;
  }

  // Harp, strings and flute; brass and reeds (the tuba goes to the trumpeter once the
  // trombonist plays the trombone); synth lead, pad and effects.
  const std::map<std::string, std::map<int, std::string>> expected = {
      {"openmsx__linns_basket",
       {{46, "Harpist"}, {48, "Violinist"}, {73, "Flautist"}, {40, "Cellist"}}},
      {"yubatake__Town",
       {{69, "Clarinettist"}, {57, "Trombonist"}, {70, "Saxophonist"}, {58, "Trumpeter"}}},
      {"freedoom__d_dm10", {{80, "Synth lead"}, {50, "Pad player"}, {99, "DJ"}}},
  };
  for (const auto& [song, parts] : expected) {
    SCOPED_TRACE(song);
    ASSERT_EQ(given.count(song), 1u) << "not in the corpus or not analysed";
    for (const auto& [patch, name] : parts) {
      const auto found = given[song].find(patch);
      ASSERT_NE(found, given[song].end()) << "program " << patch << " is not busy";
      EXPECT_EQ(found->second, name) << "program " << patch;
    }
  }
}
#endif

}  // namespace
