#include "app/log.h"

#include <cstdarg>
#include <cstdio>

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
  std::printf("%s\n", buffer);
  std::fflush(stdout);
}

}  // namespace Kesh
