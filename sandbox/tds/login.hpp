#pragma once
// PRELOGIN and LOGIN7: what the client asks for, and the server's PRELOGIN answer.

#include "tds/bytes.hpp"
#include "types/server_version.hpp"

#include <cstdint>
#include <string>

namespace sandbox::tds {

// TDS versions as LOGIN7 carries them (little-endian DWORD read as a number).
constexpr uint32_t kTds70 = 0x70000000;
constexpr uint32_t kTds71 = 0x71000001;

struct PreloginRequest {
    bool encryptionRequired = false;  // the client insists on TLS, which the server lacks
};

// Parses the option table; unknown options are skipped, malformed tables throw.
PreloginRequest parsePrelogin(const Bytes& payload);
// The reply of the imitated server: its version (8.00.2039 or 15.0.2000), no encryption (the
// sandbox has no TLS), no MARS entry.
Bytes preloginReply(const ServerVersion& version);

struct Login7 {
    uint32_t tdsVersion = 0;
    uint32_t packetSize = 4096;
    uint32_t clientPid = 0;
    bool integratedSecurity = false;
    std::string hostName, userName, password, appName, serverName, libraryName, language, database;

    // Major and minor of the requested version, e.g. 0x71 for 7.1, 0x74 for 7.4.
    int versionCode() const;
};

// Parses a LOGIN7 payload with every string read through its offset and bounds-checked.
Login7 parseLogin7(const Bytes& payload);
// Undoes the client's password scrambling (XOR 0xA5, nibble swap) of UCS-2LE bytes.
Bytes unscramblePassword(const uint8_t* data, size_t size);

}  // namespace sandbox::tds
