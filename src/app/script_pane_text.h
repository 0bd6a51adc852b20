#pragma once
// The script pane's text and the 8-bit encoding it stands for: GBK normally, Big5 after
// "简->繁", GBK again after "繁->简". The code conversions work on the pane's bytes in
// that encoding; the result is shown decoded with the new encoding.

#include <string>
#include <string_view>

#include "common/text_codec.h"

namespace makeddl::app {

struct ScriptPaneText {
  std::string utf8;  // lines separated by "\n", as the pane shows them
  Encoding encoding = Encoding::Gbk;
};

// The pane's bytes: its text in its encoding, lines joined with CR LF.
// Throws UnencodableText when the pane holds characters its encoding lacks.
std::string paneBytes(const ScriptPaneText& pane);

// The pane's text as UTF-8, lines joined with CR LF: for text that its encoding cannot hold.
std::string paneUtf8Bytes(const ScriptPaneText& pane);

// The pane text for bytes in an encoding: decoded, lines split at CR LF, CR or LF.
ScriptPaneText paneFromBytes(std::string_view bytes, Encoding encoding);

// "简->繁": the pane's bytes through the GB2312-to-Big5 table; the result stands for Big5.
ScriptPaneText convertGbToBig5(const ScriptPaneText& pane);
// "繁->简": the pane's bytes through the Big5-to-GB2312 table; the result stands for GBK.
ScriptPaneText convertBig5ToGb(const ScriptPaneText& pane);

}  // namespace makeddl::app
