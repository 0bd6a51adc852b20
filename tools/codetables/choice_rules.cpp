#include "choice_rules.h"

#include <algorithm>
#include <map>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace makeddl::codetables {
namespace {

using Code = std::optional<std::uint16_t>;
namespace grid = codeconv::grid;

constexpr char32_t kIdeographicSpace = U'\u3000';

// Symbols that a chart holds under a neighbouring code point: glibc reads GB2312 A1A4 and
// A1AA as U+30FB and U+2015 where the Windows code pages read U+00B7 and U+2014, and Big5
// writes the relations <=, >=, ~= in their East Asian forms. First: GB2312 side; second: Big5.
constexpr std::array<std::pair<char32_t, char32_t>, 7> kNearSymbols{{
    {U'\u30FB', U'\u00B7'},  // ・ ·
    {U'\u30FB', U'\u2027'},  // ・ ‧
    {U'\u2015', U'\u2014'},  // ― —
    {U'\u2016', U'\u2225'},  // ‖ ∥
    {U'\u2264', U'\u2266'},  // ≤ ≦
    {U'\u2265', U'\u2267'},  // ≥ ≧
    {U'\u2248', U'\u2252'},  // ≈ ≒
}};

// The arms of the box-drawing characters, four digits each: up, right, down, left; 0 none,
// 1 light (single), 2 heavy (double). Dashed lines count as the solid line of their weight.
// GB2312 draws with light and heavy lines (U+2500..U+254B); Big5 has light and double lines
// (U+2550..U+256C), so a heavy arm becomes a double one.
constexpr std::string_view kLightHeavyArms =
    "0101020210102020010102021010202001010202101020200110021001200220001100120021002211001200"
    "2100220010011002200120021110121021101120212022101220222010111012201110212021201210222022"
    "0111011202110212012101220221022211011102120112022101210222012202111111121211121221111121"
    "2121211222111122122122121222212222212222";
constexpr char32_t kLightHeavyFirst = U'\u2500';
constexpr std::string_view kSingleDoubleArms =
    "0202202002100120022000120021002212002100220010022001200212102120222010122021202202120121"
    "0222120221012202121221212222";
constexpr char32_t kSingleDoubleFirst = U'\u2550';
constexpr std::size_t kArmDigits = 4;
static_assert(kLightHeavyArms.size() == (0x254B - 0x2500 + 1) * kArmDigits);
static_assert(kSingleDoubleArms.size() == (0x256C - 0x2550 + 1) * kArmDigits);

std::optional<std::string_view> BoxArms(char32_t c) {
  const auto arms_in = [c](std::string_view table, char32_t first) -> std::optional<std::string_view> {
    if (c < first || (c - first) * kArmDigits >= table.size()) {
      return std::nullopt;
    }
    return table.substr((c - first) * kArmDigits, kArmDigits);
  };
  if (auto arms = arms_in(kLightHeavyArms, kLightHeavyFirst)) {
    return arms;
  }
  return arms_in(kSingleDoubleArms, kSingleDoubleFirst);
}

// Character -> code in one chart. Big5 holds a few characters twice (十 卅 in its symbol row,
// ═ ╞ ╪ ╡ ╭ ╮ ╰ ╯ in row A2 and again among the box lines F9DD..F9FE); the later cell wins,
// so hanzi come from the hanzi block and all box lines from one set.
class CodeIndex {
 public:
  explicit CodeIndex(const Chart& chart) {
    for (const auto& [code, c] : chart) {
      codes_[c] = code;
      if (const auto arms = BoxArms(c)) {
        box_codes_[*arms] = code;
      }
    }
  }
  Code Find(char32_t c) const {
    const auto found = codes_.find(c);
    return found == codes_.end() ? Code{} : found->second;
  }
  // The box line of this chart with the arms of c, heavy read as double.
  Code FindBoxLine(char32_t c) const {
    const auto arms = BoxArms(c);
    const auto found = arms ? box_codes_.find(*arms) : box_codes_.end();
    return found == box_codes_.end() ? Code{} : found->second;
  }

 private:
  std::map<char32_t, std::uint16_t> codes_;
  std::map<std::string_view, std::uint16_t> box_codes_;
};

template <typename Candidates, typename Lookup>
Code FirstFound(const Candidates& candidates, Lookup lookup) {
  for (const auto& candidate : candidates) {
    if (const Code code = lookup(candidate)) {
      return code;
    }
  }
  return std::nullopt;
}

const std::vector<char32_t>& EntryOf(const CharacterDictionary& dictionary, char32_t c) {
  static const std::vector<char32_t> kNone;
  const auto found = dictionary.find(c);
  return found == dictionary.end() ? kNone : found->second;
}

class GBToBig5Rules {
 public:
  explicit GBToBig5Rules(const CharacterData& data) : data_(data), big5_(data.big5) {}

  Code Big5CodeFor(char32_t c) const {
    if (c == kIdeographicSpace) {
      return std::nullopt;
    }
    // 后 -> 後 and 台 -> 臺 (a traditional candidate wins over the character itself),
    // 里 -> 裏 -> 裡 and 为 -> 爲 -> 為 (its Taiwan form wins over it).
    if (Code code = FirstFound(TraditionalCandidates(c),
                               [this](char32_t t) { return TaiwanFormFirst(t); })) {
      return code;
    }
    if (Code code = NearSymbol(c)) {
      return code;
    }
    return big5_.FindBoxLine(c);
  }

 private:
  // OpenCC's traditional forms of c, preferred first, then c itself.
  std::vector<char32_t> TraditionalCandidates(char32_t c) const {
    auto candidates = EntryOf(data_.simplified_to_traditional, c);
    candidates.push_back(c);
    return candidates;
  }
  Code TaiwanFormFirst(char32_t traditional) const {
    if (Code code = FirstFound(EntryOf(data_.taiwan_variants, traditional),
                               [this](char32_t v) { return big5_.Find(v); })) {
      return code;
    }
    return big5_.Find(traditional);
  }
  Code NearSymbol(char32_t c) const {
    for (const auto& [gb_side, big5_side] : kNearSymbols) {
      if (gb_side == c) {
        if (Code code = big5_.Find(big5_side)) {
          return code;
        }
      }
    }
    return std::nullopt;
  }

  const CharacterData& data_;
  CodeIndex big5_;
};

// Traditional character -> the simplified characters whose STCharacters entry lists it,
// those that list it earliest first.
std::map<char32_t, std::vector<char32_t>> SimplifiedSources(const CharacterDictionary& st) {
  std::map<char32_t, std::vector<std::pair<std::size_t, char32_t>>> ranked;
  for (const auto& [simplified, candidates] : st) {
    for (std::size_t position = 0; position < candidates.size(); ++position) {
      ranked[candidates[position]].emplace_back(position, simplified);
    }
  }
  std::map<char32_t, std::vector<char32_t>> sources;
  for (auto& [traditional, entries] : ranked) {
    std::sort(entries.begin(), entries.end());
    for (const auto& entry : entries) {
      sources[traditional].push_back(entry.second);
    }
  }
  return sources;
}

class Big5ToGBRules {
 public:
  explicit Big5ToGBRules(const CharacterData& data)
      : data_(data),
        gb_(data.gb2312),
        standard_forms_(ReverseDictionary(data.taiwan_variants)),
        simplified_sources_(SimplifiedSources(data.simplified_to_traditional)) {}

  Code GBCodeFor(char32_t c) const {
    if (c == kIdeographicSpace) {
      return std::nullopt;
    }
    const auto forms = FormsOf(c);
    const auto find_in_gb = [this](char32_t f) { return gb_.Find(f); };
    if (Code code = FirstFound(forms, find_in_gb)) {
      return code;  // GB2312 holds the character itself: 後 -> E1E1, before any simplification
    }
    const auto simplified_by_ts = [&](char32_t f) {
      return FirstFound(EntryOf(data_.traditional_to_simplified, f), find_in_gb);
    };
    if (Code code = FirstFound(forms, simplified_by_ts)) {
      return code;
    }
    const auto simplified_by_st = [&](char32_t f) {
      const auto found = simplified_sources_.find(f);
      return found == simplified_sources_.end() ? Code{} : FirstFound(found->second, find_in_gb);
    };
    if (Code code = FirstFound(forms, simplified_by_st)) {
      return code;
    }
    return NearSymbol(c);
  }

 private:
  // The character, then the standard form behind a Taiwan variant (裡 -> 裏).
  std::vector<char32_t> FormsOf(char32_t c) const {
    std::vector<char32_t> forms{c};
    if (const auto found = standard_forms_.find(c); found != standard_forms_.end()) {
      forms.push_back(found->second);
    }
    return forms;
  }
  Code NearSymbol(char32_t c) const {
    for (const auto& [gb_side, big5_side] : kNearSymbols) {
      if (big5_side == c) {
        if (Code code = gb_.Find(gb_side)) {
          return code;
        }
      }
    }
    return std::nullopt;
  }

  const CharacterData& data_;
  CodeIndex gb_;
  std::map<char32_t, char32_t> standard_forms_;
  std::map<char32_t, std::vector<char32_t>> simplified_sources_;
};

}  // namespace

GBToBig5Array BuildGBToBig5Table(const CharacterData& data) {
  const GBToBig5Rules rules(data);
  GBToBig5Array table;
  for (std::size_t cell = 0; cell < table.size(); ++cell) {
    const auto found = data.gb2312.find(grid::GBCodeOfCell(cell));
    const Code code = found == data.gb2312.end() ? Code{} : rules.Big5CodeFor(found->second);
    table[cell] = code.value_or(grid::kPlaceholder);
  }
  return table;
}

Big5ToGBArray BuildBig5ToGBTable(const CharacterData& data) {
  const Big5ToGBRules rules(data);
  Big5ToGBArray table;
  for (std::size_t cell = 0; cell < table.size(); ++cell) {
    const auto found = data.big5.find(grid::Big5CodeOfCell(cell));
    const Code code = found == data.big5.end() ? Code{} : rules.GBCodeFor(found->second);
    table[cell] = code.value_or(grid::kPlaceholder);
  }
  return table;
}

}  // namespace makeddl::codetables
