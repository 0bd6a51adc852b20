#pragma once
// Runs a T-SQL file on the engine before the server takes clients: batches separated by lines
// holding only GO, as the usual SQL Server tools take them.

#include "engine/engine.hpp"

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace sandbox {

// The batches of a script: the text between lines that hold only GO (any case, blanks around).
std::vector<std::string> splitBatches(std::string_view script);

// Thrown when a batch of the script fails; the text names the batch and the server's message.
class InitScriptError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Runs every batch of the file as sa in one session, in order; stops at the first error.
void runInitScript(Engine& engine, const std::string& path);

}  // namespace sandbox
