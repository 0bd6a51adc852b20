// TEXTPTR and UPDATETEXT, which build long text values piece by piece, and
// SQL_VARIANT_PROPERTY, which tells a sql_variant value's base type.

#include "engine/convert.hpp"
#include "engine/error.hpp"
#include "engine/executor.hpp"

#include <cstring>

namespace sandbox {

using namespace sql;

namespace {

// A text pointer: the table's object id, the column's position and a fingerprint of the
// row's values. SQL Server's pointer names the row's text page; the sandbox's rows have no
// identity of their own, so the pointer finds its row by its values (of two rows that differ
// only in text, ntext or image values, the first). Those values are left out of the
// fingerprint, so that the pointer stays valid while UPDATETEXT changes them.
struct TextPointer {
    int32_t tableId = 0;
    uint32_t column = 0;
    uint64_t fingerprint = 0;
};

constexpr size_t kPointerSize = 16;

uint64_t fingerprint(const Value* values, size_t count) {
    uint64_t hash = 14695981039346656037ull;  // FNV-1a
    auto mix = [&hash](std::string_view bytes) {
        for (unsigned char c : bytes) hash = (hash ^ c) * 1099511628211ull;
    };
    for (size_t i = 0; i < count; ++i) {
        if (isLargeObject(values[i].type().id)) continue;
        mix(values[i].isNull() ? std::string_view("\x01null", 5) : std::string_view("\x02", 1));
        if (!values[i].isNull()) mix(formatValue(values[i]));
    }
    return hash;
}

Value pointerValue(const TextPointer& pointer) {
    Bytes bytes(kPointerSize, 0);
    std::memcpy(bytes.data(), &pointer.tableId, 4);
    std::memcpy(bytes.data() + 4, &pointer.column, 4);
    std::memcpy(bytes.data() + 8, &pointer.fingerprint, 8);
    return Value::binary(std::move(bytes), SqlType::chars(TypeId::VarBinary, 16));
}

std::optional<TextPointer> readPointer(const Value& v) {
    if (v.isNull() || !isBinary(v.type().id) || v.asBytes().size() != kPointerSize) return std::nullopt;
    TextPointer pointer;
    std::memcpy(&pointer.tableId, v.asBytes().data(), 4);
    std::memcpy(&pointer.column, v.asBytes().data() + 4, 4);
    std::memcpy(&pointer.fingerprint, v.asBytes().data() + 8, 8);
    return pointer;
}

SqlError invalidPointer() {
    return SqlError(7123, 16, 1, "Invalid text, ntext, or image pointer value.");
}

SqlError invalidTextArgument(const std::string& function) {
    return SqlError(8116, 16, 1, "Argument data type is invalid for argument 1 of " + function + " function.");
}

// Precision and scale as SQL_VARIANT_PROPERTY gives them for each base type.
std::pair<int64_t, int64_t> precisionAndScale(const SqlType& type) {
    switch (type.id) {
        case TypeId::TinyInt: return {3, 0};
        case TypeId::SmallInt: return {5, 0};
        case TypeId::Int: return {10, 0};
        case TypeId::BigInt: return {19, 0};
        case TypeId::Bit: return {1, 0};
        case TypeId::Real: return {24, 0};
        case TypeId::Float: return {53, 0};
        case TypeId::Money: return {19, 4};
        case TypeId::SmallMoney: return {10, 4};
        case TypeId::DateTime: return {23, 3};
        case TypeId::SmallDateTime: return {16, 0};
        case TypeId::Decimal: case TypeId::Numeric: return {type.precision, type.scale};
        default: return {0, 0};
    }
}

}  // namespace

Value Executor::evalTextPointer(const Expr& e, const Frame& frame) {
    const Expr& column = *e.args[0];
    if (column.kind != ExprKind::Column) throw invalidTextArgument("textptr");
    auto located = locateColumn(column, frame.scope, &frame);
    if (!located) throw errors::invalidColumn(column.names.back());
    const Frame* f = &frame;
    for (int d = 0; d < located->first; ++d) f = f->outer;
    const Scope::Entry* entry = nullptr;
    for (const auto& candidate : f->scope->entries)
        if (located->second >= candidate.offset && located->second < candidate.offset + candidate.columns.size())
            entry = &candidate;
    auto table = !entry ? nullptr : entry->table ? entry->table : findTable(ObjectName{{}, {}, entry->name});
    const size_t position = located->second - (entry ? entry->offset : 0);
    if (!table || position >= table->columns.size() || !isLargeObject(table->columns[position].type.id))
        throw invalidTextArgument("textptr");
    if (!f->row || f->row[located->second].isNull()) return Value::null(SqlType::chars(TypeId::VarBinary, 16));
    return pointerValue({table->id, static_cast<uint32_t>(position),
                         fingerprint(f->row + entry->offset, entry->columns.size())});
}

void Executor::runUpdateText(const UpdateTextStatement& s) {
    auto table = requireTable(s.table);
    std::optional<size_t> column = table->columnIndex(s.column);
    if (!column) throw errors::invalidColumn(s.column);
    std::optional<TextPointer> pointer = readPointer(eval(*s.pointer, Frame{}));
    if (!pointer || pointer->tableId != table->id || pointer->column != *column) throw invalidPointer();
    size_t target = 0;
    while (target < table->rows.size() &&
           fingerprint(table->rows[target].data(), table->rows[target].size()) != pointer->fingerprint)
        ++target;
    if (target == table->rows.size() || table->rows[target][*column].isNull()) throw invalidPointer();

    const std::string& text = table->rows[target][*column].asText();
    const Value offset = eval(*s.offset, Frame{});
    const Value length = eval(*s.length, Frame{});
    const size_t total = characterCount(text);
    const size_t from = offset.isNull() ? total : static_cast<size_t>(std::max<int64_t>(0, toInteger(offset)));
    if (from > total) throw SqlError(7124, 16, 1, "The offset and length specified in the UPDATETEXT statement is greater than the actual data length of " + std::to_string(total) + ".");
    const int64_t removed = length.isNull() ? -1 : toInteger(length);
    Value data = s.data ? eval(*s.data, Frame{}) : Value();
    std::string inserted = data.isNull() ? std::string() : formatValue(data);
    std::string updated = utf8Substring(text, 0, from) + inserted;
    if (removed >= 0 && from + static_cast<size_t>(removed) < total)
        updated += utf8Substring(text, from + static_cast<size_t>(removed), total);
    Row row = table->rows[target];
    row[*column] = Value::text(std::move(updated), table->columns[*column].type);
    changes_.replaceRows(*table, {{target, std::move(row)}});
    done(StatementKind::Other, false, 0);
}

std::optional<Value> Executor::evalVariantFunction(const FunctionCall& call) {
    if (call.expr.name != "sql_variant_property") return std::nullopt;
    if (call.args.size() != 2) throw SqlError(174, 15, 1, "The sql_variant_property function requires 2 argument(s).");
    const Value& value = call.args[0];
    if (value.isNull() || call.args[1].isNull()) return Value::null(SqlType::of(TypeId::SqlVariant));
    const std::string property = toLower(formatValue(call.args[1]));
    const SqlType& type = value.type();
    if (property == "basetype") return Value::nvarchar(std::string(typeName(type.id)));
    if (property == "precision") return Value::integer(precisionAndScale(type).first);
    if (property == "scale") return Value::integer(precisionAndScale(type).second);
    // A type's length is its storage size in bytes (national text included).
    if (property == "maxlength") return Value::integer(type.length);
    if (property == "totalbytes") return Value::integer(type.length + 2);
    if (property == "collation")
        return isCharacter(type.id) ? Value::nvarchar("Chinese_PRC_CI_AS") : Value::null(SqlType::of(TypeId::SqlVariant));
    return Value::null(SqlType::of(TypeId::SqlVariant));
}

}  // namespace sandbox
