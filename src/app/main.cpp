// The program: the window, or one of the command-line front ends over the same core. Its words
// are read before anything else, so that the help, the version and every mistake in them are
// answered on the terminal without a display, and a mistake never opens the window. The window
// is a program of its own (makeddl-window), which this one becomes when given no words.

#include <unistd.h>

#include <QCommandLineParser>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <process.h>
#endif

#include "app/command_line.h"
#include "app/convert_command.h"
#include "app/login_password.h"
#include "app/script_command.h"

namespace {

constexpr const char* kUsage =
    "usage: makeddl                     the window\n"
    "       makeddl convert OPTIONS     GB2312 text to Big5 and back\n"
    "       makeddl script OPTIONS      CREATE and INSERT scripts\n"
    "       makeddl COMMAND --help      a command's options\n";

constexpr const char* kDescription =
    "A tool for Microsoft SQL Server databases. Options come after the command.\n"
    "Exit codes: 0 done, 1 failed (a message says why), 2 wrong words on the command line.";

void useBinaryStandardStreams() {
#ifdef _WIN32
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
#endif
}

// The window program: beside this one in the build tree, else where it is installed.
std::filesystem::path windowProgram(const char* self) {
  std::error_code error;
  std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) program = self;
  const std::filesystem::path folder = program.parent_path();
  const std::filesystem::path beside = folder / "makeddl-window";
  if (std::filesystem::exists(beside, error)) return beside;
  return folder / MAKEDDL_WINDOW_FOLDER_FROM_BIN / "makeddl-window";
}

int runWindow(char** argv) {
  const std::filesystem::path program = windowProgram(argv[0]);
  execv(program.string().c_str(), argv);
  std::cerr << "makeddl: cannot start the window " << program.string() << ": " << std::strerror(errno) << '\n';
  return makeddl::app::kExitFailed;
}

// Words that name no command: the help, the version, or a mistake.
int runProgramOptions(const std::vector<std::string>& words) {
  using namespace makeddl::app;
  CommandLine line("makeddl", kUsage, kDescription);
  const QCommandLineOption version({"v", "version"}, QStringLiteral("Shows the version."));
  line.parser().addOption(version);
  line.parser().addPositionalArgument("command", "convert or script.");
  line.parser().setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
  try {
    if (!line.parse(words, std::cout)) return kExitDone;
    if (line.isSet("version")) {
      std::cout << "makeddl " MAKEDDL_VERSION "\n";
      return kExitDone;
    }
    const std::vector<std::string> arguments = line.arguments();
    throw UsageError(arguments.empty() ? "no command given" : "unknown command " + arguments[0]);
  } catch (const UsageError& error) {
    return line.reportUsageError(error, std::cerr);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> words(argv + 1, argv + argc);
  if (words.empty()) return runWindow(argv);
  const std::vector<std::string> commandWords(words.begin() + 1, words.end());
  if (words[0] == "convert") {
    useBinaryStandardStreams();
    std::ios::sync_with_stdio(false);
    return makeddl::app::runConvertCommand(commandWords, std::cin, std::cout, std::cerr);
  }
  if (words[0] == "script") {
    makeddl::app::hidePasswordArguments(argc, argv);
    useBinaryStandardStreams();
    return makeddl::app::runScriptCommand(commandWords, std::cout, std::cerr);
  }
  return runProgramOptions(words);
}
