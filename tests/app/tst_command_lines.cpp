// The words of both programs' command lines, run as a user runs them: without a display or a
// terminal. The help and the version answer on standard output; a mistake is named on standard
// error with exit code 2, before anything else happens (no window, no server).

#include <gtest/gtest.h>

#include "program_run.h"

using makeddl::testing::ProgramRun;
using makeddl::testing::runProgram;

namespace {

ProgramRun makeddl(const QStringList& args) { return runProgram(MAKEDDL_PROGRAM, args); }
ProgramRun sandbox(const QStringList& args) { return runProgram(MAKEDDL_SANDBOX_PATH, args); }

void expectAnswer(const ProgramRun& run, const std::string& expected) {
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find(expected), std::string::npos) << run.out;
  EXPECT_TRUE(run.err.empty()) << run.err;
}

void expectMistake(const ProgramRun& run, const std::string& named) {
  EXPECT_EQ(run.exitCode, 2) << run.err;
  EXPECT_TRUE(run.out.empty()) << run.out;
  EXPECT_NE(run.err.find(named), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("usage"), std::string::npos) << run.err;
}

TEST(CommandLines, HelpAndVersionWithoutADisplay) {
  for (const char* help : {"--help", "-h", "-?"}) expectAnswer(makeddl({help}), "makeddl script");
  expectAnswer(makeddl({"--version"}), "makeddl 0.");
  expectAnswer(makeddl({"script", "--help"}), "-S, --server <server>");
  expectAnswer(makeddl({"script", "insert", "t", "-h"}), "-o, --output <file>");
  expectAnswer(makeddl({"convert", "--help"}), "--gb-to-big5");
  expectAnswer(sandbox({"--help"}), "--sa-password <PW>");
  expectAnswer(sandbox({"--version"}), "makeddl-sandbox 0.");
}

TEST(CommandLines, MistakesAreNamedAndOpenNothing) {
  expectMistake(makeddl({"--utf8", "script", "create", "t"}), "--utf8");
  expectMistake(makeddl({"-x"}), "-x");
  expectMistake(makeddl({"scripts", "create"}), "scripts");
  expectMistake(makeddl({"script", "create", "t", "-S", "s", "-d", "d", "-E", "--sever=x"}), "--sever");
  expectMistake(makeddl({"script", "create", "t", "-S"}), "-S");
  expectMistake(makeddl({"script", "drop", "t", "-S", "s", "-d", "d", "-E"}), "drop");
  expectMistake(makeddl({"convert", "--gb-to-big5", "in.txt"}), "in.txt");
  expectMistake(sandbox({"--port", "0", "--sa-password", "x", "--bogus"}), "bogus");
  expectMistake(sandbox({"--port", "70000", "--sa-password", "x"}), "70000");
  expectMistake(sandbox({"--port", "0", "--sa-password", "x", "extra"}), "extra");
  expectMistake(sandbox({"--sa-password", "x"}), "--port");
}

}  // namespace
