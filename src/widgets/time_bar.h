// The time line: a track with a marker image that grows from the left as the song plays.
// GUI thread only; owns the marker image.
#pragma once

#include <QImage>
#include <QWidget>

namespace L {

class TimeBar : public QWidget {
  Q_OBJECT
 public:
  explicit TimeBar(QWidget* parent = nullptr);
  void SetMarker(const QImage& image);
  // Columns of the marker drawn for a position within a song: from 8 + w/2 up to, not including,
  // 8 + w/2 + position * (216 - w) / length, w being the marker's width.
  static int FilledColumns(int markerWidth, long long positionMs, long long lengthMs);
  long long Position() const { return position; }
  long long Length() const { return length; }

 public slots:
  void SetProgress(long long positionMs, long long lengthMs);  // length 0: nothing drawn

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage marker;
  long long position = 0;
  long long length = 0;
};

}  // namespace L
