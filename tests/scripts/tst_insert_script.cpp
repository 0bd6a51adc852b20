// INSERT values and statements without a server: every kind of value as a literal the server
// reads back unchanged.

#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include "scripts/insert_script.h"

using namespace makeddl::scripts;
using makeddl::connection::ColumnInfo;
using makeddl::connection::FieldKind;

namespace {

ColumnInfo column(std::string name, FieldKind kind, int sqlType, std::string typeName = "") {
  return ColumnInfo{std::move(name), kind, sqlType, std::move(typeName)};
}

std::string value(FieldKind kind, int sqlType, std::optional<std::string> text) {
  return valueText(column("c", kind, sqlType), text);
}

TEST(InsertValues, StringsKeepEveryCharacterAndBlank) {
  EXPECT_EQ(value(FieldKind::Text, SQL_VARCHAR, "O'Neil"), "'O''Neil'");
  EXPECT_EQ(value(FieldKind::Text, SQL_VARCHAR, " a "), "' a '");
  EXPECT_EQ(value(FieldKind::Text, SQL_VARCHAR, ""), "''");
  EXPECT_EQ(value(FieldKind::Text, SQL_CHAR, "  "), "'  '");
  EXPECT_EQ(value(FieldKind::Text, SQL_LONGVARCHAR, "a\r\nb"), "'a\r\nb'");
  EXPECT_EQ(value(FieldKind::Text, SQL_VARCHAR, std::nullopt), "NULL");
}

TEST(InsertValues, NationalStringsAreNationalLiterals) {
  EXPECT_EQ(value(FieldKind::Text, SQL_WVARCHAR, "☃ 部门"), "N'☃ 部门'");
  EXPECT_EQ(value(FieldKind::Text, SQL_WCHAR, "x'"), "N'x'''");
  EXPECT_EQ(value(FieldKind::Text, SQL_WLONGVARCHAR, ""), "N''");
}

TEST(InsertValues, DateTimesKeepMillisecondsOnlyWhenThereAreSome) {
  EXPECT_EQ(value(FieldKind::DateTime, SQL_TYPE_TIMESTAMP, "2003-12-01 08:30:00.000"),
            "'2003-12-01 08:30:00'");
  EXPECT_EQ(value(FieldKind::DateTime, SQL_TYPE_TIMESTAMP, "2003-12-15 00:00:00"), "'2003-12-15 00:00:00'");
  EXPECT_EQ(value(FieldKind::DateTime, SQL_TYPE_TIMESTAMP, "2003-12-15"), "'2003-12-15 00:00:00'");
  EXPECT_EQ(value(FieldKind::DateTime, SQL_TYPE_TIMESTAMP, "2024-02-29 13:45:07.997"),
            "'2024-02-29 13:45:07.997'");
  EXPECT_EQ(value(FieldKind::DateTime, SQL_TYPE_TIMESTAMP, "2024-02-29 13:45:07.5"),
            "'2024-02-29 13:45:07.500'");
}

TEST(InsertValues, BitsBinariesAndIdentifiers) {
  EXPECT_EQ(value(FieldKind::Boolean, SQL_BIT, "1"), "1");
  EXPECT_EQ(value(FieldKind::Boolean, SQL_BIT, "0"), "0");
  EXPECT_EQ(value(FieldKind::Boolean, SQL_BIT, std::nullopt), "NULL");
  EXPECT_EQ(value(FieldKind::Binary, SQL_VARBINARY, std::string("\x00\xFF\x10", 3)), "0x00FF10");
  EXPECT_EQ(value(FieldKind::Binary, SQL_BINARY, std::string("  ")), "0x2020");
  EXPECT_EQ(value(FieldKind::Binary, SQL_LONGVARBINARY, ""), "0x");
  const std::string stamp("\x00\x00\x00\x00\x00\x00\x07\xD1", 8);
  EXPECT_EQ(valueText(column("b", FieldKind::Binary, SQL_BINARY, "binary"), stamp), "0x00000000000007D1");
  EXPECT_EQ(valueText(column("ts", FieldKind::Binary, SQL_BINARY, "timestamp"), stamp), "DEFAULT");
  EXPECT_EQ(valueText(column("ts", FieldKind::Binary, SQL_BINARY, "timestamp"), std::nullopt), "DEFAULT");
  EXPECT_EQ(value(FieldKind::Other, SQL_GUID, "6F9619FF-8B86-D011-B42D-00C04FC964FF"),
            "'6F9619FF-8B86-D011-B42D-00C04FC964FF'");
}

TEST(InsertValues, NumbersAreTheServersTextWithoutTrailingDecimalZeros) {
  EXPECT_EQ(value(FieldKind::Other, SQL_INTEGER, "-12"), "-12");
  EXPECT_EQ(value(FieldKind::Other, SQL_DECIMAL, "1500.5000"), "1500.5");
  EXPECT_EQ(value(FieldKind::Other, SQL_DECIMAL, "2000.0000"), "2000");
  EXPECT_EQ(value(FieldKind::Other, SQL_NUMERIC, "-0.10"), "-0.1");
  EXPECT_EQ(value(FieldKind::Other, SQL_NUMERIC, "100"), "100");
  EXPECT_EQ(value(FieldKind::Other, SQL_FLOAT, "1e+20"), "1e+20");  // already the shortest exact text
  EXPECT_EQ(value(FieldKind::Other, SQL_REAL, "0.1"), "0.1");
}

TEST(InsertStatements, WorkedExampleRows) {
  const std::vector<ColumnInfo> columns{column("emp_id", FieldKind::Other, SQL_INTEGER),
                                        column("emp_name", FieldKind::Text, SQL_VARCHAR),
                                        column("hired", FieldKind::DateTime, SQL_TYPE_TIMESTAMP),
                                        column("active", FieldKind::Boolean, SQL_BIT),
                                        column("salary", FieldKind::Other, SQL_DECIMAL),
                                        column("note", FieldKind::Text, SQL_VARCHAR)};
  EXPECT_EQ(insertStatement("t_emp", columns,
                            {"1", "Wang", "2003-12-01 08:30:00.000", "1", "1500.5000", std::nullopt}),
            "INSERT INTO t_emp (emp_id,emp_name,hired,active,salary,note) VALUES "
            "(1,'Wang','2003-12-01 08:30:00',1,1500.5,NULL)");
  EXPECT_EQ(insertStatement("my table",
                            {column("order", FieldKind::Other, SQL_INTEGER),
                             column("it's", FieldKind::Other, SQL_INTEGER)},
                            {"1", "2"}),
            "INSERT INTO [my table] ([order],[it's]) VALUES (1,2)");
}

}  // namespace
