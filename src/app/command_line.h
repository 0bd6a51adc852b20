#pragma once
// What the program's command lines share: the exit codes, usage errors, and the reading of a
// command's words with QCommandLineParser (options anywhere among the arguments, as
// `--name value`, `--name=value`, `-X value` or `-Xvalue`; -h, --help and -? for the help).

#include <QCommandLineParser>
#include <iosfwd>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace makeddl::app {

// The exit codes of every command line.
enum ExitCode : int {
  kExitDone = 0,
  kExitFailed = 1,  // the work could not be done: a message says why
  kExitUsage = 2,   // the words of the command were wrong: nothing was done
};

// A mistake in a command's words.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One command's words. `name` is how messages and the help call the command
// ("makeddl script"), `usage` its usage lines, `description` the help's paragraph.
class CommandLine {
 public:
  CommandLine(std::string name, std::string usage, const std::string& description);

  // For the command's own options and arguments.
  QCommandLineParser& parser() { return parser_; }

  // Reads the words after the command. Returns false when they ask for the help, which is then
  // written to `out`. Throws UsageError for an unknown option or an option without its value.
  bool parse(const std::vector<std::string>& words, std::ostream& out);

  bool isSet(const QString& option) const { return parser_.isSet(option); }
  // The value of an option as UTF-8; nullopt when the option was not given.
  std::optional<std::string> value(const QString& option) const;
  std::vector<std::string> arguments() const;

  // Writes "NAME: message", the usage lines and where the help is to `err`; returns kExitUsage.
  int reportUsageError(const UsageError& error, std::ostream& err) const;

 private:
  std::string name_;
  std::string usage_;
  QCommandLineParser parser_;
  QCommandLineOption help_;
};

}  // namespace makeddl::app
