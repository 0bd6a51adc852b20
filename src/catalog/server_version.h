#pragma once
// Which SQL Server a connection talks to, and the catalogue that version keeps. SQL Server 2000
// keeps extended properties in sysproperties; 2005 and later dropped that table for
// sys.extended_properties and put every object in a schema. The catalogue queries choose
// their texts by it, so that what they return stays the same on every version.

#include <string>
#include <string_view>

namespace makeddl::catalog {

struct ServerVersion {
  int major = 8;               // 8 = SQL Server 2000, 9 = 2005, ..., 15 = 2019, 16 = 2022
  int minor = 0;               // 50 for SQL Server 2008 R2
  std::string productVersion;  // as the server gives it: "8.00.2039", "15.0.2000.5"

  // SQL Server 2005 and later: sys.* catalogue views and schemas, no sysproperties.
  bool hasCatalogViews() const { return major >= 9; }
};

// The query whose single value is the server's product version.
std::string serverVersionQuery();

// The version from SERVERPROPERTY('ProductVersion'). A text that names no version (a NULL, an
// unknown server) counts as SQL Server 2000, whose catalogue every later version still imitates.
ServerVersion parseProductVersion(std::string_view text);

// "SQL Server 2019 (15.0.2000.5)", for the status bar.
std::string productName(const ServerVersion& version);

// The function that names an object's owner from sysobjects.uid: its schema on SQL Server 2005
// and later, the user who owns it on SQL Server 2000.
std::string ownerNameFunction(const ServerVersion& version);

// A table with sysproperties' columns (id, smallid, type, name, value) for the version: the
// table itself on SQL Server 2000, the object and column properties of sys.extended_properties
// in the same shape on later versions (type 3 for an object, 4 for a column).
std::string extendedPropertiesSource(const ServerVersion& version);

}  // namespace makeddl::catalog
