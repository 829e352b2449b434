#include "gui/playlist_panel.h"

#include <QDir>
#include <QStringList>

#include "game/game.h"
#include "gui/file_dialogs.h"
#include "gui/game_events.h"
#include "gui/local_files.h"
#include "widgets/play_list.h"

namespace Kesh::GUI {

PlaylistPanel::PlaylistPanel(std::string start, QWidget* parent)
    : QWidget(parent), startDirectory(std::move(start)), view(new L::PlayList(this)) {
  connect(view, &L::PlayList::AddRequested, this, &PlaylistPanel::AddItems);
  connect(view, &L::PlayList::SaveRequested, this, &PlaylistPanel::SavePlaylist);
  connect(view, &L::PlayList::PlayRequested, this, &PlaylistPanel::PlayRow);
  connect(view, &L::PlayList::RemoveRequested, this, &PlaylistPanel::RemoveRow);
  connect(view, &L::PlayList::ClearRequested, this, &PlaylistPanel::ClearPlaylist);
  connect(view, &L::PlayList::MoveRequested, this, &PlaylistPanel::MoveRow);
  connect(view, &L::PlayList::FilesDropped, this,
          [this](const QByteArrayList& paths) { emit FilesDropped(LocalPathsOf(paths)); });
}

void PlaylistPanel::Attach(Game::Game& attached, GameEvents& events) {
  game = &attached;
  connect(&events, &GameEvents::Changed, this, [this](Game::Change what) {
    if (what == Game::Change::kSong) {
      Refresh();
    }
  });
  Refresh();
}

void PlaylistPanel::resizeEvent(QResizeEvent* /*event*/) { view->setGeometry(rect()); }

void PlaylistPanel::RestoreStartDirectory() {
  if (!startDirectory.empty()) {
    QDir::setCurrent(QString::fromStdString(startDirectory));
  }
}

void PlaylistPanel::Replace(const std::vector<std::string>& paths) {
  RestoreStartDirectory();
  auto& playlist = game->GetPlaylist();
  playlist.Clear();
  QStringList refused;
  for (const std::string& path : paths) {
    const std::string file = AbsolutePath(path);
    std::string why;
    switch (Game::Playlist::Classify(file)) {
      case Game::Playlist::kSong:
      case Game::Playlist::kProject:
        if (IsReadableFile(file, &why)) {
          playlist.AddPath(file);
        } else {
          refused << ShownName(file) + QStringLiteral(" (") + QString::fromStdString(why) +
                         QStringLiteral(")");
        }
        break;
      case Game::Playlist::kPlaylist:
        if (paths.size() == 1) {
          Game::Playlist read;
          if (!read.LoadFile(file, &why)) {
            emit Notice(QString::fromStdString(why));
            break;
          }
          // Relative items are relative to the playlist's own folder.
          const std::string folder = file.substr(0, file.rfind('/'));
          for (const std::string& item : read.Paths()) {
            playlist.AddPath(Game::Playlist::ResolveItem(folder, item));
          }
          if (read.SkippedLines() > 0) {
            emit Notice(tr("%1 lines of %2 were left out: longer than %3 bytes or not a file name")
                            .arg(read.SkippedLines())
                            .arg(ShownName(file))
                            .arg(Game::Playlist::kMaxLineBytes));
          }
        }
        break;
      default:
        refused << ShownName(file);
        break;
    }
  }
  if (!refused.isEmpty()) {
    emit Notice(tr("Not a song, project or playlist: %1").arg(refused.join(QStringLiteral(", "))));
  }
  playlist.Next();
  Refresh();
}

void PlaylistPanel::Refresh() {
  if (game != nullptr) {
    view->SetItems(game->GetPlaylist().Paths(), game->GetPlaylist().GetCurrent());
  }
}

void PlaylistPanel::AddItems() {
  if (game == nullptr) {
    return;
  }
  const std::vector<std::string> files =
      FileDialogs::OpenFiles(this, tr("Append File(s)..."), FileDialogs::AddFilters());
  RestoreStartDirectory();
  for (const std::string& file : files) {
    const int kind = Game::Playlist::Classify(file);
    if (kind == Game::Playlist::kSong || kind == Game::Playlist::kProject) {
      game->GetPlaylist().AddPath(AbsolutePath(file));
    }
  }
  Refresh();
}

void PlaylistPanel::SavePlaylist() {
  if (game == nullptr) {
    return;
  }
  const std::string path = FileDialogs::SaveFile(
      this, tr("Save Playlist..."), FileDialogs::kPlaylistFilter, QStringLiteral("m3u"));
  if (path.empty()) {
    return;
  }
  RestoreStartDirectory();
  std::string why;
  if (!game->GetPlaylist().SaveFile(path, &why)) {
    game->ShowMessage("The playlist could not be saved: " + why, App::IMessageBox::Icon::kWarning);
  }
}

void PlaylistPanel::PlayRow(int row) {
  if (game != nullptr && row >= 0 && row != game->GetPlaylist().GetCurrent()) {
    game->GetPlaylist().SetCurrent(row);
    emit PlayRequested();
  }
}

void PlaylistPanel::RemoveRow(int row) {
  if (game != nullptr && row >= 0) {
    delete game->GetPlaylist().RemoveAt(row);
    Refresh();
  }
}

void PlaylistPanel::ClearPlaylist() {
  if (game != nullptr) {
    game->GetPlaylist().Clear();
    Refresh();
  }
}

void PlaylistPanel::MoveRow(int row, int delta) {
  if (game != nullptr && game->GetPlaylist().Swap(row, row + delta) && row + delta >= 0 &&
      row + delta < game->GetPlaylist().Count()) {
    Refresh();
    view->setCurrentRow(row + delta);
  }
}

}  // namespace Kesh::GUI
