// A byte stream over memory, as a project file hands a song to the player module. Test helper;
// one thread at a time.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "tavro/stream.h"

namespace TavroTest {

class MemoryStream : public Vell::Data::File {
 public:
  explicit MemoryStream(std::vector<uint8_t> data) : bytes(std::move(data)) {}
  int GetType() const override { return 3; }
  int GetSize() override { return static_cast<int>(bytes.size()); }
  bool Seek(int offset, int origin) override {
    const long base = origin == 0 ? 0 : origin == 1 ? static_cast<long>(pos) : GetSize();
    if (origin < 0 || origin > 2 || base + offset < 0 || base + offset > GetSize()) {
      return false;
    }
    pos = static_cast<size_t>(base + offset);
    return true;
  }
  int Tell() override { return static_cast<int>(pos); }
  int Read(void* buffer, int count) override {
    const size_t n = std::min(static_cast<size_t>(count), bytes.size() - pos);
    std::memcpy(buffer, bytes.data() + pos, n);
    pos += n;
    return static_cast<int>(n);
  }
  int ReadAll(void* buffer) override { return Read(buffer, GetSize()); }
  int Write(const void*, int) override { return 0; }
  bool Flush() override { return true; }
  const char* GetPath() const override { return ""; }
  bool Eof() override { return pos >= bytes.size(); }
  bool IsOpen() const override { return true; }

 private:
  std::vector<uint8_t> bytes;
  size_t pos = 0;
};

}  // namespace TavroTest
