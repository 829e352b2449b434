// Byte streams: the abstract stream every serialising object reads and writes, a buffered file
// implementation and an in-memory one.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "framework/exception.h"

namespace Vell::Data {

// Abstract byte stream. Counts are bytes; positions are offsets from the start.
class File {
 public:
  virtual int GetType() const = 0;
  virtual ~File() = default;
  virtual int GetSize() = 0;
  // origin: 0 from the start, 1 from the current position, 2 from the end.
  virtual bool Seek(int offset, int origin) = 0;
  virtual int Tell() = 0;
  virtual int Read(void* buffer, int count) = 0;
  // Reads GetSize() bytes from the current position; the buffer must hold that many.
  virtual int ReadAll(void* buffer) = 0;
  virtual int Write(const void* buffer, int count) = 0;
  virtual bool Flush() = 0;
  virtual const char* GetPath() const = 0;
  virtual bool Eof() = 0;
  virtual bool IsOpen() const = 0;

  // Little-endian 32-bit integers, the unit of every serialised record.
  bool WriteInt32(int value);
  bool ReadInt32(int& value);
};

// A file opened with a standard mode string ("rb", "wb", ...).
class FileStg : public File {
 public:
  class NotLoadedException : public Exception {
   public:
    explicit NotLoadedException(std::string path);
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

  // False when a file is already open or the open fails.
  bool Open(const char* path, const char* mode);
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
