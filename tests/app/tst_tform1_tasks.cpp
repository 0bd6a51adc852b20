// The window while its server calls run off the GUI thread, offscreen, against the sandbox
// server through the real ODBC driver: statements outliving the login timeout, the stop
// control and Esc, the window answering meanwhile, picks that replace each other, and the
// status line after a failure.

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QtTest>
#include <chrono>
#include <memory>

#include "app/data_set_model.h"
#include "app/status_bar.h"
#include "app/tform1.h"
#include "connection/connect.h"
#include "sandbox_session.h"
#include "window_test.h"

using namespace makeddl::app;
using makeddl::testing::runBatches;
using sandbox::testing::SandboxProcess;

namespace {

const char* const kDatabase = "tasks";

// A million rows from a join, which the sandbox builds before it sends the first.
const QString kMillionRows = QStringLiteral("select a.n, b.n from thousand a, thousand b");

// Counts over joins, from light to heavy: the server sends nothing until a count is done.
const QStringList kSilentCounts{
    QStringLiteral("select count(*) from thousand a, thousand b where a.n < 250"),
    QStringLiteral("select count(*) from thousand a, thousand b where a.n < 500"),
    QStringLiteral("select count(*) from thousand a, thousand b"),
    QStringLiteral("select sum(len(replicate('x', b.n % 50))) from thousand a, thousand b"),
    QStringLiteral("select count(*) from thousand a, thousand b, digits c where c.d < 2"),
};

}  // namespace

class TstTForm1Tasks : public makeddl::app::testing::WindowTest {
  Q_OBJECT

 private:
  std::unique_ptr<SandboxProcess> server_;

  TForm1& openWindow(int loginTimeoutSeconds = 5) {
    TForm1& w = openActivatedWindow({"digits", "thousand"});
    w.driverSettings.loginTimeoutSeconds = loginTimeoutSeconds;
    auto login = makeddl::testing::sandboxSaLogin(*server_, kDatabase);
    makeddl::connection::connectTo(w.ADOConnection1, login, w.driverSettings);
    w.PageControl1->setCurrentIndex(1);
    return w;
  }

  // F5 on the statement; does not wait for it.
  static void startQuery(TForm1& w, const QString& statement) {
    w.Memo2->setPlainText(statement);
    QTest::keyClick(w.Memo2, Qt::Key_F5);
  }

  QString panel(int index) const { return window_->StatusBar1->panelText(index); }

 private slots:
  void initTestCase() {
    server_ = std::make_unique<SandboxProcess>("Tasks#1");
    runBatches(*server_, "master", {std::string("create database ") + kDatabase});
    runBatches(*server_, kDatabase,
               {"create table digits (d int not null) insert digits values (0) insert digits values (1) "
                "insert digits values (2) insert digits values (3) insert digits values (4) "
                "insert digits values (5) insert digits values (6) insert digits values (7) "
                "insert digits values (8) insert digits values (9)",
                "select a.d * 100 + b.d * 10 + c.d as n into thousand from digits a, digits b, digits c"});
  }
  void cleanupTestCase() { server_.reset(); }
  void init() { beginTest(); }
  void cleanup() { endTest(); }

  // The login timeout bounds the login only: a longer statement runs to its end.
  void aStatementOutlivesTheLoginTimeout() {
    TForm1& w = openWindow(1);
    double seconds = 0;
    for (int i = 0; i < kSilentCounts.size() && seconds < 1.5; ++i) {
      const auto start = std::chrono::steady_clock::now();
      startQuery(w, kSilentCounts[i]);
      settle();
      seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      QVERIFY2(desktop_.messages.empty(), qPrintable(messages().join('|')));
      QCOMPARE(panel(3), QStringLiteral("1"));
    }
    QVERIFY2(seconds >= 1.5, "no statement ran long enough to tell");
  }

  // While a statement runs the window answers; the stop control shows, stops it at the server,
  // and the same connection runs the next statement.
  void theStopControlCancelsALongStatement() {
    TForm1& w = openWindow();
    bool answered = false;
    startQuery(w, kMillionRows);
    QVERIFY(w.tasks().busy());
    QTimer::singleShot(0, &w, [&answered] { answered = true; });
    QTRY_VERIFY_WITH_TIMEOUT(w.StopButton->isVisible(), 5000);
    QVERIFY(answered);
    QVERIFY(w.tasks().busy());
    w.StopButton->click();
    settle();
    QCOMPARE(w.StatusMessage->text(), QStringLiteral("命令已取消"));
    QVERIFY2(desktop_.messages.empty(), qPrintable(messages().join('|')));  // no fixed error text
    QVERIFY(!w.ADOQuery1->dataSet().isOpen());
    QVERIFY(!w.StopButton->isVisible());
    QCOMPARE(desktop_.waitDepth, 0);
    startQuery(w, "select 1 as one");
    settle();
    QCOMPARE(panel(3), QStringLiteral("1"));
    QVERIFY(desktop_.messages.empty());
    QCOMPARE(w.StatusMessage->text(), QString());
  }

  // Esc stops the running command just the same, also while its rows are arriving.
  void escapeCancelsWhileRowsArrive() {
    TForm1& w = openWindow();
    startQuery(w, kMillionRows);
    QTRY_VERIFY_WITH_TIMEOUT(w.DBGrid1->model()->rowCount() > 0, 20000);  // the first rows show at once
    QVERIFY(w.tasks().busy());
    QTest::keyClick(&w, Qt::Key_Escape);
    settle();
    QCOMPARE(w.StatusMessage->text(), QStringLiteral("命令已取消"));
    QVERIFY(desktop_.messages.empty());
    QCOMPARE(w.DBGrid1->model()->rowCount(), 0);
    startQuery(w, "select count(*) from digits");
    settle();
    QCOMPARE(w.DBGrid1->model()->index(0, 0).data().toString(), QStringLiteral("10"));
  }

  // A second pick replaces a pick still running; only the last one's rows show.
  void aPickReplacesTheRunningPick() {
    TForm1& w = openWindow();
    auto clickTable = [&w](const QString& name) {
      QListWidgetItem* item = w.ListBoxTable->findItems(name, Qt::MatchExactly).front();
      QTest::mouseClick(w.ListBoxTable->viewport(), Qt::LeftButton, {}, w.ListBoxTable->visualItemRect(item).center());
    };
    clickTable("thousand");
    clickTable("digits");
    settle();
    QCOMPARE(w.Edit10->text(), QStringLiteral("digits"));
    QCOMPARE(w.DBGrid1->model()->rowCount(), 10);
    QCOMPARE(panel(3), QStringLiteral("10"));
  }

  // A silent guard stays silent, but the status line says the last command failed, and why.
  void aSilentFailureIsNamedInTheStatusLine() {
    TForm1& w = openWindow();
    w.ListBoxStore_Prod->addItem("no_such_procedure");
    w.ListBoxStore_Prod->setCurrentRow(0);
    QTest::mouseClick(w.ListBoxStore_Prod->viewport(), Qt::LeftButton, {},
                      w.ListBoxStore_Prod->visualItemRect(w.ListBoxStore_Prod->item(0)).center());
    settle();
    QVERIFY(desktop_.messages.empty());
    QVERIFY2(w.StatusMessage->text().startsWith(QStringLiteral("上一命令失败")), qPrintable(w.StatusMessage->text()));
    QVERIFY(w.StatusMessage->toolTip().contains("no_such_procedure"));
  }

  // The CREATE script's progress bar is there while the script runs and advances table by table.
  void theCreateScriptReportsEachTable() {
    TForm1& w = openWindow();
    QSignalSpy progress(&w.tasks(), &TaskRunner::progressChanged);
    w.PageControl2->setCurrentIndex(0);
    w.ListBoxTable->setCurrentRow(0);
    w.ListBoxTable->selectAll();
    w.Button7->click();
    QVERIFY(w.ProgressBar != nullptr);
    settle();
    QVERIFY(w.ProgressBar == nullptr);
    QCOMPARE(progress.size(), 2);
    QCOMPARE(progress.at(0), (QList<QVariant>{0, 2}));
    QCOMPARE(progress.at(1), (QList<QVariant>{1, 2}));
    QVERIFY(w.Memo1->toPlainText().contains("CREATE TABLE"));
  }

  // Closing the window while a statement runs stops it and returns.
  void closingTheWindowStopsTheRunningStatement() {
    TForm1& w = openWindow();
    startQuery(w, kMillionRows);
    QVERIFY(w.tasks().busy());
    QTest::qWait(200);
    w.close();
    QVERIFY(!w.tasks().busy());
  }
};

QTEST_MAIN(TstTForm1Tasks)
#include "tst_tform1_tasks.moc"
