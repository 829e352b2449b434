// The three automations of a style: fades (FadeAuto), lights and strobes (LightAuto) and crowd
// sounds (OvatixAuto). Each reads its settings from the style file, builds a schedule of timed
// cues in Prepare (user-interface thread, before playback) and fires the cues that are due in
// Track (frame thread, under the frame lock). Each owns its schedule; the style, the show and the
// crowd sub-interface they drive belong to others.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "framework/interfaces.h"

namespace Kesh::Styles {

class Style;

// One cue. Kinds are the automation's own; n is the fade automation's step count.
struct Cue {
  bool done = false;
  int time = 0;
  int kind = 0;
  int n = 0;
};

// A performer that features in the lights or the crowd, with the times of its qualifying set.
struct Featured {
  int performer = 0;
  int ordinal = 0;  // 1, 2, ... in the player's order
  std::vector<int> times;
};

// Base of the three: Start and Stop do nothing, Reset makes every cue pending again.
class Automation : public Vell::ITriggerable, public Vell::ITrackable, public Vell::ILoadableXml {
 public:
  explicit Automation(Style* owner) : owner(owner) {}
  Automation(const Automation&) = delete;
  Automation& operator=(const Automation&) = delete;
  virtual ~Automation() = default;

  bool Start() override { return true; }
  bool Stop() override { return true; }
  bool Reset() override;
  bool Load(const char* path) override { return false; }

  const std::vector<Cue>& Schedule() const { return schedule; }

 protected:
  // Keeps the schedule ordered by time, equal times in insertion order.
  void SortSchedule();
  // The song's length in frames of the show (0 without a show).
  int SongEndFrames() const;
  // Frames of the show for a count of frames in the style's files (at kStyleFrameRate).
  int64_t ShowFrames(int64_t styleFrames) const;
  static constexpr int kStyleFrameRate = 25;

  Style* owner;
  std::vector<Cue> schedule;
};

class FadeAuto : public Automation {
 public:
  enum Kind { kMarker = 0, kLighter = 1, kDarker = 2 };
  // A fade has no more levels than this; more steps would only repeat the last.
  static constexpr int kMaxSteps = 255;

  using Automation::Automation;
  // The first child element of "filters/fade": "attack", "release", "delay", "out", "in",
  // "hold".
  bool LoadXml(Vell::Data::Xml::Node* node) override;
  // Darken at once, lift step by step from delay, darken step by step from hold frames after the
  // song's end.
  bool Prepare() override;
  // At most one step per frame, only while the show's fades follow the style.
  void Track(int frame) override;

  int attack = 100;
  int release = 100;
  int delay = 100;
  int hold = 0;  // frames after the song's end before the stage darkens (the applause)
  int out = 6;
  int in = 0;
  int attackEnd = 0;
  int delayFrames = 0;  // delay in frames of the show
};

class LightAuto : public Automation {
 public:
  enum Kind {
    kStageLeft = 1,
    kStageCenter = 2,
    kStageRight = 3,
    kSearchLeft = 4,
    kSearchCenter = 5,
    kSearchRight = 6,
    kStrobe = 7,
    // A side whose bottom and top lights follow different lines fires them apart.
    kStageBottomLeft = 8,
    kStageBottomCenter = 9,
    kStageBottomRight = 10,
    kStageTopLeft = 11,
    kStageTopCenter = 12,
    kStageTopRight = 13
  };

  using Automation::Automation;
  // Takes the "strobe", "searchlights" and "stagelights" elements, one per call.
  bool LoadXml(Vell::Data::Xml::Node* node) override;
  // A cue for every time of every featured performer's playing set, by the lines lists; then,
  // with recur > 0, a stage light (centre, left, right in turn) wherever the song between the
  // first entrance and its end goes recur frames without a light cue.
  bool Prepare() override;
  // Fires every due cue; a missed first cue drops everything already past.
  void Track(int frame) override;

  // The bottom lights' lines; a side's top light follows the same list unless the file gives the
  // top light a list of its own (and a side given only a top list uses it for both).
  std::vector<int> stageLeftLines{1};
  std::vector<int> stageCenterLines{3};
  std::vector<int> stageRightLines{2};
  std::vector<int> stageTopLeftLines{1};
  std::vector<int> stageTopCenterLines{3};
  std::vector<int> stageTopRightLines{2};
  std::vector<int> searchLeftLines{4};
  std::vector<int> searchCenterLines{2};
  std::vector<int> searchRightLines{1};
  std::vector<int> strobeLines{3};
  float rangeLow = 0.6f;
  float rangeHigh = 0.8f;
  int recur = 0;  // "recur" of "stagelights": longest stretch without a light cue, frames; 0 none

 private:
  void Fire(int kind);
  // Fills the stretches of the song longer than recur without a stage or search light cue.
  void AddRecurringCues(int songEnd);
};

class OvatixAuto : public Automation {
 public:
  enum Kind { kNoise = 1, kApplause = 2, kSpeech = 3, kBravo = 4, kWhistle = 5 };
  // The crowd tail after the song's end, in milliseconds.
  static constexpr int kTailMs = 4000;
  // The song's closing stretch, in milliseconds: departures in it are applauded after the end.
  static constexpr int kFinaleMs = 15000;

  using Automation::Automation;
  // The "ovatix" element: children "noise", "whistle", "bravo", "speech", "applause".
  bool LoadXml(Vell::Data::Xml::Node* node) override;
  bool Prepare() override;
  void Track(int frame) override;

  // The series a kind plays ("noise", "applause", "speech", "bravo", "whistle"), null for others.
  static const char* SeriesOf(int kind);
  // The volume of a series by name (ignoring case); 1.0 for other names.
  float VolumeOf(const std::string& series) const;

  int noiseDelay = 50;
  int noiseInterval = 50;
  int songEnd = 0;
  int speechDelay = 5;
  int bravoDelay = 30;
  std::vector<int> bravoLines{1, 2, 3, 4};
  int applauseDelay = 25;
  int whistleDelay = 0;
  std::vector<int> whistleLines{1, 2, 3, 4};
  int firstEntrance = 0;
  float bravoVolume = 1.0f;
  float applauseVolume = 1.0f;
  float whistleVolume = 1.0f;
  float noiseVolume = 1.0f;
  float speechVolume = 1.0f;

 private:
  void Add(int64_t time, int kind);
};

}  // namespace Kesh::Styles
