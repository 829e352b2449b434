#include "widgets/notice_line.h"

#include <QGraphicsOpacityEffect>
#include <QPropertyAnimation>
#include <QStringList>
#include <QTimer>

#include <algorithm>

namespace L {

NoticeLine::NoticeLine(QWidget* parent)
    : QLabel(parent),
      opacity(new QGraphicsOpacityEffect(this)),
      fade(new QPropertyAnimation(opacity, "opacity", this)),
      hold(new QTimer(this)) {
  setStyleSheet(QStringLiteral(
      "background: rgba(20, 24, 24, 200); color: rgb(245, 210, 150); padding-left: 8px;"));
  setGraphicsEffect(opacity);
  fade->setDuration(kFadeMs);
  fade->setStartValue(1.0);
  fade->setEndValue(0.0);
  connect(fade, &QPropertyAnimation::finished, this, &QLabel::hide);
  hold->setSingleShot(true);
  connect(hold, &QTimer::timeout, fade, [this] { fade->start(); });
  hide();
}

void NoticeLine::Show(const QString& text) {
  const auto now = std::chrono::steady_clock::now();
  if (isHidden() || fade->state() == QAbstractAnimation::Running) {
    lines.clear();  // what was shown has faded (or is fading): the new notice stands alone
  }
  lines.removeIf([now](const Line& line) { return line.until <= now; });
  while (lines.size() >= kMostLines) {
    lines.removeFirst();
  }
  lines.append({text.size() > kLongest ? text.left(kLongest) + QChar(0x2026) : text,
                now + std::chrono::milliseconds(kShownMs)});
  QStringList texts;
  for (auto line = lines.crbegin(); line != lines.crend(); ++line) {
    texts.append(line->text);
  }
  setText(texts.join(QLatin1Char('\n')));
  // Placed for one line: more lines grow upwards from the same bottom edge.
  if (lineHeight == 0) {
    lineHeight = std::max(height(), 1);
    bottom = y() + height();
  }
  const int rows = static_cast<int>(lines.size());
  setGeometry(x(), bottom - lineHeight * rows, width(), lineHeight * rows);
  fade->stop();
  opacity->setOpacity(1.0);
  show();
  raise();
  hold->start(kShownMs);
}

void NoticeLine::MoveTo(QWidget* parent, const QRect& oneLine) {
  const bool showing = !isHidden();
  if (parent != parentWidget()) {
    setParent(parent);
  }
  lineHeight = std::max(oneLine.height(), 1);
  bottom = oneLine.y() + lineHeight;
  const int rows = showing ? std::max(static_cast<int>(lines.size()), 1) : 1;
  setGeometry(oneLine.x(), bottom - lineHeight * rows, oneLine.width(), lineHeight * rows);
  if (showing) {
    show();
    raise();
  }
}

QString NoticeLine::Shown() const { return isVisible() ? text() : QString(); }

}  // namespace L
