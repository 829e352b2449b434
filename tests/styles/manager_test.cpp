// The styles manager over a styles folder written by the test: loading, failures, look-ups,
// selection with its tie-breaks, and the first entrance.
#include <gtest/gtest.h>

#include "platform/platform.h"
#include "styles/fixture.h"
#include "styles/manager.h"
#include "styles/style.h"

namespace {

using Kesh::Styles::Manager;
using Kesh::Styles::Style;
using StylesFixture::Folder;

// Constructs the manager in the folder's root and destroys it again with the test.
class ManagerTest : public ::testing::Test {
 protected:
  void TearDown() override { Manager::Destroy(); }

  Manager* Open() {
    Vell::Platform::ScopedDirectory root(folder.Root());
    return Manager::Instance();
  }
  void ExpectNotLoaded() {
    Vell::Platform::ScopedDirectory root(folder.Root());
    EXPECT_THROW(Manager::Instance(), Manager::DatafileNotLoadedException);
    EXPECT_FALSE(Manager::Exists());
  }

  Folder folder;
};

constexpr const char* kFullStyle = R"(
  <filters>
    <fade depth="24" inc="3"><auto attack="50" release="60" delay="70" out="5" in="2"/></fade>
    <strobe freq="4" depth="100" sustain="40"><auto lines="2,5" range="0.1,0.9"/></strobe>
  </filters>
  <ovatix collections="crowd">
    <noise volume="0.5"><auto delay="10" interval="20"/></noise>
    <Bravo volume="0.25"><auto delay="7" lines="3"/></Bravo>
    <whistle volume="0.75"/>
    <speech><auto delay="9"/></speech>
    <applause volume="2"><auto delay="11"/></applause>
  </ovatix>
  <searchlights>
    <left size="60,80" maps="sl" first="0" last="2" attack="5" sustain="6" release="7"><a lines="9"/></left>
    <Center size="10,10" maps="sc" first="0" last="1"/>
    <right size="30,40" maps="sr" first="8" last="10"/>
    <left size="1,1"/>
  </searchlights>
  <stagelights>
    <bottom-center size="100,50" maps="bc" first="1" last="3"><a lines="4,5"/></bottom-center>
    <top-right size="20,30" maps="tr" first="0" last="0"><a lines="6"/></top-right>
  </stagelights>
  <shadowlights stageDepth="250.5" stageBack="false">
    <light location="-100,200.5,30" bias="0.5"/>
    <light location="100" bias="0.25"/>
    <light location="1,2,3" bias="1"/>
  </shadowlights>)";

TEST_F(ManagerTest, ReadsStyleFilesInIndexOrderWithEverySetting) {
  folder.Write("styles.xml", StylesFixture::Index({"full.xml", "plain.xml"}));
  folder.Write("full.xml", StylesFixture::StyleFile("Full", kFullStyle, "stage=\"back.png\""));
  folder.Write("plain.xml", StylesFixture::StyleFile("Plain"));
  Manager* manager = Open();
  ASSERT_EQ(manager->Count(), 2);
  EXPECT_EQ(manager->GetCurrent(), nullptr);
  Style* full = manager->GetById(0);
  EXPECT_EQ(full->GetName(), "Full");
  EXPECT_EQ(full->GetId(), 0);
  EXPECT_EQ(manager->GetById(1)->GetName(), "Plain");
  EXPECT_EQ(full->stage, "back.png");
  EXPECT_EQ(full->collectionPath, "./styles/crowd");
  EXPECT_EQ(full->fadeParams, (std::vector<float>{24, 3}));
  EXPECT_EQ(full->strobeParams, (std::vector<float>{4, 100, 40}));

  EXPECT_EQ(full->fadeAuto.attack, 50);
  EXPECT_EQ(full->fadeAuto.release, 60);
  EXPECT_EQ(full->fadeAuto.delay, 70);
  EXPECT_EQ(full->fadeAuto.out, 5);
  EXPECT_EQ(full->fadeAuto.in, 2);

  const auto& lights = full->lightAuto;
  EXPECT_EQ(lights.strobeLines, (std::vector<int>{2, 5}));
  EXPECT_FLOAT_EQ(lights.rangeLow, 0.1f);
  EXPECT_FLOAT_EQ(lights.rangeHigh, 0.9f);
  EXPECT_EQ(lights.searchLeftLines, (std::vector<int>{9}));
  EXPECT_EQ(lights.searchCenterLines, (std::vector<int>{2}));  // no settings child: default
  EXPECT_EQ(lights.stageCenterLines, (std::vector<int>{4, 5}));
  EXPECT_EQ(lights.stageRightLines, (std::vector<int>{6}));  // "top-right" counts as right
  EXPECT_EQ(lights.stageLeftLines, (std::vector<int>{1}));

  const auto& crowd = full->crowdAuto;
  EXPECT_EQ(crowd.noiseDelay, 10);
  EXPECT_EQ(crowd.noiseInterval, 20);
  EXPECT_EQ(crowd.bravoDelay, 7);
  EXPECT_EQ(crowd.bravoLines, (std::vector<int>{3}));
  EXPECT_EQ(crowd.speechDelay, 9);
  EXPECT_EQ(crowd.applauseDelay, 11);
  EXPECT_FLOAT_EQ(full->CrowdVolume("NOISE"), 0.5f);
  EXPECT_FLOAT_EQ(full->CrowdVolume("bravo"), 0.25f);
  EXPECT_FLOAT_EQ(full->CrowdVolume("whistle"), 1.0f);  // a sound without settings is ignored
  EXPECT_FLOAT_EQ(full->CrowdVolume("speech"), 1.0f);
  EXPECT_FLOAT_EQ(full->CrowdVolume("applause"), 2.0f);

  // Light children: exact names, the first three (six) children only.
  const auto& left = full->searchLights[0];
  EXPECT_EQ(left.width, 60);
  EXPECT_EQ(left.height, 80);
  EXPECT_EQ(left.maps, (std::vector<std::string>{"sl00.png", "sl01.png", "sl02.png"}));
  EXPECT_EQ(left.attack, 5);
  EXPECT_EQ(left.sustain, 6);
  EXPECT_EQ(left.release, 7);
  EXPECT_TRUE(full->searchLights[1].maps.empty());  // "Center" is not "center"
  EXPECT_EQ(full->searchLights[1].sustain, 250);
  EXPECT_EQ(full->searchLights[2].maps,
            (std::vector<std::string>{"sr08.png", "sr09.png", "sr10.png"}));
  EXPECT_EQ(full->stageLights[1].maps,
            (std::vector<std::string>{"bc01.png", "bc02.png", "bc03.png"}));
  EXPECT_EQ(full->stageLights[1].sustain, 200);
  EXPECT_EQ(full->stageLights[5].maps, (std::vector<std::string>{"tr00.png"}));

  const auto& shadows = full->shadows;
  EXPECT_FLOAT_EQ(shadows.stageDepth, 250.5f);
  EXPECT_FALSE(shadows.stageBack);
  ASSERT_EQ(shadows.Lights().size(), 2u);
  EXPECT_DOUBLE_EQ(shadows.Lights()[0].location.x, -100);
  EXPECT_DOUBLE_EQ(shadows.Lights()[0].location.y, 200.5);
  EXPECT_DOUBLE_EQ(shadows.Lights()[0].location.z, 30);
  EXPECT_FLOAT_EQ(shadows.Lights()[0].bias, 0.5f);
  EXPECT_DOUBLE_EQ(shadows.Lights()[1].location.x, 100);
  EXPECT_DOUBLE_EQ(shadows.Lights()[1].location.y, 0);

  // Defaults of a style without any of it.
  Style* plain = manager->GetById(1);
  EXPECT_EQ(plain->fadeParams, std::vector<float>{16});
  EXPECT_EQ(plain->strobeParams, std::vector<float>{164});
  EXPECT_TRUE(plain->collectionPath.empty());
  EXPECT_FLOAT_EQ(plain->shadows.stageDepth, 300.0f);
  EXPECT_TRUE(plain->shadows.stageBack);
  EXPECT_EQ(plain->fadeAuto.out, 6);
  EXPECT_EQ(plain->crowdAuto.bravoLines, (std::vector<int>{1, 2, 3, 4}));
}

TEST_F(ManagerTest, LoadingFailuresThrowFromFirstUse) {
  ExpectNotLoaded();  // no styles.xml
  folder.Write("styles.xml", "<index><include file=\"a.xml\"");
  ExpectNotLoaded();  // does not parse
  folder.Write("a.xml", StylesFixture::StyleFile("A"));
  folder.Write("styles.xml", "<index><include file=\"a.xml\"/><style file=\"a.xml\"/></index>");
  ExpectNotLoaded();  // a child that is not an include
  folder.Write("styles.xml", StylesFixture::Index({"a.xml", "missing.xml"}));
  ExpectNotLoaded();  // an include whose file is missing
  folder.Write("b.xml", "<profile><other/></profile>");
  folder.Write("styles.xml", StylesFixture::Index({"a.xml", "b.xml"}));
  ExpectNotLoaded();  // no "profile/styles"

  // A style without a name is kept under its id, unnamed; comments in the index are skipped.
  folder.Write("b.xml", "<profile><styles><style stage=\"x.png\"/></styles></profile>");
  folder.Write("styles.xml",
               "<index><!-- two --><include file=\"a.xml\"/><include file=\"b.xml\"/></index>");
  Manager* manager = Open();
  ASSERT_EQ(manager->Count(), 2);
  EXPECT_EQ(manager->GetById(1)->GetName(), "");
  EXPECT_EQ(manager->GetById(1)->stage, "");
}

TEST_F(ManagerTest, LooksUpAndSelectsStyles) {
  folder.Write("styles.xml", StylesFixture::Index({"r.xml", "j.xml", "r2.xml"}));
  folder.Write("r.xml", StylesFixture::StyleFile("rock", "<ovatix collections=\"loud\"/>",
                                                 "stage=\"stage.png\""));
  folder.Write("j.xml", StylesFixture::StyleFile("Jazz"));
  folder.Write("r2.xml", StylesFixture::StyleFile("ROCK"));
  ASSERT_TRUE(Vell::Gfx::Image(8, 4, 0xFF112233).SavePng(folder.Root() + "/styles/stage.png"));
  StylesFixture::Crowd crowd;
  Manager* manager = Open();
  manager->SetCrowd(&crowd);

  EXPECT_EQ(manager->FindByName("Rock"), manager->GetById(0));  // first in id order
  EXPECT_EQ(manager->FindByName("pop"), manager->GetFallback());
  EXPECT_EQ(manager->GetById(7), manager->GetFallback());
  EXPECT_EQ(manager->GetFallback()->GetId(), -1);
  EXPECT_EQ(manager->Count(), 3);  // a failed lookup adds nothing

  Vell::Platform::ScopedDirectory root(folder.Root());
  Style* rock = manager->GetById(0);
  EXPECT_TRUE(manager->SelectByName("ROCK"));
  EXPECT_EQ(manager->GetCurrent(), rock);
  ASSERT_NE(rock->StageImage(), nullptr);
  EXPECT_EQ(rock->StageImage()->Width(), 8);
  ASSERT_EQ(crowd.opened.size(), 1u);
  EXPECT_EQ(crowd.opened[0].first, "./styles/loud/collection.ini");
  EXPECT_EQ(crowd.opened[0].second, "./styles/loud");
  EXPECT_FALSE(manager->SelectById(0));  // already current: nothing happens

  EXPECT_TRUE(manager->SelectById(1));  // the new one starts, the old one stops
  EXPECT_EQ(manager->GetCurrent()->GetName(), "Jazz");
  EXPECT_EQ(rock->StageImage(), nullptr);
  EXPECT_EQ(crowd.opened.size(), 1u);  // a style without a collection opens none

  EXPECT_TRUE(manager->SelectById(42));
  EXPECT_EQ(manager->GetCurrent(), manager->GetFallback());
  EXPECT_TRUE(manager->SelectById(-1));
  EXPECT_EQ(manager->GetCurrent(), nullptr);
  EXPECT_NE(manager->GetFallback()->StageImage(), nullptr);  // not stopped
}

// Writes auto.xml with the weights of patch 1 to 5, one genre each, and the styles of all five.
class AutoTest : public ManagerTest {
 protected:
  void SetUp() override {
    std::vector<std::string> files;
    for (const char* name : {"Rock", "Classic", "Electronic", "Jazz", "Pop"}) {
      files.push_back(std::string(name) + ".xml");
      folder.Write(files.back(), StylesFixture::StyleFile(name));
    }
    folder.Write("styles.xml", StylesFixture::Index(files));
  }
  std::string Name(const std::vector<int>& patches) {
    return Manager::GenreName(Manager::Instance()->ChooseGenre(patches));
  }
};

TEST_F(AutoTest, TieBreaksOfTheTotals) {
  // Each patch p carries one point of one genre; the multipliers scale them.
  folder.Write("auto.xml", R"(<x><styles><auto jazz="1.5" pop="0.9">
      <p patch="1" rock="1"/><p patch="2" classic="1"/><p patch="3" electronic="1"/>
      <p patch="4" jazz="1"/><p patch="5" pop="1"/><p patch="6" jazz="3" pop="2"/>
      <p patch="7" classic="9"/><p patch="7" classic="1"/><p rock="100"/>
      <p patch="200" rock="50"/></auto></styles></x>)");
  Manager* manager = Open();
  // patch 4: trunc(1 × 1.5) = 1; patch 5: trunc(1 × 0.9) = 0; patch 6: jazz 4, pop 1.
  EXPECT_EQ(manager->AutoWeights().at(4)[Manager::kJazz], 1);
  EXPECT_EQ(manager->AutoWeights().at(5)[Manager::kPop], 0);
  EXPECT_EQ(manager->AutoWeights().at(6)[Manager::kJazz], 4);
  EXPECT_EQ(manager->AutoWeights().at(6)[Manager::kPop], 1);
  EXPECT_EQ(manager->AutoWeights().at(7)[Manager::kClassic], 1);  // the later child replaces
  EXPECT_EQ(manager->AutoWeights().size(), 8u);                   // children without a patch

  auto times = [](int patch, int n) { return std::vector<int>(n, patch); };
  auto join = [](std::vector<int> a, const std::vector<int>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  // Rock wins its ties with classic and electronic; jazz and pop need strictly more.
  const std::vector<int> rock5 = times(1, 5);
  const std::vector<int> classic5 = times(2, 5);
  const std::vector<int> electronic5 = times(3, 5);
  const std::vector<int> jazz5 = times(4, 5);
  EXPECT_EQ(Name(join(join(join(rock5, classic5), electronic5), jazz5)), "Rock");
  EXPECT_EQ(Name(join(join(rock5, classic5), times(2, 1))), "Classic");  // R 5 < C 6
  EXPECT_EQ(Name(join(join(rock5, electronic5), times(3, 1))), "Electronic");
  EXPECT_EQ(Name(join(rock5, times(4, 6))), "Jazz");  // jazz needs strictly more
  EXPECT_EQ(Name(join(rock5, times(4, 5))), "Rock");
  EXPECT_EQ(Name(times(3, 3)), "Electronic");
  EXPECT_EQ(Name({}), "Rock");
  EXPECT_EQ(Name({5, 5, 5}), "Rock");                        // pop weights truncated to 0
  EXPECT_EQ(Name(join(times(6, 5), times(1, 21))), "Rock");  // rock 21 over jazz 20
  EXPECT_EQ(Name(join(times(6, 6), times(1, 5))), "Jazz");   // jazz 24 > rock 5, pop 6
  EXPECT_EQ(Name({200, 200}), "Rock");                       // patches above 127 count nothing
  EXPECT_EQ(Name({-1, 99}), "Rock");  // a patch missing from the map adds zeros

  // Totals of 5 for all five genres choose rock; one more pop point chooses pop.
  folder.Write("auto.xml", R"(<x><styles><auto><p patch="1" rock="1"/><p patch="2" classic="1"/>
      <p patch="3" electronic="1"/><p patch="4" jazz="1"/><p patch="5" pop="1"/></auto></styles></x>)");
  Manager::Destroy();
  Open();
  const std::vector<int> all5 =
      join(join(join(join(rock5, classic5), electronic5), jazz5), times(5, 5));
  EXPECT_EQ(Name(all5), "Rock");
  EXPECT_EQ(Name(join(all5, times(5, 1))), "Pop");
}

TEST_F(AutoTest, SelectAutoSwitchesToTheChosenStyleOrRockWithoutWeights) {
  StylesFixture::Show show;
  show.patches = {3, 3};
  {
    Manager* manager = Open();
    manager->SetShow(&show);
    EXPECT_TRUE(manager->SelectAuto());  // no auto.xml: all zero
    EXPECT_EQ(manager->GetCurrent()->GetName(), "Rock");
  }
  Manager::Destroy();
  folder.Write("auto.xml",
               "<x><styles><auto><p patch=\"3\" electronic=\"2\"/></auto></styles></x>");
  Manager* manager = Open();
  manager->SetShow(&show);
  EXPECT_TRUE(manager->SelectAuto());
  EXPECT_EQ(manager->GetCurrent()->GetName(), "Electronic");
  EXPECT_FALSE(manager->SelectAuto());  // already current
}

TEST(FirstEntrance, SmallestNonNegativeArrivalTime) {
  StylesFixture::Show show;
  EXPECT_EQ(Manager::FirstEntrance(show), 0);
  show.AddSet(0, Kesh::Styles::kArriveFromLeft, {});  // no keys: -1, ignored
  show.AddSet(0, Kesh::Styles::kPlayFirst, {10});     // not an arrival
  EXPECT_EQ(Manager::FirstEntrance(show), 0);
  show.AddSet(1, Kesh::Styles::kArriveFromRight, {340, 400});
  show.AddSet(2, Kesh::Styles::kArriveFromLeft, {300});
  show.AddSet(2, Kesh::Styles::kArriveFromRight, {320});
  EXPECT_EQ(Manager::FirstEntrance(show), 300);
}

}  // namespace
