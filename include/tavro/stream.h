// The abstract byte stream: what serialising objects read and write, and what the player module's
// OpenStream reads a song from. Header only, so both sides of the module contract share it without
// linking each other. Any thread may use a stream object, one thread at a time; the stream owns
// whatever its implementation holds (a file handle, bytes in memory).
#pragma once

#include <cstdint>

namespace Vell::Data {

// Counts are bytes; positions are offsets from the start.
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
  bool WriteInt32(int value) {
    const auto u = static_cast<uint32_t>(value);
    const unsigned char bytes[4] = {
        static_cast<unsigned char>(u), static_cast<unsigned char>(u >> 8),
        static_cast<unsigned char>(u >> 16), static_cast<unsigned char>(u >> 24)};
    return Write(bytes, 4) == 4;
  }
  bool ReadInt32(int& value) {
    unsigned char bytes[4];
    if (Read(bytes, 4) != 4) {
      return false;
    }
    value = static_cast<int>(
        static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
        (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24));
    return true;
  }
};

}  // namespace Vell::Data
