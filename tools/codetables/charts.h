#pragma once
// The GB2312 and Big5 character charts as glibc iconv decodes them, cell by cell.

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace makeddl::codetables {

// Code value (lead byte high, trail byte low) -> Unicode scalar value. Cells that are no code,
// or that iconv only maps into the Private Use Area, are absent.
using Chart = std::map<std::uint16_t, char32_t>;

// Every GB2312 code, decoded with iconv's "GB2312" (EUC-CN).
Chart ReadGB2312Chart();

// Every Big5 code: iconv's "BIG5", whose cells C6A1..C8FE are Private Use, completed in
// C6A1..C875 by the ETEN extension (numbered forms, radicals, kana, Cyrillic) as
// iconv's "BIG5-HKSCS" decodes it.
Chart ReadBig5Chart();

// UTF-8 text as Unicode scalar values; throws on malformed input.
std::u32string DecodeUtf8(std::string_view text);

}  // namespace makeddl::codetables
