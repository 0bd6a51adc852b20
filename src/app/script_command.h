#pragma once
// `makeddl script create|insert`: the CREATE and INSERT scripts of the window, written to
// standard output or a file without a window or a display, through the same script core.

#include <iosfwd>
#include <string>
#include <vector>

namespace makeddl::app {

// args are the words after "script". Writes the script (GBK, or UTF-8 with --utf8, CR LF line
// ends) to `out` as it is made, or to the file of -o once it is complete; the help to `out`;
// progress and errors to `err`. Returns the process exit code (ExitCode).
int runScriptCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace makeddl::app
