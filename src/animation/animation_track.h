// The show of one artist: turns an instrument track of the analysis (one BarRange per bar) into a
// timeline of animation sets (when the artist walks on, which set it plays in each stretch of
// bars, when it walks off) plus the position and step keys of the sets' sprites, all in the
// stage's frame clock.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "framework/exception.h"

namespace Kesh::Artists {
class Artist;
namespace Animation {
class Set;
}
}  // namespace Kesh::Artists

namespace Kesh::Data::Events {
class BarRange;
}

namespace Vell::Gfx::G2D::Sprites {
class Sprite;
}

namespace Kesh::Data::Tracks {

class Event;

class AnimationNotFoundException : public Vell::MessageException {
 public:
  // detail: which artist lacks which set, for the log.
  explicit AnimationNotFoundException(std::string detail = {})
      : MessageException("Artist animation set not found") {
    SetDetail(std::move(detail));
  }
};

class AnimationInvalidParamException : public Vell::MessageException {
 public:
  AnimationInvalidParamException() : MessageException("Invalid animation parameter specified") {}
};

class PatchNotFoundException : public Vell::MessageException {
 public:
  explicit PatchNotFoundException(int patch)
      : MessageException("Artist for patch #" + std::to_string(patch) + " not found"),
        patch(patch) {}
  int patch;
};

// The beat factor of a bar: how many bars one cycle of a playing sequence spans (0.125 ... 8),
// from the meter and the tempo in whole beats per minute; -1 for a meter and tempo the show does
// not support.
float BeatFactor(int numerator, int denominator, int bpm);

// Seeds the draw that picks the departure side of artists that can leave either way; a process
// starts with kDepartureSeed.
constexpr unsigned kDepartureSeed = 20061;
void SeedDepartures(unsigned seed);

class Animation {
 public:
  using Set = Artists::Animation::Set;
  using Timeline = std::map<uint64_t, Set*>;

  static constexpr float kLeftOffStage = -64.0f;
  static constexpr float kRightOffStage = 879.0f;

  // Finds the artist for the track (artists manager) and, when this is the artist's first track
  // of the song, clears the keys of its sets' sprites.
  // Throws PatchNotFoundException when no artist plays the patch.
  // imageRate: the images a second of the sets' flip-books, the unit of their walking speeds
  // (stage pixels per image); 0 takes the frame rate, one image a frame.
  Animation(const Event* track, const Event* barTrack, int frameRate, int imageRate = 0);
  Animation(const Animation&) = delete;
  Animation& operator=(const Animation&) = delete;
  virtual ~Animation() = default;

  // Places the artist on the stage and works out the entry. lateness: how far the artist would
  // overrun its first active bar if the music started at 0 ms. false when the track is unusable
  // (no events, not starting at 0, no active bar). Throws AnimationNotFoundException and
  // AnimationInvalidParamException for missing sets and walking sets without speed.
  bool Prepare(uint64_t& lateness);
  // The same lateness for the cell the artist stands in now. An artist placed later may push
  // this one to another cell, which changes its walk: the player asks again after the last
  // Prepare and starts the music after the largest. 0 before a successful Prepare.
  uint64_t Lateness() const;
  // Fills the timeline and the sprite keys for the whole song, every time shifted by offset ms.
  // false when it stops early (a bar of an unsupported meter).
  bool Build(uint64_t offset);
  // The set shown at t ms, or null (before the first entry, empty timeline, artist hidden).
  Set* CurrentSet(uint64_t t) const;
  // Whether a bar counts as full enough: for melodic artists its coverage is above the staccato
  // setting, for the others its weight is at least 1.
  bool BarQualifies(const Events::BarRange& range) const;

  // Gathers the timelines of the drum group animations into one drummer (null entries skipped);
  // null when there is none. The drummer walks in with the earliest group and leaves with the
  // last; at equal times a playing set wins over a rest.
  static Animation* MergeDrums(const std::vector<Animation*>& animations);

  const Event* GetTrack() const { return track; }
  const Event* GetBarTrack() const { return barTrack; }
  Artists::Artist* GetArtist() const { return artist; }
  const Timeline& GetTimeline() const { return timeline; }
  int GetFrameRate() const { return frameRate; }
  // When the walk on starts and the walk off ends (ms of show time); UINT64_MAX and 0 before
  // Build.
  uint64_t WalkStartMs() const { return walkStartMs; }
  uint64_t ExitEndMs() const { return exitEndMs; }

 private:
  struct Bar {
    uint64_t start = 0;
    uint64_t duration = 0;
    float factor = 1;
    float noteCount = 0;     // the largest note count of the bar's ranges
    bool qualifies = false;  // that range's BarQualifies
    bool active = false;  // for non-melodic artists: a range reaching the threshold and qualifying
    float drumHits = 0;   // for the drum groups: all drum hits of the bar
  };
  struct Pending;
  enum class Segment { kRest, kPlayFirst, kPlaySecond };

  explicit Animation(Artists::Artist* drummer);

  bool CollectBars(std::vector<Bar>& bars, size_t& badBar) const;
  int Threshold() const;
  bool IsMelodic() const;
  bool DrumMode() const;
  bool IsDrumGroup() const;
  int FirstActiveBar(const std::vector<Bar>& bars) const;
  // The bar the artist must be in place for: the first active bar, for the drum groups the first
  // bar with any drum hit when that comes earlier. -1 without an active bar.
  int EntryBar(const std::vector<Bar>& bars) const;
  void StepOnce(Vell::Gfx::G2D::Sprites::Sprite* sprite, int frame, Pending& pending) const;
  void WalkBehindPieces(Set* walk) const;
  // How far behind the deepest stage piece a walking drummer is drawn (depths of one row differ
  // by far less than a row).
  static constexpr float kBehindPieces = 0.00001f;
  Set* RequireSet(int kind) const;
  // The walk-on: the walking and arrival sets, where the walk starts and ends, and how long the
  // walk and the arrival take.
  struct Entry {
    Set* walk = nullptr;
    Set* arrival = nullptr;
    float startX = 0;
    float endX = 0;
    uint64_t walkMs = 0;
    uint64_t arriveMs = 0;
  };
  Entry ChooseEntry() const;
  uint64_t WalkMs(float distance, const Set* walk) const;
  // How long a set's images take shown once each, in ms; frames of the show for so many images.
  uint64_t FramesMs(const Set* set) const;
  int ImageFrames(int images) const;
  int ToFrame(uint64_t ms) const;

  void KeyEntry(uint64_t offset, uint64_t firstBarMs, Pending& pending);
  void KeyExit(uint64_t exitStart, Pending& pending);
  void KeyRest(const std::vector<Bar>& bars, size_t from, size_t to, uint64_t offset,
               Pending& pending);
  void KeyPlay(const std::vector<Bar>& bars, size_t from, size_t to, uint64_t offset, Segment kind,
               Pending& pending);

  const Event* track = nullptr;
  std::optional<uint64_t> firstActiveMs;  // start of the first active bar, set by Prepare
  const Event* barTrack = nullptr;
  Timeline timeline;
  Artists::Artist* artist = nullptr;
  int frameRate = 0;
  int imageRate = 0;

  // What the drummer merge needs: the entry and exit entries apart from the others.
  std::vector<std::pair<uint64_t, Set*>> entryEntries;
  std::vector<std::pair<uint64_t, Set*>> exitEntries;
  uint64_t walkStartMs = UINT64_MAX;
  uint64_t exitEndMs = 0;
};

}  // namespace Kesh::Data::Tracks
