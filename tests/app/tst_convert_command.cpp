#include "app/convert_command.h"

#include <gtest/gtest.h>

#include <sstream>

#include "codeconv/code_converter.h"
#include "program_run.h"

using makeddl::app::runConvertCommand;
using makeddl::testing::runProgram;

namespace {

struct CommandRun {
  int exitCode;
  std::string out;
  std::string err;
};

CommandRun convert(std::vector<std::string> args, const std::string& input) {
  std::istringstream in(input);
  std::ostringstream out;
  std::ostringstream err;
  const int code = runConvertCommand(args, in, out, err);
  return {code, out.str(), err.str()};
}

}  // namespace

TEST(ConvertCommand, ConvertsBytesInBothDirections) {
  const std::string gb("\xB0\xA1\xB9\xFA\r\nselect\x00\xA1\xA1", 12);
  const CommandRun big5 = convert({"--gb-to-big5"}, gb);
  EXPECT_EQ(big5.exitCode, 0);
  EXPECT_EQ(big5.out, std::string("\xB0\xDA\xB0\xEA\r\nselect\x00  ", 12));
  const CommandRun back = convert({"--big5-to-gb"}, "\xB0\xEA\xA4\x40");
  EXPECT_EQ(back.out, "\xB9\xFA\xD2\xBB");
}

TEST(ConvertCommand, UnknownOrMissingDirectionIsAUsageError) {
  for (const auto& args : {std::vector<std::string>{}, {"--utf8"}, {"--gb-to-big5", "--big5-to-gb"}}) {
    const CommandRun run = convert(args, "x");
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.out.empty());
    EXPECT_NE(run.err.find("usage"), std::string::npos);
  }
}

// The input is read in blocks of a megabyte; pairs that straddle two blocks convert as pairs.
TEST(ConvertCommand, PairsAcrossBlocksConvertAsPairs) {
  std::string gb = "a";
  for (int i = 0; i < 1600000; ++i) gb += "\xB0\xA1";  // a pair starts at every odd byte
  const CommandRun run = convert({"--gb-to-big5"}, gb);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_TRUE(run.out == makeddl::codeconv::GBToBig5(gb));  // not printed: megabytes
}

TEST(ConvertCommand, TheProgramConvertsWithoutADisplay) {
  const auto run = runProgram(MAKEDDL_PROGRAM, {"convert", "--gb-to-big5"}, {}, "\xBA\xF3\xCC\xA8 ok\n");
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "\xAB\xE1\xBB\x4F ok\n");
}

// Standard input that cannot be read (here a folder) is a message and exit code 1, not a crash.
TEST(ConvertCommand, AReadErrorIsAMessage) {
  const auto run = runProgram("/bin/sh", {"-c", "exec \"$0\" convert --big5-to-gb < /", MAKEDDL_PROGRAM});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("cannot read standard input"), std::string::npos) << run.err;
}
