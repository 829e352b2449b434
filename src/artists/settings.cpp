#include "artists/settings.h"

#include <string>

#include "framework/xml.h"
#include "platform/platform.h"

namespace Kesh::Artists::Animation {

Manager::Manager() {
  Vell::Platform::ScopedDirectory folder(kFolder);
  if (!folder.Ok()) {
    return;  // no configuration folder: the defaults stand
  }
  Vell::Data::Xml::Document document;
  if (!document.Load(kFile)) {
    return;
  }
  auto layout = document.SelectNode("profile/animation/layout");
  if (!layout) {
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
