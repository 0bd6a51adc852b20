#include "opencc_dictionary.h"

#include <fstream>
#include <stdexcept>
#include <string>

#include "charts.h"

namespace makeddl::codetables {
namespace {

// The candidates of one line; phrases (more than one character) are passed over.
std::vector<char32_t> SingleCharacters(const std::u32string& candidates) {
  std::vector<char32_t> result;
  std::size_t start = 0;
  while (start <= candidates.size()) {
    const auto end = std::min(candidates.find(U' ', start), candidates.size());
    if (end - start == 1) {
      result.push_back(candidates[start]);
    }
    start = end + 1;
  }
  return result;
}

}  // namespace

CharacterDictionary ReadCharacterDictionary(const std::filesystem::path& file) {
  std::ifstream stream(file);
  if (!stream) {
    throw std::runtime_error("cannot read " + file.string());
  }
  CharacterDictionary dictionary;
  std::string line;
  while (std::getline(stream, line)) {
    const auto decoded = DecodeUtf8(line);
    const auto tab = decoded.find(U'\t');
    if (tab != 1) {
      continue;  // a phrase key, or no entry at all
    }
    auto candidates = SingleCharacters(decoded.substr(tab + 1));
    if (!candidates.empty()) {
      dictionary.emplace(decoded.front(), std::move(candidates));
    }
  }
  if (dictionary.empty()) {
    throw std::runtime_error(file.string() + " holds no character entries");
  }
  return dictionary;
}

std::map<char32_t, char32_t> ReverseDictionary(const CharacterDictionary& dictionary) {
  std::map<char32_t, char32_t> reverse;
  for (const auto& [key, candidates] : dictionary) {
    for (const char32_t candidate : candidates) {
      reverse.emplace(candidate, key);
    }
  }
  return reverse;
}

}  // namespace makeddl::codetables
