#pragma once
// Turns what the executor produces into the token stream of one reply message.

#include "engine/result_sink.hpp"
#include "tds/packet.hpp"

#include <chrono>
#include <functional>
#include <optional>

namespace sandbox {

// What the sink asks of the client's connection; each part may be left empty.
struct ClientLink {
    std::function<bool()> attentionArrived;  // asked after packets went out; true stops the reply
    std::function<bool()> lagging;           // much of the reply is still queued for the client
    std::function<void()> catchUp;           // waits for the client to read most of it
};

class TdsSink : public ResultSink {
public:
    TdsSink(tds::MessageWriter writer, tds::Encoding encoding, std::string serverName, ClientLink client);

    void beginResult(const std::vector<ColumnInfo>& columns) override;
    bool row(const Value* values) override;
    void message(const ServerMessage& message) override;
    void databaseChanged(const std::string& newName, const std::string& oldName) override;
    void returnStatus(int32_t status) override;
    void statementDone(StatementKind kind, bool counted, uint64_t rows, bool error) override;
    bool cancelled() const override { return cancelled_; }
    bool cancelRequested() override;
    bool lagging() const override { return client_.lagging && client_.lagging(); }
    void catchUp() override;

    // Ends the reply: the last DONE goes out without DONE_MORE, and the message gets its EOM.
    void finish();

private:
    struct PendingDone {
        uint16_t status;
        uint16_t kind;
        uint64_t rows;
    };
    void writePendingDone(bool more);
    void sendFullPackets();

    tds::MessageWriter writer_;
    tds::Encoding encoding_;
    std::string serverName_;
    void askForAttention();

    ClientLink client_;
    std::chrono::steady_clock::time_point lastAsked_;
    std::vector<ColumnInfo> columns_;
    tds::ByteWriter scratch_;
    std::optional<PendingDone> pendingDone_;
    bool cancelled_ = false;
};

}  // namespace sandbox
