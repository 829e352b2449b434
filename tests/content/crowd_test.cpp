// The shipped crowd collections, opened and played by the built crowd engine (libovatix.so through
// dlopen, as the player module loads it) in an offline scene: every series of every style sounds,
// ends, and the rooms differ in level as the styles intend.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "ovatix/exports.h"
#include "style_data.h"

using namespace content_test;

namespace {

constexpr uint32_t kRate = 44100;
constexpr int kChannels = 2;

class Engine {
 public:
  Engine() { handle = dlopen(TAVRO_PROGRAM_DIR "/libovatix.so", RTLD_NOW | RTLD_LOCAL); }
  ~Engine() {
    if (handle) {
      Get<OvatixApi::CloseCollection>("_CloseCollection")();
      dlclose(handle);
    }
  }
  bool ok() const { return handle != nullptr; }
  template <typename F>
  F Get(const char* name) {
    return reinterpret_cast<F>(dlsym(handle, name));
  }
  // Renders seconds of the scene and returns the samples.
  std::vector<int16_t> Render(double seconds) {
    std::vector<int16_t> samples(static_cast<size_t>(seconds * kRate) * kChannels);
    EXPECT_TRUE(Get<OvatixApi::RenderScene>("_RenderScene")(
        samples.data(), static_cast<uint32_t>(samples.size() / kChannels)));
    return samples;
  }

 private:
  void* handle = nullptr;
};

double Rms(const std::vector<int16_t>& s) {
  double sum = 0;
  for (int16_t v : s) {
    sum += static_cast<double>(v) * v;
  }
  return s.empty() ? 0.0 : std::sqrt(sum / static_cast<double>(s.size()));
}

// The collection folder of every style, keyed by style name, as the style files name it.
std::map<std::string, std::filesystem::path> Collections() {
  std::map<std::string, std::filesystem::path> folders;
  InStylesDir in;
  for (const auto& entry : ReadStyleIndex()) {
    if (!entry.style) {
      continue;
    }
    std::string name, folder;
    entry.style->ReadString("name", name);
    auto crowd = entry.style->SelectNode("ovatix");
    if (crowd && crowd->ReadString("collections", folder)) {
      folders[name] = StylesDir() / folder;
    }
  }
  return folders;
}

// Format fields of a RIFF/WAVE file: channels, rate, bits; false when the header is not PCM.
bool ReadWaveFormat(const std::filesystem::path& path, int& channels, uint32_t& rate, int& bits) {
  std::ifstream in(path, std::ios::binary);
  char head[12];
  if (!in.read(head, 12) || std::string(head, 4) != "RIFF" || std::string(head + 8, 4) != "WAVE") {
    return false;
  }
  char chunk[8];
  while (in.read(chunk, 8)) {
    const uint32_t size = static_cast<uint8_t>(chunk[4]) | static_cast<uint8_t>(chunk[5]) << 8 |
                          static_cast<uint8_t>(chunk[6]) << 16 |
                          static_cast<uint32_t>(static_cast<uint8_t>(chunk[7])) << 24;
    if (std::string(chunk, 4) == "fmt ") {
      unsigned char fmt[16];
      if (size < 16 || !in.read(reinterpret_cast<char*>(fmt), 16)) {
        return false;
      }
      channels = fmt[2] | fmt[3] << 8;
      rate = fmt[4] | fmt[5] << 8 | fmt[6] << 16 | static_cast<uint32_t>(fmt[7]) << 24;
      bits = fmt[14] | fmt[15] << 8;
      return (fmt[0] | fmt[1] << 8) == 1;
    }
    in.seekg(size + (size & 1), std::ios::cur);
  }
  return false;
}

TEST(ShippedCrowds, FilesAreCdQualityAndSmall) {
  const auto folders = Collections();
  ASSERT_EQ(folders.size(), 5u);
  uintmax_t total = 0;
  for (const auto& [style, folder] : folders) {
    int waves = 0;
    for (const auto& file : std::filesystem::directory_iterator(folder)) {
      total += file.file_size();
      if (file.path().extension() != ".wav") {
        continue;
      }
      ++waves;
      int channels = 0, bits = 0;
      uint32_t rate = 0;
      ASSERT_TRUE(ReadWaveFormat(file.path(), channels, rate, bits)) << file.path();
      EXPECT_EQ(rate, 44100u) << file.path();
      EXPECT_EQ(bits, 16) << file.path();
      EXPECT_GE(channels, 1);
    }
    EXPECT_EQ(waves, 5) << style;
  }
  EXPECT_LT(total, 12u * 1024 * 1024);
}

// Every collection opens; it names the five series; each series started alone sounds within its
// first seconds and has died away within half a minute.
TEST(ShippedCrowds, EverySeriesOfEveryStylePlays) {
  Engine engine;
  ASSERT_TRUE(engine.ok()) << dlerror();
  ASSERT_TRUE(engine.Get<OvatixApi::InitSceneOffline>("_InitSceneOffline")(kRate, kChannels, 50));
  const auto folders = Collections();
  ASSERT_EQ(folders.size(), 5u);
  for (const auto& [style, folder] : folders) {
    SCOPED_TRACE(style);
    ASSERT_TRUE(engine.Get<OvatixApi::OpenCollection>("_OpenCollection")(
        (folder / "collection.ini").c_str(), folder.c_str()));
    std::deque<std::string> names;
    engine.Get<OvatixApi::EnumSeries>("_EnumSeries")(&names);
    EXPECT_EQ(names, (std::deque<std::string>{"applause", "bravo", "noise", "speech", "whistle"}));
    for (const auto& name : names) {
      SCOPED_TRACE(name);
      ASSERT_TRUE(engine.Get<OvatixApi::PlaySeries>("_PlaySeries")(name.c_str(), 1.0f));
      // The murmur swells in slowly: judge the loudest of the first five seconds.
      double loudest = 0;
      for (int s = 0; s < 5; ++s) {
        loudest = std::max(loudest, Rms(engine.Render(1.0)));
      }
      EXPECT_GT(loudest, 200.0);
      // Its instances end: after 30 s the scene is silent again.
      double tail = 0;
      for (int s = 0; s < 30; ++s) {
        tail = Rms(engine.Render(1.0));
      }
      EXPECT_EQ(tail, 0.0);
    }
  }
}

// The arena is louder than the club: applause of the rock stage against the jazz club, at the
// same volume, over the first three seconds.
TEST(ShippedCrowds, RoomsDifferInLevel) {
  Engine engine;
  ASSERT_TRUE(engine.ok()) << dlerror();
  ASSERT_TRUE(engine.Get<OvatixApi::InitSceneOffline>("_InitSceneOffline")(kRate, kChannels, 50));
  const auto folders = Collections();
  ASSERT_TRUE(folders.count("Rock") && folders.count("Jazz"));
  std::map<std::string, double> level;
  for (const char* style : {"Rock", "Jazz"}) {
    const auto& folder = folders.at(style);
    ASSERT_TRUE(engine.Get<OvatixApi::OpenCollection>("_OpenCollection")(
        (folder / "collection.ini").c_str(), folder.c_str()));
    ASSERT_TRUE(engine.Get<OvatixApi::PlaySeries>("_PlaySeries")("applause", 1.0f));
    level[style] = Rms(engine.Render(3.0));
    engine.Get<OvatixApi::StopSeries>("_StopSeries")();
  }
  EXPECT_GT(level["Rock"], 2.0 * level["Jazz"]);
}

}  // namespace
