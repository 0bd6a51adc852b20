// TForm1: backup of the current database to a dated file in the backup folder, and its
// restore from a file of that folder.

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "admin/backup.h"
#include "app/data_set_model.h"
#include "app/desktop.h"
#include "app/settings_store.h"
#include "app/tform1.h"
#include "connection/data_access.h"

namespace makeddl::app {

namespace {
constexpr int kRestoreFilePage = 2;
}

void TForm1::connectAdminCommands() {
  connectCommand(BtnBackupDB, &TForm1::BtnBackupDBClick);
  connectCommand(BtnRestoreDB, &TForm1::BtnRestoreDBClick);
  connectCommand(Button15, &TForm1::Button15Click);
  connectCommand(Button17, &TForm1::Button17Click);
  connectCommand(Button16, &TForm1::Button16Click);
}

namespace {

const QString kBackupFailed = QStringLiteral("备份错误，路径不正确或者数据据非独占使用！");
const QString kRestoreFailed = QStringLiteral("还原错误，路径不正确或者数据据非独占使用！");

// Backup and restore run in master. Afterwards the connection goes back to the database, so
// that the browser's next commands do not run against master. On the worker.
void runInMaster(connection::Connection& connection, const std::string& statement, const std::string& database) {
  connection::DataSet query(connection, "HelpQuery01");
  query.addLine(statement);
  auto backToDatabase = [&query, &database] {
    query.clearSql();
    query.addLine(admin::useStatement(database));
    query.execute();
  };
  try {
    query.execute();
  } catch (...) {
    try {
      backToDatabase();
    } catch (const std::exception&) {
      // The failure of the statement itself is the one to report.
    }
    throw;
  }
  backToDatabase();
}

}  // namespace

void TForm1::BtnBackupDBClick() {
  std::string fileName, statement;
  try {
    const std::string folder = Edit14->text().toStdString();
    fileName = admin::newBackupFileName(folder, admin::localTimeNow());
    statement = admin::backupStatement(currentDatabaseName_, admin::folderWithDelimiter(folder) + fileName);
  } catch (const std::exception& error) {
    desktop_.notify(withReason(kBackupFailed, QString::fromUtf8(error.what())), MessageIcon::Error);
    return;
  }
  runTask({.work = [this, statement, fileName, database = currentDatabaseName_](TaskContext& task) -> Task::GuiStep {
             runInMaster(task.connection(), statement, database);
             return [this, fileName] {
               desktop_.notify(QStringLiteral("备份成功！[ 文件：%1 ]").arg(QString::fromStdString(fileName)),
                               MessageIcon::Warning);
             };
           },
           .failed = [this](const QString& reason) { desktop_.notify(withReason(kBackupFailed, reason), MessageIcon::Error); },
           .waitCursor = true});
}

void TForm1::BtnRestoreDBClick() {
  ListBox2->clear();
  for (const std::string& path : admin::FindFiles(Edit14->text().toStdString(), "*.dat"))
    ListBox2->addItem(QString::fromStdString(admin::fileNameOf(path)));
  showFloatingPage(kRestoreFilePage);
}

// A restore that is stopped may leave the database half restored: the user is asked first.
void TForm1::Button15Click() {
  const QListWidgetItem* chosen = ListBox2->currentItem();
  if (!chosen || !chosen->isSelected()) {
    desktop_.notify(kRestoreFailed, MessageIcon::Error);
    return;
  }
  const std::string path = admin::folderWithDelimiter(Edit14->text().toStdString()) + chosen->text().toStdString();
  const std::string statement = admin::restoreStatement(currentDatabaseName_, path);
  runTask({.work = [this, statement, database = currentDatabaseName_](TaskContext& task) -> Task::GuiStep {
             runInMaster(task.connection(), statement, database);
             return [this] {
               desktop_.notify(QStringLiteral("还原成功！"), MessageIcon::Warning);
               MovePanel1->hide();
             };
           },
           .failed = [this](const QString& reason) { desktop_.notify(withReason(kRestoreFailed, reason), MessageIcon::Error); },
           .waitCursor = true,
           .stopQuestion = QStringLiteral("停止还原可能使数据库处于未完成还原的状态。仍要停止吗？")});
}

void TForm1::Button17Click() { MovePanel1->hide(); }

void TForm1::Button16Click() {
  const std::optional<QString> folder = desktop_.browseForFolder(QStringLiteral("选择备份路径"), Edit14->text());
  if (!folder) return;
  settingsStore_->writeBackupPath(*folder);
  Edit14->setText(*folder);
}

}  // namespace makeddl::app
