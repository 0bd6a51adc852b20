// The sandbox's --init script and --name: batches at GO lines, run before the port line.

#include "server/init_script.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "sandbox_fixture.hpp"

using sandbox::splitBatches;
using sandbox::testing::runCommand;
using sandbox::testing::SandboxProcess;

namespace {

// A script file for one test, removed afterwards.
class ScriptFile {
 public:
  explicit ScriptFile(const std::string& text) {
    char name[] = "/tmp/sandbox-init-XXXXXX";
    const int fd = mkstemp(name);
    close(fd);
    path_ = name;
    std::ofstream(path_, std::ios::binary) << text;
  }
  ~ScriptFile() { std::remove(path_.c_str()); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace

TEST(InitScript, BatchesEndAtLinesHoldingOnlyGo) {
  EXPECT_EQ(splitBatches("select 1\nGO\nselect 2\r\n  go  \r\nselect 3"),
            (std::vector<std::string>{"select 1\n", "select 2\r\n", "select 3"}));
  // GO inside a line, or in another word, is no separator; empty batches are dropped.
  EXPECT_EQ(splitBatches("GO\nselect 'GO'\ngoto_label:\nGO\n\nGO\n"),
            (std::vector<std::string>{"select 'GO'\ngoto_label:\n"}));
  EXPECT_TRUE(splitBatches("").empty());
}

TEST(InitScript, TheServerRunsTheScriptBeforeItTakesClients) {
  ScriptFile script(
      "CREATE DATABASE init_db\nGO\nUSE init_db\nGO\n"
      "CREATE TABLE t (a int)\nGO\nCREATE VIEW v AS SELECT a FROM t\nGO\nINSERT INTO t VALUES (7)\ngo\n");
  SandboxProcess server("Init#1", false, {"--init", script.path(), "--name", "LAB2"});
  const std::string output = runCommand(
      "LANG=C.UTF-8 TDSVER=7.1 tsql -H 127.0.0.1 -p " + std::to_string(server.port()) + " -U sa -P 'Init#1'",
      "use init_db\nselect a, @@servername from v\ngo\n");
  EXPECT_NE(output.find("7\tLAB2"), std::string::npos) << output;
}

TEST(InitScript, AFailingBatchEndsTheProgramNamingTheBatch) {
  ScriptFile script("create table ok_table (a int)\nGO\nselect * from no_such_table\nGO\n");
  int status = 0;
  const std::string output = runCommand(std::string(MAKEDDL_SANDBOX_PATH) +
                                            " --port 0 --sa-password x --init " + script.path() + " 2>&1",
                                        "", &status);
  EXPECT_NE(status, 0);
  EXPECT_NE(output.find("batch 2"), std::string::npos) << output;
  EXPECT_NE(output.find("no_such_table"), std::string::npos) << output;
  EXPECT_EQ(output.find("port "), std::string::npos) << output;
}

TEST(InitScript, TheSampleDatabaseLoadsWithEveryKindOfObject) {
  SandboxProcess server("Sample#1", false, {"--init", MAKEDDL_SAMPLE_SQL});
  const std::string output = runCommand(
      "LANG=C.UTF-8 TDSVER=7.1 tsql -H 127.0.0.1 -p " + std::to_string(server.port()) + " -U sa -P 'Sample#1'",
      "use sample_shop\n"
      "select type, count(*) from sysobjects where type in ('U','V','P','FN','IF','TR') group by type order by type\n"
      "go\n");
  for (const char* kind : {"FN\t", "IF\t", "P \t", "TR\t", "U \t", "V \t"})
    EXPECT_NE(output.find(kind), std::string::npos) << kind << " missing in\n" << output;
}
