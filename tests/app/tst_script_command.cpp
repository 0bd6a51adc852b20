// `makeddl script`: its arguments, and the program against the sandbox server writing what the
// script pane would hold.

#include <gtest/gtest.h>

#include <pty.h>
#include <poll.h>
#include <sys/wait.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <chrono>
#include <sstream>

#include "app/login_password.h"
#include "app/script_command.h"
#include "program_run.h"
#include "sandbox_session.h"

using makeddl::app::runScriptCommand;
using makeddl::testing::runProgram;
using sandbox::testing::SandboxProcess;

namespace {

const char* const kPassword = "Cli;pw 1";

using CommandRun = makeddl::testing::ProgramRun;

std::string fileText(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : "(no file)";
}

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
      {"create", "t", "-S", "s", "-d", "d", "-E", "--bogus"},                           // unknown option
      {"create", "t", "-S", "s", "-d", "d", "-E", "-x"},
      {"create", "t", "--database", "d", "--windows"},                                  // no server
      {"insert", "--query", "select 1", "a", "b", "--server", "s", "--database", "d", "--windows"},
      {"create", "--query", "select 1", "t", "--server", "s", "--database", "d", "--windows"},
      {"create", "t", "--server"},
      {"create", "t", "--all", "-S", "s", "-d", "d", "-E"},                             // names and --all
      {"insert", "--all", "-Q", "select 1", "-S", "s", "-d", "d", "-E"},
      {"insert", "t", "--remarks", "-S", "s", "-d", "d", "-E"},                         // remarks of rows
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
            // 20,000 rows of about a hundred bytes each, then one that GBK cannot hold
            "create table d (n int not null)",
            "insert d values (0) insert d values (1) insert d values (2) insert d values (3) insert d values (4) "
            "insert d values (5) insert d values (6) insert d values (7) insert d values (8) insert d values (9)",
            "create table t_long (n int not null, s nvarchar(100) null)",
            "insert t_long select a.n + b.n * 10 + c.n * 100 + e.n * 1000 + f.n * 10000, replicate(N'x', 80) "
            "from d a, d b, d c, d e, d f where f.n < 2 order by 1",
            "insert t_long values (20000, N'☃')",
        });
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  static std::string serverText() { return makeddl::testing::sandboxServerText(*server_); }

  // The program, without a display or a terminal, with the connection options added.
  static CommandRun program(QStringList args, const std::string& password = kPassword) {
    args << "--server" << QString::fromStdString(serverText()) << "--database"
         << "cli"
         << "--user"
         << "sa"
         << "--password" << QString::fromStdString(password);
    return script(args);
  }
  static CommandRun script(QStringList args, const QStringList& environment = {}) {
    args.prepend("script");
    return runProgram(MAKEDDL_PROGRAM, args, environment);
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

// The login timeout bounds the login only: a query that sends nothing for longer still ends
// in its script. Queries grow until one takes long enough to tell, on a machine of any speed.
TEST_F(ScriptCommand, AQueryRunsLongerThanTheLoginTimeout) {
  const QStringList slowerAndSlower{
      "select count(*) as n from t_long a, d b, d c where c.n < 3",
      "select count(*) as n from t_long a, d b, d c",
      "select count(*) as n from t_long a, d b, d c, d e where e.n < 4",
      "select count(*) as n from t_long a, d b, d c, d e",
  };
  double seconds = 0;
  for (const QString& query : slowerAndSlower) {
    const auto start = std::chrono::steady_clock::now();
    const CommandRun run = script({"insert", "-Q", query, "t_count", "-S", QString::fromStdString(serverText()), "-d",
                                   "cli", "-U", "sa", "-P", QString::fromUtf8(kPassword), "--utf8"},
                                  {"MAKEDDL_LOGIN_TIMEOUT=1"});
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_EQ(run.exitCode, 0) << query.toStdString() << ": " << run.err;
    EXPECT_NE(run.out.find("INSERT INTO t_count (n) VALUES ("), std::string::npos) << run.out;
    if (seconds >= 1.5) break;
  }
  EXPECT_GE(seconds, 1.5) << "no query ran long enough to tell";
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
// A script of many pieces: whole and in order, and a character GBK lacks, met after the first
// pieces went out, still ends the command with its message and exit code 1.
TEST_F(ScriptCommand, ALongScriptComesOutWholeOrFailsWithItsMessage) {
  const CommandRun whole = program({"insert", "t_long", "--utf8"});
  EXPECT_EQ(whole.exitCode, 0) << whole.err;
  EXPECT_GT(whole.out.size(), 2u << 20);
  const std::string x80(80, 'x');
  std::size_t at = 0;
  for (int n = 0; n < 20000; ++n) {
    at = whole.out.find("VALUES (" + std::to_string(n) + ",N'" + x80 + "')\r\n", at);
    ASSERT_NE(at, std::string::npos) << n;
  }
  EXPECT_TRUE(whole.out.ends_with("VALUES (20000,N'☃')\r\n"));
  const CommandRun gbk = program({"insert", "t_long"});
  EXPECT_EQ(gbk.exitCode, 1);
  EXPECT_NE(gbk.err.find("--utf8"), std::string::npos) << gbk.err;
}

TEST_F(ScriptCommand, EveryNameIsCheckedBeforeAnythingIsWritten) {
  const std::vector<std::pair<const char*, const char*>> refused{
      {"create", "nosuch"},     {"create", "sales.t_dept"}, {"create", "x.dbo.t_dept"},
      {"insert", "nosuch"},     {"insert", "v_dept"},       {"insert", "nosuch.t_dept"}};
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
  // dbo's tables may be named with their schema, and a bracketed name is one part.
  EXPECT_EQ(program({"create", "dbo.t_dept"}).out, kDeptScript);
  EXPECT_EQ(program({"create", "[dbo].[t_dept]"}).out, kDeptScript);
  EXPECT_EQ(program({"insert", "[a.b]", "--utf8"}).out, program({"insert", "a.b", "--utf8"}).out);
}

// A query's column without a name cannot be inserted into.
TEST_F(ScriptCommand, AQueryColumnWithoutANameIsRefused) {
  const CommandRun run = program({"insert", "--query", "select dept_id, count(*) from t_dept group by dept_id", "t_dept"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(run.out.empty());
  EXPECT_NE(run.err.find("第 2 列"), std::string::npos) << run.err;
}

// A sqlcmd user's command: the letters -S -d -U, options before, between and after the tables,
// values after = or joined to their letter, the password from the environment.
TEST_F(ScriptCommand, SqlcmdOptionsAndPasswordsFromTheEnvironment) {
  const QString server = QString::fromStdString(serverText());
  const QString password = QString::fromUtf8(kPassword);
  const CommandRun letters = script({"-S", server, "create", "-dcli", "t_dept", "-U", "sa"}, {"MAKEDDL_PASSWORD=" + password});
  EXPECT_EQ(letters.exitCode, 0) << letters.err;
  EXPECT_EQ(letters.out, kDeptScript);
  const CommandRun equals =
      script({"create", "t_dept", "--server=" + server, "--database=cli", "--user=sa"}, {"SQLCMDPASSWORD=" + password});
  EXPECT_EQ(equals.exitCode, 0) << equals.err;
  EXPECT_EQ(equals.out, kDeptScript);
  // -P comes before the variables, MAKEDDL_PASSWORD before SQLCMDPASSWORD.
  const QStringList dept{"create", "t_dept", "-S", server, "-d", "cli", "-U", "sa"};
  EXPECT_EQ(script(dept + QStringList{"-P", password}, {"MAKEDDL_PASSWORD=wrong"}).exitCode, 0);
  EXPECT_EQ(script(dept, {"MAKEDDL_PASSWORD=" + password, "SQLCMDPASSWORD=wrong"}).exitCode, 0);
  const CommandRun wrong = script(dept, {"MAKEDDL_PASSWORD=wrong", "SQLCMDPASSWORD=" + password});
  EXPECT_EQ(wrong.exitCode, 1);
  EXPECT_NE(wrong.err.find("无法连接数据源"), std::string::npos) << wrong.err;
}

// A SQL Server login without a password from anywhere, and no terminal to ask on, is a mistake
// in the command, never a login with an empty password.
TEST_F(ScriptCommand, ALoginWithoutAPasswordIsAUsageError) {
  const CommandRun run = script({"create", "t_dept", "-S", QString::fromStdString(serverText()), "-d", "cli", "-U", "sa"});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_TRUE(run.out.empty());
  EXPECT_NE(run.err.find("MAKEDDL_PASSWORD"), std::string::npos) << run.err;
}

// Without -P or a variable the password is asked for on the terminal, which does not echo it.
TEST_F(ScriptCommand, AsksForThePasswordOnTheTerminalWithoutEcho) {
  QTemporaryDir folder;
  const std::string output = folder.filePath("dept.sql").toStdString();
  const std::string server = serverText();
  std::vector<std::string> args{MAKEDDL_PROGRAM, "script", "create", "t_dept", "-S", server, "-d", "cli", "-U", "sa",
                                "-o", output};
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  std::vector<char*> environment;
  for (char** variable = environ; *variable; ++variable)
    if (!std::string_view(*variable).starts_with("MAKEDDL_PASSWORD=") && !std::string_view(*variable).starts_with("SQLCMDPASSWORD="))
      environment.push_back(*variable);
  environment.push_back(nullptr);
  int terminal = -1;
  const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
  ASSERT_GE(child, 0);
  if (child == 0) {
    execve(argv[0], argv.data(), environment.data());
    _exit(127);
  }
  // Everything the terminal shows, until `until` appears or the program ends.
  std::string shown;
  const auto readTerminal = [&](const std::string& until) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    char buffer[256];
    while (shown.find(until) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
      pollfd ready{terminal, POLLIN, 0};
      if (poll(&ready, 1, 100) <= 0) continue;
      const ssize_t size = read(terminal, buffer, sizeof buffer);
      if (size <= 0) return;
      shown.append(buffer, static_cast<std::size_t>(size));
    }
  };
  readTerminal("Password for sa");
  const std::string typed = std::string(kPassword) + "\n";
  ASSERT_EQ(write(terminal, typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
  readTerminal("(never shown)");
  int status = 0;
  waitpid(child, &status, 0);
  close(terminal);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << shown;
  EXPECT_EQ(shown.find(kPassword), std::string::npos) << shown;
  EXPECT_EQ(fileText(QString::fromStdString(output)), kDeptScript);
}

// -o writes the file only once the script is complete: a failure leaves the old file as it
// was, or none, and no temporary file beside it.
TEST_F(ScriptCommand, AnOutputFileAppearsOnlyWhenTheScriptIsComplete) {
  QTemporaryDir folder;
  const QString dept = folder.filePath("dept.sql");
  const CommandRun written = program({"create", "t_dept", "-o", dept});
  EXPECT_EQ(written.exitCode, 0) << written.err;
  EXPECT_TRUE(written.out.empty());
  EXPECT_EQ(fileText(dept), kDeptScript);
  // The failures: a character GBK lacks (found as the script is made), and a missing table.
  EXPECT_EQ(program({"insert", "t_snow", "--output", dept}).exitCode, 1);
  EXPECT_EQ(program({"create", "nosuch", "-o", folder.filePath("new.sql")}).exitCode, 1);
  EXPECT_EQ(fileText(dept), kDeptScript);
  EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"dept.sql"});
  // A failure after several pieces were written.
  EXPECT_EQ(program({"insert", "t_long", "-o", dept}).exitCode, 1);
  EXPECT_EQ(fileText(dept), kDeptScript);
  EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"dept.sql"});
  const CommandRun nowhere = program({"create", "t_dept", "-o", folder.filePath("no/such/folder.sql")});
  EXPECT_EQ(nowhere.exitCode, 1);
  EXPECT_NE(nowhere.err.find("no/such/folder.sql"), std::string::npos) << nowhere.err;
}

}  // namespace

// Every form of -P and --password is overwritten in the argument strings, and only those.
TEST(PasswordArguments, EveryFormIsBlankedAndNothingElse) {
  std::vector<std::string> words{"makeddl", "script", "-P",         "pw1",      "-Ppw2", "--password",
                                 "pw3",     "-Q",     "select 1",   "--password=pw4",   "-U", "sa"};
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  makeddl::app::hidePasswordArguments(static_cast<int>(argv.size()), argv.data());
  EXPECT_EQ(words, (std::vector<std::string>{"makeddl", "script", "-P", "***", "-P***", "--password", "***", "-Q",
                                             "select 1", "--password=***", "-U", "sa"}));
}

// What ps shows of a running `makeddl script` (its /proc/PID/cmdline) holds no password: the
// program waits here on a server that takes the connection and never answers.
TEST(PasswordArguments, ARunningProgramShowsNoPassword) {
  const int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 4), 0);
  ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
  const QString server = QStringLiteral("127.0.0.1,%1").arg(ntohs(address.sin_port));
  QProcess process;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("MAKEDDL_LOGIN_TIMEOUT", "5");
  process.setProcessEnvironment(environment);
  process.start(MAKEDDL_PROGRAM, {"script", "create", "t", "-S", server, "-d", "cli", "-U", "sa", "-P", "Secret#42"});
  ASSERT_TRUE(process.waitForStarted());
  // Read until the password is blanked (the program starts with it), for five seconds at most.
  QByteArray shown;
  for (int tries = 0; tries < 50 && !shown.contains("*********"); ++tries) {
    QThread::msleep(100);
    QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(process.processId()));
    if (cmdline.open(QIODevice::ReadOnly)) shown = cmdline.readAll();
  }
  process.kill();
  process.waitForFinished();
  close(listener);
  EXPECT_TRUE(shown.contains(QByteArray("-P\0*********", 12))) << shown.toStdString();
  EXPECT_FALSE(shown.contains("Secret#42"));
}
