// Collection files from outside: the INI reader, its number parsing and the series records.
#include <cstdint>
#include <string_view>

#include "ovatix/collection.h"
#include "ovatix/ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  Ovatix::Collection collection;
  collection.ReadText(text);
  for (const auto& [name, p] : collection.Series()) {
    (void)Ovatix::FileNamePart(p.wavFile);
    (void)collection.Find(name);
  }
  (void)Ovatix::ParseInt(text);
  (void)Ovatix::ParseReal(text);
  return 0;
}
