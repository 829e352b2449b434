// The game: the whole show. Owns the player of the current song, the profile, the switches, the
// playlist, the stage canvas and the frame thread that advances the show in step with the music.
// Its operations and commands are called on the user-interface thread; the frame thread runs
// AdvanceFrame and the paint requests. Every command announces what it changed to the listeners
// (see listener.h), once, after it released the game's locks. A caller-driven run (RunOffline*)
// does the same frame work on the caller's thread, for rendering without a window or a sound
// device.
#pragma once

#include <atomic>
#include <cstdint>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "framework/interfaces.h"
#include "framework/synch.h"
#include "game/commands.h"
#include "game/frontend.h"
#include "game/listener.h"
#include "game/playlist.h"
#include "game/profile.h"
#include "game/state.h"
#include "gfx/canvas.h"
#include "gfx/lyric_page.h"
#include "tavro/player_module.h"

namespace Kesh::Game {

class Player;

class Game : public Vell::ILoadable, public Vell::ISaveable {
 public:
  // The window's frame rate, and the rate at which the show's files count frames (light
  // envelopes, fades, strobes, automation delays, recorded actions, images of a flip-book).
  static constexpr int kFrameRate = 25;
  // The frame rates a caller-driven run may take instead.
  static constexpr int kFrameRates[] = {25, 30, 50, 60};
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
  void ResetDisplaySwitches();

  // --- Listeners (any thread) ---
  // The listener hears every change while the subscription lives; either may outlive the game.
  [[nodiscard]] std::unique_ptr<Listeners::Subscription> Subscribe(IListener* listener);
  // Tells the listeners; never with the frame lock or the load mutex held.
  void Announce(Change what) { listeners->Announce(what); }

  // --- Commands (user-interface thread; each announces its change) ---
  // The display switches that record no action.
  enum class Switch { kNoClear, kCounterReadout, kTimeReadout };
  void ToggleSwitch(Switch which);
  // Pauses a running song, or resumes a paused one.
  void TogglePause();
  // Plays a song that is loaded and stopped; else as TogglePause.
  void PlayOrPause();
  void ToggleLoop();
  void ToggleRecording();
  void SetKaraoke(bool on);
  // A light, crowd or fade effect, or an automation toggle, of the stage controls: recorded while
  // the game records (see Player::LiveAction). Effects need a running song; toggles do not.
  void LiveAction(ActionCode code);
  // The styles by id (empty when they could not be loaded), the current one's id (-1: none) and
  // the choice of one.
  std::vector<std::string> StyleNames();
  int CurrentStyleId();
  void SelectStyle(int id);

  // The mixer: the module's sixteen channels, the artists that play them and the crowd. Without a
  // player module the channels play nothing and keep their defaults.
  static constexpr int kChannels = 16;
  static constexpr int kDefaultVolume = 100;
  static constexpr int kDrumChannel = 9;
  static constexpr int kTransposeLimit = 12;  // semitones either way
  void SetChannelMuted(int channel, bool muted);
  bool ChannelMuted(int channel) const;
  void SetChannelVolume(int channel, int volume);
  int ChannelVolume(int channel) const;
  void SetChannelPan(int channel, int pan);
  int ChannelPan(int channel) const;
  // Whether the artists of a channel are on the stage (true when it has none).
  void SetArtistsShown(int channel, bool shown);
  bool ArtistsShown(int channel);
  // The instrument the channel's first patch names ("Drums" on the drum channel; "" when none).
  std::string ChannelName(int channel);
  bool HasCrowd() const;
  void SetCrowdMuted(bool muted);
  bool CrowdMuted() const;
  void SetCrowdVolume(float left, float right);
  // Every channel at full volume, centred, sounding, its artists shown; the crowd on at full level.
  void ResetMixer();
  void Transpose(int delta);
  int Transposition() const;
  // The player module's first MIDI output: its built-in synthesizer.
  static constexpr int kBuiltInOutput = 0;
  // Plays through the MIDI output the profile keeps. When it cannot be opened (unplugged, or the
  // ports were numbered anew) the built-in synthesizer plays, the profile says so, and why tells.
  [[nodiscard]] bool OpenSavedOutput(std::string* why);
  // The stage controls' reset: the display switches, the mixer and the transposition.
  void ResetShow();
  // The artists the artist manager holds (empty when they could not be loaded).
  struct ArtistInfo {
    std::string thumb;  // image file, relative to the data folder
    std::string name;
    std::string description;
  };
  static std::vector<ArtistInfo> ArtistList();

  // Caller-driven runs: the same frames without a thread, advanced by RunOfflineFrame (one frame
  // before the music starts, the module's clock after; one frame each step at a frame rate other
  // than kFrameRate).
  bool StartOfflineRun();
  void RunOfflineFrame();
  // The show's frames per second (one of kFrameRates), for caller-driven runs: set before a song
  // is opened; the show keeps its timing in seconds. The window runs at kFrameRate.
  [[nodiscard]] bool SetFrameRate(int rate);
  int FrameRate() const { return frameRate; }
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
  // The stage canvas: the logical stage (the size the game was made with) times the render scale
  // of the show loaded last. Read it under the frame lock while a run may draw.
  Vell::Gfx::Canvas& GetCanvas() { return *canvas; }
  // The render scale (1 or 2; other values are held there) the stage is drawn at from the next
  // show loaded (Open, Load) on: the canvas, the images read and everything drawn. Any thread,
  // also before the first load.
  void SetRenderScale(int scale);
  // The scale asked for last (the canvas's own is GetCanvas().Scale()).
  int GetRenderScale() const { return renderScale; }
  Profile& GetProfile() { return profile; }
  State& GetState() { return state; }
  Playlist& GetPlaylist() { return playlist; }
  bool SongLoaded() const { return songLoaded; }
  bool StopRequested() const { return stopRequested; }
  bool ThreadRunning() const { return frameThread.joinable() && !threadEnded; }
  const std::string& Title() const { return title; }
  void SetTitle(std::string value) { title = std::move(value); }

  // The show's frame (fractional) in the current run: it follows the module's clock once the
  // music plays. Any thread.
  float FramePosition() const { return framePosition; }
  // Whether the music of the current run has started (and the song has not ended). Any thread.
  bool MusicStarted() const { return audioStarted; }

  // What the stage's read-outs show: the song's time (-1: not shown) and the bar counter (-1: not
  // shown), as the switches ask, from the module's clock now. Any thread.
  struct Readouts {
    int64_t timeMs = -1;
    int counter = -1;
  };
  Readouts CurrentReadouts() const;
  // The karaoke lines of the player's lyric page now; none while the karaoke switch is off.
  // Takes the frame lock.
  std::vector<Vell::Gfx::LyricLine> KaraokeLines();
  // One frame of a caller-driven run in the caller-driven order: the frame is drawn (starting the
  // music when its time has come), its read-outs are taken, then the module's offline clock moves
  // on by one frame, so that a frame's sound is what plays while it is shown.
  Readouts StepOffline();

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
  // Before a show loads (no run going): brings the canvas, the hub's image scale, the cached
  // artists and the current style's images to the scale asked for, when it changed.
  void ApplyRenderScale();
  // After a frame is tracked: starts the music when its time has come; at the song's end plus the
  // end pause, rewinds (loop) or tells the main window once.
  void FollowSong(int frame);
  // Starts the song again from the top (end of a song with loop set).
  void Rewind();
  // Restarts the frame clock (a run's start, a rewind).
  void RestartClock();
  // Announces the switches a frame's recorded toggles flipped (frame thread, locks released).
  void AnnounceFlips();

  Services services;
  Vell::Time::Synch synch;
  std::mutex synchLock;
  std::thread frameThread;
  std::unique_ptr<Vell::Gfx::Canvas> canvas;
  int stageWidth;  // the logical stage, in stage units
  int stageHeight;
  std::atomic<int> renderScale{1};
  std::atomic<bool> songLoaded{false};
  std::atomic<bool> stopRequested{true};
  bool offlineRun = false;
  int frameRate = kFrameRate;
  int64_t offlineFrames = 0;  // frames of the caller-driven run so far
  std::string title;
  std::string songPath;  // the song file that is open; empty for a project's own song
  std::string loadError;
  std::unique_ptr<Player> player;
  Profile profile;
  State state;
  Playlist playlist;
  // Tests move the clock of a paused show to a moment far into the song.
  friend struct ClockForTests;
  // The frame loop's values, shared by the frame thread, the caller-driven run and Play.
  std::atomic<float> framePosition{0};
  std::atomic<bool> audioStarted{false};
  std::atomic<uint32_t> lastAudioMs{0};
  std::atomic<bool> threadEnded{false};
  bool songEndPosted = false;  // frame thread
  std::shared_ptr<Listeners> listeners = std::make_shared<Listeners>();
};

}  // namespace Kesh::Game
