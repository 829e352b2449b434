#include "artists/artist.h"

#include <algorithm>

#include "framework/text.h"
#include "framework/xml.h"

namespace Kesh::Artists {

namespace {

// Stage x of column 0 for each row; columns are 164 pixels apart, rows 21 pixels.
constexpr float kRowOffsets[4] = {137.8f, 169.6f, 66.25f, 265.0f};

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

void Artist::Position(int newColumn, int newRow) {
  float cellX = 0;
  float cellY = 0;
  if (!CellPosition(newColumn, newRow, cellX, cellY)) {
    return;
  }
  column = newColumn;
  row = newRow;
  x = cellX;
  y = cellY;
  Vell::Keyframing::Runtime::KeyList<Vell::Math::Vector3> keys;
  keys.keys.push_back({0, {x, y, 0}, 0, 0});
  const float rowDepth = static_cast<float>(row);
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
  Position(column, row);
  return true;
}

}  // namespace Kesh::Artists
