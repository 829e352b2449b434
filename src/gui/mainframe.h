// The main window: a fixed 821 x 684 container centred in the window with the tool bar, the stage,
// the stage controls, the three lower views (mixer, playlist, karaoke), the time line and the
// transport. Routes the user's commands to the game and paints the frames the game renders.
// GUI thread only, except the seams' Post/Send, which the frame thread calls. Owns its views and
// the seams it hands to the game; the hub owns the game.
#pragma once

#include <QPointer>
#include <QStringList>
#include <QWidget>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "game/commands.h"
#include "game/frontend.h"
#include "gui/qt_seams.h"
#include "qtext/text_painter.h"

class QLabel;
class QComboBox;
class QGraphicsOpacityEffect;
class QPropertyAnimation;

namespace L {
class ImageButton;
class LyricPane;
class MixerStrip;
class PlayList;
class RegionFrame;
class StagePane;
class TimeBar;
}  // namespace L

namespace Kesh {
namespace Audio {
class IPlayer;
}
namespace Game {
class Game;
}
}  // namespace Kesh

namespace Kesh::GUI {

class PlaylistRun;
class WaitDlg;
struct ArtistEntry;

class Mainframe : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kContainerWidth = 821;
  static constexpr int kContainerHeight = 684;
  enum LowerView { kMixer = 0, kPlaylist = 1, kKaraoke = 2 };
  // The player module's first MIDI output: its built-in synthesizer.
  static constexpr int kBuiltInOutput = 0;

  // What the window works with besides the game: the player module (null when it could not be
  // loaded), the hub's two locks and the folder the program started in.
  struct Core {
    Audio::IPlayer* module = nullptr;
    std::timed_mutex* loadMutex = nullptr;
    std::recursive_mutex* frameLock = nullptr;
    std::string startDirectory;
  };

  explicit Mainframe(Core core);
  ~Mainframe() override;

  // What the game is given: this window's seams.
  FrontEnd GetFrontEnd();
  // Called once the game exists (the hub creates it with this window's front end).
  void AttachGame(Game::Game* game);

  // Files from the command line, the open dialog or a drop (paths as the system's bytes): songs and
  // projects go into the playlist, a playlist file is read into it, and the first playable item
  // plays.
  void OpenFiles(const std::vector<std::string>& paths);
  void OpenFiles(const QStringList& paths);
  // Plays the playlist from its current item; items that do not open are skipped with a notice
  // (see PlaylistRun). The first item is tried before this returns.
  void PlayCurrent();
  // Whether a playlist run is still trying items.
  bool PlaylistRunning() const;
  // The line under the stage that tells what went wrong; it fades after a few seconds.
  void ShowNotice(const QString& text);
  QString Notice() const;

  // Ends the program without asking (the session ends, or the process was told to stop): stops
  // the game, keeps the window rectangle and leaves the event loop.
  void Quit();

  // The artists the artist manager holds, with their thumbnails' paths from the data folder.
  static std::vector<ArtistEntry> ArtistList();

  int GetLowerView() const { return lowerView; }
  QWidget* Container() const { return container; }
  // The controls by command id, for tests and the command table.
  L::ImageButton* Transport(int id) const;
  L::ImageButton* Tool(int id) const;
  L::ImageButton* StageButton(int id) const;
  L::RegionFrame* LightFrame() const { return lightFrame; }
  L::RegionFrame* CrowdFrame() const { return crowdFrame; }
  L::MixerStrip* Strip(int index) const { return strips[index]; }
  L::PlayList* PlaylistView() const { return playlistView; }
  L::LyricPane* KaraokeView() const { return karaokeView; }
  L::TimeBar* Timeline() const { return timeline; }
  QLabel* TransposeLabel() const { return transposeLabel; }
  QComboBox* StylePicker() const { return stylePicker; }

 public slots:
  void OpenDialog();
  void SaveProject();
  void Settings();
  void Help();
  void About();
  void Previous();
  void Next();
  void Stop();
  void PauseOrPlay();
  // Space: plays a stopped song, else pauses or resumes.
  void PlayOrPause();
  void ToggleLoop();
  void ShowLowerView(int view);
  void ResetMixer();
  void RefreshAfterLoad();
  void RefreshSwitches();
  // Builds the karaoke view's lines from the player's lyric page now (as a frame's paint does).
  void RefreshKaraoke();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void BuildToolBar();
  void BuildTransport();
  void BuildStageControls();
  void BuildLowerViews();
  void OnMainMessage(unsigned message, uintptr_t first, intptr_t second);
  // Plays through the MIDI output the settings keep; the built-in synthesizer, with a notice,
  // when it cannot be opened.
  void OpenSavedOutput();
  // Opens one playlist item and plays it; false with the reason (messages of the game included).
  bool OpenItem(const std::string& path, std::string* why);
  // No song: the plain stage, an empty time bar and karaoke view.
  void ShowPlainStage();
  void RunFinished(bool playing);
  void OnStagePaint(uintptr_t marker);
  void OnKaraokePaint(uintptr_t marker);
  void OnTimelinePaint();
  bool PaintStage(QPainter& painter);
  void DrawReadouts();
  void LiveAction(Game::ActionCode code);
  void Transpose(int delta);
  void RefreshMixerNames();
  void RefreshPlaylistView();
  void SaveWindowRect();
  // Playlist view commands.
  void AddItems();
  void SavePlaylist();
  void PlayRow(int row);
  void RemoveRow(int row);
  void ClearPlaylist();
  void MoveRow(int row, int delta);
  bool Running() const;
  void RestoreStartDirectory();

  Core core;
  Audio::IPlayer* const module;
  Game::Game* game = nullptr;
  QWidget* container;
  QtWindow mainSeam;
  QtWindow stageSeam;
  QtWindow karaokeSeam;
  QtWindow timelineSeam;
  QtMessageBox messages;
  WaitDlg* wait;
  PlaylistRun* run;
  bool quitting = false;

  L::StagePane* stage = nullptr;
  L::LyricPane* karaokeView = nullptr;
  L::PlayList* playlistView = nullptr;
  QWidget* mixer = nullptr;
  std::vector<L::MixerStrip*> strips;
  L::TimeBar* timeline = nullptr;
  std::map<Game::ToolCommand, L::ImageButton*> tools;
  std::map<Game::TransportCommand, L::ImageButton*> transport;
  std::map<Game::StageCommand, L::ImageButton*> stageButtons;
  L::RegionFrame* lightFrame = nullptr;
  L::RegionFrame* crowdFrame = nullptr;
  QLabel* transposeLabel = nullptr;
  QComboBox* stylePicker = nullptr;
  QLabel* notice = nullptr;
  QGraphicsOpacityEffect* noticeOpacity = nullptr;
  QPropertyAnimation* noticeFade = nullptr;
  int lowerView = kMixer;
  // Frames painted and their paint time, logged once a second when TAVRO_PAINT_STATS is set.
  struct PaintStats;
  std::unique_ptr<PaintStats> paintStats;
  // Draws the read-outs on the stage (GUI thread).
  std::unique_ptr<Vell::QText::TextPainter> textPainter;
  bool stageDrawn = false;
  uintptr_t stageMarker = 0;
  uintptr_t karaokeMarker = 0;
  // Crowd level state of the master strip.
  float crowdLevel = 1.0F;
  float leftGain = 1.0F;
  float rightGain = 1.0F;
};

}  // namespace Kesh::GUI
