// A data folder survives a crash: killed in the middle of a stream of writes, the server comes
// back with every batch it acknowledged, and with each batch either whole or not at all. A full
// disk or a read-only folder fails the batch that cannot be kept and takes it back, so that
// what a client saw acknowledged is exactly what survives. A data file that does not read back
// whole stops the start and is left as it is.

#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "odbc_client.hpp"
#include "sandbox_fixture.hpp"
#include "scratch_folder.hpp"

using sandbox::testing::OdbcBatch;
using sandbox::testing::OdbcConnection;
using sandbox::testing::runCommand;
using sandbox::testing::SandboxProcess;
using sandbox::testing::ScratchFolder;

namespace {

std::string contentsOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

long count(OdbcConnection& client, const std::string& table) {
  return std::stol(client.scalar("select count(*) from " + table).value_or("-1"));
}

}  // namespace

TEST(SandboxPersistence, AKillDuringWritesLeavesEveryBatchWholeOrAbsent) {
  ScratchFolder data;
  long acknowledged = 0;
  {
    SandboxProcess server("Data#1", false, {"--data", data.path()});
    OdbcConnection setup(server.odbcConnectionString());
    ASSERT_TRUE(setup.connected()) << setup.connectError();
    ASSERT_TRUE(setup.run("create database kept").ok);
    ASSERT_TRUE(setup.run("use kept create table a (n int not null) create table b (n int not null)").ok);

    std::atomic<long> done{0};
    std::atomic<bool> writerEnded{false};
    std::thread writer([&] {
      OdbcConnection client(server.odbcConnectionString("kept"));
      // Each batch writes one row into both tables; the server is killed while they stream.
      for (long n = 1; n <= 100000; ++n) {
        const auto batch = client.run("insert into a values (" + std::to_string(n) + ") insert into b values (" +
                                      std::to_string(n) + ")");
        if (!batch.ok) break;
        done = n;
      }
      writerEnded = true;
    });
    while (done < 200 && !writerEnded) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const bool stoppedEarly = writerEnded;
    server.stop(SIGKILL);
    writer.join();
    ASSERT_FALSE(stoppedEarly) << "the writes stopped before the kill";
    acknowledged = done;
  }

  SandboxProcess restarted("Data#1", false, {"--data", data.path()});
  OdbcConnection client(restarted.odbcConnectionString("kept"));
  ASSERT_TRUE(client.connected()) << client.connectError();
  const long rowsA = count(client, "a");
  EXPECT_GE(rowsA, acknowledged);  // a batch is on disk before its DONE is sent
  EXPECT_LE(rowsA, acknowledged + 1);
  EXPECT_EQ(count(client, "b"), rowsA);
  EXPECT_EQ(std::stol(client.scalar("select max(n) from a").value_or("-1")), rowsA);
  ::testing::Test::RecordProperty("acknowledged", static_cast<int>(acknowledged));
  ::testing::Test::RecordProperty("kept", static_cast<int>(rowsA));
}

TEST(SandboxPersistence, ATruncatedDataFileIsNamedAndKeptAndTheServerDoesNotStart) {
  ScratchFolder data;
  {
    SandboxProcess server("Data#1", false, {"--data", data.path()});
    OdbcConnection client(server.odbcConnectionString());
    ASSERT_TRUE(client.run("create database cut use cut create table t (n int) insert t values (1)").ok);
    ASSERT_TRUE(client.run("create database other").ok);
  }
  { SandboxProcess restarted("Data#1", false, {"--data", data.path()}); }  // folds the journal into the data files
  const std::string file = data.path() + "/cut.sandboxdb";
  std::filesystem::resize_file(file, std::filesystem::file_size(file) / 2);
  const std::string truncated = contentsOf(file);

  int status = 0;
  const std::string output = runCommand("timeout 20 '" MAKEDDL_SANDBOX_PATH "' --port 0 --sa-password 'Data#1' --data '" +
                                            data.path() + "'",
                                        "", &status);
  EXPECT_NE(status, 0) << output;
  EXPECT_NE(status, 124) << "still running: " << output;  // timeout's status
  EXPECT_NE(output.find(file), std::string::npos) << output;
  EXPECT_EQ(output.find("port "), std::string::npos) << output;
  EXPECT_EQ(contentsOf(file), truncated);
  EXPECT_TRUE(std::filesystem::exists(data.path() + "/other.sandboxdb"));
}

namespace {

long scalarNumber(OdbcConnection& client, const std::string& sql) {
  return std::stol(client.scalar(sql).value_or("-1"));
}

// Writes the client saw acknowledged, and that they and nothing else came back after a restart.
void expectRestartKeeps(const std::string& folder, const std::string& database, long rows) {
  SandboxProcess restarted("Data#1", false, {"--data", folder});
  OdbcConnection client(restarted.odbcConnectionString(database));
  ASSERT_TRUE(client.connected()) << client.connectError();
  EXPECT_EQ(count(client, "a"), rows);
  EXPECT_EQ(count(client, "b"), rows);
  EXPECT_EQ(scalarNumber(client, "select count(*) from master..sysdatabases where name = 'refused'"), 0);
}

}  // namespace

TEST(SandboxPersistence, AFullDiskFailsTheBatchAndKeepsExactlyWhatWasAcknowledged) {
  ScratchFolder data;
  long acknowledged = 0;
  {
    // A file size limit fails writes beyond it (EFBIG) as a full disk does (ENOSPC), also for root.
    auto smallFiles = [] {
      rlimit limit{128 * 1024, 128 * 1024};
      setrlimit(RLIMIT_FSIZE, &limit);
    };
    SandboxProcess server("Data#1", false, {"--data", data.path()}, smallFiles);
    OdbcConnection client(server.odbcConnectionString());
    ASSERT_TRUE(client.run("create database kept use kept create table a (n int not null, pad varchar(4000) not null) "
                           "create table b (n int not null)").ok);
    OdbcConnection kept(server.odbcConnectionString("kept"));
    OdbcBatch refused;
    for (long n = 1; n <= 200 && refused.ok; ++n) {
      refused = kept.run("insert a values (" + std::to_string(n) + ", replicate('x', 4000)) insert b values (" +
                         std::to_string(n) + ")");
      if (refused.ok) acknowledged = n;
    }
    ASSERT_FALSE(refused.ok) << "the disk never filled";
    EXPECT_TRUE(refused.mentions("filegroup is full")) << (refused.messages.empty() ? "" : refused.messages.back());
    EXPECT_EQ(count(kept, "a"), acknowledged);  // the failed batch is taken back in memory too
    EXPECT_EQ(count(kept, "b"), acknowledged);
  }
  expectRestartKeeps(data.path(), "kept", acknowledged);
}

TEST(SandboxPersistence, AReadOnlyFolderRefusesChangesAndKeepsWhatItHas) {
  ScratchFolder data;
  {
    SandboxProcess server("Data#1", false, {"--data", data.path()});
    OdbcConnection client(server.odbcConnectionString());
    ASSERT_TRUE(client.run("create database kept use kept create table a (n int) create table b (n int) "
                           "insert a values (1) insert b values (1)").ok);
  }
  namespace fs = std::filesystem;
  for (const auto& entry : fs::directory_iterator(data.path())) fs::permissions(entry.path(), fs::perms::owner_read);
  fs::permissions(data.path(), fs::perms::owner_read | fs::perms::owner_exec);
  // Root passes over permissions; without these capabilities it keeps to them like anyone.
  auto keepToPermissions = [] {
    if (geteuid() == 0 && (prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE) != 0 || prctl(PR_CAPBSET_DROP, CAP_DAC_READ_SEARCH) != 0))
      _exit(126);
  };
  {
    SandboxProcess server("Data#1", false, {"--data", data.path()}, keepToPermissions);
    OdbcConnection client(server.odbcConnectionString("kept"));
    ASSERT_TRUE(client.connected()) << client.connectError();
    EXPECT_EQ(count(client, "a"), 1);
    OdbcBatch refused = client.run("insert a values (2) insert b values (2)");
    EXPECT_FALSE(refused.ok);
    EXPECT_TRUE(refused.mentions("read-only")) << (refused.messages.empty() ? "" : refused.messages.back());
    EXPECT_EQ(count(client, "a"), 1);
    EXPECT_FALSE(client.run("create database refused").ok);
    EXPECT_EQ(scalarNumber(client, "select count(*) from master..sysdatabases where name = 'refused'"), 0);
  }
  fs::permissions(data.path(), fs::perms::owner_all);
  for (const auto& entry : fs::directory_iterator(data.path()))
    fs::permissions(entry.path(), fs::perms::owner_read | fs::perms::owner_write);
  expectRestartKeeps(data.path(), "kept", 1);
}

TEST(SandboxPersistence, AProcedureWithALongExpressionRunsAfterARestart) {
  ScratchFolder data;
  // Flat chains of any length cost no recursion; 30,000 terms keep the test quick.
  std::string sum = "select 1", ors = "select count(*) from sysobjects where id = 0";
  for (int i = 1; i < 30000; ++i) {
    sum += " + 1";
    ors += " or id = -1";
  }
  {
    SandboxProcess server("Data#1", false, {"--data", data.path()});
    OdbcConnection setup(server.odbcConnectionString());
    ASSERT_TRUE(setup.connected()) << setup.connectError();
    ASSERT_TRUE(setup.run("create database kept").ok);
    OdbcConnection client(server.odbcConnectionString("kept"));
    ASSERT_TRUE(client.run("create procedure p_sum as " + sum).ok);
    ASSERT_TRUE(client.run("create procedure p_ors as " + ors).ok);
    EXPECT_FALSE(client.run("create procedure p_deep as select " + std::string(100000, '~') + "1").ok);  // 191
  }
  SandboxProcess restarted("Data#1", false, {"--data", data.path()});
  OdbcConnection client(restarted.odbcConnectionString("kept"));
  ASSERT_TRUE(client.connected()) << client.connectError();
  EXPECT_EQ(client.scalar("exec p_sum"), "30000");
  EXPECT_EQ(client.scalar("exec p_ors"), "0");
  EXPECT_EQ(client.scalar("exec p_sum"), "30000");
  EXPECT_TRUE(restarted.running());
}
