// The profile, the playlist and project files: the edge cases of their formats, byte for byte.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/temp_dir.h"
#include "data/actions.h"
#include "framework/file.h"
#include "game/playlist.h"
#include "game/profile.h"
#include "game/project.h"
#include "game/state.h"

namespace {

using Kesh::Game::Playlist;
using Kesh::Game::Profile;
namespace Project = Kesh::Game::Project;

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::vector<unsigned char> Bytes(const std::string& text) {
  return std::vector<unsigned char>(text.begin(), text.end());
}

Profile LoadProfile(const TempDir& dir, const std::string& xml) {
  WriteText(dir.File("game.xml"), xml);
  Profile profile;
  EXPECT_TRUE(profile.Load(dir.File("game.xml").c_str()));
  return profile;
}

TEST(Profile, ReadsWithItsRangesAndDefaults) {
  TempDir dir;
  Profile profile =
      LoadProfile(dir, R"(<profile><artists max="5" animQuality="7" forceDrummer="T"/></profile>)");
  EXPECT_EQ(profile.max, 5);
  EXPECT_EQ(profile.animQuality, 1) << "7 is no quality";
  EXPECT_TRUE(profile.forceDrummer);
  profile = LoadProfile(dir, R"(<profile><artists animQuality="4" forceDrummer="yes"/>
      <system latency="250" device="3"/></profile>)");
  EXPECT_EQ(profile.animQuality, 4);
  EXPECT_FALSE(profile.forceDrummer) << "only true and t are true";
  EXPECT_EQ(profile.latency, 100);
  EXPECT_EQ(profile.device, 3);
  profile = LoadProfile(dir, R"(<profile><system latency="-5"/></profile>)");
  EXPECT_EQ(profile.latency, 0);
  EXPECT_EQ(profile.max, 13) << "a file with only a system element keeps the other defaults";
  EXPECT_TRUE(profile.shadows);
  EXPECT_TRUE(profile.autoStyle);
  EXPECT_EQ(profile.animQuality, 1);

  Profile untouched;
  untouched.max = 3;
  WriteText(dir.File("bad.xml"), "<profile><artists max=");
  EXPECT_FALSE(untouched.Load(dir.File("bad.xml").c_str()));
  EXPECT_FALSE(untouched.Load(dir.File("missing.xml").c_str()));
  EXPECT_EQ(untouched.max, 3);

  untouched.SetQuality(0);
  EXPECT_EQ(untouched.animQuality, 1);
  untouched.SetQuality(3);
  EXPECT_EQ(untouched.animQuality, 3);
}

TEST(Profile, SavesTheDefaultsAndKeepsTheOldFileWhenSavingFails) {
  TempDir dir;
  Profile profile;
  ASSERT_TRUE(profile.Save(dir.File("game.xml").c_str()));
  const std::string text = ReadText(dir.File("game.xml"));
  EXPECT_NE(text.find(R"(<artists max="13" animQuality="1" forceDrummer="true" />)"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find(R"(<styles shadows="true" auto="true" />)"), std::string::npos);
  EXPECT_NE(text.find(R"(<system device="0" latency="0" />)"), std::string::npos);
  EXPECT_LT(text.find("<artists"), text.find("<styles"));
  EXPECT_LT(text.find("<styles"), text.find("<system"));

  Profile back;
  back.max = 1;
  ASSERT_TRUE(back.Load(dir.File("game.xml").c_str()));
  EXPECT_EQ(back.max, 13);
  EXPECT_TRUE(back.deviceName.empty());
  // A chosen port keeps its name beside its number, whatever characters the name holds.
  profile.device = 2;
  profile.deviceName = "Port <A> & \"B\" \xC3\xA9";
  ASSERT_TRUE(profile.Save(dir.File("game.xml").c_str()));
  ASSERT_TRUE(back.Load(dir.File("game.xml").c_str()));
  EXPECT_EQ(back.device, 2);
  EXPECT_EQ(back.deviceName, profile.deviceName);

  // A folder where the file should be: nothing is replaced.
  std::filesystem::create_directory(dir.File("folder.xml"));
  EXPECT_FALSE(profile.Save(dir.File("folder.xml").c_str()));
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("folder.xml")));
}

std::vector<std::string> Paths(const Playlist& list) {
  std::vector<std::string> paths;
  for (int i = 0; i < list.Count(); ++i) {
    paths.push_back(list.GetAt(i)->GetName());
  }
  return paths;
}

TEST(Playlist, ReadsLinesAndSkipsCommentsAndEmptyLines) {
  Playlist list;
  Vell::Data::MemoryStg text(
      Bytes("#EXTM3U\r\n/music/a song.mid\r\n\r\n# a comment\r\n/music/b.kar\r\n"));
  ASSERT_TRUE(list.Load(text));
  EXPECT_EQ(Paths(list), (std::vector<std::string>{"/music/a song.mid", "/music/b.kar"}));
  EXPECT_EQ(list.GetCurrent(), -1);

  Vell::Data::MemoryStg last(Bytes("one.mid\ntwo.mid"));
  ASSERT_TRUE(list.Load(last));
  EXPECT_EQ(Paths(list), (std::vector<std::string>{"one.mid", "two.mid"}));
  Vell::Data::MemoryStg empty;
  ASSERT_TRUE(list.Load(empty));
  EXPECT_EQ(list.Count(), 0);

  Vell::Data::MemoryStg written;
  list.AddPath("first.mid");
  list.AddPath("second.kesh");
  ASSERT_TRUE(list.Save(written));
  EXPECT_EQ(written.Bytes(), Bytes("first.mid\nsecond.kesh\n"));

  TempDir dir;
  ASSERT_TRUE(list.SaveFile(dir.File("list.m3u")));
  Playlist again;
  ASSERT_TRUE(again.LoadFile(dir.File("list.m3u")));
  EXPECT_EQ(Paths(again), Paths(list));
  std::string why;
  EXPECT_FALSE(again.LoadFile(dir.File("missing.m3u"), &why));
  EXPECT_NE(why.find("missing.m3u"), std::string::npos);

  // Refusals say why: a playlist too large to be one, a folder.
  std::filesystem::resize_file(dir.File("list.m3u"), Playlist::kMaxBytes + 1);
  EXPECT_FALSE(again.LoadFile(dir.File("list.m3u"), &why));
  EXPECT_EQ(why, "cannot open the playlist " + dir.File("list.m3u") + ": it is larger than 16 MiB");
  EXPECT_FALSE(again.LoadFile(dir.path.string(), &why));
  EXPECT_EQ(why, "cannot open the playlist " + dir.path.string() + ": is a folder");
}

TEST(Playlist, LinesThatCannotNameAFileAreLeftOutAndItemsKeepTheirBytes) {
  // A line of exactly the limit stays; one byte more, or a NUL byte, is left out and counted.
  const std::string longest(Playlist::kMaxLineBytes, 'a');
  const std::string latin = "caf\xe9.mid";
  Playlist list;
  Vell::Data::MemoryStg text(Bytes(longest + "\n" + longest + "b\n" + std::string("x\0y.mid\n", 8) +
                                   latin + "\r\n/abs/b.kar"));
  ASSERT_TRUE(list.Load(text));
  EXPECT_EQ(list.Paths(), (std::vector<std::string>{longest, latin, "/abs/b.kar"}));
  EXPECT_EQ(list.SkippedLines(), 2);
  EXPECT_EQ(Playlist::ResolveItem("/lists", latin), "/lists/" + latin);
  EXPECT_EQ(Playlist::ResolveItem("/lists/", "a.mid"), "/lists/a.mid");
  EXPECT_EQ(Playlist::ResolveItem("/lists", "/abs/b.kar"), "/abs/b.kar");

  // A text over the limit is refused with the reason, naming the file.
  TempDir dir;
  {
    std::ofstream big(dir.File("big.m3u"), std::ios::binary);
    big << std::string(static_cast<size_t>(Playlist::kMaxBytes) + 1, '\n');
  }
  std::string why;
  EXPECT_FALSE(list.LoadFile(dir.File("big.m3u"), &why));
  EXPECT_NE(why.find("big.m3u"), std::string::npos) << why;
  EXPECT_NE(why.find("16 MiB"), std::string::npos) << why;
}

TEST(Playlist, CurrentFollowsRemovalsSwapsAndSteps) {
  Playlist list;
  for (const char* path : {"a.mid", "b.mid", "c.mid"}) {
    list.AddPath(path);
  }
  list.SetCurrent(2);
  delete list.RemoveAt(0);
  EXPECT_EQ(list.GetCurrent(), 1);
  delete list.RemoveAt(1);
  EXPECT_EQ(list.GetCurrent(), -1);
  list.SetCurrent(7);
  EXPECT_EQ(list.GetCurrent(), -1);

  list.AddPath("d.mid");  // b, d
  list.SetCurrent(1);
  EXPECT_FALSE(list.Next()) << "on the last item";
  EXPECT_EQ(list.GetCurrent(), -1);
  EXPECT_TRUE(list.Next()) << "the main window wraps with a second Next";
  EXPECT_EQ(list.CurrentItem()->GetName(), "b.mid");
  EXPECT_FALSE(list.Previous());

  list.SetCurrent(0);
  EXPECT_TRUE(list.Swap(0, 1));
  EXPECT_EQ(Paths(list), (std::vector<std::string>{"d.mid", "b.mid"}));
  EXPECT_EQ(list.GetCurrent(), 1) << "current follows its path";
  EXPECT_FALSE(list.Swap(-1, 0));
  EXPECT_TRUE(list.Swap(5, 0)) << "no item at the first index: nothing to do";
  EXPECT_FALSE(list.Swap(0, 5));
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.GetCurrent(), -1);
}

TEST(Playlist, ClassifiesByExtension) {
  EXPECT_EQ(Playlist::Classify("/a/SONG.KAR"), Playlist::kSong);
  EXPECT_EQ(Playlist::Classify("x.mid"), Playlist::kSong);
  EXPECT_EQ(Playlist::Classify("/a/Song.MIDI"), Playlist::kSong);
  EXPECT_EQ(Playlist::Classify("show.kesh"), Playlist::kProject);
  EXPECT_EQ(Playlist::Classify("LIST.M3U"), Playlist::kPlaylist);
  EXPECT_EQ(Playlist::Classify("/folder.mid/readme"), Playlist::kOther);
  EXPECT_EQ(Playlist::Classify("mid"), Playlist::kSong) << "the whole path is its extension";
  EXPECT_EQ(Playlist::Classify("notes.txt"), Playlist::kOther);
  EXPECT_EQ(Playlist::ExtensionOf("a.b.c"), "c");
}

// A project written by hand from the layout, for comparison with what Write produces.
std::vector<unsigned char> HandMadeProject(const std::string& title, const std::string& style,
                                           const std::vector<unsigned char>& state,
                                           const std::vector<unsigned char>& song,
                                           const std::vector<std::pair<int, int>>& actions) {
  std::vector<unsigned char> out;
  const auto u16 = [&](unsigned v) {
    out.push_back(v & 0xFF);
    out.push_back(v >> 8 & 0xFF);
  };
  const auto u32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) {
      out.push_back(v >> (8 * i) & 0xFF);
    }
  };
  const auto text = [&](const std::string& s) {
    u32(static_cast<uint32_t>(s.size() + 1));
    out.insert(out.end(), s.begin(), s.end());
    out.push_back(0);
  };
  const auto patch = [&](size_t at) {
    const uint32_t length = static_cast<uint32_t>(out.size() - at);
    for (int i = 0; i < 4; ++i) {
      out[at + 2 + i] = length >> (8 * i) & 0xFF;
    }
  };
  u16(0x1000);
  u32(0);
  u32(0x00010000);
  text(title);
  u32(0x3F800000);  // 1.0f
  text(style);
  size_t at = out.size();
  u16(0x1010);
  u32(0);
  out.insert(out.end(), state.begin(), state.end());
  patch(at);
  at = out.size();
  u16(0x2000);
  u32(0);
  u32(static_cast<uint32_t>(song.size()));
  out.insert(out.end(), song.begin(), song.end());
  patch(at);
  const size_t timeline = out.size();
  u16(0x3000);
  u32(0);
  at = out.size();
  u16(0x3010);
  u32(0);
  u32(static_cast<uint32_t>(actions.size()));
  for (auto [code, time] : actions) {
    u32(static_cast<uint32_t>(code));
    u32(static_cast<uint32_t>(time));
  }
  patch(at);
  patch(timeline);
  patch(0);
  return out;
}

TEST(ProjectFile, WritesTheLayoutByteForByteAndReadsItBack) {
  Kesh::Game::State state;
  state.ResetDisplaySwitches();
  const std::vector<unsigned char> song = Bytes(std::string("MThd\0\0\0\x06song", 12));
  Kesh::Data::Tracks::Action actions;
  ASSERT_TRUE(actions.Add(250, 4));
  ASSERT_TRUE(actions.Add(100, 12));
  Project::Source source{"My show", 1.0f, "rock", &state, &song, "", &actions};
  Vell::Data::MemoryStg written;
  ASSERT_TRUE(Project::Write(written, source));
  const std::vector<unsigned char> expected =
      HandMadeProject("My show", "rock", {1, 0, 1, 1, 1, 1, 0, 0, 0}, song, {{12, 100}, {4, 250}});
  EXPECT_EQ(written.Bytes(), expected);

  Vell::Data::MemoryStg reading(written.Bytes());
  Project::Content content;
  std::string why;
  ASSERT_TRUE(Project::Read(reading, content, &why)) << why;
  EXPECT_EQ(content.version, Project::kVersion);
  EXPECT_EQ(content.title, "My show");
  EXPECT_EQ(content.style, "rock");
  EXPECT_EQ(content.factor, 1.0f);
  EXPECT_EQ(content.state, (std::vector<unsigned char>{1, 0, 1, 1, 1, 1, 0, 0, 0}));
  EXPECT_EQ(content.song, song);
  ASSERT_EQ(content.actions.size(), 1u);

  // A project made from this project's content is the same file again.
  Kesh::Game::State restored;
  Vell::Data::MemoryStg stateBytes(content.state);
  ASSERT_TRUE(restored.Load(stateBytes));
  Kesh::Data::Tracks::Action restoredActions;
  Vell::Data::MemoryStg actionBytes(content.actions[0]);
  ASSERT_TRUE(restoredActions.Load(actionBytes));
  Project::Source again{
      content.title, content.factor, content.style, &restored, &content.song, "", &restoredActions};
  Vell::Data::MemoryStg rewritten;
  ASSERT_TRUE(Project::Write(rewritten, again));
  EXPECT_EQ(rewritten.Bytes(), written.Bytes());
}

TEST(ProjectFile, EmptyTimelineIsSixteenBytesAndEmptyTitleReadsEmpty) {
  Kesh::Game::State state;
  const std::vector<unsigned char> song = Bytes("MThd");
  Kesh::Data::Tracks::Action none;
  Vell::Data::MemoryStg written;
  ASSERT_TRUE(Project::Write(written, {"", 1.0f, "", &state, &song, "", &none}));
  const std::vector<unsigned char>& bytes = written.Bytes();
  ASSERT_GE(bytes.size(), 16u);
  const size_t timeline = bytes.size() - 16;
  EXPECT_EQ(bytes[timeline], 0x00);
  EXPECT_EQ(bytes[timeline + 1], 0x30);
  EXPECT_EQ(bytes[timeline + 2], 16) << "the timeline chunk's length";

  // A title stored with n = 0.
  std::vector<unsigned char> zeroTitle =
      HandMadeProject("", "", {1, 0, 1, 1, 1, 1, 0, 0, 0}, song, {});
  // Replace the title's n = 1 and its zero byte by n = 0 and fix the project length.
  zeroTitle.erase(zeroTitle.begin() + 10, zeroTitle.begin() + 15);
  zeroTitle.insert(zeroTitle.begin() + 10, {0, 0, 0, 0});
  zeroTitle[2] = static_cast<unsigned char>(zeroTitle.size());
  Vell::Data::MemoryStg reading(zeroTitle);
  Project::Content content;
  std::string why;
  ASSERT_TRUE(Project::Read(reading, content, &why)) << why;
  EXPECT_EQ(content.title, "");
}

TEST(ProjectFile, RefusesDamageBeforeAllocating) {
  const std::vector<unsigned char> song = Bytes("MThd....");
  const std::vector<unsigned char> good =
      HandMadeProject("t", "s", {1, 0, 1, 1, 1, 1, 0, 0, 0}, song, {});
  const auto refused = [](std::vector<unsigned char> bytes, const std::string& reason) {
    Vell::Data::MemoryStg stream(std::move(bytes));
    Project::Content content;
    std::string why;
    EXPECT_FALSE(Project::Read(stream, content, &why));
    EXPECT_NE(why.find(reason), std::string::npos) << why;
  };
  std::vector<unsigned char> bytes = good;
  bytes[0] = 0x01;
  refused(bytes, "where 0x1000 was expected");
  // The song size claims 4 GB.
  const size_t songChunk = 6 + 4 + (4 + 2) + 4 + (4 + 2) + 6 + 9;  // header, version, title,
  // factor, style, state chunk
  bytes = good;
  ASSERT_EQ(bytes[songChunk + 1], 0x20);
  for (int i = 0; i < 4; ++i) {
    bytes[songChunk + 6 + i] = 0xFF;
  }
  refused(bytes, "more than the song chunk holds");
  // The song chunk claims more bytes than the file has.
  bytes = good;
  bytes[songChunk + 5] = 0x7F;
  refused(bytes, "which the file does not hold");
  // The file ends inside the song.
  bytes = good;
  bytes.resize(songChunk + 12);
  refused(bytes, "does not hold");
  // The state chunk with length 0.
  bytes = good;
  bytes[songChunk - 15 + 2] = 0;
  refused(bytes, "state chunk is empty");
}

TEST(ProjectFile, AFailedSaveKeepsTheOldFile) {
  TempDir dir;
  Kesh::Game::State state;
  const std::vector<unsigned char> song = Bytes("MThd");
  const std::string path = dir.File("show.kesh");
  ASSERT_TRUE(Project::Save(path, {"first", 1.0f, "", &state, &song, "", nullptr}));
  const std::string before = ReadText(path);
  std::string why;
  EXPECT_FALSE(Project::Save(
      path, {"second", 1.0f, "", &state, nullptr, dir.File("missing.mid"), nullptr}, &why));
  EXPECT_NE(why.find("missing.mid"), std::string::npos);
  EXPECT_EQ(ReadText(path), before);
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
}

}  // namespace
