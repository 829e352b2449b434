#include "game/listener.h"

#include <algorithm>

namespace Kesh::Game {

Listeners::Subscription::Subscription(std::shared_ptr<Listeners> given, IListener* added)
    : list(std::move(given)), listener(added) {
  const std::lock_guard<std::recursive_mutex> guard(list->lock);
  list->listeners.push_back(listener);
}

Listeners::Subscription::~Subscription() {
  const std::lock_guard<std::recursive_mutex> guard(list->lock);
  auto& all = list->listeners;
  all.erase(std::remove(all.begin(), all.end(), listener), all.end());
}

void Listeners::Announce(Change what) {
  const std::lock_guard<std::recursive_mutex> guard(lock);
  if (ended) {
    return;
  }
  // A copy: a listener may end a subscription while it is called.
  const std::vector<IListener*> called = listeners;
  for (IListener* listener : called) {
    listener->OnGameChanged(what);
  }
}

}  // namespace Kesh::Game
