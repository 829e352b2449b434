#include "game/game.h"

#include <chrono>

#include <algorithm>
#include <cmath>
#include <utility>

#include "app/log.h"
#include "artists/manager.h"
#include "framework/diagnostics.h"
#include "framework/file.h"
#include "framework/user_file.h"
#include "game/player.h"
#include "game/project.h"
#include "game/show_ending.h"
#include "gfx/scaled_png.h"
#include "gfx/sprites.h"
#include "platform/platform.h"
#include "styles/style.h"

namespace Kesh::Game {

Game::Game(Services given, int width, int height)
    : services(std::move(given)),
      canvas(std::make_unique<Vell::Gfx::Canvas>(width, height)),
      stageWidth(width),
      stageHeight(height) {
  Vell::Gfx::G2D::Sprites::Hub::Instance()->canvas = canvas.get();
  Vell::Gfx::G2D::Sprites::Hub::Instance()->imageScale = 1;
  player = std::make_unique<Player>(*this, *canvas);
  // What the show goes on without is told once, as a notice of the front end.
  Vell::Diagnostics::SetWarningSink([this](const std::string& text) { ShowNotice(text); });
}

Game::~Game() {
  Vell::Diagnostics::SetWarningSink(nullptr);
  Close();
  JoinThread();
  listeners->End();
  player.reset();
  if (Vell::Gfx::G2D::Sprites::Hub::Exists() &&
      Vell::Gfx::G2D::Sprites::Hub::Instance()->canvas == canvas.get()) {
    Vell::Gfx::G2D::Sprites::Hub::Instance()->canvas = nullptr;
  }
}

bool Game::Open(const std::string& path) {
  RequestStop();
  switch (Playlist::Classify(path)) {
    case Playlist::kProject:
      return Load(path.c_str());
    case Playlist::kSong:
      break;
    default:
      return false;
  }
  Close();
  ApplyRenderScale();
  if (!player->OpenSong(path)) {
    return false;
  }
  songPath = path;
  songLoaded = true;
  CheckModule();
  (void)player->TakeSwitchesFlipped();  // the song's announcement covers the switches
  Announce(Change::kSong);
  return true;
}

bool Game::Load(const char* path) {
  Close();
  ApplyRenderScale();
  std::string why;
  if (path == nullptr || !player->LoadProject(path, &why)) {
    Log("%s", why.c_str());
    loadError = why.empty() ? "the project cannot be opened" : why;
    player->Reset();
    title.clear();
    return false;
  }
  loadError.clear();
  songLoaded = true;
  CheckModule();
  (void)player->TakeSwitchesFlipped();  // the song's announcement covers the switches
  Announce(Change::kSong);
  return true;
}

void Game::SetRenderScale(int scale) {
  renderScale = std::clamp(scale, Vell::Gfx::kMinRenderScale, Vell::Gfx::kMaxRenderScale);
}

void Game::ApplyRenderScale() {
  const int scale = renderScale;
  if (scale == canvas->Scale()) {
    return;
  }
  {
    // Open and Load run with the frame thread ended, and in the window with loadMutex held by the
    // caller (taking it here again would never return): the frame lock keeps the window's paint
    // off the canvas while it changes.
    const std::lock_guard<std::recursive_mutex> frame(*services.frameLock);
    canvas->Reshape(stageWidth, stageHeight, scale);
    Vell::Gfx::G2D::Sprites::Hub::Instance()->imageScale = scale;
    // Artists kept from earlier songs hold images of the old scale.
    if (Artists::Manager::Exists()) {
      Artists::Manager::Instance()->DropUnused();
    }
    if (Styles::Style* style = player->CurrentStyle()) {
      style->LoadImages();
    }
  }
  Log("The stage is drawn at scale %d (%d x %d pixels)", scale, canvas->Width(), canvas->Height());
}

bool Game::Save(const char* path) {
  std::string why;
  if (path == nullptr || !SaveProject(path, &why)) {
    ShowMessage("The project could not be saved: " + why, App::IMessageBox::Icon::kWarning);
    return false;
  }
  return true;
}

bool Game::SaveProject(const std::string& path, std::string* why) {
  if (!songLoaded) {
    if (why != nullptr) {
      *why = "no song is open";
    }
    return false;
  }
  Project::Source source;
  source.title = title;
  source.factor = player->ProjectFactor();
  if (Styles::Style* style = player->CurrentStyle()) {
    source.style = style->GetName();
  }
  // The song's own bytes when it came from a project, else the file of the song that is open
  // (not whatever the playlist's current item has become since).
  source.song = player->SongBytes();
  source.songPath = songPath;
  source.actions = &player->Actions();
  Vell::Data::MemoryStg bytes;
  {
    // No frame runs meanwhile, so the switches and the actions hold still while they are taken.
    const std::lock_guard<std::recursive_mutex> frame(*services.frameLock);
    State stored(state);
    player->ShowEndSwitches(stored);
    source.state = &stored;
    if (!Project::Write(bytes, source, why)) {
      return false;
    }
  }
  const std::vector<unsigned char>& content = bytes.Bytes();
  return Vell::Data::WriteUserFile(
      path, std::string_view(reinterpret_cast<const char*>(content.data()), content.size()), why);
}

void Game::Close() {
  if (offlineRun) {
    StopOfflineRun();
  }
  RequestStop();
  // Only a frame thread that was started is waited for.
  JoinThread();
  if (!songLoaded) {
    return;
  }
  songLoaded = false;
  player->Reset();
  title.clear();
  songPath.clear();
  (void)player->TakeSwitchesFlipped();  // the song's announcement covers the switches
  Announce(Change::kSong);
}

void Game::JoinThread() {
  if (frameThread.joinable()) {
    frameThread.join();
  }
}

void Game::Play() {
  if (!songLoaded || offlineRun) {
    return;
  }
  std::promise<void> go;
  bool created = false;
  if (stopRequested || !frameThread.joinable()) {
    JoinThread();
    // Running from its creation on, not only once it has begun: a caller that asks right away
    // must not see the previous run's end.
    threadEnded = false;
    try {
      frameThread = std::thread(&Game::ThreadMain, this, go.get_future().share());
      created = true;
    } catch (const std::system_error& error) {
      Log("The frame thread could not be started: %s", error.what());
      return;
    }
  }
  if (state.paused) {
    const int64_t t = static_cast<int64_t>(std::floor(framePosition.load())) * 1000 / frameRate;
    if (t >= player->AudioStartMs() && services.module != nullptr) {
      services.module->Play();
    }
    std::lock_guard<std::mutex> guard(synchLock);
    synch.Start();
  } else if (player->AudioStartMs() > 0 && services.module != nullptr && created) {
    services.module->Play();
    services.module->Pause();
  }
  stopRequested = false;
  state.running = true;
  state.paused = false;
  if (created) {
    go.set_value();
  }
  CheckModule();
  Announce(Change::kTransport);
}

void Game::Pause() {
  if (stopRequested || !frameThread.joinable()) {
    return;
  }
  if (state.running) {
    state.paused = true;
  }
  if (services.module != nullptr) {
    services.module->Pause();
  }
  Announce(Change::kTransport);
}

void Game::RequestStop() {
  stopRequested = true;
  const bool wasRunning = state.running.exchange(false);
  state.paused = false;
  if (wasRunning) {
    Announce(Change::kTransport);
  }
}

void Game::RestartClock() {
  {
    std::lock_guard<std::mutex> guard(synchLock);
    synch.Reset();
  }
  framePosition = 0;
  lastAudioMs = 0;
}

void Game::Rewind() {
  RestartClock();
  if (services.module != nullptr) {
    services.module->Stop();
    services.module->Play();
    services.module->Pause();
  }
  player->ResetPlayback();
  songEndPosted = false;
}

void Game::FollowSong(int frame) {
  const int64_t t = static_cast<int64_t>(frame) * 1000 / frameRate;
  if (t < player->SongLengthMs()) {
    if (t >= player->AudioStartMs() && !audioStarted) {
      if (services.module != nullptr) {
        services.module->Play();
        CheckModule();  // the synthesizer is made at the first Play
      }
      audioStarted = true;
    }
    return;
  }
  audioStarted = false;
  if (t >= ShowEnding::EndMs(player->SongLengthMs(), Player::kEndPauseMs, offlineRun)) {
    if (state.loop) {
      Rewind();
    } else if (!songEndPosted) {
      songEndPosted = true;
      PostSongEnd();
    }
  }
}

Game::Readouts Game::CurrentReadouts() const {
  Readouts shown;
  Audio::IPlayer* module = services.module;
  if (module == nullptr) {
    return shown;
  }
  if (state.timeReadout) {
    int64_t elapsed = 0;
    module->GetTime(&elapsed);
    shown.timeMs = std::max<int64_t>(elapsed, 0);
  }
  if (state.counterReadout) {
    shown.counter = module->GetCounter();
  }
  return shown;
}

std::vector<Vell::Gfx::LyricLine> Game::KaraokeLines() {
  if (!state.karaoke) {
    return {};
  }
  const std::lock_guard<std::recursive_mutex> frame(*services.frameLock);
  const LyricState lyrics = player->GetLyricState();
  return Vell::Gfx::LayoutLyricPage(lyrics.syllables, lyrics.currentSyllable, lyrics.lines);
}

void Game::ShowMessage(const std::string& text, App::IMessageBox::Icon icon) {
  if (services.frontEnd.messages != nullptr) {
    services.frontEnd.messages->Show(text, App::kCaption, icon);
  } else {
    Log("%s: %s", App::kCaption, text.c_str());
  }
}

void Game::ShowNotice(const std::string& text) {
  if (services.frontEnd.messages != nullptr) {
    services.frontEnd.messages->Notice(text);
  } else {
    Log("%s", text.c_str());
  }
}

void Game::CheckModule() {
  Audio::IPlayer* module = services.module;
  if (module == nullptr) {
    return;
  }
  char text[1024];
  const int state = module->GetSoundFontState(text, sizeof text);
  if (state == Audio::kSoundFontFallback || state == Audio::kSoundFontNone) {
    Vell::Diagnostics::Warn(text);
  }
  if (module->GetCrowdEngineError(text, sizeof text)) {
    Vell::Diagnostics::Warn(text);
  }
}

void Game::PostSongEnd() {
  if (services.frontEnd.mainWindow != nullptr) {
    services.frontEnd.mainWindow->Post(App::kSongEndMessage, 0, 0);
  }
}

void Game::BeginRun() {
  threadEnded = false;
  std::lock_guard<std::recursive_mutex> frame(*services.frameLock);
  player->Scene().Reset();
  framePosition = 0;
  lastAudioMs = 0;
  songEndPosted = false;
  player->BeginRun();
  player->ResetPlayback();
  {
    std::lock_guard<std::mutex> guard(synchLock);
    synch.Start();
  }
  audioStarted = false;
}

void Game::EndRun() {
  if (services.module != nullptr) {
    services.module->Stop();
  }
  audioStarted = false;
  threadEnded = true;
}

void Game::AdvanceFrame(float intervalSeconds) {
  // A load holds loadMutex while it closes the run and waits for this thread to end: waiting for
  // the lock gives up once a stop is requested, so that wait always ends. Polled with try_lock:
  // the timed wait (pthread_mutex_clocklock) is invisible to ThreadSanitizer, which then reports
  // every unlock as one of an unlocked mutex.
  std::unique_lock<std::timed_mutex> load(*services.loadMutex, std::defer_lock);
  while (!load.try_lock()) {
    if (stopRequested) {
      return;
    }
    Vell::Platform::SleepMs(1);
  }
  std::lock_guard<std::recursive_mutex> frame(*services.frameLock);
  if (!state.noClear) {
    canvas->Clear();
  }
  const int f = static_cast<int>(framePosition.load());
  const bool audioWasStarted = audioStarted;
  player->Track(f);
  FollowSong(f);
  player->Render(f);
  // The artists' images not shown yet, a few a frame: the song opens without waiting for them, and
  // after a few seconds no frame has to read many at once.
  player->ReadAhead(kReadAheadImages);
  float advance = 0;
  if (offlineRun && frameRate != kFrameRate) {
    // A caller-driven run moves the module's clock by exactly one frame per step, to the
    // millisecond at or after the frame's time: the show steps one frame each time, whatever
    // the rounding of the frame's length to milliseconds.
    advance = 1.0f;
  } else if (audioStarted && !audioWasStarted && offlineRun && services.module != nullptr) {
    // The music starts with this frame; a caller-driven clock moves the module only after the
    // frame, so the show steps one frame as before and follows the module from here on (the
    // module's clock standing still would repeat this frame).
    lastAudioMs = static_cast<uint32_t>(std::max(services.module->GetPositionMs(), 0));
    advance = static_cast<float>(frameRate) * intervalSeconds;
  } else if (audioStarted && services.module != nullptr) {
    const uint32_t m = static_cast<uint32_t>(std::max(services.module->GetPositionMs(), 0));
    advance = static_cast<float>(frameRate) *
              static_cast<float>(static_cast<int64_t>(m) - static_cast<int64_t>(lastAudioMs)) /
              1000.0f;
    lastAudioMs = m;
  } else {
    advance = static_cast<float>(frameRate) * intervalSeconds;
  }
  framePosition = framePosition + advance;
}

void Game::PaintFrame() {
  const FrontEnd& windows = services.frontEnd;
  if (windows.stage != nullptr) {
    windows.stage->Send(App::kPaintMessage, App::kNewFrameMarker, 0, &stopRequested);
  }
  if (windows.karaoke != nullptr) {
    windows.karaoke->Post(App::kPaintMessage, App::kNewFrameMarker, 0);
  }
  if (windows.timeline != nullptr) {
    windows.timeline->Post(App::kPaintMessage, 0, 0);
  }
}

void Game::ThreadMain(std::shared_future<void> go) {
  go.wait();
  BeginRun();
  AnnounceFlips();
  const float period = 1.0f / static_cast<float>(frameRate);
  while (!stopRequested) {
    if (state.paused) {
      const FrontEnd& windows = services.frontEnd;
      if (windows.stage != nullptr) {
        windows.stage->Post(App::kPaintMessage, App::kPausedFrameMarker, 0);
      }
      if (windows.karaoke != nullptr) {
        windows.karaoke->Post(App::kPaintMessage, App::kPausedFrameMarker, 0);
      }
      Vell::Platform::SleepMs(kPausedRepaintMs);
      continue;
    }
    float remaining = 0;
    float interval = 0;
    bool due = false;
    {
      std::lock_guard<std::mutex> guard(synchLock);
      due = synch.Wait(period, &remaining);
      interval = synch.LastInterval();
    }
    if (due) {
      AdvanceFrame(interval);
      AnnounceFlips();
      if (stopRequested) {
        break;
      }
      PaintFrame();
      Vell::Platform::SleepMs(1);
    } else {
      // One sleep to the frame's due time: sleeping a fraction of the rest again and again ended
      // in a busy loop of yields for the last millisecond of every frame.
      std::this_thread::sleep_for(std::chrono::duration<float>(remaining));
    }
  }
  EndRun();
}

bool Game::StartOfflineRun() {
  if (!songLoaded) {
    return false;
  }
  RequestStop();
  JoinThread();
  if (player->AudioStartMs() > 0 && services.module != nullptr) {
    services.module->Play();
    services.module->Pause();
  }
  stopRequested = false;
  state.running = true;
  state.paused = false;
  offlineRun = true;
  offlineFrames = 0;
  BeginRun();
  CheckModule();
  Announce(Change::kTransport);
  AnnounceFlips();
  return true;
}

void Game::RunOfflineFrame() {
  if (!offlineRun) {
    return;
  }
  AdvanceFrame(1.0f / static_cast<float>(frameRate));
  AnnounceFlips();
  PaintFrame();
}

Game::Readouts Game::StepOffline() {
  if (!offlineRun) {
    return {};
  }
  RunOfflineFrame();
  const Readouts shown = CurrentReadouts();
  if (services.module != nullptr) {
    // To the millisecond at or after the next frame's time, so that the sound of every frame has
    // been made when it is taken and the rounding never adds up.
    const auto msAt = [&](int64_t frame) { return (frame * 1000 + frameRate - 1) / frameRate; };
    (void)services.module->AdvanceOffline(
        static_cast<int>(msAt(offlineFrames + 1) - msAt(offlineFrames)));
    ++offlineFrames;
  }
  return shown;
}

bool Game::SetFrameRate(int rate) {
  if (songLoaded ||
      std::find(std::begin(kFrameRates), std::end(kFrameRates), rate) == std::end(kFrameRates)) {
    return false;
  }
  frameRate = rate;
  return true;
}

void Game::StopOfflineRun() {
  if (!offlineRun) {
    return;
  }
  offlineRun = false;
  RequestStop();
  EndRun();
}

}  // namespace Kesh::Game
