// The sandbox seen by clients no one here wrote (FreeTDS's tsql, the pure-Python pytds), and
// by a raw socket that sends what no well-behaved client sends.

#include "odbc_client.hpp"
#include "sandbox_fixture.hpp"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <thread>

using namespace sandbox::testing;

namespace {

class SandboxClients : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server_ = std::make_unique<SandboxProcess>(); }
    static void TearDownTestSuite() { server_.reset(); }

    static std::string tsql(const std::string& input) {
        std::string command = "LANG=C.UTF-8 TDSVER=7.1 timeout 20 tsql -H 127.0.0.1 -p " + std::to_string(server_->port()) +
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

// A raw TCP connection to the sandbox, with a receive timeout so a silent server fails the test.
class RawSocket {
public:
    explicit RawSocket(int port) {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        timeval timeout{5, 0};
        setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~RawSocket() { close(fd_); }
    bool connected() const { return connected_; }
    void send(const std::vector<uint8_t>& bytes) { (void)::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL); }
    // True when the server closed the connection (read returns 0 or fails with a reset).
    bool closedByServer() {
        uint8_t buffer[4096];
        for (int i = 0; i < 100; ++i) {
            ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
            if (n == 0) return true;
            if (n < 0) return errno == ECONNRESET;
        }
        return false;
    }
    // Reads one whole reply message; returns its payload (empty on timeout or close).
    std::vector<uint8_t> readMessage() {
        std::vector<uint8_t> payload;
        for (;;) {
            uint8_t header[8];
            if (!readExactly(header, 8)) return {};
            size_t length = (size_t{header[2]} << 8) | header[3];
            std::vector<uint8_t> body(length - 8);
            if (!readExactly(body.data(), body.size())) return {};
            payload.insert(payload.end(), body.begin(), body.end());
            if (header[1] & 0x01) return payload;
        }
    }

private:
    bool readExactly(uint8_t* into, size_t size) {
        size_t done = 0;
        while (done < size) {
            ssize_t n = recv(fd_, into + done, size - done, 0);
            if (n <= 0) return false;
            done += static_cast<size_t>(n);
        }
        return true;
    }
    int fd_;
    bool connected_ = false;
};

std::vector<uint8_t> packet(uint8_t type, uint8_t status, const std::vector<uint8_t>& payload) {
    size_t length = payload.size() + 8;
    std::vector<uint8_t> out;
    out.reserve(length);
    for (uint8_t b : {type, status, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length & 0xFF),
                      uint8_t{0}, uint8_t{0}, uint8_t{1}, uint8_t{0}})
        out.push_back(b);
    for (uint8_t b : payload) out.push_back(b);
    return out;
}

std::vector<uint8_t> ucs2(const std::string& ascii) {
    std::vector<uint8_t> out;
    for (char c : ascii) { out.push_back(static_cast<uint8_t>(c)); out.push_back(0); }
    return out;
}

// A TDS 7.1 LOGIN7 for sa, asking for 512-byte packets so that replies span many packets.
std::vector<uint8_t> login7(const std::string& password) {
    std::vector<std::string> fields = {"host", "sa", password, "raw", "127.0.0.1", "", "raw-lib", "", ""};
    std::vector<uint8_t> data;
    std::vector<uint8_t> fixed(86, 0);
    auto put16 = [&](size_t at, uint16_t v) { fixed[at] = v & 0xFF; fixed[at + 1] = v >> 8; };
    auto put32 = [&](size_t at, uint32_t v) { put16(at, v & 0xFFFF); put16(at + 2, v >> 16); };
    put32(4, 0x71000001);
    put32(8, 512);
    const size_t offsets[] = {36, 40, 44, 48, 52, 56, 60, 64, 68};
    for (size_t i = 0; i < fields.size(); ++i) {
        std::vector<uint8_t> text = ucs2(fields[i]);
        if (i == 2)
            for (auto& b : text) b = static_cast<uint8_t>(((b << 4) | (b >> 4)) ^ 0xA5);
        put16(offsets[i], static_cast<uint16_t>(86 + data.size()));
        put16(offsets[i] + 2, static_cast<uint16_t>(fields[i].size()));
        data.insert(data.end(), text.begin(), text.end());
    }
    put32(0, static_cast<uint32_t>(86 + data.size()));
    fixed.insert(fixed.end(), data.begin(), data.end());
    return fixed;
}

bool endsWithFinalDone(const std::vector<uint8_t>& payload, uint16_t status) {
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

    const std::vector<std::vector<uint8_t>> attacks = {
        {0xDE, 0xAD, 0xBE, 0xEF, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55},  // garbage
        {0x12, 0x01, 0x00, 0x04, 0x00, 0x00, 0x01, 0x00},              // length below the header size
        {0x12, 0x01, 0xFF, 0xFF, 0x00, 0x00, 0x01, 0x00},              // longer than any packet may be
        packet(0x12, 0x01, {0x00, 0x00, 0x40, 0x00, 0x06, 0xFF}),      // PRELOGIN option out of range
        packet(0x10, 0x01, std::vector<uint8_t>(40, 0x41)),            // LOGIN7 cut short
        packet(0x02, 0x01, std::vector<uint8_t>(20, 0x00)),            // an old Sybase login
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
    raw.send(packet(0x10, 0x01, login7(server_->password())));
    ASSERT_TRUE(endsWithFinalDone(raw.readMessage(), 0x0000));

    // About 130,000 rows: far more than the socket buffers hold at 512 bytes a packet.
    raw.send(packet(0x01, 0x01, ucs2("create table #big (n int, pad char(100)) insert #big values (1, 'x') "
                                      "declare @i int set @i = 0 while @i < 17 begin "
                                      "insert #big select n + 1, pad from #big set @i = @i + 1 end")));
    ASSERT_FALSE(raw.readMessage().empty());
    raw.send(packet(0x01, 0x01, ucs2("select * from #big")));
    raw.send(packet(0x06, 0x01, {}));
    std::vector<uint8_t> reply = raw.readMessage();
    ASSERT_FALSE(reply.empty());
    EXPECT_LT(reply.size(), 130000u * 100u);  // the reply was cut short
    std::vector<uint8_t> acknowledgement = raw.readMessage();
    EXPECT_EQ(acknowledgement, (std::vector<uint8_t>{0xFD, 0x20, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}));

    raw.send(packet(0x01, 0x01, ucs2("select 1")));
    EXPECT_TRUE(endsWithFinalDone(raw.readMessage(), 0x0010));
    raw.send(packet(0x06, 0x01, {}));  // an attention when idle is acknowledged alone
    EXPECT_EQ(raw.readMessage(), acknowledgement);
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
