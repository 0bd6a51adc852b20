#include "catalog/server_version.h"

#include <charconv>

namespace makeddl::catalog {

namespace {

// The number at the start of `text`, and the text after it and one dot.
bool takeNumber(std::string_view& text, int& number) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (error != std::errc() || end == text.data()) return false;
  text.remove_prefix(static_cast<std::size_t>(end - text.data()));
  if (!text.empty() && text.front() == '.') text.remove_prefix(1);
  return true;
}

std::string releaseYear(const ServerVersion& version) {
  switch (version.major) {
    case 8: return "2000";
    case 9: return "2005";
    case 10: return version.minor >= 50 ? "2008 R2" : "2008";
    case 11: return "2012";
    case 12: return "2014";
    case 13: return "2016";
    case 14: return "2017";
    case 15: return "2019";
    case 16: return "2022";
    default: return "";
  }
}

}  // namespace

std::string serverVersionQuery() { return "select convert(varchar(32), serverproperty('ProductVersion'))"; }

ServerVersion parseProductVersion(std::string_view text) {
  ServerVersion version;
  std::string_view rest = text;
  int major = 0, minor = 0;
  if (takeNumber(rest, major) && takeNumber(rest, minor) && major >= 8) {
    version.major = major;
    version.minor = minor;
  }
  version.productVersion = std::string(text);
  return version;
}

std::string productName(const ServerVersion& version) {
  const std::string year = releaseYear(version);
  const std::string name = year.empty() ? "SQL Server" : "SQL Server " + year;
  return version.productVersion.empty() ? name : name + " (" + version.productVersion + ")";
}

std::string ownerNameFunction(const ServerVersion& version) {
  return version.hasCatalogViews() ? "schema_name" : "user_name";
}

std::string extendedPropertiesSource(const ServerVersion& version) {
  if (!version.hasCatalogViews()) return "sysproperties";
  return "(select major_id as id, minor_id as smallid, "
         "convert(tinyint, case when minor_id = 0 then 3 else 4 end) as type, name, value "
         "from sys.extended_properties where class = 1)";
}

}  // namespace makeddl::catalog
