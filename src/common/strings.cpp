#include "common/strings.h"

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

namespace {

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

// Letters are ASCII letters and every character beyond ASCII (Chinese names are regular
// identifiers), except the ideographic space.
bool isLetterAt(std::string_view name, std::size_t at) {
  const auto c = static_cast<unsigned char>(name[at]);
  if (c >= 0x80) return name.substr(at, 3) != "\xE3\x80\x80";
  return std::isalpha(c) != 0;
}

bool isTrimmedByte(char c) { return static_cast<unsigned char>(c) <= 32; }
}  // namespace

std::string trimmed(std::string_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && isTrimmedByte(text[begin])) ++begin;
  while (end > begin && isTrimmedByte(text[end - 1])) --end;
  return std::string(text.substr(begin, end - begin));
}

bool isRegularIdentifier(std::string_view name) {
  if (name.empty() || isReservedWord(name)) return false;
  if (!(isLetterAt(name, 0) || name[0] == '_' || name[0] == '#')) return false;
  for (std::size_t at = 1; at < name.size(); ++at) {
    const char c = name[at];
    if (!(isLetterAt(name, at) || std::isdigit(static_cast<unsigned char>(c)) || c == '_' || c == '@' || c == '$' ||
          c == '#'))
      return false;
  }
  return true;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
           return std::tolower(x) == std::tolower(y);
         });
}

std::string quotedIdentifier(std::string_view name) {
  if (isRegularIdentifier(name)) return std::string(name);
  std::string result = "[";
  for (char c : name) {
    result += c;
    if (c == ']') result += ']';
  }
  return result + "]";
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
