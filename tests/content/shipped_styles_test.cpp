// The shipped styles through the styles manager: the index loads five styles that start with all
// their images and their crowd collection, their shadow lights cast onto their own floor and back
// wall, and "auto.xml" chooses the expected style for typical bands.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "effects/shadows.h"
#include "gfx/canvas.h"
#include "gfx/image.h"
#include "platform/platform.h"
#include "styles/fixture.h"
#include "styles/manager.h"
#include "styles/style.h"

namespace {

using Kesh::Styles::Manager;
using Kesh::Styles::Style;
using Vell::Gfx::Canvas;
using Vell::Gfx::Image;
using Vell::Gfx::GDI::ShadowSet;

const std::string kDataDir = std::string(TAVRO_SOURCE_DIR) + "/data";
const std::vector<std::string> kNames = {"Rock", "Jazz", "Classic", "Electronic", "Pop"};

// The manager over the shipped data folder (the program directory's layout), destroyed with the
// test. Selections start styles, which read their images relative to that folder.
class ShippedStylesManager : public ::testing::Test {
 protected:
  void SetUp() override {
    Vell::Platform::ScopedDirectory root(kDataDir);
    ASSERT_TRUE(root.Ok());
    manager = Manager::Instance();
    manager->SetCrowd(&crowd);
  }
  void TearDown() override { Manager::Destroy(); }

  bool Select(int id) {
    Vell::Platform::ScopedDirectory root(kDataDir);
    return manager->SelectById(id);
  }

  Manager* manager = nullptr;
  StylesFixture::Crowd crowd;
};

TEST_F(ShippedStylesManager, FiveStylesLoadAndStartWithAllTheirFiles) {
  ASSERT_EQ(manager->Count(), 5);
  for (int id = 0; id < 5; ++id) {
    SCOPED_TRACE(kNames[id]);
    Style* style = manager->GetById(id);
    EXPECT_EQ(style->GetName(), kNames[id]);
    std::string lower = kNames[id];
    for (char& c : lower) {
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    EXPECT_EQ(manager->FindByName(lower), style);

    ASSERT_TRUE(Select(id));
    ASSERT_EQ(manager->GetCurrent(), style);
    ASSERT_TRUE(style->StageImage());
    EXPECT_EQ(style->StageImage()->Width(), Style::kStageWidth);
    EXPECT_EQ(style->StageImage()->Height(), Style::kStageHeight);
    auto checkLight = [](const Kesh::Styles::Light& light) {
      EXPECT_GE(light.images.size(), 8u);
      EXPECT_LE(light.images.size(), 16u);
      EXPECT_EQ(light.images.size(), light.maps.size());
      for (size_t i = 0; i < light.images.size(); ++i) {
        EXPECT_GT(light.images[i]->Width(), 0) << light.maps[i] << " did not load";
      }
      EXPECT_GT(light.width, 0);
      EXPECT_GT(light.attack, 0);
      EXPECT_GT(light.release, 0);
    };
    for (const auto& light : style->stageLights) {
      checkLight(light);
    }
    for (const auto& light : style->searchLights) {
      checkLight(light);
    }
    EXPECT_EQ(style->shadows.Lights().size(), 2u);
    EXPECT_TRUE(style->shadows.stageBack);
    EXPECT_EQ(style->fadeParams.size(), 2u);
    EXPECT_EQ(style->strobeParams.size(), 3u);

    // Starting opened the style's own crowd collection, which exists.
    ASSERT_FALSE(crowd.opened.empty());
    const auto& [ini, folder] = crowd.opened.back();
    const std::filesystem::path data(kDataDir);
    EXPECT_TRUE(std::filesystem::exists(data / ini)) << ini;
    EXPECT_TRUE(std::filesystem::is_directory(data / folder)) << folder;
  }
}

// A performer standing in the front row and one in the back row, lit by the style's two shadow
// lights on its own stage: the shadows fall back across the floor (never in front of the feet),
// and the back row's climbs the wall above the line where the wall meets the floor.
TEST_F(ShippedStylesManager, ShadowsFallOnTheStagesFloorAndWall) {
  for (int id = 0; id < 5; ++id) {
    SCOPED_TRACE(kNames[id]);
    ASSERT_TRUE(Select(id));
    Style* style = manager->GetCurrent();
    ASSERT_TRUE(style->StageImage());
    const Image& stage = *style->StageImage();
    const int wallY = static_cast<int>(400 - 0.22 * style->shadows.stageDepth);
    const Image performer(60, 152, 0xFF202020);

    for (int row : {0, 3}) {
      SCOPED_TRACE(row);
      Canvas canvas(Style::kStageWidth, Style::kStageHeight);
      canvas.DrawImage(stage, 0, 0);
      const double z = ShadowSet::kRowDepth[row];
      style->shadows.DrawCard(canvas, performer, performer.Height(),
                              ShadowSet::Card(0.0, z, performer.Width(), performer.Height()));
      const int feetY = static_cast<int>(400 - 0.22 * z);
      int floor = 0, wall = 0, front = 0;
      for (int y = 0; y < Style::kStageHeight; ++y) {
        for (int x = 0; x < Style::kStageWidth; ++x) {
          if (canvas.Bitmap().Pixel(x, y) == stage.Pixel(x, y)) {
            continue;
          }
          if (y > feetY + 1) {
            ++front;
          } else if (y >= wallY) {
            ++floor;
          } else {
            ++wall;
          }
        }
      }
      EXPECT_EQ(front, 0);
      EXPECT_GT(floor, 1000);
      if (row == 3) {
        EXPECT_GT(wall, 1000);
      }
    }
  }
}

TEST_F(ShippedStylesManager, AutomaticChoiceWeighsEveryProgram) {
  const auto& weights = manager->AutoWeights();
  ASSERT_EQ(weights.size(), 128u);
  EXPECT_EQ(weights.begin()->first, 0);
  EXPECT_EQ(weights.rbegin()->first, 127);
  // Every style is the favourite of several programs.
  std::array<int, 5> favourites{};
  for (const auto& [patch, w] : weights) {
    const auto top = std::max_element(w.begin(), w.end());
    if (*top > 0) {
      ++favourites[top - w.begin()];
    }
  }
  for (int count : favourites) {
    EXPECT_GT(count, 3);
  }
}

TEST_F(ShippedStylesManager, AutomaticChoiceFitsTypicalBands) {
  // Programs of the instruments that get an artist; drums are no program and weigh nothing.
  const std::vector<std::pair<std::vector<int>, std::string>> bands = {
      {{0, 32}, "Jazz"},                          // piano, upright bass (and drums)
      {{0, 32, 65}, "Jazz"},                      // the trio with an alto sax
      {{40, 41, 42, 43, 68, 71, 73}, "Classic"},  // strings and woodwinds
      {{48, 60, 70}, "Classic"},                  // string ensemble, horn, bassoon
      {{30, 30, 34}, "Rock"},                     // two distorted guitars, picked bass
      {{29, 33, 0}, "Rock"},                      // overdriven guitar, bass, piano
      {{81, 90, 38}, "Electronic"},               // saw lead, polysynth pad, synth bass
      {{80, 88, 95}, "Electronic"},               // square lead, two pads
      {{53, 4, 33}, "Pop"},                       // voice, electric piano, bass
      {{52, 5, 33, 25}, "Pop"},                   // choir, electric piano, bass, guitar
  };
  StylesFixture::Show show;
  manager->SetShow(&show);
  for (const auto& [programs, expected] : bands) {
    show.patches = programs;
    {
      Vell::Platform::ScopedDirectory root(kDataDir);
      (void)manager->SelectAuto();  // false when the style is already current
    }
    ASSERT_TRUE(manager->GetCurrent());
    EXPECT_EQ(manager->GetCurrent()->GetName(), expected)
        << "band of " << programs.size() << " starting with " << programs.front();
  }
  manager->SetShow(nullptr);
}

}  // namespace
