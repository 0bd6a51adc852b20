#pragma once
// Script files: the bytes of the script pane written to a file the user chose.

#include <string>
#include <string_view>

namespace makeddl::scripts {

// Writes the bytes as they are, replacing any file of that name (path in UTF-8). Throws
// std::runtime_error naming the file and the reason when it cannot be written.
void writeScriptFile(const std::string& path, std::string_view bytes);

}  // namespace makeddl::scripts
