// Speed and memory of the window's data grid on a 1,000,000-row table of six mixed columns,
// beside `freebcp bench.dbo.big out FILE -c` of the same table from the same server. The
// window runs as a child process (offscreen), timed alone, its peak resident memory taken from
// wait4: a click on the table on the show-data page, as a user opens it.
//
//   first rows  when the grid first shows rows;   all rows  when every row is in and the record
//   count is written;   longest pause  the longest the window's event loop went without
//   turning meanwhile. Target: peak memory under 150 MB, first rows within a second.
//
// Run: bench_grid [--rows N] [--keep]   (--keep leaves the files in /tmp)

#include <QApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "app/desktop.h"
#include "app/status_bar.h"
#include "app/tform1.h"
#include "big_table.h"
#include "child_process.h"
#include "connection/connect.h"

namespace {

using bench::ChildRun;
using sandbox::testing::OdbcConnection;
using sandbox::testing::SandboxProcess;

// Desktop services that never wait for a user: messages go to standard error.
class QuietDesktop : public makeddl::app::Desktop {
 public:
  void showMessage(const QString& caption, const QString& text, makeddl::app::MessageIcon) override {
    std::fprintf(stderr, "%s: %s\n", qPrintable(caption), qPrintable(text));
  }
  bool askYesNo(const QString&, const QString&) override { return false; }
  void setWaitCursor(bool) override {}
  void setClipboardText(const QString&) override {}
  std::optional<makeddl::app::SaveFileChoice> askSaveFile(const QStringList&, const QString&) override { return {}; }
  std::optional<QString> browseForFolder(const QString&, const QString&) override { return {}; }
};

// The longest time the window's event loop went without turning while it ran: how long a user
// would wait for a repaint or an answer to a key.
class EventLoopPauses : public QObject {
 public:
  EventLoopPauses() {
    timer_.setInterval(5);
    connect(&timer_, &QTimer::timeout, this, [this] {
      longestMs_ = std::max(longestMs_, static_cast<double>(sinceLastTurn_.restart()));
    });
    sinceLastTurn_.start();
    timer_.start();
  }
  double longestMs() const { return longestMs_; }

 private:
  QTimer timer_;
  QElapsedTimer sinceLastTurn_;
  double longestMs_ = 0;
};

// The child: opens the table in the window and prints
// "<first rows s> <all rows s> <records> <longest event-loop pause ms>".
int openTableInTheWindow(int argc, char** argv, int port, const std::string& password) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  QuietDesktop desktop;
  makeddl::app::TForm1 window(desktop);
  makeddl::connection::connectTo(window.ADOConnection1,
                                 {"bench", "127.0.0.1," + std::to_string(port), "sa", password, false},
                                 window.driverSettings);
  window.ListBoxTable->addItem("big");
  window.PageControl1->setEnabled(true);
  window.PageControl2->setEnabled(true);
  window.PageControl1->setCurrentIndex(1);
  window.show();
  QElapsedTimer clock;
  clock.start();
  const EventLoopPauses pauses;
  window.ListBoxTable->setCurrentRow(0);
  window.ListBoxTableClick();
  while (window.DBGrid1->model()->rowCount() == 0 && window.tasks().busy()) QTest::qWait(1);
  const double firstRows = clock.nsecsElapsed() / 1e9;
  window.tasks().waitUntilIdle(std::chrono::minutes(10));
  const double allRows = clock.nsecsElapsed() / 1e9;
  std::printf("%.3f %.3f %s %.0f\n", firstRows, allRows, qPrintable(window.StatusBar1->panelText(3)),
              pauses.longestMs());
  return 0;
}

int intOption(int argc, char** argv, const std::string& name, int fallback) {
  for (int i = 1; i + 1 < argc; ++i)
    if (argv[i] == name) return std::atoi(argv[i + 1]);
  return fallback;
}

bool hasOption(int argc, char** argv, const std::string& name) {
  for (int i = 1; i < argc; ++i)
    if (argv[i] == name) return true;
  return false;
}

std::string fileText(const std::string& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

}  // namespace

int main(int argc, char** argv) try {
  if (argc == 4 && std::string(argv[1]) == "--child") return openTableInTheWindow(argc, argv, std::atoi(argv[2]), argv[3]);

  const int rows = intOption(argc, argv, "--rows", 1000000);
  char folderTemplate[] = "/tmp/bench-grid-XXXXXX";
  const std::string folder = mkdtemp(folderTemplate);
  setenv("XDG_CONFIG_HOME", folder.c_str(), 1);  // the window's settings stay out of the user's
  SandboxProcess server("Bench#1");
  OdbcConnection connection(server.odbcConnectionString());
  bench::runOrThrow(connection, "create database bench");
  bench::runOrThrow(connection, "use bench");
  bench::fillBigTable(connection, rows);
  std::printf("table big: %d rows\n", rows);

  const ChildRun bcp =
      bench::runChild(bench::freebcpArgs(server, folder, folder + "/big.bcp"), "/dev/null", folder + "/bcp.out");
  const ChildRun grid = bench::runChild({argv[0], "--child", std::to_string(server.port()), server.password()},
                                         "/dev/null", folder + "/grid.out");
  double firstRows = 0, allRows = 0, longestPauseMs = 0;
  char records[32] = "";
  std::sscanf(fileText(folder + "/grid.out").c_str(), "%lf %lf %31s %lf", &firstRows, &allRows, records,
              &longestPauseMs);

  std::printf("%-28s %8.2f s (%.2f s CPU) %8.1f MB peak RSS\n", "freebcp big out -c", bcp.seconds, bcp.cpuSeconds,
              bcp.peakMb);
  std::printf("%-28s %8.2f s (%.2f s CPU) %8.1f MB peak RSS\n", "window: table big opened", grid.seconds,
              grid.cpuSeconds, grid.peakMb);
  std::printf("grid: first rows after %.2f s, all %s rows after %.2f s (%.2fx freebcp's time); "
              "peak RSS %.1f MB (target < 150)\n",
              firstRows, records, allRows, allRows / bcp.seconds, grid.peakMb);
  std::printf("window: longest pause of its event loop while the rows arrived %.0f ms\n", longestPauseMs);
  if (!hasOption(argc, argv, "--keep")) std::system(("rm -rf " + folder).c_str());
  return 0;
} catch (const std::exception& error) {
  std::fprintf(stderr, "bench_grid: %s\n", error.what());
  return 1;
}
