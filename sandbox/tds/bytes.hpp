#pragma once
// Little- and big-endian byte writing and bounds-checked reading for TDS payloads.

#include "types/text.hpp"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace sandbox::tds {

// Thrown when a client's bytes do not form what the protocol requires.
class ProtocolError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class ByteWriter {
public:
    void u8(uint8_t v) { bytes_.push_back(v); }
    void u16le(uint16_t v) { u8(v & 0xFF); u8(v >> 8); }
    void u16be(uint16_t v) { u8(v >> 8); u8(v & 0xFF); }
    void u32le(uint32_t v) { u16le(v & 0xFFFF); u16le(v >> 16); }
    void u32be(uint32_t v) { u16be(v >> 16); u16be(v & 0xFFFF); }
    void u64le(uint64_t v) { u32le(static_cast<uint32_t>(v)); u32le(static_cast<uint32_t>(v >> 32)); }
    void append(const Bytes& more) { bytes_.insert(bytes_.end(), more.begin(), more.end()); }
    void append(const uint8_t* data, size_t size) { bytes_.insert(bytes_.end(), data, data + size); }
    // B_VARCHAR: 1-byte character count, then UCS-2LE.
    void bVarchar(std::string_view utf8);
    // US_VARCHAR: 2-byte character count, then UCS-2LE.
    void usVarchar(std::string_view utf8);
    // Writes a 16-bit length placeholder and returns its position for patchU16.
    size_t placeholderU16() { size_t at = bytes_.size(); u16le(0); return at; }
    void patchU16(size_t at, uint16_t v) { bytes_[at] = v & 0xFF; bytes_[at + 1] = v >> 8; }
    size_t size() const { return bytes_.size(); }
    Bytes& bytes() { return bytes_; }
    const Bytes& bytes() const { return bytes_; }
    void clear() { bytes_.clear(); }

private:
    Bytes bytes_;
};

class ByteReader {
public:
    ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    explicit ByteReader(const Bytes& bytes) : ByteReader(bytes.data(), bytes.size()) {}

    uint8_t u8() { need(1); return data_[pos_++]; }
    uint16_t u16le() { uint16_t lo = u8(); return static_cast<uint16_t>(lo | (u8() << 8)); }
    uint16_t u16be() { uint16_t hi = u8(); return static_cast<uint16_t>((hi << 8) | u8()); }
    uint32_t u32le() { uint32_t lo = u16le(); return lo | (static_cast<uint32_t>(u16le()) << 16); }
    const uint8_t* take(size_t n) { need(n); const uint8_t* at = data_ + pos_; pos_ += n; return at; }
    void seek(size_t pos) { if (pos > size_) throw ProtocolError("offset beyond payload"); pos_ = pos; }
    size_t position() const { return pos_; }
    size_t remaining() const { return size_ - pos_; }
    // UCS-2LE text of `characters` characters at `offset`, bounds-checked.
    std::string ucs2At(size_t offset, size_t characters) const;

private:
    void need(size_t n) const {
        if (n > size_ - pos_) throw ProtocolError("payload truncated");
    }
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

}  // namespace sandbox::tds
