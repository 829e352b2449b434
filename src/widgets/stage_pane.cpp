#include "widgets/stage_pane.h"

#include <QPainter>

namespace L {

StagePane::StagePane(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_OpaquePaintEvent); }

void StagePane::SetFramePainter(FramePainter painter) { framePainter = std::move(painter); }

void StagePane::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  if (!framePainter || !framePainter(painter)) {
    painter.fillRect(rect(), QColor::fromRgba(kPanel));
  }
}

}  // namespace L
