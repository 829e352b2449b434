// The tool bar above the stage with its keys: open (reported, the window opens the files), save
// the show as a project (enabled while a song runs), settings and help. GUI thread only.
#pragma once

#include <QWidget>
#include <map>
#include <string>

#include "game/commands.h"
#include "game/listener.h"

namespace L {
class ImageButton;
}
namespace Kesh::Audio {
class IPlayer;
}
namespace Kesh::Game {
class Game;
}

namespace Kesh::GUI {

class GameEvents;
class QtMessageBox;
class WaitDlg;

class ToolBar : public QWidget {
  Q_OBJECT
 public:
  // What the commands work with besides the game; all outlive the tool bar.
  struct Services {
    Audio::IPlayer* module = nullptr;  // null: no player module
    QtMessageBox* messages = nullptr;
    WaitDlg* wait = nullptr;
    std::string startDirectory;  // the folder relative names are taken from
  };

  ToolBar(Services services, QWidget* parent);
  // Follows the game's changes from now on.
  void Attach(Game::Game& game, GameEvents& events);
  L::ImageButton* Button(Game::ToolCommand id) const;

  // Asks for a project file and saves the running show into it, pausing it meanwhile.
  void SaveProject();
  void Settings();
  // Opens the HTML manual of the program's help folder.
  void Help();

 signals:
  void OpenClicked();
  void Notice(const QString& text);

 private:
  void Refresh(Game::Change what);

  Services services;
  Game::Game* game = nullptr;
  std::map<Game::ToolCommand, L::ImageButton*> buttons;
};

}  // namespace Kesh::GUI
