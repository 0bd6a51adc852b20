// The sandbox seen by clients no one here wrote (FreeTDS's tsql, the pure-Python pytds), and
// by a raw socket that sends what no well-behaved client sends.

#include "odbc_client.hpp"
#include "raw_client.hpp"
#include "sandbox_fixture.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#include <cstdlib>
#include <memory>
#include <thread>

using namespace sandbox::testing;

namespace {

class SandboxClients : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server_ = std::make_unique<SandboxProcess>(); }
    static void TearDownTestSuite() { server_.reset(); }

    static std::string tsql(const std::string& input, const std::string& version = "7.1") {
        std::string command = "LANG=C.UTF-8 TDSVER=" + version + " timeout 20 tsql -H 127.0.0.1 -p " + std::to_string(server_->port()) +
                              " -U sa -P '" + server_->password() + "'";
        return runCommand(command, input + "\ngo\nexit\n");
    }

    static std::string python(const std::string& script, int* status) {
        std::string prologue =
            "import pytds\n"
            "conn = pytds.connect('127.0.0.1', port=" + std::to_string(server_->port()) +
            ", user='sa', password='" + server_->password() + "', autocommit=True, tds_version=pytds.tds_base.TDS71)\n"
            "cur = conn.cursor()\n";
        return runCommand("timeout 30 /usr/bin/python3 -", prologue + script, status);
    }

    static std::unique_ptr<SandboxProcess> server_;
};

std::unique_ptr<SandboxProcess> SandboxClients::server_;

bool endsWithFinalDone(const RawBytes& payload, uint16_t status) {
    if (payload.size() < 9) return false;
    const uint8_t* done = payload.data() + payload.size() - 9;
    return done[0] == 0xFD && done[1] == (status & 0xFF) && done[2] == (status >> 8);
}

}  // namespace

TEST_F(SandboxClients, TsqlRunsBatchesAndShowsSqlServerMessages) {
    std::string output = tsql("create table #t (id int, name varchar(20), note nvarchar(10))\n"
                              "insert #t values (1, '中文', N'說明')\n"
                              "select id, name, note from #t\n"
                              "select * from no_such_table");
    EXPECT_NE(output.find("1\t中文\t說明"), std::string::npos) << output;
    EXPECT_NE(output.find("Msg 208"), std::string::npos) << output;
    EXPECT_NE(output.find("Invalid object name 'no_such_table'."), std::string::npos) << output;

    // A TDS 7.0 client has no collations: it learns code page 936 from the login response.
    std::string old = tsql("select '中文' + 'x', N'說明'", "7.0");
    EXPECT_NE(old.find("中文x\t說明"), std::string::npos) << old;
}

TEST_F(SandboxClients, PytdsDecodesTypesAndErrors) {
    int status = 0;
    std::string output = python(
        "cur.execute(\"select cast(12.5 as decimal(10,2)), cast('2024-01-15 13:45:30' as datetime), N'中文', "
        "'abc', cast(null as int), cast(7 as bigint), cast(1 as bit), cast(2.5 as money)\")\n"
        "print(repr(cur.fetchall()))\n"
        "try:\n"
        "    cur.execute('select * from missing_table')\n"
        "except pytds.ProgrammingError as e:\n"
        "    print('error', e.msg_no)\n"
        "cur.execute('select @@spid')\n"
        "print('spid', cur.fetchone()[0] >= 51)\n",
        &status);
    if (output.find("No module named 'pytds'") != std::string::npos) GTEST_SKIP() << "python3-tds is not installed";
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("Decimal('12.5')"), std::string::npos) << output;
    EXPECT_NE(output.find("datetime.datetime(2024, 1, 15, 13, 45, 30)"), std::string::npos) << output;
    EXPECT_NE(output.find("'中文', 'abc', None, 7, True, Decimal('2.5')"), std::string::npos) << output;
    EXPECT_NE(output.find("error 208"), std::string::npos) << output;
    EXPECT_NE(output.find("spid True"), std::string::npos) << output;
}

TEST_F(SandboxClients, BadInputClosesOnlyThatSession) {
    OdbcConnection bystander(server_->odbcConnectionString());
    ASSERT_TRUE(bystander.connected()) << bystander.connectError();

    const std::vector<RawBytes> attacks = {
        {0xDE, 0xAD, 0xBE, 0xEF, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55},  // garbage
        {0x12, 0x01, 0x00, 0x04, 0x00, 0x00, 0x01, 0x00},              // length below the header size
        {0x12, 0x01, 0xFF, 0xFF, 0x00, 0x00, 0x01, 0x00},              // longer than any packet may be
        rawPacket(0x12, {0x00, 0x00, 0x40, 0x00, 0x06, 0xFF}),      // PRELOGIN option out of range
        rawPacket(0x10, RawBytes(40, 0x41)),            // LOGIN7 cut short
        rawPacket(0x02, RawBytes(20, 0x00)),            // an old Sybase login
    };
    for (size_t i = 0; i < attacks.size(); ++i) {
        RawSocket raw(server_->port());
        ASSERT_TRUE(raw.connected());
        raw.send(attacks[i]);
        EXPECT_TRUE(raw.closedByServer()) << "attack " << i;
    }
    {
        RawSocket truncated(server_->port());
        truncated.send({0x12, 0x01, 0x00, 0x40, 0x00, 0x00});  // the client leaves inside a header
    }
    EXPECT_TRUE(server_->running());
    EXPECT_EQ(bystander.scalar("select 6 * 7"), "42");
}

TEST_F(SandboxClients, AttentionStopsAReplyAndTheSessionGoesOn) {
    RawSocket raw(server_->port());
    ASSERT_TRUE(raw.connected());
    raw.send(rawPacket(0x10, rawLogin7(server_->password(), 512)));
    ASSERT_TRUE(endsWithFinalDone(raw.readMessage(), 0x0000));

    // About 130,000 rows: far more than the socket buffers hold at 512 bytes a packet.
    raw.send(rawPacket(0x01, rawUcs2("create table #big (n int, pad char(100)) insert #big values (1, 'x') "
                                      "declare @i int set @i = 0 while @i < 17 begin "
                                      "insert #big select n + 1, pad from #big set @i = @i + 1 end")));
    ASSERT_FALSE(raw.readMessage().empty());
    raw.send(rawPacket(0x01, rawUcs2("select * from #big")));
    raw.send(rawPacket(0x06, {}));
    RawBytes reply = raw.readMessage();
    ASSERT_FALSE(reply.empty());
    EXPECT_LT(reply.size(), 130000u * 100u);  // the reply was cut short
    RawBytes acknowledgement = raw.readMessage();
    EXPECT_EQ(acknowledgement, (RawBytes{0xFD, 0x20, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}));

    raw.send(rawPacket(0x01, rawUcs2("select 1")));
    EXPECT_TRUE(endsWithFinalDone(raw.readMessage(), 0x0010));
    raw.send(rawPacket(0x06, {}));  // an attention when idle is acknowledged alone
    EXPECT_EQ(raw.readMessage(), acknowledgement);
}

TEST_F(SandboxClients, ResetConnectionStatusGivesAFreshSession) {
    RawSocket raw(server_->port());
    ASSERT_TRUE(raw.connected());
    raw.send(rawPacket(0x10, rawLogin7(server_->password(), 4096)));
    ASSERT_TRUE(endsWithFinalDone(raw.readMessage(), 0x0000));
    raw.send(rawPacket(0x01, rawUcs2("create table #kept (x int) use tempdb")));
    ASSERT_FALSE(raw.readMessage().empty());
    raw.send(rawPacket(0x01, rawUcs2("select object_id('tempdb..#kept'), db_name()"), 0x09));  // EOM + reset
    RawBytes reply = raw.readMessage();
    RawBytes master = rawUcs2("master");
    EXPECT_NE(std::search(reply.begin(), reply.end(), master.begin(), master.end()), reply.end());  // back in master
    raw.send(rawPacket(0x01, rawUcs2("select * from #kept")));
    RawBytes missing = raw.readMessage();
    ASSERT_FALSE(missing.empty());
    EXPECT_EQ(missing[0], 0xAA);  // ERROR: the temporary table went with the reset
}

TEST_F(SandboxClients, ManySessionsRunAtOnce) {
    constexpr int kSessions = 8;
    std::atomic<int> succeeded{0};
    std::vector<std::thread> threads;
    for (int s = 0; s < kSessions; ++s)
        threads.emplace_back([&, s] {
            OdbcConnection c(server_->odbcConnectionString());
            if (!c.connected()) return;
            std::string table = "#work" + std::to_string(s);
            c.run("create table " + table + " (v int)");
            for (int i = 0; i < 20; ++i) c.run("insert " + table + " values (" + std::to_string(i) + ")");
            if (c.scalar("select sum(v) from " + table) == "190") ++succeeded;
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(succeeded.load(), kSessions);
}

// tedious comes from npm; the test runs where it was installed with
//   npm install --prefix /tmp/makeddl-tedious tedious@19
// (or the folder named by MAKEDDL_TEDIOUS_DIR), and skips itself elsewhere.
TEST_F(SandboxClients, TediousDecodesLoginTypesBatchesAndErrors) {
    const char* configured = std::getenv("MAKEDDL_TEDIOUS_DIR");
    std::string folder = configured ? configured : "/tmp/makeddl-tedious";
    int found = 0;
    runCommand("test -d '" + folder + "/node_modules/tedious' && command -v node", "", &found);
    if (found != 0) GTEST_SKIP() << "tedious is not installed in " << folder;
    int status = 0;
    std::string output = runCommand("NODE_PATH='" + folder + "/node_modules' timeout 60 node " + MAKEDDL_TEDIOUS_SCRIPT + " " +
                                        std::to_string(server_->port()) + " '" + server_->password() + "'",
                                    "", &status);
    EXPECT_EQ(status, 0) << output;
    EXPECT_EQ(output.find("not ok"), std::string::npos) << output;
}

TEST(SandboxDiscovery, TheBrowserPortLeadsToTheServer) {
    SandboxProcess server("Browse#1", true);
    ASSERT_GT(server.browserPort(), 0);
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    timeval timeout{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(server.browserPort()));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    uint8_t request = 0x03;
    sendto(fd, &request, 1, 0, reinterpret_cast<sockaddr*>(&address), sizeof address);
    char reply[2048];
    ssize_t n = recv(fd, reply, sizeof reply, 0);
    close(fd);
    ASSERT_GT(n, 3);
    std::string text(reply + 3, static_cast<size_t>(n) - 3);
    std::string marker = ";tcp;";
    size_t at = text.find(marker);
    ASSERT_NE(at, std::string::npos) << text;
    int port = std::stoi(text.substr(at + marker.size()));
    EXPECT_EQ(port, server.port());
    OdbcConnection c("DRIVER={FreeTDS};SERVER=127.0.0.1," + std::to_string(port) +
                     ";UID=sa;PWD=Browse#1;TDS_Version=7.1;Timeout=5");
    EXPECT_TRUE(c.connected()) << c.connectError();
}
