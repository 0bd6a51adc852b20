#pragma once
// T-SQL script files as the usual SQL Server tools read them: batches separated by lines that
// hold only GO.

#include <string>
#include <string_view>
#include <vector>

namespace makeddl::testing {

// The batches of a script, in order: the text between lines that hold only GO (any case, blanks,
// tabs and a CR around it). Batches holding nothing but blank lines are left out.
std::vector<std::string> splitAtGoLines(std::string_view script);

// The batches of a script file; throws std::runtime_error naming a file that cannot be read.
std::vector<std::string> goBatchesOfFile(const std::string& path);

}  // namespace makeddl::testing
