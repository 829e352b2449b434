// The karaoke text pane: the shown lines of a lyric page, centred, the sung part in the karaoke
// colour. GUI thread only; owns a copy of the lines it shows.
#pragma once

#include <QFont>
#include <QWidget>
#include <vector>

#include "gfx/lyric_page.h"

namespace L {

class LyricPane : public QWidget {
  Q_OBJECT
 public:
  static constexpr QRgb kBackground = 0xFF232B2D;
  static constexpr QRgb kSung = 0xFFF59B9B;    // RGB(245, 155, 155)
  static constexpr QRgb kUnsung = 0xFFF5F5F5;  // RGB(245, 245, 245)

  explicit LyricPane(QWidget* parent = nullptr);

  // Draws the lines into any painter (the pane's own paint and the renderer's band use it).
  static void Draw(QPainter& painter, const QFont& font, int width,
                   const std::vector<Vell::Gfx::LyricLine>& lines);
  static QFont KaraokeFont();

 public slots:
  void SetLines(std::vector<Vell::Gfx::LyricLine> lines);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::vector<Vell::Gfx::LyricLine> shown;
  QFont font;
};

}  // namespace L
