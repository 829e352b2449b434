#include "widgets/image_button.h"

#include <QMouseEvent>
#include <QPainter>

namespace L {

ImageButton::ImageButton(const QPixmap& strip, const QString& tip, QWidget* parent)
    : QAbstractButton(parent), faces(strip) {
  setToolTip(tip);
  setFocusPolicy(Qt::NoFocus);
  setAttribute(Qt::WA_Hover);
  resize(sizeHint());
}

QSize ImageButton::sizeHint() const {
  const QSizeF logical = faces.deviceIndependentSize();
  return {qRound(logical.width() / 4), qRound(logical.height())};
}

ImageButton::Face ImageButton::CurrentFace() const {
  if (!isEnabled()) {
    return kDisabled;
  }
  if (isDown() || isChecked()) {
    return kPressed;
  }
  return hovered ? kHover : kNormal;
}

void ImageButton::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  const qreal ratio = faces.devicePixelRatio();
  const qreal faceWidth = faces.width() / 4.0;
  const QRectF source(faceWidth * static_cast<int>(CurrentFace()), 0, faceWidth, faces.height());
  painter.drawPixmap(QRectF(QPointF(0, 0), source.size() / ratio), faces, source);
}

void ImageButton::enterEvent(QEnterEvent* event) {
  hovered = true;
  update();
  QAbstractButton::enterEvent(event);
}

void ImageButton::leaveEvent(QEvent* event) {
  hovered = false;
  update();
  QAbstractButton::leaveEvent(event);
}

RegionFrame::RegionFrame(const QPixmap& image, const QPixmap& disabledImage,
                         std::vector<QRectF> regions, QWidget* parent)
    : QWidget(parent), image(image), disabledImage(disabledImage), regions(std::move(regions)) {
  setMouseTracking(true);
  resize(image.deviceIndependentSize().toSize());
}

int RegionFrame::RegionAt(QPoint point) const {
  const qreal x = static_cast<qreal>(point.x()) / width();
  const qreal y = static_cast<qreal>(point.y()) / height();
  for (std::size_t i = 0; i < regions.size(); ++i) {
    const QRectF& r = regions[i];
    if (x >= r.left() && x < r.right() && y >= r.top() && y < r.bottom()) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

void RegionFrame::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawPixmap(rect(), isEnabled() ? image : disabledImage);
  if (isEnabled() && hot >= 0) {
    const QRectF& r = regions[hot];
    painter.setPen(QPen(QColor(245, 200, 90, 200), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(r.left() * width() + 1.5, r.top() * height() + 1.5,
                                   r.width() * width() - 3, r.height() * height() - 3),
                            3, 3);
  }
}

void RegionFrame::mousePressEvent(QMouseEvent* event) {
  const int region = RegionAt(event->position().toPoint());
  if (region >= 0 && event->button() == Qt::LeftButton) {
    emit RegionClicked(region);
  }
}

void RegionFrame::mouseMoveEvent(QMouseEvent* event) {
  const int region = RegionAt(event->position().toPoint());
  if (region != hot) {
    hot = region;
    update();
  }
}

void RegionFrame::leaveEvent(QEvent* /*event*/) {
  hot = -1;
  update();
}

}  // namespace L
