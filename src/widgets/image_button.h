// A button drawn from a skin strip of four faces side by side (normal, hover, pressed, disabled).
// A checkable button shows the pressed face while checked. GUI thread only; owns its pixmap.
#pragma once

#include <QAbstractButton>
#include <QPixmap>
#include <vector>

namespace L {

class ImageButton : public QAbstractButton {
  Q_OBJECT
 public:
  enum Face { kNormal = 0, kHover = 1, kPressed = 2, kDisabled = 3 };

  // strip: a pixmap four faces wide (a "@2x" file is picked up by Qt for dense screens).
  ImageButton(const QPixmap& strip, const QString& tip, QWidget* parent = nullptr);
  Face CurrentFace() const;
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  QPixmap faces;
  bool hovered = false;
};

// A frame image with hot regions given as fractions of its size; a click reports the region's
// index. Shows the disabled image while disabled. GUI thread only.
class RegionFrame : public QWidget {
  Q_OBJECT
 public:
  RegionFrame(const QPixmap& image, const QPixmap& disabledImage, std::vector<QRectF> regions,
              QWidget* parent = nullptr);
  int RegionAt(QPoint point) const;  // -1 outside every region

 signals:
  void RegionClicked(int region);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  // A quick second click (on the same or another region) counts as a click of its own.
  void mouseDoubleClickEvent(QMouseEvent* event) override { mousePressEvent(event); }
  void mouseMoveEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  QPixmap image;
  QPixmap disabledImage;
  std::vector<QRectF> regions;
  int hot = -1;
};

}  // namespace L
