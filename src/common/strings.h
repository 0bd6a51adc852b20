#pragma once
// Small text helpers shared by every subsystem.

#include <string>
#include <string_view>
#include <vector>

namespace makeddl {

// The text as a T-SQL string literal: between single quotes, each quote inside doubled.
std::string quoted(std::string_view text);

// A name as it goes into T-SQL: bare when it is a regular identifier and no reserved word,
// otherwise in brackets with every "]" doubled ("order" -> [order], "a]b" -> [a]]b]).
std::string quotedIdentifier(std::string_view name);

// True when the name can stand bare in T-SQL.
bool isRegularIdentifier(std::string_view name);

// True when the two texts are equal but for the letter case of ASCII letters, as SQL Server
// compares names under a case-insensitive collation.
bool equalsIgnoringCase(std::string_view a, std::string_view b);

// The text without its leading and trailing bytes of codes 0 to 32.
std::string trimmed(std::string_view text);

// Cuts the text at every ';'. n separators give n + 1 pieces, empty pieces included;
// a text without ';' (also the empty text) is its own single piece.
std::vector<std::string> SplitBySemicolon(std::string_view text);

}  // namespace makeddl
