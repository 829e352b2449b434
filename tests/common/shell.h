// Runs a command line through the shell for tests that drive the real programs as child
// processes: its exit status and everything it printed (standard output and error together).
// Call from the test's own thread.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>

struct ShellResult {
  int status = -1;     // the exit status; -1 when the command was killed or could not start
  std::string output;  // standard output and error together
};

inline ShellResult Shell(const std::string& command) {
  ShellResult result;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) {
    return result;
  }
  char buffer[4096];
  size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
    result.output.append(buffer, n);
  }
  const int status = ::pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

// One shell word of text (which must hold no single quote).
inline std::string Quote(const std::string& text) { return "'" + text + "'"; }
