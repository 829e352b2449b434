// The karaoke text pane: the shown lines of a lyric page, centred, the sung part in the karaoke
// colour; places, size and colours are the renderer's karaoke band's (gfx/text.h). GUI thread only;
// owns a copy of the lines it shows.
#pragma once

#include <QFont>
#include <QWidget>
#include <vector>

#include "gfx/lyric_page.h"
#include "gfx/text.h"

namespace L {

class LyricPane : public QWidget {
  Q_OBJECT
 public:
  explicit LyricPane(QWidget* parent = nullptr);

  // The karaoke font: "Arial" of the karaoke size in pixels.
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
