#pragma once
// Small text helpers shared by every subsystem.

#include <string>
#include <string_view>
#include <vector>

namespace makeddl {

// The text as a T-SQL string literal: between single quotes, each quote inside doubled.
std::string quoted(std::string_view text);

// True for a character that a line of script cannot carry unchanged: a line break, any other
// control character but TAB, and the Unicode line breaks that text editors act on (U+0085,
// U+2028, U+2029). A script pane or a batch splitter would change or cut them.
bool breaksScriptLine(char32_t c);

// True when the UTF-8 text holds such a character.
bool holdsLineBreakingCharacter(std::string_view utf8);

// The text cut into the lines a reader sees: at CR LF, CR, LF, vertical tab, form feed and the
// Unicode line breaks; any other line-breaking character becomes a blank. No piece holds a
// line-breaking character, so each can stand in a comment line without ending it.
std::vector<std::string> visibleLines(std::string_view utf8);

// The text as a T-SQL expression that yields it exactly, written on one line: a string
// literal ('...', N'...' when `national`), with every line-breaking character written as
// char(n) (nchar(n)) and joined with +, a run of the same one as replicate(char(n),count).
// Such an expression stays a varchar (nvarchar), so it holds at most 8,000 bytes (4,000
// characters); text beyond that needs another form.
std::string textLiteral(std::string_view utf8, bool national = false);

// The name as it stands between brackets: every "]" doubled.
std::string bracketed(std::string_view name);

// A name as it goes into T-SQL: bare when it is a regular identifier and no reserved word,
// otherwise in brackets with every "]" doubled ("order" -> [order], "a]b" -> [a]]b]).
std::string quotedIdentifier(std::string_view name);

// True when the name is a regular identifier by SQL Server's rule and no reserved word: first a
// letter (the Unicode letter category), "_", "@" or "#", then letters, decimal digits, "@",
// "$", "#" and "_".
bool isRegularIdentifier(std::string_view name);

// The name as the argument of object_id(), index_col() and the like, as a string expression:
// those functions read their argument as a multi-part name, so a name holding ".", "[", "]" or
// '"', or with blanks at an end, goes in brackets; every other name stays as it is.
std::string objectNameArgument(std::string_view name);

// True when the two texts are equal but for the letter case of ASCII letters, as SQL Server
// compares names under a case-insensitive collation.
bool equalsIgnoringCase(std::string_view a, std::string_view b);

// The text without its leading and trailing bytes of codes 0 to 32.
std::string trimmed(std::string_view text);

// Cuts the text at every ';'. n separators give n + 1 pieces, empty pieces included;
// a text without ';' (also the empty text) is its own single piece.
std::vector<std::string> SplitBySemicolon(std::string_view text);

}  // namespace makeddl
