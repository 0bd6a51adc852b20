// CREATE TABLE blocks from script-batch rows: alignment, the key clause and names that need
// brackets, without a server.

#include <gtest/gtest.h>

#include "scripts/create_script.h"
#include "scripts/script_text.h"
#include "worked_examples.h"

using namespace makeddl::scripts;

namespace {

const std::vector<ColumnScriptRow> kDept{
    {"dept_id", "int  NOT NULL ,", false, "", true},
    {"dept_name", "varchar (20) ,", true, "department name", false},
};

TEST(CreateScript, DeptBlockAsTheUserSeesIt) {
  EXPECT_EQ(createTableBlock("t_dept", kDept), examples::kDeptCreateBlock);
}

TEST(CreateScript, TableWithoutKeyHasNoKeyClauseAndKeepsTheEmptyLine) {
  const std::vector<ColumnScriptRow> log{{"log_time", "datetime  NOT NULL ,", false, "", false},
                                         {"msg", "varchar (200) ", false, "", false}};
  const std::vector<std::string> block = createTableBlock("t_log", log);
  EXPECT_EQ(std::vector<std::string>(block.begin() + 6, block.end()),
            (std::vector<std::string>{"     log_time  datetime  NOT NULL ,", "     msg       varchar (200) ",
                                      "", ")"}));
}

TEST(CreateScript, KeyColumnsComeInColumnOrderAndAMissingTableKeepsItsFrame) {
  const std::vector<ColumnScriptRow> keyed{{"a", "int  NOT NULL ,", false, "", true},
                                           {"b", "int  NOT NULL ,", false, "", true}};
  EXPECT_EQ(createTableBlock("keyed", keyed).at(9), "     PRIMARY KEY (a,b)");
  EXPECT_EQ(
      createTableBlock("gone", {}),
      (std::vector<std::string>{"", "----   gone",
                                "IF EXISTS (select name from sysobjects where name='gone' and type='U') DROP "
                                "TABLE gone",
                                "", "CREATE TABLE gone", "(", "", ")"}));
}

// A quote is doubled only inside the test; names that could not stand bare get brackets
// everywhere they are SQL, and the alignment follows the bracketed names.
TEST(CreateScript, NamesThatNeedItAreBracketed) {
  EXPECT_EQ(createTableBlock("O'Hara", {}).at(2),
            "IF EXISTS (select name from sysobjects where name='O''Hara' and type='U') DROP TABLE [O'Hara]");
  const std::vector<ColumnScriptRow> order{{"id", "int  NOT NULL ,", false, "", true},
                                           {"my col", "int ,", true, "x", false},
                                           {"order", "int ", false, "", true}};
  const std::vector<std::string> block = createTableBlock("my table", order);
  EXPECT_EQ(block.at(1), "----   my table");
  EXPECT_EQ(block.at(4), "CREATE TABLE [my table]");
  EXPECT_EQ(block.at(6), "     id        int  NOT NULL ,");
  EXPECT_EQ(block.at(7), "     [my col]  int ,            --x");
  EXPECT_EQ(block.at(8), "     [order]   int ");
  EXPECT_EQ(block.at(10), "     PRIMARY KEY (id,[order])");
}

// Widths count characters, not bytes, and ignore trailing blanks, as the server's len() does.
TEST(CreateScript, AlignmentCountsCharactersWithoutTrailingBlanks) {
  EXPECT_EQ(sqlLength("部门名称"), 4u);
  EXPECT_EQ(sqlLength("int  NOT NULL , "), 15u);
  EXPECT_EQ(sqlLength("   "), 0u);
  const std::vector<ColumnScriptRow> rows{{"部门名称", "varchar (20) ,", true, "名称", false},
                                          {"id", "datetime  NOT NULL ", true, "时间", false}};
  EXPECT_EQ(columnLines(rows), (std::vector<std::string>{"部门名称  varchar (20) ,      --名称",
                                                         "id    datetime  NOT NULL   --时间"}));
}

}  // namespace
