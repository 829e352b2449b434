// Keeps ALSA's plugin modules loaded for the whole test process. Opening a sound device through
// PortAudio makes ALSA load and unload its plugins (and their codec libraries); allocations those
// libraries keep in their globals would otherwise be reported by the leak checker as leaks from
// an unknown module once unloaded, which no suppression can name. Loaded once, before main, from
// a static initialiser; owns nothing.
#pragma once

#include <dlfcn.h>

#include <filesystem>
#include <system_error>

namespace TavroTest {

inline bool PinSoundPlugins() {
  std::error_code ec;
  for (const char* dir : {"/usr/lib/x86_64-linux-gnu/alsa-lib", "/usr/lib/alsa-lib"}) {
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
      const std::string name = entry.path().filename().string();
      if (name.rfind("libasound_module_pcm_", 0) == 0 && entry.path().extension() == ".so") {
        dlopen(entry.path().c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
      }
    }
  }
  return true;
}

}  // namespace TavroTest
