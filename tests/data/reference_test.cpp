// The analysis keeps runs of grid steps instead of one record per sample. This test compares it
// with a straightforward analysis that stores every sample in ordered multisets and counts them
// step by step, on random songs and on the corpus: every bar and every range must be identical.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <vector>

#include "audio/midi/midi_file.h"
#include "data/analysis.h"

namespace {

namespace fs = std::filesystem;
using Kesh::Audio::SongData;
using Kesh::Data::Events::Analysis;
using Kesh::Data::Events::AnalysisSettings;
using Kesh::Data::Events::DrumGroup;

struct Record {
  uint32_t start = 0;
  uint32_t duration = 0;
  uint32_t bar = 0;
  std::vector<float> params;
  bool operator==(const Record&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Record& r) {
  out << "{start " << r.start << ", duration " << r.duration << ", bar " << r.bar << ", params";
  for (float p : r.params) {
    out << " " << p;
  }
  return out << "}";
}

struct Track {
  int patch;
  int channel;
  std::vector<Record> events;
};

// Sample-by-sample analysis, written down step by step.
class Reference {
 public:
  Reference(const SongData& song, std::vector<DrumGroup> groups)
      : song(song), groups(std::move(groups)) {
    division = song.division;
    grid = std::max<uint32_t>(1, division / 8);
    lastTick = Kesh::Audio::LastTick(song);
  }

  std::vector<Track> Run() {
    BuildBars();
    CollectMelodic();
    CollectDrums();
    MeasureMelodic();
    MeasureDrums();
    for (Track& track : tracks) {
      std::stable_sort(track.events.begin(), track.events.end(),
                       [](const Record& a, const Record& b) { return a.start < b.start; });
    }
    return tracks;
  }

 private:
  struct Sample {
    uint32_t time;
    uint32_t note;
    int state;
  };
  struct ByTime {
    using is_transparent = void;
    static uint32_t Key(const std::unique_ptr<Sample>& s) { return s->time; }
    static uint64_t Key(uint64_t t) { return t; }
    template <typename A, typename B>
    bool operator()(const A& a, const B& b) const {
      return Key(a) < Key(b);
    }
  };
  using Samples = std::multiset<std::unique_ptr<Sample>, ByTime>;
  struct Bar {
    Record record;
    float numerator;
    float denominator;
  };

  static int64_t ToMs(uint64_t tempo, uint64_t ticks, uint64_t division) {
    return static_cast<int64_t>((tempo * ticks + division * 500) / (division * 1000));
  }

  Track& TrackOf(int patch) {
    for (Track& track : tracks) {
      if (track.patch == patch) {
        return track;
      }
    }
    ADD_FAILURE() << "no track " << patch;
    return tracks.front();
  }
  bool HasTrack(int patch) const {
    return std::any_of(tracks.begin(), tracks.end(),
                       [patch](const Track& t) { return t.patch == patch; });
  }

  void BuildBars() {
    tracks.push_back({-1, -1, {}});
    const auto& tc = song.tempoChanges;
    const auto& ts = song.timeSignatures;
    uint32_t tempo = tc[0].tempo;
    uint64_t e = 0;
    int64_t a = 0;
    size_t next = 1;
    uint32_t index = 0;
    const auto advance = [&] {
      a += ToMs(tempo, tc[next].tick - e, division);
      tempo = tc[next].tempo;
      e = tc[next].tick;
      ++next;
    };
    for (size_t j = 0; j < ts.size(); ++j) {
      const uint32_t t = j == 0 ? 0 : ts[j].tick;
      const uint32_t n = ts[j].numerator;
      const uint32_t d = 1u << ts[j].denominatorExp;
      const uint32_t length = division * n * 4 / d;
      const uint32_t end = j + 1 < ts.size() ? ts[j + 1].tick : lastTick;
      if (length == 0 || end <= t) {
        continue;
      }
      for (uint32_t k = 0; k < (end - t) / length; ++k) {
        const uint32_t s = t + k * length;
        while (next < tc.size() && tc[next].tick < s) {
          advance();
        }
        const int64_t barStart = a + ToMs(tempo, s - e, division);
        float bpmSum = 60000000.0f / static_cast<float>(tempo);
        int count = 1;
        while (next < tc.size() && tc[next].tick < s + length) {
          advance();
          count += 1;
          bpmSum += 60000000.0f / static_cast<float>(tempo);
        }
        const int64_t duration = a + ToMs(tempo, s + length - e, division) - barStart;
        Bar bar{
            {static_cast<uint32_t>(barStart),
             static_cast<uint32_t>(duration),
             index,
             {static_cast<float>(n), static_cast<float>(d), bpmSum / static_cast<float>(count)}},
            static_cast<float>(n),
            static_cast<float>(d)};
        bars[s] = bar;
        tracks[0].events.push_back(bar.record);
        index += 1;
      }
    }
  }

  void CollectMelodic() {
    std::array<int, 16> current;
    current.fill(-1);
    for (const auto& track : song.tracks) {
      for (const auto& event : track.events) {
        const int c = event.status & 0x0F;
        const int k = event.status & 0xF0;
        if (c == 9) {
          continue;
        }
        if (k == 0xC0) {
          const int program = event.data1 & 0x7F;
          current[c] = program;
          if (!HasTrack(program)) {
            tracks.push_back({program, c, {}});
          }
          continue;
        }
        if (current[c] == -1 || (k != 0x80 && k != 0x90)) {
          continue;
        }
        notes[current[c]].insert(std::make_unique<Sample>(
            Sample{event.tick / grid * grid, event.data1 & 0x7Fu, k == 0x90 ? 2 : 0}));
      }
    }
    for (auto& [program, samples] : notes) {
      std::set<uint32_t> active;
      uint32_t previous = (*samples.begin())->time;
      for (auto it = samples.begin(); it != samples.end(); ++it) {
        Sample& mark = **it;
        if (mark.state == 1) {
          continue;
        }
        for (uint32_t t = previous; t < mark.time; t += grid) {
          for (uint32_t note : active) {
            samples.insert(std::make_unique<Sample>(Sample{t, note, 1}));
          }
        }
        previous = mark.time;
        if (mark.state == 2) {
          active.insert(mark.note);
        } else {
          active.erase(mark.note);
        }
        mark.state = 0;
      }
      for (auto it = samples.begin(); it != samples.end();) {
        it = (*it)->state == 0 ? samples.erase(it) : std::next(it);
      }
    }
  }

  void CollectDrums() {
    for (const auto& track : song.tracks) {
      for (const auto& event : track.events) {
        if ((event.status & 0x0F) == 9) {
          drums.insert(
              std::make_unique<Sample>(Sample{event.tick / grid * grid, event.data1 & 0x7Fu, 1}));
        }
      }
    }
    for (const DrumGroup& group : groups) {
      if (!HasTrack(group.patch)) {
        tracks.push_back({group.patch, 9, {}});
      }
    }
  }

  struct Counts {
    std::vector<const Sample*> samples;
    int positions = 0;
    int polySum = 0;
    uint32_t lowest = 128;
    uint32_t highest = 0;
    uint32_t length = 0;
  };

  Counts BarSamples(uint32_t s, const Bar& bar, const Samples& all) const {
    Counts c;
    c.length =
        static_cast<uint32_t>(static_cast<float>(4 * division) * bar.numerator / bar.denominator);
    const uint64_t end = static_cast<uint64_t>(s) + c.length;
    uint32_t lastTime = 0;
    int k = 0;
    bool first = true;
    for (auto it = all.upper_bound(uint64_t{s}); it != all.end() && (*it)->time < end; ++it) {
      const Sample* sample = it->get();
      c.samples.push_back(sample);
      if (first || sample->time != lastTime) {
        first = false;
        lastTime = sample->time;
        k = static_cast<int>(all.count(uint64_t{sample->time}));
        c.positions += 1;
      }
      k -= 1;
      if (k > 0) {
        c.polySum += 1;
      }
      c.lowest = std::min(c.lowest, sample->note);
      c.highest = std::max(c.highest, sample->note);
    }
    return c;
  }

  void MeasureMelodic() {
    for (const auto& [program, samples] : notes) {
      for (const auto& [s, bar] : bars) {
        const Counts c = BarSamples(s, bar, samples);
        const auto count = static_cast<int>(c.samples.size());
        Record r = bar.record;
        r.params = {static_cast<float>(count),
                    static_cast<float>(c.lowest & 0x7F),
                    static_cast<float>(c.highest & 0x7F),
                    count > 0 ? static_cast<float>(c.polySum) / static_cast<float>(count) : 0.0f,
                    static_cast<float>(grid * c.positions) / static_cast<float>(c.length),
                    0.0f};
        TrackOf(program).events.push_back(r);
      }
    }
  }

  void MeasureDrums() {
    for (const auto& entry : bars) {
      const uint32_t s = entry.first;
      const Bar& bar = entry.second;
      std::vector<float> w(groups.size(), 0.0f);
      const Counts c = BarSamples(s, bar, drums);
      const auto h = static_cast<int>(c.samples.size());
      const float inv = h > 0 ? 1.0f / static_cast<float>(h) : 1.0f;
      for (const Sample* hit : c.samples) {
        for (size_t g = 0; g < groups.size(); ++g) {
          if (groups[g].Contains(static_cast<int>(hit->note))) {
            w[g] += groups[g].weight * inv;
          }
        }
      }
      const auto emit = [&](size_t g, bool reports) {
        int count = 0;
        if (reports && w[g] > 0.0f) {
          count = static_cast<int>(w[g] / (groups[g].weight * inv));
        }
        Record r = bar.record;
        r.params = {static_cast<float>(count),
                    static_cast<float>(c.lowest & 0x7F),
                    static_cast<float>(c.highest & 0x7F),
                    static_cast<float>(c.polySum),
                    static_cast<float>(c.positions),
                    w[g]};
        TrackOf(groups[g].patch).events.push_back(r);
      };
      size_t best = 0;
      for (size_t g = 0; g < groups.size(); ++g) {
        if (groups[g].exclusive) {
          emit(g, true);
        } else if (w[g] > w[best]) {
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

  const SongData& song;
  std::vector<DrumGroup> groups;
  uint32_t division;
  uint32_t grid;
  uint32_t lastTick;
  std::vector<Track> tracks;
  std::map<uint32_t, Bar> bars;
  std::map<int, Samples> notes;
  Samples drums;
};

void ExpectSame(const SongData& song, const AnalysisSettings& settings) {
  Analysis analysis(&song, settings);
  ASSERT_TRUE(analysis.Run()) << analysis.Error();
  const std::vector<Track> expected = Reference(song, settings.drumGroups).Run();
  ASSERT_EQ(analysis.GetTracks().size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    const auto* track = analysis.GetTracks()[i];
    SCOPED_TRACE("track " + std::to_string(i) + ", patch " + std::to_string(expected[i].patch));
    EXPECT_EQ(track->GetPatch(), expected[i].patch);
    EXPECT_EQ(track->GetChannel(), expected[i].channel);
    std::vector<Record> actual;
    for (const auto* event : track->GetEvents()) {
      Record r{event->start, event->duration, event->bar, {}};
      for (int p = 0; p < event->GetParamCount(); ++p) {
        r.params.push_back(event->GetParam(p));
      }
      actual.push_back(r);
    }
    ASSERT_EQ(actual.size(), expected[i].events.size());
    for (size_t e = 0; e < actual.size(); ++e) {
      ASSERT_EQ(actual[e], expected[i].events[e]) << "event " << e;
    }
  }
}

// A random song the reference can take: ascending tempo changes and meters, bars of at least a
// tick, everything else random (chords, velocity-0 note-ons, notes before a program change,
// channels sharing programs, events on bar lines, drums with note-offs and controllers).
SongData RandomSong(std::mt19937& rng) {
  const auto pick = [&rng](uint32_t lo, uint32_t hi) {
    return std::uniform_int_distribution<uint32_t>(lo, hi)(rng);
  };
  SongData song;
  const uint16_t divisions[] = {96, 120, 192, 480, 89, 384, 7, 1000};
  song.division = divisions[pick(0, 7)];
  const uint32_t quarter = song.division;
  const uint32_t span = quarter * pick(8, 80);
  uint32_t tick = 0;
  song.tempoChanges.push_back({pick(0, 1) * quarter, pick(200000, 1200000)});
  for (uint32_t n = pick(0, 6); n > 0; --n) {
    tick += pick(1, span / 3);
    const uint32_t at = pick(0, 3) == 0 ? tick / quarter * quarter : tick;  // often on a beat
    song.tempoChanges.push_back(
        {std::max(at, song.tempoChanges.back().tick), pick(150000, 1500000)});
  }
  int32_t meterTick = static_cast<int32_t>(pick(0, 2) * quarter);
  for (uint32_t n = pick(1, 4); n > 0; --n) {
    Kesh::Audio::TimeSignature ts;
    ts.tick = meterTick;
    ts.numerator = static_cast<uint8_t>(pick(1, 12));
    ts.denominatorExp = static_cast<uint8_t>(pick(0, 4));
    song.timeSignatures.push_back(ts);
    meterTick += static_cast<int32_t>(pick(1, span / 2));
  }
  const uint32_t tracks = pick(1, 4);
  song.tracks.resize(tracks);
  for (auto& track : song.tracks) {
    uint32_t at = 0;
    const uint32_t events = pick(0, 300);
    for (uint32_t i = 0; i < events; ++i) {
      at += pick(0, 2) == 0 ? 0 : pick(1, quarter);
      const uint8_t channel = static_cast<uint8_t>(pick(0, 5) == 0 ? 9 : pick(0, 4));
      const uint32_t kind = pick(0, 9);
      uint8_t status;
      uint8_t data1 = static_cast<uint8_t>(pick(0, 3) == 0 ? pick(0, 127) : pick(35, 50));
      if (kind == 0) {
        status = static_cast<uint8_t>(0xC0 | channel);
        data1 = static_cast<uint8_t>(pick(0, 7));
      } else if (kind <= 4) {
        status = static_cast<uint8_t>(0x90 | channel);
      } else if (kind <= 8) {
        status = static_cast<uint8_t>(0x80 | channel);
      } else {
        status = static_cast<uint8_t>(0xB0 | channel);
      }
      track.events.push_back({at, status, data1, static_cast<uint8_t>(pick(0, 2) == 0 ? 0 : 90)});
    }
  }
  return song;
}

AnalysisSettings RandomGroups(std::mt19937& rng) {
  AnalysisSettings settings;
  const float weights[] = {0.5f, 1.0f, 1.5f, 2.5f, 3.0f, 0.1f};
  const int count = std::uniform_int_distribution<int>(0, 5)(rng);
  for (int g = 0; g < count; ++g) {
    DrumGroup group;
    group.patch = std::uniform_int_distribution<int>(0, 3)(rng) == 0 ? 3 : 200 + g % 3;
    group.exclusive = std::uniform_int_distribution<int>(0, 3)(rng) == 0;
    group.weight = weights[std::uniform_int_distribution<int>(0, 5)(rng)];
    std::string list;
    for (int note = 0; note < 128; ++note) {
      if (std::uniform_int_distribution<int>(0, 5)(rng) == 0) {
        list += std::to_string(note) + ",";
      }
    }
    group.SetNoteList(list);
    settings.drumGroups.push_back(group);
  }
  return settings;
}

TEST(AnalysisReference, RandomSongsMatchSampleBySampleAnalysis) {
  std::mt19937 rng(20261208);
  for (int i = 0; i < 120; ++i) {
    SCOPED_TRACE("song " + std::to_string(i));
    const SongData song = RandomSong(rng);
    ExpectSame(song, RandomGroups(rng));
    if (HasFatalFailure()) {
      return;
    }
  }
}

TEST(AnalysisReference, CorpusSongsMatchSampleBySampleAnalysis) {
  AnalysisSettings settings;
  ASSERT_TRUE(settings.Load(TAVRO_SOURCE_DIR "/data/config/analysis.xml"));
  std::vector<fs::path> files;
  std::error_code ec;
  for (const char* folder : {"songs", "kar"}) {
    for (const auto& entry : fs::directory_iterator(fs::path(TAVRO_CORPUS_DIR) / folder, ec)) {
      files.push_back(entry.path());
    }
  }
  if (files.empty()) {
    GTEST_SKIP() << "no corpus at " << TAVRO_CORPUS_DIR;
  }
  std::sort(files.begin(), files.end());
  // Every sixth song keeps the reference's run time small under the sanitizers.
  for (size_t i = 0; i < files.size(); i += 6) {
    SCOPED_TRACE(files[i].filename().string());
    Kesh::Audio::Midi::MidiFile file;
    std::string reason;
    ASSERT_TRUE(Kesh::Audio::Midi::ReadMidiFile(files[i].string(), file, reason)) << reason;
    ExpectSame(file.song, settings);
    if (HasFatalFailure()) {
      return;
    }
  }
}

}  // namespace
