#include "widgets/lyric_pane.h"

#include <QFontMetrics>
#include <QPainter>

namespace L {

LyricPane::LyricPane(QWidget* parent) : QWidget(parent), font(KaraokeFont()) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

QFont LyricPane::KaraokeFont() {
  QFont f(QStringLiteral("Arial"));
  f.setPixelSize(34);
  f.setWeight(QFont::Normal);
  f.setStyleStrategy(QFont::PreferAntialias);
  return f;
}

void LyricPane::SetLines(std::vector<Vell::Gfx::LyricLine> lines) {
  shown = std::move(lines);
  update();
}

void LyricPane::Draw(QPainter& painter, const QFont& font, int width,
                     const std::vector<Vell::Gfx::LyricLine>& lines) {
  painter.setFont(font);
  painter.setRenderHint(QPainter::TextAntialiasing);
  const QFontMetrics metrics(font);
  int top = 10;
  for (const auto& line : lines) {
    const QString sung =
        QString::fromUtf8(line.text.data(), static_cast<qsizetype>(line.sungBytes));
    const QString rest =
        QString::fromUtf8(line.text.data() + line.sungBytes,
                          static_cast<qsizetype>(line.text.size() - line.sungBytes));
    const int sungWidth = metrics.horizontalAdvance(sung);
    const int left = (width - sungWidth - metrics.horizontalAdvance(rest)) / 2;
    const int baseline = top + metrics.ascent();
    painter.setPen(QColor::fromRgba(kSung));
    painter.drawText(left, baseline, sung);
    painter.setPen(QColor::fromRgba(kUnsung));
    painter.drawText(left + sungWidth, baseline, rest);
    top += metrics.height();
  }
}

void LyricPane::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.fillRect(rect(), QColor::fromRgba(kBackground));
  Draw(painter, font, width(), shown);
}

}  // namespace L
