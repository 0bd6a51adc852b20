// `makeddl script`: its arguments, and the program against the sandbox server writing what the
// script pane would hold.

#include <gtest/gtest.h>

#include <QProcess>
#include <sstream>

#include "app/script_command.h"
#include "sandbox_session.h"

using makeddl::app::runScriptCommand;
using sandbox::testing::SandboxProcess;

namespace {

const char* const kPassword = "Cli;pw 1";

struct CommandRun {
  int exitCode;
  std::string out;
  std::string err;
};

const std::string kDeptScript =
    "\r\n"
    "----   t_dept\r\n"
    "IF EXISTS (select name from sysobjects where name='t_dept' and type='U') DROP TABLE t_dept\r\n"
    "\r\n"
    "CREATE TABLE t_dept\r\n"
    "(\r\n"
    "     dept_id    int  NOT NULL ,\r\n"
    "     dept_name  varchar (20) ,   --\xB2\xBF\xC3\xC5\xC3\xFB\xB3\xC6\r\n"  // 部门名称 in GBK
    "\r\n"
    "     PRIMARY KEY (dept_id)\r\n"
    ")\r\n";

TEST(ScriptCommandArguments, MistakesAreUsageErrors) {
  const std::vector<std::vector<std::string>> mistakes{
      {},
      {"drop", "t"},
      {"create", "--server", "s", "--database", "d", "--windows"},                      // no table
      {"create", "t", "--server", "s", "--database", "d"},                              // no login
      {"create", "t", "--server", "s", "--database", "d", "--windows", "--user", "u"},  // two logins
      {"create", "t", "--database", "d", "--windows"},                                  // no server
      {"insert", "--query", "select 1", "a", "b", "--server", "s", "--database", "d", "--windows"},
      {"create", "--query", "select 1", "t", "--server", "s", "--database", "d", "--windows"},
      {"create", "t", "--server"},
  };
  for (const std::vector<std::string>& args : mistakes) {
    std::ostringstream out, err;
    EXPECT_EQ(runScriptCommand(args, out, err), 2) << err.str();
    EXPECT_TRUE(out.str().empty());
    EXPECT_NE(err.str().find("usage"), std::string::npos);
  }
}

class ScriptCommand : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = new SandboxProcess(kPassword);
    makeddl::testing::runBatches(*server_, "master", {"create database cli"});
    makeddl::testing::runBatches(
        *server_, "cli",
        {
            "create table t_dept (dept_id int not null primary key, dept_name varchar(20) null)",
            "exec sp_addextendedproperty N'MS_Description', N'部门名称', N'user', N'dbo', N'table', "
            "N't_dept', "
            "N'column', N'dept_name'",
            "insert into t_dept values (1, '销售')",
            "insert into t_dept values (2, N'hr')",
            "create table t_snow (s nvarchar(5) null)",
            "insert into t_snow values (N'☃')",
            "create view v_dept as select * from t_dept",
            "create table [a.b] (id int not null primary key)",
            "insert into [a.b] values (5)",
        });
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  static std::string serverText() { return makeddl::testing::sandboxServerText(*server_); }

  // The program, without a display, with the connection options added.
  static CommandRun program(QStringList args, const std::string& password = kPassword) {
    args << "--server" << QString::fromStdString(serverText()) << "--database"
         << "cli"
         << "--user"
         << "sa"
         << "--password" << QString::fromStdString(password);
    args.prepend("script");
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("DISPLAY");
    environment.remove("WAYLAND_DISPLAY");
    environment.remove("QT_QPA_PLATFORM");
    process.setProcessEnvironment(environment);
    process.start(MAKEDDL_PROGRAM, args);
    if (!process.waitForFinished(30000)) return {-1, "", "did not finish"};
    return {process.exitCode(), process.readAllStandardOutput().toStdString(),
            process.readAllStandardError().toStdString()};
  }

  static SandboxProcess* server_;
};

SandboxProcess* ScriptCommand::server_ = nullptr;

TEST_F(ScriptCommand, CreateWritesThePanesGbkBytesAndProgressApart) {
  const CommandRun run = program({"create", "t_dept"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, kDeptScript);
  EXPECT_EQ(run.err, "makeddl script: 0/1\n");
  const CommandRun utf8 = program({"create", "--utf8", "t_dept"});
  EXPECT_NE(utf8.out.find("--部门名称\r\n"), std::string::npos) << utf8.out;
}

TEST_F(ScriptCommand, InsertOfTablesAndOfAQuery) {
  const CommandRun all = program({"insert", "t_dept", "--utf8"});
  EXPECT_EQ(all.exitCode, 0) << all.err;
  EXPECT_EQ(all.out,
            "\r\n----  t_dept\r\n\r\n"
            "INSERT INTO t_dept (dept_id,dept_name) VALUES (1,'销售')\r\n"
            "INSERT INTO t_dept (dept_id,dept_name) VALUES (2,'hr')\r\n");
  EXPECT_EQ(all.err, "makeddl script: 0/1\nmakeddl script: 1/1\n");
  const CommandRun query =
      program({"insert", "--query", "select dept_name\nfrom t_dept\nwhere dept_id = 2", "t_copy"});
  EXPECT_EQ(query.exitCode, 0) << query.err;
  EXPECT_EQ(query.out, "\r\n----  t_copy\r\n\r\nINSERT INTO t_copy (dept_name) VALUES ('hr')\r\n");
}

TEST_F(ScriptCommand, FailuresGiveAMessageAndNoScript) {
  const CommandRun snow = program({"insert", "t_snow"});
  EXPECT_EQ(snow.exitCode, 1);
  EXPECT_TRUE(snow.out.empty());
  EXPECT_NE(snow.err.find("--utf8"), std::string::npos) << snow.err;
  EXPECT_EQ(program({"insert", "t_snow", "--utf8"}).out,
            "\r\n----  t_snow\r\n\r\nINSERT INTO t_snow (s) VALUES (N'☃')\r\n");
  const CommandRun login = program({"create", "t_dept"}, "wrong");
  EXPECT_EQ(login.exitCode, 1);
  EXPECT_NE(login.err.find("无法连接数据源"), std::string::npos) << login.err;
  const CommandRun missing = program({"insert", "t_dept", "no_such_table"});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_TRUE(missing.out.empty());
  EXPECT_NE(missing.err.find("no_such_table"), std::string::npos) << missing.err;
  const CommandRun update =
      program({"insert", "--query", "update t_dept set dept_id = dept_id where 1 = 0", "t"});
  EXPECT_EQ(update.exitCode, 1);
  EXPECT_NE(update.err.find("记录集"), std::string::npos) << update.err;
}

// Only objects a script can make are scripted (user tables for INSERT scripts): a name that is
// none ends the command with a message naming it, exit code 1 and nothing on standard output,
// before any script is written.
TEST_F(ScriptCommand, EveryNameIsCheckedBeforeAnythingIsWritten) {
  const std::vector<std::pair<const char*, const char*>> refused{
      {"create", "nosuch"}, {"create", "dbo.t_dept"}, {"insert", "nosuch"}, {"insert", "v_dept"}, {"insert", "dbo.t_dept"}};
  for (const auto& [kind, name] : refused) {
    const CommandRun run = program({kind, "t_dept", name});
    EXPECT_EQ(run.exitCode, 1) << kind << " " << name;
    EXPECT_TRUE(run.out.empty()) << run.out;
    EXPECT_NE(run.err.find(name), std::string::npos) << run.err;
  }
  const CommandRun view = program({"insert", "v_dept", "--utf8"});
  EXPECT_NE(view.err.find("不是用户表"), std::string::npos) << view.err;
  const CommandRun viewScript = program({"create", "v_dept", "--utf8"});
  EXPECT_EQ(viewScript.exitCode, 0) << viewScript.err;
  EXPECT_NE(viewScript.out.find("DROP VIEW v_dept\r\nGO\r\ncreate view v_dept"), std::string::npos) << viewScript.out;
  // A name holding a dot is one table, found as it stands.
  const CommandRun dotted = program({"create", "a.b", "--utf8"});
  EXPECT_EQ(dotted.exitCode, 0) << dotted.err;
  EXPECT_NE(dotted.out.find("CREATE TABLE [a.b]\r\n(\r\n     id  int  NOT NULL ,\r\n\r\n     PRIMARY KEY (id)\r\n)"),
            std::string::npos)
      << dotted.out;
  EXPECT_EQ(program({"insert", "a.b", "--utf8"}).out, "\r\n----  a.b\r\n\r\nINSERT INTO [a.b] (id) VALUES (5)\r\n");
}

// A query's column without a name cannot be inserted into.
TEST_F(ScriptCommand, AQueryColumnWithoutANameIsRefused) {
  const CommandRun run = program({"insert", "--query", "select dept_id, count(*) from t_dept group by dept_id", "t_dept"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(run.out.empty());
  EXPECT_NE(run.err.find("第 2 列"), std::string::npos) << run.err;
}

}  // namespace
