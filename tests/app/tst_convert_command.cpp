#include "app/convert_command.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <sstream>

using makeddl::app::runConvertCommand;

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

TEST(ConvertCommand, TheProgramConvertsWithoutADisplay) {
  QProcess program;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.remove("DISPLAY");
  environment.remove("WAYLAND_DISPLAY");
  environment.remove("QT_QPA_PLATFORM");
  program.setProcessEnvironment(environment);
  program.start(MAKEDDL_PROGRAM, {"convert", "--gb-to-big5"});
  ASSERT_TRUE(program.waitForStarted());
  program.write("\xBA\xF3\xCC\xA8 ok\n");
  program.closeWriteChannel();
  ASSERT_TRUE(program.waitForFinished(10000));
  EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
  EXPECT_EQ(program.readAllStandardOutput().toStdString(), "\xAB\xE1\xBB\x4F ok\n");
}
