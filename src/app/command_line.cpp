#include "app/command_line.h"

#include <ostream>

namespace makeddl::app {

namespace {

// How the parser names an unknown option: with the dashes it was typed with.
std::string dashed(const QString& name) { return (name.size() == 1 ? "-" : "--") + name.toStdString(); }

std::string parseErrorText(const QCommandLineParser& parser) {
  const QStringList unknown = parser.unknownOptionNames();
  if (unknown.isEmpty()) return parser.errorText().toStdString();
  std::string text = unknown.size() == 1 ? "unknown option " : "unknown options ";
  for (qsizetype i = 0; i < unknown.size(); ++i) text += (i ? ", " : "") + dashed(unknown[i]);
  return text;
}

}  // namespace

CommandLine::CommandLine(std::string name, std::string usage, const std::string& description)
    : name_(std::move(name)),
      usage_(std::move(usage)),
      help_({"h", "?", "help"}, QStringLiteral("Shows this help.")) {
  parser_.setApplicationDescription(QString::fromStdString(description));
  parser_.addOption(help_);
}

bool CommandLine::parse(const std::vector<std::string>& words, std::ostream& out) {
  QStringList arguments{QString::fromStdString(name_)};  // the parser skips the program's name
  for (const std::string& word : words) arguments << QString::fromStdString(word);
  if (!parser_.parse(arguments)) throw UsageError(parseErrorText(parser_));
  if (!parser_.isSet(help_)) return true;
  // The parser's own first line names the executable, which it knows only inside an
  // application object: the command's usage lines stand there instead.
  const QString help = parser_.helpText();
  out << usage_ << help.mid(help.indexOf('\n')).toStdString();
  return false;
}

std::optional<std::string> CommandLine::value(const QString& option) const {
  if (!parser_.isSet(option)) return std::nullopt;
  return parser_.value(option).toStdString();
}

std::vector<std::string> CommandLine::arguments() const {
  std::vector<std::string> words;
  for (const QString& argument : parser_.positionalArguments()) words.push_back(argument.toStdString());
  return words;
}

int CommandLine::reportUsageError(const UsageError& error, std::ostream& err) const {
  err << name_ << ": " << error.what() << '\n' << usage_ << "Try '" << name_ << " --help' for more.\n";
  return kExitUsage;
}

}  // namespace makeddl::app
