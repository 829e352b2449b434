#include "gui/mainframe.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPropertyAnimation>
#include <QSettings>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "app/log.h"
#include "artists/manager.h"
#include "game/game.h"
#include "game/player.h"
#include "gfx/lyric_page.h"
#include "gui/dialogs.h"
#include "gui/file_dialogs.h"
#include "gui/local_files.h"
#include "gui/playlist_run.h"
#include "gui/song_opener.h"
#include "styles/manager.h"
#include "widgets/image_button.h"
#include "widgets/lyric_pane.h"
#include "widgets/mixer_strip.h"
#include "widgets/play_list.h"
#include "widgets/stage_pane.h"
#include "widgets/time_bar.h"

namespace Kesh::GUI {

namespace {

constexpr QRgb kPanel = 0xFF313A3A;  // RGB(49, 58, 58)
constexpr int kChannels = 16;

// Hot regions of the effect frames as fractions of the frame image (the skin generator draws the
// frames with the same table).
const std::vector<QRectF> kLightRegions = {
    {0.0 / 3, 0.0, 1.0 / 3, 1.0 / 3},     {1.0 / 3, 0.0, 1.0 / 3, 1.0 / 3},
    {2.0 / 3, 0.0, 1.0 / 3, 1.0 / 3},     {0.0 / 3, 1.0 / 3, 1.0 / 3, 1.0 / 3},
    {1.0 / 3, 1.0 / 3, 1.0 / 3, 1.0 / 3}, {2.0 / 3, 1.0 / 3, 1.0 / 3, 1.0 / 3},
    {0.0, 2.0 / 3, 0.5, 1.0 / 3},         {0.5, 2.0 / 3, 0.5, 1.0 / 3}};
const std::vector<QRectF> kCrowdRegions = {{0.0 / 3, 0.0, 1.0 / 3, 0.5},
                                           {1.0 / 3, 0.0, 1.0 / 3, 0.5},
                                           {2.0 / 3, 0.0, 1.0 / 3, 0.5},
                                           {0.0, 0.5, 0.5, 0.5},
                                           {0.5, 0.5, 0.5, 0.5}};
// Codes recorded by the regions (region index -> action code).
constexpr Game::ActionCode kLightCodes[8] = {Game::ActionCode::kSearchLight0,
                                             Game::ActionCode::kSearchLight1,
                                             Game::ActionCode::kSearchLight2,
                                             Game::ActionCode::kLeftStageLights,
                                             Game::ActionCode::kCentreStageLights,
                                             Game::ActionCode::kRightStageLights,
                                             Game::ActionCode::kNone,
                                             Game::ActionCode::kStrobe};
constexpr Game::ActionCode kCrowdCodes[5] = {Game::ActionCode::kBravo, Game::ActionCode::kApplause,
                                             Game::ActionCode::kWhistle, Game::ActionCode::kNoise,
                                             Game::ActionCode::kSpeech};

// A data manager, or null when its files could not be loaded (the window then goes without it:
// no style pictures, no artist list); the failure is logged once.
template <typename Manager>
Manager* OrNull(const char* what) {
  static bool failed = false;
  if (failed) {
    return nullptr;
  }
  try {
    return Manager::Instance();
  } catch (const std::exception& error) {
    failed = true;
    Kesh::Log("No %s: %s", what, error.what());
    return nullptr;
  }
}
Styles::Manager* StylesOrNull() { return OrNull<Styles::Manager>("styles"); }
Artists::Manager* ArtistsOrNull() { return OrNull<Artists::Manager>("artists"); }

QPixmap Skin(const QString& name) { return QPixmap(QStringLiteral(":/skin/%1.png").arg(name)); }

void SetPanel(QWidget* widget, QRgb colour) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Window, QColor::fromRgba(colour));
  widget->setPalette(palette);
  widget->setAutoFillBackground(true);
}

// A child at the rectangle (left, top, right, bottom) of its parent.
template <typename W>
W* Place(W* widget, int left, int top, int right, int bottom) {
  widget->setGeometry(left, top, right - left, bottom - top);
  return widget;
}

}  // namespace

// What the stage painted over the last second: new frames, and the time each paint took (drawing
// the read-outs and the frame, and putting it on the screen).
struct Mainframe::PaintStats {
  using Clock = std::chrono::steady_clock;
  Clock::time_point since = Clock::now();
  int frames = 0;
  double totalMs = 0;
  double maxMs = 0;

  void Add(double ms) {
    ++frames;
    totalMs += ms;
    maxMs = std::max(maxMs, ms);
    const double seconds = std::chrono::duration<double>(Clock::now() - since).count();
    if (seconds >= 1.0) {
      Log("Paint: %.2f frames/s, stage paint %.3f ms mean, %.3f ms max", frames / seconds,
          totalMs / frames, maxMs);
      *this = PaintStats();
    }
  }
};

Mainframe::Mainframe(Core core)
    : core(std::move(core)),
      module(this->core.module),
      container(new QWidget(this)),
      mainSeam(this, [this](unsigned m, uintptr_t a, intptr_t b) { OnMainMessage(m, a, b); }),
      stageSeam(this, [this](unsigned, uintptr_t marker, intptr_t) { OnStagePaint(marker); }),
      karaokeSeam(this, [this](unsigned, uintptr_t marker, intptr_t) { OnKaraokePaint(marker); }),
      timelineSeam(this, [this](unsigned, uintptr_t, intptr_t) { OnTimelinePaint(); }),
      messages(this, [this](const std::string& text) { ShowNotice(QString::fromStdString(text)); }),
      wait(new WaitDlg(this)),
      run(new PlaylistRun(
          {[this](const std::string& path, std::string* why) { return OpenItem(path, why); },
           [this](const QString& text) { ShowNotice(text); },
           [this](bool playing) { RunFinished(playing); }},
          this)),
      textPainter(std::make_unique<Vell::QText::TextPainter>()) {
  if (std::getenv("TAVRO_PAINT_STATS") != nullptr) {
    paintStats = std::make_unique<PaintStats>();
  }
  setWindowTitle(QStringLiteral("Tavro"));
  setWindowIcon(QIcon(QStringLiteral(":/skin/tavro-256.png")));
  SetPanel(this, kPanel);
  setAcceptDrops(true);
  container->setFixedSize(kContainerWidth, kContainerHeight);
  SetPanel(container, kPanel);

  BuildToolBar();
  stage = Place(new L::StagePane(container), 3, 32, 818, 432);
  stage->SetFramePainter([this](QPainter& painter) { return PaintStage(painter); });
  BuildStageControls();
  BuildLowerViews();
  timeline = Place(new L::TimeBar(container), 3, 647, 233, 686);
  BuildTransport();

  // The notice line lies over the bottom of the stage and fades out.
  notice = Place(new QLabel(container), 3, 410, 818, 432);
  notice->setStyleSheet(QStringLiteral(
      "background: rgba(20, 24, 24, 200); color: rgb(245, 210, 150); padding-left: 8px;"));
  noticeOpacity = new QGraphicsOpacityEffect(notice);
  notice->setGraphicsEffect(noticeOpacity);
  noticeFade = new QPropertyAnimation(noticeOpacity, "opacity", this);
  noticeFade->setDuration(1500);
  noticeFade->setStartValue(1.0);
  noticeFade->setEndValue(0.0);
  connect(noticeFade, &QPropertyAnimation::finished, notice, &QLabel::hide);
  notice->hide();

  auto addShortcut = [this](const QKeySequence& keys, void (Mainframe::*slot)()) {
    auto* action = new QAction(this);
    action->setShortcut(keys);
    connect(action, &QAction::triggered, this, slot);
    addAction(action);
  };
  addShortcut(QKeySequence(Qt::CTRL | Qt::Key_O), &Mainframe::OpenDialog);
  addShortcut(QKeySequence(Qt::CTRL | Qt::Key_F12), &Mainframe::Settings);
  addShortcut(QKeySequence(Qt::Key_F1), &Mainframe::Help);
  // The transport's keys (listed in the manual's transport section).
  addShortcut(QKeySequence(Qt::Key_Space), &Mainframe::PlayOrPause);
  addShortcut(QKeySequence(Qt::Key_MediaTogglePlayPause), &Mainframe::PlayOrPause);
  addShortcut(QKeySequence(Qt::Key_MediaPlay), &Mainframe::PlayOrPause);
  addShortcut(QKeySequence(Qt::Key_S), &Mainframe::Stop);
  addShortcut(QKeySequence(Qt::Key_MediaStop), &Mainframe::Stop);
  addShortcut(QKeySequence(Qt::Key_N), &Mainframe::Next);
  addShortcut(QKeySequence(Qt::Key_MediaNext), &Mainframe::Next);
  addShortcut(QKeySequence(Qt::Key_P), &Mainframe::Previous);
  addShortcut(QKeySequence(Qt::Key_MediaPrevious), &Mainframe::Previous);
  addShortcut(QKeySequence(Qt::Key_L), &Mainframe::ToggleLoop);

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

Mainframe::~Mainframe() {
  // The karaoke pane draws with textPainter, a member that goes before the child widgets do.
  delete karaokeView;
  karaokeView = nullptr;
}

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
  stylePicker->clear();
  Styles::Manager* styles = StylesOrNull();
  for (int id = 0; styles != nullptr && id < styles->Count(); ++id) {
    const Styles::Style* style = styles->GetById(id);
    const QString name = QString::fromStdString(style->GetName());
    const QPixmap picture(QStringLiteral("styles/%1/picture.png").arg(name.toLower()));
    stylePicker->addItem(picture.isNull() ? QIcon() : QIcon(picture), name);
  }
  ResetMixer();
  OpenSavedOutput();
  RefreshSwitches();
}

void Mainframe::OpenSavedOutput() {
  Game::Profile& profile = game->GetProfile();
  if (module == nullptr || profile.device == kBuiltInOutput) {
    return;
  }
  if (module->SelectMidiOutput(profile.device, 0)) {
    return;
  }
  // The output is gone (unplugged, or the ports were numbered anew): what plays is said, and
  // the settings show it.
  Log("MIDI output %d of the settings could not be opened", profile.device);
  ShowNotice(tr("The MIDI output of the settings (number %1) could not be opened: the built-in "
                "synthesizer plays")
                 .arg(profile.device));
  profile.device = kBuiltInOutput;
}

// --- building ---

void Mainframe::BuildToolBar() {
  auto* bar = Place(new QWidget(container), 3, 0, 818, 32);
  struct Tool {
    Game::ToolCommand id;
    const char* skin;
    const char* tip;
    int left;
    void (Mainframe::*slot)();
  };
  const Tool list[] = {
      {Game::ToolCommand::kOpen, "open", "Open songs or a playlist (Ctrl+O)", 8,
       &Mainframe::OpenDialog},
      {Game::ToolCommand::kSettings, "settings", "Settings (Ctrl+F12)", 41, &Mainframe::Settings},
      {Game::ToolCommand::kHelp, "help", "Help (F1)", 67, &Mainframe::Help},
      {Game::ToolCommand::kSave, "save", "Save the show as a project", 100,
       &Mainframe::SaveProject}};
  for (const Tool& tool : list) {
    auto* button = new L::ImageButton(Skin(tool.skin), tr(tool.tip), bar);
    button->move(tool.left, 3);
    connect(button, &L::ImageButton::clicked, this, tool.slot);
    tools[tool.id] = button;
  }
}

void Mainframe::BuildTransport() {
  auto* bar = Place(new QWidget(container), 233, 647, 818, 686);
  struct Button {
    Game::TransportCommand id;
    const char* skin;
    const char* tip;
    int left;
    int top;
  };
  const Button list[] = {
      {Game::TransportCommand::kPrevious, "previous", "Previous song (P)", 2, 6},
      {Game::TransportCommand::kPlay, "play", "Play (Space)", 33, 6},
      {Game::TransportCommand::kStop, "stop", "Stop (S)", 63, 6},
      {Game::TransportCommand::kPause, "pause", "Pause or resume (Space)", 86, 6},
      {Game::TransportCommand::kNext, "next", "Next song (N)", 111, 6},
      {Game::TransportCommand::kLoop, "loop", "Play the song again at its end (L)", 136, 6},
      {Game::TransportCommand::kRecord, "record", "Record the light show into the song", 168, 6},
      {Game::TransportCommand::kPlaylistView, "view-playlist", "Show the playlist", 195, 3},
      {Game::TransportCommand::kMixerView, "view-mixer", "Show the mixer", 253, 3},
      {Game::TransportCommand::kKaraokeView, "view-karaoke", "Show the karaoke words", 287, 3},
      {Game::TransportCommand::kAbout, "logo", "About Tavro", 493, 3}};
  for (const Button& b : list) {
    auto* button = new L::ImageButton(Skin(b.skin), tr(b.tip), bar);
    button->move(b.left, b.top);
    transport[b.id] = button;
  }
  connect(transport[Game::TransportCommand::kPrevious], &L::ImageButton::clicked, this,
          &Mainframe::Previous);
  connect(transport[Game::TransportCommand::kPlay], &L::ImageButton::clicked, this, [this] {
    if (game != nullptr) {
      game->Play();
    }
    RefreshSwitches();
  });
  connect(transport[Game::TransportCommand::kStop], &L::ImageButton::clicked, this,
          &Mainframe::Stop);
  connect(transport[Game::TransportCommand::kPause], &L::ImageButton::clicked, this,
          &Mainframe::PauseOrPlay);
  connect(transport[Game::TransportCommand::kNext], &L::ImageButton::clicked, this,
          &Mainframe::Next);
  connect(transport[Game::TransportCommand::kLoop], &L::ImageButton::clicked, this,
          &Mainframe::ToggleLoop);
  connect(transport[Game::TransportCommand::kRecord], &L::ImageButton::clicked, this, [this] {
    if (game != nullptr) {
      game->GetState().recording = !game->GetState().recording;
    }
    RefreshSwitches();
  });
  connect(transport[Game::TransportCommand::kPlaylistView], &L::ImageButton::clicked, this,
          [this] { ShowLowerView(kPlaylist); });
  connect(transport[Game::TransportCommand::kMixerView], &L::ImageButton::clicked, this, [this] {
    if (game != nullptr) {
      game->GetState().karaoke = false;
    }
    ShowLowerView(kMixer);
  });
  connect(transport[Game::TransportCommand::kKaraokeView], &L::ImageButton::clicked, this, [this] {
    if (game != nullptr) {
      game->GetState().karaoke = true;
    }
    ShowLowerView(kKaraoke);
  });
  connect(transport[Game::TransportCommand::kAbout], &L::ImageButton::clicked, this,
          &Mainframe::About);
}

void Mainframe::BuildStageControls() {
  auto* strip = Place(new QWidget(container), 3, 432, 818, 495);
  auto toggle = [this, strip](Game::StageCommand id, const char* skin, const char* tip, int left,
                              int top, std::atomic<bool> Game::State::*field,
                              Game::ActionCode code) {
    auto* button = new L::ImageButton(Skin(skin), tr(tip), strip);
    button->move(left, top);
    stageButtons[id] = button;
    connect(button, &L::ImageButton::clicked, this, [this, field, code] {
      if (game == nullptr) {
        return;
      }
      if (code != Game::ActionCode::kNone) {
        LiveAction(code);  // records, then toggles through the action's own effect
      } else {
        (game->GetState().*field).store(!(game->GetState().*field).load());
      }
      RefreshSwitches();
    });
  };
  toggle(Game::StageCommand::kNoClear, "noclear",
         "Show the stage picture and the shadows (off: the band plays on a bare, dark stage)", 32,
         20, &Game::State::noClear, Game::ActionCode::kNone);
  toggle(Game::StageCommand::kCounterReadout, "counter", "Show the bar counter on the stage", 546,
         20, &Game::State::counterReadout, Game::ActionCode::kNone);
  toggle(Game::StageCommand::kTimeReadout, "time", "Show the time on the stage", 644, 20,
         &Game::State::timeReadout, Game::ActionCode::kNone);
  toggle(Game::StageCommand::kAutoFades, "auto", "Automatic fades", 309, 20,
         &Game::State::autoFades, Game::ActionCode::kToggleAutoFades);
  toggle(Game::StageCommand::kAutoLights, "auto", "Automatic lights", 413, 20,
         &Game::State::autoLights, Game::ActionCode::kToggleAutoLights);
  toggle(Game::StageCommand::kAutoCrowd, "auto", "Automatic crowd sounds", 515, 20,
         &Game::State::autoCrowd, Game::ActionCode::kToggleAutoCrowd);

  auto plain = [this, strip](Game::StageCommand id, const char* skin, const char* tip, int left,
                             int top) {
    auto* button = new L::ImageButton(Skin(skin), tr(tip), strip);
    button->move(left, top);
    stageButtons[id] = button;
    return button;
  };
  connect(plain(Game::StageCommand::kLighter, "fade-lighter", "Lighter", 281, 8),
          &L::ImageButton::clicked, this, [this] { LiveAction(Game::ActionCode::kFadeLighter); });
  connect(plain(Game::StageCommand::kDarker, "fade-darker", "Darker", 281, 32),
          &L::ImageButton::clicked, this, [this] { LiveAction(Game::ActionCode::kFadeDarker); });
  connect(
      plain(Game::StageCommand::kTransposeUp, "transpose-up", "Transpose up a semitone", 254, 20),
      &L::ImageButton::clicked, this, [this] { Transpose(1); });
  connect(plain(Game::StageCommand::kTransposeDown, "transpose-down", "Transpose down a semitone",
                254, 32),
          &L::ImageButton::clicked, this, [this] { Transpose(-1); });
  connect(plain(Game::StageCommand::kReset, "reset",
                "Reset the switches, the mixer and the transposition", 752, 20),
          &L::ImageButton::clicked, this, [this] {
            if (game != nullptr) {
              game->ResetDisplaySwitches();
            }
            ResetMixer();
            if (module != nullptr) {
              module->SetTranspose(0);
            }
            transposeLabel->setText(QStringLiteral("0"));
            RefreshSwitches();
          });

  transposeLabel = Place(new QLabel(QStringLiteral("0"), strip), 231, 20, 251, 43);
  transposeLabel->setAlignment(Qt::AlignCenter);
  transposeLabel->setStyleSheet(QStringLiteral("color: rgb(245, 245, 245);"));
  transposeLabel->setToolTip(tr("Transposition in semitones"));

  stylePicker = Place(new QComboBox(strip), 96, 12, 156, 52);
  stylePicker->setIconSize(QSize(48, 24));
  stylePicker->setToolTip(tr("Style of the stage"));
  connect(stylePicker, &QComboBox::activated, this, [this](int index) {
    if (Styles::Manager* styles = StylesOrNull()) {
      const std::lock_guard<std::recursive_mutex> frame(*core.frameLock);
      styles->SelectById(index);
    }
  });

  lightFrame =
      new L::RegionFrame(Skin("light-frame"), Skin("light-frame-disabled"), kLightRegions, strip);
  lightFrame->move(331, 4);
  lightFrame->setToolTip(tr("Search lights, stage lights and the strobe"));
  connect(lightFrame, &L::RegionFrame::RegionClicked, this, [this](int region) {
    if (kLightCodes[region] != Game::ActionCode::kNone) {
      LiveAction(kLightCodes[region]);
    }
  });
  crowdFrame =
      new L::RegionFrame(Skin("crowd-frame"), Skin("crowd-frame-disabled"), kCrowdRegions, strip);
  crowdFrame->move(433, 4);
  crowdFrame->setToolTip(tr("Crowd: bravo, applause, whistle, murmur, speech"));
  connect(crowdFrame, &L::RegionFrame::RegionClicked, this,
          [this](int region) { LiveAction(kCrowdCodes[region]); });
}

void Mainframe::BuildLowerViews() {
  mixer = Place(new QWidget(container), 3, 495, 818, 647);
  SetPanel(mixer, kPanel);
  const int stripWidth = 47;
  for (int c = 0; c <= kChannels; ++c) {
    const bool master = c == kChannels;
    auto* strip =
        new L::MixerStrip(master, master ? 815 - kChannels * stripWidth : stripWidth, mixer);
    strip->move(c * stripWidth, 0);
    strips.push_back(strip);
    connect(strip, &L::MixerStrip::ArtistsClicked, this, [this, c, master] {
      if (master) {
        if (module != nullptr && module->GetCrowd() != nullptr) {
          module->GetCrowd()->Mute(!module->GetCrowd()->IsMuted());
        }
      } else if (game != nullptr) {
        // The frame thread reads the switch while it tracks a frame.
        const std::lock_guard<std::recursive_mutex> frame(*core.frameLock);
        for (auto* animation : game->GetPlayer().AnimationsOfChannel(c)) {
          if (animation->GetArtist() != nullptr) {
            animation->GetArtist()->shown = !animation->GetArtist()->shown;
          }
        }
      }
      RefreshSwitches();
    });
    if (master) {
      connect(strip, &L::MixerStrip::PanMoved, this, [this](int value) {
        std::tie(leftGain, rightGain) = L::BalanceGains(value);
        if (module != nullptr && module->GetCrowd() != nullptr) {
          module->GetCrowd()->SetVolume(crowdLevel * leftGain, crowdLevel * rightGain);
        }
      });
      connect(strip, &L::MixerStrip::LevelMoved, this, [this](int value) {
        crowdLevel = static_cast<float>(value) / 120.0F;
        if (module != nullptr && module->GetCrowd() != nullptr) {
          module->GetCrowd()->SetVolume(crowdLevel * leftGain, crowdLevel * rightGain);
        }
      });
    } else {
      connect(strip, &L::MixerStrip::SoundClicked, this, [this, c] {
        if (module != nullptr) {
          module->SetMute(c, !module->GetMute(c));
        }
        RefreshSwitches();
      });
      connect(strip, &L::MixerStrip::PanMoved, this, [this, c](int value) {
        if (module != nullptr) {
          module->SetPan(c, value);
        }
      });
      connect(strip, &L::MixerStrip::LevelMoved, this, [this, c](int value) {
        if (module != nullptr) {
          module->SetVolume(c, value);
        }
      });
    }
  }

  karaokeView = Place(new L::LyricPane(textPainter.get(), container), 3, 495, 818, 647);
  playlistView = Place(new L::PlayList(container), 3, 495, 818, 647);
  connect(playlistView, &L::PlayList::AddRequested, this, &Mainframe::AddItems);
  connect(playlistView, &L::PlayList::SaveRequested, this, &Mainframe::SavePlaylist);
  connect(playlistView, &L::PlayList::PlayRequested, this, &Mainframe::PlayRow);
  connect(playlistView, &L::PlayList::RemoveRequested, this, &Mainframe::RemoveRow);
  connect(playlistView, &L::PlayList::ClearRequested, this, &Mainframe::ClearPlaylist);
  connect(playlistView, &L::PlayList::MoveRequested, this, &Mainframe::MoveRow);
  connect(playlistView, &L::PlayList::FilesDropped, this,
          [this](const QByteArrayList& paths) { OpenFiles(LocalPathsOf(paths)); });
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
  RefreshSwitches();
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
      karaokeView->SetLines({});
      stage->update();
    }
  };
  clear();
  // The frame thread may still be drawing its last frame (holding loadMutex, so that paint keeps
  // the frame) and queueing its paints; once it has ended, the views are cleared again.
  QTimer::singleShot(200, this, clear);
}

void Mainframe::OnStagePaint(uintptr_t marker) {
  stageMarker = marker;
  stageDrawn = false;
  const auto start = PaintStats::Clock::now();
  stage->repaint();
  if (paintStats && stageDrawn && marker == App::kNewFrameMarker) {
    paintStats->Add(
        std::chrono::duration<double, std::milli>(PaintStats::Clock::now() - start).count());
  }
  stageMarker = 0;
}

bool Mainframe::PaintStage(QPainter& painter) {
  std::unique_lock<std::timed_mutex> load(*core.loadMutex, std::try_to_lock);
  if (!load.owns_lock() || game == nullptr || !game->GetState().running) {
    return !load.owns_lock();  // a load is going on: skip the frame, keep what is shown
  }
  const std::lock_guard<std::recursive_mutex> frame(*core.frameLock);
  if (stageMarker == App::kNewFrameMarker) {
    DrawReadouts();
  }
  const Vell::Gfx::Canvas& canvas = game->GetCanvas();
  // The stage is opaque: as RGB32 it is copied to the screen as it is, where ARGB32 was converted
  // (premultiplied) on every frame.
  const QImage image(reinterpret_cast<const uchar*>(canvas.Pixels()), canvas.Width(),
                     canvas.Height(), QImage::Format_RGB32);
  painter.drawImage(0, 0, image);
  stageDrawn = true;
  return true;
}

void Mainframe::DrawReadouts() {
  if (module == nullptr) {
    return;
  }
  // The renderer's read-outs, drawn the same way onto the frame before it is shown.
  int64_t elapsed = -1;
  if (game->GetState().timeReadout) {
    module->GetTime(&elapsed);
    elapsed = std::max<int64_t>(elapsed, 0);
  }
  const int counter = game->GetState().counterReadout ? module->GetCounter() : -1;
  Vell::Gfx::Canvas& canvas = game->GetCanvas();
  Vell::Gfx::DrawReadouts(*textPainter, canvas.Bitmap(), elapsed, counter);
  canvas.Bitmap().Changed();
}

void Mainframe::OnKaraokePaint(uintptr_t marker) {
  if (lowerView != kKaraoke || !App::IsFrameMarker(marker) || game == nullptr) {
    return;
  }
  std::unique_lock<std::timed_mutex> load(*core.loadMutex, std::try_to_lock);
  if (!load.owns_lock() || !game->GetState().running || !game->GetState().karaoke) {
    return;
  }
  std::vector<Vell::Gfx::LyricLine> lines;
  {
    const std::lock_guard<std::recursive_mutex> frame(*core.frameLock);
    const Game::LyricState state = game->GetPlayer().GetLyricState();
    lines = Vell::Gfx::LayoutLyricPage(state.syllables, state.currentSyllable, state.lines);
  }
  karaokeView->SetLines(std::move(lines));
}

void Mainframe::RefreshKaraoke() { OnKaraokePaint(App::kNewFrameMarker); }

void Mainframe::OnTimelinePaint() {
  if (module == nullptr || game == nullptr || !(module->IsPlaying() || module->IsPaused())) {
    timeline->SetProgress(0, 0);
    return;
  }
  timeline->SetProgress(module->GetPositionMs(), game->GetPlayer().SongLengthMs());
}

// --- commands ---

void Mainframe::RestoreStartDirectory() {
  if (!core.startDirectory.empty()) {
    QDir::setCurrent(QString::fromStdString(core.startDirectory));
  }
}

bool Mainframe::Running() const { return game != nullptr && game->GetState().running; }

void Mainframe::LiveAction(Game::ActionCode code) {
  if (game == nullptr) {
    return;
  }
  if (!Game::TogglesSwitch(code) && !Running()) {
    return;  // effects need a running song
  }
  {
    const std::lock_guard<std::recursive_mutex> frame(*core.frameLock);
    game->GetPlayer().LiveAction(code);
  }
  RefreshSwitches();
}

void Mainframe::Transpose(int delta) {
  if (module == nullptr) {
    return;
  }
  const int value = std::clamp(module->GetTranspose() + delta, -12, 12);
  module->SetTranspose(value);
  transposeLabel->setText(QString::number(module->GetTranspose()));
}

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
  RestoreStartDirectory();
  auto& playlist = game->GetPlaylist();
  playlist.Clear();
  QStringList refused;
  for (const std::string& path : paths) {
    const std::string file = AbsolutePath(path);
    std::string why;
    switch (Game::Playlist::Classify(file)) {
      case Game::Playlist::kSong:
      case Game::Playlist::kProject:
        if (IsReadableFile(file, &why)) {
          playlist.AddPath(file);
        } else {
          refused << ShownName(file) + QStringLiteral(" (") + QString::fromStdString(why) +
                         QStringLiteral(")");
        }
        break;
      case Game::Playlist::kPlaylist:
        if (paths.size() == 1) {
          Game::Playlist read;
          if (!read.LoadFile(file, &why)) {
            ShowNotice(QString::fromStdString(why));
            break;
          }
          // Relative items are relative to the playlist's own folder.
          const std::string folder = file.substr(0, file.rfind('/'));
          for (const std::string& item : read.Paths()) {
            playlist.AddPath(Game::Playlist::ResolveItem(folder, item));
          }
          if (read.SkippedLines() > 0) {
            ShowNotice(tr("%1 lines of %2 were left out: longer than %3 bytes or not a file name")
                           .arg(read.SkippedLines())
                           .arg(ShownName(file))
                           .arg(Game::Playlist::kMaxLineBytes));
          }
        }
        break;
      default:
        refused << ShownName(file);
        break;
    }
  }
  if (!refused.isEmpty()) {
    ShowNotice(tr("Not a song, project or playlist: %1").arg(refused.join(QStringLiteral(", "))));
  }
  playlist.Next();
  RefreshPlaylistView();
  wait->hide();
  if (playlist.Count() > 0) {
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
  RefreshSwitches();
  ShowPlainStage();
  update();
}

void Mainframe::PlayOrPause() {
  if (Running()) {
    PauseOrPlay();
  } else if (game != nullptr && game->SongLoaded()) {
    game->Play();
    RefreshSwitches();
  }
}

void Mainframe::ToggleLoop() {
  if (game != nullptr) {
    game->GetState().loop = !game->GetState().loop;
  }
  RefreshSwitches();
}

void Mainframe::PauseOrPlay() {
  if (game == nullptr) {
    return;
  }
  if (!game->GetState().paused) {
    game->Pause();
  } else {
    game->Play();
  }
  RefreshSwitches();
}

void Mainframe::SaveProject() {
  if (!Running()) {
    return;
  }
  const std::string file = FileDialogs::SaveFile(
      this, tr("Save Project..."), FileDialogs::kProjectFilter, QStringLiteral("kesh"));
  if (file.empty()) {
    return;
  }
  const bool pausedHere = !game->GetState().paused;
  if (pausedHere) {
    game->Pause();
  }
  wait->ShowText(tr("Please Wait..."));
  RestoreStartDirectory();
  std::string why;
  const bool saved = game->SaveProject(file, &why);
  wait->hide();
  if (!saved) {
    messages.Show("The project could not be saved: " + why, App::kCaption,
                  App::IMessageBox::Icon::kWarning);
  }
  if (pausedHere) {
    game->Play();
  }
}

std::vector<ArtistEntry> Mainframe::ArtistList() {
  std::vector<ArtistEntry> artists;
  const Artists::Manager* manager = ArtistsOrNull();
  for (int i = 0; manager != nullptr && i < manager->GetCache().Count(); ++i) {
    const auto* artist =
        static_cast<const Artists::Manager::Cache::Artist*>(manager->GetCache().Item(i));
    // The artist files name their thumbnails relative to the artists folder.
    artists.push_back(ArtistEntry{QString::fromStdString(Artists::Manager::kFolder + artist->thumb),
                                  QString::fromStdString(artist->name),
                                  QString::fromStdString(artist->desc)});
  }
  return artists;
}

void Mainframe::Settings() {
  if (game == nullptr) {
    return;
  }
  std::vector<ArtistEntry> artists = ArtistList();
  const int count = static_cast<int>(artists.size());
  SettingsDlg dialog(game->GetProfile(), module, count, std::move(artists), messages, this);
  dialog.exec();
}

void Mainframe::Help() {
  const QString manual =
      QDir(QString::fromStdString(core.startDirectory)).filePath(QStringLiteral("help/index.html"));
  if (!QFileInfo::exists(manual) || !QDesktopServices::openUrl(QUrl::fromLocalFile(manual))) {
    ShowNotice(tr("The manual could not be opened: %1").arg(manual));
  }
}

void Mainframe::About() { AboutDlg(this).exec(); }

void Mainframe::ShowLowerView(int view) {
  lowerView = view;
  mixer->setVisible(view == kMixer);
  playlistView->setVisible(view == kPlaylist);
  karaokeView->setVisible(view == kKaraoke);
  RefreshSwitches();
}

void Mainframe::ShowNotice(const QString& text) {
  Kesh::Log("%s", text.toUtf8().constData());
  // One line under the stage: a very long name would only cost layout time.
  constexpr qsizetype kLongest = 400;
  notice->setText(text.size() > kLongest ? text.left(kLongest) + QChar(0x2026) : text);
  noticeFade->stop();
  noticeOpacity->setOpacity(1.0);
  notice->show();
  notice->raise();
  QTimer::singleShot(4000, noticeFade, [this] { noticeFade->start(); });
}

L::ImageButton* Mainframe::Transport(int id) const {
  const auto found = transport.find(static_cast<Game::TransportCommand>(id));
  return found == transport.end() ? nullptr : found->second;
}

L::ImageButton* Mainframe::Tool(int id) const {
  const auto found = tools.find(static_cast<Game::ToolCommand>(id));
  return found == tools.end() ? nullptr : found->second;
}

L::ImageButton* Mainframe::StageButton(int id) const {
  const auto found = stageButtons.find(static_cast<Game::StageCommand>(id));
  return found == stageButtons.end() ? nullptr : found->second;
}

QString Mainframe::Notice() const { return notice->isVisible() ? notice->text() : QString(); }

void Mainframe::ResetMixer() {
  if (module != nullptr) {
    for (int c = 0; c < kChannels; ++c) {
      module->SetVolume(c, 100);
      module->SetPan(c, 0);
      strips[c]->SetLevel(module->GetVolume(c));
      strips[c]->SetPan(module->GetPan(c));
      module->SetMute(c, false);
      if (game != nullptr) {
        const std::lock_guard<std::recursive_mutex> frame(*core.frameLock);
        for (auto* animation : game->GetPlayer().AnimationsOfChannel(c)) {
          if (animation->GetArtist() != nullptr) {
            animation->GetArtist()->shown = true;
          }
        }
      }
    }
    if (module->GetCrowd() != nullptr) {
      module->GetCrowd()->Mute(false);
      module->GetCrowd()->SetVolume(1.0F, 1.0F);
    }
  }
  crowdLevel = leftGain = rightGain = 1.0F;
  strips[kChannels]->SetPan(static_cast<int>((leftGain - rightGain) * -64));
  strips[kChannels]->SetLevel(static_cast<int>((leftGain + rightGain) * 120 / 2));
  RefreshSwitches();
}

void Mainframe::RefreshMixerNames() {
  const Artists::Manager* artists = ArtistsOrNull();
  for (int c = 0; c < kChannels; ++c) {
    QString name;
    if (c == 9) {
      name = QStringLiteral("Drums");
    } else if (game != nullptr && artists != nullptr) {
      const std::vector<int> patches = game->GetPlayer().PatchesOfChannel(c);
      if (!patches.empty()) {
        name = QString::fromStdString(artists->GetInstrumentName(patches.front()));
      }
    }
    strips[c]->SetName(name);
  }
}

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
  if (module != nullptr) {
    transposeLabel->setText(QString::number(module->GetTranspose()));
  }
  RefreshMixerNames();
  RefreshPlaylistView();
  RefreshSwitches();
}

void Mainframe::RefreshSwitches() {
  if (game == nullptr) {
    return;
  }
  const Game::State& state = game->GetState();
  tools[Game::ToolCommand::kSave]->setEnabled(state.running);
  tools[Game::ToolCommand::kSave]->setToolTip(
      state.running ? tr("Save the show as a project")
                    : tr("Save the show as a project (open a song first)"));
  transport[Game::TransportCommand::kLoop]->setChecked(state.loop);
  transport[Game::TransportCommand::kRecord]->setChecked(state.recording);
  transport[Game::TransportCommand::kPause]->setChecked(state.paused);
  transport[Game::TransportCommand::kPlaylistView]->setChecked(lowerView == kPlaylist);
  transport[Game::TransportCommand::kMixerView]->setChecked(lowerView == kMixer);
  transport[Game::TransportCommand::kKaraokeView]->setChecked(lowerView == kKaraoke);
  for (auto& [id, button] : transport) {
    button->setCheckable(true);
  }
  const std::pair<Game::StageCommand, bool> toggles[] = {
      {Game::StageCommand::kNoClear, state.noClear},
      {Game::StageCommand::kCounterReadout, state.counterReadout},
      {Game::StageCommand::kTimeReadout, state.timeReadout},
      {Game::StageCommand::kAutoFades, state.autoFades},
      {Game::StageCommand::kAutoLights, state.autoLights},
      {Game::StageCommand::kAutoCrowd, state.autoCrowd}};
  for (const auto& [id, on] : toggles) {
    stageButtons[id]->setCheckable(true);
    stageButtons[id]->setChecked(on);
  }
  stageButtons[Game::StageCommand::kLighter]->setEnabled(!state.autoFades);
  stageButtons[Game::StageCommand::kDarker]->setEnabled(!state.autoFades);
  lightFrame->setEnabled(!state.autoLights);
  crowdFrame->setEnabled(!state.autoCrowd);
  const Styles::Manager* styles = StylesOrNull();
  if (const Styles::Style* style = styles != nullptr ? styles->GetCurrent() : nullptr) {
    const int index = stylePicker->findText(QString::fromStdString(style->GetName()));
    if (index >= 0) {
      stylePicker->setCurrentIndex(index);
    }
  }
  for (int c = 0; c < kChannels; ++c) {
    bool shown = true;
    const auto animations = game->GetPlayer().AnimationsOfChannel(c);
    if (!animations.empty() && animations.front()->GetArtist() != nullptr) {
      shown = animations.front()->GetArtist()->shown;
    }
    strips[c]->SetArtistsPressed(shown);
    strips[c]->SetSoundPressed(module == nullptr || !module->GetMute(c));
  }
  const bool crowdOn =
      module != nullptr && module->GetCrowd() != nullptr && !module->GetCrowd()->IsMuted();
  strips[kChannels]->SetArtistsPressed(crowdOn);
}

void Mainframe::RefreshPlaylistView() {
  if (game == nullptr) {
    return;
  }
  const auto& playlist = game->GetPlaylist();
  playlistView->SetItems(playlist.Paths(), playlist.GetCurrent());
}

void Mainframe::AddItems() {
  if (game == nullptr) {
    return;
  }
  const std::vector<std::string> files =
      FileDialogs::OpenFiles(this, tr("Append File(s)..."), FileDialogs::AddFilters());
  RestoreStartDirectory();
  for (const std::string& file : files) {
    const int kind = Game::Playlist::Classify(file);
    if (kind == Game::Playlist::kSong || kind == Game::Playlist::kProject) {
      game->GetPlaylist().AddPath(AbsolutePath(file));
    }
  }
  RefreshPlaylistView();
}

void Mainframe::SavePlaylist() {
  if (game == nullptr) {
    return;
  }
  const std::string path = FileDialogs::SaveFile(
      this, tr("Save Playlist..."), FileDialogs::kPlaylistFilter, QStringLiteral("m3u"));
  if (path.empty()) {
    return;
  }
  RestoreStartDirectory();
  std::string why;
  if (!game->GetPlaylist().SaveFile(path, &why)) {
    messages.Show("The playlist could not be saved: " + why, App::kCaption,
                  App::IMessageBox::Icon::kWarning);
  }
}

void Mainframe::PlayRow(int row) {
  if (game != nullptr && row >= 0 && row != game->GetPlaylist().GetCurrent()) {
    game->GetPlaylist().SetCurrent(row);
    PlayCurrent();
  }
}

void Mainframe::RemoveRow(int row) {
  if (game != nullptr && row >= 0) {
    delete game->GetPlaylist().RemoveAt(row);
    RefreshPlaylistView();
  }
}

void Mainframe::ClearPlaylist() {
  if (game != nullptr) {
    game->GetPlaylist().Clear();
    RefreshPlaylistView();
  }
}

void Mainframe::MoveRow(int row, int delta) {
  if (game != nullptr && game->GetPlaylist().Swap(row, row + delta) && row + delta >= 0 &&
      row + delta < game->GetPlaylist().Count()) {
    RefreshPlaylistView();
    playlistView->setCurrentRow(row + delta);
  }
}

// --- window ---

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
  settings.setValue(QStringLiteral("Mainframe/wndRect"), geometry());
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
