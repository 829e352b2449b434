// The game: the whole show. Owns the player of the current song, the profile, the switches, the
// playlist, the stage canvas and the frame thread that advances the show in step with the music.
// Its operations are called on the user-interface thread; the frame thread runs AdvanceFrame and
// the paint requests. A caller-driven run (RunOffline*) does the same frame work on the caller's
// thread, for rendering without a window or a sound device.
#pragma once

#include <atomic>
#include <cstdint>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "framework/interfaces.h"
#include "framework/synch.h"
#include "game/frontend.h"
#include "game/playlist.h"
#include "game/profile.h"
#include "game/state.h"
#include "gfx/canvas.h"
#include "tavro/player_module.h"

namespace Kesh::Game {

class Player;

class Game : public Vell::ILoadable, public Vell::ISaveable {
 public:
  static constexpr int kFrameRate = 25;
  // Sprite images read ahead per frame (each about a fifth of a millisecond).
  static constexpr int kReadAheadImages = 4;
  static constexpr int kPausedRepaintMs = 160;

  // What the game is given by the hub: the player module (null when it could not be loaded, with
  // the reason in moduleError), the two locks and the front end.
  struct Services {
    Audio::IPlayer* module = nullptr;
    std::string moduleError;
    std::timed_mutex* loadMutex = nullptr;
    std::recursive_mutex* frameLock = nullptr;
    FrontEnd frontEnd;
  };

  Game(Services services, int width, int height);
  Game(const Game&) = delete;
  Game& operator=(const Game&) = delete;
  // Ends the run and unloads the song.
  virtual ~Game();

  // A song (".mid", ".midi", ".kar", any case) or a project (".kesh"); anything else is refused.
  // A run that is going is asked to stop first.
  bool Open(const std::string& path);
  // Loads a project file (after Close).
  bool Load(const char* path) override;
  // Why the last project load failed: the file and the reason ("" after a success).
  const std::string& LoadError() const { return loadError; }
  // Writes the current show as a project file; a failure keeps an existing file whole and tells
  // the user why. The switches stored are those the recorded show ends with (see
  // Player::ShowEndSwitches).
  bool Save(const char* path) override;
  [[nodiscard]] bool SaveProject(const std::string& path, std::string* why = nullptr);
  // Ends the run (waiting for the frame thread, if one was started) and unloads the song.
  void Close();
  // Starts a fresh run (after a stop or for a newly loaded song) or resumes a paused one.
  void Play();
  void Pause();
  // Asks the run to end and returns at once.
  void RequestStop();
  void ResetDisplaySwitches() { state.ResetDisplaySwitches(); }

  // Caller-driven runs: the same frames without a thread, advanced by RunOfflineFrame (one frame of
  // 1/25 s before the music starts, the module's clock after).
  bool StartOfflineRun();
  void RunOfflineFrame();
  void StopOfflineRun();
  bool OfflineRun() const { return offlineRun; }

  // Shows a message through the front end (or the log).
  void ShowMessage(const std::string& text, App::IMessageBox::Icon icon);
  // Shows a problem the show goes on with, without waiting (the front end's notice; any thread).
  void ShowNotice(const std::string& text);
  // Tells once what the player module had to do without: a SoundFont that did not load, the
  // crowd-sound engine. Any thread.
  void CheckModule();
  // Posts the end-of-song message to the main window.
  void PostSongEnd();

  Audio::IPlayer* Module() const { return services.module; }
  const std::string& ModuleError() const { return services.moduleError; }
  std::recursive_mutex& FrameLock() { return *services.frameLock; }
  std::timed_mutex& LoadMutex() { return *services.loadMutex; }
  Player& GetPlayer() { return *player; }
  Vell::Gfx::Canvas& GetCanvas() { return *canvas; }
  Profile& GetProfile() { return profile; }
  State& GetState() { return state; }
  Playlist& GetPlaylist() { return playlist; }
  bool SongLoaded() const { return songLoaded; }
  bool StopRequested() const { return stopRequested; }
  bool ThreadRunning() const { return frameThread.joinable() && !threadEnded; }
  const std::string& Title() const { return title; }
  void SetTitle(std::string value) { title = std::move(value); }

  // The frame loop's values, shared by the frame thread, the player's per-frame work and Play.
  std::atomic<float> framePosition{0};
  std::atomic<bool> audioStarted{false};
  std::atomic<uint32_t> lastAudioMs{0};
  std::atomic<bool> threadEnded{false};
  // Restarts the frame clock (rewind).
  void RestartClock();

 private:
  void ThreadMain(std::shared_future<void> go);
  // Run start and end, common to the thread and the caller-driven run.
  void BeginRun();
  void EndRun();
  // One frame: under both locks, clear, track, render and advance the position by the module's
  // clock or by intervalSeconds before the music starts.
  void AdvanceFrame(float intervalSeconds);
  // The frame's paint requests; the stage paint is abandoned when a stop is requested.
  void PaintFrame();
  void JoinThread();

  Services services;
  Vell::Time::Synch synch;
  std::mutex synchLock;
  std::thread frameThread;
  std::unique_ptr<Vell::Gfx::Canvas> canvas;
  std::atomic<bool> songLoaded{false};
  std::atomic<bool> stopRequested{true};
  bool offlineRun = false;
  std::string title;
  std::string songPath;  // the song file that is open; empty for a project's own song
  std::string loadError;
  std::unique_ptr<Player> player;
  Profile profile;
  State state;
  Playlist playlist;
};

}  // namespace Kesh::Game
