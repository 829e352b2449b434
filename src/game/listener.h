// What the views of the game hear: each change of the show's state, announced once by the game
// after it happened. Announce runs on the thread that made the change (the user-interface thread
// for the commands, the frame thread for the recorded toggles a run replays), never with the frame
// lock held (the user-interface thread may hold the load mutex while a song opens). A listener
// takes no lock of the game but the frame lock, and on the frame thread none: it returns at once
// (a view queues the news to its own thread). Subscriptions begin and end, and Announce is called,
// on any thread.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

namespace Kesh::Game {

// What changed.
enum class Change {
  kTransport,   // playing, paused, stopped, loop or recording
  kSwitches,    // a display or automation switch, or the lower view's karaoke switch
  kStyle,       // the current style
  kMixer,       // a channel's sound, level, pan or artists, the crowd, the transposition
  kMixerReset,  // every channel and the crowd back to their defaults
  kSong,        // a song or project was opened or closed
};

class IListener {
 public:
  virtual ~IListener() = default;
  virtual void OnGameChanged(Change what) = 0;
};

// The game's listeners. Shared with the subscriptions, so that either may go first.
class Listeners {
 public:
  // Keeps a listener registered for its own lifetime.
  class Subscription {
   public:
    Subscription(std::shared_ptr<Listeners> list, IListener* listener);
    Subscription(const Subscription&) = delete;
    Subscription& operator=(const Subscription&) = delete;
    ~Subscription();
    // Whether the game has gone: news queued before then is stale.
    bool Ended() const { return list->ended; }

   private:
    std::shared_ptr<Listeners> list;
    IListener* listener;
  };

  void Announce(Change what);
  // The game goes: nothing is announced from now on.
  void End() { ended = true; }

 private:
  friend class Subscription;
  // Held while the listeners are called: a subscription that ends waits for the calls to return.
  // Recursive: a listener on the announcing thread may give a command that announces again.
  std::recursive_mutex lock;
  std::vector<IListener*> listeners;
  std::atomic<bool> ended{false};
};

}  // namespace Kesh::Game
