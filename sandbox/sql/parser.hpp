#pragma once
// Parses a T-SQL batch into statements.

#include "sql/ast.hpp"
#include "sql/lexer.hpp"

#include <string>
#include <string_view>
#include <vector>

namespace sandbox::sql {

// A batch that does not parse. SQL Server reports it as message 170 (or 156 near a keyword).
class SyntaxError : public std::exception {
public:
    SyntaxError(std::string near, int line, bool keyword) : near_(std::move(near)), line_(line), keyword_(keyword) {}
    const char* what() const noexcept override { return near_.c_str(); }
    const std::string& near() const { return near_; }
    int line() const { return line_; }
    bool nearKeyword() const { return keyword_; }
    // Set when the batch breaks a rule other than syntax, with SQL Server's number and text.
    int number = 0;
    std::string text;

private:
    std::string near_;
    int line_;
    bool keyword_;
};

// Client batches have their calls of built-in functions checked as SQL Server compiles them.
// Text the sandbox kept itself (modules, defaults and checks in data and backup files) may
// come from an earlier version that did not check them: there the calls are checked as they run.
enum class CallChecks { WhenParsed, WhenRun };

// Parses every statement of the batch; throws SyntaxError (or LexError) if any part fails.
std::vector<StmtPtr> parseBatch(std::string_view sql, CallChecks checks = CallChecks::WhenParsed);
// Parses one expression (used for stored DEFAULT texts).
ExprPtr parseExpression(std::string_view sql, CallChecks checks = CallChecks::WhenParsed);
bool isReservedWord(std::string_view word);

}  // namespace sandbox::sql
