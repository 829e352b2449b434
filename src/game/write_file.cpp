#include "game/write_file.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace Kesh::Game {

bool WriteFileReplacing(const std::string& path, const std::vector<unsigned char>& bytes,
                        std::string* why) {
  const std::string temporary = path + ".tmp";
  const auto fail = [&](const char* what) {
    if (why != nullptr) {
      *why = std::string("cannot ") + what + " " + path + ": " + std::strerror(errno);
    }
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    return false;
  };
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  if (file == nullptr) {
    return fail("write");
  }
  const bool written =
      bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const bool flushed = written && std::fflush(file) == 0 && ::fsync(::fileno(file)) == 0;
  if (std::fclose(file) != 0 || !flushed) {
    return fail("write");
  }
  std::error_code error;
  std::filesystem::rename(temporary, path, error);
  if (error) {
    errno = error.value();
    return fail("replace");
  }
  return true;
}

}  // namespace Kesh::Game
