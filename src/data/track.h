// A track: the analysed events of one instrument (or of the song's bar grid) in time order.
#pragma once

#include <cstddef>
#include <set>

#include "data/events.h"
#include "framework/enumerator.h"

namespace Kesh::Data::Tracks {

// Events are ordered by start time; the container keeps equal starts in insertion order.
struct less_by_time {
  bool operator()(const Events::Event* a, const Events::Event* b) const {
    return a->start < b->start;
  }
};

// All events of one instrument, owned: destroying the track destroys its events.
class Event : public Vell::Collections::IEnumerable<const Events::Event*> {
 public:
  using Container = std::multiset<const Events::Event*, less_by_time>;
  using Enumerator = Vell::Collections::Enumerator<Container>;

  // patch: -1 for the bar track, 0-127 for a General MIDI program, else a drum group's patch.
  // channel: -1 for the bar track, 9 for a drum group, else the program's MIDI channel.
  Event(int patch, int channel) : patch(patch), channel(channel), enumerator(&events) {}
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;
  virtual ~Event();

  // Resets the track's own cursor and returns it (the same object every time).
  Vell::Collections::IEnumerator<const Events::Event*>* GetEnumerator() override;

  // Takes ownership; the event goes after all events with the same start. null is ignored.
  void Insert(const Events::Event* event);

  int GetPatch() const { return patch; }
  int GetChannel() const { return channel; }
  size_t Count() const { return events.size(); }
  // Read-only view for walks that must not disturb the cursor.
  const Container& GetEvents() const { return events; }

 private:
  Container events;
  int patch;
  int channel;
  Enumerator enumerator;
};

}  // namespace Kesh::Data::Tracks
