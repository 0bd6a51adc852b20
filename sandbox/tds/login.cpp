#include "tds/login.hpp"

namespace sandbox::tds {
namespace {

constexpr uint8_t kOptionVersion = 0x00;
constexpr uint8_t kOptionEncryption = 0x01;
constexpr uint8_t kOptionInstance = 0x02;
constexpr uint8_t kOptionThreadId = 0x03;
constexpr uint8_t kOptionEnd = 0xFF;
constexpr uint8_t kEncryptOn = 0x01;
constexpr uint8_t kEncryptRequired = 0x03;
constexpr uint8_t kEncryptNotSupported = 0x02;
constexpr size_t kLogin7FixedSize = 86;
constexpr uint8_t kIntegratedSecurityFlag = 0x80;

struct StringField {
    size_t fieldOffset;
    std::string Login7::*member;
};

constexpr StringField kStringFields[] = {
    {36, &Login7::hostName},   {40, &Login7::userName},    {48, &Login7::appName},
    {52, &Login7::serverName}, {60, &Login7::libraryName}, {64, &Login7::language},
    {68, &Login7::database},
};

}  // namespace

PreloginRequest parsePrelogin(const Bytes& payload) {
    ByteReader reader(payload);
    PreloginRequest request;
    for (;;) {
        uint8_t option = reader.u8();
        if (option == kOptionEnd) break;
        uint16_t offset = reader.u16be();
        uint16_t length = reader.u16be();
        if (size_t{offset} + length > payload.size()) throw ProtocolError("PRELOGIN option out of range");
        if (option == kOptionEncryption && length >= 1) {
            uint8_t mode = payload[offset];
            request.encryptionRequired = mode == kEncryptOn || mode == kEncryptRequired;
        }
    }
    return request;
}

Bytes preloginReply(const ServerVersion& version) {
    // Option table of four entries (5 bytes each) and the terminator, then the values.
    const uint8_t versionAt = 4 * 5 + 1;
    ByteWriter w;
    auto entry = [&w](uint8_t option, uint16_t offset, uint16_t length) {
        w.u8(option); w.u16be(offset); w.u16be(length);
    };
    entry(kOptionVersion, versionAt, 6);
    entry(kOptionEncryption, versionAt + 6, 1);
    entry(kOptionInstance, versionAt + 7, 1);
    entry(kOptionThreadId, versionAt + 8, 0);
    w.u8(kOptionEnd);
    // Major, minor, build (big-endian) and a sub-build of 0.
    w.u8(static_cast<uint8_t>(version.major));
    w.u8(static_cast<uint8_t>(version.minor));
    w.u16be(static_cast<uint16_t>(version.build));
    w.u16be(0);
    w.u8(kEncryptNotSupported);
    w.u8(0x00);  // instance name accepted
    return w.bytes();
}

int Login7::versionCode() const {
    if ((tdsVersion & 0xFF) == 0x07 && (tdsVersion >> 24) == 0) return 0x70;  // old 07 0m 00 00 form
    return static_cast<int>(tdsVersion >> 24);
}

Bytes unscramblePassword(const uint8_t* data, size_t size) {
    Bytes plain(data, data + size);
    for (uint8_t& b : plain) {
        b ^= 0xA5;
        b = static_cast<uint8_t>((b << 4) | (b >> 4));
    }
    return plain;
}

Login7 parseLogin7(const Bytes& payload) {
    if (payload.size() < kLogin7FixedSize) throw ProtocolError("LOGIN7 too short");
    ByteReader reader(payload);
    Login7 login;
    uint32_t declared = reader.u32le();
    if (declared > payload.size()) throw ProtocolError("LOGIN7 length beyond payload");
    login.tdsVersion = reader.u32le();
    login.packetSize = reader.u32le();
    reader.u32le();  // client program version
    login.clientPid = reader.u32le();
    reader.seek(25);
    login.integratedSecurity = (reader.u8() & kIntegratedSecurityFlag) != 0;
    for (const auto& field : kStringFields) {
        reader.seek(field.fieldOffset);
        uint16_t offset = reader.u16le();
        uint16_t characters = reader.u16le();
        login.*field.member = reader.ucs2At(offset, characters);
    }
    reader.seek(44);
    uint16_t passwordOffset = reader.u16le();
    uint16_t passwordChars = reader.u16le();
    reader.seek(passwordOffset);
    const uint8_t* scrambled = reader.take(size_t{passwordChars} * 2);
    Bytes plain = unscramblePassword(scrambled, size_t{passwordChars} * 2);
    login.password = utf16leToUtf8(plain.data(), plain.size());
    return login;
}

}  // namespace sandbox::tds
