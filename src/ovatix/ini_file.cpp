#include "ovatix/ini_file.h"

#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <sstream>

namespace Ovatix {

namespace {

std::string_view Trim(std::string_view s) {
  const char* ws = " \t\r\n\f\v";
  const size_t b = s.find_first_not_of(ws);
  if (b == std::string_view::npos) {
    return {};
  }
  const size_t e = s.find_last_not_of(ws);
  return s.substr(b, e - b + 1);
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (size_t i = 0; i < a.size(); ++i) {
    auto x = static_cast<unsigned char>(a[i]);
    auto y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') {
      x = static_cast<unsigned char>(x + 32);
    }
    if (y >= 'A' && y <= 'Z') {
      y = static_cast<unsigned char>(y + 32);
    }
    if (x != y) {
      return false;
    }
  }
  return true;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c + 32);
    }
  }
  return out;
}

}  // namespace

bool IniFile::Load(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    return false;  // missing, or a folder
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    return false;
  }
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) {
    return false;
  }
  Parse(text);
  return true;
}

void IniFile::Parse(std::string_view text) {
  sections_.clear();
  firstByName_.clear();
  // A UTF-8 byte order mark is not part of the first line.
  if (text.substr(0, 3) == "\xEF\xBB\xBF") {
    text.remove_prefix(3);
  }
  Section* current = nullptr;
  while (!text.empty()) {
    const size_t nl = text.find_first_of("\r\n");
    std::string_view line = Trim(text.substr(0, nl));
    text = nl == std::string_view::npos ? std::string_view{} : text.substr(nl + 1);
    if (line.empty() || line[0] == ';') {
      continue;
    }
    if (line[0] == '[') {
      const size_t close = line.find(']');
      std::string_view name =
          line.substr(1, close == std::string_view::npos ? line.npos : close - 1);
      sections_.push_back(Section{std::string(Trim(name)), {}});
      firstByName_.try_emplace(Lower(sections_.back().name), sections_.size() - 1);
      current = &sections_.back();
      continue;
    }
    const size_t eq = line.find('=');
    if (!current || eq == std::string_view::npos) {
      continue;
    }
    std::string_view key = Trim(line.substr(0, eq));
    std::string_view value = Trim(line.substr(eq + 1));
    // A value enclosed in matching quotes loses them.
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    if (!key.empty()) {
      current->entries.emplace_back(std::string(key), std::string(value));
    }
  }
}

std::vector<std::string> IniFile::Sections() const {
  std::vector<std::string> names;
  names.reserve(sections_.size());
  for (const Section& s : sections_) {
    names.push_back(s.name);
  }
  return names;
}

std::optional<std::string> IniFile::Get(std::string_view section, std::string_view key) const {
  const auto first = firstByName_.find(Lower(section));
  if (first == firstByName_.end()) {
    return std::nullopt;
  }
  for (const auto& [k, v] : sections_[first->second].entries) {
    if (EqualNoCase(k, key)) {
      return v;
    }
  }
  return std::nullopt;
}

float IniFile::GetReal(std::string_view section, std::string_view key, float fallback) const {
  const auto text = Get(section, key);
  if (!text) {
    return fallback;
  }
  const auto value = ParseReal(*text);
  if (!value || std::fabs(*value) > std::numeric_limits<float>::max()) {
    return fallback;
  }
  return static_cast<float>(*value);
}

int32_t IniFile::GetInt(std::string_view section, std::string_view key, int32_t fallback) const {
  const auto text = Get(section, key);
  if (!text) {
    return fallback;
  }
  return ParseInt(*text).value_or(fallback);
}

std::optional<double> ParseReal(std::string_view text) {
  text = Trim(text);
  bool negative = false;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  // Only plain decimal notation with an optional exponent: no "inf", "nan" or hexadecimal.
  if (text.empty() || !((text[0] >= '0' && text[0] <= '9') || text[0] == '.')) {
    return std::nullopt;
  }
  double value = 0;
  auto [end, ec] =
      std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
  if (ec != std::errc() || !std::isfinite(value)) {
    return std::nullopt;
  }
  return negative ? -value : value;
}

std::optional<int32_t> ParseInt(std::string_view text) {
  text = Trim(text);
  bool negative = false;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  } else if (text.size() > 1 && text[0] == '$') {
    base = 16;
    text.remove_prefix(1);
  }
  uint64_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (ec != std::errc() || end == text.data()) {
    return std::nullopt;
  }
  if (base == 16) {
    // Hexadecimal gives the 32-bit pattern: 0xFFFFFFFF is -1.
    if (value > 0xFFFFFFFFull) {
      return std::nullopt;
    }
    auto bits = static_cast<uint32_t>(value);
    if (negative) {
      bits = 0u - bits;
    }
    return static_cast<int32_t>(bits);
  }
  if (value > (negative ? 2147483648ull : 2147483647ull)) {
    return std::nullopt;
  }
  return negative ? static_cast<int32_t>(-static_cast<int64_t>(value))
                  : static_cast<int32_t>(value);
}

}  // namespace Ovatix
