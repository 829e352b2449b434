#include "framework/file.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "platform/platform.h"

namespace Vell::Data {

// ---- FileStg ----

FileStg::NotLoadedException::NotLoadedException(std::string path, std::string reason)
    : Exception(std::move(reason)), path(std::move(path)) {}

std::string FileStg::NotLoadedException::ToString() const {
  return "File '" + path + "' not loaded";
}

FileStg::FileStg(const char* path, const char* mode) {
  if (!Open(path, mode)) {
    throw NotLoadedException(path != nullptr ? path : "",
                             error.empty() ? "cannot open the file" : error);
  }
}

FileStg::~FileStg() { Close(); }

bool FileStg::Open(const char* filePath, const char* mode) {
  error.clear();
  notFound = false;
  if (handle != nullptr || filePath == nullptr || mode == nullptr) {
    error = handle != nullptr ? "a file is already open" : "no file name";
    return false;
  }
  if (mode[0] == 'r' && std::strchr(mode, '+') == nullptr) {
    // Reading: only a regular file, and never wait on a named pipe or a device.
    int fd = -1;
    if (!Vell::Platform::OpenRegularFile(filePath, &fd, &error)) {
      notFound = errno == ENOENT;
      return false;
    }
    handle = ::fdopen(fd, mode);
    if (handle == nullptr) {
      error = std::strerror(errno);
      ::close(fd);
      return false;
    }
  } else {
    handle = std::fopen(filePath, mode);
    if (handle == nullptr) {
      notFound = errno == ENOENT;
      error = std::strerror(errno);
      return false;
    }
  }
  path = filePath;
  return true;
}

void FileStg::Close() {
  if (handle != nullptr) {
    std::fclose(handle);
    handle = nullptr;
  }
}

int FileStg::GetSize() {
  if (handle == nullptr) {
    return 0;
  }
  const long position = std::ftell(handle);
  if (position < 0 || std::fseek(handle, 0, SEEK_END) != 0) {
    return 0;
  }
  const long size = std::ftell(handle);
  std::fseek(handle, position, SEEK_SET);
  if (size < 0) {
    return 0;
  }
  return size > INT_MAX ? INT_MAX : static_cast<int>(size);
}

bool FileStg::Seek(int offset, int origin) {
  if (handle == nullptr) {
    return false;
  }
  int whence = 0;
  switch (origin) {
    case 0:
      whence = SEEK_SET;
      break;
    case 1:
      whence = SEEK_CUR;
      break;
    case 2:
      whence = SEEK_END;
      break;
    default:
      return false;
  }
  return std::fseek(handle, offset, whence) == 0;
}

int FileStg::Tell() {
  if (handle == nullptr) {
    return 0;
  }
  const long position = std::ftell(handle);
  return position < 0 ? 0 : (position > INT_MAX ? INT_MAX : static_cast<int>(position));
}

int FileStg::Read(void* buffer, int count) {
  if (handle == nullptr || buffer == nullptr || count <= 0) {
    return 0;
  }
  return static_cast<int>(std::fread(buffer, 1, static_cast<size_t>(count), handle));
}

int FileStg::ReadAll(void* buffer) { return Read(buffer, GetSize()); }

int FileStg::Write(const void* buffer, int count) {
  if (handle == nullptr || buffer == nullptr || count <= 0) {
    return 0;
  }
  return static_cast<int>(std::fwrite(buffer, 1, static_cast<size_t>(count), handle));
}

bool FileStg::Flush() { return handle != nullptr && std::fflush(handle) == 0; }

bool FileStg::Eof() { return handle == nullptr || std::feof(handle) != 0; }

// ---- MemoryStg ----

MemoryStg::MemoryStg(const void* data, size_t size) {
  if (data != nullptr && size > 0) {
    const auto* begin = static_cast<const unsigned char*>(data);
    bytes.assign(begin, begin + size);
  }
}

MemoryStg::MemoryStg(std::vector<unsigned char> content) : bytes(std::move(content)) {}

bool MemoryStg::Seek(int offset, int origin) {
  long long base = 0;
  switch (origin) {
    case 0:
      base = 0;
      break;
    case 1:
      base = static_cast<long long>(position);
      break;
    case 2:
      base = static_cast<long long>(bytes.size());
      break;
    default:
      return false;
  }
  const long long target = base + offset;
  if (target < 0) {
    return false;
  }
  position = static_cast<size_t>(target);
  atEnd = false;
  return true;
}

int MemoryStg::Read(void* buffer, int count) {
  if (buffer == nullptr || count <= 0) {
    return 0;
  }
  const size_t available = position < bytes.size() ? bytes.size() - position : 0;
  const size_t n = static_cast<size_t>(count) < available ? static_cast<size_t>(count) : available;
  if (n > 0) {
    std::memcpy(buffer, bytes.data() + position, n);
  }
  position += n;
  if (n < static_cast<size_t>(count)) {
    atEnd = true;
  }
  return static_cast<int>(n);
}

int MemoryStg::ReadAll(void* buffer) { return Read(buffer, GetSize()); }

int MemoryStg::Write(const void* buffer, int count) {
  if (buffer == nullptr || count <= 0) {
    return 0;
  }
  const size_t end = position + static_cast<size_t>(count);
  if (end > bytes.size()) {
    bytes.resize(end);
  }
  std::memcpy(bytes.data() + position, buffer, static_cast<size_t>(count));
  position = end;
  return count;
}

}  // namespace Vell::Data
