#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "common/temp_dir.h"
#include "framework/file.h"
#include "framework/xml.h"

namespace {

using Vell::Data::FileStg;
using Vell::Data::MemoryStg;

TEST(FileStg, ReadAllSeekTellAndSize) {
  const TempDir temp;
  const std::string path = temp.File("hundred.bin");
  {
    std::vector<char> bytes(100);
    for (int i = 0; i < 100; ++i) {
      bytes[i] = static_cast<char>(i);
    }
    std::ofstream(path, std::ios::binary).write(bytes.data(), 100);
  }
  FileStg file(path.c_str(), "rb");
  EXPECT_EQ(file.GetType(), 2);
  EXPECT_STREQ(file.GetPath(), path.c_str());
  char head[10];
  EXPECT_EQ(file.Read(head, 10), 10);
  EXPECT_EQ(file.GetSize(), 100);
  EXPECT_EQ(file.Tell(), 10);  // GetSize keeps the position
  std::vector<char> rest(100);
  EXPECT_EQ(file.ReadAll(rest.data()), 90);
  EXPECT_EQ(rest[0], 10);
  EXPECT_TRUE(file.Eof());

  EXPECT_TRUE(file.Seek(5, 0));
  EXPECT_FALSE(file.Seek(0, 3));
  EXPECT_EQ(file.Tell(), 5);
  EXPECT_TRUE(file.Seek(-1, 2));
  EXPECT_EQ(file.Tell(), 99);
  EXPECT_EQ(file.Read(nullptr, 4), 0);
  EXPECT_FALSE(file.Open(path.c_str(), "rb"));  // already open
}

TEST(FileStg, ClosedStreamAndWriting) {
  FileStg closed;
  char c = 0;
  EXPECT_FALSE(closed.IsOpen());
  EXPECT_EQ(closed.GetSize(), 0);
  EXPECT_EQ(closed.Tell(), 0);
  EXPECT_EQ(closed.Read(&c, 1), 0);
  EXPECT_EQ(closed.Write(&c, 1), 0);
  EXPECT_FALSE(closed.Flush());
  EXPECT_FALSE(closed.Seek(0, 0));
  EXPECT_TRUE(closed.Eof());

  const TempDir temp;
  const std::string path = temp.File("ints.bin");
  {
    FileStg out;
    ASSERT_TRUE(out.Open(path.c_str(), "wb"));
    EXPECT_FALSE(out.Eof());
    EXPECT_TRUE(out.WriteInt32(0x01020304));
    EXPECT_TRUE(out.WriteInt32(-2));
    EXPECT_TRUE(out.Flush());
  }
  FileStg in(path.c_str(), "rb");
  unsigned char raw[8];
  ASSERT_EQ(in.Read(raw, 8), 8);
  EXPECT_EQ(raw[0], 4);  // little-endian
  EXPECT_EQ(raw[3], 1);
  EXPECT_EQ(raw[4], 0xFE);
  EXPECT_EQ(raw[7], 0xFF);
  in.Seek(4, 0);
  int value = 0;
  EXPECT_TRUE(in.ReadInt32(value));
  EXPECT_EQ(value, -2);
  EXPECT_FALSE(in.ReadInt32(value));  // short read
}

// Reading refuses what is not a regular file, and returns at once: a named pipe without a writer
// would otherwise hold the reader for ever. Writing is not affected.
TEST(FileStg, ReadingOnlyOpensRegularFiles) {
  const TempDir temp;
  ASSERT_EQ(::mkfifo(temp.File("pipe").c_str(), 0644), 0);
  std::filesystem::create_directory(temp.File("folder"));
  const struct {
    std::string path;
    std::string reason;
  } cases[] = {{temp.File("pipe"), "is a named pipe, not a file"},
               {temp.File("folder"), "is a folder"},
               {"/dev/null", "is a device, not a file"},
               {temp.File("missing"), "No such file or directory"}};
  for (const auto& c : cases) {
    FileStg file;
    EXPECT_FALSE(file.Open(c.path.c_str(), "rb")) << c.path;
    EXPECT_EQ(file.Error(), c.reason);
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.NotFound(), c.path == temp.File("missing"));
    try {
      FileStg thrown(c.path.c_str(), "rb");
      ADD_FAILURE() << c.path << " opened";
    } catch (const FileStg::NotLoadedException& error) {
      EXPECT_EQ(error.Detail(), c.reason);
    }
  }
  // The XML reader goes through the same door.
  Vell::Data::Xml::Document document;
  std::string why;
  EXPECT_FALSE(document.Load(temp.File("pipe"), &why));
  EXPECT_EQ(why, "'" + temp.File("pipe") + "': is a named pipe, not a file");
  EXPECT_FALSE(document.Load(temp.File("missing"), &why));
  EXPECT_EQ(why, "'" + temp.File("missing") + "': cannot open the file");
  FileStg written;
  ASSERT_TRUE(written.Open(temp.File("new.bin").c_str(), "wb"));
  EXPECT_EQ(written.Write("abc", 3), 3);
}

TEST(MemoryStg, BehavesLikeAFile) {
  MemoryStg out;
  out.WriteInt32(7);
  out.WriteInt32(-1);
  MemoryStg in(out.Bytes());
  int a = 0, b = 0, c = 0;
  EXPECT_TRUE(in.ReadInt32(a));
  EXPECT_TRUE(in.ReadInt32(b));
  EXPECT_FALSE(in.Eof());
  EXPECT_FALSE(in.ReadInt32(c));
  EXPECT_TRUE(in.Eof());
  EXPECT_EQ(a, 7);
  EXPECT_EQ(b, -1);
  EXPECT_FALSE(in.Seek(-1, 0));
  EXPECT_TRUE(in.Seek(-8, 2));
  EXPECT_EQ(in.Tell(), 0);
  in.Seek(100, 0);
  char x;
  EXPECT_EQ(in.Read(&x, 1), 0);  // past the end reads nothing
}

}  // namespace
