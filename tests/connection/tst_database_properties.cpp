#include "connection/database_properties.h"

#include <gtest/gtest.h>

using namespace makeddl::connection;

TEST(DatabaseProperties, SizeIsKilobytesUpTo1024ThenMegabytesWithTwoDecimals) {
  EXPECT_EQ(databaseSizeText(0, '.'), "0 KB");
  EXPECT_EQ(databaseSizeText(1024, '.'), "1024 KB");
  EXPECT_EQ(databaseSizeText(1032, '.'), "1.01 MB");
  EXPECT_EQ(databaseSizeText(1032, ','), "1,01 MB");
  EXPECT_EQ(databaseSizeText(3 * 1024 * 1024, '.'), "3072.00 MB");
}

TEST(DatabaseProperties, CreationDateIsWrittenOnA24HourClock) {
  EXPECT_EQ(creationDateText({2003, 7, 9, 17, 5, 3, 120}, ':'), "2003-07-09 17:05:03");
  EXPECT_EQ(creationDateText({1999, 12, 31, 0, 0, 0, 0}, '.'), "1999-12-31 00.00.00");
}
