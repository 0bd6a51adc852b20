#include "common/text_codec.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using makeddl::decodeToUtf8;
using makeddl::encodeFromUtf8;
using makeddl::Encoding;
using makeddl::UnencodableText;

TEST(TextCodec, DecodesAndEncodesGbkAndBig5) {
  EXPECT_EQ(decodeToUtf8("\xB9\xA4\xBE\xDF", Encoding::Gbk), "工具");
  EXPECT_EQ(decodeToUtf8("\xA4\x75\xA8\xE3", Encoding::Big5), "工具");
  EXPECT_EQ(encodeFromUtf8("SQL 工具", Encoding::Gbk), "SQL \xB9\xA4\xBE\xDF");
  EXPECT_EQ(encodeFromUtf8("國", Encoding::Big5), "\xB0\xEA");
}

TEST(TextCodec, Big5CoversTheKanaAndDoubleLineCells) {
  // Cells that the GB2312-to-Big5 table writes for kana and heavy box lines.
  EXPECT_EQ(encodeFromUtf8(decodeToUtf8("\xC6\xE7\xF9\xF9", Encoding::Big5), Encoding::Big5), "\xC6\xE7\xF9\xF9");
  EXPECT_EQ(decodeToUtf8("\xF9\xF9", Encoding::Big5), "═");
}

TEST(TextCodec, UndecodableBytesSurviveTheRoundTrip) {
  // A lone lead byte at the end, a byte GBK does not use, and a Big5 lead byte before a digit.
  for (const auto& [bytes, encoding] : {std::pair<std::string, Encoding>{"ab\xB0", Encoding::Gbk},
                                        {"\x80x\xFF", Encoding::Gbk},
                                        {"\xA4" "0\xA4\x40", Encoding::Big5}}) {
    const std::string text = decodeToUtf8(bytes, encoding);
    EXPECT_EQ(encodeFromUtf8(text, encoding), bytes);
  }
}

TEST(TextCodec, EveryTwoByteCellRoundTrips) {
  // Whatever the pane shows must give back the very bytes it was given.
  for (Encoding encoding : {Encoding::Gbk, Encoding::Big5}) {
    std::string bytes;
    for (int lead = 0x81; lead <= 0xFE; ++lead)
      for (int trail = 0x40; trail <= 0xFE; ++trail) {
        bytes += static_cast<char>(lead);
        bytes += static_cast<char>(trail);
        bytes += ' ';
      }
    // Compared as a flag: a failure would print megabytes of bytes.
    EXPECT_TRUE(encodeFromUtf8(decodeToUtf8(bytes, encoding), encoding) == bytes) << makeddl::displayName(encoding);
  }
}

TEST(TextCodec, RefusesCharactersTheEncodingLacksAndNamesThem) {
  try {
    encodeFromUtf8("a😀b𝄞😀", Encoding::Big5);
    FAIL() << "expected UnencodableText";
  } catch (const UnencodableText& error) {
    EXPECT_EQ(error.characters(), "😀𝄞");
  }
  EXPECT_THROW(encodeFromUtf8("ä", Encoding::Gbk), UnencodableText);
  EXPECT_THROW(encodeFromUtf8("\xC3", Encoding::Gbk), makeddl::InvalidUtf8);
}

// ASCII stretches are copied and the rest is encoded between them: whatever the lengths of the
// ASCII between other characters and escaped bytes, the text encodes as its pieces do one by one.
TEST(TextCodec, LongTextsEncodeAsTheirPiecesDo) {
  const std::vector<std::pair<std::string, std::string>> pieces{
      {"工", "\xB9\xA4"}, {"具", "\xBE\xDF"}, {"“", "\xA1\xB0"}, {decodeToUtf8("\x80", Encoding::Gbk), "\x80"}};
  std::mt19937 random(12);
  for (int round = 0; round < 200; ++round) {
    std::string text, expected;
    for (int part = 0; part < 30; ++part) {
      const std::string ascii(random() % 40, static_cast<char>('a' + random() % 26));
      const auto& [character, bytes] = pieces[random() % pieces.size()];
      text += ascii + character;
      expected += ascii + bytes;
    }
    ASSERT_EQ(encodeFromUtf8(text, Encoding::Gbk), expected) << text;
  }
  // A character GBK lacks, or a broken sequence, between long stretches of ASCII.
  const std::string ascii(100, 'x');
  try {
    encodeFromUtf8(ascii + "ä" + ascii + "工" + ascii + "ä", Encoding::Gbk);
    FAIL() << "expected UnencodableText";
  } catch (const UnencodableText& error) {
    EXPECT_EQ(error.characters(), "ä");
  }
  EXPECT_THROW(encodeFromUtf8(ascii + "\xE5\xB7" + ascii, Encoding::Gbk), makeddl::InvalidUtf8);
}
