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
  EXPECT_EQ(value(FieldKind::Text, SQL_LONGVARCHAR, "a\r\nb"), "'a'+char(13)+char(10)+'b'");
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

namespace {

std::vector<std::string> written(const std::vector<ColumnInfo>& columns,
                                 const std::vector<std::vector<std::optional<std::string>>>& rows,
                                 std::size_t scripted = std::string::npos) {
  std::vector<std::string> lines;
  InsertScriptWriter writer([&lines](const std::string& line) { lines.push_back(line); });
  writer.beginTable("t", columns, scripted);
  for (const auto& row : rows) writer.addRow(row);
  writer.finish();
  return lines;
}

}  // namespace

// Every string kind keeps every control character: each is written as its code.
TEST(InsertValues, ControlCharactersOfEveryStringKindAreWrittenAsCodes) {
  const std::string controls("a\r\nb\nc\rd\0e\x01\x1f\tf", 14);
  for (int sqlType : {SQL_CHAR, SQL_VARCHAR, SQL_LONGVARCHAR})
    EXPECT_EQ(value(FieldKind::Text, sqlType, controls),
              "'a'+char(13)+char(10)+'b'+char(10)+'c'+char(13)+'d'+char(0)+'e'+char(1)+char(31)+'\tf'");
  for (int sqlType : {SQL_WCHAR, SQL_WVARCHAR, SQL_WLONGVARCHAR})
    EXPECT_EQ(value(FieldKind::Text, sqlType, "x\r\ny"), "N'x'+nchar(13)+nchar(10)+N'y'");
}

// A text value longer than one expression holds, with control characters in it, is built in a
// temporary table piece by piece; the script declares what that needs once and drops it at the end.
TEST(InsertStatements, LongTextWithControlCharactersIsBuiltPieceByPiece) {
  const std::vector<ColumnInfo> columns{column("id", FieldKind::Other, SQL_INTEGER),
                                        column("body", FieldKind::Text, SQL_LONGVARCHAR),
                                        column("ts", FieldKind::Binary, SQL_BINARY, "timestamp")};
  const std::string body = std::string(7999, 'x') + "\n" + "yz";
  const std::vector<std::string> lines = written(columns, {{"1", body, "stamp"}, {"2", "short\n", "stamp"}});
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "",
                       "----  t",
                       "",
                       "DECLARE @makeddl_ptr varbinary(16),@makeddl_piece varchar(8000),@makeddl_npiece "
                       "nvarchar(4000)",
                       "CREATE TABLE #makeddl_text (id int NOT NULL,t text NULL,n ntext NULL)",
                       "DELETE FROM #makeddl_text",
                       "INSERT INTO #makeddl_text (id,t,n) VALUES (2,'',NULL)",
                       "SELECT @makeddl_ptr=TEXTPTR(t) FROM #makeddl_text WHERE id=2",
                       "SET @makeddl_piece='" + std::string(7999, 'x') + "'+char(10)",
                       "UPDATETEXT #makeddl_text.t @makeddl_ptr NULL 0 @makeddl_piece",
                       "SET @makeddl_piece='yz'",
                       "UPDATETEXT #makeddl_text.t @makeddl_ptr NULL 0 @makeddl_piece",
                       "INSERT INTO t (id,body) SELECT 1,v2.t FROM #makeddl_text v2 WHERE v2.id=2",
                       "INSERT INTO t (id,body,ts) VALUES (2,'short'+char(10),DEFAULT)",
                       "DROP TABLE #makeddl_text",
                   }));
  // Without control characters a long value is one literal, however long.
  const std::vector<std::string> plain = written(columns, {{"3", std::string(9000, 'q'), std::nullopt}});
  EXPECT_EQ(plain.size(), 4u);
  // National text is counted in characters: 4,000 fit one expression, 4,001 do not.
  const std::vector<ColumnInfo> national{column("n", FieldKind::Text, SQL_WLONGVARCHAR)};
  EXPECT_EQ(written(national, {{std::string(3999 * 3, '\0').replace(0, 3999 * 3, 3999, 'x') + "\n"}}).size(), 4u);
  const std::vector<std::string> longNational = written(national, {{"部" + std::string(3999, 'y') + "\n"}});
  EXPECT_EQ(longNational.at(6), "INSERT INTO #makeddl_text (id,t,n) VALUES (1,NULL,N'')");
  EXPECT_EQ(longNational.at(9), "UPDATETEXT #makeddl_text.n @makeddl_ptr NULL 0 @makeddl_npiece");
  EXPECT_EQ(longNational.at(10), "SET @makeddl_npiece=nchar(10)");
}

// A result column without a name cannot be inserted into: the script is refused, naming it.
TEST(InsertStatements, AnUnnamedColumnIsRefusedByItsPosition) {
  const std::vector<ColumnInfo> columns{column("a", FieldKind::Other, SQL_INTEGER),
                                        column("", FieldKind::Other, SQL_INTEGER)};
  try {
    written(columns, {{"1", "6"}});
    FAIL() << "no error";
  } catch (const std::runtime_error& error) {
    EXPECT_NE(std::string(error.what()).find("第 2 列"), std::string::npos) << error.what();
  }
}

// sql_variant values are cast to the base type the server reported beside them; without it
// (a query's result) the script is refused rather than turning the value into text.
TEST(InsertStatements, VariantsKeepTheirBaseType) {
  const std::vector<ColumnInfo> columns{column("v", FieldKind::Other, -150),
                                        column("v 的类型", FieldKind::Text, SQL_VARCHAR)};
  const auto statement = [&](std::string text, std::string type) {
    return written(columns, {{std::move(text), std::move(type)}}, 1).back();
  };
  EXPECT_EQ(statement("12.50", "decimal,10,2,9"), "INSERT INTO t (v) VALUES (CAST(12.50 AS decimal(10,2)))");
  EXPECT_EQ(statement("0102", "varbinary,0,0,10"), "INSERT INTO t (v) VALUES (CAST(0x0102 AS varbinary(10)))");
  EXPECT_EQ(statement("2003-12-01 08:30:00.123", "datetime,23,3,8"),
            "INSERT INTO t (v) VALUES (CAST('2003-12-01 08:30:00.123' AS datetime))");
  EXPECT_EQ(statement("a\nb", "nvarchar,0,0,40"),
            "INSERT INTO t (v) VALUES (CAST(N'a'+nchar(10)+N'b' AS nvarchar(20)))");
  EXPECT_EQ(statement("7", "int,10,0,4"), "INSERT INTO t (v) VALUES (CAST(7 AS int))");
  EXPECT_EQ(written(columns, {{std::nullopt, std::nullopt}}, 1).back(), "INSERT INTO t (v) VALUES (NULL)");
  EXPECT_THROW(written({columns[0]}, {{"7"}}), std::runtime_error);
}

// A table with an identity column takes its values with IDENTITY_INSERT on; a whole table's
// script gives the identity back its current value.
TEST(InsertStatements, IdentityValuesAreInsertedAndTheCurrentValueRestored) {
  const std::vector<ColumnInfo> columns{column("ID", FieldKind::Other, SQL_INTEGER),
                                        column("v", FieldKind::Text, SQL_VARCHAR)};
  std::vector<std::string> lines;
  InsertScriptWriter writer([&lines](const std::string& line) { lines.push_back(line); });
  writer.beginTable("t", columns, std::string::npos, IdentityColumn{"id", "42"});
  writer.addRow({"1", "a"});
  writer.endTable();
  writer.beginTable("u", {columns[1]}, std::string::npos, IdentityColumn{"id", std::nullopt});  // not in the rows
  writer.addRow({"b"});
  writer.endTable();
  writer.finish();
  EXPECT_EQ(lines, (std::vector<std::string>{"", "----  t", "", "SET IDENTITY_INSERT t ON",
                                             "INSERT INTO t (ID,v) VALUES (1,'a')", "SET IDENTITY_INSERT t OFF",
                                             "DBCC CHECKIDENT ('t', RESEED, 42)", "", "----  u", "",
                                             "INSERT INTO u (v) VALUES ('b')"}));
}

// Foreign keys and triggers rest while the rows go in, whatever the order of the tables, and
// every row is checked when they come back on.
TEST(InsertStatements, ForeignKeysAndTriggersRestWhileRowsGoIn) {
  std::vector<std::string> lines;
  InsertScriptWriter writer([&lines](const std::string& line) { lines.push_back(line); });
  writer.guardTables({"child"}, {"audited"});
  writer.beginTable("child", {column("id", FieldKind::Other, SQL_INTEGER)});
  writer.addRow({"1"});
  writer.endTable();
  writer.finish();
  EXPECT_EQ(lines, (std::vector<std::string>{"ALTER TABLE child NOCHECK CONSTRAINT ALL",
                                             "ALTER TABLE audited DISABLE TRIGGER ALL", "", "----  child", "",
                                             "INSERT INTO child (id) VALUES (1)", "ALTER TABLE audited ENABLE TRIGGER ALL",
                                             "ALTER TABLE child WITH CHECK CHECK CONSTRAINT ALL"}));
  // Without rows there is nothing to guard.
  std::vector<std::string> none;
  InsertScriptWriter empty([&none](const std::string& line) { none.push_back(line); });
  empty.guardTables({"child"}, {});
  empty.finish();
  EXPECT_TRUE(none.empty());
}

// A table of another schema than dbo is named with its schema wherever the script names it.
TEST(InsertStatements, TablesOfOtherSchemasAreNamedWithTheirSchema) {
  const makeddl::ObjectName orders("sales", "order lines");
  std::vector<std::string> lines;
  InsertScriptWriter writer([&lines](const std::string& line) { lines.push_back(line); });
  writer.guardTables({orders}, {orders});
  writer.beginTable(orders, {column("id", FieldKind::Other, SQL_INTEGER)}, std::string::npos, IdentityColumn{"id", "7"});
  writer.addRow({"1"});
  writer.endTable();
  writer.finish();
  EXPECT_EQ(lines, (std::vector<std::string>{"ALTER TABLE sales.[order lines] NOCHECK CONSTRAINT ALL",
                                             "ALTER TABLE sales.[order lines] DISABLE TRIGGER ALL", "",
                                             "----  sales.[order lines]", "",
                                             "SET IDENTITY_INSERT sales.[order lines] ON",
                                             "INSERT INTO sales.[order lines] (id) VALUES (1)",
                                             "SET IDENTITY_INSERT sales.[order lines] OFF",
                                             "DBCC CHECKIDENT ('[sales].[order lines]', RESEED, 7)",
                                             "ALTER TABLE sales.[order lines] ENABLE TRIGGER ALL",
                                             "ALTER TABLE sales.[order lines] WITH CHECK CHECK CONSTRAINT ALL"}));
}
