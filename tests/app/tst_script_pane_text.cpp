#include "app/script_pane_text.h"

#include <gtest/gtest.h>

using namespace makeddl::app;
using makeddl::Encoding;

TEST(ScriptPaneText, BytesAreTheTextInItsEncodingWithCrLf) {
  EXPECT_EQ(paneBytes({"啊\n国", Encoding::Gbk}), "\xB0\xA1\r\n\xB9\xFA");
  EXPECT_EQ(paneBytes({"國\n", Encoding::Big5}), "\xB0\xEA\r\n");
  EXPECT_EQ(paneFromBytes("a\r\nb\rc\nd", Encoding::Gbk).utf8, "a\nb\nc\nd");
  EXPECT_EQ(paneUtf8Bytes({"\na\n\nb\r\nc\n", Encoding::Gbk}), "\r\na\r\n\r\nb\r\r\nc\r\n");
  EXPECT_EQ(paneUtf8Bytes({"", Encoding::Gbk}), "");
}

TEST(ScriptPaneText, SimplifiedToTraditionalShowsTheBig5Result) {
  const ScriptPaneText big5 = convertGbToBig5({"啊国们\n后台", Encoding::Gbk});
  EXPECT_EQ(big5.encoding, Encoding::Big5);
  EXPECT_EQ(big5.utf8, "啊國們\n後臺");
  EXPECT_EQ(paneBytes(big5), "\xB0\xDA\xB0\xEA\xAD\xCC\r\n\xAB\xE1\xBB\x4F");
}

TEST(ScriptPaneText, BackToSimplifiedGivesGbkAndNeedNotRestoreTheText) {
  const ScriptPaneText gb = convertBig5ToGb(convertGbToBig5({"国后\nselect 1", Encoding::Gbk}));
  EXPECT_EQ(gb.encoding, Encoding::Gbk);
  // 后 became 後, which GB2312 itself holds (E1E1), so it stays 後.
  EXPECT_EQ(gb.utf8, "国後\nselect 1");
}

TEST(ScriptPaneText, PlaceholdersKeepTheWidthAndLinesStay) {
  // The ideographic space has no counterpart: two blanks.
  EXPECT_EQ(convertGbToBig5({"a　b\n\nc", Encoding::Gbk}).utf8, "a  b\n\nc");
}

TEST(ScriptPaneText, ConvertingTwiceConvertsTheBytesTwice) {
  const ScriptPaneText once = convertGbToBig5({"国", Encoding::Gbk});
  const ScriptPaneText twice = convertGbToBig5(once);
  EXPECT_EQ(twice.encoding, Encoding::Big5);
  EXPECT_EQ(paneBytes(twice).size(), paneBytes(once).size());
}

TEST(ScriptPaneText, ACharacterTheEncodingLacksIsReportedNotDropped) {
  EXPECT_THROW(convertGbToBig5({"国 😀", Encoding::Gbk}), makeddl::UnencodableText);
}
