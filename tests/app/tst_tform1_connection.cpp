// The connection dialogue, discovery, remembered connections and activation of the window,
// offscreen, against the sandbox server through the real ODBC driver.

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableView>
#include <QtTest>
#include <memory>

#include "app/data_set_model.h"
#include "app/settings_store.h"
#include "app/status_bar.h"
#include "app/tform1.h"
#include "window_test.h"
#include "loopback_responder.h"
#include "sandbox_session.h"

using namespace makeddl::app;
using makeddl::testing::LoopbackResponder;
using makeddl::testing::resolutionResponse;
using makeddl::testing::runBatches;
using sandbox::testing::SandboxProcess;

namespace {
const QString kPassword = QStringLiteral("Pw;1=x");
}

class TstTForm1Connection : public makeddl::app::testing::WindowTest {
  Q_OBJECT

 private:
  std::unique_ptr<SandboxProcess> server_;

  QString serverText() const { return QString::fromStdString(makeddl::testing::sandboxServerText(*server_)); }

  TForm1& openWindow() {
    TForm1& w = WindowTest::openWindow();
    w.driverSettings.loginTimeoutSeconds = 3;
    return w;
  }

  // The discovery answer of this test's server under `name`.
  std::vector<std::string> discoveryAnswer(const QString& name) const {
    return {resolutionResponse(
        QStringLiteral("ServerName;%1;InstanceName;MSSQLSERVER;IsClustered;No;Version;8.00.194;tcp;%2;;")
            .arg(name)
            .arg(server_->port())
            .toStdString())};
  }

  // A window whose discovery asks `responder` alone.
  TForm1& openWindowDiscovering(const LoopbackResponder& responder) {
    TForm1& w = openWindow();
    w.discoverySettings.targets = {{"127.0.0.1", responder.port()}};
    w.discoverySettings.wait = std::chrono::milliseconds(300);
    return w;
  }

  // Fills the connection dialogue for an SQL login.
  void fillDialog(TForm1& w, const QString& database, const QString& password) {
    w.RadioButton2->click();
    settle();
    w.ComboBoxServer_NM->setEditText(serverText());
    w.ComboBoxDB_NM->setEditText(database);
    w.EditUser_NM->setText("sa");
    w.EditPass->setText(password);
  }

  static QStringList items(const QComboBox* box) {
    QStringList texts;
    for (int i = 0; i < box->count(); ++i) texts << box->itemText(i);
    return texts;
  }

  static QStringList items(const QListWidget* list) {
    QStringList texts;
    for (int i = 0; i < list->count(); ++i) texts << list->item(i)->text();
    return texts;
  }

  // A window activated on a new database "shop" of the server, made by the batches.
  TForm1& activateNewShop(const SandboxProcess& server, const std::vector<std::string>& batches) {
    runBatches(server, "master", {"create database shop"});
    runBatches(server, "shop", batches);
    TForm1& w = openWindow();
    fillDialog(w, "shop", kPassword);
    w.ComboBoxServer_NM->setEditText(QString::fromStdString(makeddl::testing::sandboxServerText(server)));
    w.Button3->click();
    settle();
    return w;
  }

 private slots:
  void initTestCase() {
    server_ = std::make_unique<SandboxProcess>(kPassword.toStdString());
    runBatches(*server_, "master", {"create database shop"});
    runBatches(*server_, "shop",
               {"create table t_dept (dept_id int not null primary key, dept_name varchar(20))",
                "create table orders (id int)", "create view v_dept as select dept_id from t_dept",
                "create function f_scalar() returns int as begin return 1 end",
                "create function f_depts() returns table as return (select dept_id from t_dept)"});
  }
  void cleanupTestCase() { server_.reset(); }
  void init() { beginTest(); }
  void cleanup() { endTest(); }

  void testButtonReportsGoodAndBadLogins() {
    TForm1& w = openWindow();
    fillDialog(w, "shop", kPassword);
    w.Button4->click();
    settle();
    fillDialog(w, "shop", "wrong");
    w.Button4->click();
    settle();
    QCOMPARE(messageHeads(), (QStringList{"连接正确！", "无法连接数据源！"}));
    QVERIFY2(messages()[1].contains("消息 18456："), qPrintable(messages()[1]));  // the server's reason
    QCOMPARE(desktop_.messages[0].icon, MessageIcon::Warning);
    QCOMPARE(desktop_.messages[1].icon, MessageIcon::Error);
    QCOMPARE(desktop_.messages[1].caption, QStringLiteral("系统提示"));
    QVERIFY(!w.ADOConnection1.isOpen());
  }

  // The sandbox cannot encrypt: with encryption required the message says why.
  void requiredEncryptionIsRefusedWithTheReason() {
    TForm1& w = openWindow();
    w.driverSettings.encryption = "require";
    fillDialog(w, "shop", kPassword);
    w.Button4->click();
    settle();
    QCOMPARE(messages().size(), 1);
    QVERIFY2(messages()[0].startsWith(QStringLiteral("无法连接数据源！\n服务器不支持加密连接")), qPrintable(messages()[0]));
    w.driverSettings.encryption = "off";
    w.Button4->click();
    settle();
    QCOMPARE(messages().last(), QStringLiteral("连接正确！"));
  }

  void windowsLoginAndAnUnreachablePortAreRefused() {
    TForm1& w = openWindow();
    w.ComboBoxServer_NM->setEditText(serverText());
    w.Button4->click();  // Windows login: the sandbox knows SQL logins only
    settle();
    w.RadioButton2->click();
    settle();
    w.ComboBoxServer_NM->setEditText("127.0.0.1,1");
    w.Button4->click();
    settle();
    QCOMPARE(messageHeads(), (QStringList{"无法连接数据源！", "无法连接数据源！"}));
    QVERIFY2(messages()[1].contains("08001"), qPrintable(messages()[1]));  // no server: the driver's reason
  }

  void loginModeSwitchesTheUserFields() {
    TForm1& w = openWindow();
    w.RadioButton2->click();
    settle();
    QVERIFY(w.EditUser_NM->isEnabled() && w.EditPass->isEnabled() && w.Label4->isEnabled());
    w.EditUser_NM->setText("sa");
    w.EditPass->setText("x");
    w.RadioButton1->click();
    settle();
    QVERIFY(!w.EditUser_NM->isEnabled() && !w.Label5->isEnabled());
    QCOMPARE(w.EditUser_NM->text(), QString());
    QCOMPARE(w.EditPass->text(), QString());
    w.RadioButton2->click();
    settle();
    QVERIFY(w.EditUser_NM->isEnabled());
    QCOMPARE(w.EditUser_NM->text(), QString());
  }

  void confirmingRemembersOnceAndActivates() {
    TForm1& w = openWindow();
    fillDialog(w, "shop", kPassword);
    w.Button2->click();  // discovery finds nothing; the typed server's databases are listed
    settle();
    QVERIFY(w.ComboBoxDB_NM->count() > 0);
    w.Button3->click();
    settle();
    QVERIFY2(desktop_.messages.empty(), qPrintable(messages().join('|')));
    QVERIFY(!w.MovePanel1->isVisible());
    QCOMPARE(items(w.ShowParamList),
             QStringList{QStringLiteral("Server=%1 ; DB_Name=shop ; Lonin=SQL ; User_Name=sa").arg(serverText())});
    QCOMPARE(w.ShowParamList->currentIndex(), 0);
    QCOMPARE(folder_->storedValue("ParamCount").toInt(), 1);
    QCOMPARE(folder_->storedValue("HideParam1").toString(),
             QStringLiteral("shop;%1;SQL;sa;Pw%3B1=x;%").arg(serverText()));
    QVERIFY(w.PageControl1->isEnabled() && w.PageControl2->isEnabled() && w.BtnBackupDB->isEnabled());
    QCOMPARE(w.currentDatabaseName(), std::string("shop"));
    QVERIFY(w.ListBoxTable->count() == 2);
    QCOMPARE(w.ListBoxTable->item(0)->text(), QStringLiteral("orders"));
    QCOMPARE(w.ListBoxView->count(), 1);
    QVERIFY(!w.Edit1->text().isEmpty() && w.Edit1->text().endsWith(']'));
    QVERIFY(w.Edit3->text().endsWith(" KB") || w.Edit3->text().endsWith(" MB"));
    QCOMPARE(w.Edit4->text().size(), 19);
    QCOMPARE(w.StatusBar1->panelText(1), QStringLiteral("2"));
    QCOMPARE(w.StatusBar1->panelText(6), QStringLiteral("SQL Server 2000 (8.00.2039)"));

    // The same connection again, the database name in other letter case: no second entry.
    fillDialog(w, "SHOP", kPassword);
    w.Button3->click();
    settle();
    QCOMPARE(w.ShowParamList->count(), 1);
    QCOMPARE(folder_->storedValue("ParamCount").toInt(), 1);
  }

  // A server without sysproperties: the field list reads the remarks where it keeps them.
  void activatingANewerServerNamesItAndReadsItsRemarks() {
    SandboxProcess newer(kPassword.toStdString(), false, {"--version", "2019"});
    TForm1& w = activateNewShop(
        newer, {"create table t_dept (dept_id int not null primary key, dept_name varchar(20), notes nvarchar(max))",
                "exec sp_addextendedproperty N'MS_Description', N'部门名称', N'SCHEMA', N'dbo', N'TABLE', N't_dept', "
                "N'COLUMN', N'dept_name'"});
    QVERIFY2(desktop_.messages.empty(), qPrintable(messages().join('|')));
    QCOMPARE(w.StatusBar1->panelText(6), QStringLiteral("SQL Server 2019 (15.0.2000.5)"));
    w.ShowFieldList("t_dept");
    settle();
    const QAbstractItemModel* grid = w.DBGrid2->model();
    QCOMPARE(grid->rowCount(), 3);
    QCOMPARE(grid->index(0, 9).data().toString(), QStringLiteral("YES"));
    QCOMPARE(grid->index(1, 8).data().toString(), QStringLiteral("部门名称"));
    QCOMPARE(grid->index(1, 3).data().toString(), QStringLiteral("20"));
    QCOMPARE(grid->index(2, 3).data().toString(), QStringLiteral("max"));  // not the catalogue's -1
  }

  // Objects outside dbo are listed as schema.name beside dbo's of the same name, and every
  // page that takes the object picked (rows, field list, summary, source, CREATE and INSERT
  // scripts) reads that object, not dbo's.
  void aNewerServersObjectsAreListedAndReadInTheirSchemas() {
    SandboxProcess newer(kPassword.toStdString(), false, {"--version", "2019"});
    TForm1& w = activateNewShop(newer, {"create schema sales", "create table orders (id int not null primary key)",
                                        "create table sales.orders (id int identity(10,1) not null primary key, "
                                        "amount money not null, note varchar(20))",
                                        "insert into sales.orders (amount, note) values (5, 'x')",
                                        "create view sales.v as select id from sales.orders"});
    QVERIFY2(desktop_.messages.empty(), qPrintable(messages().join('|')));
    QCOMPARE(w.ListBoxTable->count(), 2);
    QCOMPARE(w.ListBoxTable->item(0)->text(), QStringLiteral("orders"));
    QCOMPARE(w.ListBoxTable->item(1)->text(), QStringLiteral("sales.orders"));
    QCOMPARE(w.ListBoxView->item(0)->text(), QStringLiteral("sales.v"));

    w.ListBoxTable->setCurrentRow(1);
    w.ListBoxTable->item(1)->setSelected(true);
    w.ListBoxTableClick();
    settle();
    QCOMPARE(w.Edit10->text(), QStringLiteral("sales.orders"));
    QCOMPARE(w.DBGrid2->model()->rowCount(), 3);  // the field list of sales.orders
    QVERIFY(w.Memo2->toPlainText().contains(QStringLiteral("FROM      sales.orders")));
    w.ShowTableSummary(makeddl::ObjectName("sales", "orders"));
    settle();
    QCOMPARE(w.Edit9->text(), QStringLiteral("id,amount,"));
    w.Disp_sp_depends(makeddl::ObjectName("sales", "orders"), 1);
    settle();
    QCOMPARE(w.ADOQuery2->dataSet().recordCount(), 1);
    QCOMPARE(w.ADOQuery2->dataSet().rows().value(0, 0).value_or(""), "sales.v");

    w.PageControl2->setCurrentIndex(0);
    w.Button7->click();
    settle();
    const QString create = w.Memo1->toPlainText();
    QVERIFY2(create.startsWith(QStringLiteral("IF SCHEMA_ID(N'sales') IS NULL EXEC(N'CREATE SCHEMA sales')\nGO\n")),
             qPrintable(create));
    QVERIFY2(create.contains(QStringLiteral("CREATE TABLE sales.orders\n")), qPrintable(create));
    w.Button11->click();
    settle();
    QVERIFY2(w.Memo1->toPlainText().contains(QStringLiteral("INSERT INTO sales.orders (id,amount,note) VALUES (10,5,'x')")),
             qPrintable(w.Memo1->toPlainText()));

    w.PageControl2->setCurrentIndex(1);
    w.ListBoxView->item(0)->setSelected(true);
    w.ListBoxFunctionClick(w.ListBoxView);
    settle();
    QVERIFY2(w.Memo1->toPlainText().startsWith(QStringLiteral("create view sales.v")), qPrintable(w.Memo1->toPlainText()));
    QVERIFY2(desktop_.messages.empty(), qPrintable(messages().join('|')));
  }

  void rememberedConnectionsActivateFromTheList() {
    TForm1& first = openWindow();
    fillDialog(first, "shop", kPassword);
    first.Button3->click();
    settle();
    window_.reset();
    TForm1& w = openWindow();
    QCOMPARE(w.ShowParamList->count(), 1);
    QVERIFY(!w.PageControl1->isEnabled());
    w.ShowParamList->setCurrentIndex(0);
    emit w.ShowParamList->activated(0);
    settle();
    QVERIFY2(desktop_.messages.empty(), qPrintable(messages().join('|')));
    QVERIFY(w.PageControl1->isEnabled());
    QCOMPARE(w.ListBoxTable->count(), 2);
  }

  void aFailedActivationDisablesThePagesAndKeepsTheLists() {
    TForm1& w = openWindow();
    fillDialog(w, "shop", kPassword);
    w.Button3->click();
    settle();
    w.ShowParamList->addItem("bad");
    w.HideParamList->addItem(QStringLiteral("shop;%1;SQL;sa;wrong;").arg(serverText()));
    w.ShowParamList->setCurrentIndex(1);
    emit w.ShowParamList->activated(1);
    settle();
    QCOMPARE(messageHeads(), QStringList{"无法连接数据源！"});
    QVERIFY(messages()[0].contains("18456"));
    QVERIFY(!w.PageControl1->isEnabled() && !w.PageControl2->isEnabled() && !w.BtnRestoreDB->isEnabled());
    QCOMPARE(w.ListBoxTable->count(), 2);
  }

  void typedTextInTheListIsADamagedRecord() {
    TForm1& w = openWindow();
    w.ShowParamList->setEditText("no such entry");
    emit w.ShowParamList->lineEdit()->returnPressed();
    settle();
    QCOMPARE(desktop_.messages.size(), std::size_t(1));
    QCOMPARE(desktop_.messages[0].caption, QStringLiteral("SQL SERVER 工具"));
    QVERIFY(!w.PageControl1->isEnabled());
  }

  void choosingAServerListsItsDatabases() {
    TForm1& w = openWindow();
    fillDialog(w, "", kPassword);
    w.ComboBoxDB_NM->setEditText("typed");
    w.ComboBoxServer_NMChange();
    settle();
    QVERIFY(items(w.ComboBoxDB_NM).contains("master"));
    QVERIFY(items(w.ComboBoxDB_NM).contains("shop"));
    QCOMPARE(w.ComboBoxDB_NM->currentText(), QStringLiteral("typed"));
    const QStringList before = items(w.ComboBoxDB_NM);
    w.EditPass->setText("wrong");
    w.ComboBoxServer_NMChange();
    settle();
    QCOMPARE(messageHeads(), QStringList{"请设置登陆方式及用户信息！"});
    QCOMPARE(items(w.ComboBoxDB_NM), before);
  }

  void typingAServerNameLogsInOnlyWhenTheNameIsComplete() {
    TForm1& w = openWindow();
    fillDialog(w, "", kPassword);
    w.ComboBoxServer_NM->setEditText("");
    w.ComboBoxServer_NM->setFocus();
    QTest::keyClicks(w.ComboBoxServer_NM, serverText());
    QVERIFY(desktop_.messages.empty());
    QCOMPARE(w.ComboBoxDB_NM->count(), 0);
    QTest::keyClick(w.ComboBoxServer_NM, Qt::Key_Return);
    settle();
    QVERIFY2(desktop_.messages.empty(), qPrintable(messages().join('|')));
    QVERIFY(items(w.ComboBoxDB_NM).contains("shop"));
  }

  void discoveryFillsTheServerListAndListsTheFirstServersDatabases() {
    LoopbackResponder responder(discoveryAnswer("127.0.0.1"));
    TForm1& w = openWindowDiscovering(responder);
    fillDialog(w, "", kPassword);
    w.Button2->click();  // no remembered connection yet: discovery runs first
    settle();
    QCOMPARE(responder.requests(), 1);
    QVERIFY(w.MovePanel1->isVisible());
    QCOMPARE(items(w.ComboBoxServer_NM), QStringList{serverText()});
    QCOMPARE(w.ComboBoxServer_NM->currentText(), serverText());
    QVERIFY(items(w.ComboBoxDB_NM).contains("shop"));
    QCOMPARE(desktop_.waitDepth, 0);
  }

  // A click on 取消 or 测试 right after typing a server name does what it says: leaving the
  // box no longer starts a login whose warning would swallow the click.
  void leavingTheServerBoxNeverSwallowsTheNextClick() {
    TForm1& w = openWindow();
    fillDialog(w, "shop", kPassword);
    w.MovePanel1->show();
    w.ComboBoxServer_NM->setFocus();
    w.ComboBoxServer_NM->setEditText("127.0.0.1,1");
    QTest::mouseClick(w.Button4, Qt::LeftButton);
    settle();
    QCOMPARE(messageHeads(), QStringList{"无法连接数据源！"});  // the test's message, not the server change's
    w.ComboBoxServer_NM->setFocus();
    w.ComboBoxServer_NM->setEditText("127.0.0.2,1");
    QTest::mouseClick(w.Button5, Qt::LeftButton);
    settle();
    QVERIFY(!w.MovePanel1->isVisible());
    QCOMPARE(desktop_.messages.size(), std::size_t(1));
  }

  // The dialogue never touches the live connection: a failed test or a cancelled dialogue
  // leaves it open, and the browser's next click works.
  void aFailedTestLeavesTheLiveConnectionAlone() {
    TForm1& w = openWindow();
    fillDialog(w, "shop", kPassword);
    w.Button3->click();
    settle();
    QVERIFY(w.ADOConnection1.isOpen());
    w.Button2->click();
    settle();
    fillDialog(w, "shop", "wrong");
    w.Button4->click();
    settle();
    w.Button5->click();
    settle();
    QVERIFY(w.ADOConnection1.isOpen());
    desktop_.messages.clear();
    w.PageControl1->setCurrentIndex(1);
    QListWidgetItem* orders = w.ListBoxTable->findItems("orders", Qt::MatchExactly).front();
    QTest::mouseClick(w.ListBoxTable->viewport(), Qt::LeftButton, {}, w.ListBoxTable->visualItemRect(orders).center());
    settle();
    QVERIFY2(desktop_.messages.empty(), qPrintable(messages().join('|')));
    QCOMPARE(w.Edit10->text(), QStringLiteral("orders"));
  }

  void enterInTheBoxesAddsNoEntry() {
    TForm1& w = openWindow();
    fillDialog(w, "", kPassword);
    for (QComboBox* box : {w.ComboBoxServer_NM, w.ComboBoxDB_NM}) {
      box->setFocus();
      const int before = box->count();
      box->setEditText(box == w.ComboBoxDB_NM ? QStringLiteral("typed") : serverText());
      QTest::keyClick(box, Qt::Key_Return);
      settle();
      QCOMPARE(box->count(), box == w.ComboBoxDB_NM ? before : 0);
    }
    QVERIFY(items(w.ComboBoxDB_NM).contains("shop"));
    QVERIFY(!items(w.ComboBoxDB_NM).contains("typed"));
  }

  // A server that reports a name nothing resolves is listed by the address that answered, so
  // that its entry connects as it stands.
  void aDiscoveredEntryConnectsAsItStands() {
    LoopbackResponder responder(discoveryAnswer("SANDBOX"));
    TForm1& w = openWindowDiscovering(responder);
    fillDialog(w, "", kPassword);
    w.Button6->click();
    settle();
    QCOMPARE(items(w.ComboBoxServer_NM), QStringList{serverText()});
    QVERIFY2(desktop_.messages.empty(), qPrintable(messages().join('|')));
    QVERIFY(items(w.ComboBoxDB_NM).contains("shop"));
  }

  // Where Windows authentication is missing the dialogue starts on SQL login, and the first
  // "..." press shows the panel without a warning: no login is tried without a user name.
  void theFirstPressShowsThePanelWithoutAWarning() {
    LoopbackResponder responder(discoveryAnswer("SANDBOX"));
    TForm1& w = openWindowDiscovering(responder);
    QVERIFY(w.RadioButton2->isChecked());
    w.Button2->click();
    settle();
    QVERIFY(w.MovePanel1->isVisible());
    QVERIFY2(desktop_.messages.empty(), qPrintable(messages().join('|')));
    QCOMPARE(w.ComboBoxServer_NM->currentText(), serverText());
  }

  // Table-valued functions are listed beside scalar ones; F5 on a list lists the objects again.
  void functionsOfBothKindsAndARefreshOfTheLists() {
    TForm1& w = openWindow();
    fillDialog(w, "shop", kPassword);
    w.Button3->click();
    settle();
    QCOMPARE(items(w.ListBoxFunction), (QStringList{"f_depts", "f_scalar"}));
    runBatches(*server_, "shop", {"create table Zeta (z int)", "create table alpha (a int)"});
    w.ListBoxTable->setFocus();
    QTest::keyClick(w.ListBoxTable, Qt::Key_F5);
    settle();
    // Sorted as the server's collation sorts: letter case does not count.
    QCOMPARE(items(w.ListBoxTable), (QStringList{"alpha", "orders", "t_dept", "Zeta"}));
    QCOMPARE(w.StatusBar1->panelText(1), QStringLiteral("4"));
    runBatches(*server_, "shop", {"drop table Zeta", "drop table alpha"});
  }

  void anUnreadableDiscoverySettingIsReportedAndTheWindowOpens() {
    qputenv("MAKEDDL_DISCOVERY_TARGETS", "127.0.0.1:99999");
    TForm1& w = WindowTest::openWindow();
    qunsetenv("MAKEDDL_DISCOVERY_TARGETS");
    QVERIFY(w.isVisible());
    QCOMPARE(desktop_.messages.size(), std::size_t(1));
    QVERIFY2(desktop_.messages[0].text.contains("99999"), qPrintable(desktop_.messages[0].text));
  }
};

QTEST_MAIN(TstTForm1Connection)
#include "tst_tform1_connection.moc"
