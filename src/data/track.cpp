#include "data/track.h"

namespace Kesh::Data::Tracks {

Event::~Event() {
  for (const Events::Event* event : events) {
    delete event;
  }
}

Vell::Collections::IEnumerator<const Events::Event*>* Event::GetEnumerator() {
  enumerator.Reset();
  return &enumerator;
}

void Event::Insert(const Events::Event* event) {
  if (event != nullptr) {
    // A multiset places an element after the equal ones already present.
    events.insert(event);
  }
}

}  // namespace Kesh::Data::Tracks
