#pragma once
// Running the program as a user's shell would, for the tests of its command lines.

#include <unistd.h>

#include <QProcess>
#include <QStringList>
#include <string>

namespace makeddl::testing {

struct ProgramRun {
  int exitCode;  // -1 when the program crashed or did not finish
  std::string out;
  std::string err;
};

// Runs `path` without a display and without a terminal (in a session of its own), so that
// nothing can open a window or ask for a password, and without the password variables of the
// test's own environment. `environment` adds NAME=VALUE entries; `input` is standard input.
inline ProgramRun runProgram(const QString& path, const QStringList& args, const QStringList& environment = {},
                             const QByteArray& input = {}) {
  QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "MAKEDDL_PASSWORD", "SQLCMDPASSWORD"})
    variables.remove(name);
  for (const QString& entry : environment)
    variables.insert(entry.section('=', 0, 0), entry.section('=', 1));
  QProcess process;
  process.setProcessEnvironment(variables);
  process.setChildProcessModifier([] { setsid(); });
  process.start(path, args);
  process.write(input);
  process.closeWriteChannel();
  if (!process.waitForFinished(30000)) return {-1, "", "did not finish"};
  const int exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  return {exitCode, process.readAllStandardOutput().toStdString(), process.readAllStandardError().toStdString()};
}

}  // namespace makeddl::testing
