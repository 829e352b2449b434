// The notice line: one line of text over the bottom of the stage that tells what went wrong, and
// fades out a few seconds after it was shown. GUI thread only.
#pragma once

#include <QLabel>

class QGraphicsOpacityEffect;
class QPropertyAnimation;

namespace L {

class NoticeLine : public QLabel {
  Q_OBJECT
 public:
  static constexpr int kShownMs = 4000;
  static constexpr int kFadeMs = 1500;
  // Longer texts are cut with an ellipsis: a very long name would only cost layout time.
  static constexpr qsizetype kLongest = 400;

  explicit NoticeLine(QWidget* parent = nullptr);
  void Show(const QString& text);
  // The text while it is shown, else "".
  QString Shown() const;

 private:
  QGraphicsOpacityEffect* opacity;
  QPropertyAnimation* fade;
};

}  // namespace L
