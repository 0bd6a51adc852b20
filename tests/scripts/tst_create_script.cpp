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

// A table whose columns could not be read gets no DROP: running the script must never destroy
// a table that it cannot make again.
TEST(CreateScript, KeyColumnsComeInColumnOrderAndAMissingTableGetsOnlyAComment) {
  const std::vector<ColumnScriptRow> keyed{{"a", "int  NOT NULL ,", false, "", true},
                                           {"b", "int  NOT NULL ,", false, "", true}};
  EXPECT_EQ(createTableBlock("keyed", keyed).at(9), "     PRIMARY KEY (a,b)");
  EXPECT_EQ(createTableBlock("gone", {}),
            (std::vector<std::string>{"", "----   gone", "-- 没有找到这个表（或读不到它的字段），未生成它的脚本"}));
}

// A quote is doubled only inside the test; names that could not stand bare get brackets
// everywhere they are SQL, and the alignment follows the bracketed names.
TEST(CreateScript, NamesThatNeedItAreBracketed) {
  const std::vector<ColumnScriptRow> one{{"id", "int ", false, "", false}};
  EXPECT_EQ(createTableBlock("O'Hara", one).at(2),
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

// Text read from the database never ends a comment: every line of a name or a remark is a
// comment line of its own, the later lines of a remark under its first.
TEST(CreateScript, NamesAndRemarksWithLineBreaksStayInsideComments) {
  const std::vector<ColumnScriptRow> rows{{"id", "int ,", true, "first\r\nDROP TABLE victim --", false},
                                          {"name", "varchar (20) ", true, "one line", false}};
  const std::vector<std::string> block = createTableBlock("line\r\nDROP TABLE victim --", rows);
  EXPECT_EQ(block,
            (std::vector<std::string>{
                "",
                "----   line",
                "----   DROP TABLE victim --",
                "IF EXISTS (select name from sysobjects where name='line'+char(13)+char(10)+'DROP TABLE victim --' "
                "and type='U') DROP TABLE [line\r\nDROP TABLE victim --]",
                "",
                "CREATE TABLE [line\r\nDROP TABLE victim --]",
                "(",
                "     id    int ,         --first",
                "                         --DROP TABLE victim --",
                "     name  varchar (20)   --one line",
                "",
                ")",
            }));
}

// A lone line break (or another control character) in a name would change on its way through
// the script pane, and a line reading GO would cut the script in two: such names are refused.
TEST(CreateScript, NamesThatNoScriptCanCarryAreRefused) {
  const std::vector<ColumnScriptRow> one{{"id", "int ", false, "", false}};
  EXPECT_THROW(createTableBlock("a\nb", one), UnscriptableName);
  EXPECT_THROW(createTableBlock(std::string("a\0b", 3), one), UnscriptableName);
  EXPECT_THROW(createTableBlock("x\r\nGO\r\nDROP TABLE victim", one), UnscriptableName);
  EXPECT_THROW(createTableBlock("t", {{"a\rb", "int ", false, "", false}}), UnscriptableName);
  EXPECT_NO_THROW(createTableBlock("x\r\ngone\r\ny", one));
  try {
    createTableBlock("a\nb", one);
  } catch (const UnscriptableName& error) {
    EXPECT_NE(std::string(error.what()).find("a\\nb"), std::string::npos) << error.what();
  }
}
