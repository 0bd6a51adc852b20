#pragma once
// OpenCC's character dictionaries in their text form (opencc_dict -t text): one line per
// character, "key<TAB>candidate candidate ...", the preferred candidate first.

#include <filesystem>
#include <map>
#include <vector>

namespace makeddl::codetables {

// Single-character keys to their single-character candidates, in the dictionary's order.
using CharacterDictionary = std::map<char32_t, std::vector<char32_t>>;

CharacterDictionary ReadCharacterDictionary(const std::filesystem::path& file);

// Each candidate to the first key that lists it (TWVariants read backwards: 裡 -> 裏).
std::map<char32_t, char32_t> ReverseDictionary(const CharacterDictionary& dictionary);

}  // namespace makeddl::codetables
