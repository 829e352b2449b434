// The program's log: printf-style text plus a line feed on standard output. A message is cut at
// 255 characters; formatting uses a fixed buffer and allocates nothing (LogException excepted).
// Any thread may log; the log owns nothing.
#pragma once

namespace Vell {
class Exception;
}

namespace Kesh {

constexpr int kLogMaxChars = 255;

void Log(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Logs an exception's message and, when it has one, its detail (the file and the reason):
// "message (detail)".
void LogException(const Vell::Exception& exception);

}  // namespace Kesh
