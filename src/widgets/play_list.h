// The playlist list: one row per item, the current one marked, a context menu, dropped files,
// Delete, Enter/Space/double click to play, Ctrl+Up/Down to move. It shows what it is given and
// reports what the user asks for; the window changes the playlist. GUI thread only.
#pragma once

#include <QListWidget>
#include <QStringList>

class QMimeData;

namespace L {

// The local files among dropped data (links to other places are left out).
QStringList LocalFilesOf(const QMimeData* data);

class PlayList : public QListWidget {
  Q_OBJECT
 public:
  static constexpr QRgb kCurrentRow = 0xFF50585A;  // RGB(80, 88, 90)

  explicit PlayList(QWidget* parent = nullptr);

  // Replaces the rows; marks and scrolls to the current row when current >= 0.
  void SetItems(const QStringList& items, int current);
  int CurrentItem() const { return current; }
  // The context menu as the user would get it (built fresh for every right click).
  QMenu* BuildMenu();

 signals:
  void AddRequested();
  void SaveRequested();
  void PlayRequested(int row);
  void RemoveRequested(int row);
  void ClearRequested();
  void MoveRequested(int row, int delta);
  void FilesDropped(const QStringList& paths);

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  int current = -1;
  QMenu* menu = nullptr;
};

}  // namespace L
