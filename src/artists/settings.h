// The numbers that decide when an instrument counts as playing, read once from
// "./config/animation.xml" at first use.
#pragma once

#include "framework/singleton.h"

namespace Kesh::Artists::Animation {

class Manager : public Vell::Singleton<Manager> {
 public:
  static constexpr const char* kFolder = "./config/";
  static constexpr const char* kFile = "animation.xml";

  virtual ~Manager() = default;

  float staccato = 0.5f;     // coverage above which a melodic bar plays the first pair of sets
  float overlap = 0.5f;      // read and kept
  int melodicThreshold = 4;  // note count that makes a bar active for melodic artists
  int drumThreshold = 4;     // the same for every other artist
  int eventsMin = 8;         // active bars an instrument needs to be given an artist

 private:
  friend class Vell::Singleton<Manager>;
  Manager();
};

}  // namespace Kesh::Artists::Animation
