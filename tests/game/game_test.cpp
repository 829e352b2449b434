// The game against a recording player module: opening, the transport and its calls to the module,
// the lead-in, the artist ranking and limits, the end of a song, and the frame thread under a
// stream of commands.
#include "game/game.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <regex>
#include <thread>

#include "game/player.h"
#include "game/show_ending.h"
#include "game/show_plan.h"
#include "rig.h"
#include "songs.h"
#include "styles/manager.h"
#include "styles/style.h"

namespace Kesh::Game {
struct ClockForTests {
  static void Set(Game& game, float frame) { game.framePosition = frame; }
};
}  // namespace Kesh::Game

namespace {

using Kesh::Game::Game;
using Kesh::Game::Player;
using namespace std::chrono_literals;

std::vector<int> Patches(const Player& player) {
  std::vector<int> patches;
  for (const auto* animation : player.Animations()) {
    patches.push_back(animation->GetTrack() != nullptr ? animation->GetTrack()->GetPatch() : -1);
  }
  return patches;
}

TEST(Game, OpenClassifiesByExtensionIgnoringCase) {
  Rig rig(Songs::Band());
  EXPECT_FALSE(rig.game->Open(rig.folder.Path("list.m3u")));
  EXPECT_FALSE(rig.game->Open(rig.folder.Path("notes.txt")));
  EXPECT_FALSE(rig.game->Open(rig.folder.Path("noextension")));
  EXPECT_EQ(rig.module.Calls().size(), 0u) << "neither reaches the module";
  EXPECT_TRUE(rig.game->Open(rig.folder.Path("SONG.MID")));
  EXPECT_TRUE(rig.game->SongLoaded());
  EXPECT_TRUE(rig.game->Open(rig.folder.Path("other.Kar")));
  EXPECT_EQ(rig.module.Count("OpenFile " + rig.folder.Path("other.Kar")), 1u);
  EXPECT_FALSE(rig.game->Open(rig.folder.Path("missing.kesh"))) << "a project that is not there";
  EXPECT_FALSE(rig.game->SongLoaded());
}

TEST(Game, RefusedSongAndMissingModuleAreExplained) {
  Rig rig(Songs::Band());
  rig.module.accept = false;
  rig.module.refusal = "truncated header";
  EXPECT_FALSE(rig.game->Open(rig.Song()));
  ASSERT_EQ(rig.messages.Texts().size(), 1u);
  EXPECT_EQ(rig.messages.Texts()[0], "Tavro: Unable to open " + rig.Song() + ": truncated header");

  Rig bare(Songs::Band(), false);
  EXPECT_FALSE(bare.game->Open(bare.Song()));
  ASSERT_EQ(bare.messages.Texts().size(), 1u);
  EXPECT_EQ(bare.messages.Texts()[0],
            "Tavro: The player module audio.so could not be loaded: cannot open /nowhere/audio.so");
  bare.game->Play();  // nothing to play: no thread, no crash
  EXPECT_FALSE(bare.game->ThreadRunning());
}

TEST(Game, TransportCallsTheModuleAtTheRightMoments) {
  Rig rig(Songs::Band());
  ASSERT_TRUE(rig.game->Open(rig.Song()));
  ASSERT_EQ(rig.game->GetPlayer().AudioStartMs(), 0);
  rig.module.ClearCalls();
  rig.game->Play();
  // No lead-in: the first frame starts the sound; nothing is paused on the way.
  ASSERT_TRUE(Rig::WaitFor([&] { return rig.module.Count("Play") == 1; }));
  EXPECT_EQ(rig.module.Transport(), (std::vector<std::string>{"Play"}));
  ASSERT_TRUE(Rig::WaitFor([&] { return rig.stage.newFrames > 3; }));

  rig.game->Pause();
  EXPECT_TRUE(rig.game->GetState().paused);
  EXPECT_EQ(rig.module.Transport(), (std::vector<std::string>{"Play", "Pause"}));
  ASSERT_TRUE(Rig::WaitFor([&] { return rig.stage.pausedFrames > 0; }));
  rig.game->Play();  // resume after the audio start: the module plays on
  EXPECT_EQ(rig.module.Transport(), (std::vector<std::string>{"Play", "Pause", "Play"}));

  rig.game->RequestStop();
  ASSERT_TRUE(Rig::WaitFor([&] { return !rig.game->ThreadRunning(); }));
  EXPECT_EQ(rig.module.Transport().back(), "Stop") << "the ending thread stops the module";

  rig.module.ClearCalls();
  rig.game->Play();  // a fresh run from frame 0
  ASSERT_TRUE(Rig::WaitFor([&] { return rig.module.Count("Play") == 1; }));
  EXPECT_LT(rig.game->FramePosition(), 25.0f);
  rig.game->Close();
  EXPECT_FALSE(rig.game->SongLoaded());
  EXPECT_FALSE(rig.game->ThreadRunning());
  EXPECT_EQ(rig.module.Transport(), (std::vector<std::string>{"Play", "Stop"}));
}

TEST(Game, LeadInPositionsTheModuleSilentlyAndStartsItOnTime) {
  Rig rig(Songs::EarlyPiano());
  ASSERT_TRUE(rig.game->Open(rig.Song()));
  const int64_t start = rig.game->GetPlayer().AudioStartMs();
  ASSERT_GT(start, 0) << "a piano playing from bar 1 needs time to walk on";
  rig.module.manualClock = true;
  rig.module.ClearCalls();
  ASSERT_TRUE(rig.game->StartOfflineRun());
  EXPECT_EQ(rig.module.Transport(), (std::vector<std::string>{"Play", "Pause"}));
  // Frame f shows f x 40 ms; the music starts at the first frame at or after the audio start.
  const int firstFrame = static_cast<int>((start * 25 + 999) / 1000);
  rig.Frames(firstFrame);
  EXPECT_EQ(rig.module.Transport().size(), 2u) << "not yet at frame " << firstFrame - 1;
  rig.Frames(1);
  EXPECT_EQ(rig.module.Transport(), (std::vector<std::string>{"Play", "Pause", "Play"}));
  // From there the show follows the module's clock, and no frame is shown twice: the frame that
  // started the music is followed by the next one.
  for (int i = 1; i <= 10; ++i) {
    rig.Frames(1);
    EXPECT_EQ(rig.game->GetPlayer().CurrentFrame(), firstFrame + i);
  }
  rig.game->Close();
}

// A song opens with the first image of each of its artists' sequences read; the others are read
// a few a frame, in both kinds of run (the frame step is shared).
TEST(Game, TheArtistsImagesAreReadAFewAFrameAfterTheSongOpens) {
  Rig rig(Songs::EarlyPiano());
  ASSERT_TRUE(rig.game->Open(rig.Song()));
  const auto unread = [&rig] {
    int count = 0;
    for (const auto* animation : rig.game->GetPlayer().Animations()) {
      for (const auto& [kind, set] : animation->GetArtist()->sets) {
        count += set->GetSprite()->Unread();
      }
    }
    return count;
  };
  const int atOpen = unread();
  ASSERT_GT(atOpen, 2 * Kesh::Game::Game::kReadAheadImages);
  rig.module.manualClock = true;
  ASSERT_TRUE(rig.game->StartOfflineRun());
  rig.Frames(1);
  // The frame itself may show images of its own, read as it shows them.
  EXPECT_LE(unread(), atOpen - Kesh::Game::Game::kReadAheadImages);
  rig.Frames(atOpen / Kesh::Game::Game::kReadAheadImages);
  EXPECT_EQ(unread(), 0);
  rig.game->Close();
}

TEST(Game, LatencyDelaysTheShowNotTheMusic) {
  Rig rig(Songs::EarlyPiano());
  ASSERT_TRUE(rig.game->Open(rig.Song()));
  const int64_t start = rig.game->GetPlayer().AudioStartMs();
  // The walk-on's first key (the timeline's first entry, at 0, hides the artist).
  const auto firstKey = [&] {
    const auto& timeline = rig.game->GetPlayer().Animations().at(0)->GetTimeline();
    return timeline.size() > 1 ? std::next(timeline.begin())->first : 0;
  };
  const uint64_t without = firstKey();
  rig.game->GetProfile().latency = 20;
  ASSERT_TRUE(rig.game->Open(rig.Song()));
  EXPECT_EQ(rig.game->GetPlayer().AudioStartMs(), start);
  EXPECT_EQ(firstKey(), without + 20);
}

TEST(Game, CandidatesByBusySpanWithinTheArtistLimit) {
  Rig rig(Songs::Band());
  ASSERT_TRUE(rig.game->Open(rig.Song()));
  Player& player = rig.game->GetPlayer();
  EXPECT_EQ(Patches(player), (std::vector<int>{40, 0, 33, -1}))
      << "violin (22 s), piano (18 s), bass (16 s), then the merged drummer";
  EXPECT_EQ(player.PatchesOfChannel(1), (std::vector<int>{33}));
  ASSERT_EQ(player.AnimationsOfChannel(9).size(), 1u);
  EXPECT_EQ(player.AnimationsOfChannel(9)[0], player.Animations().back());

  rig.game->GetProfile().max = 2;
  testing::internal::CaptureStdout();
  ASSERT_TRUE(rig.game->Open(rig.Song()));
  const std::string log = testing::internal::GetCapturedStdout();
  EXPECT_NE(log.find("Max allowed artists count reached"), std::string::npos);
  EXPECT_EQ(Patches(player), (std::vector<int>{40, 0, -1})) << "the drum kit is still completed";
  EXPECT_TRUE(player.PatchesOfChannel(1).empty()) << "the bass was never offered an artist";
  EXPECT_EQ(player.PatchesOfChannel(9).size(), 4u);

  rig.game->GetProfile().forceDrummer = false;
  ASSERT_TRUE(rig.game->Open(rig.Song()));
  EXPECT_EQ(Patches(player), (std::vector<int>{40, 0}));
  EXPECT_TRUE(player.AnimationsOfChannel(9).empty());
}

TEST(Game, TenSecondsAfterTheEndTheNextItemIsAskedForOrTheSongRestarts) {
  for (const bool loop : {false, true}) {
    SCOPED_TRACE(loop ? "loop" : "no loop");
    Rig rig(Songs::EarlyPiano(3));
    ASSERT_TRUE(rig.game->Open(rig.Song()));
    rig.game->GetState().loop = loop;
    rig.module.manualClock = true;
    Player& player = rig.game->GetPlayer();
    const int64_t end = player.SongLengthMs() + Player::kEndPauseMs;
    ASSERT_TRUE(rig.game->StartOfflineRun());
    // Frame by frame until the song's end is handled; it must be the first frame whose show
    // time (40 ms a frame) is ten seconds after the end.
    int handledAt = -1;
    for (int i = 0; i < 2000 && handledAt < 0; ++i) {
      rig.Frames(1);
      if (rig.mainWindow.songEnds > 0 || rig.module.Count("Stop") > 0) {
        handledAt = player.CurrentFrame();
      }
    }
    ASSERT_GE(handledAt, 0);
    EXPECT_GE(handledAt * 40, end);
    EXPECT_LT((handledAt - 1) * 40, end);
    if (loop) {
      EXPECT_EQ(rig.mainWindow.songEnds, 0);
      const auto transport = rig.module.Transport();
      ASSERT_GE(transport.size(), 3u);
      EXPECT_EQ(std::vector<std::string>(transport.end() - 3, transport.end()),
                (std::vector<std::string>{"Stop", "Play", "Pause"}));
      EXPECT_LT(rig.game->FramePosition(), 2.0f) << "back at the top";
    } else {
      EXPECT_EQ(rig.mainWindow.songEnds, 1);
      EXPECT_EQ(rig.module.Count("Stop"), 0u);
      rig.Frames(5);
      EXPECT_EQ(rig.mainWindow.songEnds, 1) << "asked once";
    }
    rig.game->Close();
  }
}

// The window cannot hear the crowd: its show runs on through the closing applause and asks for
// the next item only then, not at the end of the bows as a caller-driven (rendered) run does.
TEST(Game, TheWindowsShowRunsOnThroughTheClosingApplause) {
  Rig rig(Songs::EarlyPiano(3));
  ASSERT_TRUE(rig.game->Open(rig.Song()));
  const Player& player = rig.game->GetPlayer();
  const int64_t bowsEnd = player.SongLengthMs() + Player::kEndPauseMs;
  const int64_t showEnd = bowsEnd + Kesh::Game::ShowEnding::kApplauseMs;
  // Jumps the paused show to ms (40 ms a frame) and lets it run from there.
  const auto runFrom = [&](int64_t ms) {
    rig.game->Pause();
    Kesh::Game::ClockForTests::Set(*rig.game, static_cast<float>(ms / 40));
    rig.game->Play();
  };
  rig.game->Play();
  ASSERT_TRUE(Rig::WaitFor([&] { return rig.stage.newFrames > 0; }));
  runFrom(bowsEnd + 1000);
  const int frames = rig.stage.newFrames;
  ASSERT_TRUE(Rig::WaitFor([&] { return rig.stage.newFrames > frames + 5; }));
  EXPECT_EQ(rig.mainWindow.songEnds, 0) << "asked for the next item during the applause";
  runFrom(showEnd - 200);
  ASSERT_TRUE(Rig::WaitFor([&] { return rig.mainWindow.songEnds > 0; }));
  EXPECT_GE(rig.game->FramePosition() * 40, static_cast<float>(showEnd - 40));
  rig.game->Close();
}

TEST(Game, CloseNeverWaitsForARunThatDidNotStartOrForABlockedPaint) {
  Rig rig(Songs::Band());
  ASSERT_TRUE(rig.game->Open(rig.Song()));
  auto closed = std::async(std::launch::async, [&] { rig.game->Close(); });
  ASSERT_EQ(closed.wait_for(5s), std::future_status::ready) << "Close waited for no thread";

  ASSERT_TRUE(rig.game->Open(rig.Song()));
  rig.stage.blockSends = true;  // the window's thread is busy waiting for the game
  rig.game->Play();
  ASSERT_TRUE(Rig::WaitFor([&] { return rig.module.Count("Play") >= 1; }));
  closed = std::async(std::launch::async, [&] { rig.game->Close(); });
  ASSERT_EQ(closed.wait_for(5s), std::future_status::ready) << "the paint was not abandoned";
}

// Commands from this thread while frames run: pause, resume, stop, switch changes, close and
// opening another song; 200 cycles without a deadlock (and, under TSan, without a race).
TEST(Game, FrameThreadTakesCommandsWhileFramesRun) {
  Rig rig(Songs::Band());
  const std::string other = rig.folder.Path("other.kar");
  ASSERT_TRUE(rig.game->Open(rig.Song()));
  auto run = std::async(std::launch::async, [&] {
    for (int cycle = 0; cycle < 200; ++cycle) {
      Game& game = *rig.game;
      game.Play();
      if (cycle % 4 == 3) {
        // Let a frame or two be drawn in this run.
        const int frames = rig.stage.newFrames;
        if (!Rig::WaitFor([&] { return rig.stage.newFrames > frames; })) {
          return false;
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(cycle % 3));
      game.Pause();
      game.GetState().noClear = cycle % 2 == 0;
      game.GetState().loop = cycle % 3 == 0;
      game.Play();
      {
        std::lock_guard<std::recursive_mutex> frame(rig.frameLock);
        game.GetState().autoLights = !game.GetState().autoLights;
        (void)game.GetPlayer().GetLyricState();
      }
      switch (cycle % 4) {
        case 0:
          game.RequestStop();
          break;
        case 1:
          game.Close();
          if (!game.Open(cycle % 8 == 1 ? other : rig.Song())) {
            return false;
          }
          break;
        case 2:
          if (!game.Open(other)) {
            return false;
          }
          break;
        default:
          break;
      }
    }
    rig.game->Close();
    return true;
  });
  ASSERT_EQ(run.wait_for(120s), std::future_status::ready) << "deadlock";
  EXPECT_TRUE(run.get());
  EXPECT_GT(rig.stage.newFrames, 0);
  EXPECT_FALSE(rig.game->ThreadRunning());
}

// A style without a stage picture: every frame starts from a cleared canvas (nothing of the last
// frame stays behind), and a crowd sound played by hand takes the style's volume for it.
void BareStage() {
  Rig rig(Songs::EarlyPiano());
  std::filesystem::create_directories(rig.folder.Path("styles"));
  std::ofstream(rig.folder.Path("styles/styles.xml"))
      << R"(<index><include file="bare.xml"/></index>)";
  std::ofstream(rig.folder.Path("styles/bare.xml")) << R"(<profile><styles><style name="Bare">
      <ovatix collections="none"><applause volume="0.3"><auto delay="20"/></applause></ovatix>
    </style></styles></profile>)";
  rig.game->GetProfile().autoStyle = false;
  ASSERT_TRUE(rig.game->Open(rig.Song()));
  ASSERT_NE(rig.game->GetPlayer().CurrentStyle(), nullptr);
  const Vell::Gfx::Image* stage = rig.game->GetPlayer().CurrentStyle()->StageImage();
  ASSERT_TRUE(stage == nullptr || stage->Empty());
  rig.module.manualClock = true;
  ASSERT_TRUE(rig.game->StartOfflineRun());
  Vell::Gfx::Canvas& canvas = rig.game->GetCanvas();
  constexpr uint32_t kLeftOver = 0xFF20A040;
  canvas.Clear(kLeftOver);
  rig.Frames(1);
  int leftOver = 0;
  for (int y = 0; y < canvas.Height(); ++y) {
    for (int x = 0; x < canvas.Width(); ++x) {
      leftOver += canvas.Pixel(x, y) == kLeftOver ? 1 : 0;
    }
  }
  EXPECT_EQ(leftOver, 0);

  rig.game->GetState().autoCrowd = false;
  auto* crowd = static_cast<Fakes::Crowd*>(rig.module.GetCrowd());
  crowd->volumes.clear();
  rig.game->GetPlayer().LiveAction(Kesh::Game::ActionCode::kApplause);
  rig.game->GetPlayer().LiveAction(Kesh::Game::ActionCode::kWhistle);  // the style gives no volume
  EXPECT_EQ(crowd->volumes, (std::vector<float>{0.3f, 1.0f}));
  rig.game->Close();
}

TEST(Game, ABareStageIsClearedAndHandPlayedCrowdTakesTheStyleVolume) {
  BareStage();
  Kesh::Styles::Manager::Destroy();  // after the game that used it
}

}  // namespace

// The performers and their boxes (the opaque part of their playing images on the stage) in the
// show plan.
std::string Boxes(Player& player) {
  const std::string json = Kesh::Game::ShowPlanJson(MakeShowPlan(player));
  const std::regex box(R"("name": "[^"]*".*?"box": \[[^\]]*\])");
  std::string boxes;
  for (auto it = std::sregex_iterator(json.begin(), json.end(), box); it != std::sregex_iterator();
       ++it) {
    boxes += it->str() + "\n";
  }
  return boxes;
}

// The render scale asked for takes effect when the next show loads: the canvas doubles, the
// artists are read again at scale 2, and the performers' places and boxes (in stage units) and
// baselines stay exactly what they were at scale 1. Frames then draw at scale 2.
TEST(Game, TheRenderScaleTakesEffectWithTheNextShowAndKeepsTheStage) {
  Rig rig(Songs::Band());
  EXPECT_EQ(rig.game->GetRenderScale(), 1);
  ASSERT_TRUE(rig.game->Open(rig.Song()));
  const std::string single = Boxes(rig.game->GetPlayer());
  ASSERT_NE(single.find("Drummer"), std::string::npos) << single;
  std::vector<int> baselines;
  for (const auto* animation : rig.game->GetPlayer().Animations()) {
    for (const auto& [kind, set] : animation->GetArtist()->sets) {
      baselines.push_back(set->GetSprite()->baseline);
    }
  }

  rig.game->SetRenderScale(5);  // held at 2
  EXPECT_EQ(rig.game->GetRenderScale(), 2);
  EXPECT_EQ(rig.game->GetCanvas().Width(), 815) << "not before the next show";
  ASSERT_TRUE(rig.game->Open(rig.Song()));
  const Vell::Gfx::Canvas& canvas = rig.game->GetCanvas();
  EXPECT_EQ(canvas.Width(), 1630);
  EXPECT_EQ(canvas.Height(), 800);
  EXPECT_EQ(canvas.Scale(), 2);
  EXPECT_EQ(Boxes(rig.game->GetPlayer()), single);
  std::vector<int> doubledBaselines;
  for (const auto* animation : rig.game->GetPlayer().Animations()) {
    for (const auto& [kind, set] : animation->GetArtist()->sets) {
      const auto* sprite = set->GetSprite();
      doubledBaselines.push_back(sprite->baseline);
      ASSERT_GT(sprite->Count(), 0);
      EXPECT_EQ(sprite->Images().front()->Scale(), 2);
    }
  }
  EXPECT_EQ(doubledBaselines, baselines);

  rig.module.manualClock = true;
  ASSERT_TRUE(rig.game->StartOfflineRun());
  rig.Frames(60);
  // The band stands where it stood: some pixel of the stage's lower half is not the clear colour.
  int drawn = 0;
  for (int y = canvas.Height() / 2; y < canvas.Height(); ++y) {
    for (int x = 0; x < canvas.Width(); ++x) {
      drawn += canvas.Pixel(x, y) != Vell::Gfx::Canvas::kDefaultClearColour ? 1 : 0;
    }
  }
  EXPECT_GT(drawn, 0);
  rig.game->StopOfflineRun();

  rig.game->SetRenderScale(1);
  ASSERT_TRUE(rig.game->Open(rig.Song()));
  EXPECT_EQ(rig.game->GetCanvas().Width(), 815);
  EXPECT_EQ(Boxes(rig.game->GetPlayer()), single);
  rig.game->Close();
}
