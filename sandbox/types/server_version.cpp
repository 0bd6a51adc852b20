#include "types/server_version.hpp"

namespace sandbox {

ServerVersion ServerVersion::sql2000() { return {8, 0, 2039, 0}; }
ServerVersion ServerVersion::sql2019() { return {15, 0, 2000, 5}; }

std::optional<ServerVersion> ServerVersion::named(std::string_view year) {
    if (year == "2000") return sql2000();
    if (year == "2019") return sql2019();
    return std::nullopt;
}

// SQL Server 2000 writes its minor version with two digits and no revision.
std::string ServerVersion::productVersion() const {
    if (!since2005()) return std::to_string(major) + ".00." + std::to_string(build);
    return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(build) + "." +
           std::to_string(revision);
}

std::string ServerVersion::productLevel() const { return since2005() ? "RTM" : "SP4"; }

std::string ServerVersion::edition() const { return since2005() ? "Developer Edition (64-bit)" : "Developer Edition"; }

std::string ServerVersion::banner() const {
    if (!since2005())
        return "Microsoft SQL Server  2000 - 8.00.2039 (Intel X86) \n\tMay  3 2005 23:18:38 \n\tCopyright (c) 1988-2003 "
               "Microsoft Corporation\n\tDeveloper Edition on Windows NT 5.1 (Build 2600: Service Pack 2)\n";
    return "Microsoft SQL Server 2019 (RTM) - 15.0.2000.5 (X64) \n\tSep 24 2019 13:48:23 \n\tCopyright (C) 2019 "
           "Microsoft Corporation\n\tDeveloper Edition (64-bit) on Linux (Ubuntu 18.04.3 LTS) <X64>";
}

int64_t ServerVersion::microsoftVersion() const {
    return (int64_t{major} << 24) | (int64_t{minor} << 16) | int64_t{build};
}

}  // namespace sandbox
