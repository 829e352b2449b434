#include "platform/platform.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace Vell::Platform {

SharedLibrary::SharedLibrary(SharedLibrary&& other) noexcept
    : handle(other.handle), error(std::move(other.error)) {
  other.handle = nullptr;
}

SharedLibrary& SharedLibrary::operator=(SharedLibrary&& other) noexcept {
  if (this != &other) {
    Close();
    handle = other.handle;
    error = std::move(other.error);
    other.handle = nullptr;
  }
  return *this;
}

bool SharedLibrary::Open(const std::string& path) {
  Close();
  // A name without a slash would make dlopen search the system paths; the program always means a
  // file, so make it relative to the current directory.
  std::string file = path.find('/') == std::string::npos ? "./" + path : path;
  handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* reason = dlerror();
    error = reason != nullptr ? reason : "cannot load " + path;
    return false;
  }
  error.clear();
  return true;
}

void SharedLibrary::Close() {
  if (handle != nullptr) {
    dlclose(handle);
    handle = nullptr;
  }
}

void* SharedLibrary::Symbol(const char* name) const { return SymbolOf(handle, name); }

void* SharedLibrary::Release() {
  void* released = handle;
  handle = nullptr;
  return released;
}

void SharedLibrary::CloseHandle(void* library) {
  if (library != nullptr) {
    dlclose(library);
  }
}

void* SharedLibrary::SymbolOf(void* library, const char* name) {
  if (library == nullptr || name == nullptr) {
    return nullptr;
  }
  return dlsym(library, name);
}

std::string DirectoryOfAddress(const void* address) {
  Dl_info info{};
  if (dladdr(address, &info) == 0 || info.dli_fname == nullptr) {
    return ProgramDirectory();
  }
  // Resolved like ProgramDirectory: a module reached through a link (a linked program folder, a
  // packaging tree of links) lives where the link points, and so do the files beside it.
  std::error_code ec;
  std::filesystem::path file = std::filesystem::weakly_canonical(info.dli_fname, ec);
  if (ec) {
    file = std::filesystem::absolute(info.dli_fname, ec);
  }
  return file.parent_path().string();
}

std::string ProgramDirectory() {
  std::error_code ec;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) {
    return CurrentDirectory();
  }
  return exe.parent_path().string();
}

bool Thread::Start(std::function<void()> body) {
  if (worker.joinable()) {
    return false;
  }
  running.store(true, std::memory_order_release);
  worker = std::thread([this, body = std::move(body)] {
    body();
    running.store(false, std::memory_order_release);
  });
  return true;
}

void Thread::Join() {
  if (worker.joinable() && worker.get_id() != std::this_thread::get_id()) {
    worker.join();
  }
}

void SleepMs(int milliseconds) {
  if (milliseconds > 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  } else {
    std::this_thread::yield();
  }
}

SystemVersion GetSystemVersion() {
  SystemVersion version;
  utsname names{};
  if (uname(&names) != 0) {
    version.name = "unknown system";
    return version;
  }
  version.name = names.sysname;
  version.release = names.release;
  version.detail = names.version;
  char* end = nullptr;
  version.major = static_cast<int>(std::strtol(names.release, &end, 10));
  if (end != nullptr && *end == '.') {
    version.minor = static_cast<int>(std::strtol(end + 1, nullptr, 10));
  }
  return version;
}

bool SyncToDisk(std::FILE* file) { return file != nullptr && ::fsync(::fileno(file)) == 0; }

std::string NotRegularReason(int fd) {
  struct stat status {};
  if (::fstat(fd, &status) != 0) {
    return std::strerror(errno);
  }
  switch (status.st_mode & S_IFMT) {
    case S_IFREG:
      return {};
    case S_IFDIR:
      return "is a folder";
    case S_IFIFO:
      return "is a named pipe, not a file";
    case S_IFCHR:
    case S_IFBLK:
      return "is a device, not a file";
    case S_IFSOCK:
      return "is a socket, not a file";
    default:
      return "is not a regular file";
  }
}

bool OpenRegularFile(const std::string& path, int* fd, std::string* why) {
  const auto fail = [why](const std::string& reason) {
    const int error = errno;
    if (why != nullptr) {
      *why = reason;
    }
    errno = error;
    return false;
  };
  // O_NONBLOCK: opening a named pipe for reading otherwise waits for a writer, and some devices
  // wait for their hardware. Nothing is read before the type is known.
  const int opened = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (opened < 0) {
    return fail(std::strerror(errno));  // errno stays for the caller
  }
  const std::string reason = NotRegularReason(opened);
  if (!reason.empty()) {
    ::close(opened);
    errno = 0;
    return fail(reason);
  }
  const int flags = ::fcntl(opened, F_GETFL);
  if (flags < 0 || ::fcntl(opened, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    const std::string error = std::strerror(errno);
    ::close(opened);
    return fail(error);
  }
  if (fd != nullptr) {
    *fd = opened;
  } else {
    ::close(opened);
  }
  return true;
}

std::string CurrentDirectory() {
  std::error_code ec;
  std::filesystem::path dir = std::filesystem::current_path(ec);
  return ec ? std::string() : dir.string();
}

bool SetCurrentDirectory(const std::string& path) {
  std::error_code ec;
  std::filesystem::current_path(path, ec);
  return !ec;
}

ScopedDirectory::ScopedDirectory(const std::string& path) : previous(CurrentDirectory()) {
  switched = !previous.empty() && SetCurrentDirectory(path);
}

ScopedDirectory::~ScopedDirectory() {
  if (switched) {
    SetCurrentDirectory(previous);
  }
}

}  // namespace Vell::Platform
