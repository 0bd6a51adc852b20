// CREATE and INSERT scripts, the query editor and the script pane's copy and save in the
// window, offscreen, against the sandbox server through the real ODBC driver.

#include <QCheckBox>
#include <QFile>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "app/data_set_model.h"
#include "app/status_bar.h"
#include "app/tform1.h"
#include "window_test.h"
#include "worked_examples.h"
#include "sandbox_session.h"

using namespace makeddl::app;
using makeddl::connection::DataSet;
using makeddl::testing::runBatches;
using sandbox::testing::SandboxProcess;

namespace {

const char* const kPassword = "Scripts;1";
const char* const kDatabase = "shop";

const char* const kSchema[] = {
    "create table t_dept (dept_id int not null primary key, dept_name varchar(20) null)",
    "exec sp_addextendedproperty N'MS_Description', N'department name', N'user', N'dbo', N'table', "
    "N't_dept', "
    "N'column', N'dept_name'",
    "insert into t_dept values (1, 'sales')",
    "insert into t_dept values (2, 'hr')",
    "create table t_log (log_time datetime not null, msg varchar(200) null)",
    "create table t_emp (emp_id int, emp_name varchar(20), hired datetime, active bit, salary money, "
    "note varchar(50))",
    "insert into t_emp values (1, 'Wang', '2003-12-01 08:30', 1, 1500.5, null)",
    "insert into t_emp values (2, 'O''Neil', '2003-12-15', 0, 2000, '')",
    "create table t_empty (a int)",
    "create table counter (n int not null)",
    "insert into counter values (1)",
    "create view v_dept as\r\nselect dept_id, dept_name from t_dept",
};

const QString kDeptScript =
    QString::fromStdString(makeddl::scripts::examples::paneText(makeddl::scripts::examples::kDeptCreateBlock));
const QString kLogScript =
    QString::fromStdString(makeddl::scripts::examples::paneText(makeddl::scripts::examples::kLogCreateBlock));

const QString kWrongStatement = QStringLiteral("错误的SQL语句,请检查编辑框内语句是否正确有！");

QByteArray fileBytes(const QString& path) {
  QFile file(path);
  file.open(QIODevice::ReadOnly);
  return file.readAll();
}

}  // namespace

class TstTForm1Scripts : public makeddl::app::testing::WindowTest {
  Q_OBJECT

 private:
  std::unique_ptr<SandboxProcess> server_;

  // The window on the test database, with the table list as an activation fills it.
  TForm1& openWindow() {
    TForm1& w = openActivatedWindow({"t_dept", "t_emp", "t_empty", "t_log"});
    makeddl::testing::connectAsSa(w.ADOConnection1, *server_, kDatabase);
    useServerVersionOf(w);
    w.PageControl1->setCurrentIndex(5);
    return w;
  }

  // Makes the named table current and selects exactly the given ones.
  static void selectTables(TForm1& w, const QString& current, const QStringList& selected) {
    w.ListBoxTable->setCurrentItem(w.ListBoxTable->findItems(current, Qt::MatchExactly).front(),
                                   QItemSelectionModel::NoUpdate);
    w.ListBoxTable->clearSelection();
    for (const QString& name : selected)
      w.ListBoxTable->findItems(name, Qt::MatchExactly).front()->setSelected(true);
  }

  QString panel(int index) const { return window_->StatusBar1->panelText(index); }

  void verifyRunEnded() const {
    QVERIFY(!window_->ProgressBar);
    QVERIFY(!window_->StatusBar1->findChild<QProgressBar*>());
    QCOMPARE(desktop_.waitDepth, 0);
  }

 private slots:
  void initTestCase() {
    server_ = std::make_unique<SandboxProcess>(kPassword, false, sandboxVersionArguments());
    runBatches(*server_, "master", {std::string("create database ") + kDatabase});
    runBatches(*server_, kDatabase, std::vector<std::string>(std::begin(kSchema), std::end(kSchema)));
  }
  void cleanupTestCase() { server_.reset(); }
  void init() { beginTest(); }
  void cleanup() { endTest(); }

  // Tables come in list order whatever the order of selection; the pane is replaced.
  void createScriptsOfTheSelectedTables() {
    TForm1& w = openWindow();
    w.Memo1->setPlainText("earlier text");
    selectTables(w, "t_log", {"t_log", "t_dept"});
    w.Button7->click();
    settle();
    QCOMPARE(w.PageControl1->currentIndex(), 0);
    QCOMPARE(w.Memo1->toPlainText(), kDeptScript + kLogScript);
    QVERIFY(desktop_.messages.empty());
    verifyRunEnded();
    selectTables(w, "t_dept", {"t_dept"});
    w.Button7->click();
    settle();
    QCOMPARE(w.Memo1->toPlainText(), kDeptScript);
  }

  // On the view, procedure and function tabs 产生Create scripts the object picked there; the
  // remarks choice adds the calls that restore remarks.
  void createScriptsOfAPickedViewAndOfRemarks() {
    TForm1& w = openWindow();
    w.ListBoxView->addItem(QStringLiteral("v_dept"));
    w.PageControl2->setCurrentIndex(1);
    w.Button7->click();
    settle();
    QCOMPARE(w.Memo1->toPlainText(), QString());  // nothing picked: nothing happens
    QCOMPARE(w.PageControl1->currentIndex(), 5);
    w.ListBoxView->item(0)->setSelected(true);
    w.Button7->click();
    settle();
    QCOMPARE(w.Memo1->toPlainText(),
             QStringLiteral("\n----   v_dept\n"
                            "IF EXISTS (select name from sysobjects where name='v_dept' and type='V') DROP VIEW v_dept\n"
                            "GO\ncreate view v_dept as\nselect dept_id, dept_name from t_dept\nGO\n"));
    QVERIFY(!w.CheckBoxRemarks->isChecked());
    w.PageControl2->setCurrentIndex(0);
    selectTables(w, "t_dept", {"t_dept"});
    w.CheckBoxRemarks->setChecked(true);
    w.Button7->click();
    settle();
    QCOMPARE(w.Memo1->toPlainText(),
             kDeptScript + QStringLiteral("EXEC sp_addextendedproperty N'MS_Description', N'department name', "
                                          "N'user', N'dbo', N'table', N't_dept', N'column', N'dept_name'\n"));
    QVERIFY(desktop_.messages.empty());
    verifyRunEnded();
  }

  void tableCommandsNeedTheTableTabAndACurrentTable() {
    TForm1& w = openWindow();
    w.Memo1->setPlainText("kept");
    w.Memo2->setPlainText("update counter set n = n + 100");
    selectTables(w, "t_dept", {"t_dept"});
    w.PageControl2->setCurrentIndex(1);
    w.Button7->click();
    settle();
    w.Button11->click();
    settle();
    w.Button14->click();
    settle();
    QCOMPARE(w.Memo1->toPlainText(), QStringLiteral("kept"));
    QCOMPARE(w.PageControl1->currentIndex(), 5);
    QVERIFY(desktop_.messages.empty());  // nor was the update run
    w.PageControl2->setCurrentIndex(0);
    selectTables(w, "t_dept", {});
    w.Button11->click();
    settle();
    QCOMPARE(w.PageControl1->currentIndex(), 0);
    QCOMPARE(w.Memo1->toPlainText(), QString());
    QVERIFY(!w.ADOQuery1->dataSet().isOpen());
    w.Memo1->setPlainText("kept");
    w.Button7->click();
    settle();
    QCOMPARE(w.Memo1->toPlainText(), QString());
    DataSet check(w.ADOConnection1, "check");
    check.query("select n from counter");
    QCOMPARE(QString::fromStdString(check.field(0).asText()), QStringLiteral("1"));
  }

  // A failed run reaches the default error report, leaves the pane empty and ends its bar.
  void aFailedRunLeavesAnEmptyPane() {
    TForm1& w = openWindow();
    selectTables(w, "t_dept", {"t_dept", "t_emp"});
    w.Memo1->setPlainText("earlier text");
    w.ADOConnection1.close();
    w.Button7->click();
    settle();
    QCOMPARE(w.Memo1->toPlainText(), QString());
    QCOMPARE(desktop_.messages.size(), size_t(1));
    QCOMPARE(desktop_.messages[0].caption, QStringLiteral("SQL SERVER 工具"));
    verifyRunEnded();
    w.Memo1->setPlainText("earlier text");
    w.Button11->click();
    settle();
    QCOMPARE(w.Memo1->toPlainText(), QString());
    QCOMPARE(desktop_.messages.size(), size_t(2));
    verifyRunEnded();
  }

  void insertScriptsOfWholeTablesSkipEmptyOnes() {
    TForm1& w = openWindow();
    selectTables(w, "t_emp", {"t_emp", "t_empty"});
    w.StatusBar1->setPanelText(3, "7");
    w.Button11->click();
    settle();
    QCOMPARE(w.Memo1->toPlainText(),
             QStringLiteral("\n----  t_emp\n\n"
                            "INSERT INTO t_emp (emp_id,emp_name,hired,active,salary,note) VALUES "
                            "(1,'Wang','2003-12-01 08:30:00',1,1500.5,NULL)\n"
                            "INSERT INTO t_emp (emp_id,emp_name,hired,active,salary,note) VALUES "
                            "(2,'O''Neil','2003-12-15 00:00:00',0,2000,'')\n"));
    QCOMPARE(w.DBGrid1->model()->columnCount(), 1);  // the grid shows the last table scripted
    QCOMPARE(panel(3), QStringLiteral("7"));
    verifyRunEnded();
  }

  // The query's rows under the current table's name, whatever the query reads.
  void insertScriptOfTheQueryResult() {
    TForm1& w = openWindow();
    selectTables(w, "t_emp", {});
    w.Memo2->setPlainText("select emp_name, emp_id\nfrom t_emp\nwhere emp_id = 2");
    w.Button14->click();
    settle();
    QCOMPARE(w.PageControl1->currentIndex(), 0);
    QCOMPARE(w.Memo1->toPlainText(),
             QStringLiteral("\n----  t_emp\n\nINSERT INTO t_emp (emp_name,emp_id) VALUES ('O''Neil',2)\n"));
    QCOMPARE(panel(3), QStringLiteral("1"));
    w.Memo2->setPlainText("select dept_name from t_dept where dept_id = 1");
    w.Button14->click();
    settle();
    QCOMPARE(w.Memo1->toPlainText(),
             QStringLiteral("\n----  t_emp\n\nINSERT INTO t_emp (dept_name) VALUES ('sales')\n"));
    w.Memo2->setPlainText("select nosuch from t_emp");
    w.Button14->click();
    settle();
    QCOMPARE(w.Memo1->toPlainText(), QString());
    QCOMPARE(messages().size(), 2);
    QCOMPARE(messageHeads().front(), kWrongStatement);
    QVERIFY2(messages().front().contains("nosuch"), qPrintable(messages().front()));  // the server's reason
    QCOMPARE(desktop_.messages.back().caption, QStringLiteral("SQL SERVER 工具"));
    verifyRunEnded();
  }

  // Lines are joined with line breaks, so words at line ends stay apart.
  void queryRunsTheEditorsLinesAsOneStatement() {
    TForm1& w = openWindow();
    w.Memo2->setPlainText("select dept_id\nfrom t_dept");
    w.Button8->click();
    settle();
    QCOMPARE(panel(3), QStringLiteral("2"));
    QCOMPARE(w.DBGrid1->model()->rowCount(), 2);
    w.Memo2->setPlainText("select * from t_dept -- all\nwhere dept_id > 5");
    w.Button8->click();
    settle();
    QCOMPARE(panel(3), QStringLiteral("0"));
    QCOMPARE(w.DBGrid1->model()->columnCount(), 2);
    QVERIFY(desktop_.messages.empty());
    w.Memo2->setPlainText(" \n\t\n ");
    w.Button8->click();
    settle();
    QVERIFY(desktop_.messages.empty());
  }

  // A statement without rows runs once and is reported as done; a refused one keeps the panel.
  void statementsWithoutRowsAreDoneAndWrongOnesReported() {
    TForm1& w = openWindow();
    w.Memo2->setPlainText("update counter\nset n = n + 1");
    w.Button8->click();
    settle();
    QCOMPARE(messages(), QStringList{QStringLiteral("SQL语句已执行，1 条记录受影响！")});
    QCOMPARE(desktop_.messages[0].icon, MessageIcon::Warning);
    QCOMPARE(panel(3), QStringLiteral("1"));
    w.Memo2->setPlainText("select n from counter");
    w.Button8->click();
    settle();
    QCOMPARE(w.DBGrid1->model()->index(0, 0).data().toString(), QStringLiteral("2"));
    w.Memo2->setPlainText("update counter set n = n - 1");
    w.Button8->click();
    settle();
    w.Memo2->setPlainText("selec n from counter");
    w.Button8->click();
    settle();
    QCOMPARE(messageHeads().back(), kWrongStatement);
    QCOMPARE(desktop_.messages.back().icon, MessageIcon::Error);
    QCOMPARE(desktop_.messages.back().caption, QStringLiteral("系统提示"));
    QCOMPARE(panel(3), QStringLiteral("1"));
    QCOMPARE(w.DBGrid1->model()->rowCount(), 0);
  }

  void f5WithAnyModifierRunsTheQuery() {
    TForm1& w = openWindow();
    w.Memo2->setPlainText("select * from t_dept");
    for (Qt::KeyboardModifiers modifiers : {Qt::KeyboardModifiers(), Qt::KeyboardModifiers(Qt::ShiftModifier),
                                            Qt::KeyboardModifiers(Qt::ControlModifier | Qt::AltModifier)}) {
      w.StatusBar1->setPanelText(3, "x");
      QTest::keyClick(w.Memo2, Qt::Key_F5, modifiers);
      settle();
      QCOMPARE(panel(3), QStringLiteral("2"));
    }
    QTest::keyClicks(w.Memo2, "x");
    QVERIFY(w.Memo2->toPlainText().contains('x'));
  }

  void copyAndDoubleClickSelectTheWholePane() {
    TForm1& w = openWindow();
    w.Memo1->setPlainText("first line\nsecond line");
    w.Button1->click();
    settle();
    QCOMPARE(desktop_.clipboard, QStringLiteral("first line\nsecond line"));
    QCOMPARE(w.Memo1->textCursor().selectedText().size(), w.Memo1->toPlainText().size());
    QTextCursor cursor = w.Memo1->textCursor();
    cursor.clearSelection();
    w.Memo1->setTextCursor(cursor);
    QTest::mouseDClick(w.Memo1->viewport(), Qt::LeftButton, {}, QPoint(10, 5));
    QTRY_COMPARE(w.Memo1->textCursor().selectedText().size(), w.Memo1->toPlainText().size());
  }

  // The file holds the pane's GBK bytes with CR LF line ends and replaces any earlier file.
  void saveWritesThePanesBytes() {
    TForm1& w = openWindow();
    QTemporaryDir dir;
    const QString path = dir.filePath("脚本.sql");
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(5000, 'x'));
    old.close();
    w.Memo1->setPlainText("   \n ");
    w.Button12->click();
    settle();
    QVERIFY(desktop_.offeredFilters.isEmpty());
    selectTables(w, "t_dept", {"t_dept"});
    w.Button7->click();
    settle();
    w.Memo1->setPlainText(w.Memo1->toPlainText() + QStringLiteral("--部门"));
    desktop_.saveAnswers.push_back({path, 0});
    w.Button12->click();
    settle();
    QCOMPARE(desktop_.offeredFilters,
             (QStringList{QStringLiteral("SQL脚本文件(*.sql)"), QStringLiteral("文本文件(*.txt)")}));
    const QByteArray bytes = fileBytes(path);
    QVERIFY(bytes.startsWith("\r\n----   t_dept\r\nIF EXISTS"));
    QVERIFY(bytes.endsWith(")\r\n--\xB2\xBF\xC3\xC5"));
    QVERIFY(!bytes.contains("\n\n"));
    w.Button12->click();  // cancelled: nothing written
    settle();
    QCOMPARE(fileBytes(path), bytes);
    QVERIFY(desktop_.questions.empty());
  }

  // A character the pane's encoding lacks is never dropped: the user may save in UTF-8.
  void saveOffersUtf8ForCharactersTheEncodingLacks() {
    TForm1& w = openWindow();
    QTemporaryDir dir;
    w.Memo1->setPlainText("select N'☃'\nselect '部'");
    desktop_.yesNoAnswers = {false};
    desktop_.saveAnswers.push_back({dir.filePath("a.sql"), 0});
    w.Button12->click();
    settle();
    QCOMPARE(desktop_.questions.size(), size_t(1));
    QVERIFY(desktop_.questions[0].text.contains(QStringLiteral("☃")));
    QVERIFY(desktop_.offeredFilters.isEmpty());
    QVERIFY(!QFile::exists(dir.filePath("a.sql")));
    desktop_.yesNoAnswers = {true};
    w.Button12->click();
    settle();
    QCOMPARE(fileBytes(dir.filePath("a.sql")), QStringLiteral("select N'☃'\r\nselect '部'").toUtf8());
    desktop_.yesNoAnswers = {true};
    desktop_.saveAnswers.push_back({dir.filePath("missing/b.sql"), 1});
    w.Button12->click();
    settle();
    QCOMPARE(desktop_.messages.size(), size_t(1));
    QVERIFY(desktop_.messages[0].text.contains(dir.filePath("missing/b.sql")));
  }
};

QTEST_MAIN(TstTForm1Scripts)
#include "tst_tform1_scripts.moc"
