// Byte streams: a buffered file and an in-memory stream, implementations of the abstract stream
// in tavro/stream.h. Any thread may use a stream, one thread at a time; a stream owns its handle.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "framework/exception.h"
#include "tavro/stream.h"

namespace Vell::Data {

// A file opened with a standard mode string ("rb", "wb", ...).
class FileStg : public File {
 public:
  class NotLoadedException : public Exception {
   public:
    // The detail is the system's reason.
    NotLoadedException(std::string path, std::string reason);
    std::string ToString() const override;
    const std::string& GetPath() const { return path; }

   private:
    std::string path;
  };

  FileStg() = default;
  // Throws NotLoadedException when the file cannot be opened.
  FileStg(const char* path, const char* mode);
  FileStg(const FileStg&) = delete;
  FileStg& operator=(const FileStg&) = delete;
  ~FileStg() override;

  // False when a file is already open or the open fails; Error() then tells why. A read-only
  // mode opens only a regular file ("is a folder", "is a named pipe, not a file").
  [[nodiscard]] bool Open(const char* path, const char* mode);
  // Why the last Open failed, without the path.
  const std::string& Error() const { return error; }
  // Whether the last Open failed because there is no such file.
  bool NotFound() const { return notFound; }
  void Close();

  int GetType() const override { return 2; }
  int GetSize() override;
  bool Seek(int offset, int origin) override;
  int Tell() override;
  int Read(void* buffer, int count) override;
  int ReadAll(void* buffer) override;
  int Write(const void* buffer, int count) override;
  bool Flush() override;
  const char* GetPath() const override { return path.c_str(); }
  bool Eof() override;
  bool IsOpen() const override { return handle != nullptr; }

 private:
  std::FILE* handle = nullptr;
  std::string path;
  std::string error;
  bool notFound = false;
};

// A stream over bytes in memory: reads a copy of the given bytes, or collects what is written.
class MemoryStg : public File {
 public:
  MemoryStg() = default;
  MemoryStg(const void* data, size_t size);
  explicit MemoryStg(std::vector<unsigned char> bytes);

  int GetType() const override { return 3; }
  int GetSize() override { return static_cast<int>(bytes.size()); }
  bool Seek(int offset, int origin) override;
  int Tell() override { return static_cast<int>(position); }
  int Read(void* buffer, int count) override;
  int ReadAll(void* buffer) override;
  int Write(const void* buffer, int count) override;
  bool Flush() override { return true; }
  const char* GetPath() const override { return ""; }
  bool Eof() override { return atEnd; }
  bool IsOpen() const override { return true; }

  const std::vector<unsigned char>& Bytes() const { return bytes; }

 private:
  std::vector<unsigned char> bytes;
  size_t position = 0;
  bool atEnd = false;
};

}  // namespace Vell::Data
