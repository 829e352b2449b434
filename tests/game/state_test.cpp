#include "game/state.h"

#include <gtest/gtest.h>

#include <vector>

#include "framework/file.h"

namespace {

using Kesh::Game::State;
using Vell::Data::MemoryStg;

std::vector<unsigned char> Bytes(State& state) {
  MemoryStg stream;
  EXPECT_TRUE(state.Save(stream));
  return stream.Bytes();
}

TEST(State, ConstructionValuesAndResetBytes) {
  State state;
  EXPECT_EQ(Bytes(state), (std::vector<unsigned char>{1, 0, 1, 1, 1, 1, 0, 0, 0}));
  EXPECT_FALSE(state.paused);
  EXPECT_FALSE(state.running);

  // Every switch flipped; the reset restores the display switches only.
  state.counterReadout = true;
  state.timeReadout = false;
  state.noClear = false;
  state.autoFades = false;
  state.autoLights = false;
  state.autoCrowd = false;
  state.recording = true;
  state.loop = true;
  state.karaoke = true;
  state.paused = true;
  state.running = true;
  EXPECT_EQ(Bytes(state), (std::vector<unsigned char>{0, 1, 0, 0, 0, 0, 1, 1, 1}));
  state.ResetDisplaySwitches();
  EXPECT_EQ(Bytes(state), (std::vector<unsigned char>{1, 0, 1, 1, 1, 1, 1, 1, 1}));
  EXPECT_TRUE(state.paused);
  EXPECT_TRUE(state.running);

  state.recording = state.loop = state.karaoke = false;
  state.ResetDisplaySwitches();
  EXPECT_EQ(Bytes(state), (std::vector<unsigned char>{1, 0, 1, 1, 1, 1, 0, 0, 0}));
}

TEST(State, ReadsEachByteInOrderAndOnlyOneIsTrue) {
  // Each position alone set to 1 reaches exactly its switch; a byte other than 1 is false.
  for (int position = 0; position < State::kSerialisedSize; ++position) {
    std::vector<unsigned char> bytes(State::kSerialisedSize, 2);
    bytes[position] = 1;
    MemoryStg stream(bytes);
    State state;
    ASSERT_TRUE(state.Load(stream));
    std::vector<unsigned char> expected(State::kSerialisedSize, 0);
    expected[position] = 1;
    EXPECT_EQ(Bytes(state), expected) << "position " << position;
  }
  // The order of the fields, by name.
  MemoryStg stream(std::vector<unsigned char>{0, 1, 0, 1, 0, 1, 0, 1, 0});
  State state;
  ASSERT_TRUE(state.Load(stream));
  EXPECT_FALSE(state.timeReadout);
  EXPECT_TRUE(state.counterReadout);
  EXPECT_FALSE(state.noClear);
  EXPECT_TRUE(state.autoFades);
  EXPECT_FALSE(state.autoLights);
  EXPECT_TRUE(state.autoCrowd);
  EXPECT_FALSE(state.recording);
  EXPECT_TRUE(state.loop);
  EXPECT_FALSE(state.karaoke);
}

TEST(State, ShortStreamFailsAndPausedRunningAreNeverStored) {
  MemoryStg stream(std::vector<unsigned char>{0, 1, 0, 0});
  State state;
  state.paused = true;
  EXPECT_FALSE(state.Load(stream));
  // The four bytes read were applied; the rest keep their values.
  EXPECT_FALSE(state.timeReadout);
  EXPECT_TRUE(state.counterReadout);
  EXPECT_FALSE(state.noClear);
  EXPECT_FALSE(state.autoFades);
  EXPECT_TRUE(state.autoLights);
  EXPECT_TRUE(state.paused);

  MemoryStg empty;
  EXPECT_FALSE(State().Load(empty));
}

}  // namespace
