#pragma once
// SQL Server 2000 data types as the sandbox stores and sends them.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sandbox {

enum class TypeId : uint8_t {
    TinyInt, SmallInt, Int, BigInt, Bit, Decimal, Numeric, Money, SmallMoney, Float, Real,
    Char, VarChar, NChar, NVarChar, Text, NText, DateTime, SmallDateTime, Binary, VarBinary,
    Image, UniqueIdentifier, SqlVariant, Timestamp
};

// The types SQL Server 2005 and later added. Each is kept in the storage of an older type that
// carries its values the way those versions send them to a TDS 7.1 client: the (max) types as
// text, ntext and image, xml as ntext, the date and time types as nvarchar holding their literal
// ("2024-02-29", "13:45:00.1234567", "2024-02-29 13:45:00.12", "2024-02-29 13:45:00 +08:00").
enum class NewerType : uint8_t {
    None, VarCharMax, NVarCharMax, VarBinaryMax, Xml, Date, Time, DateTime2, DateTimeOffset
};
inline constexpr uint8_t kLastNewerType = static_cast<uint8_t>(NewerType::DateTimeOffset);

struct SqlType {
    TypeId id = TypeId::Int;
    int length = 4;     // storage bytes, as syscolumns.length reports it
    int precision = 0;  // decimal/numeric digits
    int scale = 0;      // decimal/numeric scale
    bool isSysname = false;  // nvarchar(128) declared as sysname
    NewerType newer = NewerType::None;  // declared as a newer type kept in `id`'s storage

    static SqlType of(TypeId id);                      // fixed types and defaults
    static SqlType chars(TypeId id, int characters);   // char, varchar, nchar, nvarchar, binary, varbinary
    static SqlType decimal(int precision, int scale, TypeId id = TypeId::Decimal);
    static SqlType sysname();
    // A newer type; `fractionDigits` (0-7) for time, datetime2 and datetimeoffset.
    static SqlType newerType(NewerType kind, int fractionDigits = 7);

    bool operator==(const SqlType&) const = default;
};

bool isCharacter(TypeId id);     // char, varchar, text and their N forms
bool isUnicode(TypeId id);       // nchar, nvarchar, ntext
bool isBinary(TypeId id);        // binary, varbinary, image, timestamp
bool isLargeObject(TypeId id);   // text, ntext, image
bool isExactNumeric(TypeId id);  // integers, bit, decimal, numeric, money
bool isNumeric(TypeId id);
bool isIntegral(TypeId id);      // tinyint .. bigint and bit
bool isDateTime(TypeId id);

// Declared length in characters for character types, bytes otherwise.
int declaredLength(const SqlType& type);
// Storage bytes of a decimal of the given precision (5, 9, 13 or 17).
int decimalStorageBytes(int precision);

// date, time, datetime2 and datetimeoffset.
bool isNewerDateTime(NewerType kind);
// The newer type a name declares ("date", "xml", ...), without the (max) forms.
std::optional<NewerType> newerTypeFromName(std::string_view name);
// The (max) form of varchar, nvarchar or varbinary.
std::optional<NewerType> maxTypeOf(TypeId id);
// The newer type of a syscolumns/systypes xtype (40-43, 241).
std::optional<NewerType> newerTypeFromXtype(int xtype);
std::string_view newerTypeName(NewerType kind);
// syscolumns.xtype of a column: the declared type's, not its storage's.
uint8_t catalogXtype(const SqlType& type);
// syscolumns.length of a newer type: -1 for the (max) types and xml, storage bytes otherwise.
int newerStorageLength(const SqlType& type);
// The characters of the longest literal of a date or time type of the type's fraction digits.
int newerLiteralLength(NewerType kind, int fractionDigits);

std::string_view typeName(TypeId id);
std::optional<TypeId> typeIdFromName(std::string_view name);  // case-insensitive
uint8_t xtypeOf(TypeId id);            // systypes.xtype
std::optional<TypeId> typeIdFromXtype(int xtype);
// Text such as "varchar(20)" or "decimal(18,2)", as a CREATE TABLE would spell it.
std::string describe(const SqlType& type);
// Precedence used when two types meet in an expression (higher wins), as SQL Server ranks them.
int precedence(TypeId id);

}  // namespace sandbox
