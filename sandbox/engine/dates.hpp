#pragma once
// DATEPART, DATENAME, DATEADD and DATEDIFF over SQL Server's datetime, with SQL Server 2000's
// answers (weeks start on Sunday, as with SET DATEFIRST 7 under us_english).

#include "sql/builtins.hpp"
#include "types/value.hpp"

#include <cstdint>
#include <string>

namespace sandbox {

int datePart(sql::DatePart part, const DateTime& value);
// Month and weekday names in English, every other part as its number.
std::string dateName(sql::DatePart part, const DateTime& value);
// `amount` parts later (or earlier); a month that is shorter keeps its last day. Throws 517 when
// the result falls outside datetime's range.
DateTime dateAdd(sql::DatePart part, int64_t amount, const DateTime& value);
// How many boundaries of `part` lie between start and end (negative when end is earlier).
// Throws 535 when the answer does not fit an int.
int64_t dateDiff(sql::DatePart part, const DateTime& start, const DateTime& end);

}  // namespace sandbox
