#include "types/value_check.hpp"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>

namespace sandbox {
namespace {

template <class T>
bool holds(const Value& v) { return std::holds_alternative<T>(v.storage()); }

std::string inColumn(const SqlType& type) { return " in a " + describe(type) + " column"; }

std::string integerProblem(int64_t n, const SqlType& type) {
    int64_t low = std::numeric_limits<int64_t>::min(), high = std::numeric_limits<int64_t>::max();
    switch (type.id) {
        case TypeId::TinyInt: low = 0; high = 255; break;
        case TypeId::SmallInt: low = -32768; high = 32767; break;
        case TypeId::Int: low = INT32_MIN; high = INT32_MAX; break;
        case TypeId::Bit: low = 0; high = 1; break;
        default: break;
    }
    return n < low || n > high ? "the number " + std::to_string(n) + inColumn(type) : "";
}

std::string decimalProblem(const Decimal& d, const SqlType& type) {
    bool money = type.id == TypeId::Money || type.id == TypeId::SmallMoney;
    int scale = money ? 4 : type.scale;
    if (d.scale != scale) return "a number of scale " + std::to_string(d.scale) + inColumn(type);
    Int128 magnitude = d.unscaled < 0 ? -d.unscaled : d.unscaled;
    Int128 limit = 1;
    if (type.id == TypeId::Money) limit = Int128{std::numeric_limits<int64_t>::max()} + 1;
    else if (type.id == TypeId::SmallMoney) limit = Int128{std::numeric_limits<int32_t>::max()} + 1;
    else for (int i = 0; i < type.precision; ++i) limit *= 10;
    return magnitude >= limit ? "a number beyond the range" + inColumn(type) : "";
}

std::string floatProblem(double d, const SqlType& type) {
    if (!std::isfinite(d)) return "an infinite or undefined number" + inColumn(type);
    if (type.id == TypeId::Real && std::fabs(d) > FLT_MAX) return "a number beyond the range" + inColumn(type);
    return "";
}

std::string dateTimeProblem(const DateTime& d, const SqlType& type) {
    bool small = type.id == TypeId::SmallDateTime;
    int32_t first = small ? 0 : kFirstDateTimeDay, last = small ? kLastSmallDateTimeDay : kLastDateTimeDay;
    if (d.days < first || d.days > last || d.ticks >= kTicksPerDay || (small && d.ticks % kTicksPerMinute != 0))
        return "a date outside the range" + inColumn(type);
    return "";
}

std::string textProblem(const std::string& text, const SqlType& type) {
    // UTF-8 never takes fewer bytes than the text has characters or code page 936 bytes.
    if (isLargeObject(type.id) || text.size() <= static_cast<size_t>(declaredLength(type))) return "";
    size_t length = isUnicode(type.id) ? characterCount(text) : utf8ToCp936(text).size();
    if (length <= static_cast<size_t>(declaredLength(type))) return "";
    return "a text of " + std::to_string(length) + (isUnicode(type.id) ? " characters" : " bytes") + inColumn(type);
}

std::string binaryProblem(const Bytes& bytes, const SqlType& type) {
    if (type.id == TypeId::Timestamp) return bytes.size() == 8 ? "" : "a timestamp of other than 8 bytes";
    if (isLargeObject(type.id) || bytes.size() <= static_cast<size_t>(type.length)) return "";
    return "a value of " + std::to_string(bytes.size()) + " bytes" + inColumn(type);
}

// The storage each type keeps its values in, checked against its range.
std::string nonNullProblem(const Value& v, const SqlType& type) {
    auto wrongKind = [&type] { return "a value of another kind" + inColumn(type); };
    switch (type.id) {
        case TypeId::TinyInt: case TypeId::SmallInt: case TypeId::Int: case TypeId::BigInt: case TypeId::Bit:
            return holds<int64_t>(v) ? integerProblem(v.asInt(), type) : wrongKind();
        case TypeId::Decimal: case TypeId::Numeric: case TypeId::Money: case TypeId::SmallMoney:
            return holds<Decimal>(v) ? decimalProblem(v.asDecimal(), type) : wrongKind();
        case TypeId::Float: case TypeId::Real:
            return holds<double>(v) ? floatProblem(v.asDouble(), type) : wrongKind();
        case TypeId::Char: case TypeId::VarChar: case TypeId::NChar: case TypeId::NVarChar:
        case TypeId::Text: case TypeId::NText:
            return holds<std::string>(v) ? textProblem(v.asText(), type) : wrongKind();
        case TypeId::Binary: case TypeId::VarBinary: case TypeId::Image: case TypeId::Timestamp:
            return holds<Bytes>(v) ? binaryProblem(v.asBytes(), type) : wrongKind();
        case TypeId::DateTime: case TypeId::SmallDateTime:
            return holds<DateTime>(v) ? dateTimeProblem(v.asDateTime(), type) : wrongKind();
        case TypeId::UniqueIdentifier:
            return holds<Guid>(v) ? "" : wrongKind();
        case TypeId::SqlVariant: {
            // A sql_variant keeps its value's own type, which must be one a variant can hold.
            TypeId inner = v.type().id;
            if (inner == TypeId::SqlVariant || isLargeObject(inner) || inner == TypeId::Timestamp ||
                !columnTypeProblem(v.type()).empty())
                return wrongKind();
            return nonNullProblem(v, v.type());
        }
    }
    return wrongKind();
}

}  // namespace

std::string storageProblem(const Value& value, const SqlType& type, bool nullable) {
    if (value.isNull()) return nullable ? "" : "NULL in a NOT NULL column";
    return nonNullProblem(value, type);
}

std::string columnTypeProblem(const SqlType& type) {
    switch (type.id) {
        case TypeId::Char: case TypeId::VarChar: case TypeId::Binary: case TypeId::VarBinary:
            return type.length >= 1 && type.length <= 8000 ? "" : "a length of " + std::to_string(type.length);
        case TypeId::NChar: case TypeId::NVarChar:
            return type.length >= 2 && type.length <= 8000 && type.length % 2 == 0
                       ? "" : "a length of " + std::to_string(type.length) + " bytes";
        case TypeId::Decimal: case TypeId::Numeric:
            return type.precision >= 1 && type.precision <= 38 && type.scale >= 0 && type.scale <= type.precision
                       ? "" : "a precision of " + std::to_string(type.precision) + " and scale of " + std::to_string(type.scale);
        default: return "";
    }
}

}  // namespace sandbox
