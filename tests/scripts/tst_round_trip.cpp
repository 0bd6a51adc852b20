// The sample database scripted by `makeddl script` (CREATE for every table, INSERT for every
// row) and the scripts run on a new database of the same server: every table comes back with
// the same columns and the same rows, value for value.

#include <gtest/gtest.h>

#include <algorithm>

#include "common/strings.h"
#include "sandbox_session.h"

using makeddl::connection::Connection;
using makeddl::connection::DataSet;
using sandbox::testing::SandboxProcess;

namespace {

using Row = std::vector<std::optional<std::string>>;

const char* const kPassword = "Round#1";
const char* const kSampleDatabase = "sample_shop";
const char* const kCopyDatabase = "sample_copy";

// Shell words in single quotes, so that Chinese names and # in passwords pass unchanged.
std::string shellWord(const std::string& word) {
  std::string quotedWord = "'";
  for (char c : word) quotedWord += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quotedWord + "'";
}

// What a table's columns are, one row per column in column order: name, type, length,
// precision, scale, nullability, default text and primary-key membership.
std::string columnFactsQuery(const std::string& table) {
  return "select c.name, type_name(c.xtype), c.length, isnull(c.prec, 0), isnull(c.scale, 0), c.isnullable, "
         "m.text, case when exists (select * from sysindexes i, sysindexkeys k where i.id = c.id "
         "and (i.status & 0x800) = 0x800 and k.id = i.id and k.indid = i.indid and k.colid = c.colid) "
         "then 'key' end "
         "from syscolumns c left join syscomments m on m.id = c.cdefault "
         "where c.id = object_id(" +
         makeddl::quoted(table) + ") order by c.colid";
}

class RoundTrip : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // The server loads the sample itself, as the demo does.
    server_ = new SandboxProcess(kPassword, false, {"--init", MAKEDDL_SAMPLE_SQL});
    makeddl::testing::runBatches(*server_, "master", {std::string("create database ") + kCopyDatabase});
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }

  // The script `makeddl script KIND TABLES...` writes for the sample database, in UTF-8.
  static std::string programScript(const std::string& kind, const std::vector<std::string>& tables) {
    std::string command = shellWord(MAKEDDL_PROGRAM) + " script " + kind;
    for (const std::string& table : tables) command += " " + shellWord(table);
    command += " --server " + shellWord(makeddl::testing::sandboxServerText(*server_)) + " --database " +
               kSampleDatabase + " --user sa --password " + shellWord(kPassword) + " --utf8 2>/dev/null";
    int status = -1;
    const std::string script = sandbox::testing::runCommand(command, "", &status);
    EXPECT_EQ(status, 0) << command;
    return script;
  }

  static std::vector<Row> rowsOf(const std::string& database, const std::string& query) {
    Connection connection;
    makeddl::testing::connectAsSa(connection, *server_, database);
    DataSet rows(connection, "rows");
    rows.query(query);
    return rows.rows();
  }

  static std::vector<std::string> userTables(const std::string& database) {
    std::vector<std::string> names;
    for (const Row& row : rowsOf(database, "select name from sysobjects where type = 'U' order by name"))
      names.push_back(row.at(0).value());
    return names;
  }

  // A table's rows in a fixed order; a timestamp column only says whether it has a value,
  // since the server stamps every inserted row anew.
  static std::vector<Row> comparableRows(const std::string& database, const std::string& table,
                                         const std::vector<Row>& columnFacts) {
    std::vector<Row> rows = rowsOf(database, "select * from " + makeddl::quotedIdentifier(table));
    for (Row& row : rows)
      for (std::size_t i = 0; i < columnFacts.size(); ++i)
        if (columnFacts[i].at(1) == "timestamp" && row.at(i)) row[i] = "(stamped)";
    std::sort(rows.begin(), rows.end());
    return rows;
  }

  static SandboxProcess* server_;
};

SandboxProcess* RoundTrip::server_ = nullptr;

TEST_F(RoundTrip, EveryTableComesBackWithItsColumnsAndRows) {
  const std::vector<std::string> tables = userTables(kSampleDatabase);
  ASSERT_GE(tables.size(), 5u);
  const std::string createScript = programScript("create", tables);
  const std::string insertScript = programScript("insert", tables);
  makeddl::testing::runBatches(*server_, kCopyDatabase, {createScript, insertScript});
  ASSERT_EQ(userTables(kCopyDatabase), tables);

  std::size_t rowsCompared = 0;
  for (const std::string& table : tables) {
    SCOPED_TRACE(table);
    const std::vector<Row> columns = rowsOf(kSampleDatabase, columnFactsQuery(table));
    EXPECT_EQ(rowsOf(kCopyDatabase, columnFactsQuery(table)), columns);
    const std::vector<Row> rows = comparableRows(kSampleDatabase, table, columns);
    EXPECT_EQ(comparableRows(kCopyDatabase, table, columns), rows);
    rowsCompared += rows.size();
  }
  EXPECT_GT(rowsCompared, 3000u);
}

// The value kinds the round trip is meant to cover are really in the sample.
TEST_F(RoundTrip, SampleHoldsEveryKindOfValue) {
  std::vector<std::string> types;
  for (const Row& row : rowsOf(kSampleDatabase,
                               "select distinct type_name(c.xtype) from syscolumns c, sysobjects o "
                               "where c.id = o.id and o.type = 'U' order by 1"))
    types.push_back(row.at(0).value());
  for (const char* type : {"bigint",
                           "binary",
                           "bit",
                           "char",
                           "datetime",
                           "decimal",
                           "float",
                           "image",
                           "int",
                           "money",
                           "nchar",
                           "ntext",
                           "numeric",
                           "nvarchar",
                           "real",
                           "smalldatetime",
                           "smallint",
                           "smallmoney",
                           "sql_variant",
                           "text",
                           "timestamp",
                           "tinyint",
                           "uniqueidentifier",
                           "varbinary",
                           "varchar"})
    EXPECT_NE(std::find(types.begin(), types.end(), type), types.end()) << type;
  const auto count = [](const std::string& condition) {
    return rowsOf(kSampleDatabase, "select count(*) from t_dept where " + condition).at(0).at(0).value();
  };
  EXPECT_EQ(count("dept_name = ''"), "2");  // empty and blank (compared without trailing blanks)
  EXPECT_EQ(count("dept_name like '%''%'"), "1");
  EXPECT_EQ(count("dept_name is null"), "1");
  EXPECT_EQ(count("convert(varchar(30), created, 121) like '%.123'"), "1");
}

}  // namespace
