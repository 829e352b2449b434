// The stage controls under the stage: the display switches, the automation switches with the fades,
// lights and crowd they govern, the style picker, the transposition and the reset. Every control is
// a command of the game; the controls show the game's state as it announces it (a replayed toggle
// included). GUI thread only.
#pragma once

#include <QWidget>
#include <map>

#include "game/commands.h"
#include "game/listener.h"

class QComboBox;
class QLabel;

namespace L {
class ImageButton;
class RegionFrame;
}  // namespace L
namespace Kesh::Game {
class Game;
}

namespace Kesh::GUI {

class GameEvents;

class StageControls : public QWidget {
  Q_OBJECT
 public:
  explicit StageControls(QWidget* parent);
  // Fills the style picker and follows the game's changes from now on.
  void Attach(Game::Game& game, GameEvents& events);

  L::ImageButton* Button(Game::StageCommand id) const;
  L::RegionFrame* LightFrame() const { return lightFrame; }
  L::RegionFrame* CrowdFrame() const { return crowdFrame; }
  QLabel* TransposeLabel() const { return transposeLabel; }
  QComboBox* StylePicker() const { return stylePicker; }

 private:
  void Refresh(Game::Change what);

  Game::Game* game = nullptr;
  std::map<Game::StageCommand, L::ImageButton*> buttons;
  L::RegionFrame* lightFrame;
  L::RegionFrame* crowdFrame;
  QLabel* transposeLabel;
  QComboBox* stylePicker;
};

}  // namespace Kesh::GUI
