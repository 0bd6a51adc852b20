#pragma once
// `makeddl script create|insert`: the CREATE and INSERT scripts of the window, written to
// standard output without a window or a display, through the same script core.

#include <iosfwd>
#include <string>
#include <vector>

namespace makeddl::app {

// args are the words after "script". Writes the script (GBK, or UTF-8 with --utf8, CR LF line
// ends) to `out`, progress and errors to `err`. Returns the process exit code: 0 done, 1 a
// failure, 2 a usage error.
int runScriptCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace makeddl::app
