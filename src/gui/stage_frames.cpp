#include "gui/stage_frames.h"

#include <QImage>
#include <QPainter>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <mutex>

#include "app/log.h"
#include "app/window.h"
#include "game/game.h"
#include "gfx/text.h"
#include "qtext/text_painter.h"
#include "widgets/stage_pane.h"

namespace Kesh::GUI {

// What the stage painted over the last second: new frames, and the time each paint took (drawing
// the read-outs and the frame, and putting it on the screen).
struct StageFrames::PaintStats {
  using Clock = std::chrono::steady_clock;
  Clock::time_point since = Clock::now();
  int frames = 0;
  double totalMs = 0;
  double maxMs = 0;

  void Add(double ms) {
    ++frames;
    totalMs += ms;
    maxMs = std::max(maxMs, ms);
    const double seconds = std::chrono::duration<double>(Clock::now() - since).count();
    if (seconds >= 1.0) {
      Log("Paint: %.2f frames/s, stage paint %.3f ms mean, %.3f ms max", frames / seconds,
          totalMs / frames, maxMs);
      *this = PaintStats();
    }
  }
};

StageFrames::StageFrames(L::StagePane* shown)
    : pane(shown), textPainter(std::make_unique<Vell::QText::TextPainter>()) {
  if (std::getenv("TAVRO_PAINT_STATS") != nullptr) {
    paintStats = std::make_unique<PaintStats>();
  }
  pane->SetFramePainter([this](QPainter& painter) { return Paint(painter); });
}

StageFrames::~StageFrames() { pane->SetFramePainter(nullptr); }

void StageFrames::OnPaint(uintptr_t given) {
  marker = given;
  drawn = false;
  const auto start = PaintStats::Clock::now();
  pane->repaint();
  if (paintStats && drawn && given == App::kNewFrameMarker) {
    paintStats->Add(
        std::chrono::duration<double, std::milli>(PaintStats::Clock::now() - start).count());
  }
  marker = 0;
}

bool StageFrames::Paint(QPainter& painter) {
  if (game == nullptr) {
    return false;
  }
  std::unique_lock<std::timed_mutex> load(game->LoadMutex(), std::try_to_lock);
  if (!load.owns_lock() || !game->GetState().running) {
    return !load.owns_lock();  // a load is going on: skip the frame, keep what is shown
  }
  const std::lock_guard<std::recursive_mutex> frame(game->FrameLock());
  if (marker == App::kNewFrameMarker) {
    DrawReadouts();
  }
  const Vell::Gfx::Canvas& canvas = game->GetCanvas();
  // The stage is opaque: as RGB32 it is copied to the screen as it is, where ARGB32 was converted
  // (premultiplied) on every frame.
  const QImage image(reinterpret_cast<const uchar*>(canvas.Pixels()), canvas.Width(),
                     canvas.Height(), QImage::Format_RGB32);
  pane->DrawCanvas(painter, image);
  drawn = true;
  return true;
}

void StageFrames::DrawReadouts() {
  // The renderer's read-outs, drawn the same way onto the frame before it is shown.
  const Game::Game::Readouts shown = game->CurrentReadouts();
  if (shown.timeMs < 0 && shown.counter < 0) {
    return;
  }
  Vell::Gfx::Canvas& canvas = game->GetCanvas();
  Vell::Gfx::DrawReadouts(*textPainter, canvas.Bitmap(), shown.timeMs, shown.counter,
                          canvas.Scale());
  canvas.Bitmap().Changed();
}

}  // namespace Kesh::GUI
