#pragma once
// Token writers for the server's replies: login tokens, messages, DONE, column metadata and rows.

#include "tds/bytes.hpp"
#include "types/server_version.hpp"
#include "types/value.hpp"

#include <string>
#include <vector>

namespace sandbox::tds {

// How tokens are encoded: by the TDS version in force (0x70, 0x71, 0x72, ...).
struct Encoding {
    int version = 0x71;
    bool wide() const { return version >= 0x72; }         // 4-byte line numbers, 8-byte counts
    bool hasCollation() const { return version >= 0x71; }  // collation in TYPE_INFO and ENVCHANGE
};

// The server collation Chinese_PRC_CI_AS (LCID 0x0804, code page 936).
inline constexpr uint8_t kCollation[5] = {0x04, 0x08, 0xD0, 0x00, 0x00};

enum class EnvChange : uint8_t { Database = 1, Language = 2, CharacterSet = 3, PacketSize = 4, Collation = 7 };

struct ServerMessage {
    int number = 0;
    int state = 1;
    int severity = 16;
    std::string text;
    std::string procedure;
    int line = 1;
    bool isError() const { return severity > 10; }
};

enum DoneStatus : uint16_t {
    kDoneFinal = 0x0000,
    kDoneMore = 0x0001,
    kDoneError = 0x0002,
    kDoneCount = 0x0010,
    kDoneAttention = 0x0020,
};

enum class DoneToken : uint8_t { Done = 0xFD, DoneProc = 0xFE, DoneInProc = 0xFF };

struct ColumnInfo {
    std::string name;
    SqlType type;
    bool nullable = true;
    bool identity = false;
    std::string tableName;  // sent for text, ntext and image columns
};

void writeEnvChange(ByteWriter& w, EnvChange type, std::string_view newValue, std::string_view oldValue);
void writeCollationChange(ByteWriter& w);
void writeMessage(ByteWriter& w, const ServerMessage& message, std::string_view serverName, Encoding enc);
// LOGINACK naming the imitated server's version with the negotiated TDS version (7.0 or 7.1).
void writeLoginAck(ByteWriter& w, Encoding enc, const ServerVersion& version);
void writeDone(ByteWriter& w, DoneToken token, uint16_t status, uint16_t command, uint64_t count, Encoding enc);
void writeReturnStatus(ByteWriter& w, int32_t status);
void writeColumnMetadata(ByteWriter& w, const std::vector<ColumnInfo>& columns, Encoding enc);
// One ROW token; each value must already have its column's type (NULL allowed where nullable).
void writeRow(ByteWriter& w, const std::vector<ColumnInfo>& columns, const Value* values, Encoding enc);

}  // namespace sandbox::tds
