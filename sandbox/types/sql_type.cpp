#include "types/sql_type.hpp"

#include "types/text.hpp"

#include <array>

namespace sandbox {
namespace {

struct TypeFacts {
    TypeId id;
    std::string_view name;
    uint8_t xtype;
    int defaultLength;
    int precedence;  // SQL Server 2000 data type precedence, higher wins
};

constexpr std::array<TypeFacts, 25> kFacts{{
    {TypeId::TinyInt, "tinyint", 48, 1, 12},
    {TypeId::SmallInt, "smallint", 52, 2, 13},
    {TypeId::Int, "int", 56, 4, 14},
    {TypeId::BigInt, "bigint", 127, 8, 15},
    {TypeId::Bit, "bit", 104, 1, 11},
    {TypeId::Decimal, "decimal", 106, 17, 18},
    {TypeId::Numeric, "numeric", 108, 17, 18},
    {TypeId::Money, "money", 60, 8, 17},
    {TypeId::SmallMoney, "smallmoney", 122, 4, 16},
    {TypeId::Float, "float", 62, 8, 20},
    {TypeId::Real, "real", 59, 4, 19},
    {TypeId::Char, "char", 175, 1, 3},
    {TypeId::VarChar, "varchar", 167, 1, 4},
    {TypeId::NChar, "nchar", 239, 2, 5},
    {TypeId::NVarChar, "nvarchar", 231, 2, 6},
    {TypeId::Text, "text", 35, 16, 8},
    {TypeId::NText, "ntext", 99, 16, 9},
    {TypeId::DateTime, "datetime", 61, 8, 22},
    {TypeId::SmallDateTime, "smalldatetime", 58, 4, 21},
    {TypeId::Binary, "binary", 173, 1, 1},
    {TypeId::VarBinary, "varbinary", 165, 1, 2},
    {TypeId::Image, "image", 34, 16, 7},
    {TypeId::UniqueIdentifier, "uniqueidentifier", 36, 16, 10},
    {TypeId::SqlVariant, "sql_variant", 98, 8016, 23},
    {TypeId::Timestamp, "timestamp", 189, 8, 0},
}};

const TypeFacts& factsOf(TypeId id) { return kFacts[static_cast<size_t>(id)]; }

}  // namespace

SqlType SqlType::of(TypeId id) {
    SqlType type;
    type.id = id;
    type.length = factsOf(id).defaultLength;
    if (id == TypeId::Decimal || id == TypeId::Numeric) return decimal(18, 0, id);
    if (id == TypeId::Money) { type.precision = 19; type.scale = 4; }
    if (id == TypeId::SmallMoney) { type.precision = 10; type.scale = 4; }
    return type;
}

SqlType SqlType::chars(TypeId id, int characters) {
    SqlType type;
    type.id = id;
    type.length = isUnicode(id) ? 2 * characters : characters;
    return type;
}

SqlType SqlType::decimal(int precision, int scale, TypeId id) {
    SqlType type;
    type.id = id;
    type.precision = precision;
    type.scale = scale;
    type.length = decimalStorageBytes(precision);
    return type;
}

SqlType SqlType::sysname() {
    SqlType type = chars(TypeId::NVarChar, 128);
    type.isSysname = true;
    return type;
}

SqlType SqlType::newerType(NewerType kind, int fractionDigits) {
    SqlType type;
    switch (kind) {
        case NewerType::VarCharMax: case NewerType::None: type = of(TypeId::Text); break;
        case NewerType::NVarCharMax: case NewerType::Xml: type = of(TypeId::NText); break;
        case NewerType::VarBinaryMax: type = of(TypeId::Image); break;
        default: type = chars(TypeId::NVarChar, newerLiteralLength(kind, fractionDigits));
    }
    type.newer = kind;
    if (kind == NewerType::Time || kind == NewerType::DateTime2 || kind == NewerType::DateTimeOffset)
        type.scale = fractionDigits;
    return type;
}

namespace {

struct NewerFacts {
    NewerType kind;
    std::string_view name;
    uint8_t xtype;
};

constexpr NewerFacts kNewerFacts[] = {
    {NewerType::VarCharMax, "varchar", 167},    {NewerType::NVarCharMax, "nvarchar", 231},
    {NewerType::VarBinaryMax, "varbinary", 165}, {NewerType::Xml, "xml", 241},
    {NewerType::Date, "date", 40},              {NewerType::Time, "time", 41},
    {NewerType::DateTime2, "datetime2", 42},    {NewerType::DateTimeOffset, "datetimeoffset", 43},
};

const NewerFacts* newerFactsOf(NewerType kind) {
    for (const auto& facts : kNewerFacts)
        if (facts.kind == kind) return &facts;
    return nullptr;
}

}  // namespace

bool isNewerDateTime(NewerType kind) {
    return kind == NewerType::Date || kind == NewerType::Time || kind == NewerType::DateTime2 ||
           kind == NewerType::DateTimeOffset;
}

std::optional<NewerType> newerTypeFromName(std::string_view name) {
    for (const auto& facts : kNewerFacts)
        if (facts.xtype == 241 || (facts.xtype >= 40 && facts.xtype <= 43))
            if (equalsIgnoreCase(name, facts.name)) return facts.kind;
    return std::nullopt;
}

std::optional<NewerType> maxTypeOf(TypeId id) {
    if (id == TypeId::VarChar) return NewerType::VarCharMax;
    if (id == TypeId::NVarChar) return NewerType::NVarCharMax;
    if (id == TypeId::VarBinary) return NewerType::VarBinaryMax;
    return std::nullopt;
}

std::optional<NewerType> newerTypeFromXtype(int xtype) {
    for (const auto& facts : kNewerFacts)
        if (facts.xtype == xtype && (xtype == 241 || (xtype >= 40 && xtype <= 43))) return facts.kind;
    return std::nullopt;
}

std::string_view newerTypeName(NewerType kind) {
    const NewerFacts* facts = newerFactsOf(kind);
    return facts ? facts->name : std::string_view();
}

uint8_t catalogXtype(const SqlType& type) {
    const NewerFacts* facts = newerFactsOf(type.newer);
    return facts ? facts->xtype : xtypeOf(type.id);
}

int newerStorageLength(const SqlType& type) {
    // Time takes 3, 4 or 5 bytes as its fraction digits grow; datetime2 adds the date's 3 and
    // datetimeoffset the offset's 2 more.
    const int time = type.scale <= 2 ? 3 : type.scale <= 4 ? 4 : 5;
    switch (type.newer) {
        case NewerType::Date: return 3;
        case NewerType::Time: return time;
        case NewerType::DateTime2: return time + 3;
        case NewerType::DateTimeOffset: return time + 5;
        default: return -1;
    }
}

int newerLiteralLength(NewerType kind, int fractionDigits) {
    const int fraction = fractionDigits > 0 ? fractionDigits + 1 : 0;  // the point and the digits
    switch (kind) {
        case NewerType::Date: return 10;
        case NewerType::Time: return 8 + fraction;
        case NewerType::DateTime2: return 19 + fraction;
        case NewerType::DateTimeOffset: return 26 + fraction;
        default: return 0;
    }
}

bool isCharacter(TypeId id) {
    return id == TypeId::Char || id == TypeId::VarChar || id == TypeId::Text || isUnicode(id);
}
bool isUnicode(TypeId id) {
    return id == TypeId::NChar || id == TypeId::NVarChar || id == TypeId::NText;
}
bool isBinary(TypeId id) {
    return id == TypeId::Binary || id == TypeId::VarBinary || id == TypeId::Image ||
           id == TypeId::Timestamp;
}
bool isLargeObject(TypeId id) {
    return id == TypeId::Text || id == TypeId::NText || id == TypeId::Image;
}
bool isIntegral(TypeId id) {
    return id == TypeId::TinyInt || id == TypeId::SmallInt || id == TypeId::Int ||
           id == TypeId::BigInt || id == TypeId::Bit;
}
bool isExactNumeric(TypeId id) {
    return isIntegral(id) || id == TypeId::Decimal || id == TypeId::Numeric ||
           id == TypeId::Money || id == TypeId::SmallMoney;
}
bool isNumeric(TypeId id) { return isExactNumeric(id) || id == TypeId::Float || id == TypeId::Real; }
bool isDateTime(TypeId id) { return id == TypeId::DateTime || id == TypeId::SmallDateTime; }

int declaredLength(const SqlType& type) {
    return isUnicode(type.id) && !isLargeObject(type.id) ? type.length / 2 : type.length;
}

int decimalStorageBytes(int precision) {
    if (precision <= 9) return 5;
    if (precision <= 19) return 9;
    if (precision <= 28) return 13;
    return 17;
}

std::string_view typeName(TypeId id) { return factsOf(id).name; }

std::optional<TypeId> typeIdFromName(std::string_view name) {
    if (equalsIgnoreCase(name, "integer")) return TypeId::Int;
    if (equalsIgnoreCase(name, "dec")) return TypeId::Decimal;
    if (equalsIgnoreCase(name, "rowversion")) return TypeId::Timestamp;
    if (equalsIgnoreCase(name, "double")) return TypeId::Float;
    for (const auto& facts : kFacts)
        if (equalsIgnoreCase(name, facts.name)) return facts.id;
    return std::nullopt;
}

uint8_t xtypeOf(TypeId id) { return factsOf(id).xtype; }

std::optional<TypeId> typeIdFromXtype(int xtype) {
    for (const auto& facts : kFacts)
        if (facts.xtype == xtype) return facts.id;
    return std::nullopt;
}

std::string describe(const SqlType& type) {
    if (type.isSysname) return "sysname";
    if (type.newer != NewerType::None) {
        std::string text(newerTypeName(type.newer));
        switch (type.newer) {
            case NewerType::VarCharMax: case NewerType::NVarCharMax: case NewerType::VarBinaryMax:
                return text + "(max)";
            case NewerType::Time: case NewerType::DateTime2: case NewerType::DateTimeOffset:
                return text + "(" + std::to_string(type.scale) + ")";
            default: return text;
        }
    }
    std::string text(typeName(type.id));
    if (type.id == TypeId::Decimal || type.id == TypeId::Numeric)
        return text + "(" + std::to_string(type.precision) + "," + std::to_string(type.scale) + ")";
    bool sized = type.id == TypeId::Char || type.id == TypeId::VarChar ||
                 type.id == TypeId::NChar || type.id == TypeId::NVarChar ||
                 type.id == TypeId::Binary || type.id == TypeId::VarBinary;
    if (sized) text += "(" + std::to_string(declaredLength(type)) + ")";
    return text;
}

int precedence(TypeId id) { return factsOf(id).precedence; }

}  // namespace sandbox
