#pragma once
// The literals of the date and time types of SQL Server 2008 and later, as those servers send
// them to a TDS 7.1 client: "2024-02-29", "13:45:00.1234567", "2024-02-29 13:45:00.12",
// "2024-02-29 13:45:00.1234567 +08:00" (the fraction with as many digits as the type keeps).

#include "types/sql_type.hpp"

#include <optional>
#include <string>
#include <string_view>

namespace sandbox {

// The literal of a value of the type given as text: a date (yyyy-mm-dd or yyyymmdd), a time
// (hh:mm[:ss[.fffffff]]), both with a blank or T between them, and an offset (+hh:mm, -hh:mm
// or Z) for datetimeoffset. A part the type does not keep is dropped (the time of a date), one
// it needs and lacks is taken as 1900-01-01, midnight or +00:00. The fraction is rounded to
// `digits`. Nothing for text that is no such value or names a day or time that does not exist.
std::optional<std::string> newerDateLiteral(std::string_view text, NewerType kind, int digits);

}  // namespace sandbox
