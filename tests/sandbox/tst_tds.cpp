// Packet and token layer: bytes on the wire checked against known captures.

#include "tds/login.hpp"
#include "tds/packet.hpp"
#include "tds/tokens.hpp"

#include <gtest/gtest.h>

#include <cstring>

using namespace sandbox;
using namespace sandbox::tds;

namespace {

Bytes hex(std::string_view text) {
    Bytes out;
    for (size_t i = 0; i + 1 < text.size();) {
        if (text[i] == ' ') { ++i; continue; }
        out.push_back(static_cast<uint8_t>(std::stoi(std::string(text.substr(i, 2)), nullptr, 16)));
        i += 2;
    }
    return out;
}

ByteSource sourceOf(const Bytes& bytes, size_t chunk = 3) {
    auto position = std::make_shared<size_t>(0);
    return [bytes, position, chunk](uint8_t* into, size_t size) {
        size_t n = std::min({size, chunk, bytes.size() - *position});
        std::memcpy(into, bytes.data() + *position, n);
        *position += n;
        return n;
    };
}

Bytes packet(uint8_t type, uint8_t status, const Bytes& payload) {
    Bytes out = {type, status, static_cast<uint8_t>((payload.size() + 8) >> 8),
                 static_cast<uint8_t>((payload.size() + 8) & 0xFF), 0, 0, 1, 0};
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

}  // namespace

TEST(SandboxPacketReader, ReassemblesMessageSplitAcrossPacketsAndReads) {
    Bytes stream = packet(0x01, 0x00, hex("41 00"));
    Bytes second = packet(0x01, 0x01, hex("42 00"));
    stream.insert(stream.end(), second.begin(), second.end());
    PacketReader reader(sourceOf(stream), {});
    auto message = reader.next();
    ASSERT_TRUE(message);
    EXPECT_EQ(message->type, PacketType::SqlBatch);
    EXPECT_EQ(message->payload, hex("41 00 42 00"));
    EXPECT_FALSE(reader.next());  // clean end of stream between messages
}

TEST(SandboxPacketReader, RejectsMalformedTruncatedAndOversizedInput) {
    PacketReader shortLength(sourceOf(hex("01 01 00 04 00 00 01 00")), {});
    EXPECT_THROW(shortLength.next(), ProtocolError);

    Bytes truncated = packet(0x01, 0x01, hex("41 00 42 00"));
    truncated.resize(truncated.size() - 2);
    PacketReader cut(sourceOf(truncated), {});
    EXPECT_THROW(cut.next(), ProtocolError);

    PacketReader big(sourceOf(packet(0x01, 0x01, Bytes(600, 0x41))), {.maxPacket = 512});
    EXPECT_THROW(big.next(), ProtocolError);

    Bytes stream = packet(0x01, 0x00, Bytes(100, 1));
    for (int i = 0; i < 3; ++i) {
        Bytes more = packet(0x01, 0x00, Bytes(100, 1));
        stream.insert(stream.end(), more.begin(), more.end());
    }
    PacketReader huge(sourceOf(stream), {.maxPacket = 4096, .maxMessage = 250});
    EXPECT_THROW(huge.next(), ProtocolError);

    Bytes mixed = packet(0x01, 0x00, hex("41 00"));
    Bytes other = packet(0x03, 0x01, hex("41 00"));
    mixed.insert(mixed.end(), other.begin(), other.end());
    PacketReader changing(sourceOf(mixed), {});
    EXPECT_THROW(changing.next(), ProtocolError);
}

TEST(SandboxMessageWriter, SplitsAtPacketSizeWithEomOnlyOnLastAndSpidInEveryHeader) {
    std::vector<Bytes> packets;
    MessageWriter writer([&](const uint8_t* d, size_t n) { packets.emplace_back(d, d + n); }, 512, 53);
    writer.body().append(Bytes(504 * 2 + 10, 0x7A));
    writer.finish();
    ASSERT_EQ(packets.size(), 3u);
    EXPECT_EQ(Bytes(packets[0].begin(), packets[0].begin() + 8), hex("04 00 02 00 00 35 01 00"));
    EXPECT_EQ(Bytes(packets[1].begin(), packets[1].begin() + 8), hex("04 00 02 00 00 35 02 00"));
    EXPECT_EQ(Bytes(packets[2].begin(), packets[2].begin() + 8), hex("04 01 00 12 00 35 03 00"));

    packets.clear();
    writer.body().append(Bytes(504, 1));  // exactly one packet's payload: still one EOM packet
    writer.finish();
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0][1], 0x01);
}

TEST(SandboxPrelogin, ReplyNamesTheImitatedVersionWithoutEncryptionOrMars) {
    const std::string options = "00 00 15 00 06 01 00 1B 00 01 02 00 1C 00 01 03 00 1D 00 00 FF ";
    EXPECT_EQ(preloginReply(ServerVersion::sql2000()), hex(options + "08 00 07 F7 00 00 02 00"));
    EXPECT_EQ(preloginReply(ServerVersion::sql2019()), hex(options + "0F 00 07 D0 00 00 02 00"));
}

TEST(SandboxPrelogin, ParsesFreeTdsRequestAndSkipsUnknownOptions) {
    Bytes freetds = hex("00 00 15 00 06 01 00 1B 00 01 02 00 1C 00 0C 03 00 28 00 04 FF "
                        "08 00 01 55 00 00 02 4D 53 53 51 4C 53 65 72 76 65 72 00 01 02 03 04");
    EXPECT_FALSE(parsePrelogin(freetds).encryptionRequired);
    Bytes withUnknown = hex("06 00 0B 00 01 01 00 0C 00 01 FF 01 01");
    EXPECT_TRUE(parsePrelogin(withUnknown).encryptionRequired);
    EXPECT_THROW(parsePrelogin(hex("01 00 30 00 01 FF")), ProtocolError);
    EXPECT_THROW(parsePrelogin(hex("01 00")), ProtocolError);
}

TEST(SandboxLogin7, ParsesTsqlCaptureWithPasswordUnscrambled) {
    Bytes login = hex(
        "AC 00 00 00 01 00 00 71 00 10 00 00 06 83 F2 F8 DE 46 00 00 00 00 00 00 E0 03 00 00 88 FF FF FF "
        "36 04 00 00 56 00 02 00 5A 00 02 00 5E 00 02 00 62 00 04 00 6A 00 09 00 00 00 00 00 7C 00 0B 00 "
        "92 00 0A 00 A6 00 03 00 02 FC 00 00 00 01 AC 00 00 00 AC 00 00 00 "
        "76 00 6D 00 73 00 61 00 A2 A5 D2 A5 54 00 53 00 51 00 4C 00 "
        "31 00 32 00 37 00 2E 00 30 00 2E 00 30 00 2E 00 31 00 "
        "54 00 44 00 53 00 2D 00 4C 00 69 00 62 00 72 00 61 00 72 00 79 00 "
        "75 00 73 00 5F 00 65 00 6E 00 67 00 6C 00 69 00 73 00 68 00 64 00 62 00 31 00");
    Login7 parsed = parseLogin7(login);
    EXPECT_EQ(parsed.versionCode(), 0x71);
    EXPECT_EQ(parsed.packetSize, 4096u);
    EXPECT_EQ(parsed.hostName, "vm");
    EXPECT_EQ(parsed.userName, "sa");
    EXPECT_EQ(parsed.password, "pw");
    EXPECT_EQ(parsed.appName, "TSQL");
    EXPECT_EQ(parsed.serverName, "127.0.0.1");
    EXPECT_EQ(parsed.libraryName, "TDS-Library");
    EXPECT_EQ(parsed.language, "us_english");
    EXPECT_EQ(parsed.database, "db1");
    EXPECT_FALSE(parsed.integratedSecurity);

    Bytes badOffset = login;
    badOffset[40] = 0xF0;  // user name offset beyond the payload
    EXPECT_THROW(parseLogin7(badOffset), ProtocolError);
    EXPECT_THROW(parseLogin7(Bytes(login.begin(), login.begin() + 50)), ProtocolError);
}

TEST(SandboxTokens, LoginTokensMatchReferenceBytes) {
    ByteWriter w;
    writeEnvChange(w, EnvChange::Database, "master", "master");
    EXPECT_EQ(w.bytes(), hex("E3 1B 00 01 06 6D 00 61 00 73 00 74 00 65 00 72 00 06 6D 00 61 00 73 00 74 00 65 00 72 00"));
    w.clear();
    writeCollationChange(w);
    EXPECT_EQ(w.bytes(), hex("E3 08 00 07 05 04 08 D0 00 00 00"));
    w.clear();
    writeEnvChange(w, EnvChange::PacketSize, "4096", "4096");
    EXPECT_EQ(w.bytes(), hex("E3 13 00 04 04 34 00 30 00 39 00 36 00 04 34 00 30 00 39 00 36 00"));
    w.clear();
    writeLoginAck(w, Encoding{0x71}, ServerVersion::sql2000());
    Bytes ack = w.bytes();
    EXPECT_EQ(Bytes(ack.begin(), ack.begin() + 8), hex("AD 32 00 01 71 00 00 01"));
    EXPECT_EQ(Bytes(ack.end() - 4, ack.end()), hex("08 00 07 F7"));
    w.clear();
    writeLoginAck(w, Encoding{0x71}, ServerVersion::sql2019());  // a TDS 7.1 client still gets 7.1
    ack = w.bytes();
    EXPECT_EQ(Bytes(ack.begin(), ack.begin() + 8), hex("AD 32 00 01 71 00 00 01"));
    EXPECT_EQ(Bytes(ack.end() - 4, ack.end()), hex("0F 00 07 D0"));
}

TEST(SandboxTokens, MessageAndDoneWidthsFollowTheVersion) {
    ByteWriter w;
    ServerMessage m{208, 1, 16, "Invalid object name 'nosuch'.", "", 1};
    writeMessage(w, m, "SRV", Encoding{0x71});
    Bytes expected = hex("AA 4C 00 D0 00 00 00 01 10 1D 00");
    Bytes text = utf8ToUtf16le("Invalid object name 'nosuch'.");
    expected.insert(expected.end(), text.begin(), text.end());
    Bytes tail = hex("03 53 00 52 00 56 00 00 01 00");
    expected.insert(expected.end(), tail.begin(), tail.end());
    EXPECT_EQ(w.bytes(), expected);
    w.clear();
    writeMessage(w, m, "SRV", Encoding{0x72});
    EXPECT_EQ(w.size(), expected.size() + 2);

    w.clear();
    writeDone(w, DoneToken::Done, kDoneCount, 0xC1, 2, Encoding{0x71});
    EXPECT_EQ(w.bytes(), hex("FD 10 00 C1 00 02 00 00 00"));
    w.clear();
    writeDone(w, DoneToken::Done, kDoneCount, 0xC1, 1, Encoding{0x72});
    EXPECT_EQ(w.bytes(), hex("FD 10 00 C1 00 01 00 00 00 00 00 00 00"));
}

namespace {
ColumnInfo col(std::string name, SqlType type, bool nullable) {
    ColumnInfo c;
    c.name = std::move(name);
    c.type = type;
    c.nullable = nullable;
    return c;
}
Bytes rowBytes(const ColumnInfo& column, const Value& value) {
    ByteWriter w;
    writeRow(w, {column}, &value, Encoding{0x71});
    return Bytes(w.bytes().begin() + 1, w.bytes().end());
}
// TYPE_INFO of a one-column COLMETADATA: after token, count, user type and flags, before the
// one-character column name.
Bytes typeInfoBytes(const ColumnInfo& column) {
    ByteWriter w;
    writeColumnMetadata(w, {column}, Encoding{0x71});
    return Bytes(w.bytes().begin() + 7, w.bytes().end() - 3);
}
}  // namespace

TEST(SandboxTokens, ValuesAreEncodedAsTdsDefinesThem) {
    ColumnInfo dec = col("d", SqlType::decimal(10, 2), true);
    EXPECT_EQ(rowBytes(dec, Value::decimal({-123456, 2}, dec.type)), hex("09 00 40 E2 01 00 00 00 00 00"));
    EXPECT_EQ(typeInfoBytes(dec), hex("6A 09 0A 02"));

    ColumnInfo money = col("m", SqlType::of(TypeId::Money), false);
    EXPECT_EQ(rowBytes(money, Value::decimal({-10000, 4}, money.type)), hex("FF FF FF FF F0 D8 FF FF"));
    ColumnInfo smallMoney = col("m", SqlType::of(TypeId::SmallMoney), true);
    EXPECT_EQ(rowBytes(smallMoney, Value::decimal({123456, 4}, smallMoney.type)), hex("04 40 E2 01 00"));

    ColumnInfo when = col("t", SqlType::of(TypeId::DateTime), false);
    EXPECT_EQ(rowBytes(when, Value::dateTime({45304, 14859150})), hex("F8 B0 00 00 8E BB E2 00"));
    ColumnInfo smallWhen = col("t", SqlType::of(TypeId::SmallDateTime), false);
    EXPECT_EQ(rowBytes(smallWhen, Value::dateTime({45304, (13 * 60 + 45) * 60 * 300}, TypeId::SmallDateTime)),
              hex("F8 B0 39 03"));

    ColumnInfo varcharColumn = col("v", SqlType::chars(TypeId::VarChar, 10), true);
    EXPECT_EQ(rowBytes(varcharColumn, Value::text("中文", varcharColumn.type)), hex("04 00 D6 D0 CE C4"));
    EXPECT_EQ(rowBytes(varcharColumn, Value::null(varcharColumn.type)), hex("FF FF"));
    EXPECT_EQ(rowBytes(varcharColumn, Value::text("", varcharColumn.type)), hex("00 00"));
    ColumnInfo charColumn = col("c", SqlType::chars(TypeId::Char, 3), true);
    EXPECT_EQ(rowBytes(charColumn, Value::text("a", charColumn.type)), hex("03 00 61 20 20"));
    ColumnInfo nvarcharColumn = col("n", SqlType::chars(TypeId::NVarChar, 10), true);
    EXPECT_EQ(rowBytes(nvarcharColumn, Value::text("中文", nvarcharColumn.type)), hex("04 00 2D 4E 87 65"));
    EXPECT_EQ(typeInfoBytes(nvarcharColumn),
              hex("E7 14 00 04 08 D0 00 00"));

    ColumnInfo nullableInt = col("i", SqlType::of(TypeId::Int), true);
    EXPECT_EQ(rowBytes(nullableInt, Value::integer(42)), hex("04 2A 00 00 00"));
    EXPECT_EQ(rowBytes(nullableInt, Value::null(nullableInt.type)), hex("00"));

    ColumnInfo text = col("t", SqlType::of(TypeId::Text), true);
    text.tableName = "t";
    Bytes lob = rowBytes(text, Value::text("ab", text.type));
    EXPECT_EQ(lob[0], 16);
    EXPECT_EQ(Bytes(lob.end() - 6, lob.end()), hex("02 00 00 00 61 62"));
    EXPECT_EQ(typeInfoBytes(text),
              hex("23 FF FF FF 7F 04 08 D0 00 00 01 00 74 00"));
}

TEST(SandboxTokens, SqlVariantCarriesItsBaseType) {
    ColumnInfo variant = col("v", SqlType::of(TypeId::SqlVariant), true);
    EXPECT_EQ(rowBytes(variant, Value::integer(42)), hex("06 00 00 00 38 00 2A 00 00 00"));
    EXPECT_EQ(rowBytes(variant, Value::nvarchar("ab")), hex("0D 00 00 00 E7 07 04 08 D0 00 00 04 00 61 00 62 00"));
    EXPECT_EQ(rowBytes(variant, Value::decimal({-123456, 2}, SqlType::decimal(10, 2))),
              hex("0D 00 00 00 6A 02 0A 02 00 40 E2 01 00 00 00 00 00"));
    EXPECT_EQ(rowBytes(variant, Value::null(variant.type)), hex("00 00 00 00"));
}
