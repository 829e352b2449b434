// The notice line: a line of text over the bottom of the stage that tells what went wrong, and
// fades out a few seconds after it was shown. Notices that come while others are still shown
// stack with them, the newest on top, up to kMostLines, so that none is lost to the next
// (a start can bring the module's, the SoundFont's and the MIDI output's at once). GUI thread only.
#pragma once

#include <QLabel>
#include <QList>

#include <chrono>

class QGraphicsOpacityEffect;
class QPropertyAnimation;
class QTimer;

namespace L {

class NoticeLine : public QLabel {
  Q_OBJECT
 public:
  static constexpr int kShownMs = 4000;
  static constexpr int kFadeMs = 1500;
  // Longer texts are cut with an ellipsis: a very long name would only cost layout time.
  static constexpr qsizetype kLongest = 400;
  static constexpr int kMostLines = 3;

  explicit NoticeLine(QWidget* parent = nullptr);
  void Show(const QString& text);
  // The texts while they are shown, the newest first, one a line; else "".
  QString Shown() const;
  // Moves the line to a parent and the place of one line there (more lines grow upwards from its
  // bottom edge); a notice being shown stays shown.
  void MoveTo(QWidget* parent, const QRect& oneLine);

 private:
  struct Line {
    QString text;
    std::chrono::steady_clock::time_point until;
  };
  QGraphicsOpacityEffect* opacity;
  QPropertyAnimation* fade;
  QTimer* hold;        // kShownMs from the newest notice to the fade
  QList<Line> lines;   // the oldest first
  int lineHeight = 0;  // the height and bottom edge it was placed with: one line
  int bottom = 0;
};

}  // namespace L
