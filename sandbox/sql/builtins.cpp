#include "sql/builtins.hpp"

#include "types/text.hpp"

#include <unordered_map>
#include <utility>

namespace sandbox::sql {
namespace {

// Argument counts as SQL Server 2000 accepts them (object_id also takes 2005's second argument).
constexpr BuiltIn kBuiltIns[] = {
    // aggregates
    {"avg", 1, 1}, {"count", 1, 1}, {"max", 1, 1}, {"min", 1, 1}, {"sum", 1, 1},
    // NULL handling
    {"coalesce", 2, kAnyNumberOfArguments}, {"isnull", 2, 2}, {"nullif", 2, 2},
    // the server and the session
    {"app_name", 0, 0}, {"db_id", 0, 1}, {"db_name", 0, 1}, {"getdate", 0, 0}, {"getutcdate", 0, 0},
    {"host_name", 0, 0}, {"newid", 0, 0}, {"serverproperty", 1, 1}, {"suser_name", 0, 1}, {"suser_sname", 0, 1},
    {"user_name", 0, 1},
    // the catalogue
    {"col_name", 2, 2}, {"index_col", 3, 3}, {"object_id", 1, 2}, {"object_name", 1, 1}, {"objectproperty", 2, 2},
    {"type_name", 1, 1}, {"columnproperty", 3, 3}, {"indexkey_property", 4, 4}, {"databasepropertyex", 2, 2},
    {"ident_seed", 1, 1}, {"ident_incr", 1, 1}, {"ident_current", 1, 1},
    {"schema_id", 0, 1}, {"schema_name", 0, 1}, {"object_schema_name", 1, 2},  // SQL Server 2005 on
    // text
    {"ascii", 1, 1}, {"char", 1, 1}, {"charindex", 2, 3}, {"datalength", 1, 1}, {"left", 2, 2}, {"len", 1, 1},
    {"lower", 1, 1}, {"ltrim", 1, 1}, {"nchar", 1, 1}, {"quotename", 1, 2}, {"replace", 3, 3}, {"replicate", 2, 2},
    {"right", 2, 2}, {"rtrim", 1, 1}, {"space", 1, 1}, {"substring", 3, 3}, {"textptr", 1, 1}, {"unicode", 1, 1},
    {"upper", 1, 1},
    // numbers and dates
    {"abs", 1, 1}, {"dateadd", 3, 3}, {"datediff", 3, 3}, {"datename", 2, 2}, {"datepart", 2, 2}, {"day", 1, 1},
    {"isnumeric", 1, 1}, {"month", 1, 1}, {"year", 1, 1},
    // sql_variant
    {"sql_variant_property", 2, 2},
};

constexpr std::pair<std::string_view, DatePart> kDateParts[] = {
    {"year", DatePart::Year},         {"yy", DatePart::Year},          {"yyyy", DatePart::Year},
    {"quarter", DatePart::Quarter},   {"qq", DatePart::Quarter},       {"q", DatePart::Quarter},
    {"month", DatePart::Month},       {"mm", DatePart::Month},         {"m", DatePart::Month},
    {"dayofyear", DatePart::DayOfYear}, {"dy", DatePart::DayOfYear},   {"y", DatePart::DayOfYear},
    {"day", DatePart::Day},           {"dd", DatePart::Day},           {"d", DatePart::Day},
    {"week", DatePart::Week},         {"wk", DatePart::Week},          {"ww", DatePart::Week},
    {"weekday", DatePart::Weekday},   {"dw", DatePart::Weekday},       {"w", DatePart::Weekday},
    {"hour", DatePart::Hour},         {"hh", DatePart::Hour},
    {"minute", DatePart::Minute},     {"mi", DatePart::Minute},        {"n", DatePart::Minute},
    {"second", DatePart::Second},     {"ss", DatePart::Second},        {"s", DatePart::Second},
    {"millisecond", DatePart::Millisecond}, {"ms", DatePart::Millisecond},
};

}  // namespace

std::span<const BuiltIn> builtInFunctions() { return kBuiltIns; }

const BuiltIn* findBuiltIn(std::string_view lowerName) {
    static const std::unordered_map<std::string_view, const BuiltIn*> byName = [] {
        std::unordered_map<std::string_view, const BuiltIn*> map;
        for (const BuiltIn& f : kBuiltIns) map.emplace(f.name, &f);
        return map;
    }();
    auto found = byName.find(lowerName);
    return found == byName.end() ? nullptr : found->second;
}

std::optional<CallRefusal> refuseCall(std::string_view lowerName, int count) {
    const std::string name(lowerName);
    const BuiltIn* f = findBuiltIn(lowerName);
    if (!f) return CallRefusal{195, "'" + name + "' is not a recognized function name."};
    if (count >= f->minArguments && count <= f->maxArguments) return std::nullopt;
    if (f->minArguments == f->maxArguments || f->maxArguments == kAnyNumberOfArguments)
        return CallRefusal{174, "The " + name + " function requires " + std::to_string(f->minArguments) + " argument(s)."};
    return CallRefusal{189, "The " + name + " function requires " + std::to_string(f->minArguments) + " to " +
                                std::to_string(f->maxArguments) + " arguments."};
}

bool takesDatePart(std::string_view lowerFunctionName) {
    return lowerFunctionName == "dateadd" || lowerFunctionName == "datediff" || lowerFunctionName == "datepart" ||
           lowerFunctionName == "datename";
}

std::optional<DatePart> datePartNamed(std::string_view name) {
    for (const auto& [spelling, part] : kDateParts)
        if (equalsIgnoreCase(spelling, name)) return part;
    return std::nullopt;
}

}  // namespace sandbox::sql
