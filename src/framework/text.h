// Small text helpers shared by the readers: case-insensitive ASCII comparison, the C library's
// lenient number conversions (atoi/atof rules, locale-independent); the text encodings come
// from tavro/text_encoding.h.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tavro/text_encoding.h"

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

// The longest start of UTF-8 text of at most maxBytes bytes that does not end inside a
// character.
std::string_view Utf8Prefix(std::string_view text, size_t maxBytes);

// The text as a JSON string, quotes included; text that is not UTF-8 is read as Windows-1252.
std::string JsonString(std::string_view text);

}  // namespace Vell::Text
