// Writing user files whole or not at all: the content goes to a temporary file in the target's
// folder, is flushed to disk and renamed over the target, so a failure (full disk, a crash, a
// writer that gives up) never leaves a half-written file and keeps the previous one. Any thread
// may call these; they own nothing beyond the call.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

namespace Vell::Data {

// Fills the open temporary file; returns false (with a reason in why) to abandon the write.
using UserFileWriter = std::function<bool(std::FILE* file, std::string* why)>;

// Runs write on a new temporary file beside path, flushes it to disk and renames it to path.
// A symbolic link is followed: its target is replaced and the link stays. The new file keeps the
// permissions of the file it replaces. A folder or another kind of file (a device, a pipe) is
// refused. On any failure the temporary file is removed, path is left as it was, and why tells
// the file and what went wrong.
[[nodiscard]] bool WriteUserFile(const std::string& path, const UserFileWriter& write,
                                 std::string* why = nullptr);
// The same for bytes already in memory.
[[nodiscard]] bool WriteUserFile(const std::string& path, std::string_view bytes,
                                 std::string* why = nullptr);

}  // namespace Vell::Data
