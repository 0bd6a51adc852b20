#pragma once
// The built-in functions and date parts of T-SQL that the sandbox knows. The parser checks every
// call against this list as SQL Server's compiler does (195 for an unknown name, 174 or 189 for
// a wrong number of arguments), so the executor only ever sees calls it can run.

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace sandbox::sql {

struct BuiltIn {
    std::string_view name;  // lower case
    int minArguments;
    int maxArguments;
};

inline constexpr int kAnyNumberOfArguments = 255;  // COALESCE

std::span<const BuiltIn> builtInFunctions();
const BuiltIn* findBuiltIn(std::string_view lowerName);

// Why SQL Server refuses a call of a built-in function: its message number and text.
struct CallRefusal {
    int number;
    std::string text;
};
// The refusal of a call of `lowerName` with `count` arguments: 195 for an unknown function,
// 174 (or 189 where the function takes a range) for a wrong count; nullopt when it is fine.
std::optional<CallRefusal> refuseCall(std::string_view lowerName, int count);

// DATEADD, DATEDIFF, DATEPART and DATENAME take a date part as their first argument, written as
// a keyword (year, yy, yyyy, ...).
enum class DatePart { Year, Quarter, Month, DayOfYear, Day, Week, Weekday, Hour, Minute, Second, Millisecond };

bool takesDatePart(std::string_view lowerFunctionName);
// The part a name or abbreviation stands for, case ignored; nullopt if there is none.
std::optional<DatePart> datePartNamed(std::string_view name);

}  // namespace sandbox::sql
