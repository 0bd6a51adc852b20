#pragma once
// Turns what the executor produces into the token stream of one reply message.

#include "engine/result_sink.hpp"
#include "tds/packet.hpp"

#include <functional>
#include <optional>

namespace sandbox {

class TdsSink : public ResultSink {
public:
    // `attentionArrived` is asked after packets went out; true stops the reply.
    TdsSink(tds::MessageWriter writer, tds::Encoding encoding, std::string serverName,
            std::function<bool()> attentionArrived);

    void beginResult(const std::vector<ColumnInfo>& columns) override;
    bool row(const Value* values) override;
    void message(const ServerMessage& message) override;
    void databaseChanged(const std::string& newName, const std::string& oldName) override;
    void returnStatus(int32_t status) override;
    void statementDone(StatementKind kind, bool counted, uint64_t rows, bool error) override;
    bool cancelled() const override { return cancelled_; }

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
    std::function<bool()> attentionArrived_;
    std::vector<ColumnInfo> columns_;
    tds::ByteWriter scratch_;
    std::optional<PendingDone> pendingDone_;
    bool cancelled_ = false;
};

}  // namespace sandbox
