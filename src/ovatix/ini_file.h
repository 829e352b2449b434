// Reader of INI-style files: sections in file order, case-insensitive section and key names.
// One thread at a time; owns the text it read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace Ovatix {

class IniFile {
 public:
  // False when the file cannot be read.
  [[nodiscard]] bool Load(const std::string& path);
  void Parse(std::string_view text);

  // Section names in file order (duplicates included, as written).
  std::vector<std::string> Sections() const;
  // The value of key in the first section named section (both compared without case), or
  // nothing when either is absent.
  std::optional<std::string> Get(std::string_view section, std::string_view key) const;

  float GetReal(std::string_view section, std::string_view key, float fallback) const;
  int32_t GetInt(std::string_view section, std::string_view key, int32_t fallback) const;

 private:
  struct Section {
    std::string name;
    std::vector<std::pair<std::string, std::string>> entries;
  };
  std::vector<Section> sections_;
  // Lower-case section name -> index of the first section of that name, so that a lookup does
  // not walk every section.
  std::unordered_map<std::string, size_t> firstByName_;
};

// Value parsers used by the reader: nothing when the text is empty or not a number.
// Reals always take "." as the decimal separator; integers are decimal, or hexadecimal after
// "0x" or "$". Trailing text after a number is ignored.
std::optional<double> ParseReal(std::string_view text);
std::optional<int32_t> ParseInt(std::string_view text);

}  // namespace Ovatix
