#pragma once
// How each cell of the two code tables is chosen; docs/code-tables.md states the same rules
// in prose.

#include <array>
#include <cstdint>

#include "charts.h"
#include "codeconv/code_grid.h"
#include "opencc_dictionary.h"

namespace makeddl::codetables {

struct CharacterData {
  Chart gb2312;
  Chart big5;
  CharacterDictionary simplified_to_traditional;  // OpenCC STCharacters
  CharacterDictionary taiwan_variants;            // OpenCC TWVariants
  CharacterDictionary traditional_to_simplified;  // OpenCC TSCharacters
};

using GBToBig5Array = std::array<std::uint16_t, codeconv::grid::kGBCells>;
using Big5ToGBArray = std::array<std::uint16_t, codeconv::grid::kBig5Cells>;

GBToBig5Array BuildGBToBig5Table(const CharacterData& data);
Big5ToGBArray BuildBig5ToGBTable(const CharacterData& data);

}  // namespace makeddl::codetables
