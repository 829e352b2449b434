// The main window: a fixed 821 x 684 container centred in the window with the tool bar, the stage,
// the stage controls, the three lower views (mixer, playlist, karaoke), the time line and the
// transport. It builds the panels and wires them to the game, whose commands they give and whose
// announcements they show; it routes the playlist's runs and the file commands, and hands the
// frames the game renders to the stage and karaoke views. F11 or a double click on the stage shows
// the stage alone on the whole screen (Esc, F11 or a double click returns), while the rest of the
// window keeps its layout behind it and its keys keep working. GUI thread only, except the seams'
// Post/Send, which the frame thread calls. Owns its panels and the seams it hands to the game;
// the hub owns the game.
#pragma once

#include <QStringList>
#include <QWidget>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "game/commands.h"
#include "game/frontend.h"
#include "gui/qt_seams.h"

class QAction;
class QLabel;
class QComboBox;

namespace L {
class ImageButton;
class LyricPane;
class MixerStrip;
class NoticeLine;
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

class GameEvents;
class KaraokePanel;
class MixerPanel;
class PlaylistPanel;
class PlaylistRun;
class StageControls;
class StageFrames;
class ToolBar;
class TransportBar;
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
  bool StageFullScreen() const { return stageFullScreen; }
  // The render scale the stage pane wants for its screen and mode (1 or 2).
  int RenderScale() const { return renderScale; }
  QWidget* Container() const { return container; }
  // The controls by command id, for tests and the command table.
  L::ImageButton* Transport(int id) const;
  L::ImageButton* Tool(int id) const;
  L::ImageButton* StageButton(int id) const;
  L::RegionFrame* LightFrame() const;
  L::RegionFrame* CrowdFrame() const;
  L::MixerStrip* Strip(int index) const;
  L::PlayList* PlaylistView() const;
  L::LyricPane* KaraokeView() const;
  L::TimeBar* Timeline() const { return timeline; }
  L::StagePane* Stage() const { return stage; }
  QLabel* TransposeLabel() const;
  QComboBox* StylePicker() const;

 public slots:
  void OpenDialog();
  void Previous();
  void Next();
  void Stop();
  void ShowLowerView(int view);
  void RefreshAfterLoad();
  // Builds the karaoke view's lines from the player's lyric page now (as a frame's paint does).
  void RefreshKaraoke();
  // The stage on the whole screen, or back in its place in the window.
  void SetStageFullScreen(bool on);
  void ToggleStageFullScreen() { SetStageFullScreen(!stageFullScreen); }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void OnTransport(Game::TransportCommand id);
  void OnMainMessage(unsigned message, uintptr_t first, intptr_t second);
  // Opens one playlist item and plays it; false with the reason (messages of the game included).
  bool OpenItem(const std::string& path, std::string* why);
  // No song: the plain stage, an empty time bar and karaoke view.
  void ShowPlainStage();
  void RunFinished(bool playing);
  void OnTimelinePaint();
  void SaveWindowRect();
  bool Running() const;
  void SetRenderScale(int scale);
  void PlaceNoticeOverStage();

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

  ToolBar* toolBar;
  L::StagePane* stage;
  std::unique_ptr<StageFrames> stageFrames;
  StageControls* stageControls;
  MixerPanel* mixer;
  PlaylistPanel* playlistPanel;
  KaraokePanel* karaokePanel;
  L::TimeBar* timeline;
  TransportBar* transport;
  L::NoticeLine* notice;
  GameEvents* events = nullptr;
  int lowerView = kMixer;
  QAction* fullScreenKey = nullptr;
  QAction* leaveFullScreenKey = nullptr;
  bool stageFullScreen = false;
  // The window as it was before the stage went full screen.
  QRect windowedGeometry;
  Qt::WindowStates windowedStates;
  int renderScale = 1;
};

}  // namespace Kesh::GUI
