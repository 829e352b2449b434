// The karaoke text pane: the shown lines of a lyric page drawn as the renderer draws its karaoke
// band (gfx/text.h: places, size, colours, the sung part), through the text painter it is given.
// GUI thread only; owns a copy of the lines it shows, not the painter.
#pragma once

#include <QWidget>
#include <vector>

#include "gfx/image.h"
#include "gfx/lyric_page.h"
#include "gfx/text.h"

namespace L {

class LyricPane : public QWidget {
  Q_OBJECT
 public:
  // text draws the lines; it must outlive the pane (without one only the background shows).
  explicit LyricPane(Vell::Gfx::ITextPainter* text, QWidget* parent = nullptr);

 public slots:
  void SetLines(std::vector<Vell::Gfx::LyricLine> lines);

 public:
  const std::vector<Vell::Gfx::LyricLine>& Lines() const { return shown; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  Vell::Gfx::ITextPainter* text;
  std::vector<Vell::Gfx::LyricLine> shown;
  Vell::Gfx::Image band;  // the pane's picture, kept between paints
};

}  // namespace L
