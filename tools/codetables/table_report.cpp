#include "table_report.h"

#include <algorithm>
#include <cstdio>
#include <span>
#include <string>

namespace makeddl::codetables {
namespace {

namespace grid = codeconv::grid;

std::string Hex(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04X", value);
  return text;
}

std::size_t CountCodes(std::span<const std::uint16_t> table) {
  return table.size() - std::count(table.begin(), table.end(), grid::kPlaceholder);
}

void ReportTotals(std::ostream& out, const char* name, std::span<const std::uint16_t> table) {
  const auto codes = CountCodes(table);
  out << name << ": " << table.size() << " entries, " << codes << " codes, "
      << table.size() - codes << " placeholders\n";
}

struct Range {
  const char* label;
  unsigned first_code;
  unsigned last_code;
};

}  // namespace

void ReportGBToBig5(std::ostream& out, const GBToBig5Array& table, const Chart& gb2312) {
  ReportTotals(out, "GBToBig5Table", table);
  constexpr Range kRows[] = {
      {"row A1", 0xA1A1, 0xA1FE}, {"row A2", 0xA2A1, 0xA2FE}, {"row A3", 0xA3A1, 0xA3FE},
      {"row A4", 0xA4A1, 0xA4FE}, {"row A5", 0xA5A1, 0xA5FE}, {"row A6", 0xA6A1, 0xA6FE},
      {"row A7", 0xA7A1, 0xA7FE}, {"row A8", 0xA8A1, 0xA8FE}, {"row A9", 0xA9A1, 0xA9FE},
      {"hanzi level 1 (B0..D7)", 0xB0A1, 0xD7FE}, {"hanzi level 2 (D8..F7)", 0xD8A1, 0xF7FE}};
  std::size_t not_codes = 0;
  for (std::size_t cell = 0; cell < table.size(); ++cell) {
    not_codes += !gb2312.contains(grid::GBCodeOfCell(cell));
  }
  out << "  placeholders at cells that are no GB2312 code: " << not_codes << "\n";
  out << "  GB2312 codes without a counterpart:\n";
  for (const auto& row : kRows) {
    std::size_t unmapped = 0;
    std::string level1_list;
    for (const auto& [code, c] : gb2312) {
      const auto cell = grid::GBCell(code >> 8, code & 0xFF);
      if (code >= row.first_code && code <= row.last_code &&
          table[cell] == grid::kPlaceholder) {
        ++unmapped;
        if (row.first_code == 0xB0A1) {
          level1_list.append(" ").append(Hex(code));
        }
      }
    }
    out << "    " << row.label << ": " << unmapped << level1_list << "\n";
  }
}

void ReportBig5ToGB(std::ostream& out, const Big5ToGBArray& table) {
  ReportTotals(out, "Big5ToGBTable", table);
  constexpr Range kRanges[] = {{"symbols A140..A3BF", 0xA140, 0xA3BF},
                               {"A3C0..A3FE", 0xA3C0, 0xA3FE},
                               {"hanzi level 1 A440..C67E", 0xA440, 0xC67E},
                               {"C6A1..C8FE", 0xC6A1, 0xC8FE},
                               {"hanzi level 2 C940..F9D5", 0xC940, 0xF9D5},
                               {"F9D6..FEFE", 0xF9D6, 0xFEFE}};
  for (const auto& range : kRanges) {
    std::size_t cells = 0;
    std::size_t mapped = 0;
    for (std::size_t cell = 0; cell < table.size(); ++cell) {
      const auto code = grid::Big5CodeOfCell(cell);
      if (code >= range.first_code && code <= range.last_code) {
        ++cells;
        mapped += table[cell] != grid::kPlaceholder;
      }
    }
    out << "  " << range.label << ": " << mapped << " of " << cells << " mapped\n";
  }
}

}  // namespace makeddl::codetables
