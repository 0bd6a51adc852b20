#include "tds/bytes.hpp"

#include <algorithm>

namespace sandbox::tds {
namespace {
constexpr size_t kMaxBVarcharChars = 255;
constexpr size_t kMaxUsVarcharChars = 65535;

Bytes limitedUcs2(std::string_view utf8, size_t maxChars) {
    Bytes ucs2 = utf8ToUtf16le(utf8);
    ucs2.resize(std::min(ucs2.size(), maxChars * 2));
    return ucs2;
}
}  // namespace

void ByteWriter::bVarchar(std::string_view utf8) {
    Bytes ucs2 = limitedUcs2(utf8, kMaxBVarcharChars);
    u8(static_cast<uint8_t>(ucs2.size() / 2));
    append(ucs2);
}

void ByteWriter::usVarchar(std::string_view utf8) {
    Bytes ucs2 = limitedUcs2(utf8, kMaxUsVarcharChars);
    u16le(static_cast<uint16_t>(ucs2.size() / 2));
    append(ucs2);
}

std::string ByteReader::ucs2At(size_t offset, size_t characters) const {
    if (offset > size_ || characters * 2 > size_ - offset)
        throw ProtocolError("string beyond payload");
    return utf16leToUtf8(data_ + offset, characters * 2);
}

}  // namespace sandbox::tds
