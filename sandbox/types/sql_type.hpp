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

struct SqlType {
    TypeId id = TypeId::Int;
    int length = 4;     // storage bytes, as syscolumns.length reports it
    int precision = 0;  // decimal/numeric digits
    int scale = 0;      // decimal/numeric scale
    bool isSysname = false;  // nvarchar(128) declared as sysname

    static SqlType of(TypeId id);                      // fixed types and defaults
    static SqlType chars(TypeId id, int characters);   // char, varchar, nchar, nvarchar, binary, varbinary
    static SqlType decimal(int precision, int scale, TypeId id = TypeId::Decimal);
    static SqlType sysname();

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

std::string_view typeName(TypeId id);
std::optional<TypeId> typeIdFromName(std::string_view name);  // case-insensitive
uint8_t xtypeOf(TypeId id);            // systypes.xtype
std::optional<TypeId> typeIdFromXtype(int xtype);
// Text such as "varchar(20)" or "decimal(18,2)", as a CREATE TABLE would spell it.
std::string describe(const SqlType& type);
// Precedence used when two types meet in an expression (higher wins), as SQL Server ranks them.
int precedence(TypeId id);

}  // namespace sandbox
