#include "framework/diagnostics.h"

#include <atomic>
#include <cstdio>
#include <mutex>
#include <set>

namespace Vell::Diagnostics {

namespace {

// As the program's log: a line is cut at 255 characters.
void WriteLine(const std::string& line) {
  std::printf("%.255s\n", line.c_str());
  std::fflush(stdout);
}

std::atomic<Sink> g_sink{&WriteLine};

std::mutex g_warningMutex;
WarningSink g_warningSink;       // under g_warningMutex
std::set<std::string> g_warned;  // under g_warningMutex

}  // namespace

void SetSink(Sink sink) { g_sink.store(sink != nullptr ? sink : &WriteLine); }

void Report(const std::string& line) { g_sink.load()(line); }

void SetWarningSink(WarningSink sink) {
  std::lock_guard lock(g_warningMutex);
  g_warningSink = std::move(sink);
}

void Warn(const std::string& text) {
  WarningSink sink;
  {
    std::lock_guard lock(g_warningMutex);
    if (!g_warned.insert(text).second) {
      return;
    }
    sink = g_warningSink;
  }
  // Outside the lock: the sink may take its time or warn again.
  if (sink) {
    sink(text);
  } else {
    Report(text);
  }
}

}  // namespace Vell::Diagnostics
