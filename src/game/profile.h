// The user's persistent settings ("game.xml"): artist limit, drummer, animation quality, shadows,
// automatic style, MIDI output, synthesizer latency and the limit on flashing. Embedded in the
// game; read and written on the user-interface thread only (the frame thread reads the plain fields
// of a prepared show).
#pragma once

#include <cstdint>
#include <string>

#include "framework/interfaces.h"

namespace Kesh::Game {

class Profile : public Vell::ILoadableXml, public Vell::ISaveableXml {
 public:
  static constexpr int kMaxLatency = 100;

  // Reads the file; false (every field unchanged) when it cannot be parsed, with the file and the
  // reason in why. Missing elements and attributes keep their fields; animQuality 0 or above 4
  // reads as 1; latency is clamped to 0 ... 100.
  [[nodiscard]] bool LoadFile(const std::string& path, std::string* why);
  bool Load(const char* path) override { return path != nullptr && LoadFile(path, nullptr); }
  bool LoadXml(Vell::Data::Xml::Node* node) override { return false; }
  // Writes "profile" with "artists", "styles", "system" and "display" through a temporary file
  // renamed into place, so a failed save keeps the previous file; why then names the file and
  // the reason.
  [[nodiscard]] bool SaveFile(const std::string& path, std::string* why);
  bool Save(const char* path) override { return path != nullptr && SaveFile(path, nullptr); }
  bool SaveXml(Vell::Data::Xml::Node* node) override { return false; }

  // 1 ... 4 is taken, anything else stores 1.
  void SetQuality(int value);

  int32_t max = 13;
  bool shadows = true;
  bool forceDrummer = true;
  bool autoStyle = true;  // "auto" in the file
  uint16_t animQuality = 1;
  int32_t device = 0;
  // The output's name when it was chosen ("deviceName"; empty for the built-in synthesizer and in
  // older files): the output is found by it again when the list's order has changed.
  std::string deviceName;
  int32_t latency = 0;
  // Holds the strobe to a safe rate whatever a style asks ("display", "reduceFlashing").
  bool reduceFlashing = true;
};

}  // namespace Kesh::Game
