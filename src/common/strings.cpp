#include "common/strings.h"

namespace makeddl {

std::string quoted(std::string_view text) {
  std::string result;
  result.reserve(text.size() + 2);
  result += '\'';
  for (char c : text) {
    if (c == '\'') result += '\'';
    result += c;
  }
  result += '\'';
  return result;
}

namespace {
bool isTrimmedByte(char c) { return static_cast<unsigned char>(c) <= 32; }
}  // namespace

std::string trimmed(std::string_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && isTrimmedByte(text[begin])) ++begin;
  while (end > begin && isTrimmedByte(text[end - 1])) --end;
  return std::string(text.substr(begin, end - begin));
}

std::vector<std::string> SplitBySemicolon(std::string_view text) {
  std::vector<std::string> pieces;
  std::size_t start = 0;
  for (std::size_t at = text.find(';'); at != std::string_view::npos; at = text.find(';', start)) {
    pieces.emplace_back(text.substr(start, at - start));
    start = at + 1;
  }
  pieces.emplace_back(text.substr(start));
  return pieces;
}

}  // namespace makeddl
