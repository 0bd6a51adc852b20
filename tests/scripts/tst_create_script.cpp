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

namespace {

ColumnModel intColumn(std::string name, bool nullable = false) {
  ColumnModel column;
  column.name = std::move(name);
  column.type = "int";
  column.length = 4;
  column.precision = 10;
  column.nullable = nullable;
  return column;
}

}  // namespace

// A column of the model is scripted as the batch scripts it, with what the batch leaves out.
TEST(CreateScript, TypePiecesOfTheModel) {
  ColumnModel id = intColumn("id");
  EXPECT_EQ(typePiece(id, true), "int  NOT NULL ,");
  id.identity = IdentitySpec{"100", "-5"};
  EXPECT_EQ(typePiece(id, true), "int IDENTITY(100,-5) NOT NULL ,");
  ColumnModel name{"name", "nvarchar", 40, 20, 0, true, std::nullopt, "", std::nullopt, "", std::nullopt, ""};
  EXPECT_EQ(typePiece(name, false), "nvarchar (20) ");
  name.collation = "Chinese_PRC_CS_AS";
  EXPECT_EQ(typePiece(name, true), "nvarchar (20) COLLATE Chinese_PRC_CS_AS ,");
  ColumnModel qty = intColumn("qty");
  qty.defaultText = "(0)";
  qty.defaultName = "DF__t__qty__1BFD2C07";  // made up by the server: left out
  EXPECT_EQ(typePiece(qty, true), "int DEFAULT(0) NOT NULL ,");
  qty.defaultName = "DF_qty";
  EXPECT_EQ(typePiece(qty, true), "int CONSTRAINT DF_qty DEFAULT(0) NOT NULL ,");
  ColumnModel price{"price", "decimal", 9, 18, 2, true, std::nullopt, "", std::nullopt, "", std::nullopt, ""};
  EXPECT_EQ(typePiece(price, false), "decimal (18,2) ");
}

TEST(CreateScript, GeneratedConstraintNames) {
  EXPECT_TRUE(isGeneratedConstraintName("PK__t_dept__0EA330E9"));
  EXPECT_TRUE(isGeneratedConstraintName("DF__jobs__job_desc__1BFD2C07"));
  EXPECT_TRUE(isGeneratedConstraintName("PK__sysdiagr__C2B05B61398D8EEE"));
  EXPECT_FALSE(isGeneratedConstraintName("PK_order_items"));
  EXPECT_FALSE(isGeneratedConstraintName("PK__t__0ea330e9"));  // the server writes upper case
  EXPECT_FALSE(isGeneratedConstraintName("IX__t__0EA330E9"));
}

// Keys in key order with their direction, user-given names, the non-default index kinds,
// unique and CHECK constraints, and the other indexes after the table.
TEST(CreateScript, KeysConstraintsAndIndexesOfTheModel) {
  TableModel items;
  items.name = "order_items";
  items.columns = {intColumn("order_id"), intColumn("line_no"), intColumn("sku", true)};
  items.indexes = {
      {"PK_order_items", IndexRole::PrimaryKey, true, false, {{"line_no", false}, {"order_id", true}}},
      {"UQ__order_it__0425A276", IndexRole::UniqueConstraint, true, true, {{"sku", false}}},
      {"ix_sku", IndexRole::Index, false, false, {{"sku", true}}},
      {"ux order", IndexRole::Index, true, false, {{"order_id", false}, {"sku", false}}},
  };
  items.checks = {{"CK__order_ite__line___29572725", "([line_no] > 0)"}, {"ck_sku", "([sku] <> 0)"}};
  EXPECT_EQ(createTableBlock(items),
            (std::vector<std::string>{
                "",
                "----   order_items",
                "IF EXISTS (select name from sysobjects where name='order_items' and type='U') DROP TABLE order_items",
                "",
                "CREATE TABLE order_items",
                "(",
                "     order_id  int  NOT NULL ,",
                "     line_no   int  NOT NULL ,",
                "     sku       int ,",
                "",
                "     CONSTRAINT PK_order_items PRIMARY KEY NONCLUSTERED (line_no,order_id DESC),",
                "     UNIQUE CLUSTERED (sku),",
                "     CHECK ([line_no] > 0),",
                "     CONSTRAINT ck_sku CHECK ([sku] <> 0)",
                ")",
                "CREATE INDEX ix_sku ON order_items (sku DESC)",
                "CREATE UNIQUE INDEX [ux order] ON order_items (order_id,sku)",
            }));
}

// Views, procedures, functions and triggers behind a guarded DROP of their kind, each in a
// batch of its own; a text holding a line that reads GO would be cut there and is refused.
TEST(CreateScript, ModuleBlocksAndForeignKeys) {
  EXPECT_EQ(moduleBlock({1, "v_dept", "V", "create view v_dept\r\nas select 1 as one\r\n", "", {}}),
            (std::vector<std::string>{"", "----   v_dept",
                                      "IF EXISTS (select name from sysobjects where name='v_dept' and type='V') "
                                      "DROP VIEW v_dept",
                                      "GO", "create view v_dept", "as select 1 as one", "GO"}));
  EXPECT_EQ(moduleBlock({2, "f", "TF", "create function f() ...", "", {}}).at(2),
            "IF EXISTS (select name from sysobjects where name='f' and type='TF') DROP FUNCTION f");
  EXPECT_EQ(moduleBlock({3, "tr", "TR", "create trigger tr on t for insert as\nreturn", "t", {}}).at(2),
            "IF EXISTS (select name from sysobjects where name='tr' and type='TR') DROP TRIGGER tr");
  EXPECT_THROW(moduleBlock({4, "p", "P", "create proc p as\r\n/*\r\nGO\r\n*/ select 1", "", {}}), std::runtime_error);
  EXPECT_EQ(foreignKeyStatement({"FK_items_orders", "order_items", {"order_id"}, "orders", {"id"}, true, false}),
            "ALTER TABLE order_items ADD CONSTRAINT FK_items_orders FOREIGN KEY (order_id) REFERENCES orders (id) "
            "ON DELETE CASCADE");
  EXPECT_EQ(foreignKeyStatement({"FK__a__b__1BFD2C07", "my table", {"a", "b"}, "t", {"x", "y"}, false, true}),
            "ALTER TABLE [my table] ADD FOREIGN KEY (a,b) REFERENCES t (x,y) ON UPDATE CASCADE");
}

// Tables first, then the other objects, then the foreign keys; remarks only when asked for,
// through variables where a text needs character codes.
TEST(CreateScript, SchemaScriptOrderAndRemarks) {
  SchemaModel model;
  TableModel dept;
  dept.name = "dept";
  dept.columns = {intColumn("id")};
  dept.columns[0].remark = "编号";
  dept.columns[0].remarkName = "MS_Description";
  dept.remark = "line one\r\nline two";
  model.tables = {dept};
  model.modules = {{5, "v", "V", "create view v as select id from dept", "", {}}};
  model.foreignKeys = {{"fk", "dept", {"id"}, "dept", {"id"}, false, false}};
  const std::vector<std::string> plain = schemaScript(model, {}, nullptr);
  EXPECT_EQ(std::count(plain.begin(), plain.end(), "GO"), 2);
  EXPECT_EQ(plain.back(), "ALTER TABLE dept ADD CONSTRAINT fk FOREIGN KEY (id) REFERENCES dept (id)");
  EXPECT_EQ(std::find_if(plain.begin(), plain.end(), [](const std::string& line) { return line.starts_with("EXEC"); }),
            plain.end());
  const std::vector<std::string> withRemarks = schemaScript(model, {true}, nullptr);
  const auto first = std::find(withRemarks.begin(), withRemarks.end(), ")") + 1;
  EXPECT_EQ(std::vector<std::string>(first, first + 5),
            (std::vector<std::string>{
                "DECLARE @makeddl_value nvarchar(4000),@makeddl_table sysname,@makeddl_column sysname",
                "SET @makeddl_value=N'line one'+nchar(13)+nchar(10)+N'line two'",
                "SET @makeddl_table=N'dept'",
                "EXEC sp_addextendedproperty N'MS_Description', @makeddl_value, N'user', N'dbo', N'table', "
                "@makeddl_table",
                "EXEC sp_addextendedproperty N'MS_Description', N'编号', N'user', N'dbo', N'table', N'dept', "
                "N'column', N'id'",
            }));
}

// The types of SQL Server 2005 and later: the (max) lengths the catalogue gives as -1, and the
// fraction digits of the times.
TEST(CreateScript, NewerTypesAreWrittenAsDeclared) {
  const auto piece = [](const std::string& type, int length, int scale) {
    ColumnModel column;
    column.name = "c";
    column.type = type;
    column.length = length;
    column.scale = scale;
    column.nullable = true;
    return typePiece(column, false);
  };
  EXPECT_EQ(piece("varchar", -1, 0), "varchar (max) ");
  EXPECT_EQ(piece("nvarchar", -1, 0), "nvarchar (max) ");
  EXPECT_EQ(piece("varbinary", -1, 0), "varbinary (max) ");
  EXPECT_EQ(piece("nvarchar", 40, 0), "nvarchar (20) ");
  EXPECT_EQ(piece("time", 5, 3), "time (3) ");
  EXPECT_EQ(piece("datetime2", 6, 0), "datetime2 (0) ");
  EXPECT_EQ(piece("datetimeoffset", 10, 7), "datetimeoffset (7) ");
  EXPECT_EQ(piece("date", 3, 0), "date ");
  EXPECT_EQ(piece("xml", -1, 0), "xml ");
}

// Objects outside dbo are named schema.name everywhere, found by id in the guards (the same
// name may be in several schemas), and their schemas are made first unless they exist.
TEST(CreateScript, ObjectsOfOtherSchemasAreNamedWithTheirSchema) {
  SchemaModel model;
  model.schemas = {"my schema", "sales"};
  TableModel orders;
  orders.name = {"sales", "orders"};
  orders.columns = {intColumn("id")};
  orders.columns[0].remark = "编号";
  orders.columns[0].remarkName = "MS_Description";
  orders.indexes = {{"ix_id", IndexRole::Index, false, false, {{"id", true}}}};
  model.tables = {orders};
  model.modules = {{5, {"my schema", "v"}, "V", "create view [my schema].v as select 1 as one", "", {}}};
  model.foreignKeys = {{"fk", {"sales", "orders"}, {"id"}, "dept", {"id"}, false, false}};
  const std::vector<std::string> script = schemaScript(model, {true}, nullptr);
  const std::vector<std::string> expectedStart{
      "IF SCHEMA_ID(N'my schema') IS NULL EXEC(N'CREATE SCHEMA [my schema]')",
      "IF SCHEMA_ID(N'sales') IS NULL EXEC(N'CREATE SCHEMA sales')",
      "GO",
      "",
      "----   sales.orders",
      "IF EXISTS (select name from sysobjects where id=object_id('[sales].[orders]') and type='U') "
      "DROP TABLE sales.orders",
      "",
      "CREATE TABLE sales.orders"};
  ASSERT_GE(script.size(), expectedStart.size());
  EXPECT_EQ(std::vector<std::string>(script.begin(), script.begin() + expectedStart.size()), expectedStart);
  for (const char* line :
       {"CREATE INDEX ix_id ON sales.orders (id DESC)",
        "EXEC sp_addextendedproperty N'MS_Description', N'编号', N'schema', N'sales', N'table', N'orders', "
        "N'column', N'id'",
        "----   [my schema].v",
        "IF EXISTS (select name from sysobjects where id=object_id('[my schema].[v]') and type='V') "
        "DROP VIEW [my schema].v",
        "ALTER TABLE sales.orders ADD CONSTRAINT fk FOREIGN KEY (id) REFERENCES dept (id)"})
    EXPECT_NE(std::find(script.begin(), script.end(), line), script.end()) << line;
  // A dbo table whose name another schema has too is found by its id as well.
  TableModel shared;
  shared.name = "orders";
  shared.columns = {intColumn("id")};
  shared.nameInOtherSchemas = true;
  EXPECT_EQ(createTableBlock(shared).at(2),
            "IF EXISTS (select name from sysobjects where id=object_id('[dbo].[orders]') and type='U') "
            "DROP TABLE orders");
  // Without schemas to make (dbo's objects, and every object of SQL Server 2000) nothing comes first.
  EXPECT_TRUE(schemaStatements({}).empty());
  EXPECT_THROW(schemaStatements({"a\nb"}), UnscriptableName);
}
