#pragma once
// `makeddl convert --gb-to-big5 | --big5-to-gb`: converts the bytes of standard input
// and writes them to standard output, without a window or a display.

#include <iosfwd>
#include <string>
#include <vector>

namespace makeddl::app {

// args are the words after "convert". Returns the process exit code.
int runConvertCommand(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                      std::ostream& err);

}  // namespace makeddl::app
