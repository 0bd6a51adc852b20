// The server's version from its product version text, and the catalogue that goes with it.

#include <gtest/gtest.h>

#include "catalog/server_version.h"

using namespace makeddl::catalog;

TEST(ServerVersion, ProductVersionsOfEveryReleaseAreNamedAndPickTheirCatalogue) {
  const struct {
    const char* text;
    int major;
    const char* name;
  } releases[] = {
      {"8.00.2039", 8, "SQL Server 2000 (8.00.2039)"},
      {"9.00.1399.06", 9, "SQL Server 2005 (9.00.1399.06)"},
      {"10.0.1600.22", 10, "SQL Server 2008 (10.0.1600.22)"},
      {"10.50.1600.1", 10, "SQL Server 2008 R2 (10.50.1600.1)"},
      {"15.0.2000.5", 15, "SQL Server 2019 (15.0.2000.5)"},
      {"16.0.1000.6", 16, "SQL Server 2022 (16.0.1000.6)"},
      {"17.0.100.1", 17, "SQL Server (17.0.100.1)"},  // a release after this program
  };
  for (const auto& release : releases) {
    const ServerVersion version = parseProductVersion(release.text);
    EXPECT_EQ(version.major, release.major) << release.text;
    EXPECT_EQ(productName(version), release.name);
    EXPECT_EQ(version.hasCatalogViews(), release.major >= 9) << release.text;
    EXPECT_EQ(extendedPropertiesSource(version) == "sysproperties", release.major < 9) << release.text;
  }
}

// A server that gives no version (NULL) or something else is read as SQL Server 2000, whose
// catalogue every later version still imitates.
TEST(ServerVersion, AnUnreadableVersionIsReadAsSqlServer2000) {
  for (const char* text : {"", "Microsoft SQL Server", "7.00.623", ".15"}) {
    const ServerVersion version = parseProductVersion(text);
    EXPECT_EQ(version.major, 8) << text;
    EXPECT_FALSE(version.hasCatalogViews()) << text;
  }
  EXPECT_EQ(productName(parseProductVersion("")), "SQL Server 2000");
}
