#include "game/profile.h"

#include <algorithm>
#include <memory>

#include "framework/xml.h"

namespace Kesh::Game {

using Vell::Data::Xml::Document;
using Vell::Data::Xml::Element;
using Vell::Data::Xml::Node;

bool Profile::LoadFile(const std::string& path, std::string* why) {
  Document document;
  if (!document.Load(path, why)) {
    return false;
  }
  std::unique_ptr<Element> root = document.GetRoot();
  if (!root) {
    if (why != nullptr) {
      *why = "'" + path + "': no document element";
    }
    return false;
  }
  if (std::unique_ptr<Node> artists = root->SelectNode("artists")) {
    artists->ReadInt("max", max);
    artists->ReadBool("forceDrummer", forceDrummer);
    int quality = animQuality;
    if (artists->ReadInt("animQuality", quality)) {
      animQuality = static_cast<uint16_t>(quality >= 1 && quality <= 4 ? quality : 1);
    }
  }
  if (std::unique_ptr<Node> styles = root->SelectNode("styles")) {
    styles->ReadBool("shadows", shadows);
    styles->ReadBool("auto", autoStyle);
  }
  if (std::unique_ptr<Node> system = root->SelectNode("system")) {
    system->ReadInt("device", device);
    system->ReadString("deviceName", deviceName);
    if (system->ReadInt("latency", latency)) {
      latency = std::clamp(latency, 0, kMaxLatency);
    }
  }
  if (std::unique_ptr<Node> display = root->SelectNode("display")) {
    display->ReadBool("reduceFlashing", reduceFlashing);
  }
  return true;
}

bool Profile::SaveFile(const std::string& path, std::string* why) {
  const auto fail = [&path, why] {
    if (why != nullptr) {
      *why = "'" + path + "': the settings document cannot be built";
    }
    return false;
  };
  Document document;
  std::unique_ptr<Element> root = document.CreateElement("profile");
  std::unique_ptr<Element> artists = document.CreateElement("artists");
  std::unique_ptr<Element> styles = document.CreateElement("styles");
  std::unique_ptr<Element> system = document.CreateElement("system");
  std::unique_ptr<Element> display = document.CreateElement("display");
  if (!root || !artists || !styles || !system || !display) {
    return fail();
  }
  const auto flag = [](bool value) { return value ? "true" : "false"; };
  artists->SetAttribute("max", std::to_string(max));
  artists->SetAttribute("animQuality", std::to_string(animQuality));
  artists->SetAttribute("forceDrummer", flag(forceDrummer));
  styles->SetAttribute("shadows", flag(shadows));
  styles->SetAttribute("auto", flag(autoStyle));
  system->SetAttribute("device", std::to_string(device));
  if (!deviceName.empty()) {
    system->SetAttribute("deviceName", deviceName);
  }
  system->SetAttribute("latency", std::to_string(latency));
  display->SetAttribute("reduceFlashing", flag(reduceFlashing));
  if (!document.SetRoot(root.get())) {
    return fail();
  }
  std::unique_ptr<Element> placed = document.GetRoot();
  if (!placed || !placed->AppendChild(artists.get()) || !placed->AppendChild(styles.get()) ||
      !placed->AppendChild(system.get()) || !placed->AppendChild(display.get())) {
    return fail();
  }
  return document.Save(path, why);
}

void Profile::SetQuality(int value) {
  animQuality = static_cast<uint16_t>(value >= 1 && value <= 4 ? value : 1);
}

}  // namespace Kesh::Game
