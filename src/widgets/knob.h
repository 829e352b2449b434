// A round knob: a slider drawn as a dial with a pointer, turned by dragging up and down or by
// the wheel; double click returns it to the middle of its range. GUI thread only.
#pragma once

#include <QAbstractSlider>

namespace L {

class Knob : public QAbstractSlider {
  Q_OBJECT
 public:
  explicit Knob(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  int dragStartY = 0;
  int dragStartValue = 0;
};

}  // namespace L
