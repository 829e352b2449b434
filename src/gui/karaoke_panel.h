// The karaoke view: the lyric page of the running song, laid out as the renderer lays out its
// karaoke band, rebuilt at each frame's paint request while the view is shown. GUI thread only;
// owns its pane and the text painter that draws it.
#pragma once

#include <QWidget>
#include <cstdint>
#include <memory>

namespace L {
class LyricPane;
}
namespace Kesh::Game {
class Game;
}
namespace Vell::QText {
class TextPainter;
}

namespace Kesh::GUI {

class KaraokePanel : public QWidget {
  Q_OBJECT
 public:
  explicit KaraokePanel(QWidget* parent);
  ~KaraokePanel() override;
  void Attach(Game::Game& game) { this->game = &game; }
  L::LyricPane* Pane() const { return pane; }
  // A frame's paint request (marker as the game sends it): the lines of the player's lyric page,
  // unless a load is going on or the song's karaoke is off.
  void OnPaint(uintptr_t marker);
  // No song: no lines.
  void Clear();

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  Game::Game* game = nullptr;
  std::unique_ptr<Vell::QText::TextPainter> textPainter;
  L::LyricPane* pane;
};

}  // namespace Kesh::GUI
