#include "widgets/knob.h"

#include <QMouseEvent>
#include <QPainter>
#include <QtMath>

namespace L {

Knob::Knob(QWidget* parent) : QAbstractSlider(parent) {
  setRange(-64, 64);
  setSingleStep(1);
  setPageStep(8);
  setFocusPolicy(Qt::WheelFocus);
}

void Knob::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const qreal side = qMin(width(), height()) - 2;
  const QRectF face((width() - side) / 2, (height() - side) / 2, side, side);
  QRadialGradient shade(face.center() - QPointF(side / 5, side / 5), side);
  shade.setColorAt(0, isEnabled() ? QColor(150, 162, 162) : QColor(96, 100, 100));
  shade.setColorAt(1, QColor(40, 46, 46));
  painter.setPen(QPen(QColor(20, 24, 24), 1));
  painter.setBrush(shade);
  painter.drawEllipse(face);
  // The pointer sweeps 270 degrees, from lower left (minimum) to lower right (maximum).
  const int span = maximum() - minimum();
  const qreal share = span > 0 ? static_cast<qreal>(value() - minimum()) / span : 0.5;
  const qreal angle = qDegreesToRadians(225.0 - 270.0 * share);
  const QPointF tip = face.center() + QPointF(qCos(angle), -qSin(angle)) * (side / 2 - 3);
  painter.setPen(QPen(QColor(245, 200, 90), 2, Qt::SolidLine, Qt::RoundCap));
  painter.drawLine(face.center(), tip);
}

void Knob::mousePressEvent(QMouseEvent* event) {
  dragStartY = static_cast<int>(event->position().y());
  dragStartValue = value();
  setSliderDown(true);
}

void Knob::mouseMoveEvent(QMouseEvent* event) {
  // One unit per pixel of vertical travel: up turns right.
  setValue(dragStartValue + dragStartY - static_cast<int>(event->position().y()));
  triggerAction(SliderMove);
}

void Knob::mouseDoubleClickEvent(QMouseEvent* /*event*/) { setValue((minimum() + maximum()) / 2); }

}  // namespace L
