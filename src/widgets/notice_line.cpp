#include "widgets/notice_line.h"

#include <QGraphicsOpacityEffect>
#include <QPropertyAnimation>
#include <QTimer>

namespace L {

NoticeLine::NoticeLine(QWidget* parent)
    : QLabel(parent),
      opacity(new QGraphicsOpacityEffect(this)),
      fade(new QPropertyAnimation(opacity, "opacity", this)) {
  setStyleSheet(QStringLiteral(
      "background: rgba(20, 24, 24, 200); color: rgb(245, 210, 150); padding-left: 8px;"));
  setGraphicsEffect(opacity);
  fade->setDuration(kFadeMs);
  fade->setStartValue(1.0);
  fade->setEndValue(0.0);
  connect(fade, &QPropertyAnimation::finished, this, &QLabel::hide);
  hide();
}

void NoticeLine::Show(const QString& text) {
  setText(text.size() > kLongest ? text.left(kLongest) + QChar(0x2026) : text);
  fade->stop();
  opacity->setOpacity(1.0);
  show();
  raise();
  QTimer::singleShot(kShownMs, fade, [this] { fade->start(); });
}

QString NoticeLine::Shown() const { return isVisible() ? text() : QString(); }

}  // namespace L
