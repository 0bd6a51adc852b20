#pragma once
// A database built to break scripts: names with dots, brackets, quotes, blanks, reserved words,
// Chinese and a line break that tries to smuggle in a DROP TABLE; remarks that do the same;
// every string type at its maximum length with every control character; sql_variant values
// of every base type. Scripted and run back on a new database, it must come back value for
// value, and the table `victim` must survive.

#include <string>
#include <vector>

namespace makeddl::scripts::corpus {

// Every control character, NUL to 31 and DEL, as a T-SQL expression.
inline std::string everyControlCharacter() {
  std::string expression = "char(0)";
  for (int code = 1; code < 32; ++code) expression += "+char(" + std::to_string(code) + ")";
  return expression + "+char(127)";
}

// The batches that build the corpus in an empty database.
inline std::vector<std::string> hostileBatches() {
  return {
      "create table victim (id int not null primary key)",
      "insert into victim values (1)",

      "create table [line\r\nDROP TABLE victim --] (id int not null primary key, v varchar(20) null)",
      "insert into [line\r\nDROP TABLE victim --] values (1, 'x')",
      "exec sp_addextendedproperty N'MS_Description', N'first' + nchar(13) + nchar(10) + N'DROP TABLE victim --', "
      "N'user', N'dbo', N'table', N'line' + nchar(13) + nchar(10) + N'DROP TABLE victim --', N'column', N'v'",

      "create table [a.b] (id int not null primary key, [x.y] int null)",
      "insert into [a.b] values (1, 2)",
      "create table [x[y] (id int not null primary key, v varchar(5) null)",
      "insert into [x[y] values (1, 'a')",
      "create table [x]]y] (id int not null primary key, [it's] varchar(10) null)",
      "insert into [x]]y] values (1, 'it''s')",
      "create table [my table] (id int not null primary key, [order] int null, [select] varchar(5) null)",
      "insert into [my table] values (1, 2, 'from')",
      "create table [金额（元）] (id int not null primary key, [数量（个）] int null, 部门 nvarchar(10) null)",
      "insert into [金额（元）] values (1, 3, N'销售')",
      "exec sp_addextendedproperty N'MS_Description', N'第一行' + nchar(13) + nchar(10) + N'第二行', N'user', "
      "N'dbo', N'table', N'金额（元）', N'column', N'部门'",

      "create table s_varchar (id int not null primary key, vc varchar(8000) null)",
      "insert into s_varchar values (1, " + everyControlCharacter() + ")",
      "insert into s_varchar values (2, 'a' + char(13) + char(10) + 'b')",
      "insert into s_varchar values (3, 'lone' + char(10) + 'lf')",
      "insert into s_varchar values (4, 'lone' + char(13) + 'cr')",
      "insert into s_varchar values (5, char(13) + char(13) + char(10) + char(10) + char(13))",
      "insert into s_varchar values (6, replicate('ab' + char(13) + char(10) + char(0) + char(9), 1333) + 'ab')",
      "insert into s_varchar values (7, '')",
      "insert into s_varchar values (8, '   ')",
      "insert into s_varchar values (9, null)",
      "insert into s_varchar values (10, 'x' + char(13) + char(10) + 'GO' + char(13) + char(10) + "
      "'DROP TABLE victim')",
      "insert into s_varchar values (11, '--c' + char(10) + '/* x */ ''q''')",
      "insert into s_varchar values (12, '中文' + char(10) + '字' + char(9))",

      "create table s_char (id int not null primary key, c char(8000) null)",
      "insert into s_char values (1, replicate(char(1) + 'x', 4000))",
      "insert into s_char values (2, 'a' + char(10))",
      "insert into s_char values (3, char(0) + char(13))",

      "create table s_nchar (id int not null primary key, nc nchar(4000) null)",
      "insert into s_nchar values (1, replicate(N'门' + nchar(0), 2000))",
      "insert into s_nchar values (2, N'x' + nchar(13))",

      "create table s_nvarchar (id int not null primary key, nvc nvarchar(4000) null)",
      "insert into s_nvarchar values (1, replicate(N'部' + nchar(10) + nchar(13) + N'x', 1000))",
      "insert into s_nvarchar values (2, N'a' + nchar(8232) + N'b' + nchar(8233) + nchar(133))",
      "insert into s_nvarchar values (3, " + everyControlCharacter() + ")",

      "create table s_text (id int not null primary key, t text null, nt ntext null)",
      "insert into s_text values (1, '', N'')",
      "insert into s_text values (2, 'a' + char(10), N'b' + nchar(13))",
      "insert into s_text values (3, '', N'')",
      "insert into s_text values (4, null, null)",
      // Long values are built as any client builds them beyond 8,000 bytes.
      "declare @p varbinary(16), @s varchar(8000), @n nvarchar(4000) "
      "set @s = replicate('t' + char(10) + char(13) + '文' + char(0) + char(9), 1142) "
      "select @p = textptr(t) from s_text where id = 1 "
      "updatetext s_text.t @p null 0 @s "
      "updatetext s_text.t @p null 0 @s "
      "updatetext s_text.t @p null 0 @s "
      "set @n = replicate(N'字' + nchar(10) + nchar(13) + nchar(0), 1000) "
      "select @p = textptr(nt) from s_text where id = 1 "
      "updatetext s_text.nt @p null 0 @n "
      "updatetext s_text.nt @p null 0 @n "
      "updatetext s_text.nt @p null 0 @n "
      "set @s = replicate('q', 5000) "
      "select @p = textptr(t) from s_text where id = 3 "
      "updatetext s_text.t @p null 0 @s "
      "updatetext s_text.t @p null 0 @s",

      "create table variants (id int not null primary key, v sql_variant null)",
      "insert into variants values (1, cast(7 as int))",
      "insert into variants values (2, cast(9000000000 as bigint))",
      "insert into variants values (3, cast(12.50 as decimal(10,2)))",
      "insert into variants values (4, cast(-1234567890.0123456789 as numeric(38,10)))",
      "insert into variants values (5, cast(1.0 as float) / 3)",
      "insert into variants values (6, cast(0.5 as real))",
      "insert into variants values (7, cast(1500.5 as money))",
      "insert into variants values (8, cast(-2.25 as smallmoney))",
      "insert into variants values (9, cast('2003-12-01 08:30:00.123' as datetime))",
      "insert into variants values (10, cast('2003-12-01 08:30' as smalldatetime))",
      "insert into variants values (11, cast(1 as bit))",
      "insert into variants values (12, cast(200 as tinyint))",
      "insert into variants values (13, cast(-300 as smallint))",
      "insert into variants values (14, cast('6F9619FF-8B86-D011-B42D-00C04FC964FF' as uniqueidentifier))",
      "insert into variants values (15, cast('ab' as char(5)))",
      "insert into variants values (16, cast('a' + char(10) + 'b' as varchar(20)))",
      "insert into variants values (17, cast(N'字' as nchar(3)))",
      "insert into variants values (18, cast(N'x' + nchar(13) as nvarchar(10)))",
      "insert into variants values (19, cast(0x01020304 as binary(4)))",
      "insert into variants values (20, cast(0x0102 as varbinary(10)))",
      "insert into variants values (21, null)",
  };
}

// How a sql_variant value's base type is compared.
inline const char* const kVariantFacts =
    "select id, v, sql_variant_property(v, 'BaseType'), sql_variant_property(v, 'Precision'), "
    "sql_variant_property(v, 'Scale'), sql_variant_property(v, 'MaxLength') from variants order by id";

}  // namespace makeddl::scripts::corpus
