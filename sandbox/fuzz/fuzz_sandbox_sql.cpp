// libFuzzer target: arbitrary text through the T-SQL tokenizer and parser. Any input must
// parse or end in a SyntaxError or LexError, never a crash or a hang.

#include "sql/parser.hpp"

#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view sql(reinterpret_cast<const char*>(data), size);
    try {
        sandbox::sql::parseBatch(sql);
    } catch (const sandbox::sql::SyntaxError&) {
    } catch (const sandbox::sql::LexError&) {
    }
    return 0;
}
