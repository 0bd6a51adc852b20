#include "codeconv/code_converter.h"

#include <cstring>

#include "codeconv/code_grid.h"

namespace makeddl::codeconv {
namespace {

static_assert(GBToBig5Table.size() == grid::kGBCells);
static_assert(Big5ToGBTable.size() == grid::kBig5Cells);

unsigned ByteAt(std::string_view text, std::size_t position) {
  return static_cast<unsigned char>(text[position]);
}

// For each byte, the first cell of its row when it is a lead byte and its column when it is a
// trail byte; kNoByte otherwise. The sum of the two is a cell exactly when both bytes qualify
// (any kNoByte makes it negative), so the scan tests a pair with two loads and one sign test.
constexpr std::int32_t kNoByte = -0x100000;
using ByteTable = std::array<std::int32_t, 256>;

template <typename Value>
constexpr ByteTable TableOfBytes(Value value_of_byte) {
  ByteTable table{};
  for (unsigned byte = 0; byte < table.size(); ++byte) {
    table[byte] = value_of_byte(byte);
  }
  return table;
}

struct GBToBig5Direction {
  static constexpr const auto& kTable = GBToBig5Table;
  static constexpr ByteTable kRowOfLead = TableOfBytes([](unsigned byte) {
    return grid::IsGBLead(byte) ? grid::GBCell(byte, grid::kGBFirstTrail) : kNoByte;
  });
  static constexpr ByteTable kColumnOfTrail = TableOfBytes([](unsigned byte) {
    return grid::IsGBTrail(byte) ? static_cast<std::int32_t>(byte - grid::kGBFirstTrail) : kNoByte;
  });
};

struct Big5ToGBDirection {
  static constexpr const auto& kTable = Big5ToGBTable;
  // A lead byte FF would index beyond the last row: it is copied alone.
  static constexpr ByteTable kRowOfLead = TableOfBytes([](unsigned byte) {
    const bool lead = byte >= grid::kBig5FirstLead && byte <= grid::kBig5LastLead;
    return lead ? grid::Big5Cell(byte, 0) : kNoByte;
  });
  static constexpr ByteTable kColumnOfTrail = TableOfBytes([](unsigned byte) {
    const int column = grid::Big5Column(byte);
    return column < 0 ? kNoByte : column;
  });
};

// The cell that a lead and a trail byte select, or a negative number when the scan copies the
// lead byte alone: the pair test followed by the index bound check.
template <typename Direction>
std::int32_t CellOf(unsigned lead, unsigned trail) {
  return Direction::kRowOfLead[lead] + Direction::kColumnOfTrail[trail];
}

// Bytes below 80 never start a pair in either direction. Copies the eight bytes at in when
// all of them are such bytes, else only the first; returns how many it copied. Runs of ASCII
// text thus cost one test per eight bytes.
std::size_t CopyAsciiBytes(const unsigned char* in, unsigned char* out, std::size_t available) {
  constexpr std::uint64_t kHighBits = 0x8080808080808080;
  std::uint64_t word = 0;
  if (available >= sizeof word) {
    std::memcpy(&word, in, sizeof word);
    if ((word & kHighBits) == 0) {
      std::memcpy(out, &word, sizeof word);
      return sizeof word;
    }
  }
  *out = *in;
  return 1;
}

// One pass from left to right into out, as many bytes as it reads: an accepted pair becomes
// the two bytes of its entry, any other byte is copied, and the next byte is then tried as a
// lead. Returns how many bytes it converted: all of them when `last`, else all but a final
// byte that has no next byte yet to pair with.
template <typename Direction>
std::size_t Convert(std::string_view text, char* converted, bool last) {
  const auto* in = reinterpret_cast<const unsigned char*>(text.data());
  auto* out = reinterpret_cast<unsigned char*>(converted);
  const std::size_t size = text.size();
  std::size_t position = 0;
  while (position + 1 < size) {
    const unsigned lead = in[position];
    if (lead < 0x80) {
      position += CopyAsciiBytes(in + position, out + position, size - position);
      continue;
    }
    const std::int32_t cell = CellOf<Direction>(lead, in[position + 1]);
    if (cell < 0) {
      out[position] = static_cast<unsigned char>(lead);
      ++position;
      continue;
    }
    const std::uint16_t code = Direction::kTable[static_cast<std::size_t>(cell)];
    out[position] = static_cast<unsigned char>(code >> 8);
    out[position + 1] = static_cast<unsigned char>(code & 0xFF);
    position += 2;
  }
  // The text's last byte would pair with 00, which is no trail byte in either direction.
  if (position < size && last) {
    out[position] = in[position];
    ++position;
  }
  return position;
}

template <typename Direction>
std::string ConvertWhole(std::string_view text) {
  std::string result(text.size(), '\0');
  Convert<Direction>(text, result.data(), true);
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

std::string GBToBig5(std::string_view text) { return ConvertWhole<GBToBig5Direction>(text); }

std::string Big5ToGB(std::string_view text) { return ConvertWhole<Big5ToGBDirection>(text); }

std::size_t GBToBig5Block(std::string_view text, char* out, bool last) {
  return Convert<GBToBig5Direction>(text, out, last);
}

std::size_t Big5ToGBBlock(std::string_view text, char* out, bool last) {
  return Convert<Big5ToGBDirection>(text, out, last);
}

}  // namespace makeddl::codeconv
