#include "widgets/play_list.h"

#include <QContextMenuEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>

namespace L {

PlayList::PlayList(QWidget* parent) : QListWidget(parent) {
  setAcceptDrops(true);
  setDragDropMode(QAbstractItemView::DropOnly);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setToolTip(tr("Playlist: right click for the menu, drop files here"));
  connect(this, &QListWidget::itemActivated, this,
          [this](QListWidgetItem* item) { emit PlayRequested(row(item)); });
}

void PlayList::SetItems(const QStringList& items, int currentRow) {
  clear();
  for (const QString& path : items) {
    auto* item = new QListWidgetItem(QFileInfo(path).fileName(), this);
    item->setToolTip(path);
  }
  current = currentRow >= 0 && currentRow < count() ? currentRow : -1;
  if (current >= 0) {
    item(current)->setBackground(QColor::fromRgba(kCurrentRow));
    scrollToItem(item(current));
  }
}

QMenu* PlayList::BuildMenu() {
  delete menu;  // one menu at a time
  menu = new QMenu(this);
  const int row = currentRow();
  menu->addAction(tr("Add item(s)..."), this, &PlayList::AddRequested);
  menu->addAction(tr("Save playlist..."), this, &PlayList::SaveRequested);
  menu->addSeparator();
  QAction* play =
      menu->addAction(tr("Play item\tSpace"), this, [this, row] { emit PlayRequested(row); });
  QAction* remove =
      menu->addAction(tr("Remove item\tDelete"), this, [this, row] { emit RemoveRequested(row); });
  menu->addAction(tr("Remove all"), this, &PlayList::ClearRequested);
  play->setEnabled(row >= 0);
  remove->setEnabled(row >= 0);
  return menu;
}

void PlayList::contextMenuEvent(QContextMenuEvent* event) {
  BuildMenu()->popup(event->globalPos());
}

void PlayList::keyPressEvent(QKeyEvent* event) {
  const int row = currentRow();
  const bool ctrl = (event->modifiers() & Qt::ControlModifier) != 0;
  if (event->key() == Qt::Key_Delete && row >= 0) {
    emit RemoveRequested(row);
  } else if ((event->key() == Qt::Key_Space || event->key() == Qt::Key_Return ||
              event->key() == Qt::Key_Enter) &&
             row >= 0) {
    emit PlayRequested(row);
  } else if (ctrl && (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down) && row >= 0) {
    emit MoveRequested(row, event->key() == Qt::Key_Up ? -1 : 1);
  } else {
    QListWidget::keyPressEvent(event);
  }
}

QStringList LocalFilesOf(const QMimeData* data) {
  QStringList paths;
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile()) {
      paths << url.toLocalFile();
    }
  }
  return paths;
}

void PlayList::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) {
    event->acceptProposedAction();
  }
}

void PlayList::dragMoveEvent(QDragMoveEvent* event) {
  if (event->mimeData()->hasUrls()) {
    event->acceptProposedAction();
  }
}

void PlayList::dropEvent(QDropEvent* event) {
  const QStringList paths = L::LocalFilesOf(event->mimeData());
  if (!paths.isEmpty()) {
    event->acceptProposedAction();
    emit FilesDropped(paths);
  }
}

}  // namespace L
