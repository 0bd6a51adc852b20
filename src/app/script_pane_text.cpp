#include "app/script_pane_text.h"

#include <algorithm>

#include "codeconv/code_converter.h"

namespace makeddl::app {

namespace {

std::string withCrLf(std::string_view text) {
  std::string result;
  result.reserve(text.size() + text.size() / 16);
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t lineFeed = std::min(text.find('\n', start), text.size());
    result.append(text, start, lineFeed - start);
    if (lineFeed < text.size()) result += "\r\n";
    start = lineFeed + 1;
  }
  return result;
}

// Splits at CR LF, CR or LF and joins with LF, the pane's own line separator.
std::string withLf(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r') {
      result += text[i];
    } else {
      result += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    }
  }
  return result;
}

}  // namespace

std::string paneBytes(const ScriptPaneText& pane) { return encodeFromUtf8(withCrLf(pane.utf8), pane.encoding); }

std::string paneUtf8Bytes(const ScriptPaneText& pane) { return withCrLf(pane.utf8); }

ScriptPaneText paneFromBytes(std::string_view bytes, Encoding encoding) {
  return {withLf(decodeToUtf8(bytes, encoding)), encoding};
}

ScriptPaneText convertGbToBig5(const ScriptPaneText& pane) {
  return paneFromBytes(codeconv::GBToBig5(paneBytes(pane)), Encoding::Big5);
}

ScriptPaneText convertBig5ToGb(const ScriptPaneText& pane) {
  return paneFromBytes(codeconv::Big5ToGB(paneBytes(pane)), Encoding::Gbk);
}

}  // namespace makeddl::app
