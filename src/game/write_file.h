// Writes a user file so that a failure never leaves it damaged: the bytes go to a temporary file
// beside it, which is flushed, synced and renamed over the old one. Any thread.
#pragma once

#include <string>
#include <vector>

namespace Kesh::Game {

[[nodiscard]] bool WriteFileReplacing(const std::string& path,
                                      const std::vector<unsigned char>& bytes,
                                      std::string* why = nullptr);

}  // namespace Kesh::Game
