#include "widgets/play_list.h"

#include <QContextMenuEvent>
#include <QFile>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QToolTip>
#include <QUrl>

namespace L {

PlayList::PlayList(QWidget* parent) : QListWidget(parent) {
  setAcceptDrops(true);
  setDragDropMode(QAbstractItemView::DropOnly);
  setSelectionMode(QAbstractItemView::SingleSelection);
  // Every row is one line of text: the view then lays out 100,000 rows without measuring each.
  setUniformItemSizes(true);
  setToolTip(tr("Playlist: right click for the menu, drop files here"));
  connect(this, &QListWidget::itemActivated, this,
          [this](QListWidgetItem* item) { emit PlayRequested(row(item)); });
}

void PlayList::SetItems(std::vector<std::string> items, int currentRow) {
  clear();
  paths = std::move(items);
  QStringList names;
  names.reserve(static_cast<qsizetype>(paths.size()));
  for (const std::string& path : paths) {
    const size_t slash = path.rfind('/');
    names << QFile::decodeName(
        QByteArray::fromStdString(slash == std::string::npos ? path : path.substr(slash + 1)));
  }
  addItems(names);  // one insertion for all rows
  current = currentRow >= 0 && currentRow < count() ? currentRow : -1;
  if (current >= 0) {
    item(current)->setBackground(QColor::fromRgba(kCurrentRow));
    item(current)->setForeground(QColor::fromRgba(kCurrentRowText));
    scrollToItem(item(current));
  }
}

std::string PlayList::PathOf(int row) const {
  return row >= 0 && static_cast<size_t>(row) < paths.size() ? paths[static_cast<size_t>(row)]
                                                             : std::string();
}

bool PlayList::event(QEvent* event) {
  if (event->type() == QEvent::ShortcutOverride) {
    // Space plays the selected row here, not the window's play/pause.
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Space && key->modifiers() == Qt::NoModifier) {
      event->accept();
      return true;
    }
  }
  return QListWidget::event(event);
}

bool PlayList::viewportEvent(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    // The full path of the row under the pointer, asked for only when shown.
    const auto* help = static_cast<QHelpEvent*>(event);
    const int row = indexAt(help->pos()).row();
    if (row >= 0) {
      QToolTip::showText(help->globalPos(),
                         QFile::decodeName(QByteArray::fromStdString(PathOf(row))), viewport());
      return true;
    }
  }
  return QListWidget::viewportEvent(event);
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

QByteArrayList LocalFilesOf(const QMimeData* data) {
  QByteArrayList paths;
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile()) {
      // The percent-encoded path holds the name's bytes; toLocalFile would decode them as UTF-8
      // and replace what is not.
      paths << QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
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
  const QByteArrayList paths = L::LocalFilesOf(event->mimeData());
  if (!paths.isEmpty()) {
    event->acceptProposedAction();
    emit FilesDropped(paths);
  }
}

}  // namespace L
