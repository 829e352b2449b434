#include "widgets/lyric_pane.h"

#include <QImage>
#include <QPainter>

namespace L {

LyricPane::LyricPane(Vell::Gfx::ITextPainter* text, QWidget* parent) : QWidget(parent), text(text) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void LyricPane::SetLines(std::vector<Vell::Gfx::LyricLine> lines) {
  shown = std::move(lines);
  update();
}

void LyricPane::paintEvent(QPaintEvent* /*event*/) {
  if (width() <= 0 || height() <= 0) {
    return;
  }
  if (band.Width() != width() || band.Height() != height()) {
    band.Resize(width(), height());
  }
  if (text != nullptr) {
    Vell::Gfx::DrawLyricLines(*text, band, shown);
  } else {
    band.Fill(Vell::Gfx::Karaoke::kBackground);
  }
  QPainter painter(this);
  painter.drawImage(0, 0,
                    QImage(reinterpret_cast<const uchar*>(band.Pixels()), band.Width(),
                           band.Height(), QImage::Format_ARGB32));
}

}  // namespace L
