#pragma once
// Where the executor sends what a batch produces; the server turns it into TDS tokens.

#include "tds/tokens.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace sandbox {

using tds::ColumnInfo;
using tds::ServerMessage;

// The statement kind carried in DONE tokens.
enum class StatementKind : uint16_t {
    Other = 0x00,
    Select = 0xC1,
    SelectInto = 0xC2,
    Insert = 0xC3,
    Delete = 0xC4,
    Update = 0xC5,
};

class ResultSink {
public:
    virtual ~ResultSink() = default;
    virtual void beginResult(const std::vector<ColumnInfo>& columns) = 0;
    // Returns false once the client cancelled: the executor stops producing rows.
    virtual bool row(const Value* values) = 0;
    virtual void message(const ServerMessage& message) = 0;
    virtual void databaseChanged(const std::string& newName, const std::string& oldName) = 0;
    virtual void returnStatus(int32_t status) = 0;
    // Ends one statement. `counted` says whether `rows` is meaningful; `error` marks a failure.
    virtual void statementDone(StatementKind kind, bool counted, uint64_t rows, bool error) = 0;
    virtual bool cancelled() const = 0;
    // Like cancelled(), but may also ask the client (at most every few milliseconds): long
    // loops call it on every turn, whether or not they produce output.
    virtual bool cancelRequested() { return cancelled(); }
    // True when more output waits for the client than the sink likes to keep.
    virtual bool lagging() const { return false; }
    // Called between statements with the engine lock let go: waits for a lagging client.
    virtual void catchUp() {}
};

}  // namespace sandbox
