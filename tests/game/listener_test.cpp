// The game's announcements: each command tells its listeners once what it changed, a run's
// replayed toggles are told from the thread that replays them, and a listener may outlive the
// game.
#include "game/listener.h"

#include <gtest/gtest.h>

#include <mutex>
#include <thread>
#include <vector>

#include "game/game.h"
#include "game/player.h"
#include "rig.h"
#include "songs.h"

namespace {

using Kesh::Game::ActionCode;
using Kesh::Game::Change;
using Kesh::Game::Game;

// Keeps what it hears and on which thread.
class Heard : public Kesh::Game::IListener {
 public:
  void OnGameChanged(Change what) override {
    const std::lock_guard<std::mutex> guard(lock);
    changes.push_back(what);
    threads.push_back(std::this_thread::get_id());
  }
  std::vector<Change> Take() {
    const std::lock_guard<std::mutex> guard(lock);
    std::vector<Change> taken;
    taken.swap(changes);
    threads.clear();
    return taken;
  }

  std::mutex lock;
  std::vector<Change> changes;
  std::vector<std::thread::id> threads;
};

TEST(Listener, CommandsAnnounceEachChangeOnceAndReplayedTogglesAreAnnounced) {
  Rig rig(Songs::Band());
  Heard heard;
  auto subscription = rig.game->Subscribe(&heard);
  ASSERT_TRUE(rig.game->Open(rig.Song()));
  EXPECT_EQ(heard.Take(), std::vector<Change>{Change::kSong});

  Kesh::Game::State& state = rig.game->GetState();
  rig.game->ToggleLoop();
  rig.game->ToggleRecording();
  rig.game->ToggleSwitch(Game::Switch::kCounterReadout);
  rig.game->SetChannelMuted(3, true);
  rig.game->Transpose(20);
  EXPECT_EQ(heard.Take(), (std::vector<Change>{Change::kTransport, Change::kTransport,
                                               Change::kSwitches, Change::kMixer, Change::kMixer}));
  EXPECT_TRUE(state.loop);
  EXPECT_TRUE(state.recording);
  EXPECT_TRUE(state.counterReadout);
  // An effect needs a running song: nothing changes, nothing is announced.
  rig.game->LiveAction(ActionCode::kStrobe);
  EXPECT_TRUE(heard.Take().empty());

  // The reset puts the switches and the mixer back, each told once.
  rig.game->ResetShow();
  EXPECT_EQ(heard.Take(), (std::vector<Change>{Change::kMixerReset, Change::kSwitches}));
  EXPECT_FALSE(state.counterReadout);
  EXPECT_TRUE(state.loop) << "loop and recording are not display switches";

  // Recorded while the run goes: the toggle is told once by the command; the run that replays it
  // tells it once at the run's start (which undoes it) and once when its frame comes.
  ASSERT_TRUE(rig.game->StartOfflineRun());
  rig.Frames(5);
  heard.Take();
  rig.game->LiveAction(ActionCode::kToggleAutoLights);
  EXPECT_EQ(heard.Take(), std::vector<Change>{Change::kSwitches});
  EXPECT_FALSE(state.autoLights);
  const auto& actions = rig.game->GetPlayer().Actions().GetActions();
  ASSERT_EQ(actions.size(), 1u);
  const int recordedAt = actions.begin()->first;
  rig.game->StopOfflineRun();
  rig.game->ToggleRecording();
  heard.Take();

  ASSERT_TRUE(rig.game->StartOfflineRun());
  EXPECT_EQ(heard.Take(), (std::vector<Change>{Change::kTransport, Change::kSwitches}));
  EXPECT_TRUE(state.autoLights) << "the run starts from the switches the song started with";
  int toldAt = -1;
  int told = 0;
  for (int i = 0; i < recordedAt + 10; ++i) {
    rig.Frames(1);
    for (Change change : heard.Take()) {
      ASSERT_EQ(change, Change::kSwitches);
      toldAt = rig.game->GetPlayer().CurrentFrame();
      ++told;
    }
  }
  EXPECT_EQ(told, 1);
  EXPECT_EQ(toldAt, recordedAt);
  EXPECT_FALSE(state.autoLights);
  rig.game->StopOfflineRun();
  heard.Take();

  // On the frame thread the replayed toggle is told from that thread.
  rig.game->Play();
  ASSERT_TRUE(Rig::WaitFor([&] { return !state.autoLights.load(); }));
  ASSERT_TRUE(Rig::WaitFor([&] {
    const std::lock_guard<std::mutex> guard(heard.lock);
    for (size_t i = 0; i < heard.changes.size(); ++i) {
      if (heard.changes[i] == Change::kSwitches && heard.threads[i] != std::this_thread::get_id()) {
        return true;
      }
    }
    return false;
  }));
  rig.game->Close();
  const std::vector<Change> closing = heard.Take();
  ASSERT_FALSE(closing.empty());
  EXPECT_EQ(closing.back(), Change::kSong) << "closing unloads the song and says so";
  EXPECT_EQ(rig.game->GetPlayer().Actions().Count(), 0);

  // The game may go first: the subscription then ends on its own, and nothing more is told.
  rig.game.reset();
  EXPECT_TRUE(subscription->Ended());
  subscription.reset();
}

}  // namespace
