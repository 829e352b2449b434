// Animation sets: one animated sequence of an artist (walking on, arriving, playing, resting,
// joining two playing sequences, leaving) with the parameters that time it. Each set owns one
// sprite; the element name in the artist file says which of the thirteen kinds it is.
#pragma once

#include <memory>
#include <string>

#include "framework/interfaces.h"
#include "gfx/sprites.h"

namespace Vell::Data::Xml {
class Node;
}

namespace Kesh::Artists::Animation {

using Sprite = Vell::Gfx::G2D::Sprites::Sprite;

// The kinds, as returned by GetKind.
enum Kind {
  kSLR = 1,   // walking from stage left to right
  kSRL = 2,   // walking from right to left
  kLTA = 3,   // arrival after walking in from the left
  kRTA = 4,   // arrival after walking in from the right
  kATL = 5,   // departure towards the left
  kATR = 6,   // departure towards the right
  kCSA = 7,   // playing, first pair, first set; drum group 200
  kCRA = 8,   // playing, second pair, first set; drum group 202
  kCFA = 9,   // resting
  kJAB = 10,  // join from the first set of a pair to the second
  kJBA = 11,  // join back
  kCSB = 12,  // playing, first pair, second set; drum group 201
  kCRB = 13,  // playing, second pair, second set; drum group 203
};
constexpr int kFirstKind = kSLR;
constexpr int kLastKind = kCRB;

// The animation quality: how many sequence steps each image of a set's sprite stands for (1 =
// every image, 2 = medium, 4 = low). The game's profile sets it before artists are loaded; values
// outside 1 ... 4 count as 1.
void SetQuality(int hold);
int GetQuality();

class Set : public Vell::ILoadableXml {
 public:
  Set() = default;
  Set(const Set&) = delete;
  Set& operator=(const Set&) = delete;
  virtual ~Set() = default;

  // Sets are read from elements only.
  [[nodiscard]] bool Load(const char* path) override { return false; }
  // Reads "tempo", "velocity", "easeIn", "easeOut" and "joinAt"; the first child element is the
  // sprite, held GetQuality() steps per image and started at step joinAt.
  [[nodiscard]] bool LoadXml(Vell::Data::Xml::Node* node) override;
  virtual int GetKind() const = 0;

  Sprite* GetSprite() const { return sprite.get(); }

  float easeIn = 0;
  float easeOut = 0;
  float velocity = 0;  // walking speed, stage pixels per frame
  int tempo = 100;
  int joinAt = 0;

 private:
  std::unique_ptr<Sprite> sprite;
};

namespace Sets {

template <int K>
class SetOfKind : public Set {
 public:
  int GetKind() const override { return K; }
};

class SLR : public SetOfKind<kSLR> {};
class SRL : public SetOfKind<kSRL> {};
class LTA : public SetOfKind<kLTA> {};
class RTA : public SetOfKind<kRTA> {};
class ATL : public SetOfKind<kATL> {};
class ATR : public SetOfKind<kATR> {};
class CSA : public SetOfKind<kCSA> {};
class CRA : public SetOfKind<kCRA> {};
class CFA : public SetOfKind<kCFA> {};
class JAB : public SetOfKind<kJAB> {};
class JBA : public SetOfKind<kJBA> {};
class CSB : public SetOfKind<kCSB> {};
class CRB : public SetOfKind<kCRB> {};

}  // namespace Sets

// The element name of a kind ("slr" ... "crb"), empty for other numbers.
const char* KindName(int kind);
// The kind named by an element name (ignoring case), 0 for any other name.
int KindOfName(const std::string& name);

// Creates and loads the set the element names; null for any other element.
std::unique_ptr<Set> CreateSet(Vell::Data::Xml::Node* node);

}  // namespace Kesh::Artists::Animation
