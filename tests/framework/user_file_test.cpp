// Writing user files: the whole content or nothing, never a temporary left behind.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

#include "common/temp_dir.h"
#include "framework/user_file.h"

namespace {

using Vell::Data::WriteUserFile;

std::string Content(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

long FilesIn(const std::filesystem::path& dir) {
  return std::distance(std::filesystem::directory_iterator(dir), {});
}

TEST(UserFile, WritesAndReplacesWholeFiles) {
  const TempDir dir;
  const std::string path = dir.File("profile.xml");
  std::string why;
  ASSERT_TRUE(WriteUserFile(path, std::string_view("first\0version", 13), &why)) << why;
  EXPECT_EQ(Content(path), std::string("first\0version", 13));
  ASSERT_TRUE(WriteUserFile(path, "second"));
  EXPECT_EQ(Content(path), "second");
  ASSERT_TRUE(WriteUserFile(path, ""));  // an empty file is a valid content
  EXPECT_EQ(std::filesystem::file_size(path), 0U);
  // A writer that produces its content piece by piece.
  ASSERT_TRUE(WriteUserFile(path, [](std::FILE* file, std::string*) {
    for (int i = 0; i < 1000; ++i) {
      std::fprintf(file, "%03d\n", i);
    }
    return true;
  }));
  EXPECT_EQ(std::filesystem::file_size(path), 4000U);
  EXPECT_EQ(Content(path).substr(3996), "999\n");
  EXPECT_EQ(FilesIn(dir.path), 1);
}

TEST(UserFile, FailuresKeepThePreviousFileAndLeaveNothingBehind) {
  const TempDir dir;
  const std::string path = dir.File("playlist.xml");
  ASSERT_TRUE(WriteUserFile(path, "kept"));
  std::string why;

  // The writer gives up halfway, with and without a reason.
  EXPECT_FALSE(WriteUserFile(
      path,
      [](std::FILE* file, std::string* reason) {
        std::fputs("half", file);
        *reason = "the song list changed";
        return false;
      },
      &why));
  EXPECT_EQ(why, "cannot write '" + path + "': the song list changed");
  EXPECT_FALSE(WriteUserFile(
      path, [](std::FILE*, std::string*) { return false; }, &why));
  EXPECT_EQ(why, "cannot write '" + path + "': the content could not be produced");
  EXPECT_FALSE(WriteUserFile(path, Vell::Data::UserFileWriter(), &why));

  // The writer throws: the exception goes on, the temporary does not stay.
  EXPECT_THROW((void)WriteUserFile(path,
                                   [](std::FILE* file, std::string*) -> bool {
                                     std::fputs("half", file);
                                     throw std::runtime_error("out of memory");
                                   }),
               std::runtime_error);
  EXPECT_EQ(Content(path), "kept");
  EXPECT_EQ(FilesIn(dir.path), 1);

  // Places that cannot take the file.
  const std::string nowhere = dir.File("missing/list.xml");
  EXPECT_FALSE(WriteUserFile(nowhere, "x", &why));
  EXPECT_EQ(why, "cannot write '" + nowhere + "': " + std::strerror(ENOENT));
  std::filesystem::create_directory(dir.path / "folder");
  EXPECT_FALSE(WriteUserFile(dir.File("folder"), "x", &why));
  EXPECT_EQ(why, "cannot write '" + dir.File("folder") + "': it is a folder");
  EXPECT_FALSE(WriteUserFile("", "x", &why));
  EXPECT_EQ(why, "cannot write a file without a name");
  EXPECT_EQ(FilesIn(dir.path), 2);  // the kept file and the folder
  EXPECT_TRUE(std::filesystem::is_empty(dir.path / "folder"));
}

TEST(UserFile, WritesThroughLinksToTheirTargetKeepingItsMode) {
  namespace fs = std::filesystem;
  const TempDir dir;
  fs::create_directory(dir.path / "real");
  const fs::path target = dir.path / "real" / "show.kesh";
  std::ofstream(target) << "old";
  fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  // A relative link to a relative link: each is resolved from its own folder.
  fs::create_symlink("real/show.kesh", dir.path / "inner");
  fs::create_directory(dir.path / "links");
  fs::create_symlink("../inner", dir.path / "links" / "show.kesh");
  const std::string link = (dir.path / "links" / "show.kesh").string();
  std::string why;
  ASSERT_TRUE(WriteUserFile(link, "new", &why)) << why;
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_TRUE(fs::is_symlink(dir.path / "inner"));
  EXPECT_EQ(fs::read_symlink(link), "../inner");
  EXPECT_EQ(Content(target.string()), "new");
  EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(FilesIn(dir.path / "real"), 1) << "no temporary left beside the target";

  // A link to a file not there yet creates it; a link loop and a link to a device are refused.
  fs::create_symlink("real/new.m3u", dir.path / "dangling");
  ASSERT_TRUE(WriteUserFile((dir.path / "dangling").string(), "list", &why)) << why;
  EXPECT_EQ(Content((dir.path / "real" / "new.m3u").string()), "list");
  EXPECT_TRUE(fs::is_symlink(dir.path / "dangling"));
  fs::create_symlink("loop", dir.path / "loop");
  EXPECT_FALSE(WriteUserFile((dir.path / "loop").string(), "x", &why));
  EXPECT_EQ(why, "cannot write '" + (dir.path / "loop").string() + "': " + std::strerror(ELOOP));
  fs::create_symlink("/dev/null", dir.path / "null");
  EXPECT_FALSE(WriteUserFile((dir.path / "null").string(), "x", &why));
  EXPECT_NE(why.find("not a regular file"), std::string::npos) << why;
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
}

}  // namespace
