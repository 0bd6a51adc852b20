#pragma once
// A typed SQL value. Text is UTF-8; it is converted to UCS-2 or code page 936 on the wire.

#include "types/sql_type.hpp"
#include "types/text.hpp"

#include <array>
#include <cstdint>
#include <string>
#include <variant>

namespace sandbox {

using Int128 = __int128;

// SQL Server datetime: days since 1900-01-01 and 1/300-second ticks since midnight.
struct DateTime {
    int32_t days = 0;
    uint32_t ticks = 0;
    auto operator<=>(const DateTime&) const = default;
};

// Exact number: unscaled integer and its scale (also used for money, scale 4).
struct Decimal {
    Int128 unscaled = 0;
    int scale = 0;
};

// The 16 bytes of a uniqueidentifier in the order they are written on the wire.
using Guid = std::array<uint8_t, 16>;

class Value {
public:
    using Storage = std::variant<std::monostate, int64_t, double, Decimal, std::string, Bytes,
                                 DateTime, Guid>;

    Value() = default;  // NULL of type int
    static Value null(SqlType type) { return Value(type, std::monostate{}); }
    static Value integer(int64_t v, TypeId id = TypeId::Int) { return Value(SqlType::of(id), v); }
    static Value bit(bool v) { return Value(SqlType::of(TypeId::Bit), int64_t{v}); }
    static Value floating(double v, TypeId id = TypeId::Float) { return Value(SqlType::of(id), v); }
    static Value decimal(Decimal v, SqlType type) { return Value(type, v); }
    static Value text(std::string v, SqlType type) { return Value(type, std::move(v)); }
    static Value varchar(std::string v);   // varchar sized to the value
    static Value nvarchar(std::string v);  // nvarchar sized to the value
    static Value binary(Bytes v, SqlType type) { return Value(type, std::move(v)); }
    static Value dateTime(DateTime v, TypeId id = TypeId::DateTime) {
        return Value(SqlType::of(id), v);
    }
    static Value guid(Guid v) { return Value(SqlType::of(TypeId::UniqueIdentifier), v); }

    const SqlType& type() const { return type_; }
    void setType(const SqlType& type) { type_ = type; }
    bool isNull() const { return std::holds_alternative<std::monostate>(data_); }

    int64_t asInt() const { return std::get<int64_t>(data_); }
    double asDouble() const { return std::get<double>(data_); }
    const Decimal& asDecimal() const { return std::get<Decimal>(data_); }
    const std::string& asText() const { return std::get<std::string>(data_); }
    const Bytes& asBytes() const { return std::get<Bytes>(data_); }
    const DateTime& asDateTime() const { return std::get<DateTime>(data_); }
    const Guid& asGuid() const { return std::get<Guid>(data_); }
    const Storage& storage() const { return data_; }

private:
    Value(SqlType type, Storage data) : type_(type), data_(std::move(data)) {}
    SqlType type_;
    Storage data_;
};

}  // namespace sandbox
