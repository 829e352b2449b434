// The show of the current song: prepares it (analysis, meter check, candidate ranking, artists
// within the profile's limit, drum kit, lead-in, style) and runs it frame by frame (sets, actions,
// lyrics, post effects, style, music start, song end). Opening, preparing and Reset run on the
// user-interface thread while no frame runs; Track and Render run on the frame thread inside the
// hub's frame lock. Owns the analysis, the animations, the action list and the sprite scene.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "data/actions.h"
#include "data/analysis.h"
#include "data/animation_track.h"
#include "framework/exception.h"
#include "framework/interfaces.h"
#include "game/lyrics.h"
#include "gfx/canvas.h"
#include "gfx/sprites.h"

namespace Kesh::Game {

class Game;

class Player : public Vell::ITrackable, public Vell::IRenderable, public Vell::ITriggerable {
 public:
  using Animation = Data::Tracks::Animation;

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
  // Starts the song again from the top (end of a song with loop set).
  void Rewind();

  void Track(int frame) override;
  void Render(int frame) override;

  LyricState GetLyricState() const { return lyrics.State(); }
  const LyricPage& Lyrics() const { return lyrics; }
  std::vector<int> PatchesOfChannel(int channel) const;
  std::vector<Animation*> AnimationsOfChannel(int channel) const;

  const std::vector<Animation*>& Animations() const { return animations; }
  Data::Tracks::Action& Actions() { return actions; }
  const Data::Events::Analysis* GetAnalysis() const { return analysis.get(); }
  Vell::Gfx::G2D::Sprites::Scene& Scene() { return scene; }
  int64_t SongLengthMs() const { return songLengthMs; }
  int64_t AudioStartMs() const { return audioStartMs; }
  int CurrentFrame() const { return currentFrame; }
  float ProjectFactor() const { return projectFactor; }
  const std::vector<unsigned char>* SongBytes() const {
    return songBytes.empty() ? nullptr : &songBytes;
  }
  const std::multimap<int, int>& PatchesByChannel() const { return patchesByChannel; }

 private:
  void ReplayActions();
  void RunAction(int code);

  Game& game;
  std::vector<Animation*> animations;
  Data::Tracks::Action actions;
  std::vector<Artists::Animation::Set*> activeSets;
  std::multimap<int, int> patchesByChannel;
  std::unique_ptr<Data::Events::Analysis> analysis;
  Vell::Gfx::Canvas& canvas;
  Vell::Gfx::G2D::Sprites::Scene scene;
  int currentFrame = 0;
  int64_t songLengthMs = 0;
  int64_t audioStartMs = 0;
  float projectFactor = 1.0f;
  bool firstFrame = true;
  LyricPage lyrics;
  std::vector<unsigned char> songBytes;
  // Actions up to this frame have been replayed in this run.
  int replayedUpTo = -1;
  bool songEndPosted = false;
};

}  // namespace Kesh::Game
