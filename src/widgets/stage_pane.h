// The stage picture: shows the frames the game renders. The owner installs a painter function that
// draws the current frame with DrawCanvas (taking whatever locks the frame needs) and reports
// whether it drew one; otherwise the pane shows the plain panel. The canvas may be rendered at any
// scale of the logical stage: where its size matches the stage rectangle's device pixels it lands
// on them 1:1, else it is scaled smoothly. In full screen the stage is fitted to the pane with its
// aspect kept between black bars, and the cursor hides after a short idle time. GUI thread only.
#pragma once

#include <QWidget>
#include <functional>

class QTimer;

namespace L {

class StagePane : public QWidget {
  Q_OBJECT
 public:
  using FramePainter = std::function<bool(QPainter&)>;
  static constexpr QRgb kPanel = 0xFF313A3A;  // RGB(49, 58, 58)
  static constexpr QRgb kBars = 0xFF000000;
  // The logical stage: what every place, light and style value of the show is measured in.
  static constexpr int kStageWidth = 815;
  static constexpr int kStageHeight = 400;
  static constexpr int kCursorIdleMs = 2000;

  // The render scale the stage wants: 2 on a screen with a device pixel ratio of 1.5 or more, and
  // in full screen when the screen (in device pixels) holds more than the stage at scale 1; else 1.
  static int RenderScaleFor(qreal devicePixelRatio, QSize screenPixels, bool fullScreen);
  // The largest rectangle with the stage's aspect inside an area, centred in it, on whole pixels.
  static QRect FitStage(QSize area);
  // Draws a canvas of any size into target (logical coordinates of the painter's device).
  static void DrawCanvas(QPainter& painter, const QRectF& target, const QImage& canvas);

  explicit StagePane(QWidget* parent = nullptr);
  void SetFramePainter(FramePainter painter);
  // Draws the frame's canvas into the stage rectangle; for the frame painter.
  void DrawCanvas(QPainter& painter, const QImage& canvas) const;

  // Full screen: the owner gives the pane the whole screen; the pane fits the stage into it.
  void SetFullScreen(bool on);
  bool FullScreen() const { return fullScreen; }
  // Where the stage lies in the pane.
  QRect StageRect() const;
  // The render scale for the pane's screen and mode now.
  int WantedRenderScale() const;

 signals:
  void DoubleClicked();
  // The wanted render scale changed (full screen, or the window moved to another screen).
  void RenderScaleWanted(int scale);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private slots:
  void CheckRenderScale();

 private:
  void WakeCursor();

  FramePainter framePainter;
  QTimer* cursorIdle;
  bool fullScreen = false;
  int renderScale = 0;
};

}  // namespace L
