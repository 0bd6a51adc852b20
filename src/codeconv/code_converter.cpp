#include "codeconv/code_converter.h"

#include "codeconv/code_grid.h"

namespace makeddl::codeconv {
namespace {

static_assert(GBToBig5Table.size() == grid::kGBCells);
static_assert(Big5ToGBTable.size() == grid::kBig5Cells);

unsigned ByteAt(std::string_view text, std::size_t position) {
  return static_cast<unsigned char>(text[position]);
}

// Column of every byte as a Big5 trail byte (-1: none), so that the scan tests a trail byte
// with one load.
constexpr std::array<std::int16_t, 256> kBig5ColumnOfByte = [] {
  std::array<std::int16_t, 256> columns{};
  for (unsigned byte = 0; byte < columns.size(); ++byte) {
    columns[byte] = static_cast<std::int16_t>(grid::Big5Column(byte));
  }
  return columns;
}();

// The cell of the table that a lead and a trail byte select, or -1 when the scan copies the
// lead byte alone. Equivalent to the pair test followed by the index bound check.
struct GBToBig5Direction {
  static constexpr const auto& kTable = GBToBig5Table;
  static int CellOf(unsigned lead, unsigned trail) {
    return grid::IsGBLead(lead) && grid::IsGBTrail(trail) ? grid::GBCell(lead, trail) : -1;
  }
};

struct Big5ToGBDirection {
  static constexpr const auto& kTable = Big5ToGBTable;
  static int CellOf(unsigned lead, unsigned trail) {
    // A lead byte FF would index beyond the last row: it is copied alone.
    if (lead < grid::kBig5FirstLead || lead > grid::kBig5LastLead) {
      return -1;
    }
    const int column = kBig5ColumnOfByte[trail];
    return column < 0 ? -1 : grid::Big5Cell(lead, column);
  }
};

// One pass from left to right into a result of the text's size: an accepted pair becomes the
// two bytes of its entry, any other byte is copied, and the next byte is then tried as a lead.
template <typename Direction>
std::string Convert(std::string_view text) {
  std::string result(text.size(), '\0');
  const auto* in = reinterpret_cast<const unsigned char*>(text.data());
  auto* out = reinterpret_cast<unsigned char*>(result.data());
  const std::size_t size = text.size();
  std::size_t position = 0;
  while (position + 1 < size) {
    const int cell = Direction::CellOf(in[position], in[position + 1]);
    if (cell < 0) {
      out[position] = in[position];
      ++position;
      continue;
    }
    const std::uint16_t code = Direction::kTable[static_cast<std::size_t>(cell)];
    out[position] = static_cast<unsigned char>(code >> 8);
    out[position + 1] = static_cast<unsigned char>(code & 0xFF);
    position += 2;
  }
  // The last byte would pair with 00, which is no trail byte in either direction.
  if (position < size) {
    out[position] = in[position];
  }
  return result;
}

}  // namespace

int GBIndex(std::string_view pair) {
  if (pair.size() < 2) {
    return -1;
  }
  return grid::GBCell(ByteAt(pair, 0), ByteAt(pair, 1));
}

int Big5Index(std::string_view pair) {
  if (pair.size() < 2) {
    return -1;
  }
  const int column = grid::Big5Column(ByteAt(pair, 1));
  return column < 0 ? -1 : grid::Big5Cell(ByteAt(pair, 0), column);
}

bool IsGBPair(std::string_view text) {
  return text.size() >= 2 && grid::IsGBLead(ByteAt(text, 0)) && grid::IsGBTrail(ByteAt(text, 1));
}

bool IsBig5Pair(std::string_view text) {
  return text.size() >= 2 && ByteAt(text, 0) >= grid::kBig5FirstLead &&
         grid::Big5Column(ByteAt(text, 1)) >= 0;
}

std::string CodePair(std::uint16_t code) {
  return {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
}

std::string GBToBig5(std::string_view text) { return Convert<GBToBig5Direction>(text); }

std::string Big5ToGB(std::string_view text) { return Convert<Big5ToGBDirection>(text); }

}  // namespace makeddl::codeconv
