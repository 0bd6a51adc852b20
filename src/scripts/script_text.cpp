#include "scripts/script_text.h"

#include <cstdio>

#include "common/strings.h"

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

std::vector<std::string> commentLines(std::string_view prefix, std::string_view text) {
  std::vector<std::string> lines;
  for (const std::string& line : visibleLines(text)) lines.push_back(std::string(prefix) + line);
  return lines;
}

bool readsAsBatchSeparator(std::string_view line) {
  const std::string word = trimmed(line);
  if (word.size() < 2 || !equalsIgnoringCase(word.substr(0, 2), "GO")) return false;
  const std::string rest = trimmed(std::string_view(word).substr(2));
  return rest.find_first_not_of("0123456789") == std::string::npos;
}

namespace {

// The name with its control characters as \r, \n or \xNN, for a message.
std::string spelt(std::string_view name) {
  std::string text;
  for (char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\r') text += "\\r";
    else if (c == '\n') text += "\\n";
    else if (byte < 0x20 || byte == 0x7F) {
      char code[8];
      std::snprintf(code, sizeof code, "\\x%02X", byte);
      text += code;
    } else text += c;
  }
  return text;
}

std::string withoutCrLfPairs(std::string_view text) {
  std::string result;
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (text.substr(at, 2) == "\r\n") ++at;
    else result += text[at];
  }
  return result;
}

}  // namespace

void requireScriptableName(std::string_view name) {
  if (!holdsLineBreakingCharacter(name)) return;
  bool safe = !holdsLineBreakingCharacter(withoutCrLfPairs(name));
  for (const std::string& line : visibleLines(name)) safe = safe && !readsAsBatchSeparator(line);
  if (!safe)
    throw UnscriptableName("名称“" + spelt(name) + "”含有脚本无法原样保存的控制字符，不能生成脚本");
}

std::string scriptPaneText(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) {
    for (std::size_t at = 0; at < line.size(); ++at) {
      if (line.compare(at, 2, "\r\n") == 0) continue;  // its LF follows
      text += line[at];
    }
    text += '\n';
  }
  return text;
}

}  // namespace makeddl::scripts
