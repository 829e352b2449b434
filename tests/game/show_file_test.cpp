// Project files through the game: what a save stores and a load restores, a recorded show
// replaying as it was seen, and saves that fail keeping the old file and saying why.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "common/temp_dir.h"
#include "framework/file.h"
#include "game/commands.h"
#include "game/player.h"
#include "game/project.h"
#include "rig.h"
#include "styles/manager.h"
#include "styles/style.h"

namespace {

namespace fs = std::filesystem;
namespace Project = Kesh::Game::Project;
using Kesh::Game::ActionCode;

std::vector<unsigned char> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

// A song file of count bytes that are not all alike (the fake module does not read them).
std::vector<unsigned char> WriteSong(const std::string& path, size_t count) {
  std::vector<unsigned char> bytes(count);
  for (size_t i = 0; i < count; ++i) {
    bytes[i] = static_cast<unsigned char>(i * 7 + i / 256);
  }
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(count));
  return bytes;
}

Project::Content ReadProject(const std::string& path) {
  Vell::Data::FileStg file;
  EXPECT_TRUE(file.Open(path.c_str(), "rb")) << path;
  Project::Content content;
  std::string why;
  EXPECT_TRUE(Project::Read(file, content, &why)) << why;
  return content;
}

// (code, time) of every action the player holds.
std::vector<std::pair<int, int>> Actions(Kesh::Game::Player& player) {
  std::vector<std::pair<int, int>> list;
  for (const auto& [time, action] : player.Actions().GetActions()) {
    list.emplace_back(action->GetCode(), time);
  }
  return list;
}

// The rig with the shipped styles, the styles manager made afresh for it and dropped after.
struct StyledRig : Rig {
  StyledRig() : Rig(Songs::Band()) {
    fs::create_directory_symlink(TAVRO_SOURCE_DIR "/data/styles", folder.Path("styles"));
    Kesh::Styles::Manager::Destroy();
    module.manualClock = true;
    game->GetProfile().autoStyle = false;  // the style stays as chosen or loaded
  }
  ~StyledRig() {
    game.reset();
    Kesh::Styles::Manager::Destroy();
  }
  void Live(ActionCode code) {
    const std::lock_guard<std::recursive_mutex> frame(frameLock);
    game->GetPlayer().LiveAction(code);
  }
  size_t Crowd(const std::string& series) { return module.Count("crowd PlaySeries " + series); }
};

TEST(ShowFile, SaveThenLoadRestoresSwitchesStyleActionsAndTheSongsBytes) {
  StyledRig rig;
  const std::vector<unsigned char> song = WriteSong(rig.Song(), 1000);  // four blocks, not even
  ASSERT_TRUE(rig.game->Open(rig.Song()));
  Kesh::Game::State& state = rig.game->GetState();
  state.timeReadout = false;
  state.counterReadout = true;
  state.noClear = false;
  state.autoFades = false;
  state.loop = true;
  state.karaoke = true;
  ASSERT_TRUE(rig.game->GetPlayer().StyleManager()->SelectByName("jazz"));
  ASSERT_TRUE(rig.game->GetPlayer().Actions().Add(50, static_cast<int>(ActionCode::kStrobe)));
  ASSERT_TRUE(rig.game->GetPlayer().Actions().Add(75, static_cast<int>(ActionCode::kBravo)));
  const std::string path = rig.folder.Path("show.kesh");
  std::string why;
  ASSERT_TRUE(rig.game->SaveProject(path, &why)) << why;

  // The song's bytes are in the file, and a project saved again from the loaded one holds them
  // again, byte for byte.
  EXPECT_EQ(ReadProject(path).song, song);
  rig.game->Close();
  state.ResetDisplaySwitches();
  state.loop = false;
  state.karaoke = false;
  ASSERT_TRUE(rig.game->GetPlayer().StyleManager()->SelectByName("rock"));
  ASSERT_TRUE(rig.game->Open(path));
  EXPECT_FALSE(state.timeReadout);
  EXPECT_TRUE(state.counterReadout);
  EXPECT_FALSE(state.noClear);
  EXPECT_FALSE(state.autoFades);
  EXPECT_TRUE(state.autoLights);
  EXPECT_TRUE(state.loop);
  EXPECT_TRUE(state.karaoke);
  EXPECT_EQ(rig.game->GetPlayer().CurrentStyle()->GetName(), "Jazz");
  EXPECT_EQ(Actions(rig.game->GetPlayer()), (std::vector<std::pair<int, int>>{{4, 50}, {13, 75}}));
  ASSERT_NE(rig.game->GetPlayer().SongBytes(), nullptr);
  EXPECT_EQ(*rig.game->GetPlayer().SongBytes(), song);
  EXPECT_EQ(rig.module.Count("OpenStream"), 1u);
  const std::string again = rig.folder.Path("again.kesh");
  ASSERT_TRUE(rig.game->SaveProject(again, &why)) << why;
  EXPECT_EQ(ReadBytes(again), ReadBytes(path));

  // Close leaves nothing of the show behind: no song, no actions, and the next song's project
  // holds only that song.
  rig.game->Close();
  EXPECT_EQ(rig.game->GetPlayer().SongBytes(), nullptr);
  EXPECT_EQ(rig.game->GetPlayer().Actions().Count(), 0);
  EXPECT_TRUE(rig.game->GetPlayer().Animations().empty());
  EXPECT_FALSE(rig.game->SaveProject(rig.folder.Path("nothing.kesh"), &why));
  EXPECT_EQ(why, "no song is open");
  EXPECT_FALSE(fs::exists(rig.folder.Path("nothing.kesh")));
  const std::string other = rig.folder.Path("other.mid");
  const std::vector<unsigned char> otherSong = WriteSong(other, 300);
  ASSERT_TRUE(rig.game->Open(other));
  ASSERT_TRUE(rig.game->SaveProject(rig.folder.Path("other.kesh"), &why)) << why;
  const Project::Content next = ReadProject(rig.folder.Path("other.kesh"));
  EXPECT_EQ(next.song, otherSong);
  ASSERT_EQ(next.actions.size(), 1u);
  EXPECT_EQ(next.actions[0], (std::vector<unsigned char>{0, 0, 0, 0}));
}

TEST(ShowFile, ARecordedShowReplaysAsItWasSeen) {
  StyledRig rig;
  ASSERT_TRUE(rig.game->Open(rig.Song()));
  Kesh::Game::State& state = rig.game->GetState();
  ASSERT_TRUE(state.autoCrowd);
  state.recording = true;
  ASSERT_TRUE(rig.game->StartOfflineRun());
  rig.Frames(11);  // frames 0-10 shown
  rig.Live(ActionCode::kToggleAutoCrowd);
  EXPECT_FALSE(state.autoCrowd);
  rig.module.ClearCalls();  // what the automatic crowd played so far
  rig.Frames(5);
  rig.Live(ActionCode::kApplause);
  rig.Frames(5);
  // Two clicks before the next frame (as in one frame, or while paused): the second goes to the
  // next free frame and is not played a second time when the show reaches it.
  rig.Live(ActionCode::kBravo);
  rig.Live(ActionCode::kBravo);
  rig.Live(ActionCode::kToggleAutoCrowd);
  rig.Live(ActionCode::kToggleAutoCrowd);
  rig.Frames(8);
  EXPECT_EQ(rig.Crowd("applause"), 1u);
  EXPECT_EQ(rig.Crowd("bravo"), 2u);
  EXPECT_FALSE(state.autoCrowd) << "the second toggle was not replayed on top of its click";
  const int frame = rig.game->GetPlayer().CurrentFrame();
  const std::vector<std::pair<int, int>> recorded = Actions(rig.game->GetPlayer());
  ASSERT_EQ(recorded.size(), 6u);
  EXPECT_EQ(recorded[0], std::make_pair(17, 10));
  EXPECT_EQ(recorded[1], std::make_pair(15, 15));
  EXPECT_EQ(recorded[2], std::make_pair(13, 20));
  EXPECT_EQ(recorded[5], std::make_pair(17, 23));
  EXPECT_LT(recorded[5].second, frame);
  rig.game->StopOfflineRun();
  state.recording = false;

  // Runs the show from the start: frames 0-10 under the automatic crowd, then the recorded part.
  const auto replay = [&] {
    ASSERT_TRUE(rig.game->StartOfflineRun());
    EXPECT_TRUE(state.autoCrowd);
    rig.Frames(11);
    EXPECT_FALSE(state.autoCrowd);
    rig.module.ClearCalls();
    rig.Frames(19);
    EXPECT_EQ(rig.Crowd("applause"), 1u);
    EXPECT_EQ(rig.Crowd("bravo"), 2u);
    EXPECT_FALSE(state.autoCrowd);
    rig.game->StopOfflineRun();
  };
  // A second run starts from the switches the song started with and replays the same show.
  replay();

  // The file holds the switches the show ends with; loading it starts the show from the ones it
  // started with, and the replay is the show that was recorded.
  const std::string path = rig.folder.Path("show.kesh");
  std::string why;
  ASSERT_TRUE(rig.game->SaveProject(path, &why)) << why;
  EXPECT_EQ(ReadProject(path).state[5], 0) << "autoCrowd as the show leaves it";
  rig.game->Close();
  EXPECT_TRUE(state.autoCrowd) << "closing undoes the show's own toggles";
  ASSERT_TRUE(rig.game->Open(path));
  replay();

  // At 50 frames a second a recorded frame is still a 25th of a second: the toggle recorded at
  // frame 10 comes with frame 20.
  rig.game->Close();
  ASSERT_TRUE(rig.game->SetFrameRate(50));
  ASSERT_TRUE(rig.game->Open(path));
  EXPECT_FALSE(rig.game->SetFrameRate(25)) << "not while a song is open";
  ASSERT_TRUE(rig.game->StartOfflineRun());
  rig.Frames(20);
  EXPECT_TRUE(state.autoCrowd);
  rig.Frames(1);
  EXPECT_FALSE(state.autoCrowd);
  rig.game->StopOfflineRun();
}

TEST(ShowFile, OlderProjectsReplayWhetherTheSwitchWasTurnedOffBeforeOrDuringRecording) {
  StyledRig rig;
  const std::vector<unsigned char> song = WriteSong(rig.Song(), 400);
  // Files as earlier versions wrote them: the switches at the moment of saving.
  const auto write = [&](const std::string& name, std::vector<std::pair<int, int>> actions) {
    Kesh::Game::State state;
    state.autoCrowd = false;
    state.autoLights = false;
    Kesh::Data::Tracks::Action list;
    for (auto [code, time] : actions) {
      EXPECT_TRUE(list.Add(time, code));
    }
    const std::string path = rig.folder.Path(name);
    EXPECT_TRUE(Project::Save(path, {"", 1.0f, "rock", &state, &song, "", &list}));
    return path;
  };
  // Automatic crowd turned off while recording, then the applause.
  const std::string during = write("during.kesh", {{17, 5}, {15, 8}});
  // Turned off before recording: only the applause is recorded.
  const std::string before = write("before.kesh", {{15, 8}});
  for (const std::string& path : {during, before}) {
    SCOPED_TRACE(path);
    ASSERT_TRUE(rig.game->Open(path));
    EXPECT_EQ(rig.game->GetState().autoCrowd, path == during);
    EXPECT_FALSE(rig.game->GetState().autoLights);
    ASSERT_TRUE(rig.game->StartOfflineRun());
    rig.Frames(6);  // frames 0-5
    rig.module.ClearCalls();
    rig.Frames(6);
    EXPECT_EQ(rig.Crowd("applause"), 1u);
    EXPECT_FALSE(rig.game->GetState().autoCrowd);
    rig.game->StopOfflineRun();
  }
}

TEST(ShowFile, EveryActionsChunkOfTheTimelineLoads) {
  StyledRig rig;
  const std::vector<unsigned char> song = WriteSong(rig.Song(), 300);
  Kesh::Game::State state;
  Kesh::Data::Tracks::Action first;
  ASSERT_TRUE(first.Add(10, static_cast<int>(ActionCode::kStrobe)));
  ASSERT_TRUE(first.Add(20, static_cast<int>(ActionCode::kBravo)));
  Vell::Data::MemoryStg written;
  ASSERT_TRUE(Project::Write(written, {"two", 1.0f, "rock", &state, &song, "", &first}));
  // A second actions chunk after the first, inside the timeline: one new time, one time the first
  // chunk already holds (the first loaded stays).
  std::vector<unsigned char> bytes = written.Bytes();
  const size_t timeline = bytes.size() - (6 + 6 + 4 + 2 * 8);
  ASSERT_EQ(bytes[timeline + 1], 0x30);
  const std::vector<unsigned char> second = {0x10, 0x30, 6 + 4 + 16, 0, 0,  0,  2, 0, 0,
                                             0,    12,   0,          0, 0,  30, 0, 0, 0,
                                             13,   0,    0,          0, 20, 0,  0, 0};
  bytes.insert(bytes.end(), second.begin(), second.end());
  const auto patch = [&](size_t at) {
    const auto length = static_cast<uint32_t>(bytes.size() - at);
    for (int i = 0; i < 4; ++i) {
      bytes[at + 2 + i] = static_cast<unsigned char>(length >> (8 * i));
    }
  };
  patch(timeline);
  patch(0);
  const std::string path = rig.folder.Path("two.kesh");
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));

  EXPECT_EQ(ReadProject(path).actions.size(), 2u);
  ASSERT_TRUE(rig.game->Open(path));
  EXPECT_EQ(Actions(rig.game->GetPlayer()),
            (std::vector<std::pair<int, int>>{{4, 10}, {13, 20}, {12, 30}}));
}

// Keeps a small tmpfs mounted on a folder while it lives (root only).
class SmallDisk {
 public:
  explicit SmallDisk(const std::string& folder) : folder(folder) {
    mounted = ::mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=64k") == 0;
    if (!mounted) {
      reason = std::strerror(errno);
    }
  }
  ~SmallDisk() {
    if (mounted) {
      (void)::umount(folder.c_str());
    }
  }
  bool mounted = false;
  std::string reason;

 private:
  std::string folder;
};

TEST(ShowFile, AFailedSaveKeepsTheOldProjectAndSaysWhy) {
  StyledRig rig;
  WriteSong(rig.Song(), 600);
  ASSERT_TRUE(rig.game->Open(rig.Song()));
  const std::string path = rig.folder.Path("show.kesh");
  std::string why;
  ASSERT_TRUE(rig.game->SaveProject(path, &why)) << why;
  const std::vector<unsigned char> old = ReadBytes(path);
  const auto files = [&] {
    return std::distance(fs::directory_iterator(rig.folder.Root()), fs::directory_iterator());
  };
  // Opens name as the song (the fake module takes any file) and saves over the project.
  const auto failsWith = [&](const std::string& name, const std::string& reason) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(rig.game->Open(name));
    const auto before = files();
    EXPECT_FALSE(rig.game->Save(path.c_str()));
    ASSERT_FALSE(rig.messages.Texts().empty());
    const std::string shown = rig.messages.Texts().back();
    EXPECT_EQ(shown.rfind("Tavro: The project could not be saved: ", 0), 0u) << shown;
    EXPECT_NE(shown.find(reason), std::string::npos) << shown;
    EXPECT_EQ(ReadBytes(path), old);
    EXPECT_EQ(files(), before) << "nothing left beside it";
  };

  const std::string missing = rig.folder.Path("gone.mid");
  WriteSong(missing, 10);
  ASSERT_TRUE(rig.game->Open(missing));
  fs::remove(missing);
  EXPECT_FALSE(rig.game->SaveProject(path, &why));
  EXPECT_EQ(why, "cannot read the song '" + missing + "': " + std::strerror(ENOENT));
  EXPECT_EQ(ReadBytes(path), old);

  const std::string folder = rig.folder.Path("folder.mid");
  fs::create_directory(folder);
  failsWith(folder, "the song '" + folder + "' is a folder");
  fs::remove(folder);

  // Unreadable even for root: memory at address 0 (the read fails with an error).
  const std::string unreadable = rig.folder.Path("unreadable.mid");
  fs::create_symlink("/proc/self/mem", unreadable);
  failsWith(unreadable,
            std::string("cannot read the song '") + unreadable + "': " + std::strerror(EIO));
  fs::remove(unreadable);
  // A file that gives other bytes than its size says (the system's files say 0).
  const std::string changing = rig.folder.Path("changing.mid");
  fs::create_symlink("/proc/self/status", changing);
  failsWith(changing, "changed while it was copied");
  fs::remove(changing);
  if (::geteuid() != 0) {
    const std::string locked = rig.folder.Path("locked.mid");
    WriteSong(locked, 10);
    fs::permissions(locked, fs::perms::none);
    failsWith(locked, std::strerror(EACCES));
    fs::remove(locked);
  }

  // A full disk.
  const std::string disk = rig.folder.Path("disk");
  fs::create_directory(disk);
  SmallDisk small(disk);
  if (!small.mounted) {
    GTEST_SKIP() << "no small disk to fill: mounting a tmpfs was refused (" << small.reason
                 << "); the other failures were tested";
  }
  const std::string onDisk = disk + "/show.kesh";
  ASSERT_TRUE(rig.game->Open(rig.Song()));
  ASSERT_TRUE(rig.game->SaveProject(onDisk, &why)) << why;
  const std::vector<unsigned char> small_old = ReadBytes(onDisk);
  {
    std::ofstream filler(disk + "/filler", std::ios::binary);
    const std::vector<char> block(4096, 'x');
    while (filler.write(block.data(), static_cast<std::streamsize>(block.size()))) {
    }
  }
  const std::string big = rig.folder.Path("big.mid");
  WriteSong(big, 20000);
  ASSERT_TRUE(rig.game->Open(big));
  EXPECT_FALSE(rig.game->SaveProject(onDisk, &why));
  EXPECT_NE(why.find(std::strerror(ENOSPC)), std::string::npos) << why;
  EXPECT_EQ(ReadBytes(onDisk), small_old);
  EXPECT_EQ(std::distance(fs::directory_iterator(disk), fs::directory_iterator()), 2);
}

}  // namespace
