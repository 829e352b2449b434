#include "gui/playlist_run.h"

#include <QTimer>

#include "game/playlist.h"
#include "gui/local_files.h"

namespace Kesh::GUI {

PlaylistRun::PlaylistRun(Hooks hooks, QObject* parent) : QObject(parent), hooks(std::move(hooks)) {}

void PlaylistRun::Start(Game::Playlist& list) {
  ++generation;
  playlist = &list;
  failures = 0;
  Step();
}

void PlaylistRun::Cancel() {
  ++generation;
  playlist = nullptr;
}

void PlaylistRun::Step() {
  if (playlist == nullptr) {
    return;
  }
  const Vell::Object* item = playlist->CurrentItem();
  if (item == nullptr) {
    Finish(false);
    return;
  }
  const std::string path = item->GetName();
  std::string why;
  if (hooks.open(path, &why)) {
    Finish(true);
    return;
  }
  ++failures;
  const QString name = ShownName(path);
  const QString reason = QString::fromStdString(why);
  if (failures >= kMaxFailuresInARow) {
    hooks.notice(
        tr("Stopped the playlist: %1 items in a row could not be opened (the last, %2: %3)")
            .arg(failures)
            .arg(name, reason));
    Finish(false);
    return;
  }
  hooks.notice(tr("Could not open %1: %2").arg(name, reason));
  if (!playlist->Next()) {
    Finish(false);
    return;
  }
  // The next item on the next turn of the event loop: paints, clicks and a quit come first.
  QTimer::singleShot(0, this, [this, run = generation] {
    if (run == generation) {
      Step();
    }
  });
}

void PlaylistRun::Finish(bool playing) {
  playlist = nullptr;
  ++generation;
  if (hooks.finished) {
    hooks.finished(playing);
  }
}

}  // namespace Kesh::GUI
