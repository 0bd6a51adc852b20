#pragma once
// GB2312 <-> Big5 conversion of byte strings through two fixed code tables.
//
// A text is a byte string in a two-byte encoding: bytes below 80 are ASCII, a two-byte
// character is a lead byte and a trail byte. Code values hold the lead byte high and the
// trail byte low (啊 = B0 A1 = 0xB0A1). Both conversions scan once from left to right, turn
// every accepted pair into the two bytes of its table entry and copy every other byte, so the
// result always has as many bytes as the text. A cell without a counterpart, and the
// ideographic space, become two ASCII blanks (0x2020).

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace makeddl::codeconv {

// Indexed by GBIndex: 87 rows (lead A1..F7) x 94 columns (trail A1..FE). Generated source.
extern const std::array<std::uint16_t, 8178> GBToBig5Table;
// Indexed by Big5Index: 94 rows (lead A1..FE) x 157 columns (trail 40..7E, A1..FE).
extern const std::array<std::uint16_t, 14758> Big5ToGBTable;

// -1 when pair has fewer than two bytes; otherwise (first - A1) * 94 + (second - A1), with
// no check of the bytes, so it may be negative or beyond the table.
int GBIndex(std::string_view pair);

// -1 when pair has fewer than two bytes or its second byte is no Big5 trail byte; otherwise
// (first - A1) * 157 + the trail byte's column, with no check of the first byte.
int Big5Index(std::string_view pair);

// At least two bytes, the first A1..F7 and the second A1..FE.
bool IsGBPair(std::string_view text);

// At least two bytes, the first A1 or above and the second 40..7E or A1..FE.
bool IsBig5Pair(std::string_view text);

// The two bytes of a code value: high byte, then low byte.
std::string CodePair(std::uint16_t code);

std::string GBToBig5(std::string_view text);
std::string Big5ToGB(std::string_view text);

// The same conversions for text that comes in blocks: converts the block into out (as many
// bytes as it reads) and returns how many bytes it converted. Unless `last`, a final byte
// that could lead a pair is left out, to be given again at the start of the next block, so
// that a pair split between two blocks converts as it does in one text.
std::size_t GBToBig5Block(std::string_view block, char* out, bool last);
std::size_t Big5ToGBBlock(std::string_view block, char* out, bool last);

}  // namespace makeddl::codeconv
