#include "tds/tokens.hpp"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace sandbox::tds {
namespace {

constexpr uint8_t kTokenEnvChange = 0xE3;
constexpr uint8_t kTokenError = 0xAA;
constexpr uint8_t kTokenInfo = 0xAB;
constexpr uint8_t kTokenLoginAck = 0xAD;
constexpr uint8_t kTokenReturnStatus = 0x79;
constexpr uint8_t kTokenColMetadata = 0x81;
constexpr uint8_t kTokenRow = 0xD1;
constexpr uint16_t kUserTypeTimestamp = 80;
constexpr uint32_t kLobMaxLength = 0x7FFFFFFF;
constexpr uint32_t kNTextMaxLength = 0x7FFFFFFE;
constexpr uint32_t kVariantMaxLength = 8016;
constexpr uint16_t kNullLength16 = 0xFFFF;
constexpr const char* kServerName = "SANDBOX";

void writeCollation(ByteWriter& w, Encoding enc) {
    if (enc.hasCollation()) w.append(kCollation, sizeof kCollation);
}

// Fixed-length TDS form (no length byte) is used for NOT NULL columns of fixed types.
bool hasFixedForm(TypeId id) {
    return isIntegral(id) || id == TypeId::Float || id == TypeId::Real || id == TypeId::Money ||
           id == TypeId::SmallMoney || isDateTime(id);
}

uint8_t fixedToken(TypeId id) {
    switch (id) {
        case TypeId::TinyInt: return 0x30;
        case TypeId::SmallInt: return 0x34;
        case TypeId::Int: return 0x38;
        case TypeId::BigInt: return 0x7F;
        case TypeId::Bit: return 0x32;
        case TypeId::Real: return 0x3B;
        case TypeId::Float: return 0x3E;
        case TypeId::SmallMoney: return 0x7A;
        case TypeId::Money: return 0x3C;
        case TypeId::SmallDateTime: return 0x3A;
        default: return 0x3D;  // datetime
    }
}

uint8_t nullableToken(TypeId id) {
    if (isIntegral(id)) return id == TypeId::Bit ? 0x68 : 0x26;
    if (id == TypeId::Float || id == TypeId::Real) return 0x6D;
    if (id == TypeId::Money || id == TypeId::SmallMoney) return 0x6E;
    return 0x6F;  // datetime, smalldatetime
}

uint8_t varLenToken(TypeId id) {
    switch (id) {
        case TypeId::Char: return 0xAF;
        case TypeId::VarChar: return 0xA7;
        case TypeId::NChar: return 0xEF;
        case TypeId::NVarChar: return 0xE7;
        case TypeId::Binary: case TypeId::Timestamp: return 0xAD;
        default: return 0xA5;  // varbinary
    }
}

int fixedSize(TypeId id) { return SqlType::of(id).length; }

void writeTypeInfo(ByteWriter& w, const ColumnInfo& column, Encoding enc) {
    const SqlType& type = column.type;
    TypeId id = type.id;
    if (hasFixedForm(id)) {
        if (!column.nullable) { w.u8(fixedToken(id)); return; }
        w.u8(nullableToken(id));
        w.u8(static_cast<uint8_t>(fixedSize(id)));
        return;
    }
    switch (id) {
        case TypeId::Decimal: case TypeId::Numeric:
            w.u8(id == TypeId::Decimal ? 0x6A : 0x6C);
            w.u8(static_cast<uint8_t>(decimalStorageBytes(type.precision)));
            w.u8(static_cast<uint8_t>(type.precision));
            w.u8(static_cast<uint8_t>(type.scale));
            return;
        case TypeId::UniqueIdentifier: w.u8(0x24); w.u8(16); return;
        case TypeId::SqlVariant: w.u8(0x62); w.u32le(kVariantMaxLength); return;
        case TypeId::Text: case TypeId::NText: case TypeId::Image:
            w.u8(id == TypeId::Text ? 0x23 : id == TypeId::NText ? 0x63 : 0x22);
            w.u32le(id == TypeId::NText ? kNTextMaxLength : kLobMaxLength);
            if (id != TypeId::Image) writeCollation(w, enc);
            w.usVarchar(column.tableName);
            return;
        default:
            w.u8(varLenToken(id));
            w.u16le(static_cast<uint16_t>(std::clamp(type.length, 1, 8000)));
            if (isCharacter(id)) writeCollation(w, enc);
    }
}

void writeLittleEndian(ByteWriter& w, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) w.u8(static_cast<uint8_t>(v >> (8 * i)));
}

Int128 rescale(const Decimal& d, int scale) {
    Int128 v = d.unscaled;
    for (int s = d.scale; s < scale; ++s) v *= 10;
    for (int s = d.scale; s > scale; --s) v /= 10;
    return v;
}

int64_t moneyUnits(const Value& v) {
    if (std::holds_alternative<Decimal>(v.storage())) return static_cast<int64_t>(rescale(v.asDecimal(), 4));
    if (std::holds_alternative<int64_t>(v.storage())) return v.asInt() * 10000;
    return static_cast<int64_t>(v.asDouble() * 10000.0);
}

double asDouble(const Value& v) {
    if (std::holds_alternative<double>(v.storage())) return v.asDouble();
    if (std::holds_alternative<int64_t>(v.storage())) return static_cast<double>(v.asInt());
    const Decimal& d = v.asDecimal();
    double x = static_cast<double>(d.unscaled);
    for (int s = 0; s < d.scale; ++s) x /= 10.0;
    return x;
}

int64_t asInteger(const Value& v) {
    if (std::holds_alternative<int64_t>(v.storage())) return v.asInt();
    if (std::holds_alternative<double>(v.storage())) return static_cast<int64_t>(v.asDouble());
    return static_cast<int64_t>(rescale(v.asDecimal(), 0));
}

// Fixed-size payload of a fixed-length type, without any length prefix.
void writeFixedValue(ByteWriter& w, TypeId id, const Value& v) {
    if (isIntegral(id)) { writeLittleEndian(w, static_cast<uint64_t>(asInteger(v)), fixedSize(id)); return; }
    if (id == TypeId::Float) {
        double d = asDouble(v);
        uint64_t bits; std::memcpy(&bits, &d, 8); w.u64le(bits); return;
    }
    if (id == TypeId::Real) {
        float f = static_cast<float>(asDouble(v));
        uint32_t bits; std::memcpy(&bits, &f, 4); w.u32le(bits); return;
    }
    if (id == TypeId::Money) {
        auto units = static_cast<uint64_t>(moneyUnits(v));
        w.u32le(static_cast<uint32_t>(units >> 32));
        w.u32le(static_cast<uint32_t>(units));
        return;
    }
    if (id == TypeId::SmallMoney) { w.u32le(static_cast<uint32_t>(moneyUnits(v))); return; }
    const DateTime& dt = v.asDateTime();
    if (id == TypeId::SmallDateTime) {
        w.u16le(static_cast<uint16_t>(dt.days));
        w.u16le(static_cast<uint16_t>(dt.ticks / 300 / 60));
        return;
    }
    w.u32le(static_cast<uint32_t>(dt.days));
    w.u32le(dt.ticks);
}

void writeDecimalValue(ByteWriter& w, const SqlType& type, const Value& v, bool withLength) {
    int size = decimalStorageBytes(type.precision);
    Int128 unscaled = std::holds_alternative<Decimal>(v.storage())
                          ? rescale(v.asDecimal(), type.scale)
                          : rescale(Decimal{asInteger(v), 0}, type.scale);
    if (withLength) w.u8(static_cast<uint8_t>(size));
    w.u8(unscaled < 0 ? 0 : 1);
    auto magnitude = static_cast<unsigned __int128>(unscaled < 0 ? -unscaled : unscaled);
    for (int i = 0; i < size - 1; ++i) w.u8(static_cast<uint8_t>(magnitude >> (8 * i)));
}

Bytes characterBytes(const SqlType& type, const std::string& text) {
    if (!isUnicode(type.id)) {
        Bytes bytes = utf8ToCp936(text);
        if (type.id == TypeId::Char) bytes.resize(std::max<size_t>(bytes.size(), type.length), ' ');
        return bytes;
    }
    Bytes bytes = utf8ToUtf16le(text);
    if (type.id == TypeId::NChar)
        while (bytes.size() < static_cast<size_t>(type.length)) { bytes.push_back(' '); bytes.push_back(0); }
    return bytes;
}

Bytes valueBytes(const SqlType& type, const Value& v) {
    if (isCharacter(type.id)) return characterBytes(type, v.asText());
    Bytes bytes = v.asBytes();
    if (type.id == TypeId::Binary) bytes.resize(std::max<size_t>(bytes.size(), type.length), 0);
    return bytes;
}

void writeLobValue(ByteWriter& w, const SqlType& type, const Value& v) {
    if (v.isNull()) { w.u8(0); return; }
    static const uint8_t pointer[16] = {'d', 'u', 'm', 'm', 'y', ' ', 't', 'e', 'x', 't', 'p', 't', 'r'};
    w.u8(16);
    w.append(pointer, 16);
    for (int i = 0; i < 8; ++i) w.u8(0);  // timestamp
    Bytes data = valueBytes(type, v);
    w.u32le(static_cast<uint32_t>(data.size()));
    w.append(data);
}

uint8_t variantBaseType(TypeId id) {
    switch (id) {
        case TypeId::TinyInt: return 0x30;
        case TypeId::SmallInt: return 0x34;
        case TypeId::Int: return 0x38;
        case TypeId::BigInt: return 0x7F;
        case TypeId::Bit: return 0x32;
        case TypeId::Real: return 0x3B;
        case TypeId::Float: return 0x3E;
        case TypeId::Money: return 0x3C;
        case TypeId::SmallMoney: return 0x7A;
        case TypeId::DateTime: return 0x3D;
        case TypeId::SmallDateTime: return 0x3A;
        case TypeId::UniqueIdentifier: return 0x24;
        case TypeId::Decimal: return 0x6A;
        case TypeId::Numeric: return 0x6C;
        case TypeId::Binary: return 0xAD;
        case TypeId::VarBinary: return 0xA5;
        case TypeId::Char: return 0xAF;
        case TypeId::VarChar: return 0xA7;
        case TypeId::NChar: return 0xEF;
        default: return 0xE7;  // nvarchar; large objects are never stored in a variant
    }
}

void writeVariantValue(ByteWriter& w, const Value& v) {
    if (v.isNull()) { w.u32le(0); return; }
    ByteWriter inner;
    SqlType base = v.type();
    if (isLargeObject(base.id)) base = SqlType::chars(isUnicode(base.id) ? TypeId::NVarChar : TypeId::VarChar, 4000);
    inner.u8(variantBaseType(base.id));
    if (base.id == TypeId::Decimal || base.id == TypeId::Numeric) {
        inner.u8(2); inner.u8(static_cast<uint8_t>(base.precision)); inner.u8(static_cast<uint8_t>(base.scale));
        writeDecimalValue(inner, base, v, false);
    } else if (isCharacter(base.id) || isBinary(base.id)) {
        bool chars = isCharacter(base.id);
        inner.u8(chars ? 7 : 2);
        if (chars) inner.append(kCollation, sizeof kCollation);
        inner.u16le(static_cast<uint16_t>(std::clamp(base.length, 1, 8000)));
        inner.append(valueBytes(base, v));
    } else if (base.id == TypeId::UniqueIdentifier) {
        inner.u8(0); inner.append(v.asGuid().data(), 16);
    } else {
        inner.u8(0); writeFixedValue(inner, base.id, v);
    }
    w.u32le(static_cast<uint32_t>(inner.size()));
    w.append(inner.bytes());
}

void writeValue(ByteWriter& w, const ColumnInfo& column, const Value& v) {
    const SqlType& type = column.type;
    TypeId id = type.id;
    if (id == TypeId::SqlVariant) { writeVariantValue(w, v); return; }
    if (isLargeObject(id)) { writeLobValue(w, type, v); return; }
    if (hasFixedForm(id)) {
        if (column.nullable) {
            if (v.isNull()) { w.u8(0); return; }
            w.u8(static_cast<uint8_t>(fixedSize(id)));
        } else if (v.isNull()) {
            throw std::logic_error("NULL in a NOT NULL column");
        }
        writeFixedValue(w, id, v);
        return;
    }
    if (id == TypeId::Decimal || id == TypeId::Numeric) {
        if (v.isNull()) { w.u8(0); return; }
        writeDecimalValue(w, type, v, true);
        return;
    }
    if (id == TypeId::UniqueIdentifier) {
        if (v.isNull()) { w.u8(0); return; }
        w.u8(16); w.append(v.asGuid().data(), 16);
        return;
    }
    if (v.isNull()) { w.u16le(kNullLength16); return; }
    Bytes data = valueBytes(type, v);
    data.resize(std::min<size_t>(data.size(), 8000));
    w.u16le(static_cast<uint16_t>(data.size()));
    w.append(data);
}

}  // namespace

void writeEnvChange(ByteWriter& w, EnvChange type, std::string_view newValue, std::string_view oldValue) {
    w.u8(kTokenEnvChange);
    size_t at = w.placeholderU16();
    w.u8(static_cast<uint8_t>(type));
    w.bVarchar(newValue);
    w.bVarchar(oldValue);
    w.patchU16(at, static_cast<uint16_t>(w.size() - at - 2));
}

void writeCollationChange(ByteWriter& w) {
    w.u8(kTokenEnvChange);
    w.u16le(1 + 1 + sizeof kCollation + 1);
    w.u8(static_cast<uint8_t>(EnvChange::Collation));
    w.u8(sizeof kCollation);
    w.append(kCollation, sizeof kCollation);
    w.u8(0);
}

void writeMessage(ByteWriter& w, const ServerMessage& message, std::string_view serverName, Encoding enc) {
    w.u8(message.isError() ? kTokenError : kTokenInfo);
    size_t at = w.placeholderU16();
    w.u32le(static_cast<uint32_t>(message.number));
    w.u8(static_cast<uint8_t>(message.state));
    w.u8(static_cast<uint8_t>(message.severity));
    w.usVarchar(message.text);
    w.bVarchar(serverName.empty() ? kServerName : serverName);
    w.bVarchar(message.procedure);
    if (enc.wide()) w.u32le(static_cast<uint32_t>(message.line));
    else w.u16le(static_cast<uint16_t>(message.line));
    w.patchU16(at, static_cast<uint16_t>(w.size() - at - 2));
}

void writeLoginAck(ByteWriter& w, Encoding enc, const ServerVersion& version) {
    w.u8(kTokenLoginAck);
    size_t at = w.placeholderU16();
    w.u8(1);  // interface: T-SQL
    const uint8_t v71[] = {0x71, 0x00, 0x00, 0x01};
    const uint8_t v70[] = {0x07, 0x00, 0x00, 0x00};
    w.append(enc.version >= 0x71 ? v71 : v70, 4);
    w.bVarchar("Microsoft SQL Server");
    w.u8(static_cast<uint8_t>(version.major));
    w.u8(static_cast<uint8_t>(version.minor));
    w.u16be(static_cast<uint16_t>(version.build));
    w.patchU16(at, static_cast<uint16_t>(w.size() - at - 2));
}

void writeDone(ByteWriter& w, DoneToken token, uint16_t status, uint16_t command, uint64_t count, Encoding enc) {
    w.u8(static_cast<uint8_t>(token));
    w.u16le(status);
    w.u16le(command);
    if (enc.wide()) w.u64le(count);
    else w.u32le(static_cast<uint32_t>(count));
}

void writeReturnStatus(ByteWriter& w, int32_t status) {
    w.u8(kTokenReturnStatus);
    w.u32le(static_cast<uint32_t>(status));
}

void writeColumnMetadata(ByteWriter& w, const std::vector<ColumnInfo>& columns, Encoding enc) {
    w.u8(kTokenColMetadata);
    w.u16le(static_cast<uint16_t>(columns.size()));
    for (const auto& column : columns) {
        uint16_t userType = column.type.id == TypeId::Timestamp ? kUserTypeTimestamp : 0;
        if (enc.wide()) w.u32le(userType);
        else w.u16le(userType);
        uint16_t flags = (column.nullable ? 0x0001 : 0) | (column.identity ? 0x0010 : 0);
        w.u16le(flags);
        writeTypeInfo(w, column, enc);
        w.bVarchar(column.name);
    }
}

void writeRow(ByteWriter& w, const std::vector<ColumnInfo>& columns, const Value* values, Encoding) {
    w.u8(kTokenRow);
    for (size_t i = 0; i < columns.size(); ++i) writeValue(w, columns[i], values[i]);
}

}  // namespace sandbox::tds
