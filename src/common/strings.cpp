#include "common/strings.h"

#include <QList>
#include <QString>
#include <algorithm>
#include <array>
#include <cctype>

namespace makeddl {

std::string quoted(std::string_view text) {
  std::string result;
  result.reserve(text.size() + 2);
  result += '\'';
  for (char c : text) {
    if (c == '\'') result += '\'';
    result += c;
  }
  result += '\'';
  return result;
}

bool breaksScriptLine(char32_t c) {
  return (c < 0x20 && c != '\t') || c == 0x7F || c == 0x85 || c == 0x2028 || c == 0x2029;
}

namespace {

// The length of the line-breaking character that starts at `at` in UTF-8 text (U+0085 is
// C2 85, U+2028 and U+2029 are E2 80 A8 and E2 80 A9), or 0 when none starts there; its
// code point goes to `c`.
std::size_t lineBreakingAt(std::string_view utf8, std::size_t at, char32_t& c) {
  const auto byte = [&](std::size_t i) { return at + i < utf8.size() ? static_cast<unsigned char>(utf8[at + i]) : 0; };
  const unsigned char first = byte(0);
  if (first < 0x80) {
    c = first;
    return breaksScriptLine(c) ? 1 : 0;
  }
  if (first == 0xC2 && byte(1) == 0x85) {
    c = 0x85;
    return 2;
  }
  if (first == 0xE2 && byte(1) == 0x80 && (byte(2) == 0xA8 || byte(2) == 0xA9)) {
    c = byte(2) == 0xA8 ? 0x2028 : 0x2029;
    return 3;
  }
  return 0;
}

// Builds a string expression piece by piece: quoted stretches of text and character codes,
// joined with +.
class TextExpression {
 public:
  explicit TextExpression(bool national) : national_(national) {}

  void addText(std::string_view text) {
    if (text.empty()) return;
    join();
    if (national_) expression_ += 'N';
    expression_ += quoted(text);
  }

  void addCharacter(char32_t c, std::size_t count) {
    join();
    const std::string code = std::string(national_ || c > 0x7F ? "nchar(" : "char(") + std::to_string(c) + ")";
    expression_ += count == 1 ? code : "replicate(" + code + "," + std::to_string(count) + ")";
  }

  std::string finish() && { return std::move(expression_); }

 private:
  void join() {
    if (!expression_.empty()) expression_ += '+';
  }

  bool national_;
  std::string expression_;
};

// The reserved keywords of Transact-SQL (SQL Server 2000), upper case, sorted.
constexpr std::array<std::string_view, 174> kReservedWords = {
    "ADD", "ALL", "ALTER", "AND", "ANY", "AS", "ASC", "AUTHORIZATION", "BACKUP", "BEGIN", "BETWEEN", "BREAK",
    "BROWSE", "BULK", "BY", "CASCADE", "CASE", "CHECK", "CHECKPOINT", "CLOSE", "CLUSTERED", "COALESCE",
    "COLLATE", "COLUMN", "COMMIT", "COMPUTE", "CONSTRAINT", "CONTAINS", "CONTAINSTABLE", "CONTINUE",
    "CONVERT", "CREATE", "CROSS", "CURRENT", "CURRENT_DATE", "CURRENT_TIME", "CURRENT_TIMESTAMP",
    "CURRENT_USER", "CURSOR", "DATABASE", "DBCC", "DEALLOCATE", "DECLARE", "DEFAULT", "DELETE", "DENY", "DESC",
    "DISK", "DISTINCT", "DISTRIBUTED", "DOUBLE", "DROP", "DUMMY", "DUMP", "ELSE", "END", "ERRLVL", "ESCAPE",
    "EXCEPT", "EXEC", "EXECUTE", "EXISTS", "EXIT", "FETCH", "FILE", "FILLFACTOR", "FOR", "FOREIGN", "FREETEXT",
    "FREETEXTTABLE", "FROM", "FULL", "FUNCTION", "GOTO", "GRANT", "GROUP", "HAVING", "HOLDLOCK", "IDENTITY",
    "IDENTITYCOL", "IDENTITY_INSERT", "IF", "IN", "INDEX", "INNER", "INSERT", "INTERSECT", "INTO", "IS", "JOIN",
    "KEY", "KILL", "LEFT", "LIKE", "LINENO", "LOAD", "NATIONAL", "NOCHECK", "NONCLUSTERED", "NOT", "NULL",
    "NULLIF", "OF", "OFF", "OFFSETS", "ON", "OPEN", "OPENDATASOURCE", "OPENQUERY", "OPENROWSET", "OPENXML",
    "OPTION", "OR", "ORDER", "OUTER", "OVER", "PERCENT", "PLAN", "PRECISION", "PRIMARY", "PRINT", "PROC",
    "PROCEDURE", "PUBLIC", "RAISERROR", "READ", "READTEXT", "RECONFIGURE", "REFERENCES", "REPLICATION",
    "RESTORE", "RESTRICT", "RETURN", "REVOKE", "RIGHT", "ROLLBACK", "ROWCOUNT", "ROWGUIDCOL", "RULE", "SAVE",
    "SCHEMA", "SELECT", "SESSION_USER", "SET", "SETUSER", "SHUTDOWN", "SOME", "STATISTICS", "SYSTEM_USER",
    "TABLE", "TEXTSIZE", "THEN", "TO", "TOP", "TRAN", "TRANSACTION", "TRIGGER", "TRUNCATE", "TSEQUAL", "UNION",
    "UNIQUE", "UPDATE", "UPDATETEXT", "USE", "USER", "VALUES", "VARYING", "VIEW", "WAITFOR", "WHEN", "WHERE",
    "WHILE", "WITH", "WRITETEXT"};

bool isReservedWord(std::string_view name) {
  std::string upper(name);
  std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
  return std::binary_search(kReservedWords.begin(), kReservedWords.end(), upper);
}

bool isIdentifierStart(char32_t c) { return QChar::isLetter(c) || c == '_' || c == '@' || c == '#'; }

bool isIdentifierPart(char32_t c) {
  return isIdentifierStart(c) || QChar::isDigit(c) || c == '$';
}

bool isTrimmedByte(char c) { return static_cast<unsigned char>(c) <= 32; }
}  // namespace

std::string bracketed(std::string_view name) {
  std::string result;
  result.reserve(name.size() + 2);
  for (char c : name) {
    result += c;
    if (c == ']') result += ']';
  }
  return result;
}

bool holdsLineBreakingCharacter(std::string_view utf8) {
  char32_t c = 0;
  for (std::size_t at = 0; at < utf8.size(); ++at)
    if (lineBreakingAt(utf8, at, c) != 0) return true;
  return false;
}

std::vector<std::string> visibleLines(std::string_view utf8) {
  std::vector<std::string> lines(1);
  char32_t c = 0;
  for (std::size_t at = 0; at < utf8.size();) {
    const std::size_t length = lineBreakingAt(utf8, at, c);
    if (length == 0) {
      lines.back() += utf8[at++];
    } else if (c == '\r' || c == '\n' || c == 0x0B || c == 0x0C || c > 0x7F) {
      lines.emplace_back();
      at += c == '\r' && at + 1 < utf8.size() && utf8[at + 1] == '\n' ? 2 : length;
    } else {
      lines.back() += ' ';
      at += length;
    }
  }
  return lines;
}

std::string textLiteral(std::string_view utf8, bool national) {
  const std::string prefix = national ? "N" : "";
  if (!holdsLineBreakingCharacter(utf8)) return prefix + quoted(utf8);
  TextExpression expression(national);
  std::size_t stretch = 0;  // where the text not yet added starts
  char32_t c = 0;
  for (std::size_t at = 0; at < utf8.size();) {
    const std::size_t length = lineBreakingAt(utf8, at, c);
    if (length == 0) {
      ++at;
      continue;
    }
    expression.addText(utf8.substr(stretch, at - stretch));
    std::size_t count = 0;
    for (char32_t next = c; at < utf8.size() && lineBreakingAt(utf8, at, next) == length && next == c; at += length)
      ++count;
    expression.addCharacter(c, count);
    stretch = at;
  }
  expression.addText(utf8.substr(stretch));
  return std::move(expression).finish();
}

std::string trimmed(std::string_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && isTrimmedByte(text[begin])) ++begin;
  while (end > begin && isTrimmedByte(text[end - 1])) --end;
  return std::string(text.substr(begin, end - begin));
}

bool isRegularIdentifier(std::string_view name) {
  if (name.empty() || isReservedWord(name)) return false;
  const auto characters = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())).toUcs4();
  if (characters.isEmpty() || !isIdentifierStart(characters.front())) return false;
  return std::all_of(characters.begin() + 1, characters.end(), [](uint c) { return isIdentifierPart(c); });
}

std::string objectNameArgument(std::string_view name) {
  const bool readAsParts = name.find_first_of(".[]\"") != std::string_view::npos || name.starts_with(' ') ||
                           name.ends_with(' ');
  return textLiteral(readAsParts ? "[" + bracketed(name) + "]" : std::string(name));
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
           return std::tolower(x) == std::tolower(y);
         });
}

// A bare name that starts with "@" would read as a variable.
std::string quotedIdentifier(std::string_view name) {
  if (isRegularIdentifier(name) && !name.starts_with('@')) return std::string(name);
  return "[" + bracketed(name) + "]";
}

std::vector<std::string> SplitBySemicolon(std::string_view text) {
  std::vector<std::string> pieces;
  std::size_t start = 0;
  for (std::size_t at = text.find(';'); at != std::string_view::npos; at = text.find(';', start)) {
    pieces.emplace_back(text.substr(start, at - start));
    start = at + 1;
  }
  pieces.emplace_back(text.substr(start));
  return pieces;
}

}  // namespace makeddl
