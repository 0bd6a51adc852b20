#pragma once
// Geometry of the two code grids: how a GB2312 or Big5 code value finds its cell in a code
// table and back. Header-only and free of the tables themselves, so that the table generator
// in tools/codetables shares it without linking the converter.

#include <cstddef>
#include <cstdint>

namespace makeddl::codeconv::grid {

// Written for every cell without a counterpart: two ASCII blanks keep the text's width.
inline constexpr std::uint16_t kPlaceholder = 0x2020;

// GB2312: 87 rows (lead bytes A1..F7) of 94 columns (trail bytes A1..FE).
inline constexpr unsigned kGBFirstLead = 0xA1;
inline constexpr unsigned kGBLastLead = 0xF7;
inline constexpr unsigned kGBFirstTrail = 0xA1;
inline constexpr unsigned kGBLastTrail = 0xFE;
inline constexpr int kGBColumns = 94;
inline constexpr std::size_t kGBCells = 87 * kGBColumns;  // 8178

// Big5: 94 rows (lead bytes A1..FE) of 157 columns: trail bytes 40..7E, then A1..FE.
inline constexpr unsigned kBig5FirstLead = 0xA1;
inline constexpr unsigned kBig5LastLead = 0xFE;
inline constexpr unsigned kBig5LowTrailFirst = 0x40;
inline constexpr unsigned kBig5LowTrailLast = 0x7E;
inline constexpr unsigned kBig5HighTrailFirst = 0xA1;
inline constexpr unsigned kBig5HighTrailLast = 0xFE;
inline constexpr int kBig5LowColumns = 63;
inline constexpr int kBig5Columns = 157;
inline constexpr std::size_t kBig5Cells = 94 * kBig5Columns;  // 14758

constexpr bool IsGBLead(unsigned byte) { return byte >= kGBFirstLead && byte <= kGBLastLead; }
constexpr bool IsGBTrail(unsigned byte) { return byte >= kGBFirstTrail && byte <= kGBLastTrail; }

// Column of a Big5 trail byte, or -1 when the byte lies in neither trail range.
constexpr int Big5Column(unsigned trail) {
  if (trail >= kBig5LowTrailFirst && trail <= kBig5LowTrailLast) {
    return static_cast<int>(trail - kBig5LowTrailFirst);
  }
  if (trail >= kBig5HighTrailFirst && trail <= kBig5HighTrailLast) {
    return kBig5LowColumns + static_cast<int>(trail - kBig5HighTrailFirst);
  }
  return -1;
}

// Cell of a lead and trail byte, unchecked: the caller has tested the bytes.
constexpr int GBCell(unsigned lead, unsigned trail) {
  return (static_cast<int>(lead) - static_cast<int>(kGBFirstLead)) * kGBColumns +
         (static_cast<int>(trail) - static_cast<int>(kGBFirstTrail));
}
constexpr int Big5Cell(unsigned lead, int column) {
  return (static_cast<int>(lead) - static_cast<int>(kBig5FirstLead)) * kBig5Columns + column;
}

// The code value that a cell stands for.
constexpr std::uint16_t GBCodeOfCell(std::size_t cell) {
  const auto lead = kGBFirstLead + cell / kGBColumns;
  const auto trail = kGBFirstTrail + cell % kGBColumns;
  return static_cast<std::uint16_t>(lead << 8 | trail);
}
constexpr std::uint16_t Big5CodeOfCell(std::size_t cell) {
  const auto lead = kBig5FirstLead + cell / kBig5Columns;
  const auto column = cell % kBig5Columns;
  const auto trail = column < kBig5LowColumns
                         ? kBig5LowTrailFirst + column
                         : kBig5HighTrailFirst + (column - kBig5LowColumns);
  return static_cast<std::uint16_t>(lead << 8 | trail);
}

static_assert(GBCell(0xB0, 0xA1) == 1410);
static_assert(GBCodeOfCell(1410) == 0xB0A1);
static_assert(Big5Cell(0xA4, Big5Column(0x40)) == 471);
static_assert(Big5CodeOfCell(471) == 0xA440);
static_assert(Big5CodeOfCell(kBig5Cells - 1) == 0xFEFE);

}  // namespace makeddl::codeconv::grid
