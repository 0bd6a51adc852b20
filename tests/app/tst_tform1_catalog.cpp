// The catalogue browser and the online-users page of the window, offscreen, against the
// sandbox server through the real ODBC driver.

#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableView>
#include <QtTest>
#include <memory>

#include "app/data_set_model.h"
#include "app/status_bar.h"
#include "app/tform1.h"
#include "window_test.h"
#include "sandbox_session.h"

using namespace makeddl::app;
using makeddl::testing::runBatches;
using sandbox::testing::SandboxProcess;

namespace {

const char* const kDatabase = "catalog_db";

const char* const kSchema[] = {
    "create table dept (dept_id int not null primary key, dept_name varchar(20) null, note nvarchar(10) not "
    "null)",
    "insert into dept values (1, 'sales', 'a')",
    "insert into dept values (2, 'hr', 'b')",
    "insert into dept values (3, 'it', 'c')",
    "insert into dept values (4, 'ops', 'd')",
    "exec sp_addextendedproperty N'MS_Format', N'fmt', N'user', N'dbo', N'table', N'dept', N'column', "
    "N'dept_name'",
    "exec sp_addextendedproperty N'MS_Description', N'部门名称', N'user', N'dbo', N'table', N'dept', "
    "N'column', "
    "N'dept_name'",
    "create table dept_hist (dept_id int null, changed datetime null)",
    "create table a_link (dept_id int null)",
    "create table [order] (id int not null, [my col] int null)",
    "insert into [order] values (1, 10)",
    "insert into [order] values (2, null)",
    "create table keyed (a int not null, b int not null, x int not null, constraint pk_keyed primary key (b, "
    "a))",
    "create index AAA_ix on keyed (x)",
    "create table plain (p int null, q int null)",
    "create table [my table] ([it's] int null)",
    "create table [a.b] (k int not null primary key, [x]]y] varchar(5) not null)",
    "insert into [a.b] values (1, 'q')",
    "create table [x[y] (k int not null primary key)",
    "create view v_dept as select dept_id, dept_name from dept",
    "create procedure p_one as select dept_id, dept_name from dept",
    "create procedure p_two as select note from dept",
    "create function f_two()\r\nreturns int\r\nas begin return 2 end",
    "create function f_keys() returns table as return (select a, b from keyed)",
};

QStringList columnTitles(const QAbstractItemModel* model) {
  QStringList titles;
  for (int i = 0; i < model->columnCount(); ++i) titles << model->headerData(i, Qt::Horizontal).toString();
  return titles;
}

QList<int> columnWidths(const QTableView* grid) {
  QList<int> widths;
  for (int i = 0; i < grid->model()->columnCount(); ++i) widths << grid->columnWidth(i);
  return widths;
}

QStringList rowTexts(const QAbstractItemModel* model, int row) {
  QStringList texts;
  for (int i = 0; i < model->columnCount(); ++i) texts << model->index(row, i).data().toString();
  return texts;
}

}  // namespace

class TstTForm1Catalog : public makeddl::app::testing::WindowTest {
  Q_OBJECT

 private:
  std::unique_ptr<SandboxProcess> server_;

  // The window on the test database, with the object lists as an activation fills them.
  TForm1& openWindow() {
    TForm1& w = openActivatedWindow({"dept", "dept_hist", "a_link", "order", "keyed", "plain", "my table"},
                                    {"v_dept"}, {"p_one", "p_two"}, {"f_two"});
    makeddl::testing::connectAsSa(w.ADOConnection1, *server_, kDatabase);
    useServerVersionOf(w);
    return w;
  }

  static QListWidgetItem* itemNamed(QListWidget* list, const QString& name) {
    const QList<QListWidgetItem*> found = list->findItems(name, Qt::MatchExactly);
    return found.isEmpty() ? nullptr : found.front();
  }

  // A user's click on the named item.
  static void clickItem(QListWidget* list, const QString& name, Qt::KeyboardModifiers modifiers = {}) {
    QListWidgetItem* item = itemNamed(list, name);
    QVERIFY2(item, qPrintable(name));
    list->scrollToItem(item);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, list->visualItemRect(item).center());
  }

  QString panel(int index) const { return window_->StatusBar1->panelText(index); }

 private slots:
  void initTestCase() {
    server_ = std::make_unique<SandboxProcess>("Catalog#1", false, sandboxVersionArguments());
    runBatches(*server_, "", {std::string("create database ") + kDatabase});
    runBatches(*server_, kDatabase, std::vector<std::string>(std::begin(kSchema), std::end(kSchema)));
  }
  void cleanupTestCase() { server_.reset(); }
  void init() { beginTest(); }
  void cleanup() { endTest(); }

  void tabChangeCountsTheListOfTheActiveTab() {
    TForm1& w = openWindow();
    for (int i = 0; i < 11; ++i) w.ListBoxView->addItem(QStringLiteral("v%1").arg(i));
    w.ListBoxFunction->clear();
    w.PageControl2Change();
    QCOMPARE(panel(1), QStringLiteral("7"));
    w.PageControl2->setCurrentIndex(1);
    QCOMPARE(panel(1), QStringLiteral("12"));
    w.PageControl2->setCurrentIndex(3);
    QCOMPARE(panel(1), QStringLiteral("0"));
    QCOMPARE(w.PageControl1->currentIndex(), 5);
  }

  void tableClickOnTheShowDataPageLoadsRowsAndTheTemplate() {
    TForm1& w = openWindow();
    w.PageControl1->setCurrentIndex(1);
    clickItem(w.ListBoxTable, "dept");
    settle();
    QCOMPARE(w.DBGrid1->model()->rowCount(), 4);
    QCOMPARE(panel(3), QStringLiteral("4"));  // the rows, written after the dependency count
    QCOMPARE(w.Memo2->toPlainText(),
             QStringLiteral("SELECT    dept_id , dept_name , note \n\nFROM      dept        "));
    QCOMPARE(w.Edit10->text(), QStringLiteral("dept"));
    QCOMPARE(w.Edit11->text(), QStringLiteral("用户表"));
    QCOMPARE(desktop_.waitDepth, 0);
    QCOMPARE(desktop_.cursorChanges, 2);  // one run for one click
    QVERIFY(desktop_.messages.empty());
  }

  // Names that need brackets are bracketed in the query and in the template.
  void tableClickElsewhereShowsHeadingsOnlyAndBracketsNames() {
    TForm1& w = openWindow();
    w.PageControl1->setCurrentIndex(0);
    clickItem(w.ListBoxTable, "order");
    settle();
    QCOMPARE(w.DBGrid1->model()->rowCount(), 0);
    QCOMPARE(columnTitles(w.DBGrid1->model()), (QStringList{"id", "my col"}));
    QCOMPARE(panel(3), QStringLiteral("0"));
    QCOMPARE(w.Memo2->toPlainText(), QStringLiteral("SELECT    id , [my col] \n\nFROM      [order]        "));
    w.PageControl1->setCurrentIndex(1);
    clickItem(w.ListBoxTable, "my table");
    settle();
    QCOMPARE(w.Edit10->text(), QStringLiteral("my table"));
    QVERIFY(desktop_.messages.empty());
  }

  void keyboardMovesAndCtrlClicksShowTheCurrentTable() {
    TForm1& w = openWindow();
    clickItem(w.ListBoxTable, "dept");
    settle();
    QTest::keyClick(w.ListBoxTable, Qt::Key_Down);
    settle();
    QCOMPARE(w.ListBoxTable->currentItem()->text(), QStringLiteral("dept_hist"));
    QCOMPARE(w.Edit10->text(), QStringLiteral("dept_hist"));
    w.ListBoxTable->setCurrentRow(0);  // a move by the program is no pick
    QCOMPARE(w.Edit10->text(), QStringLiteral("dept_hist"));
    clickItem(w.ListBoxTable, "dept");
    settle();
    w.Edit10->clear();
    clickItem(w.ListBoxTable, "dept", Qt::ControlModifier);  // out of the selection, still current
    settle();
    QVERIFY(!itemNamed(w.ListBoxTable, "dept")->isSelected());
    QCOMPARE(w.ListBoxTable->currentItem()->text(), QStringLiteral("dept"));
    QCOMPARE(w.Edit10->text(), QStringLiteral("dept"));
  }

  // The data query fails silently; reading its record count afterwards is reported.
  void tableTheServerDoesNotKnowIsReportedOnlyAtTheRecordCount() {
    TForm1& w = openWindow();
    w.ListBoxTable->addItem("gone");
    w.Memo2->setPlainText("kept");
    clickItem(w.ListBoxTable, "gone");
    settle();
    QCOMPARE(w.Memo2->toPlainText(), QStringLiteral("kept"));
    QCOMPARE(w.Edit10->text(), QString());
    QCOMPARE(desktop_.messages.size(), std::size_t(1));
    QCOMPARE(desktop_.messages.front().caption, QStringLiteral("SQL SERVER 工具"));
    QCOMPARE(desktop_.waitDepth, 0);
  }

  void fieldListShowsOneRowPerColumnWithTitlesAndWidths() {
    TForm1& w = openWindow();
    w.ShowFieldList("dept");
    settle();
    const QAbstractItemModel* grid = w.DBGrid2->model();
    QCOMPARE(columnTitles(grid), (QStringList{"序号", "字段名", "数据类型", "长度", "精度", "小数字", "非空",
                                              "缺省值", "字段说明", "主键"}));
    QCOMPARE(grid->rowCount(), 3);  // nvarchar and two extended properties each once
    QCOMPARE(rowTexts(grid, 0), (QStringList{"1", "dept_id", "int", "4", "10", "0", "YES", "NULL", "NULL", "YES"}));
    QCOMPARE(rowTexts(grid, 1)[8], QStringLiteral("部门名称"));
    QCOMPARE(rowTexts(grid, 2).mid(0, 4), (QStringList{"3", "note", "nvarchar", "20"}));
    QCOMPARE(columnWidths(w.DBGrid2).mid(0, 6), (QList<int>{31, 83, 86, 34, 30, 45}));
    QCOMPARE(columnWidths(w.DBGrid2).mid(7, 3), (QList<int>{50, 55, 32}));
    QCOMPARE(grid->index(0, 0).data(Qt::TextAlignmentRole).toInt(), int(Qt::AlignCenter));

    const std::size_t lineCount = w.QueryShowField->dataSet().sqlLines().size();
    w.ShowFieldList("order");
    settle();
    QCOMPARE(w.QueryShowField->dataSet().sqlLines().size(), lineCount);
    QCOMPARE(w.QueryShowField->dataSet().sqlLines()[1], std::string("set @Table_Name='order'"));
    QCOMPARE(grid->rowCount(), 2);
  }

  void sameNameListsEveryObjectWithTheColumn() {
    TForm1& w = openWindow();
    w.ShowFieldList("dept");
    settle();
    w.DBGrid2->setCurrentIndex(w.DBGrid2->model()->index(0, 1));
    w.Edit12->setText("typed");
    w.Button9->click();
    settle();
    QCOMPARE(w.Edit12->text(), QStringLiteral("dept_id"));
    QStringList names;
    for (int i = 0; i < w.ListBox1->count(); ++i) names << w.ListBox1->item(i)->text();
    QCOMPARE(names, (QStringList{"a_link", "dept", "dept_hist", "v_dept"}));
    QCOMPARE(w.Edit13->text(), QStringLiteral("4"));
    QVERIFY(w.MovePanel1->isVisible());
    QCOMPARE(w.PageControl3->currentIndex(), 1);

    w.ShowFieldList("my table");  // the column it's: its quote is doubled in the query
    settle();
    w.Button9->click();
    settle();
    QCOMPARE(w.Edit12->text(), QStringLiteral("it's"));
    QCOMPARE(w.ListBox1->count(), 1);
    QCOMPARE(w.ListBox1->item(0)->text(), QStringLiteral("my table"));
  }

  void sameNameWithoutAFieldListDoesNothing() {
    TForm1& w = openWindow();
    w.Edit12->setText("typed");
    w.Edit13->setText("9");
    w.Button9->click();
    settle();
    QCOMPARE(w.Edit12->text(), QString());
    QCOMPARE(w.Edit13->text(), QStringLiteral("9"));
    QVERIFY(!w.MovePanel1->isVisible());
  }

  void functionClickShowsItsSourceAndLeavesTheDependencyPage() {
    TForm1& w = openWindow();
    w.Edit10->setText("earlier");
    w.setScriptPaneText({"old", makeddl::Encoding::Big5});
    clickItem(w.ListBoxFunction, "f_two");
    settle();
    QCOMPARE(w.Memo1->toPlainText(),
             QStringLiteral("create function f_two()\nreturns int\nas begin return 2 end"));
    QCOMPARE(w.scriptPaneText().encoding, makeddl::Encoding::Gbk);
    QCOMPARE(w.Edit10->text(), QStringLiteral("earlier"));
    QCOMPARE(desktop_.waitDepth, 0);

    // On the show-data page too the function shows its own text, and the grid is left alone.
    w.PageControl1->setCurrentIndex(1);
    clickItem(w.ListBoxView, "v_dept");
    settle();
    w.ListBoxView->clearSelection();
    clickItem(w.ListBoxFunction, "f_two");
    settle();
    QVERIFY(w.Memo1->toPlainText().startsWith("create function f_two"));
    QCOMPARE(w.DBGrid1->model()->rowCount(), 4);
    QVERIFY(desktop_.messages.empty());
  }

  void onlineUsersListTheConnectedProcesses() {
    TForm1& w = openWindow();
    w.Button13->click();
    settle();
    const QAbstractItemModel* grid = w.DBGrid3->model();
    QCOMPARE(columnTitles(grid), (QStringList{"登陆时间", "联机用户", "使用数据库", "登陆名称", "进程"}));
    QCOMPARE(columnWidths(w.DBGrid3), (QList<int>{144, 100, 90, 114, 202}));
    QVERIFY(grid->rowCount() >= 1);
    bool foundOurs = false;
    for (int row = 0; row < grid->rowCount(); ++row) {
      const QStringList cells = rowTexts(grid, row);
      QVERIFY(!cells[1].trimmed().isEmpty());
      foundOurs = foundOurs || (cells[2] == kDatabase && cells[3] == "sa");
    }
    QVERIFY(foundOurs);
    w.ADOQuery3->dataSet().close();
    w.Button13->click();
    settle();
    QVERIFY(w.ADOQuery3->dataSet().isOpen());
    QVERIFY(desktop_.messages.empty());
  }

  void summaryCountsKeysAndNonNullColumns() {
    TForm1& w = openWindow();
    w.ShowTableSummary("keyed");  // its index AAA_ix is listed before the key pk_keyed
    settle();
    QCOMPARE(w.Edit7->text(), QStringLiteral("0"));
    QCOMPARE(w.Edit5->text(), QStringLiteral("3"));
    QCOMPARE(w.Edit6->text(), QStringLiteral("b, a"));
    QCOMPARE(w.Edit9->text(), QStringLiteral("a,b,x,"));
    w.ShowTableSummary("plain");
    settle();
    QCOMPARE(w.Edit6->text(), QString());
    QCOMPARE(w.Edit9->text(), QString());
    w.ShowTableSummary("order");
    settle();
    QCOMPARE(w.Edit7->text(), QStringLiteral("2"));
    QCOMPARE(w.Edit9->text(), QStringLiteral("id,"));
  }

  // Names that object_id() would read as several parts still find their table.
  void fieldListAndSummaryOfNamesWithDotsAndBrackets() {
    TForm1& w = openWindow();
    w.ShowFieldList("a.b");
    settle();
    const QAbstractItemModel* grid = w.DBGrid2->model();
    QCOMPARE(grid->rowCount(), 2);
    QCOMPARE(rowTexts(grid, 0).mid(0, 3), (QStringList{"1", "k", "int"}));
    QCOMPARE(rowTexts(grid, 0)[9], QStringLiteral("YES"));
    QCOMPARE(rowTexts(grid, 1)[1], QStringLiteral("x]y"));
    w.ShowTableSummary("a.b");
    settle();
    QCOMPARE(w.Edit7->text(), QStringLiteral("1"));
    QCOMPARE(w.Edit5->text(), QStringLiteral("2"));
    QCOMPARE(w.Edit6->text(), QStringLiteral("k"));
    QCOMPARE(w.Edit9->text(), QStringLiteral("k,x]y,"));
    w.ShowFieldList("x[y");
    settle();
    QCOMPARE(grid->rowCount(), 1);
    QVERIFY(desktop_.messages.empty());
  }

  void tableClickRefreshesSummaryOnlyOnThePropertiesPage() {
    TForm1& w = openWindow();
    w.PageControl1->setCurrentIndex(3);
    clickItem(w.ListBoxTable, "dept");
    settle();
    QCOMPARE(w.Edit8->text(), QStringLiteral("dept"));
    QCOMPARE(w.Edit7->text(), QStringLiteral("4"));
    QCOMPARE(w.Edit6->text(), QStringLiteral("dept_id"));
    QCOMPARE(w.DBGrid2->model()->rowCount(), 3);
    w.PageControl1->setCurrentIndex(0);
    clickItem(w.ListBoxTable, "order");
    settle();
    QCOMPARE(w.Edit8->text(), QStringLiteral("order"));
    QCOMPARE(w.Edit7->text(), QStringLiteral("4"));
    QCOMPARE(w.DBGrid2->model()->rowCount(), 2);
    QVERIFY(desktop_.messages.empty());
  }

  void tableClickListsTheNumberedDependents() {
    TForm1& w = openWindow();
    clickItem(w.ListBoxTable, "dept");
    settle();
    const QAbstractItemModel* grid = w.DBGrid4->model();
    QCOMPARE(columnTitles(grid), (QStringList{"序号", "关联对象", "对象类型", "修改否", "选择否", "字段名"}));
    QCOMPARE(columnWidths(w.DBGrid4),
             (QList<int>{44, 108, 107, w.DBGrid4->horizontalHeader()->defaultSectionSize(),
                         w.DBGrid4->horizontalHeader()->defaultSectionSize(), 115}));
    QCOMPARE(grid->rowCount(), 3);
    QCOMPARE(rowTexts(grid, 0), (QStringList{"1", "p_one", "存储过程", " ", " ", " "}));
    QCOMPARE(rowTexts(grid, 1).mid(0, 3), (QStringList{"2", "p_two", "存储过程"}));
    QCOMPARE(rowTexts(grid, 2).mid(0, 3), (QStringList{"3", "v_dept", "视图"}));
    QCOMPARE(w.Edit8->text(), QStringLiteral("dept"));
    QCOMPARE(w.DBGrid2->model()->rowCount(), 3);  // the field list follows on any page
    QCOMPARE(panel(3), QStringLiteral("0"));      // headings only: the data query's count wins

    w.Disp_sp_depends("keyed", 1);  // an inline function: a type code without a name
    settle();
    QCOMPARE(rowTexts(grid, 0).mid(0, 3), (QStringList{"1", "f_keys", "IF"}));
    QCOMPARE(panel(3), QStringLiteral("1"));
  }

  void viewClickShowsSourceAndItsDependents() {
    TForm1& w = openWindow();
    w.StatusBar1->setPanelText(3, "9");
    clickItem(w.ListBoxView, "v_dept");
    settle();
    QVERIFY(w.Memo1->toPlainText().startsWith("create view v_dept"));
    QCOMPARE(w.Edit10->text(), QStringLiteral("v_dept"));
    QCOMPARE(w.Edit11->text(), QStringLiteral("视图"));
    QCOMPARE(w.DBGrid4->model()->rowCount(), 0);  // nothing uses the view
    QCOMPARE(panel(3), QStringLiteral("0"));
  }

  void procedureClickListsTheColumnsItReads() {
    TForm1& w = openWindow();
    w.PageControl1->setCurrentIndex(1);
    clickItem(w.ListBoxView, "v_dept");  // a view's click shows its own rows
    settle();
    QCOMPARE(w.DBGrid1->model()->rowCount(), 4);
    QCOMPARE(panel(3), QStringLiteral("0"));  // then its dependents: none
    w.Memo2->setPlainText("select 7 as seven");
    w.Button8->click();
    settle();
    clickItem(w.ListBoxStore_Prod, "p_one");
    settle();
    QVERIFY(w.Memo1->toPlainText().startsWith("create procedure p_one"));
    QCOMPARE(w.Edit11->text(), QStringLiteral("存储过程"));
    QCOMPARE(w.DBGrid1->model()->rowCount(), 1);  // not the picked view's rows
    const QAbstractItemModel* grid = w.DBGrid4->model();
    QCOMPARE(grid->rowCount(), 2);
    QCOMPARE(rowTexts(grid, 0).mid(0, 5), (QStringList{"1", "dept", "用户表", "", "YES"}));
    QStringList columns{rowTexts(grid, 0)[5], rowTexts(grid, 1)[5]};
    columns.sort();
    QCOMPARE(columns, (QStringList{"dept_id", "dept_name"}));
    QCOMPARE(panel(3), QStringLiteral("2"));

    // Without a view picked the procedure shows all the same.
    w.ListBoxView->clearSelection();
    clickItem(w.ListBoxStore_Prod, "p_two");
    settle();
    QVERIFY(w.Memo1->toPlainText().startsWith("create procedure p_two"));
    QCOMPARE(w.Edit10->text(), QStringLiteral("p_two"));
    QVERIFY(desktop_.messages.empty());

    // A Ctrl-click on the picked procedure keeps it picked and shown.
    clickItem(w.ListBoxStore_Prod, "p_two", Qt::ControlModifier);
    settle();
    QVERIFY(itemNamed(w.ListBoxStore_Prod, "p_two")->isSelected());
    QVERIFY(w.Memo1->toPlainText().startsWith("create procedure p_two"));
  }
};

QTEST_MAIN(TstTForm1Catalog)
#include "tst_tform1_catalog.moc"
