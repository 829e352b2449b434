#include "effects/filters.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "effects/pixels.h"

namespace {

using Vell::Gfx::Argb;
using Vell::Gfx::Image;
using Vell::Gfx::GDI::Filters::Collector;
using Vell::Gfx::GDI::Filters::Fade;
using Vell::Gfx::GDI::Filters::Filter;
using Vell::Gfx::GDI::Filters::Strobe;
namespace Pixels = Vell::Gfx::Pixels;

// The arithmetic written out channel by channel, independently of the code under test.
uint32_t Reference(uint32_t pixel, int amount) {
  uint32_t result = pixel & 0xFF000000u;
  for (int shift = 0; shift < 24; shift += 8) {
    const int channel = static_cast<int>((pixel >> shift) & 0xFF) + amount;
    result |= static_cast<uint32_t>(std::clamp(channel, 0, 255)) << shift;
  }
  return result;
}

TEST(Filters, ThePixelCases) {
  // (B, G, R, A) = (10, 200, 255, 128).
  const uint32_t pixel = Argb(128, 255, 200, 10);
  Image image(1, 1, pixel);
  Fade fade("Fade", 0, 100, {16.9f, 1}, true);
  fade.Apply(&image);
  EXPECT_EQ(image.Pixel(0, 0), Argb(128, 239, 184, 0));

  image.SetPixel(0, 0, pixel);
  Strobe strobe("Strobe", 0, 100, {3, 164});
  strobe.Apply(&image);  // not lit yet
  EXPECT_EQ(image.Pixel(0, 0), pixel);
  strobe.lit = true;
  strobe.Apply(&image);
  EXPECT_EQ(image.Pixel(0, 0), Argb(128, 255, 255, 174));
}

TEST(Filters, EveryPixelOnceWhateverTheWidth) {
  std::mt19937 random(7);
  for (int width : {1, 2, 3, 4, 5, 7, 9, 17, 815}) {
    for (int height : {1, 3}) {
      for (int amount : {1, 16, 100, 200, 255}) {
        std::vector<uint32_t> original(static_cast<size_t>(width) * height);
        for (uint32_t& p : original) {
          p = random();
        }
        Image image(width, height);
        std::copy(original.begin(), original.end(), image.Pixels());
        Fade fade("Fade", 0, 0, {static_cast<float>(amount) + 0.5f, 1}, true);
        fade.Apply(&image);
        std::vector<uint32_t> portable = original;
        Pixels::Portable::SubtractColour(portable.data(), portable.size(),
                                         static_cast<uint8_t>(amount));
        for (size_t i = 0; i < original.size(); ++i) {
          ASSERT_EQ(image.Pixels()[i], Reference(original[i], -amount))
              << width << "x" << height << " amount " << amount << " pixel " << i;
          ASSERT_EQ(portable[i], image.Pixels()[i]);
        }

        std::copy(original.begin(), original.end(), image.Pixels());
        Strobe strobe("Strobe", 0, 0, {1, static_cast<float>(amount)});
        strobe.lit = true;
        strobe.Apply(&image);
        portable = original;
        Pixels::Portable::AddColour(portable.data(), portable.size(), static_cast<uint8_t>(amount));
        for (size_t i = 0; i < original.size(); ++i) {
          ASSERT_EQ(image.Pixels()[i], Reference(original[i], amount))
              << width << "x" << height << " amount " << amount << " pixel " << i;
          ASSERT_EQ(portable[i], image.Pixels()[i]);
        }
      }
    }
  }
}

TEST(Filters, DarkeningWhereTheSampledTexelIsOpaque) {
  std::mt19937 random(11);
  std::vector<uint32_t> texels(37);
  for (uint32_t& t : texels) {
    t = random();
  }
  texels[3] = Argb(24, 1, 2, 3);  // at the threshold: no shadow
  texels[4] = Argb(25, 1, 2, 3);  // above it
  for (size_t count : {size_t{1}, size_t{3}, size_t{4}, size_t{9}, size_t{64}}) {
    for (int64_t step : {int64_t{1} << 14, (int64_t{37} << 16) / 9, (int64_t{37} << 16) / 64}) {
      if (static_cast<int64_t>(count) * step > (int64_t{37} << 16)) {
        continue;
      }
      std::vector<uint32_t> original(count);
      for (uint32_t& p : original) {
        p = random();
      }
      std::vector<uint32_t> fast = original;
      std::vector<uint32_t> portable = original;
      const bool any =
          Pixels::SubtractColourWhereOpaque(fast.data(), count, texels.data(), 0, step, 40, 24);
      const bool anyPortable = Pixels::Portable::SubtractColourWhereOpaque(
          portable.data(), count, texels.data(), 0, step, 40, 24);
      bool expectedAny = false;
      for (size_t i = 0; i < count; ++i) {
        const bool opaque = (texels[(static_cast<int64_t>(i) * step) >> 16] >> 24) > 24;
        expectedAny = expectedAny || opaque;
        ASSERT_EQ(fast[i], opaque ? Reference(original[i], -40) : original[i]) << count << " " << i;
      }
      EXPECT_EQ(fast, portable);
      EXPECT_EQ(any, expectedAny);
      EXPECT_EQ(anyPortable, expectedAny);
    }
  }
}

TEST(Filters, StrobeTogglesOnceMoreThanPeriodFramesGathered) {
  Strobe strobe("Strobe", 10, 100, {3, 164});
  std::vector<int> toggles;
  bool lit = false;
  for (int frame = 10; frame <= 30; ++frame) {
    strobe.Track(frame);
    if (strobe.lit != lit) {
      toggles.push_back(frame);
      lit = strobe.lit;
    }
  }
  EXPECT_EQ(toggles, (std::vector<int>{14, 18, 22, 26, 30}));

  // Skipped frames count too: 5 frames at once are more than 3.
  Strobe jump("Strobe", 0, 100, {3, 1});
  jump.Track(3);
  EXPECT_FALSE(jump.lit);
  jump.Track(5);
  EXPECT_TRUE(jump.lit);

  // Brightness is a byte: above 255 it stays at 255 instead of wrapping.
  Strobe bright("Strobe", 0, 1, {1, 300});
  EXPECT_EQ(bright.brightness, 255);
}

TEST(Filters, FadeStepsCapsAndFloors) {
  Fade fade("Fade", 0, 1000, {32, 4});
  EXPECT_EQ(fade.level, 0);
  fade.Track(1);
  EXPECT_FLOAT_EQ(fade.level, 4);
  fade.Track(4);  // three frames at once
  EXPECT_FLOAT_EQ(fade.level, 16);
  EXPECT_FALSE(fade.IsFinished());
  fade.Track(10);  // would pass 32: held at the target
  EXPECT_FLOAT_EQ(fade.level, 32);
  EXPECT_TRUE(fade.IsFinished());

  // Lightening to a target of 16 at the same rate, then stop there.
  fade.fadingOut = true;
  fade.SetParams({16});
  EXPECT_FLOAT_EQ(fade.rate, 4);
  EXPECT_FALSE(fade.IsFinished());
  fade.Track(11);
  EXPECT_FLOAT_EQ(fade.level, 28);
  fade.Track(15);
  EXPECT_FLOAT_EQ(fade.level, 16);
  EXPECT_FALSE(fade.IsFinished());  // fading out finishes only at 0

  fade.SetParams({0, 10});
  fade.Track(16);
  EXPECT_FLOAT_EQ(fade.level, 6);
  fade.Track(17);
  EXPECT_FLOAT_EQ(fade.level, 0);
  EXPECT_TRUE(fade.IsFinished());

  // Restart jumps: to 0 while fading out, to the target otherwise.
  fade.SetParams({50});
  fade.fadingOut = false;
  fade.Restart();
  EXPECT_FLOAT_EQ(fade.level, 50);
  fade.fadingOut = true;
  fade.Restart();
  EXPECT_FLOAT_EQ(fade.level, 0);

  Fade still("Fade", 0, 1000, {100, 0});
  for (int frame = 1; frame < 50; ++frame) {
    still.Track(frame);
  }
  EXPECT_EQ(still.level, 0);

  // A level beyond a byte darkens by 255, not by its low byte.
  Image image(3, 1, Argb(255, 255, 255, 255));
  Fade deep("Fade", 0, 1, {300, 1}, true);
  deep.Apply(&image);
  EXPECT_EQ(image.Pixel(2, 0), Argb(255, 0, 0, 0));
}

TEST(Filters, TooFewParametersAreRefused) {
  EXPECT_THROW(Fade("Fade", 0, 1, {16}), Filter::InvalidParamList);
  EXPECT_THROW(Strobe("Strobe", 0, 1, {}), Filter::InvalidParamList);
  try {
    const Strobe strobe("Strobe", 0, 1, {3});
    FAIL() << strobe.period;
  } catch (const Filter::InvalidParamList& e) {
    EXPECT_STREQ(e.what(), "Generic exception");
  }
}

TEST(Filters, CollectorAppliesInsideTheWindowOnly) {
  Vell::Gfx::Canvas canvas(5, 1);
  canvas.Clear(Argb(255, 100, 100, 100));
  Collector collector;
  collector.Add(new Fade("Fade", 10, 12, {20, 100}));
  collector.Apply(11, nullptr);  // no canvas: nothing, not even tracked
  EXPECT_EQ(static_cast<Fade*>(collector.Find("fade"))->lastTime, 10);
  collector.Apply(9, &canvas);
  EXPECT_EQ(canvas.Pixel(4, 0), Argb(255, 100, 100, 100));
  collector.Apply(11, &canvas);
  EXPECT_EQ(canvas.Pixel(4, 0), Argb(255, 80, 80, 80));
  collector.Apply(13, &canvas);
  EXPECT_EQ(canvas.Pixel(4, 0), Argb(255, 80, 80, 80));
  collector.Apply(12, &canvas);
  EXPECT_EQ(canvas.Pixel(0, 0), Argb(255, 60, 60, 60));
}

}  // namespace
