// Start-up and shutdown of the hub: the log lines and their order without the player module, with
// a module that answers null, and with the real module; the profile saved at exit.
#include "game/hub.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "common/temp_dir.h"
#include "game/game.h"
#include "platform/platform.h"

namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    lines.push_back(line);
  }
  return lines;
}

// Starts a hub with the module of directory, creates the game and shuts down; the log lines.
std::vector<std::string> StartAndStop(const std::string& directory, bool* hadPlayer,
                                      std::string* moduleError) {
  Kesh::Hub::SetModuleDirectory(directory);
  testing::internal::CaptureStdout();
  Kesh::Hub* hub = Kesh::Hub::Instance();
  *hadPlayer = hub->GetPlayer() != nullptr;
  *moduleError = hub->ModuleError();
  hub->CreateGame({}, 815, 400);
  Kesh::Game::Game* game = hub->GetGame();
  hub->CreateGame({}, 815, 400);
  EXPECT_EQ(hub->GetGame(), game) << "a second CreateGame keeps the first game";
  Kesh::Hub::Destroy();
  Kesh::Hub::SetModuleDirectory("");
  return Lines(testing::internal::GetCapturedStdout());
}

void ExpectStartLines(const std::vector<std::string>& lines) {
  ASSERT_GE(lines.size(), 4u);
  const Vell::Platform::SystemVersion version = Vell::Platform::GetSystemVersion();
  EXPECT_EQ(lines[0], "Running on " + version.name + " " + std::to_string(version.major) + "." +
                          std::to_string(version.minor) + " (" + version.release + ")");
  EXPECT_EQ(lines[1].rfind("Started on ", 0), 0u);
  EXPECT_EQ(lines[1].size(), std::string("Started on ").size() + 24) << "the asctime form";
  EXPECT_EQ(lines[2], "") << "asctime ends with a line feed";
  EXPECT_EQ(lines[3], "...creating infrastructure");
}

void ExpectStopLines(const std::vector<std::string>& lines) {
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(lines.end() - 3, lines.end()),
            (std::vector<std::string>{"...clearing", "", "done"}));
}

TEST(Hub, StartsAndStopsWithoutTheModule) {
  TempDir dir;
  Vell::Platform::ScopedDirectory current(dir.path.string());
  bool player = true;
  std::string error;
  const auto lines = StartAndStop(dir.path.string(), &player, &error);
  ExpectStartLines(lines);
  ExpectStopLines(lines);
  EXPECT_EQ(lines.size(), 7u) << "no error line";
  EXPECT_FALSE(player);
  EXPECT_NE(error.find("audio.so"), std::string::npos) << error;
  EXPECT_TRUE(std::filesystem::exists(dir.File("game.xml"))) << "the profile is saved at exit";
}

TEST(Hub, ModuleAnsweringNullIsLogged) {
  TempDir dir;
  Vell::Platform::ScopedDirectory current(dir.path.string());
  bool player = true;
  std::string error;
  const auto lines = StartAndStop(NULL_MODULE_DIR, &player, &error);
  ExpectStartLines(lines);
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[4], "\tError quering audio player interface");
  ExpectStopLines(lines);
  EXPECT_FALSE(player);
}

TEST(Hub, StartsWithoutAModuleThatLacksTheEntryPoint) {
  TempDir dir;
  Vell::Platform::ScopedDirectory current(dir.path.string());
  bool player = true;
  std::string error;
  const auto lines = StartAndStop(ENTRYLESS_MODULE_DIR, &player, &error);
  ExpectStartLines(lines);
  ExpectStopLines(lines);
  EXPECT_FALSE(player);
  EXPECT_NE(error.find("InterfaceQuery"), std::string::npos) << error;
  EXPECT_NE(error.find("audio.so"), std::string::npos) << error;
}

TEST(Hub, LoadsTheRealModuleAndReleasesIt) {
  TempDir dir;
  Vell::Platform::ScopedDirectory current(dir.path.string());
  bool player = false;
  std::string error;
  const auto lines = StartAndStop(TAVRO_PROGRAM_DIR, &player, &error);
  ExpectStartLines(lines);
  ExpectStopLines(lines);
  EXPECT_TRUE(player) << error;
  EXPECT_EQ(error, "");
}

TEST(Hub, RestoresTheStartDirectory) {
  TempDir dir;
  Vell::Platform::ScopedDirectory current(dir.path.string());
  Kesh::Hub::SetModuleDirectory(dir.path.string());
  testing::internal::CaptureStdout();
  Kesh::Hub* hub = Kesh::Hub::Instance();
  const std::string start = Vell::Platform::CurrentDirectory();
  ASSERT_TRUE(Vell::Platform::SetCurrentDirectory("/"));
  hub->RestoreStartDirectory();
  EXPECT_EQ(Vell::Platform::CurrentDirectory(), start);
  Kesh::Hub::Destroy();
  Kesh::Hub::SetModuleDirectory("");
  testing::internal::GetCapturedStdout();
}

}  // namespace
