#include "widgets/time_bar.h"

#include <QPainter>
#include <algorithm>

namespace L {

TimeBar::TimeBar(QWidget* parent) : QWidget(parent) {
  QImage column(6, 12, QImage::Format_ARGB32);
  for (int y = 0; y < column.height(); ++y) {
    const int shade = 150 + 8 * std::min(y, column.height() - 1 - y);
    for (int x = 0; x < column.width(); ++x) {
      column.setPixel(x, y, qRgb(shade, shade * 3 / 4, 60));
    }
  }
  marker = column;
  setToolTip(tr("Position in the song"));
}

void TimeBar::SetMarker(const QImage& image) {
  marker = image;
  update();
}

int TimeBar::FilledColumns(int markerWidth, long long positionMs, long long lengthMs) {
  if (lengthMs <= 0 || positionMs <= 0) {
    return 0;
  }
  const long long span = std::max(0, 216 - markerWidth);
  return static_cast<int>(std::min(positionMs, lengthMs) * span / lengthMs);
}

void TimeBar::SetProgress(long long positionMs, long long lengthMs) {
  position = positionMs;
  length = lengthMs;
  update();
}

void TimeBar::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.fillRect(rect(), QColor(49, 58, 58));
  const int top = (height() - marker.height()) / 2;
  painter.fillRect(QRect(8, top, 216, marker.height()), QColor(28, 33, 33));
  const int start = 8 + marker.width() / 2;
  const int columns = FilledColumns(marker.width(), position, length);
  // The marker's middle column is stretched over the played part, its halves cap both ends.
  if (columns > 0) {
    const int mid = marker.width() / 2;
    painter.drawImage(QRect(start, top, columns, marker.height()), marker,
                      QRect(mid, 0, 1, marker.height()));
    painter.drawImage(QPoint(start - mid, top), marker, QRect(0, 0, mid, marker.height()));
    painter.drawImage(QPoint(start + columns, top), marker,
                      QRect(mid, 0, marker.width() - mid, marker.height()));
  }
}

}  // namespace L
