// A playlist run: plays the playlist from its current item. Items that cannot be opened are
// skipped with a notice, one item per turn of the event loop, so the window keeps answering (and
// quits at once when asked) whatever the list holds; after kMaxFailuresInARow failures in a row
// the run gives up and says why. GUI thread only; the run keeps a pointer to the playlist it was
// started on, which its owner keeps alive.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <string>

namespace Kesh::Game {
class Playlist;
}

namespace Kesh::GUI {

class PlaylistRun : public QObject {
  Q_OBJECT
 public:
  // A few missing or broken songs are skipped; more in a row means the list itself is wrong (a
  // moved folder, a list of other files), and trying all of a long one helps nobody.
  static constexpr int kMaxFailuresInARow = 10;

  struct Hooks {
    // Opens the song or project at path and starts it; false with the reason when it cannot.
    std::function<bool(const std::string& path, std::string* why)> open;
    std::function<void(const QString& text)> notice;
    // The run ended: with a song playing, or with none (the end of the list, or it gave up).
    std::function<void(bool playing)> finished;
  };

  PlaylistRun(Hooks hooks, QObject* parent);

  // Starts from the playlist's current item; the first item is tried before this returns. A run
  // that is going is replaced.
  void Start(Game::Playlist& playlist);
  // Ends the run without a word (the window quits, or the list is replaced).
  void Cancel();
  bool Active() const { return playlist != nullptr; }

 private:
  void Step();
  void Finish(bool playing);

  Hooks hooks;
  Game::Playlist* playlist = nullptr;
  int failures = 0;
  // Counts started runs, so that a step queued for an earlier run does nothing.
  unsigned generation = 0;
};

}  // namespace Kesh::GUI
