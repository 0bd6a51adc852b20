// The reply stream of a batch: which DONE tokens carry DONE_MORE, DONE_COUNT and DONE_ERROR,
// and where messages and result sets stand, decoded from the bytes the server sends.

#include "engine/engine.hpp"
#include "server/browser.hpp"
#include "server/tds_sink.hpp"

#include <gtest/gtest.h>

using namespace sandbox;
using namespace sandbox::tds;

namespace {

// Walks a 7.1 token stream far enough to list its tokens and the DONE statuses and counts.
struct Token {
    uint8_t kind;
    uint16_t status = 0;
    uint32_t count = 0;
    int number = 0;
};

std::vector<Token> tokensOf(const Bytes& stream, size_t columns) {
    std::vector<Token> tokens;
    ByteReader r(stream);
    while (r.remaining() > 0) {
        Token t{r.u8()};
        switch (t.kind) {
            case 0xFD: case 0xFE: case 0xFF:
                t.status = r.u16le();
                r.u16le();
                t.count = r.u32le();
                break;
            case 0xAA: case 0xAB: case 0xE3: {
                uint16_t length = r.u16le();
                const uint8_t* body = r.take(length);
                if (t.kind != 0xE3) t.number = body[0] | (body[1] << 8);
                break;
            }
            case 0x79: r.take(4); break;
            case 0x81: {  // only int columns are used below: user type, flags, 0x26 0x04, name
                uint16_t count = r.u16le();
                for (uint16_t c = 0; c < count; ++c) {
                    r.take(4);
                    uint8_t type = r.u8();
                    if (type == 0x26) r.u8();
                    r.take(size_t{r.u8()} * 2);
                }
                break;
            }
            case 0xD1:
                for (size_t c = 0; c < columns; ++c) r.take(r.u8());
                break;
            default: throw std::runtime_error("unexpected token " + std::to_string(t.kind));
        }
        tokens.push_back(t);
    }
    return tokens;
}

class SandboxReplyStream : public ::testing::Test {
protected:
    SandboxReplyStream() : session_(engine_.openSession({"sa", "host", "test", "master", 1})) {}

    // Runs a batch and returns the reply's payload (packet headers removed).
    Bytes reply(const std::string& sql) {
        Bytes payload;
        MessageWriter writer(
            [&payload](const uint8_t* data, size_t size) { payload.insert(payload.end(), data + 8, data + size); },
            4096, 51);
        TdsSink sink(std::move(writer), Encoding{0x71}, "SANDBOX", {});
        engine_.execute(*session_, sql, sink);
        sink.finish();
        return payload;
    }

    Engine engine_;
    std::unique_ptr<Session> session_;
};

}  // namespace

TEST_F(SandboxReplyStream, EveryStatementEndsInADoneAndOnlyTheLastLacksDoneMore) {
    std::vector<Token> tokens = tokensOf(reply("create table #t (v int) insert #t values (1) insert #t values (2) "
                                               "select v from #t"), 1);
    std::vector<uint8_t> kinds;
    for (const auto& t : tokens) kinds.push_back(t.kind);
    EXPECT_EQ(kinds, (std::vector<uint8_t>{0xFD, 0xFD, 0xFD, 0x81, 0xD1, 0xD1, 0xFD}));
    EXPECT_EQ(tokens[0].status, kDoneMore);                // CREATE TABLE: no count
    EXPECT_EQ(tokens[1].status, kDoneMore | kDoneCount);   // INSERT: one row
    EXPECT_EQ(tokens[1].count, 1u);
    EXPECT_EQ(tokens.back().status, kDoneCount);           // the final DONE
    EXPECT_EQ(tokens.back().count, 2u);
}

TEST_F(SandboxReplyStream, ErrorsPrecedeADoneWithDoneErrorAndNocountDropsCounts) {
    std::vector<Token> failed = tokensOf(reply("select * from nowhere"), 0);
    ASSERT_EQ(failed.size(), 2u);
    EXPECT_EQ(failed[0].kind, 0xAA);
    EXPECT_EQ(failed[0].number, 208);
    EXPECT_EQ(failed[1].status, kDoneError);

    std::vector<Token> quiet = tokensOf(reply("set nocount on create table #q (v int) insert #q values (1)"), 0);
    ASSERT_EQ(quiet.size(), 3u);
    EXPECT_EQ(quiet.back().status, 0);  // no DONE_COUNT under NOCOUNT

    std::vector<Token> declared = tokensOf(reply("declare @x int"), 0);
    ASSERT_EQ(declared.size(), 1u);  // DECLARE sends no DONE of its own; the reply still ends in one
    EXPECT_EQ(declared[0].status, 0);

    std::vector<Token> use = tokensOf(reply("use tempdb"), 0);
    ASSERT_EQ(use.size(), 3u);
    EXPECT_EQ(use[0].kind, 0xE3);    // ENVCHANGE database
    EXPECT_EQ(use[1].number, 5701);  // Changed database context
}

TEST_F(SandboxReplyStream, ProceduresReturnTheirStatus) {
    reply("create procedure p_status as return 7");
    std::vector<Token> tokens = tokensOf(reply("exec p_status"), 0);
    ASSERT_GE(tokens.size(), 2u);
    EXPECT_EQ(tokens[tokens.size() - 2].kind, 0x79);  // RETURNSTATUS before the final DONE
}

TEST(SandboxBrowser, AnswersEnumerationAndItsOwnInstanceOnly) {
    std::string expected = "ServerName;SANDBOX;InstanceName;MSSQLSERVER;IsClustered;No;Version;8.00.2039;tcp;1433;;";
    const BrowserInstance instance{"SANDBOX", "8.00.2039", 1433};
    std::vector<uint8_t> reply = browserReply({0x03}, instance);
    ASSERT_EQ(reply.size(), 3 + expected.size());
    EXPECT_EQ(reply[0], 0x05);
    EXPECT_EQ(reply[1] | (reply[2] << 8), static_cast<int>(expected.size()));
    EXPECT_EQ(std::string(reply.begin() + 3, reply.end()), expected);
    EXPECT_EQ(browserReply({0x02}, instance), reply);
    std::vector<uint8_t> named = {0x04, 'm', 's', 's', 'q', 'l', 's', 'e', 'r', 'v', 'e', 'r', 0x00};
    EXPECT_EQ(browserReply(named, instance), reply);
    EXPECT_TRUE(browserReply({0x04, 'S', 'Q', 'L', '2', 0x00}, instance).empty());  // not ours: silence
    EXPECT_TRUE(browserReply({0x0F, 0x01}, instance).empty());
    EXPECT_TRUE(browserReply({}, instance).empty());
}
