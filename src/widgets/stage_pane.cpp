#include "widgets/stage_pane.h"

#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <algorithm>

namespace L {

int StagePane::RenderScaleFor(qreal devicePixelRatio, QSize screenPixels, bool fullScreen) {
  constexpr qreal kHighDensity = 1.5;
  if (devicePixelRatio >= kHighDensity) {
    return 2;
  }
  const bool biggerThanStage = std::min(screenPixels.width() / qreal(kStageWidth),
                                        screenPixels.height() / qreal(kStageHeight)) > 1;
  return fullScreen && biggerThanStage ? 2 : 1;
}

QRect StagePane::FitStage(QSize area) {
  const qreal scale =
      std::min(area.width() / qreal(kStageWidth), area.height() / qreal(kStageHeight));
  const QSize size(std::min(area.width(), qRound(kStageWidth * scale)),
                   std::min(area.height(), qRound(kStageHeight * scale)));
  return {QPoint((area.width() - size.width()) / 2, (area.height() - size.height()) / 2), size};
}

void StagePane::DrawCanvas(QPainter& painter, const QRectF& target, const QImage& canvas) {
  // A canvas of exactly the target's device pixels is copied as it is (the raster engine blits a
  // 2x image on a 2x device without filtering); any other size is filtered, not sampled.
  painter.save();
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(target, canvas, QRectF(canvas.rect()));
  painter.restore();
}

StagePane::StagePane(QWidget* parent) : QWidget(parent), cursorIdle(new QTimer(this)) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  cursorIdle->setSingleShot(true);
  cursorIdle->setInterval(kCursorIdleMs);
  connect(cursorIdle, &QTimer::timeout, this, [this] {
    if (fullScreen) {
      setCursor(Qt::BlankCursor);
    }
  });
}

void StagePane::SetFramePainter(FramePainter painter) { framePainter = std::move(painter); }

void StagePane::DrawCanvas(QPainter& painter, const QImage& canvas) const {
  DrawCanvas(painter, StageRect(), canvas);
}

QRect StagePane::StageRect() const { return fullScreen ? FitStage(size()) : rect(); }

void StagePane::SetFullScreen(bool on) {
  if (on == fullScreen) {
    return;
  }
  fullScreen = on;
  setMouseTracking(on);
  if (on) {
    WakeCursor();
  } else {
    cursorIdle->stop();
    unsetCursor();
  }
  CheckRenderScale();
  update();
}

int StagePane::WantedRenderScale() const {
  const QScreen* shown = screen();
  const qreal ratio = devicePixelRatioF();
  const QSize pixels = shown == nullptr ? QSize() : shown->geometry().size() * ratio;
  return RenderScaleFor(ratio, pixels, fullScreen);
}

void StagePane::CheckRenderScale() {
  const int wanted = WantedRenderScale();
  if (wanted != renderScale) {
    renderScale = wanted;
    emit RenderScaleWanted(wanted);
  }
}

void StagePane::WakeCursor() {
  unsetCursor();
  cursorIdle->start();
}

void StagePane::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  const QRect stage = StageRect();
  if (fullScreen) {
    // The bars around the stage; the stage itself keeps what it showed when a frame is skipped.
    for (const QRect& bar : QRegion(rect()).subtracted(stage)) {
      painter.fillRect(bar, QColor::fromRgba(kBars));
    }
  }
  if (!framePainter || !framePainter(painter)) {
    painter.fillRect(stage, QColor::fromRgba(kPanel));
  }
}

void StagePane::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    emit DoubleClicked();
  }
}

void StagePane::mouseMoveEvent(QMouseEvent* event) {
  if (fullScreen) {
    WakeCursor();
  }
  QWidget::mouseMoveEvent(event);
}

void StagePane::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // The window's screen decides the density; follow it when the window moves.
  if (QWindow* shown = window()->windowHandle()) {
    connect(shown, &QWindow::screenChanged, this, &StagePane::CheckRenderScale,
            Qt::UniqueConnection);
  }
  CheckRenderScale();
}

}  // namespace L
