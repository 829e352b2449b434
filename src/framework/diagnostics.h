// Where the lower libraries (graphics, artists, data) report problems they recover from, such as
// an image that cannot be read: they cannot reach the program's log, which sits above them, so
// the program may hand them a sink. Any thread may report; set the sink before other threads
// start. Owns nothing.
#pragma once

#include <string>

namespace Vell::Diagnostics {

// Receives one line of text without a line feed.
using Sink = void (*)(const std::string& line);

// Sends later reports to sink; null restores the default, which writes the line and a line feed
// on standard output as the program's log does.
void SetSink(Sink sink);
void Report(const std::string& line);

}  // namespace Vell::Diagnostics
