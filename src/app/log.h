// The program's log: printf-style text, cut at 255 characters, handed to the framework's
// diagnostics sink (by default: the line and a line feed on standard output), the same sink the
// lower libraries report to. Any thread may log; the log owns nothing.
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
