#include "styles/style.h"

#include <algorithm>
#include <filesystem>

#include "framework/diagnostics.h"
#include "framework/text.h"
#include "framework/xml.h"
#include "gfx/canvas.h"
#include "gfx/scaled_png.h"
#include "gfx/sprites.h"
#include "platform/platform.h"
#include "styles/show.h"
#include "tavro/player_module.h"

namespace Kesh::Styles {

namespace Xml = Vell::Data::Xml;
using Vell::Gfx::G2D::Sprites::Sprite;

namespace {

// The first element among node's children, or null.
std::unique_ptr<Xml::Element> FirstChildElement(const Xml::Node& node) {
  for (auto child = node.FirstChild(); child; child = child->NextSibling()) {
    if (child->IsElement()) {
      return child->AsElement();
    }
  }
  return nullptr;
}

std::unique_ptr<Xml::Element> SelectElement(const Xml::Element& from, std::string_view path) {
  auto node = from.SelectNode(path);
  return node ? node->AsElement() : nullptr;
}

// Reads the first `limit` child elements of a lights element into the lights named by `names`
// (exact names; other names are ignored).
template <typename LightArray, size_t N>
void ReadLightChildren(const Xml::Element& parent, const std::array<const char*, N>& names,
                       LightArray& lights, size_t limit) {
  size_t read = 0;
  for (auto child = parent.FirstChild(); child && read < limit; child = child->NextSibling()) {
    if (!child->IsElement()) {
      continue;
    }
    ++read;
    const std::string name = child->GetName();
    for (size_t i = 0; i < N; ++i) {
      if (name == names[i]) {
        lights[i].LoadXml(*child);
      }
    }
  }
}

bool InScene(const Vell::Gfx::G2D::Sprites::Scene& scene, const Sprite* sprite) {
  const int count = scene.sprites.Count();
  for (int i = 0; i < count; ++i) {
    if (scene.sprites.GetAt(i) == sprite) {
      return true;
    }
  }
  return false;
}

void DrawSearchLight(Vell::Gfx::Canvas& canvas, const SearchLight& light, int frame) {
  const Vell::Gfx::Image* image = light.ImageAt(frame);
  if (image == nullptr || light.target == nullptr) {
    return;
  }
  const Vell::Math::Vector3& at = light.target->positionTrack.Value();
  int x = 0;
  int y = 0;
  SearchLight::Anchor(at.x, at.y, light.width, x, y);
  canvas.DrawStageImage(*image, x, y, light.width, light.height);
}

}  // namespace

Style::Style(int id, const Links* links) : id(id), links(links) {
  for (size_t i = 0; i < stageLights.size(); ++i) {
    stageLights[i].position = static_cast<int>(i);
  }
  for (size_t i = 0; i < searchLights.size(); ++i) {
    searchLights[i].position = static_cast<int>(i);
  }
}

Style::~Style() = default;

bool Style::LoadXml(Xml::Node* node) {
  std::unique_ptr<Xml::Element> element = node != nullptr ? node->AsElement() : nullptr;
  std::string styleName;
  if (!element || !element->ReadString("name", styleName) || styleName.empty()) {
    return false;
  }
  SetName(styleName);
  element->ReadString("stage", stage);
  ReadFilters(*element);
  if (auto ovatix = SelectElement(*element, "ovatix")) {
    std::string folder;
    if (ovatix->ReadString("collections", folder)) {
      collectionPath = std::string(kFolder) + folder;
    }
    crowdAuto.LoadXml(ovatix.get());
  }
  ReadLights(*element);
  ReadShadows(*element);
  return true;
}

void Style::ReadFilters(const Xml::Element& style) {
  if (auto fade = SelectElement(style, "filters/fade")) {
    float depth = 16.0f;
    float inc = 0;
    fade->ReadFloat("depth", depth);
    fadeParams = {depth};
    if (fade->ReadFloat("inc", inc)) {
      fadeParams.push_back(inc);
    }
    if (auto settings = FirstChildElement(*fade)) {
      fadeAuto.LoadXml(settings.get());
    }
  }
  if (auto strobe = SelectElement(style, "filters/strobe")) {
    float value = 0;
    strobeParams.clear();
    if (strobe->ReadFloat("freq", value)) {
      strobeParams.push_back(value);
    }
    value = 164.0f;
    strobe->ReadFloat("depth", value);
    strobeParams.push_back(value);
    if (strobe->ReadFloat("sustain", value)) {
      strobeParams.push_back(value);
    }
    lightAuto.LoadXml(strobe.get());
  }
}

void Style::ReadLights(const Xml::Element& style) {
  if (auto search = SelectElement(style, "searchlights")) {
    lightAuto.LoadXml(search.get());
    ReadLightChildren(*search, kSearchLightNames, searchLights, searchLights.size());
  }
  if (auto stageElement = SelectElement(style, "stagelights")) {
    lightAuto.LoadXml(stageElement.get());
    ReadLightChildren(*stageElement, kStageLightNames, stageLights, stageLights.size());
  }
}

void Style::ReadShadows(const Xml::Element& style) {
  auto element = SelectElement(style, "shadowlights");
  if (!element) {
    return;
  }
  element->ReadFloat("stageDepth", shadows.stageDepth);
  element->ReadBool("stageBack", shadows.stageBack);
  element->ReadString("mask", shadowMask);
  shadows.ClearLights();
  for (auto child = element->FirstChild();
       child && shadows.Lights().size() < Vell::Gfx::GDI::ShadowSet::kMaxLights;
       child = child->NextSibling()) {
    if (!child->IsElement()) {
      continue;
    }
    Vell::Gfx::GDI::ShadowLight light;
    std::string location;
    if (child->ReadString("location", location)) {
      const std::vector<double> values = Xml::ParseDoubleList(location);
      double* coordinates[3] = {&light.location.x, &light.location.y, &light.location.z};
      for (size_t i = 0; i < values.size() && i < 3; ++i) {
        *coordinates[i] = values[i];
      }
    }
    child->ReadFloat("bias", light.bias);
    static_cast<void>(shadows.AddLight(light));
  }
}

bool Style::Start() {
  Audio::ICrowd* crowd = links != nullptr ? links->crowd : nullptr;
  if (crowd != nullptr && !collectionPath.empty()) {
    const std::string ini = collectionPath + "/collection.ini";
    const bool opened = crowd->OpenCollection(ini.c_str(), collectionPath.c_str());
    std::error_code error;
    if (!std::filesystem::is_regular_file(ini, error)) {
      Vell::Diagnostics::Warn("The crowd sounds of the style " + name + " are missing (" + ini +
                              "): the style plays without them");
    } else if (!opened) {
      // Also when the crowd-sound engine is missing, which is told on its own.
      Vell::Diagnostics::Report("The crowd sounds " + ini + " could not be opened");
    }
  }
  LoadImages();
  fadeAuto.Start();
  crowdAuto.Start();
  lightAuto.Start();
  return true;
}

void Style::LoadImages() {
  const int scale = Vell::Gfx::G2D::Sprites::Hub::Instance()->imageScale;
  {
    Vell::Platform::ScopedDirectory folder(kFolder);
    stageImage = std::make_unique<Vell::Gfx::Image>();
    std::string why;
    if (folder.Ok() && !stage.empty() &&
        !Vell::Gfx::LoadPngAtScale(*stageImage, stage, scale, &why)) {
      Vell::Diagnostics::Report("Stage image not read: " + why);
    }
    shadows.ClearMask();
    if (folder.Ok() && !shadowMask.empty()) {
      Vell::Gfx::Image mask;
      if (Vell::Gfx::LoadPngAtScale(mask, shadowMask, scale, &why)) {
        shadows.SetMask(mask);
      } else {
        Vell::Diagnostics::Warn("The shadow mask of the style " + name + " was not read (" + why +
                                "): its shadows fall anywhere");
      }
    }
    for (StageLight& light : stageLights) {
      if (folder.Ok()) {
        light.LoadImages(scale);
      }
      light.Place(kStageWidth, kStageHeight);
    }
    for (SearchLight& light : searchLights) {
      if (folder.Ok()) {
        light.LoadImages(scale);
      }
    }
  }
}

bool Style::Stop() {
  stageImage.reset();
  shadows.ClearMask();
  for (StageLight& light : stageLights) {
    light.FreeImages();
  }
  for (SearchLight& light : searchLights) {
    light.FreeImages();
  }
  fadeAuto.Stop();
  crowdAuto.Stop();
  lightAuto.Stop();
  return true;
}

bool Style::Reset() {
  fadeAuto.Reset();
  crowdAuto.Reset();
  lightAuto.Reset();
  for (SearchLight& light : searchLights) {
    light.Reset();
  }
  for (StageLight& light : stageLights) {
    light.Reset();
  }
  return true;
}

bool Style::Prepare() {
  fadeAuto.Prepare();
  crowdAuto.Prepare();
  lightAuto.Prepare();
  return true;
}

void Style::Track(int frame) {
  fadeAuto.Track(frame);
  crowdAuto.Track(frame);
  lightAuto.Track(frame);
  const Links* links = GetLinks();
  const int rate = links != nullptr && links->show != nullptr ? links->show->FrameRate()
                                                              : Light::kStyleFrameRate;
  for (SearchLight& light : searchLights) {
    light.SetFrameRate(rate);
    light.Track(frame);
  }
  for (StageLight& light : stageLights) {
    light.SetFrameRate(rate);
    light.Track(frame);
  }
}

void Style::Render(int frame) {
  Vell::Gfx::Canvas* canvas = Vell::Gfx::G2D::Sprites::Hub::Instance()->canvas;
  if (canvas != nullptr) {
    RenderTo(*canvas, frame);
  }
}

void Style::RenderTo(Vell::Gfx::Canvas& canvas, int frame) {
  for (const StageLight& light : stageLights) {
    if (const Vell::Gfx::Image* image = light.ImageAt(frame)) {
      canvas.DrawStageImage(*image, light.x, light.y, light.width, light.height);
    }
  }
  RenderSearchLights(canvas, frame);
}

void Style::RenderSearchLights(Vell::Gfx::Canvas& canvas, int frame) {
  Vell::Gfx::G2D::Sprites::Scene* scene =
      links != nullptr && links->show != nullptr ? links->show->SpriteScene() : nullptr;
  for (SearchLight& light : searchLights) {
    if (light.target != nullptr && (scene == nullptr || !InScene(*scene, light.target))) {
      light.target = nullptr;
    }
  }
  std::array<bool, 3> taken{};
  for (size_t zone = 0; zone < searchLights.size(); ++zone) {
    if (searchLights[zone].target != nullptr) {
      DrawSearchLight(canvas, searchLights[zone], frame);
      taken[zone] = true;
    }
  }
  if (scene == nullptr) {
    return;
  }
  for (int i = scene->sprites.Count() - 1; i >= 0; --i) {
    if (std::all_of(taken.begin(), taken.end(), [](bool t) { return t; })) {
      break;
    }
    const auto* sprite = static_cast<const Sprite*>(scene->sprites.GetAt(i));
    if (sprite == nullptr || sprite->Count() == 1) {
      continue;
    }
    const int zone = ZoneOf(sprite->positionTrack.Value().x);
    if (zone < 0 || taken[zone]) {
      continue;
    }
    SearchLight& light = searchLights[zone];
    light.target = sprite;
    taken[zone] = true;
    DrawSearchLight(canvas, light, frame);
  }
}

}  // namespace Kesh::Styles
