#include "scripts/long_text.h"

#include "common/strings.h"

namespace makeddl::scripts {

namespace {

const std::string kTable = "#makeddl_text";
const std::string kPointer = "@makeddl_ptr";
const std::string kPiece = "@makeddl_piece";
const std::string kNationalPiece = "@makeddl_npiece";

// What one expression can hold: 8,000 bytes of varchar, 4,000 characters of nvarchar.
constexpr std::size_t kPieceUnits = 8000;
constexpr std::size_t kNationalPieceUnits = 4000;

bool isLeadByte(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) != 0x80; }

// The size of the character that starts with `lead` on the server: bytes of code page 936
// (one for ASCII, two otherwise), or UTF-16 units for national text.
std::size_t serverUnits(char lead, bool national) {
  const auto byte = static_cast<unsigned char>(lead);
  if (national) return byte >= 0xF0 ? 2 : 1;
  return byte < 0x80 ? 1 : 2;
}

// The text cut at character boundaries into pieces that each fit one expression.
std::vector<std::string_view> pieces(std::string_view utf8, bool national) {
  const std::size_t limit = national ? kNationalPieceUnits : kPieceUnits;
  std::vector<std::string_view> result;
  std::size_t start = 0, units = 0;
  for (std::size_t at = 0; at < utf8.size(); ++at) {
    if (!isLeadByte(utf8[at])) continue;
    const std::size_t size = serverUnits(utf8[at], national);
    if (units + size > limit) {
      result.push_back(utf8.substr(start, at - start));
      start = at;
      units = 0;
    }
    units += size;
  }
  result.push_back(utf8.substr(start));
  return result;
}

std::string column(bool national) { return national ? "n" : "t"; }

std::string alias(int id) { return "v" + std::to_string(id); }

}  // namespace

bool needsLongTextForm(std::string_view utf8, bool national) {
  const std::size_t limit = national ? kNationalPieceUnits : kPieceUnits;
  if (utf8.size() <= limit) return false;  // no character takes fewer units than bytes
  return pieces(utf8, national).size() > 1 && holdsLineBreakingCharacter(utf8);
}

std::vector<std::string> longTextPreamble() {
  return {"DECLARE " + kPointer + " varbinary(16)," + kPiece + " varchar(8000)," + kNationalPiece + " nvarchar(4000)",
          "CREATE TABLE " + kTable + " (id int NOT NULL,t text NULL,n ntext NULL)"};
}

std::string longTextEpilogue() { return "DROP TABLE " + kTable; }

std::string longTextRowStart() { return "DELETE FROM " + kTable; }

std::vector<std::string> longTextBuild(int id, std::string_view utf8, bool national) {
  const std::string target = kTable + "." + column(national);
  const std::string piece = national ? kNationalPiece : kPiece;
  std::vector<std::string> lines{
      "INSERT INTO " + kTable + " (id,t,n) VALUES (" + std::to_string(id) + (national ? ",NULL,N'')" : ",'',NULL)"),
      "SELECT " + kPointer + "=TEXTPTR(" + column(national) + ") FROM " + kTable + " WHERE id=" + std::to_string(id),
  };
  for (std::string_view text : pieces(utf8, national)) {
    lines.push_back("SET " + piece + "=" + textLiteral(text, national));
    lines.push_back("UPDATETEXT " + target + " " + kPointer + " NULL 0 " + piece);
  }
  return lines;
}

std::string longTextColumn(int id, bool national) { return alias(id) + "." + column(national); }

std::string longTextSource(int id) { return kTable + " " + alias(id); }

std::string longTextCondition(int id) { return alias(id) + ".id=" + std::to_string(id); }

}  // namespace makeddl::scripts
