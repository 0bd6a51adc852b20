#pragma once
// Writes the two code tables as the C++ source file src/codeconv/code_tables.cpp.

#include <filesystem>

#include "choice_rules.h"

namespace makeddl::codetables {

void WriteTableSource(const std::filesystem::path& file, const GBToBig5Array& gb_to_big5,
                      const Big5ToGBArray& big5_to_gb);

}  // namespace makeddl::codetables
