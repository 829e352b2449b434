// The mixer: a strip for each of the sixteen channels (artists shown, sound on, pan, level, the
// instrument's name) and the crowd's master strip (on, balance, level). Every move is a command of
// the game; the strips show the game's state as it announces it. GUI thread only.
#pragma once

#include <QWidget>
#include <vector>

#include "game/listener.h"

namespace L {
class MixerStrip;
}
namespace Kesh::Game {
class Game;
}

namespace Kesh::GUI {

class GameEvents;

class MixerPanel : public QWidget {
  Q_OBJECT
 public:
  // The level slider's top (full volume).
  static constexpr int kLevelMax = 120;

  explicit MixerPanel(QWidget* parent);
  void Attach(Game::Game& game, GameEvents& events);
  // The channels' strips 0-15, then the master strip.
  L::MixerStrip* Strip(int index) const { return strips[static_cast<size_t>(index)]; }

 private:
  void Refresh(Game::Change what);
  void SetCrowdVolume();

  Game::Game* game = nullptr;
  std::vector<L::MixerStrip*> strips;
  // The master strip's level and balance, as the crowd's gains.
  float crowdLevel = 1.0F;
  float leftGain = 1.0F;
  float rightGain = 1.0F;
};

}  // namespace Kesh::GUI
