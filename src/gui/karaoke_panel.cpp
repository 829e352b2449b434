#include "gui/karaoke_panel.h"

#include <mutex>

#include "app/window.h"
#include "game/game.h"
#include "qtext/text_painter.h"
#include "widgets/lyric_pane.h"

namespace Kesh::GUI {

KaraokePanel::KaraokePanel(QWidget* parent)
    : QWidget(parent),
      textPainter(std::make_unique<Vell::QText::TextPainter>()),
      pane(new L::LyricPane(textPainter.get(), this)) {}

KaraokePanel::~KaraokePanel() {
  // The pane draws with textPainter, a member that goes before the child widgets do.
  delete pane;
}

void KaraokePanel::resizeEvent(QResizeEvent* /*event*/) { pane->setGeometry(rect()); }

void KaraokePanel::OnPaint(uintptr_t marker) {
  if (isHidden() || !App::IsFrameMarker(marker) || game == nullptr) {
    return;
  }
  std::unique_lock<std::timed_mutex> load(game->LoadMutex(), std::try_to_lock);
  if (!load.owns_lock() || !game->GetState().running || !game->GetState().karaoke) {
    return;
  }
  pane->SetLines(game->KaraokeLines());
}

void KaraokePanel::Clear() { pane->SetLines({}); }

}  // namespace Kesh::GUI
