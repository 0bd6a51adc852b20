#pragma once
// SQL-like lines mixing ASCII with GB2312 hanzi and symbols, built from a fixed seed so that
// every run measures the same bytes.

#include <array>
#include <random>
#include <string>
#include <string_view>

namespace bench {

constexpr std::array<std::string_view, 12> kAsciiWords = {
    "SELECT ", "name", ", ", "FROM ", "dbo.", "table_", "WHERE ", "id = ", "42", "'",
    "INSERT INTO ", "VALUES ("};

// A GB2312 two-byte character: mostly first-level hanzi, some second-level, some symbols.
inline void AppendGBCharacter(std::string& text, std::mt19937& random) {
  const unsigned pick = random() % 16;
  const unsigned lead = pick < 11 ? 0xB0 + random() % 40    // first level, B0..D7
                        : pick < 15 ? 0xD8 + random() % 32  // second level, D8..F7
                                    : 0xA1;                 // punctuation
  const unsigned trail = 0xA1 + random() % (lead == 0xD7 ? 89 : 94);
  text.push_back(static_cast<char>(lead));
  text.push_back(static_cast<char>(trail));
}

inline std::string BuildMixedText(std::size_t size) {
  std::mt19937 random(1729);
  std::string text;
  text.reserve(size + 64);
  while (text.size() < size) {
    for (unsigned run = random() % 8; run > 0; --run) {
      text += kAsciiWords[random() % kAsciiWords.size()];
    }
    for (unsigned run = 1 + random() % 10; run > 0; --run) {
      AppendGBCharacter(text, random);
    }
    if (random() % 6 == 0) {
      text += "\r\n";
    }
  }
  return text;
}

}  // namespace bench
