#include "app/log.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "framework/diagnostics.h"
#include "framework/exception.h"

namespace Kesh {

void Log(const char* format, ...) {
  if (format == nullptr) {
    return;
  }
  char buffer[kLogMaxChars + 1];
  va_list args;
  va_start(args, format);
  // vsnprintf cuts what does not fit and always terminates the text.
  std::vsnprintf(buffer, sizeof buffer, format,
                 args);  // NOLINT(clang-analyzer-valist.Uninitialized)
  va_end(args);
  // One sink for every layer: the lower libraries report through it too.
  Vell::Diagnostics::Report(std::string(buffer));
}

void LogException(const Vell::Exception& exception) {
  const std::string text = exception.ToString();
  if (exception.Detail().empty()) {
    Log("%s", text.c_str());
  } else {
    Log("%s (%s)", text.c_str(), exception.Detail().c_str());
  }
}

}  // namespace Kesh
