// The main window's modal dialogs: settings, the artists available, About and the wait box.
// GUI thread only. The settings dialog edits the profile it is given and asks the player module
// to change the MIDI output; it owns neither.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QString>
#include <string>
#include <vector>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QSpinBox;

namespace Kesh::Audio {
class IPlayer;
}
namespace Kesh::Game {
class Profile;
}
namespace Kesh::App {
class IMessageBox;
}

namespace Kesh::GUI {

// One artist as the artists dialog lists it.
struct ArtistEntry {
  QString thumb;  // image file, relative to the current folder
  QString name;
  QString description;
};

// The artists the game's artist manager holds, with their thumbnails' paths from the data folder.
std::vector<ArtistEntry> ArtistEntries();

class ArtistsDlg : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kPerPage = 4;
  ArtistsDlg(std::vector<ArtistEntry> artists, QWidget* parent);
  int PageStart() const { return first; }

 public slots:
  void Previous();
  void Next();

 protected:
  void wheelEvent(QWheelEvent* event) override;

 private:
  class Pane;
  std::vector<ArtistEntry> artists;
  Pane* pane;
  int first = 0;
};

class SettingsDlg : public QDialog {
  Q_OBJECT
 public:
  // artistCount: how many artists the artist manager holds (the limit of "Max artists in use").
  SettingsDlg(Game::Profile& profile, Audio::IPlayer* module, int artistCount,
              std::vector<ArtistEntry> artists, App::IMessageBox& messages, QWidget* parent);
  // OK: copies the controls into the profile and selects a changed MIDI output.
  void accept() override;

  QSpinBox* MaxArtists() const { return maxArtists; }
  QCheckBox* Drummer() const { return drummer; }
  QCheckBox* Shadows() const { return shadows; }
  QCheckBox* AutoStyle() const { return autoStyle; }
  QCheckBox* ReduceFlashing() const { return reduceFlashing; }
  QButtonGroup* Quality() const { return quality; }
  QComboBox* Output() const { return output; }
  QLineEdit* Latency() const { return latency; }

 private:
  void QualityChosen();

  Game::Profile& profile;
  Audio::IPlayer* module;
  App::IMessageBox& messages;
  std::vector<ArtistEntry> artists;
  QSpinBox* maxArtists;
  QCheckBox* drummer;
  QCheckBox* shadows;
  QCheckBox* autoStyle;
  QCheckBox* reduceFlashing;
  QButtonGroup* quality;
  QComboBox* output;
  QLineEdit* latency;
  int qualityChanges = 0;
};

class AboutDlg : public QDialog {
  Q_OBJECT
 public:
  explicit AboutDlg(QWidget* parent);
};

// A small frameless box over the main window while files load or a project is saved.
class WaitDlg : public QDialog {
  Q_OBJECT
 public:
  explicit WaitDlg(QWidget* parent);
  // Shows the box with the text ("Loading..." unless given) and paints it at once.
  void ShowText(const QString& text = QStringLiteral("Loading..."));

 private:
  QLabel* label;
};

}  // namespace Kesh::GUI
