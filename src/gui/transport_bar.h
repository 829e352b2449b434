// The transport under the stage with its keys (listed in the manual's transport section): previous,
// play, stop, pause, next, loop, record, the three lower views and the about logo. Play, pause,
// loop and record are the game's commands and the logo shows the about box; the others are
// reported as Clicked for the window to route. Shows the game's transport state. GUI thread only.
#pragma once

#include <QWidget>
#include <map>

#include "game/commands.h"
#include "game/listener.h"

namespace L {
class ImageButton;
}
namespace Kesh::Game {
class Game;
}

namespace Kesh::GUI {

class GameEvents;

class TransportBar : public QWidget {
  Q_OBJECT
 public:
  explicit TransportBar(QWidget* parent);
  void Attach(Game::Game& game, GameEvents& events);
  L::ImageButton* Button(Game::TransportCommand id) const;
  // Checks the button of the lower view shown (kMixerView, kPlaylistView or kKaraokeView).
  void SetView(Game::TransportCommand view);

 signals:
  void Clicked(Kesh::Game::TransportCommand id);

 private:
  void Refresh(Game::Change what);
  void AddKeys();
  void Command(Game::TransportCommand id);

  Game::Game* game = nullptr;
  std::map<Game::TransportCommand, L::ImageButton*> buttons;
};

}  // namespace Kesh::GUI
