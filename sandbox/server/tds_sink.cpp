#include "server/tds_sink.hpp"

namespace sandbox {

using namespace tds;

namespace {

// How often a loop that sends nothing asks the client whether it cancelled.
constexpr std::chrono::milliseconds kAttentionPoll{5};

}  // namespace

TdsSink::TdsSink(MessageWriter writer, Encoding encoding, std::string serverName, ClientLink client)
    : writer_(std::move(writer)), encoding_(encoding), serverName_(std::move(serverName)), client_(std::move(client)) {}

void TdsSink::askForAttention() {
    if (!cancelled_ && client_.attentionArrived && client_.attentionArrived()) cancelled_ = true;
    lastAsked_ = std::chrono::steady_clock::now();
}

bool TdsSink::cancelRequested() {
    if (!cancelled_ && std::chrono::steady_clock::now() - lastAsked_ >= kAttentionPoll) askForAttention();
    return cancelled_;
}

void TdsSink::catchUp() {
    writer_.flushFullPackets();
    if (client_.catchUp) client_.catchUp();
    askForAttention();
}

void TdsSink::writePendingDone(bool more) {
    if (!pendingDone_) return;
    uint16_t status = pendingDone_->status | (more ? kDoneMore : 0);
    writeDone(writer_.body(), DoneToken::Done, status, pendingDone_->kind, pendingDone_->rows, encoding_);
    pendingDone_.reset();
}

void TdsSink::sendFullPackets() {
    if (writer_.flushFullPackets() > 0) askForAttention();
}

void TdsSink::beginResult(const std::vector<ColumnInfo>& columns) {
    writePendingDone(true);
    columns_ = columns;
    writeColumnMetadata(writer_.body(), columns_, encoding_);
}

bool TdsSink::row(const Value* values) {
    if (cancelled_) return false;
    // Encoded aside first: a value that cannot be encoded must not leave half a row in the stream.
    scratch_.clear();
    writeRow(scratch_, columns_, values, encoding_);
    writer_.body().append(scratch_.bytes());
    sendFullPackets();
    return !cancelled_;
}

void TdsSink::message(const ServerMessage& message) {
    writePendingDone(true);
    writeMessage(writer_.body(), message, serverName_, encoding_);
}

void TdsSink::databaseChanged(const std::string& newName, const std::string& oldName) {
    writePendingDone(true);
    writeEnvChange(writer_.body(), EnvChange::Database, newName, oldName);
}

void TdsSink::returnStatus(int32_t status) {
    writePendingDone(true);
    writeReturnStatus(writer_.body(), status);
}

void TdsSink::statementDone(StatementKind kind, bool counted, uint64_t rows, bool error) {
    writePendingDone(true);
    uint16_t status = (counted ? kDoneCount : 0) | (error ? kDoneError : 0);
    pendingDone_ = PendingDone{status, static_cast<uint16_t>(kind), rows};
    sendFullPackets();
}

void TdsSink::finish() {
    if (!pendingDone_) pendingDone_ = PendingDone{kDoneFinal, 0, 0};
    writePendingDone(false);
    writer_.finish();
}

}  // namespace sandbox
