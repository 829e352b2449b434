#include "styles/automations.h"

#include <algorithm>
#include <array>

#include "effects/post_fx.h"
#include "framework/text.h"
#include "framework/xml.h"
#include "gfx/sprites.h"
#include "styles/numbers.h"
#include "styles/show.h"
#include "styles/style.h"
#include "tavro/player_module.h"

namespace Kesh::Styles {

namespace Xml = Vell::Data::Xml;
using Vell::Gfx::G2D::Sprites::Sprite;

namespace {

std::unique_ptr<Xml::Node> FirstChildElement(const Xml::Node& node) {
  for (auto child = node.FirstChild(); child; child = child->NextSibling()) {
    if (child->IsElement()) {
      return child;
    }
  }
  return nullptr;
}

// Reads a "lines" attribute into lines (a list read replaces the default).
void ReadLines(const Xml::Node& node, std::vector<int>& lines) {
  std::string text;
  if (node.ReadString("lines", text)) {
    lines = Xml::ParseIntList(text);
  }
}

bool Contains(const std::vector<int>& lines, int ordinal) {
  return std::find(lines.begin(), lines.end(), ordinal) != lines.end();
}

std::vector<int> KeyTimes(const Sprite* sprite) {
  std::vector<int> times;
  if (sprite != nullptr) {
    for (const auto& key : sprite->positionTrack.Keys()) {
      times.push_back(key.first);
    }
  }
  return times;
}

IShow* ShowOf(const Style* style) {
  const Links* links = style != nullptr ? style->GetLinks() : nullptr;
  return links != nullptr ? links->show : nullptr;
}

// The performers that feature, in the player's order, each with the next ordinal: for the lights
// the first playing set (or the second when there is no first), for the crowd the resting set;
// the set must have at least one key.
std::vector<Featured> FeaturedPerformers(const IShow& show, bool lights) {
  std::vector<Featured> featured;
  const int count = show.PerformerCount();
  for (int performer = 0; performer < count; ++performer) {
    const Sprite* sprite = nullptr;
    if (lights) {
      sprite = show.SetSprite(performer, kPlayFirst);
      if (sprite == nullptr) {
        sprite = show.SetSprite(performer, kPlaySecond);
      }
    } else {
      sprite = show.SetSprite(performer, kRest);
    }
    std::vector<int> times = KeyTimes(sprite);
    if (!times.empty()) {
      featured.push_back({performer, static_cast<int>(featured.size()) + 1, std::move(times)});
    }
  }
  return featured;
}

// The first key time of a performer's set of that kind; -1 when it has no keys, nullopt-like
// false when there is no such set.
bool FirstTime(const IShow& show, int performer, int kind, int& time) {
  const Sprite* sprite = show.SetSprite(performer, kind);
  if (sprite == nullptr) {
    return false;
  }
  time = sprite->positionTrack.FirstTime();
  return true;
}

}  // namespace

bool Automation::Reset() {
  for (Cue& cue : schedule) {
    cue.done = false;
  }
  return true;
}

void Automation::SortSchedule() {
  std::stable_sort(schedule.begin(), schedule.end(),
                   [](const Cue& a, const Cue& b) { return a.time < b.time; });
}

int64_t Automation::ShowFrames(int64_t styleFrames) const {
  const IShow* show = ShowOf(owner);
  return show != nullptr && show->FrameRate() != kStyleFrameRate
             ? styleFrames * show->FrameRate() / kStyleFrameRate
             : styleFrames;
}

int Automation::SongEndFrames() const {
  const IShow* show = ShowOf(owner);
  return show != nullptr ? FramesOfMs(show->SongLengthMs(), show->FrameRate()) : 0;
}

// ---- fades ----

bool FadeAuto::LoadXml(Xml::Node* node) {
  if (node == nullptr) {
    return false;
  }
  node->ReadInt("out", out);
  node->ReadInt("in", in);
  node->ReadInt("attack", attack);
  node->ReadInt("release", release);
  node->ReadInt("delay", delay);
  node->ReadInt("hold", hold);
  return true;
}

bool FadeAuto::Prepare() {
  schedule.clear();
  // The style counts in frames at its own rate; the schedule in frames of the show.
  const int64_t delay = ShowFrames(this->delay);
  const int64_t attack = ShowFrames(this->attack);
  const int64_t release = ShowFrames(this->release);
  const int64_t hold = ShowFrames(this->hold);
  delayFrames = SaturateInt(delay);
  attackEnd = delayFrames;
  if (out <= 0) {
    return true;  // no steps: the fade automation stays silent
  }
  const int steps = std::min(out, kMaxSteps);
  schedule.push_back({false, 0, kDarker, steps});
  schedule.push_back({false, delayFrames, kMarker, 0});
  const int64_t step = attack / steps;
  for (int i = 0; i < steps; ++i) {
    schedule.push_back({false, SaturateInt(delay + i * step), kLighter, 0});
  }
  attackEnd = SaturateInt(delay + steps * step);
  schedule.push_back({false, attackEnd, kMarker, 0});
  const int64_t songEnd = SongEndFrames();
  const int64_t step2 = release / steps;
  for (int i = 0; i < steps; ++i) {
    schedule.push_back({false, SaturateInt(songEnd + hold + i * step2), kDarker, 1});
  }
  return true;
}

void FadeAuto::Track(int frame) {
  IShow* show = ShowOf(owner);
  if (show == nullptr || !show->AutoFades() || schedule.empty()) {
    return;
  }
  // Started or jumped past the opening: drop the opening's steps. (Only when the first cue lies
  // in the opening; otherwise there is nothing to drop and the rule would silence every fade.)
  if (!schedule.front().done && frame >= attackEnd && schedule.front().time < attackEnd) {
    for (Cue& cue : schedule) {
      if (cue.time >= attackEnd) {
        break;
      }
      if (cue.kind != kMarker) {
        cue.done = true;
      }
    }
    return;
  }
  for (Cue& cue : schedule) {
    if (cue.done || cue.kind == kMarker) {
      continue;
    }
    if (cue.time > frame) {
      break;
    }
    cue.done = true;
    if (Game::PostFX* effects = show->Effects()) {
      if (cue.kind == kDarker) {
        effects->FadeIn(cue.n, cue.time < delayFrames);
      } else {
        effects->FadeOut(false);
      }
    }
    break;  // at most one step per frame
  }
}

// ---- lights ----

bool LightAuto::LoadXml(Xml::Node* node) {
  if (node == nullptr) {
    return false;
  }
  const std::string name = node->GetName();
  if (Vell::Text::EqualsIgnoreCase(name, "strobe")) {
    if (auto settings = FirstChildElement(*node)) {
      ReadLines(*settings, strobeLines);
      std::string range;
      if (settings->ReadString("range", range)) {
        Xml::ParseFloatPair(range, rangeLow, rangeHigh);
      }
    }
    return true;
  }
  const bool stage = Vell::Text::EqualsIgnoreCase(name, "stagelights");
  if (!stage && !Vell::Text::EqualsIgnoreCase(name, "searchlights")) {
    return true;
  }
  if (stage) {
    node->ReadInt("recur", recur);
  }
  // Per side (left, center, right): whether the file gave the bottom and the top light a list.
  std::array<bool, 3> bottomGiven{};
  std::array<bool, 3> topGiven{};
  std::array<std::vector<int>*, 3> bottoms{&stageLeftLines, &stageCenterLines, &stageRightLines};
  std::array<std::vector<int>*, 3> tops{&stageTopLeftLines, &stageTopCenterLines,
                                        &stageTopRightLines};
  for (auto child = node->FirstChild(); child; child = child->NextSibling()) {
    if (!child->IsElement()) {
      continue;
    }
    auto settings = FirstChildElement(*child);
    if (!settings) {
      continue;
    }
    const std::string light = child->GetName();
    auto is = [&light](const char* a) { return Vell::Text::EqualsIgnoreCase(light, a); };
    std::vector<int>* lines = nullptr;
    if (stage) {
      for (size_t side = 0; side < 3; ++side) {
        bool* given = nullptr;
        if (is(Style::kStageLightNames[side])) {
          lines = bottoms[side];
          given = &bottomGiven[side];
        } else if (is(Style::kStageLightNames[side + 3])) {
          lines = tops[side];
          given = &topGiven[side];
        }
        if (given != nullptr) {
          std::string text;
          *given = *given || settings->ReadString("lines", text);
          break;
        }
      }
    } else if (is("left")) {
      lines = &searchLeftLines;
    } else if (is("center")) {
      lines = &searchCenterLines;
    } else if (is("right")) {
      lines = &searchRightLines;
    }
    if (lines != nullptr) {
      ReadLines(*settings, *lines);
    }
  }
  for (size_t side = 0; stage && side < 3; ++side) {
    if (bottomGiven[side] && !topGiven[side]) {
      *tops[side] = *bottoms[side];
    } else if (topGiven[side] && !bottomGiven[side]) {
      *bottoms[side] = *tops[side];
    }
  }
  return true;
}

bool LightAuto::Prepare() {
  schedule.clear();
  const IShow* show = ShowOf(owner);
  if (show == nullptr) {
    return true;
  }
  const float songEnd = static_cast<float>(SongEndFrames());
  const std::array<const std::vector<int>*, 3> bottoms{&stageLeftLines, &stageCenterLines,
                                                       &stageRightLines};
  const std::array<const std::vector<int>*, 3> tops{&stageTopLeftLines, &stageTopCenterLines,
                                                    &stageTopRightLines};
  for (const Featured& performer : FeaturedPerformers(*show, true)) {
    const int k = performer.ordinal;
    for (int t : performer.times) {
      auto add = [this, t](int kind) { schedule.push_back({false, t, kind, 0}); };
      // A side whose two lights share their lines fires them as a pair, else each by its own.
      for (int side : {1, 0, 2}) {
        const std::vector<int>& bottom = *bottoms[static_cast<size_t>(side)];
        const std::vector<int>& top = *tops[static_cast<size_t>(side)];
        if (bottom == top) {
          if (Contains(bottom, k)) {
            add(kStageLeft + side);
          }
          continue;
        }
        if (Contains(bottom, k)) {
          add(kStageBottomLeft + side);
        }
        if (Contains(top, k)) {
          add(kStageTopLeft + side);
        }
      }
      if (Contains(searchCenterLines, k)) {
        add(kSearchCenter);
      }
      if (Contains(searchLeftLines, k)) {
        add(kSearchLeft);
      }
      if (Contains(searchRightLines, k)) {
        add(kSearchRight);
      }
      const auto time = static_cast<float>(t);
      if (rangeLow * songEnd <= time && time <= rangeHigh * songEnd && Contains(strobeLines, k)) {
        add(kStrobe);
      }
    }
  }
  AddRecurringCues(SongEndFrames());
  SortSchedule();
  return true;
}

void LightAuto::AddRecurringCues(int songEnd) {
  const int64_t recur = ShowFrames(this->recur);
  if (recur <= 0) {
    return;
  }
  const Links* links = owner != nullptr ? owner->GetLinks() : nullptr;
  const int start = std::max(links != nullptr ? links->firstEntrance : 0, 0);
  std::vector<int> times;
  for (const Cue& cue : schedule) {
    if (cue.kind != kStrobe) {
      times.push_back(cue.time);
    }
  }
  std::sort(times.begin(), times.end());
  times.push_back(songEnd);
  static constexpr std::array<int, 3> kTurns{kStageCenter, kStageLeft, kStageRight};
  size_t turn = 0;
  int64_t last = start;
  for (int next : times) {
    // Cues recur frames apart, none closer than half of that to the cue that ends the stretch.
    for (int64_t t = last + recur; t + recur / 2 < next; t += recur) {
      schedule.push_back({false, static_cast<int>(t), kTurns[turn], 0});
      turn = (turn + 1) % kTurns.size();
    }
    last = std::max<int64_t>(last, next);
  }
}

void LightAuto::Track(int frame) {
  IShow* show = ShowOf(owner);
  if (show == nullptr || !show->AutoLights() || schedule.empty()) {
    return;
  }
  // A missed first cue is dropped with everything else already past, not fired late.
  if (!schedule.front().done && schedule.front().time < frame) {
    for (Cue& cue : schedule) {
      if (cue.time >= frame) {
        break;
      }
      cue.done = true;
    }
  }
  for (Cue& cue : schedule) {
    if (cue.done) {
      continue;
    }
    if (cue.time > frame) {
      break;
    }
    cue.done = true;
    Fire(cue.kind);
  }
}

void LightAuto::Fire(int kind) {
  switch (kind) {
    case kStageLeft:
    case kStageCenter:
    case kStageRight:
      owner->stageLights[kind - kStageLeft].Fire();
      owner->stageLights[kind - kStageLeft + 3].Fire();
      break;
    case kStageBottomLeft:
    case kStageBottomCenter:
    case kStageBottomRight:
      owner->stageLights[kind - kStageBottomLeft].Fire();
      break;
    case kStageTopLeft:
    case kStageTopCenter:
    case kStageTopRight:
      owner->stageLights[kind - kStageTopLeft + 3].Fire();
      break;
    case kSearchLeft:
    case kSearchCenter:
    case kSearchRight:
      owner->searchLights[kind - kSearchLeft].Fire();
      break;
    case kStrobe:
      if (IShow* show = ShowOf(owner)) {
        if (Game::PostFX* effects = show->Effects()) {
          effects->Strobe();
        }
      }
      break;
    default:
      break;
  }
}

// ---- crowd ----

bool OvatixAuto::LoadXml(Xml::Node* node) {
  if (node == nullptr) {
    return false;
  }
  for (auto sound = node->FirstChild(); sound; sound = sound->NextSibling()) {
    if (!sound->IsElement()) {
      continue;
    }
    auto settings = FirstChildElement(*sound);
    if (!settings) {
      continue;  // a sound without settings is ignored, its volume too
    }
    const std::string name = sound->GetName();
    auto is = [&name](const char* a) { return Vell::Text::EqualsIgnoreCase(name, a); };
    if (is("noise")) {
      sound->ReadFloat("volume", noiseVolume);
      settings->ReadInt("delay", noiseDelay);
      settings->ReadInt("interval", noiseInterval);
    } else if (is("whistle")) {
      sound->ReadFloat("volume", whistleVolume);
      settings->ReadInt("delay", whistleDelay);
      ReadLines(*settings, whistleLines);
    } else if (is("bravo")) {
      sound->ReadFloat("volume", bravoVolume);
      settings->ReadInt("delay", bravoDelay);
      ReadLines(*settings, bravoLines);
    } else if (is("speech")) {
      sound->ReadFloat("volume", speechVolume);
      settings->ReadInt("delay", speechDelay);
    } else if (is("applause")) {
      sound->ReadFloat("volume", applauseVolume);
      settings->ReadInt("delay", applauseDelay);
    }
  }
  return true;
}

void OvatixAuto::Add(int64_t time, int kind) {
  schedule.push_back({false, SaturateInt(time), kind, 0});
}

bool OvatixAuto::Prepare() {
  schedule.clear();
  // The style counts in frames at its own rate; the schedule in frames of the show.
  const int64_t noiseDelay = ShowFrames(this->noiseDelay);
  const int64_t noiseInterval = ShowFrames(this->noiseInterval);
  const int64_t speechDelay = ShowFrames(this->speechDelay);
  const int64_t bravoDelay = ShowFrames(this->bravoDelay);
  const int64_t applauseDelay = ShowFrames(this->applauseDelay);
  const int64_t whistleDelay = ShowFrames(this->whistleDelay);
  const Links* links = owner != nullptr ? owner->GetLinks() : nullptr;
  const IShow* show = links != nullptr ? links->show : nullptr;
  firstEntrance = links != nullptr ? links->firstEntrance : 0;
  songEnd = SongEndFrames();
  const int tail = show != nullptr ? FramesOfMs(kTailMs, show->FrameRate()) : 0;
  // Murmur before the band has arrived and after the song. An interval of 0 or less gives one
  // murmur; murmurs due before frame 0 all fall on the first frame, so they are kept as one.
  auto murmurs = [this, noiseInterval](int64_t from, int64_t before) {
    if (from >= before) {
      return;
    }
    if (noiseInterval <= 0) {
      Add(from, kNoise);
      return;
    }
    int64_t m = from;
    if (m < 0) {
      Add(m, kNoise);
      m += (-m + noiseInterval - 1) / noiseInterval * noiseInterval;
    }
    for (; m < before; m += noiseInterval) {
      Add(m, kNoise);
    }
  };
  murmurs(noiseDelay, firstEntrance);
  murmurs(songEnd, static_cast<int64_t>(songEnd) + tail);
  Add(speechDelay, kSpeech);
  Add(static_cast<int64_t>(songEnd) + speechDelay, kSpeech);
  Add(static_cast<int64_t>(songEnd) + bravoDelay, kBravo);
  Add(static_cast<int64_t>(songEnd) + applauseDelay, kApplause);
  if (show != nullptr) {
    const int finale = songEnd - FramesOfMs(kFinaleMs, show->FrameRate());
    const int count = show->PerformerCount();
    for (int performer = 0; performer < count; ++performer) {
      // The departure to the left when it has a key, else the one to the right.
      int time = -1;
      const bool left = FirstTime(*show, performer, kLeaveToLeft, time) && time >= 0;
      if (left || (FirstTime(*show, performer, kLeaveToRight, time) && time >= 0)) {
        // A musician leaving in the song's last stretch is applauded with the others after the
        // last note, not over the closing bars.
        if (time < finale || time >= songEnd) {
          Add(static_cast<int64_t>(time) + applauseDelay, kApplause);
        }
      }
    }
    for (const Featured& performer : FeaturedPerformers(*show, false)) {
      for (int t : performer.times) {
        if (Contains(whistleLines, performer.ordinal)) {
          Add(static_cast<int64_t>(whistleDelay) + t, kWhistle);
        }
        if (Contains(bravoLines, performer.ordinal)) {
          Add(static_cast<int64_t>(bravoDelay) + t, kBravo);
        }
      }
    }
  }
  SortSchedule();
  return true;
}

void OvatixAuto::Track(int frame) {
  const Links* links = owner != nullptr ? owner->GetLinks() : nullptr;
  const IShow* show = links != nullptr ? links->show : nullptr;
  if (show == nullptr || !show->AutoCrowd() || schedule.empty()) {
    return;
  }
  // Started or jumped past the band's entrance: drop what is already past, fire nothing.
  if (!schedule.front().done && frame >= firstEntrance && schedule.front().time < frame) {
    for (Cue& cue : schedule) {
      if (cue.time >= frame) {
        break;
      }
      cue.done = true;
    }
    return;
  }
  for (Cue& cue : schedule) {
    if (cue.done) {
      continue;
    }
    if (cue.time > frame) {
      break;
    }
    cue.done = true;
    const char* series = SeriesOf(cue.kind);
    if (series != nullptr && links->crowd != nullptr) {
      links->crowd->PlaySeries(series, VolumeOf(series));
    }
  }
}

const char* OvatixAuto::SeriesOf(int kind) {
  switch (kind) {
    case kNoise:
      return "noise";
    case kApplause:
      return "applause";
    case kSpeech:
      return "speech";
    case kBravo:
      return "bravo";
    case kWhistle:
      return "whistle";
    default:
      return nullptr;
  }
}

float OvatixAuto::VolumeOf(const std::string& series) const {
  auto is = [&series](const char* a) { return Vell::Text::EqualsIgnoreCase(series, a); };
  if (is("noise")) {
    return noiseVolume;
  }
  if (is("applause")) {
    return applauseVolume;
  }
  if (is("speech")) {
    return speechVolume;
  }
  if (is("bravo")) {
    return bravoVolume;
  }
  if (is("whistle")) {
    return whistleVolume;
  }
  return 1.0f;
}

}  // namespace Kesh::Styles
