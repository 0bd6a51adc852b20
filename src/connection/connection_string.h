#pragma once
// Connection strings: the OLE DB form the tool has always built for SQL Server, and its
// translation into the ODBC driver's own form.

#include <map>
#include <string>
#include <string_view>

#include "connection/login.h"

namespace makeddl::connection {

// The OLE DB connection string for the SQL Server provider. Values go in as given; a value
// that would split the string (";", a leading or trailing blank, a quote) is quoted by the
// provider's rules, so values that need no quoting appear exactly as typed.
std::string oleDbConnectionString(const LoginParameters& login, std::string_view computerName);

// The entries of an OLE DB connection string, keyed by lower-case name; quoted values
// unquoted. Throws std::invalid_argument for an unterminated quote.
std::map<std::string, std::string> parseOleDbConnectionString(std::string_view text);

// Settings for the ODBC driver that are not part of the OLE DB string.
struct DriverSettings {
  std::string driver = "{FreeTDS}";  // a registered driver name in braces, or a library path
  std::string tdsVersion = "7.1";    // pinned: newer versions can hang on a refused login
  int loginTimeoutSeconds = 5;       // an unreachable server never blocks the window for long
  int queryTimeoutSeconds = 0;       // 0: a statement runs as long as it needs (a backup, a restore)
  std::string applicationName = "SQL SERVER 工具";
  // The driver's Encryption setting: off, request or require; empty leaves the driver's own
  // default (request). Newer servers may insist on encryption.
  std::string encryption;
};

// Driver settings from the environment: MAKEDDL_ODBC_DRIVER (a registered name or a library
// path), MAKEDDL_TDS_VERSION, MAKEDDL_LOGIN_TIMEOUT and MAKEDDL_QUERY_TIMEOUT (seconds),
// MAKEDDL_ENCRYPT (off, request, require; in any letter case); the defaults otherwise. Any other
// encryption value is handed on as it is: the driver then refuses to connect rather than fall
// back to a weaker setting.
DriverSettings driverSettingsFromEnvironment();

// The ODBC connection string for an OLE DB connection string, each value escaped by ODBC's
// rules (braces where needed). Throws std::invalid_argument for a string it cannot read.
// Neither timeout goes into it: FreeTDS reads its "Timeout" key as a limit on every
// statement, so the connection sets the login and statement limits as ODBC attributes.
std::string odbcConnectionString(std::string_view oleDbString, const DriverSettings& settings);

// An ODBC attribute value, in braces with "}" doubled when it holds a character that would
// otherwise end or change it.
std::string odbcValue(std::string_view value);

}  // namespace makeddl::connection
