#include "widgets/mixer_strip.h"

#include <QFontMetrics>
#include <QSignalBlocker>

namespace L {

std::pair<float, float> BalanceGains(int knob) {
  if (knob > 0) {
    return {static_cast<float>(64 - knob) / 64.0F, 1.0F};
  }
  if (knob < 0) {
    return {1.0F, static_cast<float>(knob + 64) / 64.0F};
  }
  return {1.0F, 1.0F};
}

namespace {
QPushButton* MakeButton(QWidget* parent, const QString& text, const QRect& area,
                        const QString& tip) {
  auto* button = new QPushButton(text, parent);
  button->setCheckable(true);
  button->setGeometry(area);
  button->setToolTip(tip);
  button->setFocusPolicy(Qt::NoFocus);
  // On (checked) is lit green, off is dark red: the state reads at a glance across 17 strips.
  button->setStyleSheet(
      QStringLiteral("QPushButton { background: rgb(%1, %2, %3); color: rgb(240, 150, 150);"
                     " border: 1px solid rgb(24, 28, 28); border-radius: 2px; font-weight: bold; }"
                     "QPushButton:checked { background: rgb(%4, %5, %6); color: rgb(12, 36, 12); }")
          .arg(qRed(MixerStrip::kOffFace))
          .arg(qGreen(MixerStrip::kOffFace))
          .arg(qBlue(MixerStrip::kOffFace))
          .arg(qRed(MixerStrip::kOnFace))
          .arg(qGreen(MixerStrip::kOnFace))
          .arg(qBlue(MixerStrip::kOnFace)));
  return button;
}
}  // namespace

MixerStrip::MixerStrip(bool master, int width, QWidget* parent) : QWidget(parent) {
  setFixedSize(width, kHeight);
  name = new QLabel(this);
  name->setGeometry(2, 2, width - 4, 13);
  name->setAlignment(Qt::AlignCenter);
  QFont small = name->font();
  small.setPixelSize(10);
  name->setFont(small);
  name->setStyleSheet(QStringLiteral("color: rgb(220, 226, 226);"));
  if (master) {
    artists = MakeButton(this, QString(), QRect(4, 22, 38, 18), tr("Crowd sound on or off"));
  } else {
    artists = MakeButton(this, QStringLiteral("A"), QRect(3, 22, 20, 18),
                         tr("Show or hide this channel's artists"));
    sound = MakeButton(this, QStringLiteral("S"), QRect(24, 22, 20, 18),
                       tr("Sound of this channel on or off"));
    connect(sound, &QPushButton::clicked, this, &MixerStrip::SoundClicked);
  }
  connect(artists, &QPushButton::clicked, this, &MixerStrip::ArtistsClicked);
  knob = new Knob(this);
  knob->setGeometry(10, 48, 29, 28);
  knob->setToolTip(master ? tr("Crowd balance") : tr("Pan"));
  connect(knob, &Knob::valueChanged, this, &MixerStrip::PanMoved);
  slider = new QSlider(Qt::Vertical, this);
  slider->setRange(0, 120);
  slider->setGeometry(12, 80, 25, 60);
  slider->setToolTip(master ? tr("Crowd level") : tr("Level"));
  connect(slider, &QSlider::valueChanged, this, &MixerStrip::LevelMoved);
}

void MixerStrip::SetName(const QString& text) {
  // Long instrument names are cut to the strip; the tool tip keeps the whole name.
  name->setText(QFontMetrics(name->font()).elidedText(text, Qt::ElideRight, name->width()));
  name->setToolTip(text);
}

void MixerStrip::SetArtistsPressed(bool pressed) { artists->setChecked(pressed); }

void MixerStrip::SetSoundPressed(bool pressed) {
  if (sound != nullptr) {
    sound->setChecked(pressed);
  }
}

void MixerStrip::SetPan(int value) {
  const QSignalBlocker quiet(knob);
  knob->setValue(value);
}

void MixerStrip::SetLevel(int value) {
  const QSignalBlocker quiet(slider);
  slider->setValue(value);
}

}  // namespace L
