// The stage picture: shows the frames the game renders. The owner installs a painter function that
// draws the current frame (taking whatever locks the frame needs) and reports whether it drew one;
// otherwise the pane shows the plain panel. GUI thread only.
#pragma once

#include <QWidget>
#include <functional>

namespace L {

class StagePane : public QWidget {
  Q_OBJECT
 public:
  using FramePainter = std::function<bool(QPainter&)>;
  static constexpr QRgb kPanel = 0xFF313A3A;  // RGB(49, 58, 58)

  explicit StagePane(QWidget* parent = nullptr);
  void SetFramePainter(FramePainter painter);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  FramePainter framePainter;
};

}  // namespace L
