// Small text helpers shared by the readers: case-insensitive ASCII comparison, the C library's
// lenient number conversions (atoi/atof rules, locale-independent) and Windows-1252 decoding.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace Vell::Text {

bool EqualsIgnoreCase(std::string_view a, std::string_view b);
std::string ToLower(std::string_view text);
std::string_view Trim(std::string_view text);

// atoi rules: leading white space, optional sign, decimal digits up to the first other
// character; no digits gives 0. Values beyond the int range saturate.
int ToInt(std::string_view text);
// atof rules with "." as the decimal separator whatever the locale; no number gives 0.
double ToDouble(std::string_view text);

// The pieces of text between commas; empty pieces are dropped.
std::vector<std::string_view> SplitCommas(std::string_view text);

bool IsValidUtf8(std::string_view text);
// Decodes Windows-1252 bytes to UTF-8 (undefined bytes become U+FFFD).
std::string Windows1252ToUtf8(std::string_view text);
// The text as is when it is valid UTF-8, else decoded from Windows-1252.
std::string ToUtf8(std::string_view text);

}  // namespace Vell::Text
