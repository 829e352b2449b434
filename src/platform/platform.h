// The portable layer: everything the program needs from the operating system, so that another
// system's build only replaces this folder's sources.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace Vell::Platform {

// ---- dynamic libraries ----

// A loaded shared library, unloaded when the object goes.
class SharedLibrary {
 public:
  SharedLibrary() = default;
  explicit SharedLibrary(const std::string& path) { (void)Open(path); }  // see IsOpen
  SharedLibrary(SharedLibrary&& other) noexcept;
  SharedLibrary& operator=(SharedLibrary&& other) noexcept;
  SharedLibrary(const SharedLibrary&) = delete;
  SharedLibrary& operator=(const SharedLibrary&) = delete;
  ~SharedLibrary() { Close(); }

  [[nodiscard]] bool Open(const std::string& path);
  void Close();
  bool IsOpen() const { return handle != nullptr; }
  // The address of an exported symbol, or null.
  void* Symbol(const char* name) const;
  // The loader's reason for the last failure.
  const std::string& Error() const { return error; }
  // Hands the handle over to the caller, who closes it with CloseHandle.
  void* Release();
  static void CloseHandle(void* handle);
  static void* SymbolOf(void* handle, const char* name);

 private:
  void* handle = nullptr;
  std::string error;
};

// The directory of the shared object (or program) that contains address, without the file name,
// with symbolic links resolved.
std::string DirectoryOfAddress(const void* address);
// The directory of the running program, with symbolic links resolved.
std::string ProgramDirectory();

// ---- locks and threads ----

// Held around each frame and a whole load; paint handlers only try it without waiting.
using TimedMutex = std::timed_mutex;
// Re-entrant lock around drawing and the changes of what is drawn.
using RecursiveLock = std::recursive_mutex;

inline bool TryLockNow(TimedMutex& mutex) { return mutex.try_lock(); }

// A thread with an explicit "still running" state, which can be asked without joining.
class Thread {
 public:
  Thread() = default;
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;
  ~Thread() { Join(); }

  // Starts body on a new thread; false when one is still attached (join it first).
  bool Start(std::function<void()> body);
  bool IsRunning() const { return running.load(std::memory_order_acquire); }
  bool IsStarted() const { return worker.joinable(); }
  void Join();

 private:
  std::thread worker;
  std::atomic<bool> running{false};
};

void SleepMs(int milliseconds);

// ---- clock ----

// A monotonic high-resolution counter and its frequency (ticks per second).
inline uint64_t CounterNow() {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}
constexpr uint64_t CounterFrequency() { return 1000000000ULL; }

// ---- system ----

struct SystemVersion {
  std::string name;  // "Linux"
  int major = 0;
  int minor = 0;
  std::string release;  // the full release text
  std::string detail;   // the build text of the kernel
};
SystemVersion GetSystemVersion();

// ---- files ----

// Pushes what was written to file through to the disk (after fflush). False when the system
// refuses; errno tells why.
[[nodiscard]] bool SyncToDisk(std::FILE* file);

// Opens path for reading and refuses what is not a regular file, without ever blocking on it: a
// named pipe or a device would hold a reader for ever, a folder is no file. On success fd is an
// open, blocking, close-on-exec descriptor for the caller to close; otherwise why is the reason
// without the path ("is a folder", "is a named pipe, not a file", "No such file or directory").
[[nodiscard]] bool OpenRegularFile(const std::string& path, int* fd, std::string* why = nullptr);
// The same check on a descriptor already open: "" for a regular file, else the reason.
std::string NotRegularReason(int fd);

// ---- current directory ----

std::string CurrentDirectory();
bool SetCurrentDirectory(const std::string& path);

// Switches the current directory for its lifetime and always switches back, also when an
// exception leaves the scope.
class ScopedDirectory {
 public:
  explicit ScopedDirectory(const std::string& path);
  ScopedDirectory(const ScopedDirectory&) = delete;
  ScopedDirectory& operator=(const ScopedDirectory&) = delete;
  ~ScopedDirectory();
  // Whether the switch happened.
  bool Ok() const { return switched; }

 private:
  std::string previous;
  bool switched = false;
};

}  // namespace Vell::Platform
