#include "gui/dialogs.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QIntValidator>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QWheelEvent>
#include <algorithm>

#include "app/message_box.h"
#include "game/game.h"
#include "game/profile.h"
#include "tavro/player_module.h"

namespace Kesh::GUI {

namespace {
void CentreOn(QWidget* dialog, QWidget* parent) {
  if (parent != nullptr) {
    const QRect area = parent->geometry();
    dialog->move(area.center() - QPoint(dialog->width() / 2, dialog->height() / 2));
  }
}

QLabel* Title(const QString& text, QWidget* parent, int x, int y) {
  auto* label = new QLabel(text, parent);
  QFont bold = label->font();
  bold.setBold(true);
  label->setFont(bold);
  label->move(x, y);
  return label;
}
}  // namespace

// --- artists ---

class ArtistsDlg::Pane : public QWidget {
 public:
  Pane(const std::vector<ArtistEntry>& artists, QWidget* parent)
      : QWidget(parent), artists(artists) {}
  int first = 0;

 protected:
  void paintEvent(QPaintEvent* /*event*/) override {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    QFont nameFont(QStringLiteral("Arial"));
    nameFont.setPixelSize(14);
    QFont descFont(QStringLiteral("Arial"));
    descFont.setPixelSize(10);
    for (int row = 0; row < kPerPage && first + row < static_cast<int>(artists.size()); ++row) {
      const ArtistEntry& artist = artists[first + row];
      const int top = 12 + 91 * row;
      if (row == 0) {
        painter.fillRect(QRect(14, top, 50, 90), QColor(214, 222, 222));
      }
      const QImage thumb(artist.thumb);
      if (!thumb.isNull()) {
        const QImage scaled = thumb.scaled(50, 86, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        painter.drawImage(14 + (50 - scaled.width()) / 2, top + 2, scaled);
      }
      painter.setPen(QColor(140, 150, 150));
      painter.drawLine(68, top, 68, top + 90);
      painter.drawLine(0, top + 90, width(), top + 90);
      painter.setPen(Qt::black);
      painter.setFont(nameFont);
      painter.drawText(QPoint(78, top + 4 + QFontMetrics(nameFont).ascent()), artist.name);
      painter.setFont(descFont);
      painter.drawText(QRect(78, top + 28, width() - 78 - 22, 60), Qt::TextWordWrap,
                       artist.description);
    }
  }

 private:
  const std::vector<ArtistEntry>& artists;
};

ArtistsDlg::ArtistsDlg(std::vector<ArtistEntry> list, QWidget* parent)
    : QDialog(parent), artists(std::move(list)) {
  setWindowTitle(tr("Artists available - %1").arg(artists.size()));
  setFixedSize(320, 451);
  pane = new Pane(artists, this);
  pane->setGeometry(8, 8, 304, 12 + 91 * kPerPage);
  auto* back = new QPushButton(QStringLiteral("<"), this);
  back->setGeometry(8, 416, 40, 26);
  back->setToolTip(tr("Previous page"));
  auto* forward = new QPushButton(QStringLiteral(">"), this);
  forward->setGeometry(52, 416, 40, 26);
  forward->setToolTip(tr("Next page"));
  auto* ok = new QPushButton(tr("OK"), this);
  ok->setGeometry(232, 416, 80, 26);
  ok->setDefault(true);
  connect(back, &QPushButton::clicked, this, &ArtistsDlg::Previous);
  connect(forward, &QPushButton::clicked, this, &ArtistsDlg::Next);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  CentreOn(this, parent);
}

void ArtistsDlg::Previous() {
  if (first - kPerPage >= 0) {
    first -= kPerPage;
    pane->first = first;
    pane->update();
  }
}

void ArtistsDlg::Next() {
  if (first + kPerPage < static_cast<int>(artists.size())) {
    first += kPerPage;
    pane->first = first;
    pane->update();
  }
}

void ArtistsDlg::wheelEvent(QWheelEvent* event) {
  if (event->angleDelta().y() > 0) {
    Previous();
  } else if (event->angleDelta().y() < 0) {
    Next();
  }
}

// --- settings ---

SettingsDlg::SettingsDlg(Game::Profile& profile, Audio::IPlayer* module, int artistCount,
                         std::vector<ArtistEntry> artistList, App::IMessageBox& messages,
                         QWidget* parent)
    : QDialog(parent),
      profile(profile),
      module(module),
      messages(messages),
      artists(std::move(artistList)) {
  setWindowTitle(tr("Settings"));
  setFixedSize(510, 444);
  auto* tabs = new QTabWidget(this);
  tabs->setGeometry(10, 10, 484, 370);
  auto* page = new QWidget;
  tabs->addTab(page, tr("General"));

  Title(tr("Artists control"), page, 12, 10);
  (new QLabel(tr("Max artists in use"), page))->move(24, 38);
  maxArtists = new QSpinBox(page);
  maxArtists->setGeometry(200, 34, 60, 22);
  maxArtists->setRange(1, std::max(1, artistCount));
  maxArtists->setValue(std::clamp(profile.max, 1, std::max(1, artistCount)));
  maxArtists->setToolTip(tr("How many musicians may stand on the stage at once"));
  drummer = new QCheckBox(tr("Always use drummer"), page);
  drummer->move(24, 64);
  drummer->setChecked(profile.forceDrummer);
  auto* list = new QPushButton(tr("Artists available..."), page);
  list->setGeometry(300, 34, 150, 24);
  connect(list, &QPushButton::clicked, this, [this] { ArtistsDlg(artists, this).exec(); });

  Title(tr("Stage animation"), page, 12, 104);
  (new QLabel(tr("Quality"), page))->move(24, 132);
  quality = new QButtonGroup(this);
  const char* names[3] = {"High", "Medium", "Low"};
  for (int i = 0; i < 3; ++i) {
    auto* radio = new QRadioButton(tr(names[i]), page);
    radio->move(100 + 90 * i, 130);
    quality->addButton(radio, 10 + i);
  }
  qualityChanges = 0;
  const int initial = profile.animQuality == 1 ? 10 : profile.animQuality == 4 ? 12 : 11;
  quality->button(initial)->setChecked(true);
  ++qualityChanges;  // setting the initial choice counts once
  connect(quality, &QButtonGroup::idToggled, this, [this](int, bool checked) {
    if (checked) {
      QualityChosen();
    }
  });
  shadows = new QCheckBox(tr("Shadows"), page);
  shadows->move(24, 160);
  shadows->setChecked(profile.shadows);
  autoStyle = new QCheckBox(tr("Style auto selection"), page);
  autoStyle->move(24, 186);
  autoStyle->setChecked(profile.autoStyle);
  reduceFlashing = new QCheckBox(tr("Reduce flashing"), page);
  reduceFlashing->move(250, 160);
  reduceFlashing->setChecked(profile.reduceFlashing);
  reduceFlashing->setToolTip(tr("Keep strobes to fewer than three flashes a second"));

  Title(tr("System setup"), page, 12, 226);
  (new QLabel(tr("MIDI out driver"), page))->move(24, 254);
  output = new QComboBox(page);
  output->setGeometry(160, 250, 290, 24);
  output->setToolTip(tr("Where the song's notes are played"));
  if (module != nullptr) {
    const int count = module->GetMidiOutputCount();
    for (int i = 0; i < count; ++i) {
      char name[256] = {};
      output->addItem(module->GetMidiOutputName(i, name, sizeof name) ? QString::fromUtf8(name)
                                                                      : tr("Output %1").arg(i));
    }
  }
  output->setCurrentIndex(profile.device < output->count() ? profile.device : -1);
  (new QLabel(tr("Synth latency"), page))->move(24, 288);
  latency = new QLineEdit(QString::number(profile.latency), page);
  latency->setGeometry(160, 284, 60, 24);
  latency->setValidator(new QIntValidator(-999, 999, latency));
  latency->setToolTip(tr("Milliseconds by which the stage waits for the sound, 0 to 100"));
  auto* hardware = new QPushButton(tr("Hardware"), page);
  hardware->setGeometry(230, 284, 100, 24);
  connect(hardware, &QPushButton::clicked, this, [this] { latency->setText(QStringLiteral("0")); });
  auto* builtIn = new QPushButton(tr("Built-in synthesizer"), page);
  builtIn->setGeometry(334, 284, 130, 24);
  connect(builtIn, &QPushButton::clicked, this, [this] { latency->setText(QStringLiteral("20")); });

  auto* ok = new QPushButton(tr("OK"), this);
  ok->setGeometry(344, 386, 72, 23);
  ok->setDefault(true);
  auto* cancel = new QPushButton(tr("Cancel"), this);
  cancel->setGeometry(420, 386, 72, 23);
  connect(ok, &QPushButton::clicked, this, &SettingsDlg::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  CentreOn(this, parent);
}

void SettingsDlg::QualityChosen() {
  if (qualityChanges == 1) {
    messages.Show("Quality settings take effect only after program restart.", App::kCaption,
                  App::IMessageBox::Icon::kInformation);
  }
  ++qualityChanges;
}

void SettingsDlg::accept() {
  profile.max = maxArtists->value();
  profile.forceDrummer = drummer->isChecked();
  profile.shadows = shadows->isChecked();
  profile.autoStyle = autoStyle->isChecked();
  profile.reduceFlashing = reduceFlashing->isChecked();
  const int choice = quality->checkedId();
  profile.SetQuality(choice == 10 ? 1 : choice == 12 ? 4 : 2);
  const int selected = output->currentIndex();
  if (selected >= 0 && selected != profile.device) {
    if (module != nullptr && module->SelectMidiOutput(selected, 0)) {
      profile.device = selected;
      char name[256];
      profile.deviceName = selected != Game::Game::kBuiltInOutput &&
                                   module->GetMidiOutputName(selected, name, sizeof name)
                               ? name
                               : "";
    } else {
      messages.Show("Unable to set MIDI output!", App::kCaption, App::IMessageBox::Icon::kWarning);
    }
  }
  profile.latency = std::clamp(latency->text().toInt(), 0, Game::Profile::kMaxLatency);
  QDialog::accept();
}

// --- about and wait ---

AboutDlg::AboutDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(tr("About Tavro"));
  setFixedSize(360, 180);
  auto* text = new QLabel(this);
  text->setGeometry(20, 16, 320, 110);
  text->setWordWrap(true);
  text->setText(tr("<b>Tavro %1</b><br><br>Your MIDI songs as a stage show: a band of musicians, "
                   "lights, a crowd and karaoke, in step with the music.")
                    .arg(QApplication::applicationVersion()));
  auto* ok = new QPushButton(tr("OK"), this);
  ok->setGeometry(268, 140, 72, 24);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  CentreOn(this, parent);
}

WaitDlg::WaitDlg(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
  setFixedSize(180, 48);
  setStyleSheet(QStringLiteral("background: rgb(49, 58, 58); color: rgb(245, 245, 245);"));
  label = new QLabel(this);
  label->setGeometry(rect());
  label->setAlignment(Qt::AlignCenter);
}

void WaitDlg::ShowText(const QString& text) {
  label->setText(text);
  CentreOn(this, parentWidget());
  show();
  raise();
  QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

std::vector<ArtistEntry> ArtistEntries() {
  std::vector<ArtistEntry> artists;
  for (const Game::Game::ArtistInfo& artist : Game::Game::ArtistList()) {
    artists.push_back(ArtistEntry{QString::fromStdString(artist.thumb),
                                  QString::fromStdString(artist.name),
                                  QString::fromStdString(artist.description)});
  }
  return artists;
}

}  // namespace Kesh::GUI
