// Feeds XML to the style loader. The first byte of the input picks the file, the rest is its text:
//   0: a style file (included by the index after a valid style),
//   1: the index "styles.xml",
//   2: "auto.xml".
// Each input then builds the manager, selects every style, prepares the automations for a small
// show and tracks and draws a few seconds of it, so that every value read is also used. A fixed
// program directory with a valid index, style and light images is made in a temporary folder at
// start-up.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "effects/post_fx.h"
#include "framework/exception.h"
#include "gfx/canvas.h"
#include "gfx/image.h"
#include "gfx/sprites.h"
#include "platform/platform.h"
#include "styles/manager.h"
#include "styles/show.h"
#include "tavro/player_module.h"

namespace {

using Vell::Gfx::G2D::Sprites::Sprite;

std::filesystem::path root;

void Write(const std::string& relative, const char* data, size_t size) {
  std::ofstream out(root / "styles" / relative, std::ios::binary | std::ios::trunc);
  out.write(data, static_cast<std::streamsize>(size));
}

void Write(const std::string& relative, const std::string& text) {
  Write(relative, text.data(), text.size());
}

const std::string kIndex =
    "<index><include file=\"good.xml\"/><include file=\"fuzz.xml\"/></index>";
const std::string kGood =
    "<profile><styles><style name=\"Rock\" stage=\"light00.png\">"
    "<filters><fade depth=\"20\" inc=\"4\"><a out=\"4\" attack=\"40\"/></fade>"
    "<strobe freq=\"2\" depth=\"100\" sustain=\"20\"><a lines=\"1,2\" range=\"0,1\"/></strobe>"
    "</filters><ovatix collections=\"crowd\"><noise><a delay=\"3\" interval=\"7\"/></noise>"
    "</ovatix><searchlights><left size=\"30,40\" maps=\"light\" first=\"0\" last=\"1\">"
    "<a lines=\"1\"/></left></searchlights><stagelights><top-center size=\"50,20\" "
    "maps=\"light\" first=\"0\" last=\"1\"/></stagelights><shadowlights>"
    "<l location=\"0,300,100\" bias=\"0.5\"/></shadowlights></style></styles></profile>";
const std::string kAuto =
    "<x><styles><auto rock=\"2\"><p patch=\"1\" rock=\"3\" jazz=\"1\"/></auto></styles></x>";

// A show of two performers that arrive, play, rest and leave within 200 frames.
class Show : public Kesh::Styles::IShow, public Kesh::Game::PostFX::Source {
 public:
  Show() {
    for (int performer = 0; performer < 2; ++performer) {
      for (int kind = Kesh::Styles::kArriveFromLeft; kind <= Kesh::Styles::kRest; ++kind) {
        auto sprite = std::make_unique<Sprite>("s");
        sprite->AddImage(std::make_unique<Vell::Gfx::Image>(2, 2, 0xFF000000));
        sprite->AddImage(std::make_unique<Vell::Gfx::Image>(2, 2, 0xFF000000));
        Vell::Keyframing::Runtime::KeyList<Vell::Math::Vector3> keys;
        const int t = 10 * kind + 40 * performer;
        keys.keys.push_back({t, {100.0f + 300 * performer, 300, 0}, 0, 0});
        keys.keys.push_back({t + 60, {200.0f + 300 * performer, 300, 0}, 0, 0});
        sprite->positionTrack.SetKeys(keys);
        scene.sprites.Add(sprite.get());
        sets[performer][kind] = std::move(sprite);
      }
    }
  }
  std::vector<int> InstrumentPatches() const override { return {1, 40, 128}; }
  int PerformerCount() const override { return 2; }
  const Sprite* SetSprite(int performer, int kind) const override {
    return kind >= 0 && kind < 10 ? sets[performer][kind].get() : nullptr;
  }
  int SongLengthMs() const override { return 8000; }
  int FrameRate() const override { return 25; }
  Vell::Gfx::G2D::Sprites::Scene* SpriteScene() override { return &scene; }
  Kesh::Game::PostFX* Effects() override { return effects; }
  bool AutoFades() const override { return true; }
  bool AutoLights() const override { return true; }
  bool AutoCrowd() const override { return true; }
  int CurrentFrame() const override { return frame; }
  std::vector<float> FadeParams() const override {
    auto* style = Kesh::Styles::Manager::Instance()->GetCurrent();
    return style != nullptr ? style->fadeParams : std::vector<float>{};
  }
  std::vector<float> StrobeParams() const override {
    auto* style = Kesh::Styles::Manager::Instance()->GetCurrent();
    return style != nullptr ? style->strobeParams : std::vector<float>{};
  }

  Kesh::Game::PostFX* effects = nullptr;
  int frame = 0;

 private:
  std::unique_ptr<Sprite> sets[2][10];
  Vell::Gfx::G2D::Sprites::Scene scene;
};

class Crowd : public Kesh::Audio::ICrowd {
 public:
  bool OpenCollection(const char*, const char*) override { return true; }
  bool StopAll() override { return true; }
  bool PlaySeries(const char*, float) override { return true; }
  bool SetVolume(float, float) override { return true; }
  bool Mute(bool) override { return true; }
  bool IsMuted() override { return false; }
};

void Restore(int mode) {
  if (mode < 0 || mode == 0) {
    Write("fuzz.xml", kGood);
  }
  if (mode < 0 || mode == 1) {
    Write("styles.xml", kIndex);
  }
  if (mode < 0 || mode == 2) {
    Write("auto.xml", kAuto);
  }
}

void Play() {
  Show show;
  Crowd crowd;
  Kesh::Game::PostFX effects(&show);
  Vell::Gfx::Canvas canvas(815, 400);
  effects.SetTarget(&canvas);
  show.effects = &effects;
  Kesh::Styles::Manager* manager = Kesh::Styles::Manager::Instance();
  manager->SetShow(&show);
  manager->SetCrowd(&crowd);
  for (int id = manager->Count() - 1; id >= -1; --id) {
    static_cast<void>(manager->SelectById(id));
  }
  static_cast<void>(manager->SelectAuto());
  manager->Prepare();
  for (int round = 0; round < 2; ++round) {
    manager->Reset();
    for (int frame = round * 120; frame < 320; frame += 1 + round) {
      show.frame = frame;
      effects.Track(frame);
      manager->GetCurrent()->Track(frame);
      if (frame % 16 == 0) {  // drawing the whole stage every frame would only slow the search
        effects.Render(frame);
        manager->GetCurrent()->RenderTo(canvas, frame);
      }
    }
  }
  manager->SelectById(1);
  manager->SelectByName("rock");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  root = std::filesystem::temp_directory_path() / ("tavro-styles-fuzz-" + std::to_string(getpid()));
  std::filesystem::create_directories(root / "styles");
  // Without its light maps the fuzzer would not reach the drawing it is meant to try.
  std::string why;
  if (!Vell::Gfx::Image(3, 3, 0x80FFFFFF).SavePng((root / "styles/light00.png").string(), &why) ||
      !Vell::Gfx::Image(3, 3, 0xFFFFFFFF).SavePng((root / "styles/light01.png").string(), &why)) {
    std::fprintf(stderr, "styles fuzzer: %s\n", why.c_str());
    std::abort();
  }
  Restore(-1);
  Vell::Platform::SetCurrentDirectory(root.string());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) {
    return 0;
  }
  const int mode = data[0] % 3;
  static const char* const kFiles[3] = {"fuzz.xml", "styles.xml", "auto.xml"};
  Write(kFiles[mode], reinterpret_cast<const char*>(data + 1), size - 1);
  try {
    Play();
  } catch (const Vell::Exception&) {
    // Bad data files are reported by exceptions; that is the expected outcome.
  }
  Kesh::Styles::Manager::Destroy();
  Restore(mode);
  return 0;
}
