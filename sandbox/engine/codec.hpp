#pragma once
// The byte form of stored things (numbers, texts, types, values, rows), shared by backup files,
// data files and the data folder's journal. Little-endian; every read is bounds-checked and
// throws tds::ProtocolError past the end.

#include "engine/storage.hpp"
#include "tds/bytes.hpp"

#include <cstdint>
#include <string>

namespace sandbox {

class RecordWriter {
public:
    void u8(uint8_t v) { w_.u8(v); }
    void u32(uint32_t v) { w_.u32le(v); }
    void u64(uint64_t v) { w_.u64le(v); }
    void i64(int64_t v) { w_.u64le(static_cast<uint64_t>(v)); }
    void text(const std::string& s);
    void bytes(const Bytes& b);
    void dateTime(const DateTime& d);
    void type(const SqlType& t);
    void value(const Value& v);
    void row(const Row& row);
    size_t size() const { return w_.size(); }
    void truncate(size_t size) { w_.bytes().resize(size); }
    Bytes& result() { return w_.bytes(); }
    const Bytes& result() const { return w_.bytes(); }

private:
    tds::ByteWriter w_;
};

class RecordReader {
public:
    explicit RecordReader(const Bytes& b) : r_(b) {}
    RecordReader(const uint8_t* data, size_t size) : r_(data, size) {}
    uint8_t u8() { return r_.u8(); }
    uint32_t u32() { return r_.u32le(); }
    uint64_t u64();
    int64_t i64() { return static_cast<int64_t>(u64()); }
    // How many of something follow, each at least `bytesEach` long: a count the rest of the
    // input cannot hold is damage, not a reason to loop or allocate for ever.
    uint64_t count(size_t bytesEach = 1) { return checkedCount(u32(), bytesEach); }
    uint64_t count64(size_t bytesEach) { return checkedCount(u64(), bytesEach); }
    std::string text();
    Bytes bytes();
    DateTime dateTime();
    SqlType type();
    Value value();
    // A row of a table with `columns` columns; throws std::runtime_error when its width differs.
    Row row(size_t columns);
    const uint8_t* take(size_t n) { return r_.take(n); }
    size_t remaining() const { return r_.remaining(); }

private:
    uint64_t checkedCount(uint64_t n, size_t bytesEach);
    tds::ByteReader r_;
};

}  // namespace sandbox
