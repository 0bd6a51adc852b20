#include "codeconv/code_converter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace makeddl::codeconv {
namespace {

constexpr std::uint16_t kBlanks = 0x2020;

std::string Bytes(std::initializer_list<unsigned> values) {
  std::string text;
  for (const unsigned value : values) {
    text.push_back(static_cast<char>(value));
  }
  return text;
}

std::uint16_t GBEntry(std::uint16_t gb_code) { return GBToBig5Table.at(GBIndex(CodePair(gb_code))); }
std::uint16_t Big5Entry(std::uint16_t big5_code) {
  return Big5ToGBTable.at(Big5Index(CodePair(big5_code)));
}

// The conversion exactly as the scanning rules state it, built from the public pair tests and
// index functions, to hold the single-pass implementation against.
template <typename PairTest, typename IndexOf, typename Table>
std::string ConvertStepByStep(std::string_view text, PairTest is_pair, IndexOf index_of,
                              const Table& table) {
  std::string result;
  std::size_t position = 0;
  while (position < text.size()) {
    const char next = position + 1 < text.size() ? text[position + 1] : '\0';
    const std::string pair{text[position], next};
    const int index = is_pair(pair) ? index_of(pair) : -1;
    if (index >= 0 && static_cast<std::size_t>(index) < table.size()) {
      result += CodePair(table[static_cast<std::size_t>(index)]);
      position += 2;
    } else {
      result += text[position];
      position += 1;
    }
  }
  return result;
}

std::string GBToBig5StepByStep(std::string_view text) {
  return ConvertStepByStep(text, IsGBPair, GBIndex, GBToBig5Table);
}
std::string Big5ToGBStepByStep(std::string_view text) {
  return ConvertStepByStep(text, IsBig5Pair, Big5Index, Big5ToGBTable);
}

// The text given to a block conversion in blocks of random sizes (empty ones too), a byte left
// over at a block's end given again at the start of the next, as a reader of a stream does.
using BlockConversion = std::size_t (*)(std::string_view, char*, bool);
std::string ConvertInBlocks(std::string_view text, BlockConversion convert, std::mt19937& random) {
  std::string result;
  std::string pending;
  std::size_t read = 0;
  while (true) {
    const std::size_t size = std::min<std::size_t>(random() % 5, text.size() - read);
    pending.append(text.substr(read, size));
    read += size;
    const bool last = read == text.size();
    std::string out(pending.size(), '\0');
    const std::size_t done = convert(pending, out.data(), last);
    result.append(out, 0, done);
    pending.erase(0, done);
    if (last) return result;
  }
}

using CodeRow = std::pair<std::uint16_t, std::uint16_t>;

TEST(CodeTables, GBToBig5ReferenceRows) {
  const std::vector<CodeRow> rows = {
      {0xA1A1, kBlanks},  // ideographic space
      {0xA1A3, 0xA143},   // 。
      {0xA3B0, 0xA2AF},   // full-width 0
      {0xA3C1, 0xA2CF},   // full-width A
      {0xA4A1, 0xC6E7},   // hiragana small a -> the kana of Big5 row C6
      {0xA9A5, 0xF9F9},   // heavy horizontal -> double horizontal
      {0xB0A1, 0xB0DA},   // 啊
      {0xB9FA, 0xB0EA},   // 国 -> 國
      {0xC3C7, 0xADCC},   // 们 -> 們
      {0xBAF3, 0xABE1},   // 后 -> 後, a traditional candidate before the character itself
      {0xCCA8, 0xBB4F},   // 台 -> 臺
      {0xF7FE, kBlanks},  // 齄, not in Big5
      {0xD7FA, kBlanks},  // no GB2312 code
      // Choices of the generator beyond the rows above:
      {0xA7A1, 0xC7F3},  // Cyrillic А -> the Cyrillic of the ETEN extension
      {0xC0EF, 0xB8CC},  // 里 -> 裏 -> Taiwan form 裡
      {0xCEAA, 0xACB0},  // 为 -> 爲 -> Taiwan form 為
      {0xCAAE, 0xA451},  // 十 -> the hanzi cell, not the duplicate in the symbol row
      {0xA9A4, 0xA277},  // light horizontal stays light
      {0xA9B3, 0xF9DD},  // heavy down and right -> double down and right
      {0xA9EF, 0xF9E1},  // heavy cross -> double cross
      {0xA1A4, 0xA150},  // middle dot
  };
  for (const auto& [gb, big5] : rows) {
    EXPECT_EQ(GBEntry(gb), big5) << std::hex << "GB2312 " << gb;
  }
}

TEST(CodeTables, Big5ToGBReferenceRows) {
  const std::vector<CodeRow> rows = {
      {0xA140, kBlanks},  // ideographic space
      {0xA141, 0xA3AC},   // ，
      {0xA2AF, 0xA3B0},   // full-width 0
      {0xA440, 0xD2BB},   // 一
      {0xB0EA, 0xB9FA},   // 國 -> 国
      {0xADCC, 0xC3C7},   // 們 -> 们
      {0xA578, 0xCCA8},   // 台
      {0xBB4F, 0xCCA8},   // 臺 -> 台
      {0xBBE4, 0xCCA8},   // 颱 -> 台
      {0xC269, 0xCCA8},   // 檯 -> 台
      {0xABE1, 0xE1E1},   // 後 is in GB2312 itself
      {0xC941, 0xD8BF},   // 乜
      {0xC940, kBlanks},  // 乂, not in GB2312
      {0xF9D5, kBlanks},  // last second-level hanzi
      {0xA3C0, kBlanks},  // no Big5 code
      {0xFEFE, kBlanks},  // no Big5 code
      // Choices of the generator beyond the rows above:
      {0xB8CC, 0xC0EF},  // 裡 -> 里
      {0xA2CC, 0xCAAE},  // 十 of the symbol row
      {0xC6E7, 0xA4A1},  // hiragana small a
      {0xF9DA, 0xBAE3},  // 恒 of the ETEN extension
      {0xA145, 0xA1A4},  // hyphenation point as middle dot
  };
  for (const auto& [big5, gb] : rows) {
    EXPECT_EQ(Big5Entry(big5), gb) << std::hex << "Big5 " << big5;
  }
}

TEST(CodeTables, CellsThatAreNoGB2312CodeHoldBlanks) {
  for (unsigned lead = 0xAA; lead <= 0xAF; ++lead) {
    for (unsigned trail = 0xA1; trail <= 0xFE; ++trail) {
      EXPECT_EQ(GBEntry(static_cast<std::uint16_t>(lead << 8 | trail)), kBlanks);
    }
  }
  for (std::uint16_t code = 0xD7FA; code <= 0xD7FE; ++code) {
    EXPECT_EQ(GBEntry(code), kBlanks);
  }
}

TEST(CodeTables, EveryEntryIsACodeOfTheOtherSetOrBlanks) {
  for (const std::uint16_t entry : GBToBig5Table) {
    if (entry != kBlanks) {
      EXPECT_TRUE(IsBig5Pair(CodePair(entry)) && (entry >> 8) <= 0xF9) << std::hex << entry;
    }
  }
  for (const std::uint16_t entry : Big5ToGBTable) {
    if (entry != kBlanks) {
      EXPECT_TRUE(IsGBPair(CodePair(entry))) << std::hex << entry;
    }
  }
}

// The counts of mapped entries are guides (6930 and 7111); the tables stay near them.
TEST(CodeTables, MappedCountsStayNearTheGuides) {
  const auto mapped = [](const auto& table) {
    return table.size() - static_cast<std::size_t>(std::count(table.begin(), table.end(), kBlanks));
  };
  EXPECT_NEAR(static_cast<double>(mapped(GBToBig5Table)), 6930, 350);
  EXPECT_NEAR(static_cast<double>(mapped(Big5ToGBTable)), 7111, 350);
}

TEST(PairFunctions, IndexesFollowTheGridWithoutCheckingTheLeadByte) {
  EXPECT_EQ(GBIndex(Bytes({0xB0, 0xA1})), 1410);
  EXPECT_EQ(GBIndex(Bytes({0xA1, 0xA1})), 0);
  EXPECT_EQ(GBIndex(Bytes({0xF7, 0xFE})), 8177);
  EXPECT_EQ(GBIndex(Bytes({0x41, 0x42})), (0x41 - 0xA1) * 94 + (0x42 - 0xA1));
  EXPECT_EQ(GBIndex(Bytes({0xFF, 0xFF})), (0xFF - 0xA1) * 94 + (0xFF - 0xA1));
  EXPECT_EQ(GBIndex(Bytes({0xB0})), -1);
  EXPECT_EQ(GBIndex(""), -1);

  EXPECT_EQ(Big5Index(Bytes({0xA4, 0x40})), 471);
  EXPECT_EQ(Big5Index(Bytes({0xA1, 0x7E})), 62);
  EXPECT_EQ(Big5Index(Bytes({0xA1, 0xA1})), 63);
  EXPECT_EQ(Big5Index(Bytes({0xFE, 0xFE})), 14757);
  EXPECT_EQ(Big5Index(Bytes({0xFF, 0x40})), 14758);
  EXPECT_EQ(Big5Index(Bytes({0x41, 0x40})), (0x41 - 0xA1) * 157);
  EXPECT_EQ(Big5Index(Bytes({0xA4, 0x3F})), -1);
  EXPECT_EQ(Big5Index(Bytes({0xA4, 0x7F})), -1);
  EXPECT_EQ(Big5Index(Bytes({0xA4, 0xA0})), -1);
  EXPECT_EQ(Big5Index(Bytes({0xA4, 0xFF})), -1);
  EXPECT_EQ(Big5Index(Bytes({0xA4})), -1);
}

TEST(PairFunctions, PairTestsAcceptExactlyTheirByteRanges) {
  EXPECT_TRUE(IsGBPair(Bytes({0xA1, 0xA1})));
  EXPECT_TRUE(IsGBPair(Bytes({0xF7, 0xFE, 0x00})));
  EXPECT_FALSE(IsGBPair(Bytes({0xF8, 0xA1})));
  EXPECT_FALSE(IsGBPair(Bytes({0xA0, 0xA1})));
  EXPECT_FALSE(IsGBPair(Bytes({0xB0, 0xFF})));
  EXPECT_FALSE(IsGBPair(Bytes({0xB0, 0x41})));
  EXPECT_FALSE(IsGBPair(Bytes({0xB0})));

  EXPECT_TRUE(IsBig5Pair(Bytes({0xA1, 0x40})));
  EXPECT_TRUE(IsBig5Pair(Bytes({0xFF, 0xFE})));
  EXPECT_FALSE(IsBig5Pair(Bytes({0xA0, 0x40})));
  EXPECT_FALSE(IsBig5Pair(Bytes({0xA4, 0x30})));
  EXPECT_FALSE(IsBig5Pair(Bytes({0xA4, 0x80})));
  EXPECT_FALSE(IsBig5Pair(Bytes({0xA4})));

  EXPECT_EQ(CodePair(0xB0DA), Bytes({0xB0, 0xDA}));
  EXPECT_EQ(CodePair(0x2020), "  ");
}

TEST(Conversion, PlainTextAndEmptyTextPassUnchanged) {
  EXPECT_EQ(GBToBig5(""), "");
  EXPECT_EQ(Big5ToGB(""), "");
  const std::string ascii = "SELECT name FROM sysobjects\r\nWHERE type = 'U' -- ~!@#\t\n";
  EXPECT_EQ(GBToBig5(ascii), ascii);
  EXPECT_EQ(Big5ToGB(ascii), ascii);
}

TEST(Conversion, TranslatesPairsAndKeepsTheSurroundingBytes) {
  EXPECT_EQ(GBToBig5(Bytes({0xB0, 0xA1, 0xB9, 0xFA})), Bytes({0xB0, 0xDA, 0xB0, 0xEA}));
  EXPECT_EQ(GBToBig5("-- " + Bytes({0xB0, 0xA1}) + "\r\n"), "-- " + Bytes({0xB0, 0xDA}) + "\r\n");
  EXPECT_EQ(GBToBig5(Bytes({0xA1, 0xA1, 0xF7, 0xFE})), "    ");  // no counterpart: blanks
  EXPECT_EQ(Big5ToGB(Bytes({0xA1, 0x40, 0xA4, 0x40})), "  " + Bytes({0xD2, 0xBB}));
}

TEST(Conversion, GBScanCopiesBytesThatStartNoPair) {
  EXPECT_EQ(GBToBig5("abc" + Bytes({0xB0})), "abc" + Bytes({0xB0}));  // last lead byte
  EXPECT_EQ(GBToBig5(Bytes({0xB0, 0x41})), Bytes({0xB0, 0x41}));
  EXPECT_EQ(GBToBig5(Bytes({0x81, 0x40})), Bytes({0x81, 0x40}));  // GBK beyond GB2312
  // The trail byte of a GBK character may start a pair with the byte after it.
  EXPECT_EQ(GBToBig5(Bytes({0x81, 0xB0, 0xA1})), Bytes({0x81, 0xB0, 0xDA}));
  EXPECT_EQ(GBToBig5(Bytes({0xF8, 0xA1, 0xA1})), Bytes({0xF8, 0x20, 0x20}));
}

TEST(Conversion, Big5ScanCopiesBytesThatStartNoPair) {
  EXPECT_EQ(Big5ToGB(Bytes({0xA4, 0x40})), Bytes({0xD2, 0xBB}));
  EXPECT_EQ(Big5ToGB(Bytes({0xA4, 0x30})), Bytes({0xA4, 0x30}));
  EXPECT_EQ(Big5ToGB(Bytes({0x78, 0xA4})), Bytes({0x78, 0xA4}));  // last lead byte
  // FF is no lead byte; the byte after it is then tried as one.
  EXPECT_EQ(Big5ToGB(Bytes({0xFF, 0xA4, 0x40})), Bytes({0xFF, 0xD2, 0xBB}));
  EXPECT_EQ(Big5ToGB(Bytes({0xFF, 0xFF})), Bytes({0xFF, 0xFF}));
  EXPECT_EQ(Big5ToGB(Bytes({0x80, 0x40})), Bytes({0x80, 0x40}));
}

TEST(Conversion, ThereAndBackDoesNotAlwaysRestoreTheText) {
  const std::string hou = Bytes({0xBA, 0xF3});  // 后
  EXPECT_EQ(GBToBig5(hou), Bytes({0xAB, 0xE1}));
  EXPECT_EQ(Big5ToGB(GBToBig5(hou)), Bytes({0xE1, 0xE1}));
  const std::string guo = Bytes({0xB9, 0xFA});  // 国 comes back
  EXPECT_EQ(Big5ToGB(GBToBig5(guo)), guo);
}

// Nothing detects the wrong direction: every GB2312 pair is also a Big5 pair.
TEST(Conversion, GBTextThroughBig5ToGBIsReadAsBig5) {
  const std::string text = "t " + Bytes({0xB0, 0xA1, 0xB9, 0xFA}) + ";";
  const std::string converted = Big5ToGB(text);
  EXPECT_EQ(converted, "t " + CodePair(Big5Entry(0xB0A1)) + CodePair(Big5Entry(0xB9FA)) + ";");
}

TEST(Conversion, EveryTwoByteTextMatchesTheStepByStepRules) {
  for (unsigned first = 0; first < 256; ++first) {
    for (unsigned second = 0; second < 256; ++second) {
      const std::string text = Bytes({first, second});
      ASSERT_EQ(GBToBig5(text), GBToBig5StepByStep(text)) << std::hex << first << ' ' << second;
      ASSERT_EQ(Big5ToGB(text), Big5ToGBStepByStep(text)) << std::hex << first << ' ' << second;
    }
  }
}

// Random texts weighted toward lead and trail bytes, so that pairs, broken pairs and the
// end of the text meet in every combination; the result always keeps the text's length, and
// the same text given in blocks, pairs split between them, converts the same.
TEST(Conversion, RandomTextsMatchTheStepByStepRulesAndKeepTheirLength) {
  std::mt19937 random(20240521);
  const std::vector<unsigned> interesting = {0x00, 0x0A, 0x0D, 0x20, 0x30, 0x40, 0x41, 0x7E,
                                             0x7F, 0x80, 0x81, 0xA0, 0xA1, 0xA4, 0xB0, 0xF7,
                                             0xF8, 0xF9, 0xFE, 0xFF};
  for (int round = 0; round < 3000; ++round) {
    std::string text(random() % 40, '\0');
    for (char& byte : text) {
      byte = static_cast<char>(random() % 2 ? interesting[random() % interesting.size()]
                                            : random() % 256);
    }
    const std::string big5 = GBToBig5(text);
    const std::string gb = Big5ToGB(text);
    ASSERT_EQ(big5.size(), text.size());
    ASSERT_EQ(gb.size(), text.size());
    ASSERT_EQ(big5, GBToBig5StepByStep(text));
    ASSERT_EQ(gb, Big5ToGBStepByStep(text));
    ASSERT_EQ(ConvertInBlocks(text, GBToBig5Block, random), big5);
    ASSERT_EQ(ConvertInBlocks(text, Big5ToGBBlock, random), gb);
  }
}

}  // namespace
}  // namespace makeddl::codeconv
