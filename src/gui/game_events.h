// The game's announcements as a Qt signal on the GUI thread: an announcement made on the GUI
// thread is emitted at once, one made on the frame thread is queued to the GUI thread (the frame
// thread never waits for it). Created, connected and destroyed on the GUI thread.
#pragma once

#include <QObject>
#include <memory>

#include "game/listener.h"

namespace Kesh::Game {
class Game;
}

namespace Kesh::GUI {

class GameEvents : public QObject, public Game::IListener {
  Q_OBJECT
 public:
  GameEvents(Game::Game& game, QObject* parent);
  ~GameEvents() override;

  void OnGameChanged(Game::Change what) override;

 signals:
  void Changed(Kesh::Game::Change what);

 private:
  std::unique_ptr<Game::Listeners::Subscription> subscription;
};

}  // namespace Kesh::GUI
