// A data folder survives a crash: killed in the middle of a stream of writes, the server comes
// back with every batch it acknowledged, and with each batch either whole or not at all.

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <string>
#include <thread>

#include "odbc_client.hpp"
#include "sandbox_fixture.hpp"

using sandbox::testing::OdbcConnection;
using sandbox::testing::SandboxProcess;

namespace {

class DataFolder {
 public:
  DataFolder() {
    char name[] = "/tmp/sandbox-data-XXXXXX";
    path_ = mkdtemp(name);
  }
  ~DataFolder() { std::system(("rm -rf '" + path_ + "'").c_str()); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

long count(OdbcConnection& client, const std::string& table) {
  return std::stol(client.scalar("select count(*) from " + table).value_or("-1"));
}

}  // namespace

TEST(SandboxPersistence, AKillDuringWritesLeavesEveryBatchWholeOrAbsent) {
  DataFolder data;
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
