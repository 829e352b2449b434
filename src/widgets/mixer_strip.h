// One strip of the mixer: a name, the "A" (artists shown) and "S" (sound on) buttons, a pan knob
// and a level slider; the master strip has one unlabelled button instead of the two. It only shows
// state and reports the user's moves; the window decides what they do. GUI thread only.
#pragma once

#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QWidget>
#include <utility>

#include "widgets/knob.h"

namespace L {

// The crowd's left and right gains for a balance knob value -64 ... 64: turning right lowers the
// left side, turning left lowers the right side.
std::pair<float, float> BalanceGains(int knob);

class MixerStrip : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kHeight = 152;
  // The faces of the "A", "S" and master buttons: on (pressed) and off.
  static constexpr QRgb kOnFace = 0xFF6EBE6E;   // RGB(110, 190, 110)
  static constexpr QRgb kOffFace = 0xFF5A2626;  // RGB(90, 38, 38)

  MixerStrip(bool master, int width, QWidget* parent = nullptr);

  void SetName(const QString& name);
  void SetArtistsPressed(bool pressed);  // "A", or the master's button
  void SetSoundPressed(bool pressed);    // "S"
  void SetPan(int value);                // moves the knob without reporting a move
  void SetLevel(int value);              // moves the slider without reporting a move
  int Pan() const { return knob->value(); }
  int Level() const { return slider->value(); }
  QPushButton* ArtistsButton() const { return artists; }
  QPushButton* SoundButton() const { return sound; }
  Knob* PanKnob() const { return knob; }
  QSlider* LevelSlider() const { return slider; }
  QString Name() const { return name->text(); }

 signals:
  void ArtistsClicked();
  void SoundClicked();
  void PanMoved(int value);
  void LevelMoved(int value);

 private:
  QLabel* name;
  QPushButton* artists;
  QPushButton* sound = nullptr;
  Knob* knob;
  QSlider* slider;
};

}  // namespace L
