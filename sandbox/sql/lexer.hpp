#pragma once
// Splits T-SQL text into tokens the way SQL Server 2000 reads it.

#include <string>
#include <string_view>
#include <vector>

namespace sandbox::sql {

enum class TokenKind {
    Word,            // identifier or keyword: name, #temp, dbo
    QuotedName,      // [name] or "name"
    Variable,        // @name
    SystemVariable,  // @@name
    String,          // 'text'
    UnicodeString,   // N'text'
    Integer,         // 123
    Number,          // 1.5 (decimal literal)
    Float,           // 1e5
    Binary,          // 0x1F
    Symbol,          // operators and punctuation
    End,
};

struct Token {
    TokenKind kind = TokenKind::End;
    std::string text;  // the value: unquoted name, string contents, digits, symbol
    size_t offset = 0; // byte offset of the token in the batch
    int line = 1;      // 1-based line in the batch
    size_t end = 0;    // byte offset just after the token
    bool is(std::string_view keyword) const;  // a Word equal to keyword, case ignored
    bool isSymbol(std::string_view symbol) const { return kind == TokenKind::Symbol && text == symbol; }
};

class LexError : public std::exception {
public:
    LexError(std::string near, int line) : near_(std::move(near)), line_(line) {}
    const char* what() const noexcept override { return near_.c_str(); }
    const std::string& near() const { return near_; }
    int line() const { return line_; }

private:
    std::string near_;
    int line_;
};

// Tokenizes a whole batch; comments (-- and nested /* */) are dropped. Throws LexError for an
// unterminated string, quoted name or comment.
std::vector<Token> tokenize(std::string_view sql);

}  // namespace sandbox::sql
