#include "gui/game_events.h"

#include <QThread>

#include "game/game.h"

namespace Kesh::GUI {

GameEvents::GameEvents(Game::Game& game, QObject* parent)
    : QObject(parent), subscription(game.Subscribe(this)) {}

GameEvents::~GameEvents() {
  // Ends before the QObject goes: an announcement under way on the frame thread is waited for.
  subscription.reset();
}

void GameEvents::OnGameChanged(Game::Change what) {
  if (QThread::currentThread() == thread()) {
    emit Changed(what);
    return;
  }
  // Dropped by Qt if this object is gone before the GUI thread gets to it.
  QMetaObject::invokeMethod(
      this,
      [this, what] {
        if (!subscription->Ended()) {
          emit Changed(what);
        }
      },
      Qt::QueuedConnection);
}

}  // namespace Kesh::GUI
