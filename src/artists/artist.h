// An artist: an animated musician made of body sprites placed on the stage and a table of
// animation sets, read from one element of an artist file. Loaded and placed by the thread that
// prepares a song; its sprites are drawn by the frame thread under the scene lock.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "artists/sets.h"
#include "framework/collections.h"
#include "framework/interfaces.h"
#include "framework/object.h"

namespace Kesh::Artists {

class Artist : public Vell::Object, public Vell::ILoadableXml {
 public:
  using Sprite = Vell::Gfx::G2D::Sprites::Sprite;
  enum Type { kMelodic = 1, kPercussive = 2, kEffect = 3 };

  Artist() = default;
  Artist(const Artist&) = delete;
  Artist& operator=(const Artist&) = delete;
  ~Artist() override;

  // Artists are read from elements only.
  [[nodiscard]] bool Load(const char* path) override { return false; }
  // Reads "patch", "type", "name", "desc", "space", "place", "range", "priority", the body sprites
  // of "childs" and the sets of "animation", then takes the position of its cell.
  [[nodiscard]] bool LoadXml(Vell::Data::Xml::Node* node) override;

  // The bytes the images of an artist element take once decoded: its body sprites and the sprites
  // of its sets at the current animation quality. Read from the image files' headers, relative
  // to the current directory, without loading anything.
  static uint64_t ImageBytes(Vell::Data::Xml::Node* node);

  // The set of a kind (1 ... 13), or null.
  Animation::Set* GetSet(int kind) const;
  // Stores a set under its kind, replacing an earlier one of that kind.
  void AddSet(std::unique_ptr<Animation::Set> set);
  // Takes over a body sprite; its depth at this moment is its order within the artist.
  void AddBodySprite(std::unique_ptr<Sprite> sprite);

  // Gives the artist its cell (column, row 0-3) and stage position; the body sprites get one
  // position key there and depths just in front of the row, the sets' sprites the row's depth.
  // Cells outside the grid change nothing.
  void Position(int column, int row);
  // The stage position of a cell.
  static bool CellPosition(int column, int row, float& x, float& y);
  // Puts the artist at a point of the band's arrangement (Layout::Arrange) and keeps its cell:
  // the body sprites get one position key there and depths just in front of depth, the sets'
  // sprites depth.
  void PlaceAt(float stageX, float stageY, float depth);
  // Whether the artist plays the drum kit (answers to a drum group, 200-203).
  bool IsDrummer() const;

  // The opaque part of the first playing image, relative to the artist's position.
  struct Extent {
    float left = 0;
    float top = 0;
    float right = 0;
    float bottom = 0;
  };

  std::vector<int> patches;
  int type = kMelodic;
  int range = 0;
  int priority = 128;
  int sLen = 4;
  int rLen = 4;
  int sPos = 2;
  int rPos = 2;
  std::map<int, std::unique_ptr<Animation::Set>> sets;
  int column = 0;
  int row = 0;
  // The cell the artist file asks for; column and row may differ after the layout moved it.
  int homeColumn = 0;
  int homeRow = 0;
  float x = 0;
  float y = 0;
  std::array<int, 4> space{};
  Extent extent;
  // The side the stage pieces (amplifier, stand, music stand) stand on, seen from the hall:
  // -1 left, 1 right, 0 around the musician or none. Measured from the images at load.
  int piecesSide = 0;
  Vell::Collections::List sprites;  // the body sprites, owned
  std::string desc;
  bool shown = true;
  uint64_t imageBytes = 0;  // what ImageBytes gave when the artist was loaded

 private:
  // Measures extent and piecesSide from the first playing image and the first body image.
  void MeasureImages();

  std::vector<float> bodyOrder;  // each body sprite's own depth as loaded, in sprites order
};

}  // namespace Kesh::Artists
