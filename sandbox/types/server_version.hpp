#pragma once
// Which SQL Server the sandbox imitates: SQL Server 2000 SP4 (the default) or SQL Server 2019
// RTM, and the version it reports in PRELOGIN, LOGINACK, the discovery answer, SERVERPROPERTY,
// @@VERSION and @@MICROSOFTVERSION.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sandbox {

struct ServerVersion {
    int major = 8, minor = 0, build = 2039, revision = 0;

    static ServerVersion sql2000();
    static ServerVersion sql2019();
    // "2000" or "2019", as --version takes it.
    static std::optional<ServerVersion> named(std::string_view year);

    // SQL Server 2005 and later: schemas, the sys catalogue views, the newer types, and no
    // sysproperties.
    bool since2005() const { return major >= 9; }
    // SERVERPROPERTY('ProductVersion'): "8.00.2039", "15.0.2000.5".
    std::string productVersion() const;
    // SERVERPROPERTY('ProductLevel'): "SP4", "RTM".
    std::string productLevel() const;
    // SERVERPROPERTY('Edition').
    std::string edition() const;
    // @@VERSION.
    std::string banner() const;
    // @@MICROSOFTVERSION: major << 24 | minor << 16 | build.
    int64_t microsoftVersion() const;
    bool operator==(const ServerVersion&) const = default;
};

}  // namespace sandbox
