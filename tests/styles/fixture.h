// Test doubles and a throw-away styles folder for the styles tests: a show with performers whose
// animation sets are sprites with keyed position tracks, a crowd that records what it is asked to
// play, and style files with solid-colour light images written into a temporary folder.
#pragma once

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "common/temp_dir.h"
#include "effects/post_fx.h"
#include "gfx/image.h"
#include "gfx/sprites.h"
#include "styles/show.h"
#include "tavro/player_module.h"

namespace StylesFixture {

using Vell::Gfx::G2D::Sprites::Sprite;

// A sprite of `images` images whose position track has a key at each time, at (x, y).
inline std::unique_ptr<Sprite> KeyedSprite(const std::vector<int>& times, float x = 100,
                                           float y = 300, int images = 2) {
  auto sprite = std::make_unique<Sprite>("s");
  for (int i = 0; i < images; ++i) {
    sprite->AddImage(std::make_unique<Vell::Gfx::Image>(4, 4, 0xFF808080));
  }
  Vell::Keyframing::Runtime::KeyList<Vell::Math::Vector3> list;
  for (int t : times) {
    list.keys.push_back({t, {x, y, 0}, 0, 0});
  }
  sprite->positionTrack.SetKeys(list);
  return sprite;
}

class Show : public Kesh::Styles::IShow, public Kesh::Game::PostFX::Source {
 public:
  // Gives performer `performer` a set of `kind` with position keys at times.
  void AddSet(int performer, int kind, const std::vector<int>& times) {
    if (performers.size() <= static_cast<size_t>(performer)) {
      performers.resize(performer + 1);
    }
    auto sprite = KeyedSprite(times);
    performers[performer][kind] = sprite.get();
    owned.push_back(std::move(sprite));
  }

  std::vector<int> InstrumentPatches() const override { return patches; }
  int PerformerCount() const override { return static_cast<int>(performers.size()); }
  const Sprite* SetSprite(int performer, int kind) const override {
    auto it = performers.at(performer).find(kind);
    return it == performers.at(performer).end() ? nullptr : it->second;
  }
  int SongLengthMs() const override { return songMs; }
  int FrameRate() const override { return rate; }
  Vell::Gfx::G2D::Sprites::Scene* SpriteScene() override { return scene; }
  Kesh::Game::PostFX* Effects() override { return effects; }
  bool AutoFades() const override { return autoFades; }
  bool AutoLights() const override { return autoLights; }
  bool AutoCrowd() const override { return autoCrowd; }

  // PostFX::Source
  int CurrentFrame() const override { return frame; }
  std::vector<float> FadeParams() const override { return fadeParams; }
  std::vector<float> StrobeParams() const override { return strobeParams; }

  std::vector<int> patches;
  int songMs = 60000;
  int rate = 25;  // frames a second of the show
  Vell::Gfx::G2D::Sprites::Scene* scene = nullptr;
  Kesh::Game::PostFX* effects = nullptr;
  bool autoFades = true;
  bool autoLights = true;
  bool autoCrowd = true;
  int frame = 0;
  std::vector<float> fadeParams{40.0f, 10.0f};
  std::vector<float> strobeParams{3.0f, 164.0f, 50.0f};

 private:
  std::vector<std::map<int, const Sprite*>> performers;
  std::vector<std::unique_ptr<Sprite>> owned;
};

class Crowd : public Kesh::Audio::ICrowd {
 public:
  bool OpenCollection(const char* iniPath, const char* waveFolder) override {
    opened.emplace_back(iniPath, waveFolder);
    return true;
  }
  bool StopAll() override { return true; }
  bool PlaySeries(const char* name, float volume) override {
    played.emplace_back(name, volume);
    return true;
  }
  bool SetVolume(float, float) override { return true; }
  bool Mute(bool) override { return true; }
  bool IsMuted() override { return false; }

  std::vector<std::pair<std::string, std::string>> opened;
  std::vector<std::pair<std::string, float>> played;
};

// A program directory with a "styles/" folder.
class Folder {
 public:
  Folder() { std::filesystem::create_directories(dir.path / "styles"); }

  std::string Root() const { return dir.path.string(); }
  void Write(const std::string& relative, const std::string& text) const {
    std::ofstream out(dir.path / "styles" / relative, std::ios::binary | std::ios::trunc);
    out << text;
  }
  void Remove(const std::string& relative) const {
    std::filesystem::remove(dir.path / "styles" / relative);
  }
  // Intensity images prefix00.png ... of size w × h, one solid colour each.
  void WriteImages(const std::string& prefix, const std::vector<uint32_t>& colours, int w = 4,
                   int h = 4) const {
    for (size_t i = 0; i < colours.size(); ++i) {
      const std::string number = (i < 10 ? "0" : "") + std::to_string(i);
      const std::string path = (dir.path / "styles" / (prefix + number + ".png")).string();
      EXPECT_TRUE(Vell::Gfx::Image(w, h, colours[i]).SavePng(path)) << path;
    }
  }

 private:
  TempDir dir;
};

// A style file around the inner content of the style element.
inline std::string StyleFile(const std::string& name, const std::string& inner = "",
                             const std::string& attributes = "") {
  return "<profile><styles><style name=\"" + name + "\" " + attributes + ">" + inner +
         "</style></styles></profile>";
}

inline std::string Index(const std::vector<std::string>& files) {
  std::string xml = "<index>";
  for (const std::string& file : files) {
    xml += "<include file=\"" + file + "\"/>";
  }
  return xml + "</index>";
}

}  // namespace StylesFixture
