// A style: the look and sound of the show around the band. A stage background, six stage lights
// and three search lights, the fade and strobe parameters, two shadow lights, a crowd-sound
// collection and three automations. Loaded by the styles manager on the thread that first uses
// it; started, stopped and prepared on the user-interface thread; tracked and drawn on the frame
// thread under the frame lock. Owns its images, lights and automations.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "effects/shadows.h"
#include "framework/interfaces.h"
#include "framework/object.h"
#include "gfx/image.h"
#include "styles/automations.h"
#include "styles/lights.h"

namespace Kesh::Audio {
class ICrowd;
}
namespace Vell::Gfx {
class Canvas;
}
namespace Vell::Data::Xml {
class Element;
}

namespace Kesh::Styles {

class IShow;

// What a style reaches outside itself; the manager owns one for all its styles.
struct Links {
  IShow* show = nullptr;
  Audio::ICrowd* crowd = nullptr;
  int firstEntrance = 0;  // frame at which the first performer has arrived
};

class Style : public Vell::Object,
              public Vell::ILoadableXml,
              public Vell::ITriggerable,
              public Vell::IRenderable,
              public Vell::ITrackable {
 public:
  using FadeAuto = Styles::FadeAuto;
  using LightAuto = Styles::LightAuto;
  using OvatixAuto = Styles::OvatixAuto;
  using StageLight = Styles::StageLight;
  using SearchLight = Styles::SearchLight;

  static constexpr int kStageWidth = 815;
  static constexpr int kStageHeight = 400;
  static constexpr const char* kFolder = "./styles/";
  static constexpr std::array<const char*, 3> kSearchLightNames{"left", "center", "right"};
  static constexpr std::array<const char*, 6> kStageLightNames{
      "bottom-left", "bottom-center", "bottom-right", "top-left", "top-center", "top-right"};

  explicit Style(int id = -1, const Links* links = nullptr);
  Style(const Style&) = delete;
  Style& operator=(const Style&) = delete;
  ~Style() override;

  // ILoadableXml: styles are read from elements only.
  bool Load(const char* path) override { return false; }
  // Reads the style element; false (nothing read) when "name" is missing or empty.
  bool LoadXml(Vell::Data::Xml::Node* node) override;

  // Opens the crowd collection, loads the images (relative to the styles folder under the
  // current directory), places the stage lights and starts the automations.
  bool Start() override;
  // Reads the stage picture, the shadow mask and the light images (relative to the styles folder
  // under the current directory) for the sprites hub's image scale, replacing any read before;
  // places the stage lights. Part of Start; the game calls it again when the render scale changes.
  void LoadImages();
  // Frees the images and stops the automations; the crowd collection stays open.
  bool Stop() override;
  // Resets the automations; every light idle.
  bool Reset() override;
  // Builds the automations' schedules.
  bool Prepare() override;
  // Tracks the automations (fade, crowd, light), the search lights, then the stage lights.
  void Track(int frame) override;
  // Draws the lights onto the hub's canvas (places and sizes in stage units).
  void Render(int frame) override;
  void RenderTo(Vell::Gfx::Canvas& canvas, int frame);

  int GetId() const { return id; }
  const Links* GetLinks() const { return links; }
  void SetLinks(const Links* value) { links = value; }
  const Vell::Gfx::Image* StageImage() const { return stageImage.get(); }
  // The crowd volume of a series by name, 1.0 for unknown names.
  float CrowdVolume(const std::string& series) const { return crowdAuto.VolumeOf(series); }

  std::unique_ptr<Vell::Gfx::Image> stageImage;
  std::string stage;
  std::string shadowMask;  // where shadows may fall (styles-folder relative PNG); empty: anywhere
  std::string collectionPath;
  std::vector<float> fadeParams{16.0f};
  std::vector<float> strobeParams{164.0f};
  Vell::Gfx::GDI::ShadowSet shadows;  // the shadow lights, drawn by the player's shadow pass
  FadeAuto fadeAuto{this};
  OvatixAuto crowdAuto{this};
  LightAuto lightAuto{this};
  std::array<SearchLight, 3> searchLights;
  std::array<StageLight, 6> stageLights;

 private:
  void ReadFilters(const Vell::Data::Xml::Element& style);
  void ReadLights(const Vell::Data::Xml::Element& style);
  void ReadShadows(const Vell::Data::Xml::Element& style);
  // Search lights: drop lost targets, draw the followed ones, then fill the free zones.
  void RenderSearchLights(Vell::Gfx::Canvas& canvas, int frame);

  int id;
  const Links* links;
};

}  // namespace Kesh::Styles
