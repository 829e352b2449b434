#include "data/analysis.h"

#include <algorithm>
#include <array>
#include <bit>
#include <limits>
#include <memory>
#include <utility>

#include "framework/text.h"
#include "framework/xml.h"
#include "tavro/midi.h"

namespace Midi = Kesh::Audio::Midi;

namespace Kesh::Data::Events {

namespace {

using Vell::Data::Xml::Element;
using Vell::Data::Xml::Node;

std::unique_ptr<Element> Child(const Element* parent, const char* path) {
  if (parent == nullptr) {
    return nullptr;
  }
  auto node = parent->SelectNode(path);
  return node != nullptr ? node->AsElement() : nullptr;
}

void ReadWidened(const Element* element, const char* attribute, double& value) {
  float read = 0.0f;
  if (element != nullptr && element->ReadFloat(attribute, read)) {
    value = read;
  }
}

uint32_t Saturate32(int64_t value) {
  if (value < 0) {
    return 0;
  }
  return value > std::numeric_limits<uint32_t>::max() ? std::numeric_limits<uint32_t>::max()
                                                      : static_cast<uint32_t>(value);
}

// Quarter notes per minute of a tempo in microseconds per quarter. A tempo of 0 is taken as the
// fastest possible one (1 microsecond), so that the bar's tempo stays finite.
float BeatsPerMinute(uint32_t tempo) {
  return 60000000.0f / static_cast<float>(tempo == 0 ? 1u : tempo);
}

// A set of notes 0-127 as two words.
struct NoteSet {
  uint64_t low = 0;
  uint64_t high = 0;

  void Set(uint32_t note) {
    if (note < 64) {
      low |= uint64_t{1} << note;
    } else {
      high |= uint64_t{1} << (note - 64);
    }
  }
  void Reset(uint32_t note) {
    if (note < 64) {
      low &= ~(uint64_t{1} << note);
    } else {
      high &= ~(uint64_t{1} << (note - 64));
    }
  }
  bool Empty() const { return low == 0 && high == 0; }
  uint32_t Count() const { return std::popcount(low) + std::popcount(high); }
  uint32_t Lowest() const { return low != 0 ? std::countr_zero(low) : 64 + std::countr_zero(high); }
  uint32_t Highest() const {
    return high != 0 ? 127 - std::countl_zero(high) : 63 - std::countl_zero(low);
  }
};

}  // namespace

// ---- settings ----

void DrumGroup::SetNoteList(const std::string& list) {
  notes = list + ",";
  members.reset();
  for (std::string_view piece : Vell::Text::SplitCommas(list)) {
    piece = Vell::Text::Trim(piece);
    if (piece.empty() || piece.size() > 3 ||
        !std::all_of(piece.begin(), piece.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      continue;
    }
    const int note = Vell::Text::ToInt(piece);
    if (note < 128) {
      members.set(note);
    }
  }
}

bool AnalysisSettings::Load(const std::string& path, std::string* error) {
  Vell::Data::Xml::Document document;
  std::string why;
  if (!document.Load(path, &why)) {
    if (error != nullptr) {
      *error = "analysis settings " + why;
    }
    return false;
  }
  return Read(document, path, error);
}

bool AnalysisSettings::LoadText(const std::string& text, std::string* error) {
  Vell::Data::Xml::Document document;
  std::string why;
  if (!document.LoadString(text, &why)) {
    if (error != nullptr) {
      *error = "analysis settings do not parse: " + why;
    }
    return false;
  }
  return Read(document, "(text)", error);
}

bool AnalysisSettings::Read(const Vell::Data::Xml::Document& document, const std::string& source,
                            std::string* error) {
  auto root = document.GetRoot();
  std::unique_ptr<Element> analysis = Child(root.get(), "Analysis");
  if (analysis == nullptr && root != nullptr &&
      Vell::Text::EqualsIgnoreCase(root->GetName(), "Analysis")) {
    analysis = std::move(root);
  }
  if (analysis == nullptr) {
    if (error != nullptr) {
      *error = "analysis settings '" + source + "' have no Analysis element";
    }
    return false;
  }

  if (auto params = Child(analysis.get(), "params")) {
    params->ReadInt("hist_bin_size", histogramBinSize);
  }
  ReadWidened(Child(analysis.get(), "Events/PauseBeg").get(), "ShiftOnward", pauseBegShiftOnward);
  ReadWidened(Child(analysis.get(), "Events/PauseEnd").get(), "ShiftToward", pauseEndShiftToward);
  auto pauseMid = Child(analysis.get(), "Events/PauseMid");
  ReadWidened(pauseMid.get(), "MinLength", pauseMidMinLength);
  ReadWidened(pauseMid.get(), "ShiftOnward", pauseMidShiftOnward);
  ReadWidened(pauseMid.get(), "ShiftToward", pauseMidShiftToward);
  auto solo = Child(analysis.get(), "Events/Solo");
  ReadWidened(solo.get(), "MinSoloLength", soloMinSoloLength);
  ReadWidened(solo.get(), "MinOverlapInterval", soloMinOverlapInterval);
  ReadWidened(solo.get(), "MaxOverlepedNotes", soloMaxOverlappedNotes);

  drumGroups.clear();
  auto drums = Child(analysis.get(), "Drums");
  for (int number = 1; drums != nullptr; ++number) {
    auto list = Child(drums.get(), ("list" + std::to_string(number)).c_str());
    if (list == nullptr) {
      break;
    }
    DrumGroup group;
    if (!list->ReadInt("Patch", group.patch)) {
      continue;  // a group without a patch has no track to fill
    }
    list->ReadString("Name", group.name);
    std::string noteList;
    list->ReadString("NoteList", noteList);
    group.SetNoteList(noteList);
    int exclusive = 0;
    if (list->ReadInt("Exclusive", exclusive)) {
      group.exclusive = exclusive != 0;
    }
    list->ReadFloat("X", group.weight);
    drumGroups.push_back(std::move(group));
  }
  return true;
}

// ---- analysis ----

Analysis::Analysis(const Audio::SongData* song, const std::string& configPath)
    : enumerator(&tracks), song(song) {
  configLoaded = settings.Load(configPath, &configError);
  if (!configLoaded) {
    settings = AnalysisSettings();
  }
  Init();
}

Analysis::Analysis(const Audio::SongData* song, AnalysisSettings settings)
    : settings(std::move(settings)), configLoaded(true), enumerator(&tracks), song(song) {
  Init();
}

void Analysis::Init() {
  if (song != nullptr) {
    division = song->division;
    lastTick = Audio::LastTick(*song);
  }
  // Below 8 ticks per quarter a thirty-second note is less than a tick: sample every tick.
  gridStep = std::max<uint32_t>(1, division / 8);
  histogramBin = static_cast<uint32_t>(
      (static_cast<uint64_t>(division) * static_cast<uint32_t>(settings.histogramBinSize)) >> 4);
}

Analysis::~Analysis() { Clear(); }

Vell::Collections::IEnumerator<Tracks::Event*>* Analysis::GetEnumerator() {
  enumerator.Reset();
  return &enumerator;
}

Tracks::Event* Analysis::GetTrack(int patch) const {
  auto it = trackByPatch.find(patch);
  return it == trackByPatch.end() ? nullptr : it->second;
}

int Analysis::GetTotalLength() const {
  return static_cast<int>(std::min<int64_t>(totalLength, std::numeric_limits<int>::max()));
}

int64_t Analysis::ToMs(uint32_t tempo, uint64_t ticks, uint32_t division) {
  if (division == 0) {
    return 0;
  }
  // ticks = q x divisor + r, so the rounded quotient is tempo x q plus the rounded quotient of
  // tempo x r (which fits in 64 bits); the product is never formed in full.
  const uint64_t divisor = static_cast<uint64_t>(division) * 1000;
  const uint64_t q = ticks / divisor;
  const uint64_t r = ticks % divisor;
  uint64_t whole = 0;
  if (__builtin_mul_overflow(static_cast<uint64_t>(tempo), q, &whole) ||
      whole > static_cast<uint64_t>(std::numeric_limits<int64_t>::max() / 2)) {
    return std::numeric_limits<int64_t>::max() / 2;
  }
  return static_cast<int64_t>(whole + (static_cast<uint64_t>(tempo) * r + divisor / 2) / divisor);
}

void Analysis::Clear() {
  enumerator.Reset();
  for (Tracks::Event* track : tracks) {
    delete track;
  }
  tracks.clear();
  barTrack = nullptr;
  notesByProgram.clear();
  drumHits.clear();
  trackByPatch.clear();
  barByTick.clear();
  totalLength = 0;
}

Tracks::Event* Analysis::AddTrack(int patch, int channel) {
  auto* track = new Tracks::Event(patch, channel);
  tracks.push_back(track);
  return track;
}

bool Analysis::Run() {
  Clear();
  error.clear();
  if (!BuildBars()) {
    return false;
  }
  CollectMelodicNotes();
  CollectDrumHits();
  MeasureMelodicBars();
  MeasureDrumBars();
  return true;
}

bool Analysis::BuildBars() {
  if (song == nullptr) {
    error = "no song";
    return false;
  }
  const auto& tempos = song->tempoChanges;
  // The song record promises meters in tick order, but a record built elsewhere may not keep
  // it: out of order, segments would overlap and lay bars over bars. Sorted as the reader does.
  std::vector<Kesh::Audio::TimeSignature> meters = song->timeSignatures;
  std::stable_sort(meters.begin(), meters.end(),
                   [](const auto& a, const auto& b) { return a.tick < b.tick; });
  if (tempos.empty()) {
    error = "the song has no tempo";
    return false;
  }
  if (meters.empty()) {
    error = "the song has no time signature";
    return false;
  }

  // Each time signature covers the ticks up to the next one (the last up to the song's last
  // tick) with whole bars; the first starts at tick 0 whatever tick it carries. A meter that
  // makes a bar zero ticks long, or a segment that ends before it starts, gives no bars.
  struct MeterSpan {
    uint32_t start;
    uint32_t barLength;
    uint32_t bars;
  };
  std::vector<MeterSpan> segments;
  segments.reserve(meters.size());
  uint64_t barTotal = 0;
  for (size_t j = 0; j < meters.size(); ++j) {
    const auto startOf = [&](size_t i) {
      return i == 0 ? 0u : static_cast<uint32_t>(std::max(0, meters[i].tick));
    };
    const uint32_t start = startOf(j);
    const uint32_t end = j + 1 < meters.size() ? startOf(j + 1) : lastTick;
    const uint32_t exponent = meters[j].denominatorExp;
    const uint32_t whole = division * meters[j].numerator * 4;
    // Beyond 2^31 the denominator exceeds every possible whole: the bar has no ticks.
    const uint32_t length = exponent < 32 ? whole / (uint32_t{1} << exponent) : 0;
    const uint32_t bars = length > 0 && end > start ? (end - start) / length : 0;
    segments.push_back({start, length, bars});
    barTotal += bars;
  }
  if (barTotal > kMaxBars) {
    error = "the song has too many bars (" + std::to_string(barTotal) + ")";
    return false;
  }

  barTrack = AddTrack(-1, -1);
  totalLength = 0;
  uint32_t barIndex = 0;

  // Tempo walk: the tempo in force from tick e on, reached after A milliseconds.
  uint32_t tempo = tempos[0].tempo;
  uint64_t e = 0;
  int64_t accumulated = 0;
  size_t next = 1;
  const auto advance = [&] {
    const uint64_t tick = tempos[next].tick;
    // A change listed out of order takes effect where the walk stands.
    if (tick > e) {
      accumulated += ToMs(tempo, tick - e, division);
      e = tick;
    }
    tempo = tempos[next].tempo;
    ++next;
  };

  for (size_t j = 0; j < segments.size(); ++j) {
    const MeterSpan& segment = segments[j];
    const float numerator = meters[j].numerator;
    const float denominator =
        static_cast<float>(uint64_t{1} << std::min<uint32_t>(meters[j].denominatorExp, 63));
    for (uint32_t k = 0; k < segment.bars; ++k) {
      const uint64_t s = segment.start + static_cast<uint64_t>(k) * segment.barLength;
      const uint64_t barEnd = s + segment.barLength;
      while (next < tempos.size() && tempos[next].tick < s) {
        advance();
      }
      const int64_t barStart = accumulated + ToMs(tempo, s > e ? s - e : 0, division);
      float bpmSum = BeatsPerMinute(tempo);
      int count = 1;
      while (next < tempos.size() && tempos[next].tick < barEnd) {
        advance();
        count += 1;
        bpmSum += BeatsPerMinute(tempo);
      }
      const int64_t barDuration =
          accumulated + ToMs(tempo, barEnd > e ? barEnd - e : 0, division) - barStart;
      auto* bar = new BarBegin(Saturate32(barStart), Saturate32(barDuration), barIndex, numerator,
                               denominator, bpmSum / static_cast<float>(count));
      barByTick[static_cast<uint32_t>(s)] = bar;
      barTrack->Insert(bar);
      totalLength += barDuration;
      barIndex += 1;
    }
  }
  return true;
}

void Analysis::CollectMelodicNotes() {
  struct Mark {
    uint32_t time;
    uint8_t note;
    uint8_t program;
    bool on;
  };
  size_t eventCount = 0;
  for (const Audio::SongTrack& songTrack : song->tracks) {
    eventCount += songTrack.events.size();
  }
  // All marks in reading order, then grouped by program keeping that order (a counting sort).
  std::vector<Mark> read;
  read.reserve(eventCount);
  std::array<size_t, 129> first{};
  std::array<int, 16> current;
  current.fill(-1);
  for (const Audio::SongTrack& songTrack : song->tracks) {
    for (const Audio::MidiEvent& event : songTrack.events) {
      const int channel = event.status & Midi::kChannelMask;
      const int kind = event.status & Midi::kKindMask;
      if (channel == Midi::kDrumChannel) {
        continue;
      }
      if (kind == Midi::kProgramChange) {
        const int program = event.data1 & Midi::kDataMask;
        current[channel] = program;
        if (trackByPatch.find(program) == trackByPatch.end()) {
          trackByPatch[program] = AddTrack(program, channel);
        }
        continue;
      }
      // Notes before the channel's first program change are ignored. A note-on counts whatever
      // its velocity.
      if (current[channel] < 0 || (kind != Midi::kNoteOff && kind != Midi::kNoteOn)) {
        continue;
      }
      read.push_back({GridTime(event.tick), static_cast<uint8_t>(event.data1 & Midi::kDataMask),
                      static_cast<uint8_t>(current[channel]), kind == Midi::kNoteOn});
      first[current[channel] + 1] += 1;
    }
  }
  for (size_t p = 1; p < first.size(); ++p) {
    first[p] += first[p - 1];
  }
  std::vector<Mark> marks(read.size());
  {
    std::array<size_t, 129> next = first;
    for (const Mark& mark : read) {
      marks[next[mark.program]++] = mark;
    }
  }

  // Channels sharing a program pool their notes, identified by number only. Between two marks
  // the set of sounding notes is constant: each such stretch is one run of grid steps, which is
  // what sampling every sounding note on every step would give, without the samples.
  const auto byTime = [](const Mark& a, const Mark& b) { return a.time < b.time; };
  for (int program = 0; program < 128; ++program) {
    const auto begin = marks.begin() + static_cast<ptrdiff_t>(first[program]);
    const auto end = marks.begin() + static_cast<ptrdiff_t>(first[program + 1]);
    if (begin == end) {
      continue;
    }
    if (!std::is_sorted(begin, end, byTime)) {
      std::stable_sort(begin, end, byTime);
    }
    std::vector<Segment>& runs = notesByProgram[program];
    runs.reserve(static_cast<size_t>(end - begin));
    NoteSet active;
    uint32_t previous = begin->time;
    for (auto mark = begin; mark != end; ++mark) {
      if (mark->time > previous && !active.Empty()) {
        runs.push_back({previous, mark->time, active.Count(), static_cast<uint8_t>(active.Lowest()),
                        static_cast<uint8_t>(active.Highest())});
      }
      previous = mark->time;
      if (mark->on) {
        active.Set(mark->note);
      } else {
        active.Reset(mark->note);
      }
    }
  }
}

void Analysis::CollectDrumHits() {
  size_t hits = 0;
  for (const Audio::SongTrack& songTrack : song->tracks) {
    for (const Audio::MidiEvent& event : songTrack.events) {
      hits += (event.status & Midi::kChannelMask) == Midi::kDrumChannel ? 1 : 0;
    }
  }
  drumHits.reserve(hits);
  for (const Audio::SongTrack& songTrack : song->tracks) {
    for (const Audio::MidiEvent& event : songTrack.events) {
      if ((event.status & Midi::kChannelMask) == Midi::kDrumChannel) {
        drumHits.push_back({GridTime(event.tick), event.data1 & unsigned{Midi::kDataMask}});
      }
    }
  }
  // Only the time order matters to the measurements.
  if (!std::is_sorted(drumHits.begin(), drumHits.end(),
                      [](const Hit& a, const Hit& b) { return a.time < b.time; })) {
    std::stable_sort(drumHits.begin(), drumHits.end(),
                     [](const Hit& a, const Hit& b) { return a.time < b.time; });
  }
  for (const DrumGroup& group : settings.drumGroups) {
    if (trackByPatch.find(group.patch) == trackByPatch.end()) {
      trackByPatch[group.patch] = AddTrack(group.patch, 9);
    }
  }
}

Analysis::Bar Analysis::BarSpan(uint32_t start, const BarBegin& bar) const {
  // The bar's length from its own meter, in floating point and truncated as the bar was measured.
  const float length = static_cast<float>(4u * division) * bar.Numerator() / bar.Denominator();
  const uint32_t ticks = length >= 4294967295.0f ? std::numeric_limits<uint32_t>::max()
                                                 : static_cast<uint32_t>(length);
  return {static_cast<uint64_t>(start) + ticks, ticks};
}

void Analysis::MeasureMelodicBars() {
  for (const auto& [program, runs] : notesByProgram) {
    Tracks::Event* track = trackByPatch[program];
    for (const auto& entry : barByTick) {
      const uint32_t start = entry.first;
      const BarBegin* bar = entry.second;
      const Bar span = BarSpan(start, *bar);
      // Samples strictly inside the bar: a sample on the bar's first tick belongs to no bar.
      const uint64_t from = (static_cast<uint64_t>(start) / gridStep + 1) * gridStep;
      uint64_t count = 0;
      uint64_t positions = 0;
      uint32_t lowest = 128;
      uint32_t highest = 0;
      auto run = std::upper_bound(runs.begin(), runs.end(), from,
                                  [](uint64_t t, const Segment& r) { return t < r.end; });
      for (; run != runs.end() && run->begin < span.end; ++run) {
        const uint64_t a = std::max<uint64_t>(run->begin, from);
        const uint64_t b = std::min<uint64_t>(run->end, span.end);
        if (b <= a) {
          continue;
        }
        const uint64_t steps = (b - a + gridStep - 1) / gridStep;
        count += steps * run->notes;
        positions += steps;
        lowest = std::min<uint32_t>(lowest, run->lowest);
        highest = std::max<uint32_t>(highest, run->highest);
      }
      auto* range = new BarRange(*bar);
      range->SetParam(BarRange::kNoteCount, static_cast<float>(count));
      range->SetParam(BarRange::kLowest, static_cast<float>(lowest & Midi::kDataMask));
      range->SetParam(BarRange::kHighest, static_cast<float>(highest & Midi::kDataMask));
      // Over a grid step with k notes the polyphony sum grows by k - 1.
      const uint64_t polySum = count - positions;
      range->SetParam(BarRange::kPolyphony,
                      count > 0 ? static_cast<float>(polySum) / static_cast<float>(count) : 0.0f);
      range->SetParam(BarRange::kCoverage, span.length > 0
                                               ? static_cast<float>(gridStep * positions) /
                                                     static_cast<float>(span.length)
                                               : 0.0f);
      range->SetParam(BarRange::kWeight, 0.0f);
      track->Insert(range);
    }
  }
}

void Analysis::MeasureDrumBars() {
  const std::vector<DrumGroup>& groups = settings.drumGroups;
  if (groups.empty()) {
    return;
  }
  // The groups each note belongs to.
  std::array<std::vector<size_t>, 128> groupsOfNote;
  for (size_t g = 0; g < groups.size(); ++g) {
    for (int note = 0; note < 128; ++note) {
      if (groups[g].Contains(note)) {
        groupsOfNote[note].push_back(g);
      }
    }
  }
  std::vector<uint32_t> hitsOfGroup(groups.size());
  std::vector<float> weights(groups.size());

  for (const auto& entry : barByTick) {
    const uint32_t start = entry.first;
    const BarBegin* bar = entry.second;
    const Bar span = BarSpan(start, *bar);
    auto hit = std::upper_bound(drumHits.begin(), drumHits.end(), static_cast<uint64_t>(start),
                                [](uint64_t t, const Hit& h) { return t < h.time; });
    std::fill(hitsOfGroup.begin(), hitsOfGroup.end(), 0);
    uint32_t total = 0;
    uint32_t positions = 0;
    uint32_t lowest = 128;
    uint32_t highest = 0;
    uint64_t lastTime = std::numeric_limits<uint64_t>::max();
    for (; hit != drumHits.end() && hit->time < span.end; ++hit) {
      total += 1;
      if (hit->time != lastTime) {
        positions += 1;
        lastTime = hit->time;
      }
      lowest = std::min(lowest, hit->note);
      highest = std::max(highest, hit->note);
      for (size_t g : groupsOfNote[hit->note]) {
        hitsOfGroup[g] += 1;
      }
    }
    const float inverse = total > 0 ? 1.0f / static_cast<float>(total) : 1.0f;
    // Every hit of a group adds the same share; the single-precision sum is accumulated hit by
    // hit, as the group's note count is read back from it.
    for (size_t g = 0; g < groups.size(); ++g) {
      const float share = groups[g].weight * inverse;
      float w = 0.0f;
      for (uint32_t i = 0; i < hitsOfGroup[g]; ++i) {
        w += share;
      }
      weights[g] = w;
    }

    const auto emit = [&](size_t g, bool reports) {
      int count = 0;
      if (reports && weights[g] > 0.0f) {
        const float units = weights[g] / (groups[g].weight * inverse);
        if (units >= 2147483647.0f) {
          count = std::numeric_limits<int>::max();
        } else if (units >= 0.0f) {  // false for NaN too
          count = static_cast<int>(units);
        }
      }
      auto* range = new BarRange(*bar);
      range->SetParam(BarRange::kNoteCount, static_cast<float>(count));
      range->SetParam(BarRange::kLowest, static_cast<float>(lowest & Midi::kDataMask));
      range->SetParam(BarRange::kHighest, static_cast<float>(highest & Midi::kDataMask));
      range->SetParam(BarRange::kPolyphony, static_cast<float>(total - positions));
      range->SetParam(BarRange::kCoverage, static_cast<float>(positions));
      range->SetParam(BarRange::kWeight, weights[g]);
      trackByPatch[groups[g].patch]->Insert(range);
    };

    // Exclusive groups report their own hits; of the others only the heaviest reports, the
    // earlier one on a tie. The comparison starts from group 0 whatever its kind.
    size_t best = 0;
    for (size_t g = 0; g < groups.size(); ++g) {
      if (groups[g].exclusive) {
        emit(g, true);
      } else if (weights[g] > weights[best]) {
        best = g;
      }
    }
    for (size_t g = 0; g < groups.size(); ++g) {
      if (!groups[g].exclusive) {
        emit(g, g == best);
      }
    }
  }
}

}  // namespace Kesh::Data::Events
