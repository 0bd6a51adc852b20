#pragma once
// Errors raised while running a batch, carrying SQL Server's number, severity, state and text.

#include "tds/tokens.hpp"

#include <stdexcept>
#include <string>

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

private:
    tds::ServerMessage message_;
    bool abortsBatch_;
};

namespace errors {
SqlError invalidObject(const std::string& name);         // 208
SqlError invalidColumn(const std::string& name);         // 207
SqlError ambiguousColumn(const std::string& name);       // 209
SqlError undeclaredVariable(const std::string& name);    // 137
SqlError unknownProcedure(const std::string& name);      // 2812
SqlError objectExists(const std::string& name);          // 2714
SqlError unknownFunction(const std::string& name);       // 195
SqlError unknownType(const std::string& name);           // 243
SqlError divideByZero();                                 // 8134
SqlError overflow(const std::string& typeName);          // 8115
SqlError notSupported(const std::string& what);          // 170-style refusal for unsupported forms
}  // namespace errors

}  // namespace sandbox
