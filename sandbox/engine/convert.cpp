#include "engine/convert.hpp"

#include "engine/error.hpp"
#include "types/civil_days.hpp"
#include "types/newer_dates.hpp"

#include <gmpxx.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <limits>

namespace sandbox {
namespace {

using Storage = Value::Storage;

template <typename T>
bool holds(const Value& v) { return std::holds_alternative<T>(v.storage()); }

Int128 pow10(int n) {
    Int128 r = 1;
    for (int i = 0; i < n; ++i) r *= 10;
    return r;
}

Int128 rescale(Int128 unscaled, int from, int to) {
    if (to >= from) return unscaled * pow10(to - from);
    Int128 divisor = pow10(from - to);
    Int128 q = unscaled / divisor, r = unscaled % divisor;
    if (r * 2 >= divisor) ++q;  // SQL Server rounds half away from zero
    if (-r * 2 >= divisor) --q;
    return q;
}

std::string int128ToString(Int128 v) {
    if (v == 0) return "0";
    bool negative = v < 0;
    auto magnitude = static_cast<unsigned __int128>(negative ? -v : v);
    std::string digits;
    while (magnitude > 0) { digits += static_cast<char>('0' + static_cast<int>(magnitude % 10)); magnitude /= 10; }
    if (negative) digits += '-';
    return std::string(digits.rbegin(), digits.rend());
}

std::string decimalToString(const Decimal& d) {
    std::string digits = int128ToString(d.unscaled < 0 ? -d.unscaled : d.unscaled);
    if (d.scale > 0) {
        if (digits.size() <= static_cast<size_t>(d.scale)) digits.insert(0, d.scale - digits.size() + 1, '0');
        digits.insert(digits.size() - d.scale, ".");
    }
    return (d.unscaled < 0 ? "-" : "") + digits;
}

std::string floatToString(double v) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.6g", v);
    std::string text = buffer;
    size_t e = text.find('e');
    if (e != std::string::npos) {  // SQL Server writes three exponent digits: 1.23457e+006
        std::string mantissa = text.substr(0, e + 2);
        std::string exponent = text.substr(e + 2);
        while (exponent.size() < 3) exponent.insert(0, "0");
        text = mantissa + exponent;
    }
    return text;
}

const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// A datetime counts its days from 1900-01-01, which is day -25567 since 1970-01-01.
constexpr int64_t kDatetimeFirstDay = -25567;


std::string formatDateTime(const DateTime& dt, int style) {
    int y, mo, d, h, mi, s, ms;
    dateTimeParts(dt, y, mo, d, h, mi, s, ms);
    char buffer[64];
    switch (style) {
        case 120: std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", y, mo, d, h, mi, s); return buffer;
        case 121: case 21: case 25:
            std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d.%03d", y, mo, d, h, mi, s, ms);
            return buffer;
        case 112: std::snprintf(buffer, sizeof buffer, "%04d%02d%02d", y, mo, d); return buffer;
        case 111: std::snprintf(buffer, sizeof buffer, "%04d/%02d/%02d", y, mo, d); return buffer;
        case 101: std::snprintf(buffer, sizeof buffer, "%02d/%02d/%04d", mo, d, y); return buffer;
        case 102: std::snprintf(buffer, sizeof buffer, "%04d.%02d.%02d", y, mo, d); return buffer;
        case 108: case 8: std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", h, mi, s); return buffer;
        case 23: std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", y, mo, d); return buffer;
        default: {
            int hour12 = h % 12 == 0 ? 12 : h % 12;
            std::snprintf(buffer, sizeof buffer, "%s %2d %04d %2d:%02d%s", kMonths[mo - 1], d, y, hour12, mi,
                          h < 12 ? "AM" : "PM");
            return buffer;
        }
    }
}

std::string formatGuid(const Guid& g) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X",
                  g[3], g[2], g[1], g[0], g[5], g[4], g[7], g[6], g[8], g[9], g[10], g[11], g[12], g[13], g[14], g[15]);
    return buffer;
}

SqlError conversionError(const Value& v, const SqlType& target) {
    std::string source(typeName(v.type().id));
    if (isIntegral(target.id) && isCharacter(v.type().id))
        return {245, 16, 1, "Syntax error converting the " + source + " value '" + v.asText() +
                                "' to a column of data type " + std::string(typeName(target.id)) + "."};
    if (isDateTime(target.id))
        return {241, 16, 1, "Syntax error converting datetime from character string."};
    if (target.id == TypeId::UniqueIdentifier)
        return {8169, 16, 2, "Syntax error converting from a character string to uniqueidentifier."};
    return {8114, 16, 5, "Error converting data type " + source + " to " + std::string(typeName(target.id)) + "."};
}

SqlError explicitConversionRefused(const Value& v, const SqlType& target) {
    return {529, 16, 2, "Explicit conversion from data type " + std::string(typeName(v.type().id)) + " to " +
                            std::string(typeName(target.id)) + " is not allowed."};
}

std::string trimBlanks(const std::string& text) {
    size_t b = text.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return "";
    return text.substr(b, text.find_last_not_of(" \t\r\n") - b + 1);
}

// Parses decimal text such as "-12.50" into an unscaled number; false if it is not one.
bool parseDecimalText(const std::string& raw, Decimal& out) {
    std::string text = trimBlanks(raw);
    if (text.empty()) return false;
    size_t i = 0;
    bool negative = false;
    if (text[i] == '+' || text[i] == '-') negative = text[i++] == '-';
    Int128 unscaled = 0;
    int scale = 0, digits = 0;
    bool dot = false;
    for (; i < text.size(); ++i) {
        if (text[i] == '.' && !dot) { dot = true; continue; }
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
        if (digits < 38) unscaled = unscaled * 10 + (text[i] - '0');
        ++digits;
        if (dot) ++scale;
    }
    if (digits == 0) return false;
    out = {negative ? -unscaled : unscaled, scale};
    return true;
}

bool parseDateTimeText(const std::string& raw, DateTime& out) {
    std::string text = trimBlanks(raw);
    int y = 1900, mo = 1, d = 1, h = 0, mi = 0, s = 0, ms = 0;
    char sep1 = 0, sep2 = 0;
    int consumed = 0;
    if (text.empty()) { out = {0, 0}; return true; }
    if (text.size() >= 8 && std::all_of(text.begin(), text.begin() + 8, ::isdigit) &&
        (text.size() == 8 || text[8] == ' ')) {
        std::sscanf(text.c_str(), "%4d%2d%2d%n", &y, &mo, &d, &consumed);
    } else if (std::sscanf(text.c_str(), "%d%c%d%c%d%n", &y, &sep1, &mo, &sep2, &d, &consumed) == 5 &&
               sep1 == sep2 && (sep1 == '-' || sep1 == '/' || sep1 == '.')) {
        if (y < 100 && d > 31) std::swap(y, d), std::swap(y, mo);  // mm/dd/yyyy
        else if (y <= 12 && d > 31) { int month = y; y = d; d = mo; mo = month; }
    } else {
        return false;
    }
    std::string rest = trimBlanks(text.substr(static_cast<size_t>(consumed)));
    if (!rest.empty() && rest[0] == 'T') rest = rest.substr(1);
    if (!rest.empty()) {
        int n = std::sscanf(rest.c_str(), "%d:%d:%d.%d", &h, &mi, &s, &ms);
        if (n < 2) return false;
        size_t dotAt = rest.find('.');
        if (n == 4 && dotAt != std::string::npos) {
            size_t digits = rest.find_first_not_of("0123456789", dotAt + 1);
            digits = (digits == std::string::npos ? rest.size() : digits) - dotAt - 1;
            for (size_t i = digits; i < 3; ++i) ms *= 10;
        }
        if (rest.find("PM") != std::string::npos && h < 12) h += 12;
        if (rest.find("AM") != std::string::npos && h == 12) h = 0;
    }
    if (y < 1753 || y > 9999 || mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 59) return false;
    out = dateTimeFromParts(y, mo, d, h, mi, s, ms);
    return true;
}

int64_t integerRange(TypeId id, bool max) {
    switch (id) {
        case TypeId::TinyInt: return max ? 255 : 0;
        case TypeId::SmallInt: return max ? 32767 : -32768;
        case TypeId::Int: return max ? 2147483647LL : -2147483648LL;
        case TypeId::Bit: return max ? 1 : 0;
        default: return max ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
    }
}

// The precision and scale an integer or money operand brings into decimal arithmetic.
SqlType asDecimalType(const SqlType& t) {
    switch (t.id) {
        case TypeId::Bit: return SqlType::decimal(1, 0);
        case TypeId::TinyInt: return SqlType::decimal(3, 0);
        case TypeId::SmallInt: return SqlType::decimal(5, 0);
        case TypeId::Int: return SqlType::decimal(10, 0);
        case TypeId::BigInt: return SqlType::decimal(19, 0);
        case TypeId::SmallMoney: return SqlType::decimal(10, 4);
        case TypeId::Money: return SqlType::decimal(19, 4);
        default: return t;
    }
}

Value toIntegerType(const Value& v, const SqlType& target) {
    Int128 n;
    if (holds<int64_t>(v)) n = v.asInt();
    else if (holds<double>(v)) {
        double d = std::trunc(v.asDouble());
        if (!std::isfinite(d) || std::fabs(d) > 1e30) throw errors::overflow(std::string(typeName(target.id)));
        n = static_cast<Int128>(d);
    }
    else if (holds<Decimal>(v)) n = v.asDecimal().unscaled / pow10(v.asDecimal().scale);
    else if (holds<std::string>(v)) {
        Decimal d;
        std::string text = trimBlanks(v.asText());
        if (!parseDecimalText(text, d) || d.scale > 0 || text.find('.') != std::string::npos) throw conversionError(v, target);
        n = d.unscaled;
    } else if (holds<Bytes>(v)) {
        n = 0;
        for (uint8_t b : v.asBytes()) n = (n << 8) | b;
    } else {
        throw explicitConversionRefused(v, target);
    }
    if (target.id == TypeId::Bit) return Value::bit(n != 0);
    if (n < integerRange(target.id, false) || n > integerRange(target.id, true)) throw errors::overflow(std::string(typeName(target.id)));
    return Value::integer(static_cast<int64_t>(n), target.id);
}

Value toDecimalType(const Value& v, const SqlType& target) {
    Decimal d;
    if (holds<int64_t>(v)) d = {v.asInt(), 0};
    else if (holds<Decimal>(v)) d = v.asDecimal();
    else if (holds<double>(v)) {
        double scaled = v.asDouble() * std::pow(10.0, target.scale);
        if (!std::isfinite(scaled) || std::fabs(scaled) >= 1e38) throw errors::overflow(std::string(typeName(target.id)));
        d = {static_cast<Int128>(std::round(scaled)), target.scale};
    }
    else if (holds<std::string>(v)) {
        if (!parseDecimalText(v.asText(), d)) throw conversionError(v, target);
    } else {
        throw explicitConversionRefused(v, target);
    }
    Int128 unscaled = rescale(d.unscaled, d.scale, target.scale);
    int precision = target.id == TypeId::Money ? 19 : target.id == TypeId::SmallMoney ? 10 : target.precision;
    if ((unscaled < 0 ? -unscaled : unscaled) >= pow10(precision))
        throw errors::overflow(std::string(typeName(target.id)));
    return Value::decimal({unscaled, target.scale}, target);
}

Value toFloatType(const Value& v, const SqlType& target) {
    if (holds<std::string>(v)) {
        std::string text = trimBlanks(v.asText());
        char* end = nullptr;
        double d = std::strtod(text.c_str(), &end);
        if (text.empty() || *end != '\0') throw conversionError(v, target);
        return Value::floating(d, target.id);
    }
    if (holds<DateTime>(v)) return Value::floating(v.asDateTime().days + v.asDateTime().ticks / 25920000.0, target.id);
    if (!holds<int64_t>(v) && !holds<double>(v) && !holds<Decimal>(v)) throw explicitConversionRefused(v, target);
    double d = toDouble(v);
    if (target.id == TypeId::Real) d = static_cast<float>(d);
    return Value::floating(d, target.id);
}

Value toDateTimeType(const Value& v, const SqlType& target) {
    DateTime dt;
    if (holds<DateTime>(v)) dt = v.asDateTime();
    else if (holds<std::string>(v)) {
        if (!parseDateTimeText(v.asText(), dt)) throw conversionError(v, target);
    } else if (holds<int64_t>(v) || holds<Decimal>(v) || holds<double>(v)) {
        double days = toDouble(v);
        dt.days = static_cast<int32_t>(std::floor(days));
        dt.ticks = static_cast<uint32_t>(std::llround((days - dt.days) * 25920000.0));
    } else {
        throw explicitConversionRefused(v, target);
    }
    if (target.id == TypeId::SmallDateTime) {
        uint32_t minutes = (dt.ticks + 30 * 300 - 1) / (60 * 300);
        if (dt.ticks % (60 * 300) < 30 * 300) minutes = dt.ticks / (60 * 300);
        dt.ticks = minutes * 60 * 300;
        if (dt.ticks >= 25920000u) { ++dt.days; dt.ticks = 0; }
    }
    return Value::dateTime(dt, target.id);
}

bool fitsCharacters(const std::string& text, const SqlType& target) {
    if (isLargeObject(target.id)) return true;
    // A character takes at least as many bytes in UTF-8 as in code page 936, and at least one.
    size_t limit = static_cast<size_t>(isUnicode(target.id) ? declaredLength(target) : target.length);
    if (text.size() <= limit) return true;
    if (isUnicode(target.id)) return characterCount(text) <= limit;
    return utf8ToCp936(text).size() <= limit;
}

}  // namespace

std::string cutToLength(const std::string& text, const SqlType& target) {
    size_t limit = static_cast<size_t>(isUnicode(target.id) ? declaredLength(target) : target.length);
    if (isLargeObject(target.id) || text.size() <= limit) return text;
    if (std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return text.substr(0, limit);
    if (fitsCharacters(text, target)) return text;
    // The longest prefix that fits, found by halving; it has at most `limit` characters.
    std::string candidate = utf8Substring(text, 0, limit);
    size_t fits = 0, tooLong = characterCount(candidate) + 1;
    while (tooLong - fits > 1) {
        size_t middle = fits + (tooLong - fits) / 2;
        (fitsCharacters(utf8Substring(candidate, 0, middle), target) ? fits : tooLong) = middle;
    }
    return utf8Substring(candidate, 0, fits);
}

namespace {

Value toCharacterType(const Value& v, const SqlType& target, int style, bool assignment) {
    std::string text;
    if (holds<Bytes>(v) && !isUnicode(target.id)) {
        text = cp936ToUtf8(v.asBytes().data(), v.asBytes().size());
    } else {
        text = formatValue(v, style);
    }
    if (!fitsCharacters(text, target)) {
        bool integral = isIntegral(v.type().id) && v.type().id != TypeId::Bit;
        if (integral && !isUnicode(target.id)) text = "*";
        else if (integral || isNumeric(v.type().id)) throw errors::overflow(std::string(typeName(target.id)));
        else if (assignment) throw SqlError(8152, 16, 9, "String or binary data would be truncated.", false);
        else text = cutToLength(text, target);
    }
    if (target.id == TypeId::Char || target.id == TypeId::NChar) {
        size_t have = isUnicode(target.id) ? characterCount(text) : utf8ToCp936(text).size();
        size_t want = static_cast<size_t>(declaredLength(target));
        if (have < want) text.append(want - have, ' ');
    }
    return Value::text(std::move(text), target);
}

Value toBinaryType(const Value& v, const SqlType& target, bool assignment) {
    Bytes bytes;
    if (holds<Bytes>(v)) bytes = v.asBytes();
    else if (holds<std::string>(v)) bytes = isUnicode(v.type().id) ? utf8ToUtf16le(v.asText()) : utf8ToCp936(v.asText());
    else if (holds<int64_t>(v)) {
        int size = std::max(1, SqlType::of(v.type().id).length);
        for (int i = size - 1; i >= 0; --i) bytes.push_back(static_cast<uint8_t>(v.asInt() >> (8 * i)));
    } else if (holds<Guid>(v)) bytes.assign(v.asGuid().begin(), v.asGuid().end());
    else throw explicitConversionRefused(v, target);
    if (!isLargeObject(target.id) && bytes.size() > static_cast<size_t>(target.length)) {
        if (assignment) throw SqlError(8152, 16, 9, "String or binary data would be truncated.", false);
        bytes.resize(target.length);
    }
    if (target.id == TypeId::Binary) bytes.resize(target.length, 0);
    return Value::binary(std::move(bytes), target);
}

Value toGuidType(const Value& v, const SqlType& target) {
    if (holds<Guid>(v)) return v;
    if (!holds<std::string>(v)) throw explicitConversionRefused(v, target);
    std::string text = trimBlanks(v.asText());
    if (!text.empty() && text.front() == '{') text = text.substr(1, text.size() - 2);
    unsigned p[16];
    if (text.size() != 36 ||
        std::sscanf(text.c_str(), "%2x%2x%2x%2x-%2x%2x-%2x%2x-%2x%2x-%2x%2x%2x%2x%2x%2x", &p[3], &p[2], &p[1], &p[0],
                    &p[5], &p[4], &p[7], &p[6], &p[8], &p[9], &p[10], &p[11], &p[12], &p[13], &p[14], &p[15]) != 16)
        throw conversionError(v, target);
    Guid g;
    for (int i = 0; i < 16; ++i) g[i] = static_cast<uint8_t>(p[i]);
    return Value::guid(g);
}

// A date or time of SQL Server 2008 and later, kept as its literal: from a datetime or from text.
Value toNewerDateTimeType(const Value& v, const SqlType& target) {
    if (!holds<DateTime>(v) && !isCharacter(v.type().id))
        throw SqlError(529, 16, 2, "Explicit conversion from data type " + describe(v.type()) + " to " +
                                       describe(target) + " is not allowed.");
    const std::string text = holds<DateTime>(v) ? formatDateTime(v.asDateTime(), 121) : formatValue(v);
    std::optional<std::string> literal = newerDateLiteral(text, target.newer, target.scale);
    if (!literal) throw SqlError(241, 16, 1, "Conversion failed when converting date and/or time from character string.");
    return Value::text(*literal, target);
}

Value convertImpl(const Value& v, const SqlType& target, int style, bool assignment) {
    if (v.isNull()) return Value::null(target);
    if (target.id == TypeId::SqlVariant) return v;
    if (v.type() == target && !(assignment && isCharacter(target.id))) return v;
    if (isNewerDateTime(target.newer)) return toNewerDateTimeType(v, target);
    if (isIntegral(target.id)) return toIntegerType(v, target);
    if (target.id == TypeId::Decimal || target.id == TypeId::Numeric || target.id == TypeId::Money ||
        target.id == TypeId::SmallMoney)
        return toDecimalType(v, target);
    if (target.id == TypeId::Float || target.id == TypeId::Real) return toFloatType(v, target);
    if (isDateTime(target.id)) return toDateTimeType(v, target);
    if (isCharacter(target.id)) return toCharacterType(v, target, style, assignment);
    if (isBinary(target.id)) return toBinaryType(v, target, assignment);
    return toGuidType(v, target);
}

}  // namespace

Value convertValue(const Value& value, const SqlType& target, int style) {
    return convertImpl(value, target, style, false);
}

Value assignValue(const Value& value, const SqlType& target) { return convertImpl(value, target, 0, true); }

std::string formatValue(const Value& v, int style) {
    const Storage& s = v.storage();
    if (v.isNull()) return "";
    if (holds<std::string>(v)) return v.asText();
    if (holds<int64_t>(v)) return std::to_string(v.asInt());
    if (holds<double>(v)) return floatToString(v.asDouble());
    if (holds<Decimal>(v)) {
        bool money = v.type().id == TypeId::Money || v.type().id == TypeId::SmallMoney;
        if (money && style == 0) return decimalToString({rescale(v.asDecimal().unscaled, v.asDecimal().scale, 2), 2});
        return decimalToString(v.asDecimal());
    }
    if (holds<DateTime>(v)) return formatDateTime(v.asDateTime(), style);
    if (holds<Guid>(v)) return formatGuid(v.asGuid());
    const Bytes& bytes = std::get<Bytes>(s);
    return cp936ToUtf8(bytes.data(), bytes.size());
}

SqlType concatenationType(const SqlType& a, const SqlType& b) {
    bool unicode = isUnicode(a.id) || isUnicode(b.id);
    return SqlType::chars(unicode ? TypeId::NVarChar : TypeId::VarChar,
                          std::min(unicode ? 4000 : 8000, declaredLength(a) + declaredLength(b)));
}

SqlType decimalResultType(char op, const SqlType& a, const SqlType& b) {
    SqlType x = asDecimalType(a), y = asDecimalType(b);
    int integral = 0, scale = 0;
    if (op == '+' || op == '-') {
        integral = std::max(x.precision - x.scale, y.precision - y.scale) + 1;
        scale = std::max(x.scale, y.scale);
        // Past 38 digits the integral part keeps its room (less the carry digit) and the scale
        // gives way.
        if (integral + scale > 38) return SqlType::decimal(38, std::max(0, std::min(scale, 39 - integral)));
    } else {
        scale = op == '*' ? x.scale + y.scale : std::max(6, x.scale + y.precision + 1);
        integral = op == '*' ? x.precision - x.scale + y.precision - y.scale + 1 : x.precision - x.scale + y.scale;
        // Past 38 digits the scale gives way to the integral part, but keeps 6 digits when the
        // integral part needs more than 32.
        if (integral + scale > 38) return SqlType::decimal(38, integral < 32 ? std::min(scale, 38 - integral) : std::min(scale, 6));
    }
    return SqlType::decimal(integral + scale, scale);
}

SqlType commonType(const SqlType& a, const SqlType& b) {
    const SqlType& winner = precedence(a.id) >= precedence(b.id) ? a : b;
    const SqlType& other = &winner == &a ? b : a;
    if ((winner.id == TypeId::Decimal || winner.id == TypeId::Numeric) && isExactNumeric(other.id)) {
        int otherPrecision = isIntegral(other.id) ? (other.id == TypeId::BigInt ? 19 : 10) : other.precision;
        int scale = std::max(winner.scale, other.scale);
        int integerDigits = std::max(winner.precision - winner.scale, otherPrecision - other.scale);
        return SqlType::decimal(std::min(38, integerDigits + scale), scale, winner.id);
    }
    if (isCharacter(winner.id) && isCharacter(other.id)) {
        SqlType t = winner;
        t.length = std::max(declaredLength(a), declaredLength(b)) * (isUnicode(t.id) ? 2 : 1);
        return t;
    }
    return winner;
}

int compareValues(const Value& a, const Value& b) {
    bool textA = holds<std::string>(a), textB = holds<std::string>(b);
    if (textA && textB) return compareCollated(a.asText(), b.asText());
    SqlType common = commonType(a.type(), b.type());
    if (isCharacter(common.id)) common = SqlType::chars(TypeId::NVarChar, 4000);
    Value x = convertValue(a, common), y = convertValue(b, common);
    if (holds<std::string>(x)) return compareCollated(x.asText(), y.asText());
    if (holds<int64_t>(x)) return x.asInt() < y.asInt() ? -1 : x.asInt() > y.asInt();
    if (holds<double>(x)) return x.asDouble() < y.asDouble() ? -1 : x.asDouble() > y.asDouble();
    if (holds<Decimal>(x)) {
        int scale = std::max(x.asDecimal().scale, y.asDecimal().scale);
        Int128 p = rescale(x.asDecimal().unscaled, x.asDecimal().scale, scale);
        Int128 q = rescale(y.asDecimal().unscaled, y.asDecimal().scale, scale);
        return p < q ? -1 : p > q;
    }
    if (holds<DateTime>(x)) return x.asDateTime() < y.asDateTime() ? -1 : x.asDateTime() > y.asDateTime();
    if (holds<Guid>(x)) return x.asGuid() < y.asGuid() ? -1 : x.asGuid() > y.asGuid();
    if (holds<Bytes>(x)) return x.asBytes() < y.asBytes() ? -1 : x.asBytes() > y.asBytes();
    return 0;
}

bool valuesEqual(const Value& a, const Value& b) {
    return !a.isNull() && !b.isNull() && compareValues(a, b) == 0;
}

double toDouble(const Value& v) {
    if (holds<double>(v)) return v.asDouble();
    if (holds<int64_t>(v)) return static_cast<double>(v.asInt());
    if (holds<Decimal>(v)) return static_cast<double>(v.asDecimal().unscaled) / std::pow(10.0, v.asDecimal().scale);
    return convertValue(v, SqlType::of(TypeId::Float)).asDouble();
}

int64_t toInteger(const Value& v) {
    if (holds<int64_t>(v)) return v.asInt();
    return convertValue(v, SqlType::of(TypeId::BigInt)).asInt();
}

bool isTruthyNumber(const Value& v) { return !v.isNull() && toDouble(v) != 0.0; }

namespace {

Value integerArithmetic(char op, int64_t x, int64_t y, TypeId id) {
    Int128 r;
    switch (op) {
        case '+': r = Int128(x) + y; break;
        case '-': r = Int128(x) - y; break;
        case '*': r = Int128(x) * y; break;
        case '/': if (y == 0) throw errors::divideByZero(); r = Int128(x) / y; break;  // wide: INT64_MIN / -1
        case '%': if (y == 0) throw errors::divideByZero(); r = Int128(x) % y; break;
        case '&': r = x & y; break;
        case '|': r = x | y; break;
        default: r = x ^ y; break;
    }
    if (id == TypeId::Bit || id == TypeId::TinyInt) id = (op == '&' || op == '|' || op == '^') ? id : TypeId::Int;
    if (r < integerRange(id, false) || r > integerRange(id, true)) throw errors::overflow(std::string(typeName(id)));
    return Value::integer(static_cast<int64_t>(r), id);
}

// Exact numbers wider than 128 bits: a product or a scaled dividend of two 38-digit numbers
// needs up to 115 digits before it is rounded to the result's scale.
mpz_class wide(Int128 v) {
    auto magnitude = static_cast<unsigned __int128>(v < 0 ? -v : v);
    const uint64_t words[2] = {static_cast<uint64_t>(magnitude), static_cast<uint64_t>(magnitude >> 64)};
    mpz_class result;
    mpz_import(result.get_mpz_t(), 2, -1, sizeof(uint64_t), 0, 0, words);
    return v < 0 ? mpz_class(-result) : result;
}

// Back to 128 bits; the caller has checked that the value has at most 38 digits.
Int128 narrow(const mpz_class& v) {
    uint64_t words[2] = {0, 0};
    mpz_export(words, nullptr, -1, sizeof(uint64_t), 0, 0, v.get_mpz_t());
    auto magnitude = static_cast<Int128>((static_cast<unsigned __int128>(words[1]) << 64) | words[0]);
    return sgn(v) < 0 ? -magnitude : magnitude;
}

mpz_class widePow10(int n) {
    mpz_class result;
    mpz_ui_pow_ui(result.get_mpz_t(), 10, static_cast<unsigned long>(n));
    return result;
}

// n / d, truncated toward zero or rounded half away from zero.
mpz_class divideWide(const mpz_class& n, const mpz_class& d, bool round) {
    mpz_class quotient, remainder;
    mpz_tdiv_qr(quotient.get_mpz_t(), remainder.get_mpz_t(), n.get_mpz_t(), d.get_mpz_t());
    if (round && 2 * abs(remainder) >= abs(d)) quotient += sgn(n) * sgn(d);
    return quotient;
}

// An unscaled value moved from one scale to another; SQL Server rounds where digits go.
mpz_class rescaleWide(const mpz_class& v, int from, int to) {
    return to >= from ? mpz_class(v * widePow10(to - from)) : divideWide(v, widePow10(from - to), true);
}

Value decimalArithmetic(char op, const Value& a, const Value& b, const SqlType& common) {
    if (op != '+' && op != '-' && op != '*' && op != '/')
        throw SqlError(8117, 16, 1, "Operand data type " + std::string(typeName(common.id)) + " is invalid for " +
                                        std::string(op == '%' ? "modulo" : "bitwise") + " operator.");
    SqlType ta = asDecimalType(a.type()), tb = asDecimalType(b.type());
    SqlType type = decimalResultType(op, ta, tb);
    Decimal x = convertValue(a, SqlType::decimal(38, ta.scale)).asDecimal();
    Decimal y = convertValue(b, SqlType::decimal(38, tb.scale)).asDecimal();
    mpz_class p = wide(x.unscaled), q = wide(y.unscaled), r;
    if (op == '+' || op == '-') {
        int scale = std::max(x.scale, y.scale);
        p = rescaleWide(p, x.scale, scale);
        q = rescaleWide(q, y.scale, scale);
        r = rescaleWide(op == '+' ? mpz_class(p + q) : mpz_class(p - q), scale, type.scale);
    } else if (op == '*') {
        r = rescaleWide(p * q, x.scale + y.scale, type.scale);
    } else {
        if (y.unscaled == 0) throw errors::divideByZero();
        // SQL Server cuts a quotient off at the result's scale rather than rounding it.
        int shift = type.scale + y.scale - x.scale;
        r = divideWide(shift >= 0 ? mpz_class(p * widePow10(shift)) : p,
                       shift >= 0 ? q : mpz_class(q * widePow10(-shift)), false);
    }
    if (abs(r) >= widePow10(type.precision)) throw errors::overflow("numeric");
    Value result = Value::decimal({narrow(r), type.scale}, type);
    bool money = common.id == TypeId::Money || common.id == TypeId::SmallMoney;
    return money ? convertValue(result, common) : result;
}

}  // namespace

Value arithmetic(char op, const Value& a, const Value& b) {
    SqlType common = commonType(a.type(), b.type());
    if (a.isNull() || b.isNull()) return Value::null(common);
    if (op == '+' && isCharacter(common.id)) {
        // The joined string ends at 8,000 bytes (4,000 characters), as in SQL Server 2000.
        SqlType type = concatenationType(a.type(), b.type());
        SqlType limit = SqlType::chars(type.id, isUnicode(type.id) ? 4000 : 8000);
        return Value::text(cutToLength(formatValue(a) + formatValue(b), limit), type);
    }
    if (isDateTime(common.id) && (op == '+' || op == '-')) {
        double days = toDouble(convertValue(a, SqlType::of(TypeId::Float)));
        double delta = toDouble(convertValue(b, SqlType::of(TypeId::Float)));
        return convertValue(Value::floating(op == '+' ? days + delta : days - delta), common);
    }
    if (isCharacter(common.id) || isBinary(common.id) || common.id == TypeId::UniqueIdentifier)
        throw SqlError(403, 16, 1, "Invalid operator for data type. Operator equals " + std::string(1, op) +
                                       ", type equals " + std::string(typeName(common.id)) + ".");
    if (common.id == TypeId::Float || common.id == TypeId::Real) {
        double x = toDouble(a), y = toDouble(b);
        if ((op == '/' || op == '%') && y == 0) throw errors::divideByZero();
        if (op == '%' || op == '&' || op == '|' || op == '^')
            throw SqlError(8117, 16, 1, "Operand data type float is invalid for this operator.");
        double r = op == '+' ? x + y : op == '-' ? x - y : op == '*' ? x * y : x / y;
        return Value::floating(r, TypeId::Float);
    }
    if (isIntegral(common.id)) {
        TypeId id = (op == '&' || op == '|' || op == '^') && (a.type().id == b.type().id) ? a.type().id : common.id;
        return integerArithmetic(op, toInteger(a), toInteger(b), id);
    }
    if (op == '&' || op == '|' || op == '^') {
        // binary & int: 0x800 style masks against integer columns
        return integerArithmetic(op, toInteger(a), toInteger(b), TypeId::BigInt);
    }
    return decimalArithmetic(op, a, b, common);
}

Value negate(const Value& a) {
    if (a.isNull()) return a;
    if (holds<int64_t>(a)) return integerArithmetic('-', 0, a.asInt(), a.type().id == TypeId::BigInt ? TypeId::BigInt : TypeId::Int);
    if (holds<double>(a)) return Value::floating(-a.asDouble(), a.type().id);
    if (holds<Decimal>(a)) return Value::decimal({-a.asDecimal().unscaled, a.asDecimal().scale}, a.type());
    throw SqlError(8117, 16, 1, "Operand data type " + std::string(typeName(a.type().id)) + " is invalid for minus operator.");
}

Value bitwiseNot(const Value& a) {
    if (a.isNull()) return a;
    if (!holds<int64_t>(a)) throw SqlError(8117, 16, 1, "Operand data type " + std::string(typeName(a.type().id)) + " is invalid for '~' operator.");
    if (a.type().id == TypeId::Bit) return Value::bit(a.asInt() == 0);
    if (a.type().id == TypeId::TinyInt) return Value::integer(~a.asInt() & 0xFF, TypeId::TinyInt);
    return Value::integer(~a.asInt(), a.type().id);
}

DateTime dateTimeFromParts(int year, int month, int day, int hour, int minute, int second, int millisecond) {
    DateTime dt;
    dt.days = static_cast<int32_t>(daysFromCivil(year, month, day) - kDatetimeFirstDay);
    // Milliseconds round to the 1/300-second tick (.000, .003, .007).
    dt.ticks = static_cast<uint32_t>((hour * 3600 + minute * 60 + second) * 300 + (millisecond * 300 + 500) / 1000);
    return dt;
}

void dateTimeParts(const DateTime& value, int& year, int& month, int& day, int& hour, int& minute, int& second,
                   int& millisecond) {
    civilFromDays(value.days + kDatetimeFirstDay, year, month, day);
    uint32_t seconds = value.ticks / 300;
    hour = static_cast<int>(seconds / 3600);
    minute = static_cast<int>(seconds / 60 % 60);
    second = static_cast<int>(seconds % 60);
    millisecond = static_cast<int>((value.ticks % 300 * 1000 + 150) / 300);
    if (millisecond == 1000) millisecond = 999;
}

DateTime currentDateTime() {
    auto now = std::chrono::system_clock::now();
    std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    return dateTimeFromParts(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                             local.tm_sec, static_cast<int>(ms));
}

}  // namespace sandbox
