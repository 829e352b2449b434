// The shipped band on stage, through the show plan of the real player with the real player
// module: every corpus song with drums and every demo song gets a drummer who is seated before
// the first drum note and plays the bars with drums; walk-ons and arrivals do not outstay their
// images; nobody stands in the curtains or inside another musician; every song with a busy
// melodic part has someone playing it. The plan printed by tavro-inspect is the one checked here.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "artists/artist.h"
#include "artists/sets.h"
#include "artists/settings.h"
#include "common/sound_plugins.h"
#include "common/temp_dir.h"
#include "data/analysis.h"
#include "data/events.h"
#include "game/game.h"
#include "game/hub.h"
#include "game/player.h"
#include "game/show_plan.h"
#include "gfx/image.h"
#include "platform/platform.h"

namespace {

// The player module lists the sound devices, which loads and unloads ALSA's plugins.
[[maybe_unused]] const bool kPluginsPinned = TavroTest::PinSoundPlugins();

namespace fs = std::filesystem;
using Kesh::Game::ShowPlan;
namespace Sets = Kesh::Artists::Animation;

const std::string kCorpus = TAVRO_CORPUS_DIR;
constexpr int kFrameMs = 40;
// The stage between the curtains of the widest-framed style.
constexpr int kStageLeft = 60;
constexpr int kStageRight = 755;
constexpr double kMostOverlap = 0.25;  // of the smaller box
constexpr double kLeastDrumShare = 0.9;

bool IsPlayingSet(const std::string& set) {
  return set == "csa" || set == "csb" || set == "cra" || set == "crb" || set == "jab" ||
         set == "jba";
}

// The run of the timeline shown at t, or null.
const ShowPlan::Run* RunAt(const std::vector<ShowPlan::Run>& timeline, int64_t t) {
  for (const ShowPlan::Run& run : timeline) {
    if (static_cast<int64_t>(run.startMs) <= t && t < static_cast<int64_t>(run.endMs)) {
      return &run;
    }
  }
  return nullptr;
}

int64_t Overlap(const std::array<int, 4>& a, const std::array<int, 4>& b) {
  const int64_t w = std::min(a[0] + a[2], b[0] + b[2]) - std::max(a[0], b[0]);
  const int64_t h = std::min(a[1] + a[3], b[1] + b[3]) - std::max(a[1], b[1]);
  return w > 0 && h > 0 ? w * h : 0;
}

// The corpus songs, and which of them have drums (the corpus inventory's ch10_drums column).
struct CorpusSong {
  std::string path;
  bool drums = false;
};

std::vector<CorpusSong> CorpusSongs() {
  std::vector<CorpusSong> songs;
  std::ifstream inventory(kCorpus + "/INVENTORY.tsv");
  std::string line;
  std::vector<std::string> header;
  while (std::getline(inventory, line)) {
    std::vector<std::string> cells;
    size_t from = 0;
    for (size_t tab = line.find('\t');; tab = line.find('\t', from)) {
      cells.push_back(line.substr(from, tab == std::string::npos ? std::string::npos : tab - from));
      if (tab == std::string::npos) {
        break;
      }
      from = tab + 1;
    }
    if (header.empty()) {
      header = cells;
      continue;
    }
    const auto column = [&](const std::string& name) -> std::string {
      const auto at = std::find(header.begin(), header.end(), name);
      const size_t i = static_cast<size_t>(at - header.begin());
      return at != header.end() && i < cells.size() ? cells[i] : std::string();
    };
    const std::string file = column("file");
    if (file.rfind("songs/", 0) == 0 || file.rfind("kar/", 0) == 0) {
      songs.push_back({kCorpus + "/" + file, column("ch10_drums") == "yes"});
    }
  }
  return songs;
}

// One hub and game for the whole suite, on the shipped data and the built player module.
class ShowPlanTest : public ::testing::Test {
 protected:
  static std::string previous;

  static void SetUpTestSuite() {
    previous = Vell::Platform::CurrentDirectory();
    ASSERT_TRUE(Vell::Platform::SetCurrentDirectory(TAVRO_SOURCE_DIR "/data"));
    Kesh::Hub::SetModuleDirectory(TAVRO_PROGRAM_DIR);
    Kesh::Hub* hub = Kesh::Hub::Instance();
    hub->SetSaveProfileAtExit(false);
    ASSERT_NE(hub->GetPlayer(), nullptr) << hub->ModuleError();
    hub->CreateGame({}, 815, 400);
  }
  static void TearDownTestSuite() {
    Kesh::Hub::Destroy();
    Kesh::Hub::SetModuleDirectory("");
    (void)Vell::Platform::SetCurrentDirectory(previous);
  }

  // Opens the song and returns its plan; false when it does not open.
  static bool Plan(const std::string& path, ShowPlan& plan) {
    Kesh::Game::Game& game = *Kesh::Hub::Instance()->GetGame();
    game.Close();
    if (!game.Open(path)) {
      return false;
    }
    plan = Kesh::Game::MakeShowPlan(game.GetPlayer());
    return true;
  }
  static const Kesh::Game::Player& Player() {
    return Kesh::Hub::Instance()->GetGame()->GetPlayer();
  }

  // The stage checks that hold for every song: arrivals, departures and walks within their
  // images' run, boxes inside the stage and apart from each other.
  // Returns the pairs of performers standing inside each other; they fail the test when
  // apart is set.
  static int CheckStage(const std::string& name, const ShowPlan& plan, bool apart) {
    const auto& animations = Player().Animations();
    int crowded = 0;
    EXPECT_EQ(animations.size(), plan.performers.size());
    if (animations.size() != plan.performers.size()) {
      return 0;
    }
    for (size_t i = 0; i < plan.performers.size(); ++i) {
      const ShowPlan::Performer& p = plan.performers[i];
      const Kesh::Artists::Artist* artist = animations[i]->GetArtist();
      for (const ShowPlan::Run& run : p.timeline) {
        const int kind = Sets::KindOfName(run.set);
        const Sets::Set* set = artist->GetSet(kind);
        EXPECT_NE(set, nullptr) << name << ": " << p.name << " shows " << run.set;
        if (set == nullptr) {
          continue;
        }
        const uint64_t length = run.endMs - run.startMs;
        if (kind == Sets::kLTA || kind == Sets::kRTA || kind == Sets::kATL || kind == Sets::kATR) {
          EXPECT_LE(length, static_cast<uint64_t>(set->GetSprite()->Count() * kFrameMs))
              << name << ": " << p.name << "'s " << run.set << " at " << run.startMs << " ms";
        } else if (kind == Sets::kSLR || kind == Sets::kSRL) {
          // From one side of the stage to the other, off stage to off stage at most.
          const double crossing = (879.0 + 64.0) / set->velocity * kFrameMs;
          EXPECT_LE(static_cast<double>(length), crossing + kFrameMs)
              << name << ": " << p.name << "'s " << run.set << " at " << run.startMs << " ms";
        }
      }
      EXPECT_GE(p.box[0], kStageLeft) << name << ": " << p.name << " stands in the left curtain";
      EXPECT_LE(p.box[0] + p.box[2], kStageRight)
          << name << ": " << p.name << " stands in the right curtain";
      for (size_t j = i + 1; j < plan.performers.size(); ++j) {
        const ShowPlan::Performer& q = plan.performers[j];
        const int64_t smaller = std::min(static_cast<int64_t>(p.box[2]) * p.box[3],
                                         static_cast<int64_t>(q.box[2]) * q.box[3]);
        const bool inside = static_cast<double>(Overlap(p.box, q.box)) >
                            kMostOverlap * static_cast<double>(smaller);
        crowded += inside ? 1 : 0;
        EXPECT_FALSE(apart && inside)
            << name << ": " << p.name << " and " << q.name << " stand inside each other";
      }
    }
    return crowded;
  }

  // The drummer: there when the drums play enough, seated before the first drum note, playing
  // in most bars with drums. Returns the bars with drums and the bars he plays.
  static std::pair<int, int> CheckDrummer(const std::string& name, const ShowPlan& plan) {
    const int threshold = Sets::Manager::Instance()->drumThreshold;
    int withDrums = 0;
    int played = 0;
    const ShowPlan::Performer* drummer = nullptr;
    for (const ShowPlan::Performer& p : plan.performers) {
      if (p.drummer) {
        drummer = &p;
      }
    }
    const auto first = std::find_if(plan.bars.begin(), plan.bars.end(),
                                    [](const ShowPlan::Bar& bar) { return bar.drumHits > 0; });
    for (const ShowPlan::Bar& bar : plan.bars) {
      if (bar.drumHits < threshold) {
        continue;
      }
      ++withDrums;
      const ShowPlan::Run* run =
          drummer != nullptr ? RunAt(drummer->timeline, bar.startMs) : nullptr;
      if (run != nullptr && IsPlayingSet(run->set)) {
        ++played;
      }
    }
    if (withDrums == 0) {
      return {0, 0};
    }
    EXPECT_NE(drummer, nullptr) << name << ": " << withDrums << " bars with drums, no drummer";
    if (drummer == nullptr) {
      return {withDrums, 0};
    }
    const ShowPlan::Run* seated = RunAt(drummer->timeline, first->startMs);
    EXPECT_TRUE(seated != nullptr && Sets::KindOfName(seated->set) >= Sets::kCSA)
        << name << ": the drummer is not in place at the first drum note (" << first->startMs
        << " ms)";
    EXPECT_GE(static_cast<double>(played), kLeastDrumShare * withDrums)
        << name << ": the drummer plays " << played << " of " << withDrums << " bars with drums";
    return {withDrums, played};
  }
};

std::string ShowPlanTest::previous;

TEST_F(ShowPlanTest, DemoSongs) {
  for (const char* song :
       {"rock.mid", "jazz.mid", "classic.mid", "electronic.mid", "pop.mid", "lantern.kar"}) {
    SCOPED_TRACE(song);
    ShowPlan plan;
    ASSERT_TRUE(Plan(std::string(TAVRO_SOURCE_DIR "/data/demo/") + song, plan));
    EXPECT_FALSE(plan.performers.empty());
    CheckStage(song, plan, true);
    const auto [withDrums, played] = CheckDrummer(song, plan);
    std::printf("%-16s drummer plays %d of %d bars with drums\n", song, played, withDrums);
  }
}

TEST_F(ShowPlanTest, CorpusSongs) {
  const std::vector<CorpusSong> songs = CorpusSongs();
  if (songs.empty()) {
    GTEST_SKIP() << "the corpus is not at " << kCorpus;
  }
  const int melodicThreshold = Sets::Manager::Instance()->melodicThreshold;
  int opened = 0;
  std::map<size_t, int> bands;         // performers -> songs
  std::map<size_t, int> crowdedBands;  // performers -> songs with two inside each other (failed)
  for (const CorpusSong& song : songs) {
    const std::string name = fs::path(song.path).filename().string();
    ShowPlan plan;
    if (!Plan(song.path, plan)) {
      continue;  // the corpus holds songs the program refuses; other tests cover those
    }
    ++opened;
    const int crowded = CheckStage(name, plan, true);
    ++bands[plan.performers.size()];
    crowdedBands[plan.performers.size()] += crowded > 0 ? 1 : 0;
    if (song.drums) {
      CheckDrummer(name, plan);
    }
    // A melodic part busy in a quarter of its bars has at least one musician on stage.
    const Kesh::Data::Events::Analysis* analysis = Player().GetAnalysis();
    ASSERT_NE(analysis, nullptr);
    const size_t bars = analysis->GetBarCount();
    bool busyPart = false;
    for (const Kesh::Data::Tracks::Event* track : analysis->GetTracks()) {
      if (track->GetPatch() < 0 || track->GetPatch() > 127) {
        continue;
      }
      size_t busy = 0;
      for (const Kesh::Data::Events::Event* event : track->GetEvents()) {
        busy += event->GetType() == Kesh::Data::Events::BarRange::kType &&
                        event->GetParam(Kesh::Data::Events::BarRange::kNoteCount) >
                            static_cast<float>(melodicThreshold)
                    ? 1
                    : 0;
      }
      busyPart = busyPart || (bars > 0 && busy * 4 >= bars);
    }
    if (busyPart) {
      const bool melodicPerformer =
          std::any_of(plan.performers.begin(), plan.performers.end(),
                      [](const ShowPlan::Performer& p) { return !p.drummer; });
      EXPECT_TRUE(melodicPerformer) << name << ": a busy melodic part and nobody plays it";
    }
  }
  EXPECT_GT(opened, 100);
  for (const auto& [size, count] : bands) {
    std::printf("bands of %2zu: %3d songs, %3d with two performers inside each other\n", size,
                count, crowdedBands[size]);
  }
}

// tavro-inspect --show --json prints this plan, with the keys tools and users read.
TEST_F(ShowPlanTest, InspectPrintsThePlan) {
  const std::string song = TAVRO_SOURCE_DIR "/data/demo/rock.mid";
  ShowPlan plan;
  // The departure sides are drawn: the same draws as a fresh process.
  Kesh::Data::Tracks::SeedDepartures(Kesh::Data::Tracks::kDepartureSeed);
  ASSERT_TRUE(Plan(song, plan));
  const std::string expected = Kesh::Game::ShowPlanJson(plan);
  // Under the leak checker the child's ALSA plugins are unloaded before it looks (the suite pins
  // them in this process, whose run of the same code is checked): no leak check for the child.
  const std::string command =
      std::string("ASAN_OPTIONS=\"${ASAN_OPTIONS}:detect_leaks=0\" " TAVRO_PROGRAM_DIR
                  "/tavro-inspect --show --json ") +
      song + " 2>/dev/null";
  std::FILE* pipe = ::popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string printed;
  char buffer[4096];
  size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
    printed.append(buffer, n);
  }
  EXPECT_EQ(::pclose(pipe), 0);
  // The program folder's copy of the data is the same as the source's.
  EXPECT_EQ(printed, expected);
  for (const char* key : {"\"audioStartMs\"", "\"style\"", "\"performers\"", "\"name\"",
                          "\"patch\"", "\"drummer\"", "\"box\"", "\"timeline\"", "\"startMs\"",
                          "\"endMs\"", "\"set\"", "\"bars\"", "\"drumHits\""}) {
    EXPECT_NE(printed.find(key), std::string::npos) << key;
  }
}

// A 4/4 drum groove (hi-hat eighths, kick on 1 and 3, snare on 2 and 4) at a tempo, as a
// Standard MIDI File.
void WriteGroove(const std::string& path, int bpm, int bars) {
  std::vector<unsigned char> track;
  const auto delta = [&track](uint32_t ticks) {
    unsigned char bytes[5];
    int n = 0;
    bytes[n++] = static_cast<unsigned char>(ticks & 0x7F);
    while ((ticks >>= 7) != 0) {
      bytes[n++] = static_cast<unsigned char>(0x80 | (ticks & 0x7F));
    }
    while (n > 0) {
      track.push_back(bytes[--n]);
    }
  };
  const uint32_t tempo = 60000000u / static_cast<uint32_t>(bpm);
  delta(0);
  track.insert(track.end(),
               {0xFF, 0x51, 0x03, static_cast<unsigned char>(tempo >> 16),
                static_cast<unsigned char>(tempo >> 8), static_cast<unsigned char>(tempo)});
  delta(0);
  track.insert(track.end(), {0xFF, 0x58, 0x04, 4, 2, 24, 8});
  constexpr uint32_t kEighth = 240;  // at 480 ticks a quarter
  uint32_t pending = 0;
  for (int eighth = 0; eighth < bars * 8; ++eighth) {
    std::vector<unsigned char> notes{42};
    if (eighth % 4 == 0) {
      notes.push_back(36);
    } else if (eighth % 4 == 2) {
      notes.push_back(38);
    }
    for (const unsigned char note : notes) {
      delta(pending);
      pending = 0;
      track.insert(track.end(), {0x99, note, 100});
    }
    delta(kEighth / 2);
    for (const unsigned char note : notes) {
      track.insert(track.end(), {0x89, note, 0});
      delta(0);
    }
    track.pop_back();  // the last delta of the bar's offs is the next event's
    pending = kEighth / 2;
  }
  delta(pending);
  track.insert(track.end(), {0xFF, 0x2F, 0x00});
  std::ofstream out(path, std::ios::binary);
  const unsigned char header[] = {'M', 'T', 'h', 'd',  0,    0,   0,   6,   0,
                                  0,   0,   1,   0x01, 0xE0, 'M', 'T', 'r', 'k'};
  out.write(reinterpret_cast<const char*>(header), sizeof header);
  const uint32_t size = static_cast<uint32_t>(track.size());
  const unsigned char length[] = {
      static_cast<unsigned char>(size >> 24), static_cast<unsigned char>(size >> 16),
      static_cast<unsigned char>(size >> 8), static_cast<unsigned char>(size)};
  out.write(reinterpret_cast<const char*>(length), sizeof length);
  out.write(reinterpret_cast<const char*>(track.data()), static_cast<std::streamsize>(size));
}

bool SamePixels(const Vell::Gfx::Image& a, const Vell::Gfx::Image& b) {
  return a.Width() == b.Width() && a.Height() == b.Height() &&
         std::equal(a.Pixels(), a.Pixels() + static_cast<size_t>(a.Width()) * a.Height(),
                    b.Pixels());
}

// Plays the song offline through the game and checks the drummer's image at every beat of the
// bars he plays (up to the song's time limit): within a frame of the beat, the image shown is
// one of his playing set's stick-down images (a stroke on every quarter of the sequence).
void CheckStrokesOnTheBeat(const std::string& song, int64_t untilMs) {
  Kesh::Game::Game& game = *Kesh::Hub::Instance()->GetGame();
  Kesh::Audio::IPlayer* module = Kesh::Hub::Instance()->GetPlayer();
  game.Close();
  ASSERT_TRUE(module->SetOffline(true, 44100));
  ASSERT_TRUE(game.Open(song));
  const ShowPlan plan = Kesh::Game::MakeShowPlan(game.GetPlayer());
  const auto& animations = game.GetPlayer().Animations();
  ASSERT_FALSE(animations.empty());
  const Kesh::Data::Tracks::Animation* drummer = animations.back();
  ASSERT_TRUE(plan.performers.back().drummer);
  // The beats of the bars he plays, in show time.
  const Kesh::Data::Events::Analysis* analysis = game.GetPlayer().GetAnalysis();
  std::vector<int64_t> beats;
  for (const Kesh::Data::Events::Event* event : analysis->GetBarTrack()->GetEvents()) {
    const auto* bar = static_cast<const Kesh::Data::Events::BarBegin*>(event);
    const int64_t start = game.GetPlayer().ShowOffsetMs() + bar->start;
    const ShowPlan::Run* run = RunAt(plan.performers.back().timeline, start + 1);
    if (run == nullptr || !IsPlayingSet(run->set) || start >= untilMs) {
      continue;
    }
    const int n = static_cast<int>(bar->Numerator());
    for (int k = 0; k < n; ++k) {
      const int64_t beat = start + static_cast<int64_t>(bar->duration) * k / n;
      if (beat + kFrameMs < untilMs) {
        beats.push_back(beat);
      }
    }
  }
  ASSERT_GT(beats.size(), 16u);
  // The frames shown within a frame of each beat: did one show a stroke?
  std::map<int64_t, bool> struck;
  for (int64_t beat : beats) {
    struck[beat] = false;
  }
  std::vector<int16_t> sound(44100 / 25 * 2);
  ASSERT_TRUE(game.StartOfflineRun());
  for (int frame = 0; frame < 25 * 600; ++frame) {
    (void)game.StepOffline();
    while (module->RenderOffline(sound.data(), 44100 / 25) > 0) {
    }
    const int64_t t = static_cast<int64_t>(game.GetPlayer().CurrentFrame()) * kFrameMs;
    if (t > untilMs) {
      break;
    }
    const Sets::Set* set = drummer->CurrentSet(static_cast<uint64_t>(t));
    if (set == nullptr || !IsPlayingSet(Sets::KindName(set->GetKind()))) {
      continue;
    }
    const auto& images = set->GetSprite()->Images();
    ASSERT_EQ(images.size(), 8u);
    const Vell::Gfx::Image* shown = set->GetSprite()->Current();
    ASSERT_NE(shown, nullptr);
    bool stroke = false;
    for (size_t k : {0, 2, 3, 4, 5, 7}) {
      stroke = stroke || SamePixels(*shown, *images[k]);
    }
    for (size_t k : {1, 6}) {
      // The sticks are up between the strokes.
      EXPECT_FALSE(SamePixels(*images[0], *images[k]) || SamePixels(*images[5], *images[k]));
    }
    for (auto& [beat, hit] : struck) {
      if (t >= beat - kFrameMs && t <= beat + kFrameMs) {
        hit = hit || stroke;
      }
    }
  }
  game.StopOfflineRun();
  int missed = 0;
  for (const auto& [beat, hit] : struck) {
    missed += hit ? 0 : 1;
    EXPECT_TRUE(hit) << "no stroke within a frame of the beat at " << beat << " ms";
  }
  EXPECT_EQ(missed, 0) << "of " << struck.size() << " beats";
}

// The drummer's sticks come down on the beats: demo rock at 132 beats a minute (step factor 1)
// and a groove at 180 (step factor 2).
TEST_F(ShowPlanTest, DrumStrokesFallOnTheBeat) {
  {
    SCOPED_TRACE("132 bpm");
    CheckStrokesOnTheBeat(TAVRO_SOURCE_DIR "/data/demo/rock.mid", 30000);
  }
  TempDir dir;
  const std::string fast = dir.File("groove-180.mid");
  WriteGroove(fast, 180, 16);
  {
    SCOPED_TRACE("180 bpm");
    CheckStrokesOnTheBeat(fast, 30000);
  }
}

}  // namespace
