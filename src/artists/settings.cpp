#include "artists/settings.h"

#include <string>

#include "framework/diagnostics.h"
#include "framework/xml.h"
#include "platform/platform.h"

namespace Kesh::Artists::Animation {

Manager::Manager() {
  // Without the file the defaults stand; the user hears of it once.
  const auto missing = [](const std::string& reason) {
    Vell::Diagnostics::Warn(std::string("The animation settings ") + kFolder + kFile +
                            " could not be read (" + reason + "): the defaults are used");
  };
  Vell::Platform::ScopedDirectory folder(kFolder);
  if (!folder.Ok()) {
    missing("there is no folder " + std::string(kFolder));
    return;
  }
  Vell::Data::Xml::Document document;
  std::string why;
  if (!document.Load(kFile, &why)) {
    missing(why);
    return;
  }
  auto layout = document.SelectNode("profile/animation/layout");
  if (!layout) {
    missing("no profile/animation/layout element");
    return;
  }
  layout->ReadInt("eventsMin", eventsMin);
  if (auto melodic = document.SelectNode("profile/animation/layout/melodic")) {
    melodic->ReadFloat("staccato", staccato);
    melodic->ReadFloat("overlap", overlap);
    melodic->ReadInt("threshold", melodicThreshold);
  }
  if (auto drum = document.SelectNode("profile/animation/layout/drum")) {
    drum->ReadInt("threshold", drumThreshold);
  }
}

}  // namespace Kesh::Artists::Animation
