#pragma once
// Small text pieces shared by the script makers.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace makeddl::scripts {

// The length of UTF-8 text as the server's len() counts it: characters, trailing blanks not
// counted.
std::size_t sqlLength(std::string_view utf8);

std::string blanks(std::size_t count);

void appendLines(std::vector<std::string>& lines, const std::vector<std::string>& more);

// The script pane's text after a script command appended these lines: each line followed by a
// line break, the last one too.
std::string scriptPaneText(const std::vector<std::string>& lines);

}  // namespace makeddl::scripts
