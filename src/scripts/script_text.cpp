#include "scripts/script_text.h"

namespace makeddl::scripts {

std::size_t sqlLength(std::string_view utf8) {
  const std::size_t end = utf8.find_last_not_of(' ');
  if (end == std::string_view::npos) return 0;
  std::size_t characters = 0;
  for (char byte : utf8.substr(0, end + 1))
    if ((static_cast<unsigned char>(byte) & 0xC0) != 0x80) ++characters;  // not a continuation byte
  return characters;
}

std::string blanks(std::size_t count) { return std::string(count, ' '); }

void appendLines(std::vector<std::string>& lines, const std::vector<std::string>& more) {
  lines.insert(lines.end(), more.begin(), more.end());
}

std::string scriptPaneText(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + '\n';
  return text;
}

}  // namespace makeddl::scripts
