// The shipped style files read as plain documents: every style file of the index is complete, its
// images exist and look like what they stand for, and its shadow lamps agree with the picture.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "gfx/image.h"
#include "style_data.h"

using namespace content_test;
using Vell::Data::Xml::Element;
using Vell::Gfx::Image;

namespace {

constexpr int kStageWidth = 815;
constexpr int kStageHeight = 400;
// Depth and sprite geometry of the four rows of musicians.
constexpr double kBackRowDepth = 488.0;
constexpr int kSpriteHeight = 152;

int Alpha(uint32_t argb) { return static_cast<int>(argb >> 24); }
double Luma(uint32_t argb) {
  return 0.299 * ((argb >> 16) & 0xFF) + 0.587 * ((argb >> 8) & 0xFF) + 0.114 * (argb & 0xFF);
}

// The light's frame files: maps + number, padded with zeros to the width of the longer of first
// and last, at least two digits.
std::vector<std::string> LightFiles(const std::string& maps, int first, int last) {
  const int width = std::max<int>(
      2, static_cast<int>(std::max(std::to_string(first).size(), std::to_string(last).size())));
  std::vector<std::string> files;
  for (int n = first; n <= last; ++n) {
    char number[16];
    std::snprintf(number, sizeof number, "%0*d", width, n);
    files.push_back(maps + number + ".png");
  }
  return files;
}

std::unique_ptr<Element> Child(const Element& element, const std::string& path) {
  auto node = element.SelectNode(path);
  return node ? node->AsElement() : nullptr;
}

TEST(ShippedStyleFiles, IndexListsFiveNamedStyles) {
  InStylesDir in;
  const auto entries = ReadStyleIndex();
  ASSERT_EQ(entries.size(), 5u);
  std::vector<std::string> names;
  for (const auto& entry : entries) {
    ASSERT_TRUE(entry.style) << entry.file << " does not hold profile/styles with a style";
    std::string name;
    EXPECT_TRUE(entry.style->ReadString("name", name)) << entry.file;
    names.push_back(name);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Rock", "Jazz", "Classic", "Electronic", "Pop"}));
}

TEST(ShippedStyleFiles, StageAndPictureImagesHaveTheirSizes) {
  InStylesDir in;
  for (const auto& entry : ReadStyleIndex()) {
    ASSERT_TRUE(entry.style);
    std::string stage;
    ASSERT_TRUE(entry.style->ReadString("stage", stage)) << entry.file;
    Image image;
    std::string why;
    ASSERT_TRUE(image.LoadPng(stage)) << stage;
    EXPECT_EQ(image.Width(), kStageWidth);
    EXPECT_EQ(image.Height(), kStageHeight);
    // The style picker's picture lies beside the background.
    const std::string picture =
        std::filesystem::path(stage).replace_filename("picture.png").string();
    Image small;
    ASSERT_TRUE(small.LoadPng(picture)) << picture;
    EXPECT_EQ(small.Width(), 120);
    EXPECT_EQ(small.Height(), 59);
  }
}

// Every light of every style has all its frames; the frames are soft (translucent), darkest
// first, almost invisible at the start and clearly visible at the end.
TEST(ShippedStyleFiles, EveryLightHasAllItsIntensityFrames) {
  InStylesDir in;
  const std::map<std::string, std::vector<std::string>> lights = {
      {"searchlights", {"left", "center", "right"}},
      {"stagelights",
       {"bottom-left", "bottom-center", "bottom-right", "top-left", "top-center", "top-right"}}};
  for (const auto& entry : ReadStyleIndex()) {
    ASSERT_TRUE(entry.style);
    for (const auto& [group, names] : lights) {
      for (const auto& name : names) {
        std::string path = group;
        path.append("/").append(name);
        SCOPED_TRACE(entry.file + " " + path);
        auto light = Child(*entry.style, path);
        ASSERT_TRUE(light);
        std::string maps, size;
        int first = -1, last = -1, attack = 0, sustain = 0, release = 0;
        ASSERT_TRUE(light->ReadString("maps", maps));
        ASSERT_TRUE(light->ReadString("size", size));
        ASSERT_TRUE(light->ReadInt("first", first));
        ASSERT_TRUE(light->ReadInt("last", last));
        ASSERT_TRUE(light->ReadInt("attack", attack));
        ASSERT_TRUE(light->ReadInt("sustain", sustain));
        ASSERT_TRUE(light->ReadInt("release", release));
        EXPECT_GT(attack, 0);  // the envelope divides by both
        EXPECT_GT(release, 0);
        EXPECT_GT(sustain, 0);
        int width = 0, height = 0;
        ASSERT_TRUE(Vell::Data::Xml::ParseIntPair(size, width, height));
        EXPECT_GT(width, 0);
        EXPECT_GT(height, 0);
        ASSERT_TRUE(FirstElement(*light)) << "no automation lines";
        std::string lines;
        EXPECT_TRUE(FirstElement(*light)->ReadString("lines", lines));

        const auto files = LightFiles(maps, first, last);
        ASSERT_GE(files.size(), 8u);
        ASSERT_LE(files.size(), 16u);
        double previousMean = -1.0;
        int firstMax = 0, lastMax = 0;
        for (size_t i = 0; i < files.size(); ++i) {
          Image image;
          ASSERT_TRUE(image.LoadPng(files[i])) << files[i];
          ASSERT_GT(image.Width(), 0);
          double sum = 0.0;
          int maxAlpha = 0;
          for (int y = 0; y < image.Height(); ++y) {
            for (int x = 0; x < image.Width(); ++x) {
              const int a = Alpha(image.Pixel(x, y));
              sum += a;
              maxAlpha = std::max(maxAlpha, a);
            }
          }
          const double mean = sum / (image.Width() * image.Height());
          EXPECT_GT(mean, previousMean) << files[i] << " is not brighter than the frame before";
          previousMean = mean;
          EXPECT_LT(maxAlpha, 255) << files[i] << " has hard, opaque pixels";
          if (i == 0) {
            firstMax = maxAlpha;
          }
          lastMax = maxAlpha;
          // Soft edges: the border pixels are nearly transparent.
          EXPECT_LT(Alpha(image.Pixel(0, image.Height() / 2)), 24) << files[i];
          EXPECT_LT(Alpha(image.Pixel(image.Width() - 1, image.Height() / 2)), 24) << files[i];
        }
        EXPECT_LT(firstMax, 40);
        EXPECT_GT(lastMax, 90);
      }
    }
  }
}

// The shadow lamps hang where the picture shows a lit lamp, in front of the first row and above
// the musicians' heads; the back wall stands behind the last row.
TEST(ShippedStyleFiles, ShadowLampsAgreeWithThePicture) {
  InStylesDir in;
  for (const auto& entry : ReadStyleIndex()) {
    ASSERT_TRUE(entry.style);
    SCOPED_TRACE(entry.file);
    auto shadows = Child(*entry.style, "shadowlights");
    ASSERT_TRUE(shadows);
    float depth = 0;
    bool back = false;
    ASSERT_TRUE(shadows->ReadFloat("stageDepth", depth));
    ASSERT_TRUE(shadows->ReadBool("stageBack", back));
    EXPECT_TRUE(back);
    // The wall meets the floor above the feet of the back row (at 400 - 0.22 × 488).
    EXPECT_GT(depth, kBackRowDepth + 40);
    const double wallY = kStageHeight - 0.22 * depth;

    std::string stage;
    ASSERT_TRUE(entry.style->ReadString("stage", stage));
    Image image;
    ASSERT_TRUE(image.LoadPng(stage));
    // The floor just in front of the wall is darker or lighter than the wall just above it:
    // an edge runs along the line the shadows use (beside the drum riser, which stands on it
    // at the back centre, x 349-509).
    double floorLuma = 0, wallLuma = 0;
    int columns = 0;
    for (int x = 200; x < 615; ++x) {
      if (x >= 345 && x < 515) {
        continue;
      }
      floorLuma += Luma(image.Pixel(x, static_cast<int>(wallY) + 3));
      wallLuma += Luma(image.Pixel(x, static_cast<int>(wallY) - 4));
      ++columns;
    }
    EXPECT_GT(std::fabs(floorLuma - wallLuma) / columns, 5.0) << "no wall edge at y " << wallY;

    int lamps = 0;
    for (auto node = shadows->FirstChild(); node; node = node->NextSibling()) {
      if (!node->IsElement()) {
        continue;
      }
      std::string location;
      float bias = 0;
      ASSERT_TRUE(node->ReadString("location", location));
      ASSERT_TRUE(node->ReadFloat("bias", bias));
      EXPECT_GT(bias, 0.0f);
      EXPECT_LE(bias, 0.6f);
      const auto xyz = Vell::Data::Xml::ParseDoubleList(location);
      ASSERT_EQ(xyz.size(), 3u);
      EXPECT_GT(xyz[1], kSpriteHeight + 20.0) << "lamp not above the heads";
      EXPECT_GT(xyz[2], 0.0);
      EXPECT_LT(xyz[2], 200.0) << "lamp not in front of the first row";
      const int sx = static_cast<int>(xyz[0] + 408);
      const int sy = static_cast<int>(400 - (xyz[1] + 0.22 * xyz[2]));
      ASSERT_TRUE(sx >= 2 && sx < kStageWidth - 2 && sy >= 2 && sy < kStageHeight - 2);
      double brightest = 0;
      for (int dy = -3; dy <= 3; ++dy) {
        for (int dx = -3; dx <= 3; ++dx) {
          brightest = std::max(brightest, Luma(image.Pixel(sx + dx, sy + dy)));
        }
      }
      EXPECT_GT(brightest, 200.0) << "no lit lamp at (" << sx << ", " << sy << ")";
      ++lamps;
    }
    EXPECT_EQ(lamps, 2);
  }
}

TEST(ShippedStyleFiles, EffectsAndCrowdSettingsArePresent) {
  InStylesDir in;
  for (const auto& entry : ReadStyleIndex()) {
    ASSERT_TRUE(entry.style);
    SCOPED_TRACE(entry.file);
    auto fade = Child(*entry.style, "filters/fade");
    ASSERT_TRUE(fade);
    float depth = 0, inc = 0;
    EXPECT_TRUE(fade->ReadFloat("depth", depth));
    EXPECT_TRUE(fade->ReadFloat("inc", inc));
    EXPECT_GT(inc, 0.0f);
    auto fadeAuto = FirstElement(*fade);
    ASSERT_TRUE(fadeAuto);
    int out = 0;
    EXPECT_TRUE(fadeAuto->ReadInt("out", out));
    EXPECT_GT(out, 0);
    EXPECT_LE(out * depth, 255.0f);

    auto strobe = Child(*entry.style, "filters/strobe");
    ASSERT_TRUE(strobe);
    for (const char* name : {"freq", "depth", "sustain"}) {
      float value = 0;
      EXPECT_TRUE(strobe->ReadFloat(name, value)) << name;
      EXPECT_GT(value, 0.0f) << name;
    }
    ASSERT_TRUE(FirstElement(*strobe));
    std::string range;
    EXPECT_TRUE(FirstElement(*strobe)->ReadString("range", range));

    auto crowd = Child(*entry.style, "ovatix");
    ASSERT_TRUE(crowd);
    std::string folder;
    EXPECT_TRUE(crowd->ReadString("collections", folder));
    EXPECT_TRUE(std::filesystem::exists(folder + "/collection.ini")) << folder;
    for (const char* sound : {"noise", "whistle", "bravo", "speech", "applause"}) {
      auto element = Child(*crowd, sound);
      ASSERT_TRUE(element) << sound;
      // A sound element without a child element would be ignored entirely.
      EXPECT_TRUE(FirstElement(*element)) << sound;
      float volume = 0;
      EXPECT_TRUE(element->ReadFloat("volume", volume)) << sound;
      EXPECT_GT(volume, 0.0f);
    }
    int interval = 0;
    EXPECT_TRUE(FirstElement(*Child(*crowd, "noise"))->ReadInt("interval", interval));
    EXPECT_GT(interval, 0);
  }
}

}  // namespace
