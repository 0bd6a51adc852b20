#include "engine/codec.hpp"

#include <cstring>
#include <stdexcept>

namespace sandbox {

// ---- writing ----

void RecordWriter::text(const std::string& s) {
    u32(static_cast<uint32_t>(s.size()));
    w_.append(reinterpret_cast<const uint8_t*>(s.data()), s.size());
}

void RecordWriter::bytes(const Bytes& b) {
    u32(static_cast<uint32_t>(b.size()));
    w_.append(b);
}

void RecordWriter::dateTime(const DateTime& d) {
    u32(static_cast<uint32_t>(d.days));
    u32(d.ticks);
}

void RecordWriter::type(const SqlType& t) {
    u8(static_cast<uint8_t>(t.id));
    u32(static_cast<uint32_t>(t.length));
    u8(static_cast<uint8_t>(t.precision));
    u8(static_cast<uint8_t>(t.scale));
    // Bit 0 is sysname; the newer type sits above it, so files written before it read as before.
    u8(static_cast<uint8_t>((t.isSysname ? 1 : 0) | static_cast<uint8_t>(t.newer) << 1));
}

// A value is its type, the index of its storage alternative and the stored data.
void RecordWriter::value(const Value& v) {
    type(v.type());
    const auto& s = v.storage();
    u8(static_cast<uint8_t>(s.index()));
    if (std::holds_alternative<int64_t>(s)) {
        i64(v.asInt());
    } else if (std::holds_alternative<double>(s)) {
        uint64_t bits;
        double d = v.asDouble();
        std::memcpy(&bits, &d, 8);
        u64(bits);
    } else if (std::holds_alternative<Decimal>(s)) {
        auto u = static_cast<unsigned __int128>(v.asDecimal().unscaled);
        u64(static_cast<uint64_t>(u >> 64));
        u64(static_cast<uint64_t>(u));
        u8(static_cast<uint8_t>(v.asDecimal().scale));
    } else if (std::holds_alternative<std::string>(s)) {
        text(v.asText());
    } else if (std::holds_alternative<Bytes>(s)) {
        bytes(v.asBytes());
    } else if (std::holds_alternative<DateTime>(s)) {
        dateTime(v.asDateTime());
    } else if (std::holds_alternative<Guid>(s)) {
        w_.append(v.asGuid().data(), 16);
    }
}

void RecordWriter::row(const Row& row) {
    u32(static_cast<uint32_t>(row.size()));
    for (const Value& v : row) value(v);
}

// ---- reading ----

uint64_t RecordReader::u64() {
    uint64_t lo = r_.u32le();
    uint64_t hi = r_.u32le();
    return lo | (hi << 32);
}

uint64_t RecordReader::checkedCount(uint64_t n, size_t bytesEach) {
    if (n > r_.remaining() / bytesEach) throw std::runtime_error("a count of " + std::to_string(n) + " beyond the data");
    return n;
}

std::string RecordReader::text() {
    uint32_t n = u32();
    const uint8_t* p = r_.take(n);
    return std::string(reinterpret_cast<const char*>(p), n);
}

Bytes RecordReader::bytes() {
    uint32_t n = u32();
    const uint8_t* p = r_.take(n);
    return Bytes(p, p + n);
}

DateTime RecordReader::dateTime() {
    DateTime d;
    d.days = static_cast<int32_t>(u32());
    d.ticks = u32();
    return d;
}

SqlType RecordReader::type() {
    SqlType t;
    uint8_t id = u8();
    if (id > static_cast<uint8_t>(TypeId::Timestamp)) throw std::runtime_error("unknown data type");
    t.id = static_cast<TypeId>(id);
    t.length = static_cast<int>(u32());
    t.precision = u8();
    t.scale = u8();
    const uint8_t declared = u8();
    if ((declared >> 1) > kLastNewerType) throw std::runtime_error("unknown data type");
    t.isSysname = (declared & 1) != 0;
    t.newer = static_cast<NewerType>(declared >> 1);
    return t;
}

Value RecordReader::value() {
    SqlType t = type();
    Value v;
    switch (u8()) {
        case 0: return Value::null(t);
        case 1: v = Value::integer(i64(), t.id); break;
        case 2: {
            auto bits = u64();
            double d;
            std::memcpy(&d, &bits, 8);
            v = Value::floating(d, t.id);
            break;
        }
        case 3: {
            auto hi = static_cast<unsigned __int128>(u64());
            auto lo = u64();
            Decimal d{static_cast<Int128>((hi << 64) | lo), u8()};
            return Value::decimal(d, t);
        }
        case 4: return Value::text(text(), t);
        case 5: return Value::binary(bytes(), t);
        case 6: v = Value::dateTime(dateTime(), t.id); break;
        case 7: {
            Guid g;
            std::memcpy(g.data(), r_.take(16), 16);
            v = Value::guid(g);
            break;
        }
        default: throw std::runtime_error("unknown kind of value");
    }
    v.setType(t);
    return v;
}

Row RecordReader::row(size_t columns) {
    uint64_t width = count();
    if (width != columns) throw std::runtime_error("a row of " + std::to_string(width) + " values in a table of " +
                                                   std::to_string(columns) + " columns");
    Row row;
    row.reserve(width);
    for (uint32_t c = 0; c < width; ++c) row.push_back(value());
    return row;
}

}  // namespace sandbox
