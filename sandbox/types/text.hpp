#pragma once
// Text helpers: the server keeps text as UTF-8 and converts at the protocol edge.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sandbox {

using Bytes = std::vector<uint8_t>;

// Case-insensitive comparison as the server collation (Chinese_PRC_CI_AS) sees names.
bool equalsIgnoreCase(std::string_view a, std::string_view b);
std::string toLower(std::string_view text);
std::string toUpper(std::string_view text);
std::string_view trimRightBlanks(std::string_view text);
// Collation comparison: case-insensitive, trailing blanks ignored. Returns <0, 0, >0.
int compareCollated(std::string_view a, std::string_view b);

// Conversions at the protocol edge. Invalid input never throws: unconvertible characters
// become '?', as SQL Server does when a character has no code-page equivalent.
Bytes utf8ToUtf16le(std::string_view utf8);
std::string utf16leToUtf8(const uint8_t* data, size_t size);
Bytes utf8ToCp936(std::string_view utf8);
std::string cp936ToUtf8(const uint8_t* data, size_t size);

// Number of characters (code points) in UTF-8 text.
size_t characterCount(std::string_view utf8);
// The first n characters of UTF-8 text; substring by characters.
std::string utf8Substring(std::string_view utf8, size_t firstChar, size_t count);

}  // namespace sandbox
