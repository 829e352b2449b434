#include "artists/artist.h"

#include <algorithm>

#include "framework/text.h"
#include "framework/xml.h"
#include "gfx/image.h"
#include "gfx/sprites.h"

namespace Kesh::Artists {

namespace {

// Stage x of column 0 for each row; columns are 164 pixels apart, rows 21 pixels.
constexpr float kRowOffsets[4] = {137.8f, 169.6f, 66.25f, 265.0f};
// Pieces whose middle lies this many pixels or more beside the musician's stand on a side.
constexpr float kPiecesAside = 10.0f;
constexpr int kFirstDrumGroup = 200;
constexpr int kLastDrumGroup = 203;

// The opaque rectangle of an image in stage units: left, top, right, bottom (exclusive); false
// when none. An image of scale 2 has its pixel rectangle divided and rounded inwards: the soft
// rim a 1× image gains when it is scaled up (half a stage unit each side) does not widen it.
bool OpaqueRect(const Vell::Gfx::Image& image, std::array<int, 4>& rect) {
  const int w = image.Width();
  const int h = image.Height();
  rect = {w, h, -1, -1};
  const uint32_t* pixels = image.Pixels();
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      if (Vell::Gfx::AlphaOf(
              pixels[static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)]) !=
          0) {
        rect[0] = std::min(rect[0], x);
        rect[1] = std::min(rect[1], y);
        rect[2] = std::max(rect[2], x + 1);
        rect[3] = std::max(rect[3], y + 1);
      }
    }
  }
  const int scale = image.Scale();
  if (rect[2] > 0 && scale > 1) {
    const std::array<int, 4> pixels = rect;
    rect = {(pixels[0] + scale - 1) / scale, (pixels[1] + scale - 1) / scale, pixels[2] / scale,
            pixels[3] / scale};
    if (rect[2] <= rect[0] || rect[3] <= rect[1]) {
      // Thinner than a stage unit: rounded outwards instead.
      rect = {pixels[0] / scale, pixels[1] / scale, (pixels[2] + scale - 1) / scale,
              (pixels[3] + scale - 1) / scale};
    }
  }
  return rect[2] > 0;
}

const Vell::Gfx::Image* FirstImage(const Vell::Gfx::G2D::Sprites::Sprite* sprite) {
  return sprite != nullptr && sprite->Count() > 0 ? sprite->Images().front() : nullptr;
}

}  // namespace

Artist::~Artist() { sprites.DeleteAll(); }

bool Artist::CellPosition(int column, int row, float& x, float& y) {
  if (column < 0 || column > 3 || row < 0 || row > 3) {
    return false;
  }
  x = static_cast<float>(column) * 164.0f + kRowOffsets[row];
  y = 280.0f - 21.0f * static_cast<float>(row);
  return true;
}

Animation::Set* Artist::GetSet(int kind) const {
  auto it = sets.find(kind);
  return it == sets.end() ? nullptr : it->second.get();
}

void Artist::AddSet(std::unique_ptr<Animation::Set> set) {
  if (set) {
    const int kind = set->GetKind();
    sets[kind] = std::move(set);
  }
}

void Artist::AddBodySprite(std::unique_ptr<Sprite> sprite) {
  if (sprite) {
    bodyOrder.push_back(sprite->depth);
    sprites.Add(sprite.release());
  }
}

bool Artist::IsDrummer() const {
  return std::any_of(patches.begin(), patches.end(),
                     [](int patch) { return patch >= kFirstDrumGroup && patch <= kLastDrumGroup; });
}

void Artist::Position(int newColumn, int newRow) {
  float cellX = 0;
  float cellY = 0;
  if (!CellPosition(newColumn, newRow, cellX, cellY)) {
    return;
  }
  column = newColumn;
  row = newRow;
  PlaceAt(cellX, cellY, static_cast<float>(row));
}

void Artist::PlaceAt(float stageX, float stageY, float depth) {
  x = stageX;
  y = stageY;
  Vell::Keyframing::Runtime::KeyList<Vell::Math::Vector3> keys;
  keys.keys.push_back({0, {x, y, 0}, 0, 0});
  const float rowDepth = depth;
  auto* walk = sprites.GetEnumerator();
  size_t index = 0;
  while (walk->MoveNext()) {
    auto* sprite = static_cast<Sprite*>(walk->Current());
    sprite->positionTrack.ClearKeys();
    sprite->positionTrack.SetKeys(keys);
    // From the depth the sprite was loaded with, so that moving the artist again keeps the order
    // of its body sprites.
    const float own = index < bodyOrder.size() ? bodyOrder[index] : 0.0f;
    sprite->depth = rowDepth - own * 0.0000001f;
    ++index;
  }
  for (auto& [kind, set] : sets) {
    if (set->GetSprite() != nullptr) {
      set->GetSprite()->depth = rowDepth;
    }
  }
}

uint64_t Artist::ImageBytes(Vell::Data::Xml::Node* node) {
  if (node == nullptr) {
    return 0;
  }
  uint64_t bytes = 0;
  // The same elements LoadXml reads sprites from.
  for (auto child = node->FirstChild(); child; child = child->NextSibling()) {
    if (!child->IsElement()) {
      continue;
    }
    const std::string childName = child->GetName();
    if (childName == "childs") {
      for (auto body = child->FirstChild(); body; body = body->NextSibling()) {
        if (body->IsElement()) {
          bytes += Sprite::DecodedBytes(body.get(), 1);
        }
      }
    } else if (childName == "animation") {
      for (auto setNode = child->FirstChild(); setNode; setNode = setNode->NextSibling()) {
        if (!setNode->IsElement() || Animation::KindOfName(setNode->GetName()) == 0) {
          continue;
        }
        for (auto sprite = setNode->FirstChild(); sprite; sprite = sprite->NextSibling()) {
          if (sprite->IsElement()) {
            bytes += Sprite::DecodedBytes(sprite.get(), Animation::GetQuality());
            break;
          }
        }
      }
    }
  }
  return bytes;
}

bool Artist::LoadXml(Vell::Data::Xml::Node* node) {
  if (node == nullptr) {
    return false;
  }
  namespace Xml = Vell::Data::Xml;
  std::string text;
  if (node->ReadString("patch", text)) {
    patches = Xml::ParseIntList(text);
  }
  if (node->ReadString("type", text)) {
    if (Vell::Text::EqualsIgnoreCase(text, "M")) {
      type = kMelodic;
    } else if (Vell::Text::EqualsIgnoreCase(text, "P")) {
      type = kPercussive;
    } else if (Vell::Text::EqualsIgnoreCase(text, "E")) {
      type = kEffect;
    }
  }
  if (node->ReadString("name", text)) {
    name = text;
  }
  node->ReadString("desc", desc);
  if (node->ReadString("space", text)) {
    Xml::ParseIntQuad(text, space);
  }
  if (node->ReadString("place", text)) {
    int placeColumn = 0;
    int placeRow = 0;
    if (Xml::ParseIntPair(text, placeColumn, placeRow)) {
      // Counted from 1 in the file; kept inside the grid.
      column = std::clamp(placeColumn, 1, 4) - 1;
      row = std::clamp(placeRow, 1, 4) - 1;
      homeColumn = column;
      homeRow = row;
    }
  }
  node->ReadInt("range", range);
  node->ReadInt("priority", priority);
  for (auto child = node->FirstChild(); child; child = child->NextSibling()) {
    if (!child->IsElement()) {
      continue;
    }
    const std::string childName = child->GetName();
    if (childName == "childs") {
      for (auto body = child->FirstChild(); body; body = body->NextSibling()) {
        if (body->IsElement()) {
          auto sprite = std::make_unique<Sprite>("", 1);
          sprite->LoadXml(body.get());
          AddBodySprite(std::move(sprite));
        }
      }
    } else if (childName == "animation") {
      child->ReadInt("SLen", sLen);
      child->ReadInt("RLen", rLen);
      child->ReadInt("SPos", sPos);
      child->ReadInt("RPos", rPos);
      for (auto setNode = child->FirstChild(); setNode; setNode = setNode->NextSibling()) {
        AddSet(Animation::CreateSet(setNode.get()));
      }
    }
  }
  MeasureImages();
  Position(column, row);
  return true;
}

void Artist::MeasureImages() {
  const Vell::Gfx::Image* playing = nullptr;
  for (int kind :
       {Animation::kCSA, Animation::kCSB, Animation::kCRA, Animation::kCRB, Animation::kCFA}) {
    const Animation::Set* set = GetSet(kind);
    playing = set != nullptr ? FirstImage(set->GetSprite()) : nullptr;
    if (playing != nullptr) {
      break;
    }
  }
  std::array<int, 4> rect{};
  if (playing == nullptr || !OpaqueRect(*playing, rect)) {
    return;
  }
  // Sprites draw their images centred on the position, in stage units.
  const float halfW = static_cast<float>(playing->Width() / playing->Scale()) / 2;
  const float halfH = static_cast<float>(playing->Height() / playing->Scale()) / 2;
  extent = {static_cast<float>(rect[0]) - halfW, static_cast<float>(rect[1]) - halfH,
            static_cast<float>(rect[2]) - halfW, static_cast<float>(rect[3]) - halfH};
  const Vell::Gfx::Image* body =
      sprites.Count() > 0 ? FirstImage(static_cast<const Sprite*>(sprites.GetAt(0))) : nullptr;
  std::array<int, 4> pieces{};
  if (body != nullptr && OpaqueRect(*body, pieces)) {
    const float shift = static_cast<float>(pieces[0] + pieces[2]) / 2 -
                        static_cast<float>(body->Width() / body->Scale()) / 2 -
                        (extent.left + extent.right) / 2;
    piecesSide = shift >= kPiecesAside ? 1 : shift <= -kPiecesAside ? -1 : 0;
  }
}

}  // namespace Kesh::Artists
