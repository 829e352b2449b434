#include "animation/animation_track.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <random>

#include "artists/artist.h"
#include "artists/layout.h"
#include "artists/manager.h"
#include "artists/settings.h"
#include "data/events.h"
#include "data/track.h"

namespace Kesh::Data::Tracks {

namespace Sets = Artists::Animation;
using Vell::Math::Vector3;
using PositionKeys = Vell::Keyframing::Runtime::KeyList<Vector3>;
using StepKeys = Vell::Keyframing::Runtime::KeyList<float>;

// ---- beat factor ----

namespace {

struct FactorRow {
  int divisor;  // 9, 7, 5, 2 (even, not a multiple of 3) or 3
  float ratio;
  int bounds[4];  // upper bpm of each range, the first starting at 25; 0 ends the list
  float first;    // factor of the first range; each further range doubles it
};

constexpr FactorRow kFactorRows[] = {
    {9, 4.5f, {75, 150, 300, 0}, 0.125f},   {9, 2.25f, {75, 150, 300, 0}, 0.25f},
    {9, 1.125f, {75, 150, 300, 0}, 0.5f},   {7, 3.5f, {58, 116, 233, 300}, 0.125f},
    {7, 1.75f, {58, 116, 233, 300}, 0.25f}, {7, 0.875f, {58, 116, 233, 300}, 0.5f},
    {5, 2.5f, {42, 83, 166, 300}, 0.125f},  {5, 1.25f, {42, 83, 166, 300}, 0.25f},
    {5, 0.625f, {42, 83, 166, 300}, 0.5f},  {2, 2.0f, {67, 133, 266, 300}, 0.25f},
    {2, 1.0f, {67, 133, 266, 300}, 0.5f},   {2, 0.5f, {67, 133, 266, 300}, 1.0f},
    {3, 1.5f, {50, 100, 200, 300}, 0.25f},  {3, 0.75f, {50, 100, 200, 300}, 0.5f},
    {3, 0.375f, {50, 100, 200, 300}, 1.0f},
};

bool InClass(int numerator, int divisor) {
  if (divisor == 2) {
    return numerator % 2 == 0 && numerator % 3 != 0;
  }
  return numerator % divisor == 0;
}

std::mutex departureLock;
std::minstd_rand departureDraw(kDepartureSeed);

// Whether the draw of 0-99 picks the left departure (51 in 100).
bool DrawLeft() {
  std::lock_guard<std::mutex> guard(departureLock);
  return std::uniform_int_distribution<int>(0, 99)(departureDraw) < 51;
}

bool IsPlayingKind(int kind) {
  return kind == Sets::kCSA || kind == Sets::kCSB || kind == Sets::kCRA || kind == Sets::kCRB;
}

}  // namespace

float BeatFactor(int numerator, int denominator, int bpm) {
  if (numerator <= 0 || denominator <= 0 || bpm < 25 || bpm > 300) {
    return -1;
  }
  const float ratio = static_cast<float>(numerator) / static_cast<float>(denominator);
  for (const FactorRow& row : kFactorRows) {
    if (!InClass(numerator, row.divisor) || ratio != row.ratio) {
      continue;
    }
    float factor = row.first;
    for (int bound : row.bounds) {
      if (bound == 0) {
        break;
      }
      if (bpm <= bound) {
        return factor;
      }
      factor *= 2;
    }
    return -1;
  }
  return -1;
}

void SeedDepartures(unsigned seed) {
  std::lock_guard<std::mutex> guard(departureLock);
  departureDraw.seed(seed);
}

// ---- keys collected per sprite, handed over at the end of each segment ----

struct Animation::Pending {
  struct Keys {
    PositionKeys position;
    StepKeys step;
  };
  std::map<Sets::Sprite*, Keys> sprites;

  void Position(Sets::Sprite* sprite, int frame, const Vector3& at, float easeIn = 0,
                float easeOut = 0) {
    sprites[sprite].position.keys.push_back({frame, at, easeIn, easeOut});
  }
  void Step(Sets::Sprite* sprite, int frame, float value) {
    sprites[sprite].step.keys.push_back({frame, value, 0, 0});
  }
  void Flush() {
    for (auto& [sprite, keys] : sprites) {
      if (!keys.position.keys.empty()) {
        sprite->positionTrack.SetKeys(keys.position);
      }
      if (!keys.step.keys.empty()) {
        sprite->stepTrack.SetKeys(keys.step);
      }
    }
    sprites.clear();
  }
};

// ---- construction ----

Animation::Animation(const Event* track, const Event* barTrack, int frameRate, int imageRate)
    : track(track),
      barTrack(barTrack),
      frameRate(frameRate),
      imageRate(imageRate > 0 ? imageRate : frameRate) {
  const int patch = track != nullptr ? track->GetPatch() : -1;
  try {
    artist = Artists::Manager::Instance()->GetArtist(track);
  } catch (const Artists::Manager::DatafileNotLoadedException&) {
    artist = nullptr;
  }
  if (artist == nullptr) {
    throw PatchNotFoundException(patch);
  }
  // An artist reused from an earlier song starts clean. The drum groups share one drummer: only
  // the first group of the song to take it cleans it (group 200 as a rule; any group when the
  // song has no track for 200), so that the groups' keys add up.
  if (Artists::Manager::Instance()->TimesUsed(artist) <= 1) {
    for (int kind = Sets::kFirstKind; kind <= Sets::kLastKind; ++kind) {
      Set* set = artist->GetSet(kind);
      if (set != nullptr && set->GetSprite() != nullptr) {
        set->GetSprite()->ClearKeys();
      }
    }
  }
}

Animation::Animation(Artists::Artist* drummer) : artist(drummer) {}

// ---- helpers ----

bool Animation::IsMelodic() const { return artist->type == Artists::Artist::kMelodic; }

int Animation::Threshold() const {
  const auto* settings = Sets::Manager::Instance();
  return IsMelodic() ? settings->melodicThreshold : settings->drumThreshold;
}

bool Animation::IsDrumGroup() const {
  const int patch = track != nullptr ? track->GetPatch() : -1;
  return patch >= 200 && patch <= 203;
}

bool Animation::DrumMode() const {
  if (!IsDrumGroup() || IsMelodic()) {
    return false;
  }
  const bool melodicPercussion = artist->type == Artists::Artist::kPercussive &&
                                 !artist->patches.empty() && artist->patches.front() > 203;
  return !melodicPercussion;
}

bool Animation::BarQualifies(const Events::BarRange& range) const {
  if (IsMelodic()) {
    return range.Coverage() > Sets::Manager::Instance()->staccato;
  }
  if (IsDrumGroup()) {
    // Of the competing drum groups only the heaviest one of the bar reports hits: that group's
    // set is what the drummer plays in the bar, whatever its share of the hits.
    return range.NoteCount() > 0;
  }
  return range.Weight() >= 1.0f;
}

Animation::Set* Animation::RequireSet(int kind) const {
  Set* set = artist->GetSet(kind);
  if (set == nullptr || set->GetSprite() == nullptr) {
    throw AnimationNotFoundException("artist '" + artist->GetName() + "' has no set " +
                                     Artists::Animation::KindName(kind) +
                                     (set == nullptr ? "" : " with images"));
  }
  return set;
}

int Animation::ToFrame(uint64_t ms) const {
  const uint64_t frames = ms * static_cast<uint64_t>(frameRate) / 1000;
  return frames > static_cast<uint64_t>(INT32_MAX) ? INT32_MAX : static_cast<int>(frames);
}

uint64_t Animation::WalkMs(float distance, const Set* walk) const {
  if (!(walk->velocity > 0) || frameRate <= 0 || imageRate <= 0) {
    throw AnimationInvalidParamException();
  }
  // The velocity is in stage pixels per image of the walk.
  const double ms = std::fabs(distance) * 1000.0 / walk->velocity / imageRate;
  return ms >= 1e15 ? static_cast<uint64_t>(1e15) : static_cast<uint64_t>(ms);
}

int Animation::ImageFrames(int images) const {
  return imageRate > 0 ? static_cast<int>(static_cast<int64_t>(images) * frameRate / imageRate)
                       : images;
}

uint64_t Animation::FramesMs(const Set* set) const {
  if (frameRate <= 0 || imageRate <= 0) {
    throw AnimationInvalidParamException();
  }
  return static_cast<uint64_t>(set->GetSprite()->Count()) * 1000 / imageRate;
}

bool Animation::CollectBars(std::vector<Bar>& bars, size_t& badBar) const {
  bars.clear();
  badBar = SIZE_MAX;
  std::map<uint32_t, const Events::BarBegin*> meter;
  for (const Events::Event* event : barTrack->GetEvents()) {
    if (event->GetType() == Events::BarBegin::kType) {
      meter.emplace(event->start, static_cast<const Events::BarBegin*>(event));
    }
  }
  const int threshold = Threshold();
  for (const Events::Event* event : track->GetEvents()) {
    if (event->GetType() != Events::BarRange::kType) {
      continue;
    }
    const auto& range = static_cast<const Events::BarRange&>(*event);
    if (bars.empty() || bars.back().start != range.start) {
      Bar bar;
      bar.start = range.start;
      bar.duration = range.duration;
      auto found = meter.find(range.start);
      if (found == meter.end()) {
        bar.factor = -1;
      } else {
        const auto* begin = found->second;
        bar.duration = begin->duration;
        bar.factor =
            BeatFactor(static_cast<int>(begin->Numerator()), static_cast<int>(begin->Denominator()),
                       static_cast<int>(begin->Tempo()));
      }
      if (bar.factor < 0 && badBar == SIZE_MAX) {
        badBar = bars.size();
      }
      bar.noteCount = -1;
      bars.push_back(bar);
    }
    Bar& bar = bars.back();
    const bool qualifies = BarQualifies(range);
    if (range.NoteCount() > bar.noteCount) {
      bar.noteCount = range.NoteCount();
      bar.qualifies = qualifies;
    }
    if (IsDrumGroup() && !IsMelodic()) {
      // Every drum group's range counts the bar's time positions (coverage) and the extra hits
      // struck together (polyphony): together, all the drum hits of the bar.
      bar.drumHits = std::max(bar.drumHits, range.Coverage() + range.Polyphony());
      if (qualifies && bar.drumHits >= static_cast<float>(threshold)) {
        bar.active = true;
      }
    } else if (range.NoteCount() >= static_cast<float>(threshold) && qualifies) {
      bar.active = true;
    }
  }
  return !bars.empty();
}

int Animation::FirstActiveBar(const std::vector<Bar>& bars) const {
  const float threshold = static_cast<float>(Threshold());
  for (size_t i = 0; i < bars.size(); ++i) {
    const bool active = IsMelodic() ? bars[i].noteCount > threshold : bars[i].active;
    if (active) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

int Animation::EntryBar(const std::vector<Bar>& bars) const {
  const int first = FirstActiveBar(bars);
  if (first < 0 || !IsDrumGroup() || IsMelodic()) {
    return first;
  }
  // The drummer sits at his kit before the first drum note, even when the first bars with drums
  // are too sparse to be played: every group enters at the first bar holding any hit.
  for (int i = 0; i < first; ++i) {
    if (bars[static_cast<size_t>(i)].drumHits > 0) {
      return i;
    }
  }
  return first;
}

Animation::Entry Animation::ChooseEntry() const {
  // From the nearer wing.
  int kind = artist->x < Artists::Layout::kStageCentre ? Sets::kSLR : Sets::kSRL;
  if (artist->GetSet(kind) == nullptr) {
    kind = artist->GetSet(Sets::kSLR) != nullptr ? Sets::kSLR : Sets::kSRL;
  }
  Entry entry;
  entry.walk = RequireSet(kind);
  if (!(entry.walk->velocity > 0)) {
    throw AnimationInvalidParamException();
  }
  if (kind == Sets::kSLR) {
    entry.startX = kLeftOffStage;
    entry.endX = artist->x - 32;
    entry.arrival = RequireSet(Sets::kLTA);
  } else {
    entry.startX = kRightOffStage;
    entry.endX = artist->x + 32;
    entry.arrival = RequireSet(Sets::kRTA);
  }
  entry.walkMs = WalkMs(entry.endX - entry.startX, entry.walk);
  entry.arriveMs = FramesMs(entry.arrival);
  return entry;
}

void Animation::StepOnce(Sets::Sprite* sprite, int frame, Pending& pending) const {
  pending.Step(sprite, frame, 0);
  pending.Step(sprite, frame + ImageFrames(std::max(sprite->Count() - 1, 1)), 1.0f);
}

void Animation::WalkBehindPieces(Set* walk) const {
  // The drummer walks to his seat behind the kit: his walking images go just behind the deepest
  // of his stage pieces (drawn in order of falling depth).
  float deepest = walk->GetSprite()->depth;
  for (int i = 0; i < artist->sprites.Count(); ++i) {
    deepest = std::max(deepest, static_cast<const Sets::Sprite*>(artist->sprites.GetAt(i))->depth);
  }
  walk->GetSprite()->depth = deepest + kBehindPieces;
}

// ---- preparing ----

bool Animation::Prepare(uint64_t& lateness) {
  if (track == nullptr || barTrack == nullptr) {
    return false;
  }
  Artists::Layout::Instance()->Place(artist);
  if (track->GetEvents().empty() || (*track->GetEvents().begin())->start != 0) {
    return false;
  }
  std::vector<Bar> bars;
  size_t badBar = 0;
  CollectBars(bars, badBar);
  const int first = EntryBar(bars);
  if (first < 0) {
    return false;
  }
  firstActiveMs = bars[static_cast<size_t>(first)].start;
  lateness = Lateness();
  return true;
}

uint64_t Animation::Lateness() const {
  if (!firstActiveMs) {
    return 0;
  }
  // The walk-on from where the artist stands now: a later placement may have moved it.
  const uint64_t b = *firstActiveMs;
  const Entry walkOn = ChooseEntry();
  const uint64_t needed = walkOn.walkMs + walkOn.arriveMs;
  return needed > b ? needed - b : 0;
}

// ---- building ----

void Animation::KeyEntry(uint64_t offset, uint64_t firstBarMs, Pending& pending) {
  const auto [walk, arrival, startX, endX, walkMs, arriveMs] = ChooseEntry();
  // The arrival ends on the first active bar when the offset leaves room for it, else as early
  // as possible.
  const uint64_t barMs = offset + firstBarMs;
  const uint64_t walkStart = barMs > walkMs + arriveMs ? barMs - walkMs - arriveMs : 0;
  const uint64_t walkEnd = walkStart + walkMs;
  Sets::Sprite* walkSprite = walk->GetSprite();
  Sets::Sprite* arrivalSprite = arrival->GetSprite();
  const int startFrame = ToFrame(walkStart);
  const int endFrame = ToFrame(walkEnd);

  if (IsDrumGroup()) {
    // The drum groups share one drummer: it walks in with the earliest group.
    if (!walkSprite->positionTrack.Keys().empty()) {
      if (walkSprite->positionTrack.FirstTime() <= startFrame) {
        return;
      }
      walkSprite->positionTrack.EraseKeys(0, 2);
      arrivalSprite->positionTrack.EraseKeys(0, 2);
    }
  }
  const float y = artist->y;
  pending.Position(walkSprite, startFrame, {startX, y, 0}, 0, walk->easeOut);
  pending.Position(walkSprite, endFrame, {endX, y, 0}, walk->easeIn, 0);
  pending.Position(arrivalSprite, endFrame, {endX, y, 0});
  pending.Position(arrivalSprite, endFrame + ImageFrames(arrivalSprite->Count()), {artist->x, y, 0},
                   arrival->easeIn, 0);
  // The arrival shows each of its images once, in step with its move (its images carry the
  // stage pieces shifted against the move), and then holds the last one.
  StepOnce(arrivalSprite, endFrame, pending);
  if (DrumMode()) {
    WalkBehindPieces(walk);
  }
  timeline[0] = walk;
  timeline[walkEnd] = arrival;
  entryEntries = {{0, walk}, {walkEnd, arrival}};
  walkStartMs = walkStart;
  pending.Flush();
}

void Animation::KeyExit(uint64_t exitStart, Pending& pending) {
  const bool hasLeftWalk = artist->GetSet(Sets::kSRL) != nullptr;
  const bool hasRightWalk = artist->GetSet(Sets::kSLR) != nullptr;
  bool left;
  if (hasLeftWalk && hasRightWalk) {
    left = DrawLeft();
  } else {
    left = hasLeftWalk;
  }
  Set* departure = RequireSet(left ? Sets::kATL : Sets::kATR);
  Set* walk = RequireSet(left ? Sets::kSRL : Sets::kSLR);
  const float offStage = left ? kLeftOffStage : kRightOffStage;
  const uint64_t departMs = FramesMs(departure);
  const uint64_t walkMs = WalkMs(artist->x - offStage, walk);
  const uint64_t walkStart = exitStart + departMs;
  const uint64_t exitEnd = walkStart + walkMs;

  if (IsDrumGroup()) {
    // The drummer leaves with the last group: an earlier exit keyed before is taken back.
    for (bool side : {true, false}) {
      Set* otherDeparture = artist->GetSet(side ? Sets::kATL : Sets::kATR);
      Set* otherWalk = artist->GetSet(side ? Sets::kSRL : Sets::kSLR);
      if (otherDeparture == nullptr || otherWalk == nullptr ||
          otherDeparture->GetSprite()->positionTrack.Keys().empty()) {
        continue;
      }
      if (otherWalk->GetSprite()->positionTrack.LastTime() >= ToFrame(exitEnd)) {
        return;
      }
      otherDeparture->GetSprite()->positionTrack.ClearKeys();
      auto& keys = otherWalk->GetSprite()->positionTrack;
      const int count = static_cast<int>(keys.Keys().size());
      keys.EraseKeys(count - 2, count);
    }
  }
  const Vector3 place{artist->x, artist->y, 0};
  pending.Position(departure->GetSprite(), ToFrame(exitStart), place, 0, departure->easeOut);
  StepOnce(departure->GetSprite(), ToFrame(exitStart), pending);
  if (DrumMode()) {
    WalkBehindPieces(walk);
  }
  pending.Position(walk->GetSprite(), ToFrame(walkStart), place, 0, walk->easeOut);
  pending.Position(walk->GetSprite(), ToFrame(exitEnd), {offStage, artist->y, 0}, walk->easeIn, 0);
  timeline[exitStart] = departure;
  timeline[walkStart] = walk;
  exitEntries = {{exitStart, departure}, {walkStart, walk}};
  exitEndMs = exitEnd;
  pending.Flush();
}

void Animation::KeyRest(const std::vector<Bar>& bars, size_t from, size_t to, uint64_t offset,
                        Pending& pending) {
  Set* rest = RequireSet(Sets::kCFA);
  Sets::Sprite* sprite = rest->GetSprite();
  const uint64_t start = offset + bars[from].start;
  timeline[start] = rest;
  pending.Position(sprite, ToFrame(start), {artist->x, artist->y, 0});
  pending.Step(sprite, ToFrame(start), 0);
  auto at = [&](double ms) { return ToFrame(static_cast<uint64_t>(ms)); };
  if (to - from == 1) {
    const double s = static_cast<double>(start);
    const double d = static_cast<double>(bars[from].duration);
    const double f = bars[from].factor;
    if (f >= 1) {
      const uint64_t half = bars[from].duration / 2;
      pending.Step(sprite, ToFrame(start + half), 0.75f);
      pending.Step(sprite, ToFrame(start + 2 * half), 0);
    } else {
      double t = s;
      double sum = 0;
      do {
        t += f * d / 2;
        pending.Step(sprite, at(t), 1.0f);
        t += f * d / 2;
        pending.Step(sprite, at(t), 0.75f);
        sum += f;
      } while (sum < 1 - f);
      t += f * d;
      pending.Step(sprite, at(t), 0);
    }
  } else {
    // Several bars: quarter bars (shorter for fast sequences) alternating 0.5 and 1.0, the last
    // bar closing with 0.75, 1.0 and 0 at a quarter, a half and its end.
    for (size_t i = from; i < to; ++i) {
      const double s = static_cast<double>(offset + bars[i].start);
      const double d = static_cast<double>(bars[i].duration);
      if (d <= 0) {
        continue;
      }
      if (i + 1 == to) {
        pending.Step(sprite, at(s + d / 4), 0.75f);
        pending.Step(sprite, at(s + d / 2), 1.0f);
        pending.Step(sprite, at(s + d), 0);
        break;
      }
      const double quarter = std::min(1.0, static_cast<double>(bars[i].factor)) * d / 4;
      const int steps = static_cast<int>(std::lround(d / quarter));
      for (int k = 1; k <= steps; ++k) {
        pending.Step(sprite, at(s + quarter * k), k % 2 == 1 ? 0.5f : 1.0f);
      }
    }
  }
  pending.Flush();
}

void Animation::KeyPlay(const std::vector<Bar>& bars, size_t from, size_t to, uint64_t offset,
                        Segment kind, Pending& pending) {
  // The run in half bars: boundary h holds the time of half bar h.
  const size_t halves = 2 * (to - from);
  std::vector<double> times(halves + 1);
  for (size_t i = from; i < to; ++i) {
    const double s = static_cast<double>(offset + bars[i].start);
    times[2 * (i - from)] = s;
    times[2 * (i - from) + 1] = s + static_cast<double>(bars[i].duration / 2);
  }
  times[halves] = static_cast<double>(offset + bars[to - 1].start + bars[to - 1].duration);
  auto frame = [&](double ms) { return ToFrame(static_cast<uint64_t>(ms)); };
  auto factorAt = [&](size_t h) { return bars[from + std::min(h / 2, to - from - 1)].factor; };

  // Starts a set at half bar h: timeline entry, position key and step key 0.
  auto begin = [&](Set* set, size_t h) {
    const uint64_t start = static_cast<uint64_t>(times[h]);
    timeline[start] = set;
    pending.Position(set->GetSprite(), ToFrame(start), {artist->x, artist->y, 0});
    pending.Step(set->GetSprite(), ToFrame(start), 0);
  };
  // The bar patterns of a playing set from half bar h up to (not including) half bar end.
  auto playSpan = [&](Set* set, size_t h, size_t end) {
    Sets::Sprite* sprite = set->GetSprite();
    while (h < end) {
      const float f = factorAt(h);
      const size_t left = (end - h) / 2;  // whole bars left
      if (end - h == 1) {
        pending.Step(sprite, frame((times[h] + times[h + 1]) / 2), 1.0f);
        pending.Step(sprite, frame(times[h + 1]), 0);
        h += 1;
      } else if (f <= 1) {
        const double s = times[h];
        const double d = times[h + 2] - times[h];
        double t = s + f * d / 2;
        pending.Step(sprite, frame(t), 1.0f);
        for (float sum = f; sum <= 1 - f; sum += f) {
          t += f * d / 2;
          pending.Step(sprite, frame(t), 0.5f);
          t += f * d / 2;
          pending.Step(sprite, frame(t), 1.0f);
        }
        pending.Step(sprite, frame(times[h + 2]), 0);
        h += 2;
      } else {
        const size_t span = static_cast<size_t>(f);
        if (left >= span) {
          // One pass of the sequence over span bars: up at the middle, back at the end.
          const size_t last = h + 2 * span;
          pending.Step(sprite, frame((times[h] + times[last]) / 2), 1.0f);
          pending.Step(sprite, frame(times[last]), 0);
          h = last;
        } else {
          pending.Step(sprite, frame(times[h + 1]), 0.5f);
          pending.Step(sprite, frame(times[h + 2]), 0);
          h += 2;
        }
      }
    }
  };

  if (DrumMode()) {
    static constexpr int kGroupSets[] = {Sets::kCSA, Sets::kCSB, Sets::kCRA, Sets::kCRB};
    Set* set = RequireSet(kGroupSets[track->GetPatch() - 200]);
    begin(set, 0);
    playSpan(set, 0, halves);
    pending.Flush();
    return;
  }
  const bool first = kind == Segment::kPlayFirst;
  Set* a = RequireSet(first ? Sets::kCSA : Sets::kCRA);
  Set* b = RequireSet(first ? Sets::kCSB : Sets::kCRB);
  const size_t len = static_cast<size_t>(std::max(first ? artist->sLen : artist->rLen, 0));
  const size_t pos = static_cast<size_t>(std::max(first ? artist->sPos : artist->rPos, 1));
  if (to - from < len) {
    begin(a, 0);
    playSpan(a, 0, halves);
    pending.Flush();
    return;
  }
  Set* forth = RequireSet(Sets::kJAB);
  Set* back = RequireSet(Sets::kJBA);
  size_t h = 0;
  bool onA = true;
  while (h < halves) {
    Set* playing = onA ? a : b;
    const size_t end = std::min(halves, h + 2 * pos);
    begin(playing, h);
    playSpan(playing, h, end);
    h = end;
    if (h >= halves) {
      break;
    }
    Set* join = onA ? forth : back;
    const uint64_t start = static_cast<uint64_t>(times[h]);
    timeline[start] = join;
    pending.Position(join->GetSprite(), ToFrame(start), {artist->x, artist->y, 0});
    pending.Step(join->GetSprite(), ToFrame(start), onA ? 0.0f : 1.0f);
    pending.Step(join->GetSprite(), frame(times[h + 1]), onA ? 1.0f : 0.0f);
    h += 1;
    onA = !onA;
  }
  pending.Flush();
}

bool Animation::Build(uint64_t offset) {
  if (track == nullptr || barTrack == nullptr || artist == nullptr) {
    return false;
  }
  timeline.clear();
  entryEntries.clear();
  exitEntries.clear();
  std::vector<Bar> bars;
  size_t badBar = SIZE_MAX;
  if (!CollectBars(bars, badBar)) {
    return false;
  }
  const int firstActive = EntryBar(bars);
  if (firstActive < 0) {
    return false;
  }
  const size_t first = static_cast<size_t>(firstActive);
  Pending pending;
  KeyEntry(offset, bars[first].start, pending);

  // Segment kind of each bar from the first active one on.
  const float threshold = static_cast<float>(Threshold());
  std::vector<Segment> kinds(bars.size(), Segment::kRest);
  bool playing = true;
  for (size_t i = first; i < bars.size(); ++i) {
    if (IsMelodic()) {
      // Playing starts above the threshold and stops below it; a bar at it goes on as before.
      if (i == first) {
        playing = true;
      } else if (playing && bars[i].noteCount < threshold) {
        playing = false;
      } else if (!playing && bars[i].noteCount > threshold) {
        playing = true;
      }
      kinds[i] = !playing            ? Segment::kRest
                 : bars[i].qualifies ? Segment::kPlayFirst
                                     : Segment::kPlaySecond;
    } else {
      kinds[i] = bars[i].active ? Segment::kPlayFirst : Segment::kRest;
    }
  }
  size_t i = first;
  while (i < bars.size()) {
    size_t end = i + 1;
    while (end < bars.size() && kinds[end] == kinds[i]) {
      ++end;
    }
    // A bar of an unsupported meter ends the show there.
    const bool stops = badBar < end;
    if (stops) {
      end = badBar;
    }
    if (end > i) {
      if (kinds[i] == Segment::kRest) {
        KeyRest(bars, i, end, offset, pending);
      } else {
        KeyPlay(bars, i, end, offset, kinds[i], pending);
      }
    }
    if (stops) {
      return false;
    }
    i = end;
  }
  KeyExit(offset + bars.back().start + bars.back().duration, pending);
  return true;
}

// ---- playing ----

Animation::Set* Animation::CurrentSet(uint64_t t) const {
  if (timeline.empty() || artist == nullptr || !artist->shown) {
    return nullptr;
  }
  auto after = timeline.upper_bound(t);
  if (after == timeline.begin()) {
    return nullptr;
  }
  return std::prev(after)->second;
}

Animation* Animation::MergeDrums(const std::vector<Animation*>& animations) {
  const Animation* earliest = nullptr;
  const Animation* latest = nullptr;
  for (const Animation* drum : animations) {
    if (drum == nullptr) {
      continue;
    }
    if (!drum->entryEntries.empty() &&
        (earliest == nullptr || drum->walkStartMs < earliest->walkStartMs)) {
      earliest = drum;
    }
    if (!drum->exitEntries.empty() && (latest == nullptr || drum->exitEndMs > latest->exitEndMs)) {
      latest = drum;
    }
  }
  Animation* merged = nullptr;
  for (const Animation* drum : animations) {
    if (drum == nullptr) {
      continue;
    }
    if (merged == nullptr) {
      merged = new Animation(drum->artist);
    }
    for (const auto& timed : drum->timeline) {
      const auto& [time, set] = timed;
      // Compares through timed: lambdas may not capture structured bindings before C++20's
      // P1091 fix, which clang 14 lacks.
      const auto same = [&timed](const auto& entry) {
        return entry.first == timed.first && entry.second == timed.second;
      };
      const bool entry = std::any_of(drum->entryEntries.begin(), drum->entryEntries.end(), same);
      const bool exit = std::any_of(drum->exitEntries.begin(), drum->exitEntries.end(), same);
      if ((entry && drum != earliest) || (exit && drum != latest)) {
        continue;  // another group's walk in or out is the one keyed on the sprites
      }
      auto [it, inserted] = merged->timeline.emplace(time, set);
      if (!inserted && !IsPlayingKind(it->second->GetKind()) && IsPlayingKind(set->GetKind())) {
        it->second = set;
      }
    }
  }
  if (merged != nullptr) {
    if (earliest != nullptr) {
      merged->entryEntries = earliest->entryEntries;
      merged->walkStartMs = earliest->walkStartMs;
    }
    if (latest != nullptr) {
      merged->exitEntries = latest->exitEntries;
      merged->exitEndMs = latest->exitEndMs;
    }
  }
  return merged;
}

}  // namespace Kesh::Data::Tracks
