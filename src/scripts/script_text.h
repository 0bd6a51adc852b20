#pragma once
// Small text pieces shared by the script makers.

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace makeddl::scripts {

// The length of UTF-8 text as the server's len() counts it: characters, trailing blanks not
// counted.
std::size_t sqlLength(std::string_view utf8);

std::string blanks(std::size_t count);

void appendLines(std::vector<std::string>& lines, const std::vector<std::string>& more);

// Comment lines that show a text read from the database: each of its lines after `prefix`
// (which starts with "--"). However the text is made, nothing of it can end the comment.
std::vector<std::string> commentLines(std::string_view prefix, std::string_view text);

// Thrown for a name that no script can carry unchanged.
class UnscriptableName : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// "GO", alone or with a count, as script runners read a line that ends a batch.
bool readsAsBatchSeparator(std::string_view line);

// A name goes into a script in brackets, where a CR LF pair is safe: the pane shows it as a
// line break and saves it as CR LF again. Any other line-breaking character would change on
// the way (a lone CR or LF becomes CR LF), and a line of the name that reads as a batch
// separator (GO) would split the script where script runners split it. Such names throw
// UnscriptableName, which names the name with its control characters spelt out.
void requireScriptableName(std::string_view name);

// The script pane's text after a script command appended these lines: each line followed by a
// line break, the last one too; a CR LF inside a line (a bracketed name's) is the pane's line
// break as well.
std::string scriptPaneText(const std::vector<std::string>& lines);

}  // namespace makeddl::scripts
