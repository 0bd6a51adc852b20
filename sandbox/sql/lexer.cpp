#include "sql/lexer.hpp"

#include "types/text.hpp"

#include <cctype>

namespace sandbox::sql {
namespace {

bool isWordStart(unsigned char c) { return std::isalpha(c) || c == '_' || c == '#' || c >= 0x80; }
bool isWordChar(unsigned char c) { return std::isalnum(c) || c == '_' || c == '#' || c == '@' || c == '$' || c >= 0x80; }

class Lexer {
public:
    explicit Lexer(std::string_view sql) : sql_(sql) {}

    std::vector<Token> run() {
        std::vector<Token> tokens;
        while (skipSpaceAndComments()) tokens.push_back(next());
        tokens.push_back(Token{TokenKind::End, "", sql_.size(), line_, sql_.size()});
        return tokens;
    }

private:
    char peek(size_t ahead = 0) const { return pos_ + ahead < sql_.size() ? sql_[pos_ + ahead] : '\0'; }

    void advance(size_t n = 1) {
        for (size_t i = 0; i < n && pos_ < sql_.size(); ++i)
            if (sql_[pos_++] == '\n') ++line_;
    }

    // Returns false at the end of the text.
    bool skipSpaceAndComments() {
        for (;;) {
            while (pos_ < sql_.size() && std::isspace(static_cast<unsigned char>(peek()))) advance();
            if (peek() == '-' && peek(1) == '-') {
                while (pos_ < sql_.size() && peek() != '\n') advance();
            } else if (peek() == '/' && peek(1) == '*') {
                skipBlockComment();
            } else {
                return pos_ < sql_.size();
            }
        }
    }

    void skipBlockComment() {
        int startLine = line_;
        int depth = 0;
        while (pos_ < sql_.size()) {
            if (peek() == '/' && peek(1) == '*') { ++depth; advance(2); continue; }
            if (peek() == '*' && peek(1) == '/') {
                advance(2);
                if (--depth == 0) return;
                continue;
            }
            advance();
        }
        throw LexError("/*", startLine);  // SQL Server: missing end comment mark
    }

    Token make(TokenKind kind, std::string text, size_t start, int line) {
        return Token{kind, std::move(text), start, line, pos_};
    }

    Token next() {
        size_t start = pos_;
        int line = line_;
        auto c = static_cast<unsigned char>(peek());
        if ((c == 'N' || c == 'n') && peek(1) == '\'') {
            advance();
            return make(TokenKind::UnicodeString, quoted('\''), start, line);
        }
        if (c == '\'') return make(TokenKind::String, quoted('\''), start, line);
        if (c == '[') return make(TokenKind::QuotedName, quoted(']'), start, line);
        if (c == '"') return make(TokenKind::QuotedName, quoted('"'), start, line);
        if (c == '@') return variable(start, line);
        if (c == '0' && (peek(1) == 'x' || peek(1) == 'X')) return binary(start, line);
        if (std::isdigit(c) || (c == '.' && std::isdigit(static_cast<unsigned char>(peek(1))))) return number(start, line);
        if (isWordStart(c)) return make(TokenKind::Word, word(), start, line);
        return make(TokenKind::Symbol, symbol(), start, line);
    }

    // Reads a quoted run; a doubled closing quote stands for one.
    std::string quoted(char close) {
        int line = line_;
        advance();
        std::string text;
        for (;;) {
            if (pos_ >= sql_.size()) throw LexError(close == ']' ? "[" : std::string(1, close), line);
            char c = peek();
            advance();
            if (c == close) {
                if (peek() != close) return text;
                advance();
            }
            text += c;
        }
    }

    std::string word() {
        size_t start = pos_;
        while (pos_ < sql_.size() && isWordChar(static_cast<unsigned char>(peek()))) advance();
        return std::string(sql_.substr(start, pos_ - start));
    }

    Token variable(size_t start, int line) {
        bool system = peek(1) == '@';
        advance(system ? 2 : 1);
        std::string name = word();
        return make(system ? TokenKind::SystemVariable : TokenKind::Variable, (system ? "@@" : "@") + name, start, line);
    }

    Token binary(size_t start, int line) {
        advance(2);
        size_t digits = pos_;
        while (std::isxdigit(static_cast<unsigned char>(peek()))) advance();
        return make(TokenKind::Binary, std::string(sql_.substr(digits, pos_ - digits)), start, line);
    }

    Token number(size_t start, int line) {
        TokenKind kind = TokenKind::Integer;
        while (std::isdigit(static_cast<unsigned char>(peek()))) advance();
        if (peek() == '.') {
            kind = TokenKind::Number;
            advance();
            while (std::isdigit(static_cast<unsigned char>(peek()))) advance();
        }
        if ((peek() == 'e' || peek() == 'E') &&
            (std::isdigit(static_cast<unsigned char>(peek(1))) ||
             ((peek(1) == '+' || peek(1) == '-') && std::isdigit(static_cast<unsigned char>(peek(2)))))) {
            kind = TokenKind::Float;
            advance(2);
            while (std::isdigit(static_cast<unsigned char>(peek()))) advance();
        }
        return make(kind, std::string(sql_.substr(start, pos_ - start)), start, line);
    }

    std::string symbol() {
        static const std::string_view twoChar[] = {"<=", ">=", "<>", "!=", "!<", "!>", "::"};
        for (std::string_view s : twoChar)
            if (sql_.substr(pos_, 2) == s) { advance(2); return std::string(s); }
        std::string text(1, peek());
        advance();
        return text;
    }

    std::string_view sql_;
    size_t pos_ = 0;
    int line_ = 1;
};

}  // namespace

bool Token::is(std::string_view keyword) const {
    return kind == TokenKind::Word && equalsIgnoreCase(text, keyword);
}

std::vector<Token> tokenize(std::string_view sql) { return Lexer(sql).run(); }

}  // namespace sandbox::sql
