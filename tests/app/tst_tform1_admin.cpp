// Backup and restore from the window, offscreen, against the sandbox server, which writes and
// reads the backup files on this machine.

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "app/data_set_model.h"
#include "app/settings_store.h"
#include "connection/connection_record.h"
#include "sandbox_session.h"
#include "window_test.h"

using namespace makeddl::app;
using makeddl::testing::connectAsSa;
using makeddl::testing::runBatches;
using sandbox::testing::SandboxProcess;

namespace {
const QString kBackupDone = QStringLiteral("备份成功！[ 文件：");
const QString kBackupFailed = QStringLiteral("备份错误，路径不正确或者数据据非独占使用！");
const QString kRestoreDone = QStringLiteral("还原成功！");
const QString kRestoreFailed = QStringLiteral("还原错误，路径不正确或者数据据非独占使用！");
}  // namespace

class TstTForm1Admin : public makeddl::app::testing::WindowTest {
  Q_OBJECT

 private:
  std::unique_ptr<SandboxProcess> server_;
  std::unique_ptr<QTemporaryDir> backups_;

  // The window after activating a remembered connection to the shop database, backing up
  // into a folder of this test.
  TForm1& openShopWindow() {
    TForm1& w = openWindow();
    const auto login = makeddl::testing::sandboxSaLogin(*server_, "shop");
    w.ShowParamList->addItem(QString::fromStdString(makeddl::connection::connectionLabel(login)));
    w.HideParamList->addItem(QString::fromStdString(makeddl::connection::connectionRecord(login)));
    w.ShowParamList->setCurrentIndex(0);
    w.ShowParamListChange();
    settle();
    w.Edit14->setText(backups_->path());
    desktop_.messages.clear();
    return w;
  }

  static long long scalar(TForm1& w, const std::string& query) {
    makeddl::connection::DataSet value(w.ADOConnection1, "check");
    value.query(query);
    return value.field(0).asInteger();
  }

  static std::string currentDatabase(TForm1& w) {
    makeddl::connection::DataSet value(w.ADOConnection1, "check");
    value.query("select db_name()");
    return value.field(0).asText();
  }

  // The user's pick of the first file of the restore list.
  static void chooseFirstFile(TForm1& w) {
    w.ListBox2->setCurrentRow(0);
    w.ListBox2->item(0)->setSelected(true);
  }

  // Restores from the chosen file. A session that has just closed holds the database for a
  // moment longer, so a refusal for that (3101) is tried again.
  void restoreOnceTheDatabaseIsFree(TForm1& w) {
    for (int attempt = 0; attempt < 100; ++attempt) {
      w.Button15->click();
      settle();
      if (!messages().last().contains(QStringLiteral("消息 3101"))) return;
      QTest::qWait(20);
    }
  }

  QStringList backupFiles() const { return QDir(backups_->path()).entryList({"*.dat"}, QDir::Files, QDir::Name); }

 private slots:
  void initTestCase() {
    server_ = std::make_unique<SandboxProcess>("Admin;1");
    runBatches(*server_, "master", {"create database shop"});
    runBatches(*server_, "shop", {"create table items (id int not null primary key, name nvarchar(10) null)",
                                  "insert into items values (1, N'一')"});
  }
  void cleanupTestCase() { server_.reset(); }
  void init() {
    beginTest();
    backups_ = std::make_unique<QTemporaryDir>();
  }
  void cleanup() {
    endTest();
    backups_.reset();
  }

  void backupWritesADatedFileAndKeepsTheDatabaseCurrent() {
    TForm1& w = openShopWindow();
    w.BtnBackupDB->click();
    settle();
    QCOMPARE(desktop_.messages.size(), std::size_t(1));
    const QString text = desktop_.messages[0].text;
    QVERIFY2(text.startsWith(kBackupDone) && text.endsWith(".dat ]"), qPrintable(text));
    QCOMPARE(desktop_.messages[0].icon, MessageIcon::Warning);
    QCOMPARE(backupFiles().size(), 1);
    QVERIFY(QRegularExpression("^\\d{8}_\\d{4}\\.dat$").match(backupFiles()[0]).hasMatch());
    QVERIFY(text.contains(backupFiles()[0]));
    QCOMPARE(currentDatabase(w), std::string("shop"));
    QCOMPARE(desktop_.waitDepth, 0);
  }

  void aSecondBackupInTheSameMinuteGetsItsOwnFile() {
    TForm1& w = openShopWindow();
    w.BtnBackupDB->click();
    settle();
    w.BtnBackupDB->click();
    settle();
    QCOMPARE(messages().filter(kBackupDone).size(), 2);
    QCOMPARE(backupFiles().size(), 2);
  }

  void aBackupToAMissingFolderFails() {
    TForm1& w = openShopWindow();
    w.Edit14->setText(backups_->path() + "/missing");
    w.BtnBackupDB->click();
    settle();
    QCOMPARE(messageHeads(), QStringList{kBackupFailed});
    QVERIFY2(messages()[0].contains("missing"), qPrintable(messages()[0]));  // the server names the path
    QCOMPARE(desktop_.messages[0].icon, MessageIcon::Error);
    QCOMPARE(currentDatabase(w), std::string("shop"));
    QCOMPARE(desktop_.waitDepth, 0);
  }

  void theRestoreListShowsTheBackupFilesOfTheFolder() {
    TForm1& w = openShopWindow();
    for (const char* name : {"b.DAT", "a.dat", "c.dat.bak", "d.txt"}) {
      QFile file(QDir(backups_->path()).filePath(name));
      QVERIFY(file.open(QIODevice::WriteOnly));
    }
    QVERIFY(QDir(backups_->path()).mkdir("sub.dat"));
    w.BtnRestoreDB->click();
    settle();
    QVERIFY(w.MovePanel1->isVisible());
    QCOMPARE(w.PageControl3->currentWidget(), w.TabSheet9);
    QStringList names;
    for (int i = 0; i < w.ListBox2->count(); ++i) names << w.ListBox2->item(i)->text();
    names.sort();
    QCOMPARE(names, (QStringList{"a.dat", "b.DAT"}));
    QVERIFY(w.ListBox2->selectedItems().isEmpty());
    w.Edit14->setText(backups_->path() + "/missing");
    w.BtnRestoreDB->click();
    settle();
    QCOMPARE(w.ListBox2->count(), 0);
    QVERIFY(desktop_.messages.empty());
    w.Button17->click();
    settle();
    QVERIFY(!w.MovePanel1->isVisible());
  }

  void restoreBringsBackTheBackedUpRows() {
    TForm1& w = openShopWindow();
    w.BtnBackupDB->click();
    settle();
    runBatches(*server_, "shop", {"insert into items values (2, N'二')"});
    QCOMPARE(scalar(w, "select count(*) from items"), 2);
    w.BtnRestoreDB->click();
    settle();
    w.Button15->click();  // nothing chosen
    settle();
    QCOMPARE(messages().last(), kRestoreFailed);
    QVERIFY(w.MovePanel1->isVisible());
    chooseFirstFile(w);
    restoreOnceTheDatabaseIsFree(w);  // the session of runBatches ends a moment after it closed
    QCOMPARE(messages().last(), kRestoreDone);
    QVERIFY(!w.MovePanel1->isVisible());
    QCOMPARE(currentDatabase(w), std::string("shop"));
    QCOMPARE(scalar(w, "select count(*) from items"), 1);
  }

  void restoreFailsWhileAnotherSessionUsesTheDatabase() {
    TForm1& w = openShopWindow();
    w.BtnBackupDB->click();
    settle();
    makeddl::connection::Connection other;
    connectAsSa(other, *server_, "shop");
    w.BtnRestoreDB->click();
    settle();
    chooseFirstFile(w);
    w.Button15->click();
    settle();
    QCOMPARE(messageHeads().last(), kRestoreFailed);
    QVERIFY2(messages().last().contains("消息 3101"), qPrintable(messages().last()));
    QVERIFY(w.MovePanel1->isVisible());
    QCOMPARE(desktop_.waitDepth, 0);
    other.close();  // the server ends that session a moment later; then the database is free
    restoreOnceTheDatabaseIsFree(w);
    QCOMPARE(messages().last(), kRestoreDone);
  }

  void aChosenBackupFolderIsStoredAtOnce() {
    TForm1& w = openShopWindow();
    desktop_.folderAnswers = {"", "/srv/backups"};
    w.Button16->click();  // cancelled
    settle();
    QCOMPARE(w.Edit14->text(), backups_->path());
    w.Button16->click();
    settle();
    QCOMPARE(desktop_.folderDialogTitle, QStringLiteral("选择备份路径"));
    QCOMPARE(desktop_.folderDialogStart, backups_->path());
    QCOMPARE(w.Edit14->text(), QStringLiteral("/srv/backups"));
    QCOMPARE(folder_->storedValue("BackupPath").toString(), QStringLiteral("/srv/backups"));
  }
};

QTEST_MAIN(TstTForm1Admin)
#include "tst_tform1_admin.moc"
