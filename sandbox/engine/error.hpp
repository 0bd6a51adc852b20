#pragma once
// Errors raised while running a batch, carrying SQL Server's number, severity, state and text.

#include "tds/tokens.hpp"

#include <stdexcept>
#include <string>
#include <vector>

namespace sandbox {

class SqlError : public std::runtime_error {
public:
    // `abortsBatch`: SQL Server stops the batch (most compile and conversion errors); otherwise
    // only the statement fails and the batch goes on (constraint violations and the like).
    SqlError(int number, int severity, int state, std::string text, bool abortsBatch = true)
        : std::runtime_error(text), message_{number, state, severity, std::move(text), "", 1},
          abortsBatch_(abortsBatch) {}

    const tds::ServerMessage& message() const { return message_; }
    bool abortsBatch() const { return abortsBatch_; }
    // A message SQL Server sends after this one for the same failure, such as 1750 "Could not
    // create constraint. See previous errors." after the reason.
    SqlError& followedBy(int number, int severity, int state, std::string text) {
        followUps_.push_back({number, state, severity, std::move(text), "", 1});
        return *this;
    }
    const std::vector<tds::ServerMessage>& followUps() const { return followUps_; }

private:
    tds::ServerMessage message_;
    bool abortsBatch_;
    std::vector<tds::ServerMessage> followUps_;
};

namespace errors {
SqlError invalidObject(const std::string& name);         // 208
SqlError invalidColumn(const std::string& name);         // 207
SqlError ambiguousColumn(const std::string& name);       // 209
SqlError undeclaredVariable(const std::string& name);    // 137
SqlError unknownProcedure(const std::string& name);      // 2812
SqlError objectExists(const std::string& name);          // 2714
SqlError nestingTooDeep();                               // 217
SqlError unknownFunction(const std::string& name);       // 195
SqlError unknownType(const std::string& name);           // 243
SqlError divideByZero();                                 // 8134
SqlError overflow(const std::string& typeName);          // 8115
SqlError notSupported(const std::string& what);          // 170-style refusal for unsupported forms
SqlError constraintNotCreated(SqlError cause);           // the cause, then 1750
SqlError constraintNotDropped(SqlError cause);           // the cause, then 3727
}  // namespace errors

}  // namespace sandbox
