// The playlist list: one row per item, the current one marked, a context menu, dropped files,
// Delete, Enter/Space/double click to play, Ctrl+Up/Down to move. It shows what it is given and
// reports what the user asks for; the window changes the playlist. GUI thread only.
#pragma once

#include <QByteArrayList>
#include <QListWidget>
#include <string>
#include <vector>

class QMimeData;

namespace L {

// The local files among dropped data, as the bytes of their names (which need not be UTF-8);
// links to other places are left out.
QByteArrayList LocalFilesOf(const QMimeData* data);

class PlayList : public QListWidget {
  Q_OBJECT
 public:
  static constexpr QRgb kCurrentRow = 0xFF50585A;      // RGB(80, 88, 90)
  static constexpr QRgb kCurrentRowText = 0xFFF5F5F5;  // 7.3:1 on kCurrentRow

  explicit PlayList(QWidget* parent = nullptr);

  // Replaces the rows with the items' file names (paths as bytes); marks and scrolls to the
  // current row when current >= 0. One pass over the items: a playlist may hold 100,000.
  void SetItems(std::vector<std::string> items, int current);
  // The path of a row ("" outside the rows); shown as the row's tool tip.
  std::string PathOf(int row) const;
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
  void FilesDropped(const QByteArrayList& paths);

 protected:
  bool event(QEvent* event) override;
  bool viewportEvent(QEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  std::vector<std::string> paths;
  int current = -1;
  QMenu* menu = nullptr;
};

}  // namespace L
