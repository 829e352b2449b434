#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "artists/artist.h"
#include "artists/layout.h"
#include "artists/manager.h"
#include "artists/sets.h"
#include "artists/settings.h"
#include "fixture.h"
#include "framework/diagnostics.h"
#include "framework/xml.h"
#include "gfx/image.h"
#include "platform/platform.h"
#include "tracks.h"

namespace {

using Kesh::Artists::Artist;
using Kesh::Artists::Layout;
using Kesh::Artists::Manager;
namespace Animation = Kesh::Artists::Animation;
using Fixture::MakeBars;
using Fixture::MakeTrack;
using Fixture::RangeDef;
using Vell::Platform::CurrentDirectory;
using Vell::Platform::ScopedDirectory;

std::unique_ptr<Vell::Data::Xml::Document> Parse(const std::string& text) {
  auto document = std::make_unique<Vell::Data::Xml::Document>();
  EXPECT_TRUE(document->LoadString(text));
  return document;
}

// ---- sets and artists ----

TEST(AnimationSets, AreCreatedByElementNameIgnoringCase) {
  auto document = Parse(
      "<a><SLR velocity='3.5' easeIn='0.25' easeOut='0.5' tempo='90' joinAt='5'><sprite/></SLR>"
      "<Crb/><walk/><!-- c --></a>");
  auto node = document->GetRoot()->FirstChild();
  auto walking = Animation::CreateSet(node.get());
  ASSERT_NE(walking, nullptr);
  EXPECT_EQ(walking->GetKind(), 1);
  EXPECT_FLOAT_EQ(walking->velocity, 3.5f);
  EXPECT_FLOAT_EQ(walking->easeIn, 0.25f);
  EXPECT_FLOAT_EQ(walking->easeOut, 0.5f);
  EXPECT_EQ(walking->tempo, 90);
  EXPECT_EQ(walking->joinAt, 5);
  EXPECT_EQ(walking->GetSprite()->startStep, 5);

  node = node->NextSibling();
  auto bare = Animation::CreateSet(node.get());  // no attributes, no sprite element
  ASSERT_NE(bare, nullptr);
  EXPECT_EQ(bare->GetKind(), 13);
  EXPECT_EQ(bare->tempo, 100);
  EXPECT_EQ(bare->velocity, 0);
  EXPECT_EQ(bare->easeIn, 0);
  EXPECT_EQ(bare->easeOut, 0);
  EXPECT_EQ(bare->joinAt, 0);
  ASSERT_NE(bare->GetSprite(), nullptr);
  EXPECT_EQ(bare->GetSprite()->Count(), 0);

  node = node->NextSibling();
  EXPECT_EQ(Animation::CreateSet(node.get()), nullptr);
  EXPECT_EQ(Animation::CreateSet(node->NextSibling().get()), nullptr);  // the comment
  for (int kind = 1; kind <= 13; ++kind) {
    EXPECT_EQ(Animation::KindOfName(Animation::KindName(kind)), kind);
  }
}

TEST(AnimationSets, SpritesHoldEachImageForTheQualitySetting) {
  Fixture::Program program;
  program.WriteArtist({"a.xml", 1, "A", "1", "M", "1,1", "", "", Fixture::AllSets()});
  ScopedDirectory artists(program.Path("artists"));
  auto document = std::make_unique<Vell::Data::Xml::Document>();
  ASSERT_TRUE(document->Load("a.xml"));
  for (int quality : {1, 2, 4, 7}) {
    Animation::SetQuality(quality);
    Artist artist;
    ASSERT_TRUE(artist.LoadXml(document->SelectNode("profile/artists")->FirstChild().get()));
    const auto* sprite = artist.GetSet(Animation::kCSA)->GetSprite();
    ASSERT_EQ(sprite->Count(), 4);  // four files, whatever the quality
    std::set<const Vell::Gfx::Image*> distinct(sprite->Images().begin(), sprite->Images().end());
    const int hold = quality == 7 ? 1 : quality;
    EXPECT_EQ(distinct.size(), static_cast<size_t>((4 + hold - 1) / hold)) << quality;
  }
  Animation::SetQuality(1);
}

TEST(ArtistLoading, ReadsAttributesSetsAndBodySprites) {
  auto document = Parse(
      "<artist name='Bob' desc='Bass' patch='33,34,,35,' type='p' space='1,2,3,4' place='5,1' "
      "range='-48' priority='150'>"
      "<childs><sprite z-order='3'/><!-- no --><sprite z-order='1'/></childs>"
      "<animation SLen='6' RLen='5' SPos='3' RPos='1'>"
      "<csa tempo='1'/><unknown/><CSA tempo='2'/><cfa/></animation></artist>");
  Layout::Instance()->Clear();
  Artist artist;
  ASSERT_TRUE(artist.LoadXml(document->GetRoot().get()));
  EXPECT_EQ(artist.GetName(), "Bob");
  EXPECT_EQ(artist.desc, "Bass");
  EXPECT_EQ(artist.patches, (std::vector<int>{33, 34, 35}));
  EXPECT_EQ(artist.type, 2);
  EXPECT_EQ(artist.space, (std::array<int, 4>{1, 2, 3, 4}));
  EXPECT_EQ(artist.column, 3);  // place 5 is lowered to the last column
  EXPECT_EQ(artist.row, 0);
  EXPECT_EQ(artist.range, -48);
  EXPECT_EQ(artist.priority, 150);
  EXPECT_EQ(artist.sLen, 6);
  EXPECT_EQ(artist.rLen, 5);
  EXPECT_EQ(artist.sPos, 3);
  EXPECT_EQ(artist.rPos, 1);
  EXPECT_EQ(artist.sets.size(), 2u);
  EXPECT_EQ(artist.GetSet(Animation::kCSA)->tempo, 2);  // the later set of a kind wins
  EXPECT_EQ(artist.sprites.Count(), 2);
  // Loading positioned the artist in its cell (column 3, row 0).
  EXPECT_FLOAT_EQ(artist.x, 3 * 164 + 137.8f);
  EXPECT_FLOAT_EQ(artist.y, 280.0f);
  auto* body = static_cast<Artist::Sprite*>(artist.sprites.GetAt(0));
  EXPECT_EQ(body->positionTrack.Keys().size(), 1u);
  EXPECT_FLOAT_EQ(body->positionTrack.Value().x, artist.x);
  EXPECT_FLOAT_EQ(artist.GetSet(Animation::kCFA)->GetSprite()->depth, 0.0f);
  EXPECT_EQ(Layout::Instance()->At(3, 0), nullptr);  // loading does not claim the cell
}

TEST(ArtistLoading, TypeLettersAndPlaceDefaults) {
  for (auto [letter, type] :
       std::vector<std::pair<std::string, int>>{{"M", 1}, {"e", 3}, {"X", 1}, {"", 1}}) {
    auto document = Parse("<artist type='" + letter + "' place='0,9'/>");
    Artist artist;
    EXPECT_TRUE(artist.LoadXml(document->GetRoot().get()));
    EXPECT_EQ(artist.type, type) << letter;
    EXPECT_EQ(artist.column, 0);  // places are kept inside the grid
    EXPECT_EQ(artist.row, 3);
  }
}

TEST(ArtistLoading, MovingKeepsTheBodySpritesInTheirOwnOrder) {
  auto document = Parse(
      "<artist place='2,2'><childs><sprite z-order='1'/><sprite z-order='4'/>"
      "</childs><animation><cfa/></animation></artist>");
  Artist artist;
  EXPECT_TRUE(artist.LoadXml(document->GetRoot().get()));
  auto depth = [&](int i) { return static_cast<Artist::Sprite*>(artist.sprites.GetAt(i))->depth; };
  EXPECT_GT(depth(0), depth(1));
  EXPECT_LT(depth(0), 1.0f);
  for (int move = 0; move < 3; ++move) {
    artist.Position(2, 2);
    EXPECT_GT(depth(0), depth(1)) << move;  // repeated positioning does not compound
    EXPECT_NEAR(depth(0), 2.0f, 1e-5);
  }
  EXPECT_FLOAT_EQ(artist.GetSet(Animation::kCFA)->GetSprite()->depth, 2.0f);
  EXPECT_FLOAT_EQ(artist.x, 2 * 164 + 66.25f);
  EXPECT_FLOAT_EQ(artist.y, 238.0f);
  artist.Position(4, 0);  // outside the grid: nothing changes
  EXPECT_EQ(artist.column, 2);
}

// ---- the manager ----

class ManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Fixture::WriteBand(program);
    Manager::Destroy();
    Layout::Instance()->Clear();
    start = CurrentDirectory();
  }
  void TearDown() override {
    Manager::Destroy();
    Layout::Instance()->Clear();
    EXPECT_EQ(CurrentDirectory(), start);
  }
  Manager* Open() {
    ScopedDirectory root(program.Root());
    return Manager::Instance();
  }
  Fixture::Program program;
  std::string start;
  std::unique_ptr<Kesh::Data::Tracks::Event> bars = MakeBars(4, 4, 4, 120, 2000);
};

TEST_F(ManagerTest, ReadsThePatchMapAndTheArtistList) {
  Manager* manager = Open();
  EXPECT_EQ(manager->Candidates().size(), 128u);
  EXPECT_EQ(manager->Candidates().at(0), (std::vector<int>{1, 2}));
  EXPECT_EQ(manager->GetInstrumentName(40), "Instrument 40");
  EXPECT_EQ(manager->GetInstrumentName(128), "");
  ASSERT_EQ(manager->GetCache().Count(), 6);
  auto* first = static_cast<Manager::Cache::Artist*>(manager->GetCache().GetAt(0));
  EXPECT_EQ(first->name, "Pianist");
  EXPECT_EQ(first->desc, "The Pianist");
  EXPECT_EQ(first->thumb, "Pianist.png");
}

// The message and the detail of the exception the manager's construction throws.
std::string FailureOfInstance() {
  Manager::Destroy();
  try {
    Manager::Instance();
  } catch (const Vell::Exception& e) {
    return e.ToString() + " | " + e.Detail();
  }
  return "no exception";
}

TEST_F(ManagerTest, PatchMapErrors) {
  ScopedDirectory root(program.Root());
  auto expectInvalid = [&](const std::string& why) {
    Manager::Destroy();
    EXPECT_THROW(Manager::Instance(), Manager::InvalidPatchMappingException) << why;
    EXPECT_EQ(CurrentDirectory(), program.Root());
  };
  program.WritePatchMap({}, 127);
  expectInvalid("program 127 missing");
  EXPECT_EQ(FailureOfInstance(),
            "Generic exception | './artists/patchmap.xml': 127 of the 128 programs are mapped");
  program.WritePatchMap({}, 128, "<m in='5' map='1' n='dup'/><m in='128' map='1' n='x'/>");
  expectInvalid("a program outside 0-127");
  program.WritePatchMap({}, 128, "<m map='1' n='no in'/>");
  expectInvalid("no in");
  program.WritePatchMap({}, 128, "<m in='3' n='no map'/>");
  expectInvalid("no map");
  program.WritePatchMap({}, 128, "<m in='3' map='1'/>");
  expectInvalid("no n");
  program.WriteText("artists/patchmap.xml", "<profile><other/></profile>");
  expectInvalid("no melodic element");
  // Duplicates of existing programs keep 128 distinct programs: accepted, the last one counts.
  program.WritePatchMap({}, 128, "<m in='5' map='9' n='again'/>");
  Manager::Destroy();
  EXPECT_EQ(Manager::Instance()->Candidates().at(5), (std::vector<int>{9}));

  std::filesystem::remove(program.Path("artists/patchmap.xml"));
  Manager::Destroy();
  EXPECT_THROW(Manager::Instance(), Manager::DatafileNotLoadedException);
  EXPECT_EQ(FailureOfInstance(),
            "Generic exception | './artists/patchmap.xml': cannot open the file");
  program.WriteText("artists/patchmap.xml", "<profile><patchmap>");
  Manager::Destroy();
  EXPECT_THROW(Manager::Instance(), Manager::DatafileNotLoadedException);
  const std::string unparsed = FailureOfInstance();
  EXPECT_EQ(unparsed.rfind("Generic exception | './artists/patchmap.xml': ", 0), 0U) << unparsed;
  // The text ends inside the open elements: the parser stops at its last byte.
  EXPECT_NE(unparsed.find(" at byte 18"), std::string::npos) << unparsed;
}

TEST_F(ManagerTest, ArtistIndexErrorsRestoreTheCurrentDirectory) {
  ScopedDirectory root(program.Root());
  std::filesystem::remove(program.Path("artists/artists.xml"));
  EXPECT_THROW(Manager::Instance(), Manager::DatafileNotLoadedException);
  EXPECT_EQ(CurrentDirectory(), program.Root());
  program.WriteText("artists/artists.xml", "<profile><nothing/></profile>");
  EXPECT_THROW(Manager::Instance(), Manager::DatafileNotLoadedException);
  EXPECT_EQ(FailureOfInstance(),
            "Generic exception | 'artists.xml': no \"profile/artists\" element");
  EXPECT_EQ(CurrentDirectory(), program.Root());
  // Unreadable artist files are left out of the list.
  program.WriteIndex({"pianist.xml", "missing.xml", "keys.xml"});
  EXPECT_EQ(Manager::Instance()->GetCache().Count(), 2);
}

TEST_F(ManagerTest, TracksOfOneProgramTakeTheCandidatesInOrder) {
  Manager* manager = Open();
  ScopedDirectory root(program.Root());
  auto piano1 = MakeTrack(0, *bars, {{}, {}});
  auto piano2 = MakeTrack(0, *bars, {{}, {}});
  auto piano3 = MakeTrack(0, *bars, {{}, {}});
  Artist* first = manager->GetArtist(piano1.get());
  Artist* second = manager->GetArtist(piano2.get());
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(first->GetName(), "Pianist");
  EXPECT_EQ(second->GetName(), "Keys");
  EXPECT_EQ(manager->GetArtist(piano3.get()), nullptr);  // both candidates taken
  EXPECT_EQ(CurrentDirectory(), program.Root());
  // A one-element map: the second bass track gets no artist.
  auto bass1 = MakeTrack(33, *bars, {{}});
  auto bass2 = MakeTrack(34, *bars, {{}});
  EXPECT_EQ(manager->GetArtist(bass1.get())->GetName(), "Bassist");
  EXPECT_EQ(manager->GetArtist(bass2.get()), nullptr);
  // The next song assigns afresh and reuses the loaded artists.
  manager->Reset();
  EXPECT_EQ(manager->GetArtist(piano2.get()), first);
  EXPECT_EQ(manager->LoadedArtists().size(), 3u);
  // A patch without any artist file (and patches beyond the drum groups) give null.
  auto odd = MakeTrack(250, *bars, {{}});
  EXPECT_EQ(manager->GetArtist(odd.get()), nullptr);
  EXPECT_EQ(manager->GetArtist(nullptr), nullptr);
}

TEST_F(ManagerTest, DrumGroupsTakeTheGroupPatchesInTheOrderTheyAsk) {
  Manager* manager = Open();
  ScopedDirectory root(program.Root());
  std::vector<std::unique_ptr<Kesh::Data::Tracks::Event>> groups;
  for (int patch : {203, 201, 200, 202}) {
    groups.push_back(MakeTrack(patch, *bars, {{}}, 9));
  }
  Artist* drummer = manager->GetArtist(groups[0].get());
  ASSERT_NE(drummer, nullptr);
  EXPECT_EQ(drummer->GetName(), "Drummer");
  EXPECT_TRUE(manager->IsPatchUsed(200));
  EXPECT_FALSE(manager->IsPatchUsed(203));
  EXPECT_EQ(manager->GetArtist(groups[1].get()), drummer);
  EXPECT_TRUE(manager->IsPatchUsed(201));
  EXPECT_EQ(manager->GetArtist(groups[2].get()), drummer);
  EXPECT_EQ(manager->GetArtist(groups[3].get()), drummer);
  EXPECT_TRUE(manager->IsPatchUsed(203));
  EXPECT_EQ(manager->TimesUsed(drummer), 4);
  auto fifth = MakeTrack(200, *bars, {{}}, 9);
  EXPECT_EQ(manager->GetArtist(fifth.get()), nullptr);
}

TEST_F(ManagerTest, AnUnfittingArtistIsReplacedByOneWithAFittingRange) {
  Manager* manager = Open();
  ScopedDirectory root(program.Root());
  RangeDef high{8, 62, 80};
  RangeDef low{8, 40, 58};
  auto highPart = MakeTrack(40, *bars, {high, high, low});
  auto lowPart = MakeTrack(40, *bars, {low, low, high, {0, 0, 0}});
  Artist* highViolin = manager->GetArtist(highPart.get());
  ASSERT_NE(highViolin, nullptr);
  EXPECT_EQ(highViolin->GetName(), "HighViolin");
  ASSERT_TRUE(Layout::Instance()->Place(highViolin));
  // Next song: the same program plays low; the high violinist is dropped from the stage and the
  // low one loaded in its place.
  manager->Reset();
  Artist* lowViolin = manager->GetArtist(lowPart.get());
  ASSERT_NE(lowViolin, nullptr);
  EXPECT_EQ(lowViolin->GetName(), "LowViolin");
  EXPECT_EQ(lowViolin->range, -60);
  EXPECT_EQ(manager->LoadedArtists().size(), 1u);
  EXPECT_EQ(Layout::Instance()->At(1, 1), nullptr);
  // Within one song an artist already playing is not destroyed for another track.
  auto highAgain = MakeTrack(40, *bars, {high});
  EXPECT_EQ(manager->GetArtist(highAgain.get()), nullptr);  // patch 5 is taken
}

TEST_F(ManagerTest, AnArtistFileWithoutArtistsFailsAndRestoresTheDirectory) {
  program.WriteText("artists/broken.xml", "<profile><nothing/></profile>");
  program.WriteIndex({"broken.xml", "pianist.xml"});
  Manager* manager = Open();
  ScopedDirectory root(program.Root());
  auto piano = MakeTrack(0, *bars, {{}});
  EXPECT_THROW(manager->GetArtist(piano.get()), Manager::DatafileNotLoadedException);
  EXPECT_EQ(CurrentDirectory(), program.Root());
}

TEST_F(ManagerTest, ABrokenArtistFileCountsOnlyWhereTheSearchReachesIt) {
  // Index: pianist (patch 1), a broken file, keys (patch 2). Program 0 asks for 1 then 2.
  program.WriteText("artists/broken.xml", "<profile><nothing/></profile>");
  program.WriteIndex({"pianist.xml", "broken.xml", "keys.xml"});
  Manager* manager = Open();
  ScopedDirectory root(program.Root());
  auto first = MakeTrack(0, *bars, {{}});
  Artist* pianist = manager->GetArtist(first.get());  // found before the broken file
  ASSERT_NE(pianist, nullptr);
  EXPECT_EQ(pianist->GetName(), "Pianist");
  auto second = MakeTrack(0, *bars, {{}});
  // Patch 2 lies behind the broken file: the search stops there.
  EXPECT_THROW(manager->GetArtist(second.get()), Manager::DatafileNotLoadedException);
  EXPECT_EQ(CurrentDirectory(), program.Root());
  EXPECT_FALSE(manager->IsPatchUsed(2));
}

std::vector<std::string>& Reports() {
  static std::vector<std::string> lines;
  return lines;
}

TEST_F(ManagerTest, AnArtistWithHostileImagesLoadsWithEmptyFramesAndSaysWhich) {
  // The pianist's first walking frame is damaged: its header claims 16384 x 16384 pixels and no
  // longer matches its checksum.
  const std::string frame = program.Path("artists/a1_slr_00.png");
  ASSERT_TRUE(Vell::Gfx::Image(1, 1).SavePng(frame));
  std::string bytes;
  {
    std::ifstream in(frame, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  bytes[18] = 0x40;  // width 0x4000
  bytes[22] = 0x40;  // height 0x4000
  std::ofstream(frame, std::ios::binary | std::ios::trunc) << bytes;
  Reports().clear();
  Vell::Diagnostics::SetSink([](const std::string& line) { Reports().push_back(line); });
  Manager* manager = Open();
  ScopedDirectory root(program.Root());
  auto piano = MakeTrack(0, *bars, {{}});
  Artist* pianist = manager->GetArtist(piano.get());
  Vell::Diagnostics::SetSink(nullptr);
  ASSERT_NE(pianist, nullptr);
  EXPECT_TRUE(pianist->GetSet(Kesh::Artists::Animation::kSLR)->GetSprite()->Images()[0]->Empty());
  ASSERT_EQ(Reports().size(), 1u);
  // The report names the file whole.
  EXPECT_EQ(Reports()[0].rfind("Sprite image not read: /", 0), 0u) << Reports()[0];
  EXPECT_NE(Reports()[0].find("/a1_slr_00.png: "), std::string::npos) << Reports()[0];
}

TEST_F(ManagerTest, TheArtistsImagesKeepWithinTheirBudget) {
  Kesh::Artists::Animation::SetQuality(1);
  // One 4096 x 4096 image (64 MiB decoded) stands for the images after the first of each set of
  // an artist, up to count of them: the first images (read when an artist loads) stay small.
  const std::string big = program.Path("artists/big.png");
  ASSERT_TRUE(Vell::Gfx::Image(4096, 4096, 0xFF102030).SavePng(big));
  const auto enlarge = [&](int id, int count) {
    for (const Fixture::SetDef& set : Fixture::AllSets()) {
      for (int i = 1; i < set.frames && count > 0; ++i, --count) {
        char number[16];
        std::snprintf(number, sizeof number, "%02d", i);
        const std::string file = program.Path("artists/a" + std::to_string(id) + "_" + set.element +
                                              "_" + number + ".png");
        std::filesystem::remove(file);
        std::filesystem::create_symlink(big, file);
      }
    }
  };
  constexpr uint64_t kBig = uint64_t{4096} * 4096 * 4;
  enlarge(1, 41);  // the pianist, 2624 MiB: more than all artists may take
  enlarge(2, 20);  // keys, 1280 MiB
  enlarge(3, 20);  // the bassist, 1280 MiB
  ASSERT_GT(41 * kBig, Manager::kImageBudgetBytes);
  ASSERT_LE(20 * kBig, Manager::kImageBudgetBytes);
  ASSERT_GT(40 * kBig, Manager::kImageBudgetBytes);

  Reports().clear();
  Vell::Diagnostics::SetSink([](const std::string& line) { Reports().push_back(line); });
  Manager* manager = Open();
  ScopedDirectory root(program.Root());
  auto piano = MakeTrack(0, *bars, {{}});
  auto bass = MakeTrack(33, *bars, {{}});
  // The pianist is left out and the piano goes to its next candidate; the bassist does not fit
  // beside the keys this song plays.
  Artist* keys = manager->GetArtist(piano.get());
  Artist* bassist = manager->GetArtist(bass.get());
  ASSERT_NE(keys, nullptr);
  EXPECT_EQ(keys->GetName(), "Keys");
  EXPECT_EQ(keys->imageBytes, 20 * kBig + (54 - 20) * 8 * 10 * 4 + 12 * 12 * 4);  // sets, body
  const std::vector<std::string> firstSong = Reports();
  // The next song drops the keys it does not use (they are gone), and the bassist fits.
  manager->Reset();
  Reports().clear();
  Artist* later = manager->GetArtist(bass.get());
  Vell::Diagnostics::SetSink(nullptr);

  EXPECT_EQ(bassist, nullptr);
  ASSERT_EQ(firstSong.size(), 2u);
  EXPECT_EQ(firstSong[0],
            "Artist Pianist (pianist.xml) is left out: its images need 2624.0 MiB "
            "and the artists' images may take 2048.0 MiB in all, 0.0 MiB of it "
            "taken");
  EXPECT_EQ(
      firstSong[1].rfind("Artist Bassist (bassist.xml) is left out: its images need 1280.", 0), 0u)
      << firstSong[1];
  ASSERT_NE(later, nullptr);
  EXPECT_EQ(later->GetName(), "Bassist");
  EXPECT_TRUE(Reports().empty());
  ASSERT_EQ(manager->LoadedArtists().size(), 1u);
  EXPECT_EQ(manager->LoadedArtists()[0].get(), later);
}

TEST(FitsRange, CountsBarsReachingUpAgainstBarsGoingBelow) {
  auto bars = MakeBars(6, 4, 4, 120, 1000);
  // above: hi >= 60; below: lo < 60; silent bars (lo or hi 0) count for neither.
  auto track = MakeTrack(
      1, *bars, {{8, 50, 65}, {8, 61, 70}, {8, 40, 55}, {0, 0, 0}, {8, 0, 90}, {8, 60, 60}});
  // above: bars 0, 1, 5 = 3; below: bars 0, 2 = 2.
  EXPECT_TRUE(Manager::FitsRange(track.get(), 60));
  EXPECT_FALSE(Manager::FitsRange(track.get(), -60));
  EXPECT_TRUE(Manager::FitsRange(track.get(), 0));
  // bound 61: above = bars 0 (65), 1 (70) = 2; below = bars 0, 2, 5 = 3.
  EXPECT_FALSE(Manager::FitsRange(track.get(), 61));
  EXPECT_TRUE(Manager::FitsRange(track.get(), -61));
  auto empty = MakeTrack(1, *bars, {});
  EXPECT_TRUE(Manager::FitsRange(empty.get(), 60));  // 0 >= 0
  EXPECT_FALSE(Manager::FitsRange(empty.get(), -60));
  EXPECT_TRUE(Manager::FitsRange(track.get(), -2147483647 - 1));  // no overflow of |range|
}

// ---- animation settings ----

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override { Animation::Manager::Destroy(); }
  void TearDown() override { Animation::Manager::Destroy(); }
  Fixture::Program program;
};

TEST_F(SettingsTest, DefaultsWithoutTheFile) {
  ScopedDirectory root(program.Root());
  auto* settings = Animation::Manager::Instance();
  EXPECT_FLOAT_EQ(settings->staccato, 0.5f);
  EXPECT_FLOAT_EQ(settings->overlap, 0.5f);
  EXPECT_EQ(settings->melodicThreshold, 4);
  EXPECT_EQ(settings->drumThreshold, 4);
  EXPECT_EQ(settings->eventsMin, 8);
  EXPECT_EQ(CurrentDirectory(), program.Root());
}

TEST_F(SettingsTest, ReadsWhatTheFileHolds) {
  program.WriteText("config/animation.xml",
                    "<profile><animation><layout eventsMin='3'><drum threshold='2'/></layout>"
                    "</animation></profile>");
  ScopedDirectory root(program.Root());
  auto* settings = Animation::Manager::Instance();
  EXPECT_EQ(settings->eventsMin, 3);
  EXPECT_EQ(settings->drumThreshold, 2);
  EXPECT_FLOAT_EQ(settings->staccato, 0.5f);
  EXPECT_EQ(settings->melodicThreshold, 4);
  EXPECT_EQ(CurrentDirectory(), program.Root());

  program.WriteText("config/animation.xml",
                    "<profile><animation><layout><melodic staccato='0.25' overlap='0.75' "
                    "threshold='6'/></layout></animation></profile>");
  Animation::Manager::Destroy();
  settings = Animation::Manager::Instance();
  EXPECT_FLOAT_EQ(settings->staccato, 0.25f);
  EXPECT_FLOAT_EQ(settings->overlap, 0.75f);
  EXPECT_EQ(settings->melodicThreshold, 6);
  EXPECT_EQ(settings->eventsMin, 8);

  program.WriteText("config/animation.xml", "<profile><animation>");  // does not parse
  Animation::Manager::Destroy();
  EXPECT_EQ(Animation::Manager::Instance()->melodicThreshold, 4);
  EXPECT_EQ(CurrentDirectory(), program.Root());
}

}  // namespace
