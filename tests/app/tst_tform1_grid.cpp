// The query runner's grid, offscreen, against the sandbox server: NULL apart from every text,
// Ctrl+C with the headings, sorting by a heading without another query, the row indicator, F5
// on a selection, and every row set of a batch within reach.

#include <QFont>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTextCursor>
#include <QtTest>
#include <memory>

#include "app/data_set_model.h"
#include "app/status_bar.h"
#include "app/tform1.h"
#include "sandbox_session.h"
#include "window_test.h"

using namespace makeddl::app;
using makeddl::testing::runBatches;
using sandbox::testing::SandboxProcess;

namespace {
const char* const kDatabase = "grid";
}

class TstTForm1Grid : public makeddl::app::testing::WindowTest {
  Q_OBJECT

 private:
  std::unique_ptr<SandboxProcess> server_;

  TForm1& openWindow() {
    TForm1& w = openActivatedWindow({"people"});
    makeddl::testing::connectAsSa(w.ADOConnection1, *server_, kDatabase);
    w.PageControl1->setCurrentIndex(1);
    return w;
  }

  void run(TForm1& w, const QString& statement) {
    w.Memo2->setPlainText(statement);
    QTest::keyClick(w.Memo2, Qt::Key_F5);
    settle();
  }

  static QStringList column(const QAbstractItemModel* model, int column) {
    QStringList texts;
    for (int row = 0; row < model->rowCount(); ++row) texts << model->index(row, column).data().toString();
    return texts;
  }

 private slots:
  void initTestCase() {
    server_ = std::make_unique<SandboxProcess>("Grid#1");
    runBatches(*server_, "master", {std::string("create database ") + kDatabase});
    runBatches(*server_, kDatabase,
               {"create table people (id int not null, name varchar(20) null)",
                "insert into people values (3, 'carol')", "insert into people values (10, 'Bob')",
                "insert into people values (2, null)", "insert into people values (1, 'alice')"});
  }
  void cleanupTestCase() { server_.reset(); }
  void init() { beginTest(); }
  void cleanup() { endTest(); }

  // NULL shows apart from an empty text, a blank and the text 'NULL'.
  void nullShowsApartFromEveryText() {
    TForm1& w = openWindow();
    run(w, "select null as a, '' as b, ' ' as c, 'NULL' as d");
    const QAbstractItemModel* grid = w.DBGrid1->model();
    QCOMPARE(grid->index(0, 0).data().toString(), QStringLiteral("NULL"));
    QVERIFY(grid->index(0, 0).data(Qt::FontRole).value<QFont>().italic());
    QVERIFY(grid->index(0, 0).data(Qt::ForegroundRole).isValid());
    QCOMPARE(grid->index(0, 1).data().toString(), QString());
    QCOMPARE(grid->index(0, 2).data().toString(), QStringLiteral(" "));
    QCOMPARE(grid->index(0, 3).data().toString(), QStringLiteral("NULL"));
    QVERIFY(!grid->index(0, 3).data(Qt::FontRole).isValid());
  }

  // Ctrl+C puts the selected rows on the clipboard as tab-separated text under their headings.
  void ctrlCCopiesTheSelectionWithItsHeadings() {
    TForm1& w = openWindow();
    run(w, "select id, name, 'a\tb' as odd from people where id in (1, 2) order by id");
    w.DBGrid1->selectRow(0);
    w.DBGrid1->selectionModel()->select(w.DBGrid1->model()->index(1, 0),
                                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
    w.DBGrid1->setFocus();
    QTest::keyClick(w.DBGrid1, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(desktop_.clipboard, QStringLiteral("id\tname\todd\n1\talice\t\"a\tb\"\n2\tNULL\t\"a\tb\"\n"));
  }

  // A click on a heading sorts the rows shown, numbers by value and text without regard to
  // case, NULL first; the data set keeps the server's order, and no query runs.
  void aHeadingClickSorts() {
    TForm1& w = openWindow();
    run(w, "select id, name from people");
    QHeaderView* headings = w.DBGrid1->horizontalHeader();
    QTest::mouseClick(headings->viewport(), Qt::LeftButton, {},
                      QPoint(headings->sectionViewportPosition(0) + 5, headings->height() / 2));
    QVERIFY(!w.tasks().busy());
    QCOMPARE(column(w.DBGrid1->model(), 0), (QStringList{"1", "2", "3", "10"}));
    QTest::mouseClick(headings->viewport(), Qt::LeftButton, {},
                      QPoint(headings->sectionViewportPosition(1) + 5, headings->height() / 2));
    QCOMPARE(column(w.DBGrid1->model(), 1), (QStringList{"NULL", "alice", "Bob", "carol"}));
    QCOMPARE(w.ADOQuery1->dataSet().rows().value(0, 0), std::optional<std::string_view>("3"));
    w.DBGrid1->sortByColumn(0, Qt::DescendingOrder);
    QCOMPARE(column(w.DBGrid1->model(), 0), (QStringList{"10", "3", "2", "1"}));
  }

  // The row indicator marks the grid's current row.
  void theRowIndicatorMarksTheCurrentRow() {
    TForm1& w = openWindow();
    run(w, "select id from people");
    w.DBGrid1->setCurrentIndex(w.DBGrid1->model()->index(2, 0));
    const QAbstractItemModel* grid = w.DBGrid1->model();
    QCOMPARE(grid->headerData(2, Qt::Vertical).toString(), QStringLiteral("▶"));
    QCOMPARE(grid->headerData(0, Qt::Vertical).toString(), QString());
    w.DBGrid1->setCurrentIndex(grid->index(0, 0));
    QCOMPARE(grid->headerData(2, Qt::Vertical).toString(), QString());
    QCOMPARE(grid->headerData(0, Qt::Vertical).toString(), QStringLiteral("▶"));
  }

  // F5 with text selected runs the selection only; without a selection, the whole editor.
  void f5RunsTheSelectionOnly() {
    TForm1& w = openWindow();
    w.Memo2->setPlainText("select 1 as first\nselect 2 as second");
    QTextCursor cursor = w.Memo2->textCursor();
    cursor.movePosition(QTextCursor::Down);
    cursor.movePosition(QTextCursor::EndOfLine, QTextCursor::KeepAnchor);
    w.Memo2->setTextCursor(cursor);
    QTest::keyClick(w.Memo2, Qt::Key_F5);
    settle();
    QCOMPARE(w.DBGrid1->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("second"));
    QVERIFY(!w.ResultTabs->isVisible());
    cursor.clearSelection();
    w.Memo2->setTextCursor(cursor);
    QTest::keyClick(w.Memo2, Qt::Key_F5);
    settle();
    QCOMPARE(w.DBGrid1->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("first"));
  }

  // A batch of several row sets shows the first, and a tab over the grid reaches each other.
  void everyRowSetOfABatchIsReachable() {
    TForm1& w = openWindow();
    run(w, "select id from people where id = 1\nupdate people set id = id where id = 1\n"
           "select name from people where id < 3 order by id\nselect 7 as seven");
    QVERIFY(w.ResultTabs->isVisible());
    QCOMPARE(w.ResultTabs->count(), 3);
    QCOMPARE(w.DBGrid1->model(), static_cast<QAbstractItemModel*>(w.ADOQuery1));
    QCOMPARE(w.StatusBar1->panelText(3), QStringLiteral("1"));
    w.ResultTabs->setCurrentIndex(1);
    QCOMPARE(w.DBGrid1->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("name"));
    QCOMPARE(column(w.DBGrid1->model(), 0), (QStringList{"alice", "NULL"}));
    w.ResultTabs->setCurrentIndex(2);
    QCOMPARE(w.DBGrid1->model()->index(0, 0).data().toString(), QStringLiteral("7"));
    run(w, "select 1 as one");  // one row set again: the tabs go, the grid shows ADOQuery1
    QVERIFY(!w.ResultTabs->isVisible());
    QCOMPARE(w.DBGrid1->model(), static_cast<QAbstractItemModel*>(w.ADOQuery1));
  }
};

QTEST_MAIN(TstTForm1Grid)
#include "tst_tform1_grid.moc"
