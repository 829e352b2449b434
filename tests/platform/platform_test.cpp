#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include "common/temp_dir.h"
#include "platform/platform.h"

namespace {

using namespace Vell::Platform;

TEST(Platform, ScopedDirectoryRestoresOnEveryExit) {
  const std::string start = CurrentDirectory();
  const TempDir folder;
  const std::string temp = folder.path.string();
  {
    ScopedDirectory in(temp);
    EXPECT_TRUE(in.Ok());
    EXPECT_EQ(std::filesystem::path(CurrentDirectory()), std::filesystem::canonical(temp));
  }
  EXPECT_EQ(CurrentDirectory(), start);
  try {
    ScopedDirectory in(temp);
    throw std::runtime_error("loader failed");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(CurrentDirectory(), start);
  {
    ScopedDirectory missing("/no/such/directory");
    EXPECT_FALSE(missing.Ok());
    EXPECT_EQ(CurrentDirectory(), start);
  }
  EXPECT_EQ(CurrentDirectory(), start);
}

TEST(Platform, ThreadReportsRunningUntilItsBodyEnds) {
  Thread thread;
  std::atomic<bool> release{false};
  ASSERT_TRUE(thread.Start([&] {
    while (!release.load()) {
      SleepMs(1);
    }
  }));
  EXPECT_TRUE(thread.IsRunning());
  EXPECT_FALSE(thread.Start([] {}));  // still attached
  release = true;
  thread.Join();
  EXPECT_FALSE(thread.IsRunning());
  EXPECT_TRUE(thread.Start([] {}));  // joined: can start again
  thread.Join();
}

TEST(Platform, LocksClockAndSystem) {
  TimedMutex mutex;
  ASSERT_TRUE(TryLockNow(mutex));
  std::thread other([&] { EXPECT_FALSE(TryLockNow(mutex)); });  // zero wait, no block
  other.join();
  mutex.unlock();

  RecursiveLock lock;
  lock.lock();
  EXPECT_TRUE(lock.try_lock());  // re-entrant
  lock.unlock();
  lock.unlock();

  const uint64_t a = CounterNow();
  SleepMs(2);
  EXPECT_GE(CounterNow() - a, 2 * CounterFrequency() / 1000);

  SystemVersion version = GetSystemVersion();
  EXPECT_FALSE(version.name.empty());
  EXPECT_GT(version.major, 0);
}

TEST(Platform, LibraryLoadingFailsCleanly) {
  SharedLibrary library;
  EXPECT_FALSE(library.Open("/no/such/library.so"));
  EXPECT_FALSE(library.Error().empty());
  EXPECT_EQ(library.Symbol("anything"), nullptr);
  EXPECT_FALSE(ProgramDirectory().empty());
  EXPECT_EQ(std::filesystem::path(DirectoryOfAddress(reinterpret_cast<void*>(&CounterNow))),
            std::filesystem::path(ProgramDirectory()));
}

// A module opened through a link to its folder (packaging and stow make such trees) is found
// where the link points, as the program itself is.
TEST(Platform, DirectoryOfAddressResolvesLinks) {
  const std::filesystem::path real = std::filesystem::canonical(TAVRO_PROGRAM_DIR);
  if (!std::filesystem::exists(real / "libovatix.so")) {
    GTEST_SKIP() << "no libovatix.so in " << real << " (build the program first)";
  }
  const TempDir folder;
  const std::filesystem::path link = folder.path / "linked";
  std::filesystem::create_directory_symlink(real, link);
  SharedLibrary library;
  ASSERT_TRUE(library.Open((link / "libovatix.so").string())) << library.Error();
  const void* symbol = library.Symbol("_CloseCollection");
  ASSERT_NE(symbol, nullptr);
  EXPECT_EQ(std::filesystem::path(DirectoryOfAddress(symbol)), real);
}

}  // namespace
