#include "engine/relation.hpp"

#include <cstdlib>

namespace sandbox {

namespace {

bool isIntegerKey(const Value& v) {
    switch (v.type().id) {
        case TypeId::TinyInt: case TypeId::SmallInt: case TypeId::Int: case TypeId::BigInt:
            return std::holds_alternative<int64_t>(v.storage());
        default: return false;
    }
}

}  // namespace

const SharedRows::Positions* SharedRows::positionsOf(size_t column) const {
    std::lock_guard guard(mutex_);
    auto found = byColumn_.find(column);
    if (found != byColumn_.end()) return found->second.get();
    auto positions = std::make_unique<Positions>();
    for (size_t r = 0; r < rows_.size() && positions; ++r) {
        const Value& v = rows_[r][column];
        if (v.isNull()) continue;  // NULL equals nothing
        if (!isIntegerKey(v)) positions.reset();
        else (*positions)[v.asInt()].push_back(static_cast<uint32_t>(r));
    }
    return byColumn_.emplace(column, std::move(positions)).first->second.get();
}

const std::vector<uint32_t>* SharedRows::matching(size_t column, int64_t key) const {
    static const std::vector<uint32_t> none;
    const Positions* positions = positionsOf(column);
    if (!positions) return nullptr;
    auto found = positions->find(key);
    return found == positions->end() ? &none : &found->second;
}

std::optional<std::vector<uint32_t>> Relation::lookup(size_t column, const Value& key) const {
    if (!shared || column >= columns.size()) return std::nullopt;
    if (key.isNull()) return std::vector<uint32_t>{};
    if (!isIntegerKey(key)) return std::nullopt;
    const std::vector<uint32_t>* positions = shared->matching(column, key.asInt());
    if (!positions) return std::nullopt;
    return *positions;
}

Relation sharedRelation(std::vector<RelColumn> columns, std::shared_ptr<const SharedRows> rows, std::string name) {
    Relation r;
    r.columns = std::move(columns);
    r.rows = &rows->rows();
    r.shared = std::move(rows);
    r.name = std::move(name);
    return r;
}

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
