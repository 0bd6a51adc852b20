// How sessions share the engine: the lock's order, batches that only read running side by
// side, long loops letting others in, and functions that may not change data.

#include "engine/convert.hpp"
#include "engine/engine.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

using namespace sandbox;
using namespace std::chrono_literals;

namespace {

// Keeps the first value of each row and the messages; can hold a batch inside its first row
// (a client that stops reading, as the engine sees it) and cancel on request.
class ControlledSink : public ResultSink {
public:
    std::vector<std::string> values;
    std::vector<int> errors;
    std::promise<void> inFirstRow;
    std::shared_future<void> release;
    std::atomic<bool> cancel{false};

    void beginResult(const std::vector<ColumnInfo>&) override {}
    bool row(const Value* v) override {
        if (release.valid() && values.empty()) {
            inFirstRow.set_value();
            release.wait();
        }
        values.push_back(v[0].isNull() ? "NULL" : formatValue(v[0], 121));
        return true;
    }
    void message(const ServerMessage& m) override {
        if (m.isError()) errors.push_back(m.number);
    }
    void databaseChanged(const std::string&, const std::string&) override {}
    void returnStatus(int32_t) override {}
    void statementDone(StatementKind, bool, uint64_t, bool) override {}
    bool cancelled() const override { return cancel.load(); }
};

class SandboxSharing : public ::testing::Test {
protected:
    std::unique_ptr<Session> login() { return engine_.openSession({"sa", "host", "test", "master", 1}); }

    // Runs a batch on a thread of its own, as a session's thread would.
    std::future<void> start(Session& session, const std::string& sql, ControlledSink& sink) {
        return std::async(std::launch::async, [&, sql] { engine_.execute(session, sql, sink); });
    }

    Engine engine_;
};

}  // namespace

TEST(SandboxEngineLock, ReadersShareAndAWaitingWriterGoesBeforeLaterReaders) {
    EngineLock lock;
    lock.lock(EngineLock::Mode::Shared);
    lock.lock(EngineLock::Mode::Shared);  // a second reader does not wait
    EXPECT_FALSE(lock.contended());

    std::atomic<int> order{0};
    int writerTurn = 0, readerTurn = 0;
    std::thread writer([&] {
        lock.lock(EngineLock::Mode::Exclusive);
        writerTurn = ++order;
        lock.unlock(EngineLock::Mode::Exclusive);
    });
    while (!lock.contended()) std::this_thread::yield();
    std::thread lateReader([&] {
        lock.lock(EngineLock::Mode::Shared);
        readerTurn = ++order;
        lock.unlock(EngineLock::Mode::Shared);
    });
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(order.load(), 0);  // the writer waits for both readers; the late reader waits behind it
    lock.unlock(EngineLock::Mode::Shared);
    lock.unlock(EngineLock::Mode::Shared);
    writer.join();
    lateReader.join();
    EXPECT_EQ(writerTurn, 1);
    EXPECT_EQ(readerTurn, 2);
    EXPECT_FALSE(lock.contended());
}

TEST_F(SandboxSharing, ReadingBatchesRunBesideAStalledReaderAndWritersWaitForIt) {
    auto stalled = login(), reader = login(), writer = login();
    ControlledSink setup;
    engine_.execute(*writer, "create table t (n int) insert t values (1) insert t values (2)", setup);
    ASSERT_TRUE(setup.errors.empty());

    std::promise<void> go;
    ControlledSink held;
    held.release = go.get_future().share();
    auto holding = start(*stalled, "select n from t", held);
    held.inFirstRow.get_future().wait();

    ControlledSink read;  // a batch that only reads runs while the other is inside its result
    auto reading = start(*reader, "declare @c int select @c = count(*) from t if @c > 0 select @c", read);
    ASSERT_EQ(reading.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(read.values, std::vector<std::string>{"2"});

    ControlledSink wrote;  // a batch that changes data waits until the reader has finished
    auto writing = start(*writer, "insert t values (3) select count(*) from t", wrote);
    EXPECT_EQ(writing.wait_for(200ms), std::future_status::timeout);
    go.set_value();
    holding.get();
    writing.get();
    EXPECT_EQ(held.values, (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(wrote.values, std::vector<std::string>{"3"});
}

TEST_F(SandboxSharing, ALoopRunsPastAMillionTurnsAndLetsOthersInUntilCancelled) {
    auto looping = login(), other = login();
    ControlledSink counted;
    engine_.execute(*looping, "declare @i int set @i = 0 while @i < 2000000 set @i = @i + 1 select @i", counted);
    EXPECT_EQ(counted.values, std::vector<std::string>{"2000000"});

    ControlledSink endless;
    auto loop = start(*looping, "declare @i int set @i = 0 while 1 = 1 begin set @i = @i + 1 end", endless);
    ControlledSink meanwhile;  // a writer gets its turn between the loop's statements
    auto writing = start(*other, "create table meanwhile (n int) insert meanwhile values (7) select n from meanwhile",
                         meanwhile);
    EXPECT_EQ(writing.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(meanwhile.values, std::vector<std::string>{"7"});
    EXPECT_EQ(loop.wait_for(0s), std::future_status::timeout);  // still looping
    endless.cancel = true;
    ASSERT_EQ(loop.wait_for(5s), std::future_status::ready);
    ControlledSink after;
    engine_.execute(*looping, "select 1", after);
    EXPECT_EQ(after.values, std::vector<std::string>{"1"});
}

TEST_F(SandboxSharing, FunctionsMayNotChangeData) {
    auto session = login();
    ControlledSink setup;
    engine_.execute(*session, "create table t (n int)", setup);
    engine_.execute(*session, "create function dbo.sneaky() returns int as begin insert t values (1) return 1 end", setup);
    ASSERT_TRUE(setup.errors.empty());
    ControlledSink called;
    engine_.execute(*session, "select dbo.sneaky()", called);
    EXPECT_EQ(called.errors, std::vector<int>{443});
    ControlledSink count;
    engine_.execute(*session, "select count(*) from t", count);
    EXPECT_EQ(count.values, std::vector<std::string>{"0"});
}

TEST_F(SandboxSharing, SessionsReadingOneViewAtOnceGetItsRows) {
    auto owner = login();
    ControlledSink setup;
    engine_.execute(*owner, "create table pairs (x int, y varchar(5), z int) insert pairs values (1, 'one', 10) "
                            "insert pairs values (2, 'two', 20)", setup);
    engine_.execute(*owner, "create view flipped as select z, y, x from pairs where x > 0", setup);
    ASSERT_TRUE(setup.errors.empty());
    // Each session reads the view's columns in another order of its own queries, many times.
    auto reader = [&](const std::string& sql, const std::vector<std::string>& expected) {
        auto session = login();
        for (int i = 0; i < 300; ++i) {
            ControlledSink sink;
            engine_.execute(*session, sql, sink);
            if (sink.values != expected) return false;
        }
        return true;
    };
    auto first = std::async(std::launch::async, reader, "select t.x from flipped t, pairs p where p.z = t.z order by 1",
                            std::vector<std::string>{"1", "2"});
    auto second = std::async(std::launch::async, reader, "select t.y from pairs p, flipped t where p.x = t.x order by 1",
                             std::vector<std::string>{"one", "two"});
    EXPECT_TRUE(first.get());
    EXPECT_TRUE(second.get());
}
