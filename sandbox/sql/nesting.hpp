#pragma once
// How deep the parser and the executor may recurse. Input nested too deeply gets SQL Server's
// error 191 instead of exhausting the stack of the thread that runs it, whatever that thread's
// stack size.

#include <string_view>

namespace sandbox::sql {

inline constexpr int kNestedTooDeeply = 191;
inline constexpr std::string_view kNestedTooDeeplyText =
    "Some part of your SQL statement is nested too deeply. Rewrite the query or break it up into smaller queries.";

// True when the calling thread has used its stack so far that a recursion must stop here, while
// there is still room to report the error.
bool stackNearlyExhausted();

}  // namespace sandbox::sql
