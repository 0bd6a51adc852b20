#include "engine/relation.hpp"

#include <cstdlib>

namespace sandbox {

std::vector<RelColumn> columnsOf(const Table& table) {
    std::vector<RelColumn> columns;
    columns.reserve(table.columns.size());
    for (const auto& c : table.columns) columns.push_back({c.name, c.type, c.nullable, c.identity});
    return columns;
}

SqlType parseTypeText(std::string_view text) {
    size_t open = text.find('(');
    std::string name(text.substr(0, open));
    if (name == "sysname") return SqlType::sysname();
    TypeId id = typeIdFromName(name).value_or(TypeId::Int);
    if (open == std::string_view::npos) {
        if (id == TypeId::Char || id == TypeId::VarChar || id == TypeId::NChar || id == TypeId::NVarChar ||
            id == TypeId::Binary || id == TypeId::VarBinary)
            return SqlType::chars(id, 1);
        return SqlType::of(id);
    }
    std::string arguments(text.substr(open + 1));
    int first = std::atoi(arguments.c_str());
    size_t comma = arguments.find(',');
    if (id == TypeId::Decimal || id == TypeId::Numeric)
        return SqlType::decimal(first, comma == std::string::npos ? 0 : std::atoi(arguments.c_str() + comma + 1), id);
    return SqlType::chars(id, first);
}

std::vector<RelColumn> describeColumns(std::initializer_list<std::pair<const char*, const char*>> spec) {
    std::vector<RelColumn> columns;
    for (const auto& [name, type] : spec) columns.push_back({name, parseTypeText(type), true, false});
    return columns;
}

}  // namespace sandbox
