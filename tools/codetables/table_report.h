#pragma once
// A summary of the generated tables, for docs/code-tables.md and for review of a regeneration.

#include <ostream>

#include "choice_rules.h"

namespace makeddl::codetables {

void ReportGBToBig5(std::ostream& out, const GBToBig5Array& table, const Chart& gb2312);
void ReportBig5ToGB(std::ostream& out, const Big5ToGBArray& table);

}  // namespace makeddl::codetables
