// The show of the current song: prepares it (analysis, meter check, candidate ranking, artists
// within the profile's limit, drum kit, lead-in, style) and runs it frame by frame (sets, actions,
// lyrics, post effects, style, music start, song end). Opening, preparing and Reset run on the
// user-interface thread while no frame runs; Track and Render run on the frame thread inside the
// hub's frame lock. Owns the analysis, the animations, the action list and the sprite scene.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "animation/animation_track.h"
#include "data/actions.h"
#include "data/analysis.h"
#include "effects/post_fx.h"
#include "framework/exception.h"
#include "framework/interfaces.h"
#include "game/commands.h"
#include "game/lyrics.h"
#include "gfx/canvas.h"
#include "gfx/sprites.h"
#include "styles/show.h"

namespace Kesh::Styles {
class Manager;
class Style;
}  // namespace Kesh::Styles

namespace Kesh::Game {

class Game;
class State;

class Player : public Vell::ITrackable,
               public Vell::IRenderable,
               public Vell::ITriggerable,
               public Styles::IShow,
               public PostFX::Source {
 public:
  using Animation = Data::Tracks::Animation;

  // An instrument part of the song that no musician plays, and why.
  struct Unplaced {
    int patch = 0;
    int channel = 0;  // 0-15
    std::string reason;
  };

  class FileNotAnalyzed : public Vell::Exception {};
  class FileNotSupportedException : public Vell::Exception {};

  static constexpr const char* kMeterMessage = "Some meter values of this song are not supported.";
  static constexpr const char* kAnalysisMessage =
      "Unable to play the file. This file may have some inner issues preventing the animation.";
  static constexpr const char* kNoPatchesMessage =
      "This file doesn't seem to contain any patches to create animation!";
  // Show time after the song's end before it restarts or the next item is asked for.
  static constexpr int64_t kEndPauseMs = 10000;
  static constexpr uint64_t kDrumKey = 4294967295ULL;

  Player(Game& game, Vell::Gfx::Canvas& canvas);
  Player(const Player&) = delete;
  Player& operator=(const Player&) = delete;
  virtual ~Player();

  // Opens the song in the player module and prepares the show. false when the module refuses it
  // (the user is told why) or preparing fails (the user is told so).
  bool OpenSong(const std::string& path);
  // Loads a project file: switches, style, actions and the song's own bytes; then prepares it.
  [[nodiscard]] bool LoadProject(const std::string& path, std::string* why = nullptr);
  // Builds the show of the song open in the module. Throws FileNotAnalyzed and
  // FileNotSupportedException.
  bool Prepare() override;
  // Unloads the song's show.
  bool Reset() override;
  bool Start() override { return true; }
  bool Stop() override { return true; }
  // The start of every run and every rewind: lyrics, style, effects and crowd back to the start.
  void ResetPlayback();

  // The start of a run: the post effects draw on the canvas, the styles prepare their schedules.
  void BeginRun();
  void Track(int frame) override;
  void Render(int frame) override;
  // Reads up to count images of the song's artists not shown yet (a song opens with only the
  // first image of each sequence read). Inside the hub's frame lock.
  void ReadAhead(int count);

  // The styles manager, or null when the styles cannot be loaded (the show runs without one).
  Styles::Manager* StyleManager();
  // The current style, or null.
  Styles::Style* CurrentStyle();

  // Styles::IShow
  std::vector<int> InstrumentPatches() const override;
  int PerformerCount() const override { return static_cast<int>(animations.size()); }
  const Vell::Gfx::G2D::Sprites::Sprite* SetSprite(int performer, int kind) const override;
  // The song's length in milliseconds (the analysis' total length).
  int SongLengthMs() const override { return static_cast<int>(songLengthMs); }
  int FrameRate() const override;
  Vell::Gfx::G2D::Sprites::Scene* SpriteScene() override { return &scene; }
  PostFX* Effects() override { return &postFx; }
  bool AutoFades() const override;
  bool AutoLights() const override;
  bool AutoCrowd() const override;
  // PostFX::Source
  int CurrentFrame() const override { return currentFrame; }
  std::vector<float> FadeParams() const override;
  std::vector<float> StrobeParams() const override;

  // A live effect from the stage controls: while the game records and a run is going, recorded at
  // the current frame (a second one in the same frame at the next free frame, which this run then
  // does not replay again), then applied as its replay would be. Called inside the hub's frame
  // lock.
  void LiveAction(ActionCode code);
  // Sets the automation switches of state to where the recorded show leaves them: the switches
  // the song starts with, every recorded toggle applied. This is what a project file stores, so
  // that loading it (which undoes the recorded toggles again) starts the show as it was seen.
  void ShowEndSwitches(State& state) const;

  // Whether a recorded or live toggle (or a run's start undoing them) flipped an automation
  // switch since the last call; the game announces it once the frame's locks are released. Any
  // thread.
  bool TakeSwitchesFlipped() { return switchesFlipped.exchange(false); }

  LyricState GetLyricState() const { return lyrics.State(); }
  const LyricPage& Lyrics() const { return lyrics; }
  std::vector<int> PatchesOfChannel(int channel) const;
  std::vector<Animation*> AnimationsOfChannel(int channel) const;

  const std::vector<Animation*>& Animations() const { return animations; }
  Data::Tracks::Action& Actions() { return actions; }
  const Data::Events::Analysis* GetAnalysis() const { return analysis.get(); }
  Vell::Gfx::G2D::Sprites::Scene& Scene() { return scene; }
  int64_t AudioStartMs() const { return audioStartMs; }
  // The show time (ms) of the song's time 0 in the animations: the latency plus the lead-in.
  int64_t ShowOffsetMs() const { return showOffsetMs; }
  // The parts of the prepared song that got no musician, in the order they were passed over.
  const std::vector<Unplaced>& UnplacedParts() const { return unplaced; }
  float ProjectFactor() const { return projectFactor; }
  const std::vector<unsigned char>* SongBytes() const {
    return songBytes.empty() ? nullptr : &songBytes;
  }
  const std::multimap<int, int>& PatchesByChannel() const { return patchesByChannel; }

 private:
  // Which automation switches a set of recorded toggles flips.
  struct Flips {
    bool fades = false;
    bool lights = false;
    bool crowd = false;
    void Note(ActionCode code);
    void ApplyTo(State& state) const;
  };

  void ReplayActions();
  // The current frame counted as recorded actions count frames (at the window's frame rate).
  int RecordedFrame() const;
  void RunAction(ActionCode code);
  // Runs a recorded action (replayed, or recorded live) and notes the toggles it applies.
  void RunRecorded(ActionCode code);
  // Flips back what the recorded toggles applied since the song's start, so the switches are
  // those the song starts with.
  void UndoAppliedToggles();
  // What all the recorded toggles of the action list flip together.
  Flips RecordedToggles() const;
  void ChooseStyle();
  // Logs why the track gets no musician and keeps the reason for the show plan.
  void NoPerformer(const Data::Tracks::Event* track, const std::string& reason);

  Game& game;
  std::vector<Animation*> animations;
  bool readAheadDone = false;  // every image of the animations' artists is read
  Data::Tracks::Action actions;
  std::vector<Artists::Animation::Set*> activeSets;
  std::multimap<int, int> patchesByChannel;
  std::unique_ptr<Data::Events::Analysis> analysis;
  Vell::Gfx::Canvas& canvas;
  Vell::Gfx::G2D::Sprites::Scene scene;
  int currentFrame = 0;
  int64_t songLengthMs = 0;
  int64_t audioStartMs = 0;
  int64_t showOffsetMs = 0;
  std::vector<Unplaced> unplaced;
  float projectFactor = 1.0f;
  bool firstFrame = true;
  LyricPage lyrics;
  std::vector<unsigned char> songBytes;
  // Actions up to this frame have been replayed in this run.
  int replayedUpTo = -1;
  // Frames after replayedUpTo whose actions were recorded live in this run (and applied then).
  std::set<int> recordedAhead;
  // The recorded toggles applied since the song's start in this run.
  Flips applied;
  std::atomic<bool> switchesFlipped{false};
  PostFX postFx{this};
  Styles::Manager* styles = nullptr;
  bool stylesTried = false;
};

}  // namespace Kesh::Game
