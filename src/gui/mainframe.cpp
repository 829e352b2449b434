#include "gui/mainframe.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QMessageBox>
#include <QMimeData>
#include <QScreen>
#include <QSettings>
#include <QTimer>

#include "app/log.h"
#include "game/game.h"
#include "game/player.h"
#include "gui/dialogs.h"
#include "gui/file_dialogs.h"
#include "gui/game_events.h"
#include "gui/karaoke_panel.h"
#include "gui/local_files.h"
#include "gui/mixer_panel.h"
#include "gui/playlist_panel.h"
#include "gui/playlist_run.h"
#include "gui/skin.h"
#include "gui/song_opener.h"
#include "gui/stage_controls.h"
#include "gui/stage_frames.h"
#include "gui/tool_bar.h"
#include "gui/transport_bar.h"
#include "widgets/image_button.h"
#include "widgets/notice_line.h"
#include "widgets/play_list.h"
#include "widgets/stage_pane.h"
#include "widgets/time_bar.h"

namespace Kesh::GUI {

using Game::TransportCommand;

namespace {
// The stage's place in the container (left, top, right, bottom).
constexpr int kStageLeft = 3;
constexpr int kStageTop = 32;
constexpr int kStageRight = 818;
constexpr int kStageBottom = 432;
// The notice line lies over the bottom of the stage.
constexpr int kNoticeTop = 410;
}  // namespace

Mainframe::Mainframe(Core core)
    : core(std::move(core)),
      module(this->core.module),
      container(new QWidget(this)),
      mainSeam(this, [this](unsigned m, uintptr_t a, intptr_t b) { OnMainMessage(m, a, b); }),
      stageSeam(this,
                [this](unsigned, uintptr_t marker, intptr_t) { stageFrames->OnPaint(marker); }),
      karaokeSeam(this,
                  [this](unsigned, uintptr_t marker, intptr_t) { karaokePanel->OnPaint(marker); }),
      timelineSeam(this, [this](unsigned, uintptr_t, intptr_t) { OnTimelinePaint(); }),
      messages(this, [this](const std::string& text) { ShowNotice(QString::fromStdString(text)); }),
      wait(new WaitDlg(this)),
      run(new PlaylistRun(
          {[this](const std::string& path, std::string* why) { return OpenItem(path, why); },
           [this](const QString& text) { ShowNotice(text); },
           [this](bool playing) { RunFinished(playing); }},
          this)),
      toolBar(Place(
          new ToolBar({this->core.module, &messages, wait, this->core.startDirectory}, container),
          3, 0, 818, 32)),
      stage(Place(new L::StagePane(container), kStageLeft, kStageTop, kStageRight, kStageBottom)),
      stageFrames(std::make_unique<StageFrames>(stage)),
      stageControls(Place(new StageControls(container), 3, 432, 818, 495)),
      mixer(Place(new MixerPanel(container), 3, 495, 818, 647)),
      playlistPanel(
          Place(new PlaylistPanel(this->core.startDirectory, container), 3, 495, 818, 647)),
      karaokePanel(Place(new KaraokePanel(container), 3, 495, 818, 647)),
      timeline(Place(new L::TimeBar(container), 3, 647, 233, 686)),
      transport(Place(new TransportBar(container), 233, 647, 818, 686)),
      notice(
          Place(new L::NoticeLine(container), kStageLeft, kNoticeTop, kStageRight, kStageBottom)) {
  setWindowTitle(QStringLiteral("Tavro"));
  setWindowIcon(QIcon(QStringLiteral(":/skin/tavro-256.png")));
  SetPanel(this);
  setAcceptDrops(true);
  container->setFixedSize(kContainerWidth, kContainerHeight);
  SetPanel(container);

  connect(toolBar, &ToolBar::OpenClicked, this, &Mainframe::OpenDialog);
  connect(toolBar, &ToolBar::Notice, this, &Mainframe::ShowNotice);
  connect(transport, &TransportBar::Clicked, this, &Mainframe::OnTransport);
  connect(playlistPanel, &PlaylistPanel::PlayRequested, this, &Mainframe::PlayCurrent);
  connect(playlistPanel, &PlaylistPanel::Notice, this, &Mainframe::ShowNotice);
  connect(playlistPanel, &PlaylistPanel::FilesDropped, this,
          [this](const std::vector<std::string>& paths) { OpenFiles(paths); });

  // F11 and a double click on the stage show it full screen and return; Esc only returns.
  fullScreenKey = new QAction(tr("Full screen"), this);
  fullScreenKey->setShortcut(QKeySequence(Qt::Key_F11));
  connect(fullScreenKey, &QAction::triggered, this, &Mainframe::ToggleStageFullScreen);
  addAction(fullScreenKey);
  leaveFullScreenKey = new QAction(this);
  leaveFullScreenKey->setShortcut(QKeySequence(Qt::Key_Escape));
  leaveFullScreenKey->setEnabled(false);  // Esc belongs to the rest of the window otherwise
  connect(leaveFullScreenKey, &QAction::triggered, this, [this] { SetStageFullScreen(false); });
  addAction(leaveFullScreenKey);
  connect(stage, &L::StagePane::DoubleClicked, this, &Mainframe::ToggleStageFullScreen);
  connect(stage, &L::StagePane::RenderScaleWanted, this, &Mainframe::SetRenderScale);

  // Never smaller than the container: a smaller window would cut the controls off.
  setMinimumSize(kContainerWidth, kContainerHeight);
  resize(1024, 736);
  const QSettings settings;
  const QRect saved = settings.value(QStringLiteral("Mainframe/wndRect")).toRect();
  if (saved.isValid()) {
    setGeometry(saved);
  }
  ShowLowerView(kMixer);
}

Mainframe::~Mainframe() = default;

FrontEnd Mainframe::GetFrontEnd() {
  FrontEnd frontEnd;
  frontEnd.mainWindow = &mainSeam;
  frontEnd.stage = &stageSeam;
  frontEnd.karaoke = &karaokeSeam;
  frontEnd.timeline = &timelineSeam;
  frontEnd.messages = &messages;
  return frontEnd;
}

void Mainframe::AttachGame(Game::Game* attached) {
  game = attached;
  events = new GameEvents(*game, this);
  toolBar->Attach(*game, *events);
  stageFrames->Attach(*game);
  stageControls->Attach(*game, *events);
  mixer->Attach(*game, *events);
  playlistPanel->Attach(*game, *events);
  karaokePanel->Attach(*game);
  transport->Attach(*game, *events);
  SetRenderScale(stage->WantedRenderScale());
  game->ResetMixer();
  if (std::string why; !game->OpenSavedOutput(&why)) {
    ShowNotice(QString::fromStdString(why));
  }
}

void Mainframe::OnTransport(TransportCommand id) {
  switch (id) {
    case TransportCommand::kPrevious:
      Previous();
      break;
    case TransportCommand::kStop:
      Stop();
      break;
    case TransportCommand::kNext:
      Next();
      break;
    case TransportCommand::kPlaylistView:
      ShowLowerView(kPlaylist);
      break;
    case TransportCommand::kMixerView:
      game->SetKaraoke(false);
      ShowLowerView(kMixer);
      break;
    case TransportCommand::kKaraokeView:
      game->SetKaraoke(true);
      ShowLowerView(kKaraoke);
      break;
    default:
      break;
  }
}

// --- messages from the game ---

void Mainframe::OnMainMessage(unsigned message, uintptr_t /*first*/, intptr_t /*second*/) {
  if (message != App::kSongEndMessage || game == nullptr) {
    return;
  }
  auto& playlist = game->GetPlaylist();
  if (playlist.GetCurrent() + 1 < playlist.Count() && playlist.Next()) {
    PlayCurrent();
    return;
  }
  // The last song has ended: the show stops (the frame thread would count on for ever).
  game->RequestStop();
  ShowPlainStage();
}

void Mainframe::RunFinished(bool playing) {
  wait->hide();
  RefreshAfterLoad();
  if (!playing) {
    ShowPlainStage();
  }
  update();
}

void Mainframe::ShowPlainStage() {
  auto clear = [this] {
    if (!Running()) {
      timeline->SetProgress(0, 0);
      karaokePanel->Clear();
      stage->update();
    }
  };
  clear();
  // The frame thread may still be drawing its last frame (holding loadMutex, so that paint keeps
  // the frame) and queueing its paints; once it has ended, the views are cleared again.
  QTimer::singleShot(200, this, clear);
}

void Mainframe::RefreshKaraoke() { karaokePanel->OnPaint(App::kNewFrameMarker); }

void Mainframe::OnTimelinePaint() {
  if (module == nullptr || game == nullptr || !(module->IsPlaying() || module->IsPaused())) {
    timeline->SetProgress(0, 0);
    return;
  }
  timeline->SetProgress(module->GetPositionMs(), game->GetPlayer().SongLengthMs());
}

// --- commands ---

bool Mainframe::Running() const { return game != nullptr && game->GetState().running; }

void Mainframe::OpenDialog() {
  const bool pausedHere = Running() && !game->GetState().paused;
  if (pausedHere) {
    game->Pause();
  }
  const std::vector<std::string> files =
      FileDialogs::OpenFiles(this, tr("Open File(s)..."), FileDialogs::OpenFilters());
  if (files.empty()) {
    if (pausedHere && !quitting) {
      game->Play();
    }
    update();
    return;
  }
  OpenFiles(files);
}

void Mainframe::OpenFiles(const QStringList& paths) { OpenFiles(LocalPathsOf(paths)); }

void Mainframe::OpenFiles(const std::vector<std::string>& paths) {
  if (game == nullptr || paths.empty() || quitting) {
    return;
  }
  run->Cancel();
  game->RequestStop();
  wait->ShowText();
  playlistPanel->Replace(paths);
  wait->hide();
  if (game->GetPlaylist().Count() > 0) {
    PlayCurrent();
  } else {
    ShowPlainStage();
  }
  update();
}

void Mainframe::PlayCurrent() {
  if (game == nullptr || quitting) {
    return;
  }
  game->RequestStop();
  run->Start(game->GetPlaylist());
}

bool Mainframe::PlaylistRunning() const { return run->Active(); }

bool Mainframe::OpenItem(const std::string& path, std::string* why) {
  if (game == nullptr || quitting) {
    *why = "the window is closing";
    return false;
  }
  return OpenAndPlay(*game, *core.loadMutex, messages, path, why);
}

void Mainframe::Previous() {
  // On the first song there is nothing before it: the song and the current item stay (the
  // playlist's Previous would leave no current item, and Next would start the first song again).
  if (game != nullptr && game->GetPlaylist().Count() > 1 && game->GetPlaylist().GetCurrent() > 0 &&
      game->GetPlaylist().Previous()) {
    PlayCurrent();
  }
}

void Mainframe::Next() {
  if (game == nullptr || game->GetPlaylist().Count() <= 1) {
    return;
  }
  if (!game->GetPlaylist().Next()) {
    game->GetPlaylist().Next();  // wraps to the first item
  }
  PlayCurrent();
}

void Mainframe::Stop() {
  run->Cancel();
  if (game != nullptr) {
    game->RequestStop();
  }
  ShowPlainStage();
  update();
}

void Mainframe::ShowLowerView(int view) {
  lowerView = view;
  mixer->setVisible(view == kMixer);
  playlistPanel->setVisible(view == kPlaylist);
  karaokePanel->setVisible(view == kKaraoke);
  transport->SetView(view == kMixer      ? TransportCommand::kMixerView
                     : view == kPlaylist ? TransportCommand::kPlaylistView
                                         : TransportCommand::kKaraokeView);
}

std::vector<ArtistEntry> Mainframe::ArtistList() { return ArtistEntries(); }

void Mainframe::ShowNotice(const QString& text) {
  Kesh::Log("%s", text.toUtf8().constData());
  notice->Show(text);
}

QString Mainframe::Notice() const { return notice->Shown(); }

L::ImageButton* Mainframe::Transport(int id) const {
  return transport->Button(static_cast<TransportCommand>(id));
}
L::ImageButton* Mainframe::Tool(int id) const {
  return toolBar->Button(static_cast<Game::ToolCommand>(id));
}
L::ImageButton* Mainframe::StageButton(int id) const {
  return stageControls->Button(static_cast<Game::StageCommand>(id));
}
L::RegionFrame* Mainframe::LightFrame() const { return stageControls->LightFrame(); }
L::RegionFrame* Mainframe::CrowdFrame() const { return stageControls->CrowdFrame(); }
L::MixerStrip* Mainframe::Strip(int index) const { return mixer->Strip(index); }
L::PlayList* Mainframe::PlaylistView() const { return playlistPanel->View(); }
L::LyricPane* Mainframe::KaraokeView() const { return karaokePanel->Pane(); }
QLabel* Mainframe::TransposeLabel() const { return stageControls->TransposeLabel(); }
QComboBox* Mainframe::StylePicker() const { return stageControls->StylePicker(); }

void Mainframe::RefreshAfterLoad() {
  QString title = QStringLiteral("Tavro");
  if (game != nullptr) {
    if (const Vell::Object* item = game->GetPlaylist().CurrentItem()) {
      title += QStringLiteral(" - ") + ShownName(item->GetName());
    }
    if (game->GetState().karaoke) {
      ShowLowerView(kKaraoke);
    }
  }
  setWindowTitle(title);
  playlistPanel->Refresh();
}

// --- window ---

void Mainframe::SetStageFullScreen(bool on) {
  if (on == stageFullScreen || quitting) {
    return;
  }
  stageFullScreen = on;
  leaveFullScreenKey->setEnabled(on);
  if (on) {
    windowedGeometry = geometry();
    windowedStates = windowState();
    // The stage leaves the container for the whole window and lies over the rest, which stays as
    // it is (visible to Qt, so its keys still work).
    stage->setParent(this);
    stage->setGeometry(rect());
    stage->SetFullScreen(true);
    stage->show();
    stage->raise();
    PlaceNoticeOverStage();
    showFullScreen();
    // Without a window manager (a bare X server) nobody acts on the full-screen state: cover the
    // screen by hand; a window manager that does gives the window this geometry anyway.
    if (const QScreen* shown = screen()) {
      setGeometry(shown->geometry());
    }
  } else {
    stage->SetFullScreen(false);
    stage->setParent(container);
    Place(stage, kStageLeft, kStageTop, kStageRight, kStageBottom);
    notice->MoveTo(container, QRect(kStageLeft, kNoticeTop, kStageRight - kStageLeft,
                                    kStageBottom - kNoticeTop));
    stage->stackUnder(notice);
    stage->show();
    if (windowedStates.testFlag(Qt::WindowMaximized)) {
      showMaximized();
    } else {
      showNormal();
      setGeometry(windowedGeometry);
    }
  }
}

void Mainframe::SetRenderScale(int scale) {
  renderScale = scale;
  if (game != nullptr) {
    game->SetRenderScale(renderScale);  // from the next show the game loads on
  }
}

void Mainframe::closeEvent(QCloseEvent* event) {
  Log("Asked to close");
  if (QMessageBox::question(this, QStringLiteral("Tavro"), tr("Really quit?"),
                            QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes) {
    event->ignore();
    return;
  }
  quitting = true;
  run->Cancel();
  if (game != nullptr) {
    game->RequestStop();
  }
  SaveWindowRect();
  event->accept();
}

void Mainframe::resizeEvent(QResizeEvent* /*event*/) {
  container->move((width() - container->width()) / 2, (height() - container->height()) / 2);
  if (stageFullScreen) {
    stage->setGeometry(rect());
    PlaceNoticeOverStage();
  }
}

void Mainframe::PlaceNoticeOverStage() {
  // Over the bottom of the full-screen stage, so that what goes wrong is still told.
  const QRect shown = stage->StageRect().translated(stage->pos());
  const int height = kStageBottom - kNoticeTop;
  notice->MoveTo(this, QRect(shown.left(), shown.bottom() + 1 - height, shown.width(), height));
}

void Mainframe::Quit() {
  quitting = true;
  run->Cancel();
  if (game != nullptr) {
    game->RequestStop();
  }
  SaveWindowRect();
  QCoreApplication::exit(0);
}

void Mainframe::SaveWindowRect() {
  QSettings settings;
  settings.setValue(QStringLiteral("Mainframe/wndRect"),
                    stageFullScreen ? windowedGeometry : geometry());
}

void Mainframe::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) {
    event->acceptProposedAction();
  }
}

void Mainframe::dropEvent(QDropEvent* event) {
  const std::vector<std::string> paths = LocalPathsOf(L::LocalFilesOf(event->mimeData()));
  if (!paths.empty()) {
    event->acceptProposedAction();
    // Handled after the drop returns, so the dragging program is not kept waiting.
    QTimer::singleShot(0, this, [this, paths] { OpenFiles(paths); });
  }
}

}  // namespace Kesh::GUI
