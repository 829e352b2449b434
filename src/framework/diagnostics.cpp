#include "framework/diagnostics.h"

#include <atomic>
#include <cstdio>

namespace Vell::Diagnostics {

namespace {

// As the program's log: a line is cut at 255 characters.
void WriteLine(const std::string& line) {
  std::printf("%.255s\n", line.c_str());
  std::fflush(stdout);
}

std::atomic<Sink> g_sink{&WriteLine};

}  // namespace

void SetSink(Sink sink) { g_sink.store(sink != nullptr ? sink : &WriteLine); }

void Report(const std::string& line) { g_sink.load()(line); }

}  // namespace Vell::Diagnostics
