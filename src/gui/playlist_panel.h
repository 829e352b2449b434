// The playlist view and its commands: add, save, play a row, remove, clear, move, drop; and the
// filling of the game's playlist from the files the user opens. Reports what it cannot take as
// notices and asks the window to play the current item. GUI thread only.
#pragma once

#include <QWidget>
#include <string>
#include <vector>

#include "game/listener.h"

namespace L {
class PlayList;
}
namespace Kesh::Game {
class Game;
}

namespace Kesh::GUI {

class GameEvents;

class PlaylistPanel : public QWidget {
  Q_OBJECT
 public:
  // startDirectory: the folder relative names of the dialogs are taken from.
  PlaylistPanel(std::string startDirectory, QWidget* parent);
  void Attach(Game::Game& game, GameEvents& events);
  L::PlayList* View() const { return view; }

  // Replaces the playlist with the songs and projects among paths, or with the items of a single
  // playlist file; what is left out is told as a notice. The first item becomes the current one.
  void Replace(const std::vector<std::string>& paths);
  // Shows the game's playlist and its current item.
  void Refresh();

 signals:
  // The current item was chosen: the window plays it.
  void PlayRequested();
  void FilesDropped(const std::vector<std::string>& paths);
  void Notice(const QString& text);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void AddItems();
  void SavePlaylist();
  void PlayRow(int row);
  void RemoveRow(int row);
  void ClearPlaylist();
  void MoveRow(int row, int delta);
  void RestoreStartDirectory();

  std::string startDirectory;
  Game::Game* game = nullptr;
  L::PlayList* view;
};

}  // namespace Kesh::GUI
