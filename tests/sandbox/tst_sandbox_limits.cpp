// The server holds against clients that stall, hoard or flood: a client that stops reading
// holds up no one, connections and logins are bounded, running out of descriptors or memory
// for threads refuses connections instead of spinning or ending the server, and a long loop
// runs to its end or until cancelled while others are served.

#include "odbc_client.hpp"
#include "raw_client.hpp"
#include "sandbox_fixture.hpp"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <future>
#include <memory>
#include <thread>

using namespace sandbox::testing;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

bool endsWithDone(const RawBytes& payload, uint16_t status) {
    if (payload.size() < 9) return false;
    const uint8_t* done = payload.data() + payload.size() - 9;
    return done[0] == 0xFD && done[1] == (status & 0xFF) && done[2] == (status >> 8);
}

void logIn(RawSocket& raw, const SandboxProcess& server) {
    raw.send(rawPacket(0x10, rawLogin7(server.password(), 4096)));
    ASSERT_TRUE(endsWithDone(raw.readMessage(), 0x0000));
}

// 32,768 rows of about 200 bytes: far more than the sockets between server and client hold.
void fillStallTable(const SandboxProcess& server) {
    OdbcConnection c(server.odbcConnectionString());
    ASSERT_TRUE(c.run("create table stall (n int, pad char(200)) insert stall values (1, 'x') "
                      "declare @i int set @i = 0 while @i < 15 begin insert stall select n + 1, pad from stall "
                      "set @i = @i + 1 end").ok);
}

// Runs `work` on a thread; false when it did not finish in time, after which the server is
// killed so that the thread ends.
template <typename F>
bool finishesWithin(std::chrono::seconds limit, SandboxProcess& server, F work) {
    auto done = std::async(std::launch::async, work);
    if (done.wait_for(limit) == std::future_status::ready) return true;
    server.stop(SIGKILL);
    return false;
}

// Waits until `accepted` holds, trying again for a few seconds.
template <typename F>
bool eventually(F accepted) {
    for (auto end = Clock::now() + 5s; Clock::now() < end; std::this_thread::sleep_for(100ms))
        if (accepted()) return true;
    return false;
}

bool serves(const SandboxProcess& server) {
    OdbcConnection c(server.odbcConnectionString());
    return c.connected() && c.scalar("select 6 * 7") == "42";
}

// Starts a server under a lower resource limit, which the child takes along.
std::unique_ptr<SandboxProcess> startLimited(int resource, rlim_t limit) {
    rlimit saved{};
    getrlimit(resource, &saved);
    rlimit lowered = saved;
    lowered.rlim_cur = limit;
    setrlimit(resource, &lowered);
    auto server = std::make_unique<SandboxProcess>();
    setrlimit(resource, &saved);
    return server;
}

}  // namespace

TEST(SandboxHolds, AClientThatStopsReadingHoldsUpNoOne) {
    SandboxProcess server;
    fillStallTable(server);
    RawSocket stalled(server.port(), 4096);
    logIn(stalled, server);
    stalled.send(rawPacket(0x01, rawUcs2("select * from stall")));
    std::this_thread::sleep_for(300ms);  // the reply fills what the sockets hold

    std::string seen;
    bool served = finishesWithin(10s, server, [&] {
        OdbcConnection late(server.odbcConnectionString());  // a login
        seen = late.scalar("select count(*) from stall").value_or("?");        // a reader
        seen += late.run("insert stall values (0, 'late')").ok ? ", insert" : ", failed";  // a writer
        seen += ", " + late.scalar("select count(*) from stall").value_or("?");
    });
    ASSERT_TRUE(served) << "others waited for a client that does not read";
    EXPECT_EQ(seen, "32768, insert, 32769");
    EXPECT_GT(stalled.drainMessage(), 32768u * 200u);  // the result as it stood, whole
}

TEST(SandboxHolds, AClientThatOnlyTricklesIsEndedAfterTheSendTimeout) {
    SandboxProcess server("Sandbox#1", false, {"--send-timeout", "1"});
    fillStallTable(server);
    RawSocket trickling(server.port(), 4096);
    logIn(trickling, server);
    trickling.send(rawPacket(0x01, rawUcs2("select * from stall")));

    OdbcConnection watcher(server.odbcConnectionString());
    const auto start = Clock::now();
    bool ended = false;
    while (!ended && Clock::now() - start < 15s) {
        trickling.receiveSome(512);  // reads a little now and then: each send would succeed
        std::this_thread::sleep_for(100ms);
        ended = watcher.scalar("select count(*) from master..sysprocesses where program_name = 'raw'") == "0";
    }
    std::printf("ended after %.2f s\n", std::chrono::duration<double>(Clock::now() - start).count());
    EXPECT_TRUE(ended) << "a trickling client kept its session";
    EXPECT_LT(Clock::now() - start, 10s);
}

TEST(SandboxHolds, ConnectionsBeyondTheLimitAreRefusedAndTheOthersServed) {
    SandboxProcess server("Sandbox#1", false, {"--max-connections", "3"});
    std::vector<std::unique_ptr<RawSocket>> held;
    for (int i = 0; i < 3; ++i) {
        held.push_back(std::make_unique<RawSocket>(server.port()));
        logIn(*held.back(), server);
    }
    RawSocket extra(server.port());
    EXPECT_TRUE(extra.closedByServer());
    held[0]->send(rawPacket(0x01, rawUcs2("select 1")));
    EXPECT_TRUE(endsWithDone(held[0]->readMessage(), 0x0010));  // those inside go on

    held.pop_back();  // one leaves; its place is free again
    EXPECT_TRUE(eventually([&] { return serves(server); }));
}

TEST(SandboxHolds, ALoginMustComeSoonAndBeSmall) {
    SandboxProcess server("Sandbox#1", false, {"--login-timeout", "1"});
    RawSocket silent(server.port());
    const auto start = Clock::now();
    EXPECT_TRUE(silent.closedByServer());
    EXPECT_LT(Clock::now() - start, 4s);

    RawSocket flood(server.port());  // 80 KB of PRELOGIN without an end: no login is that long
    for (int i = 0; i < 20; ++i) flood.send(rawPacket(0x12, RawBytes(4000, 0), 0x00));
    EXPECT_TRUE(flood.closedByServer());

    RawSocket idle(server.port());  // once logged in, a session may idle
    logIn(idle, server);
    std::this_thread::sleep_for(1500ms);
    idle.send(rawPacket(0x01, rawUcs2("select 1")));
    EXPECT_TRUE(endsWithDone(idle.readMessage(), 0x0010));
}

TEST(SandboxHolds, RunningOutOfDescriptorsNeitherSpinsNorEndsTheServer) {
    auto server = startLimited(RLIMIT_NOFILE, 32);
    std::vector<std::unique_ptr<RawSocket>> clients;
    for (int i = 0; i < 40; ++i) clients.push_back(std::make_unique<RawSocket>(server->port()));
    std::this_thread::sleep_for(300ms);  // the server has accepted all it can

    const double before = server->processorSeconds();
    std::this_thread::sleep_for(1s);
    EXPECT_LT(server->processorSeconds() - before, 0.2) << "the accept loop spins";

    clients.clear();
    EXPECT_TRUE(eventually([&] { return serves(*server); }));
    EXPECT_TRUE(server->running());
}

TEST(SandboxHolds, AThreadThatCannotStartRefusesOnlyItsConnection) {
    auto server = startLimited(RLIMIT_AS, 256u << 20);  // room for a few dozen session threads
    std::vector<std::unique_ptr<RawSocket>> clients;
    for (int i = 0; i < 80; ++i) clients.push_back(std::make_unique<RawSocket>(server->port()));
    EXPECT_TRUE(clients.back()->closedByServer());
    EXPECT_TRUE(server->running());

    clients.clear();
    EXPECT_TRUE(eventually([&] { return serves(*server); }));
}

TEST(SandboxHolds, ALoopRunsToItsEndOrUntilCancelledWhileOthersAreServed) {
    SandboxProcess server;
    OdbcConnection counter(server.odbcConnectionString());
    EXPECT_EQ(counter.scalar("declare @i int set @i = 0 while @i < 2000000 set @i = @i + 1 select @i"), "2000000");

    RawSocket looping(server.port());
    logIn(looping, server);
    looping.send(rawPacket(0x01, rawUcs2("declare @i int set @i = 0 while 1 = 1 set @i = @i + 1")));
    bool served = finishesWithin(10s, server, [&] {
        OdbcConnection other(server.odbcConnectionString());
        ASSERT_TRUE(other.run("create table meanwhile (n int) insert meanwhile values (1)").ok);
        EXPECT_EQ(other.scalar("select count(*) from meanwhile"), "1");
    });
    ASSERT_TRUE(served) << "a loop held the others up";

    looping.send(rawPacket(0x06, {}));
    RawBytes reply = looping.readMessage();  // the loop's reply, ended by the attention
    ASSERT_FALSE(reply.empty());
    EXPECT_TRUE(endsWithDone(looping.readMessage(), 0x0020));  // the acknowledgement
    looping.send(rawPacket(0x01, rawUcs2("select 1")));
    EXPECT_TRUE(endsWithDone(looping.readMessage(), 0x0010));
}

TEST(SandboxHolds, ALongSilentStatementEndsSoonAfterAnAttention) {
    SandboxProcess server;
    RawSocket raw(server.port());
    logIn(raw, server);
    raw.send(rawPacket(0x01, rawUcs2("create table digits (d int) "
                                     "insert digits values (0) insert digits values (1) insert digits values (2) "
                                     "insert digits values (3) insert digits values (4) insert digits values (5) "
                                     "insert digits values (6) insert digits values (7) insert digits values (8) "
                                     "insert digits values (9) "
                                     "select a.d * 100 + b.d * 10 + c.d as n into thousand from digits a, digits b, digits c")));
    ASSERT_FALSE(raw.readMessage().empty());
    // A hundred million combinations, none of them counted: minutes of work that sends nothing.
    raw.send(rawPacket(0x01, rawUcs2("select count(*) from thousand a, thousand b, digits c, digits d "
                                     "where a.n + b.n + c.d + d.d = -1")));
    std::this_thread::sleep_for(300ms);
    const auto start = Clock::now();
    raw.send(rawPacket(0x06, {}));
    RawBytes reply = raw.readMessage();  // the statement's reply, cut short: no row, no count, no error
    EXPECT_TRUE(endsWithDone(reply, 0x0000));
    EXPECT_LT(reply.size(), 40u);
    EXPECT_TRUE(endsWithDone(raw.readMessage(), 0x0020));    // the acknowledgement
    EXPECT_LT(Clock::now() - start, 3s);
    raw.send(rawPacket(0x01, rawUcs2("select 1")));
    EXPECT_TRUE(endsWithDone(raw.readMessage(), 0x0010));

    // The same once the rows are read and only the aggregate is being computed: a second of
    // reading a million rows, then many seconds of summing long strings.
    raw.send(rawPacket(0x01, rawUcs2("select sum(len(replicate('x', 1000 - a.n))) from thousand a, thousand b")));
    std::this_thread::sleep_for(1500ms);
    const auto whileSumming = Clock::now();
    raw.send(rawPacket(0x06, {}));
    EXPECT_LT(raw.readMessage().size(), 40u);
    EXPECT_TRUE(endsWithDone(raw.readMessage(), 0x0020));
    EXPECT_LT(Clock::now() - whileSumming, 3s);
}
