#include "styles/manager.h"

#include <cstdint>

#include "framework/diagnostics.h"
#include "framework/text.h"
#include "framework/xml.h"
#include "gfx/sprites.h"
#include "platform/platform.h"
#include "styles/numbers.h"
#include "styles/show.h"

namespace Kesh::Styles {

namespace Xml = Vell::Data::Xml;

namespace {
constexpr std::array<const char*, 5> kGenreNames{"Electronic", "Rock", "Jazz", "Classic", "Pop"};
// Attribute names of the weights and multipliers, in Genre order.
constexpr std::array<const char*, 5> kGenreAttributes{"electronic", "rock", "jazz", "classic",
                                                      "pop"};
}  // namespace

Manager::Manager() {
  {
    Vell::Platform::ScopedDirectory folder(kFolder);
    if (!folder.Ok()) {
      throw DatafileNotLoadedException(std::string("there is no folder ") + kFolder);
    }
    LoadIndex();
    LoadAuto();
  }
  fallback = std::make_unique<Style>(-1, &links);
  current = nullptr;
}

Manager::~Manager() = default;

void Manager::LoadIndex() {
  Xml::Document index;
  std::string why;
  if (!index.Load(kIndex, &why)) {
    throw DatafileNotLoadedException(std::string("in ") + kFolder + ": " + why);
  }
  auto root = index.GetRoot();
  if (!root) {
    throw DatafileNotLoadedException(std::string("'") + kFolder + kIndex +
                                     "': no document element");
  }
  int id = 0;
  for (auto child = root->FirstChild(); child; child = child->NextSibling()) {
    if (!child->IsElement()) {
      continue;  // comments
    }
    auto file = Xml::OpenInclude(child.get(), &why);
    if (!file) {
      throw DatafileNotLoadedException(std::string("'") + kFolder + kIndex + "', style " +
                                       std::to_string(id) + ": " + why);
    }
    auto list = file->SelectNode("profile/styles");
    if (!list) {
      throw DatafileNotLoadedException(std::string("'") + kFolder + kIndex + "', style " +
                                       std::to_string(id) + ": no profile/styles element");
    }
    auto style = std::make_unique<Style>(id, &links);
    for (auto element = list->FirstChild(); element; element = element->NextSibling()) {
      if (element->IsElement()) {
        static_cast<void>(style->LoadXml(element.get()));
        break;
      }
    }
    styles[id++] = std::move(style);
  }
}

void Manager::LoadAuto() {
  Xml::Document document;
  std::string why;
  if (!document.Load(kAuto, &why)) {
    Vell::Diagnostics::Report(std::string("The automatic style choice keeps its defaults: in ") +
                              kFolder + ": " + why);
    return;
  }
  auto root = document.GetRoot();
  auto node = root ? root->SelectNode("styles/auto") : nullptr;
  if (!node) {
    return;
  }
  std::array<float, 5> multipliers{1, 1, 1, 1, 1};
  for (size_t g = 0; g < multipliers.size(); ++g) {
    node->ReadFloat(kGenreAttributes[g], multipliers[g]);
  }
  for (auto child = node->FirstChild(); child; child = child->NextSibling()) {
    int patch = 0;
    if (!child->IsElement() || !child->ReadInt("patch", patch)) {
      continue;
    }
    Weights weights{};
    for (size_t g = 0; g < weights.size(); ++g) {
      int weight = 0;
      child->ReadInt(kGenreAttributes[g], weight);
      weights[g] = TruncToInt(static_cast<double>(static_cast<float>(weight) * multipliers[g]));
    }
    autoWeights[patch] = weights;
  }
}

Style* Manager::FindByName(const std::string& name) const {
  for (const auto& [id, style] : styles) {
    if (Vell::Text::EqualsIgnoreCase(style->GetName(), name)) {
      return style.get();
    }
  }
  return fallback.get();
}

Style* Manager::GetById(int id) const {
  auto it = styles.find(id);
  return it != styles.end() ? it->second.get() : fallback.get();
}

bool Manager::Switch(Style* style) {
  if (style == current) {
    return false;
  }
  Style* old = current;
  current = style;
  current->Start();
  if (old != nullptr) {
    old->Stop();
  }
  return true;
}

bool Manager::SelectByName(const std::string& name) { return Switch(FindByName(name)); }

bool Manager::SelectById(int id) {
  if (id < 0) {
    current = nullptr;
    return true;
  }
  return Switch(GetById(id));
}

Manager::Genre Manager::ChooseGenre(const std::vector<int>& patches) const {
  std::array<int64_t, 5> total{};
  for (int patch : patches) {
    if (patch > 127) {
      continue;
    }
    auto it = autoWeights.find(patch);
    if (it == autoWeights.end()) {
      continue;
    }
    for (size_t g = 0; g < total.size(); ++g) {
      total[g] += it->second[g];
    }
  }
  Genre best = kElectronic;
  const Genre rc = total[kRock] < total[kClassic] ? kClassic : kRock;
  if (total[rc] >= total[kElectronic]) {
    best = rc;
  }
  if (total[best] < total[kJazz]) {
    best = kJazz;
  }
  if (total[best] < total[kPop]) {
    best = kPop;
  }
  return best;
}

const char* Manager::GenreName(Genre genre) { return kGenreNames[genre]; }

bool Manager::SelectAuto() {
  const std::vector<int> patches =
      links.show != nullptr ? links.show->InstrumentPatches() : std::vector<int>();
  return Switch(FindByName(GenreName(ChooseGenre(patches))));
}

int Manager::FirstEntrance(const IShow& show) {
  int first = -1;
  const int count = show.PerformerCount();
  for (int performer = 0; performer < count; ++performer) {
    for (int kind : {kArriveFromLeft, kArriveFromRight}) {
      const Vell::Gfx::G2D::Sprites::Sprite* sprite = show.SetSprite(performer, kind);
      const int time = sprite != nullptr ? sprite->positionTrack.FirstTime() : -1;
      if (time >= 0 && (first < 0 || time < first)) {
        first = time;
      }
    }
  }
  return first < 0 ? 0 : first;
}

bool Manager::Reset() {
  for (auto& [id, style] : styles) {
    style->Reset();
  }
  return true;
}

bool Manager::Prepare() {
  links.firstEntrance = links.show != nullptr ? FirstEntrance(*links.show) : 0;
  for (auto& [id, style] : styles) {
    style->Reset();
    style->Prepare();
  }
  return true;
}

}  // namespace Kesh::Styles
