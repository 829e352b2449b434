#include "widgets/lyric_pane.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>

namespace L {

LyricPane::LyricPane(QWidget* parent) : QWidget(parent), font(KaraokeFont()) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

QFont LyricPane::KaraokeFont() {
  QFont f(QStringLiteral("Arial"));
  f.setPixelSize(Vell::Gfx::Karaoke::kFontPixels);
  f.setWeight(QFont::Normal);
  f.setStyleStrategy(QFont::PreferAntialias);
  return f;
}

void LyricPane::SetLines(std::vector<Vell::Gfx::LyricLine> lines) {
  shown = std::move(lines);
  update();
}

void LyricPane::paintEvent(QPaintEvent* /*event*/) {
  using Vell::Gfx::Karaoke::kBackground;
  using Vell::Gfx::Karaoke::kSung;
  using Vell::Gfx::Karaoke::kUnsung;
  QPainter painter(this);
  painter.fillRect(rect(), QColor::fromRgba(kBackground));
  painter.setFont(font);
  painter.setRenderHint(QPainter::TextAntialiasing);
  const QFontMetrics metrics(font);
  int top = Vell::Gfx::Karaoke::kFirstTop;
  for (const auto& line : shown) {
    const size_t split = std::min(line.sungBytes, line.text.size());
    const QString sung = QString::fromUtf8(line.text.data(), static_cast<qsizetype>(split));
    const QString rest = QString::fromUtf8(line.text.data() + split,
                                           static_cast<qsizetype>(line.text.size() - split));
    const int sungWidth = metrics.horizontalAdvance(sung);
    const int left = (width() - sungWidth - metrics.horizontalAdvance(rest)) / 2;
    const int baseline = top + metrics.ascent();
    painter.setPen(QColor::fromRgba(kSung));
    painter.drawText(left, baseline, sung);
    painter.setPen(QColor::fromRgba(kUnsung));
    painter.drawText(left + sungWidth, baseline, rest);
    top += metrics.height();
  }
}

}  // namespace L
