// Where the lower libraries (graphics, artists, data) report problems they recover from, such as
// an image that cannot be read: they cannot reach the program's log, which sits above them, so
// the program may hand them a sink. Any thread may report; set the sink before other threads
// start. Owns nothing.
#pragma once

#include <functional>
#include <string>

namespace Vell::Diagnostics {

// Receives one line of text without a line feed.
using Sink = void (*)(const std::string& line);

// Sends later reports to sink; null restores the default, which writes the line and a line feed
// on standard output as the program's log does.
void SetSink(Sink sink);
void Report(const std::string& line);

// Problems the user should hear of while the show goes on without what is missing (a settings
// file that cannot be read, crowd sounds that are not there): each distinct text is passed on
// once per process, to the warning sink when one is set (the program shows it), else to Report.
using WarningSink = std::function<void(const std::string& text)>;
void SetWarningSink(WarningSink sink);
void Warn(const std::string& text);

}  // namespace Vell::Diagnostics
