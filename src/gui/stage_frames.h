// Puts the game's frames on the stage pane: at each new frame the read-outs are drawn onto the
// canvas and the canvas is painted, inside the load mutex (tried, never waited for) and the frame
// lock, in that order. With TAVRO_PAINT_STATS set, the frames painted and their paint time are
// logged once a second. GUI thread only.
#pragma once

#include <QObject>
#include <cstdint>
#include <memory>

class QPainter;

namespace L {
class StagePane;
}
namespace Kesh::Game {
class Game;
}
namespace Vell::QText {
class TextPainter;
}

namespace Kesh::GUI {

class StageFrames {
 public:
  explicit StageFrames(L::StagePane* pane);
  ~StageFrames();
  StageFrames(const StageFrames&) = delete;
  StageFrames& operator=(const StageFrames&) = delete;

  void Attach(Game::Game& game) { this->game = &game; }
  // A paint request of the game (its marker: a new frame, or the paused frame again).
  void OnPaint(uintptr_t marker);

 private:
  struct PaintStats;
  bool Paint(QPainter& painter);
  void DrawReadouts();

  L::StagePane* pane;
  Game::Game* game = nullptr;
  std::unique_ptr<PaintStats> paintStats;
  std::unique_ptr<Vell::QText::TextPainter> textPainter;
  bool drawn = false;
  uintptr_t marker = 0;
};

}  // namespace Kesh::GUI
