// The program's log: printf-style text plus a line feed on standard output. A message is cut at
// 255 characters; formatting uses a fixed buffer and allocates nothing.
#pragma once

namespace Kesh {

constexpr int kLogMaxChars = 255;

void Log(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace Kesh
