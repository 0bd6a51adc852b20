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

// Backup and restore run in master. Afterwards the connection goes back to the database, so
// that the browser's next commands do not run against master.
void TForm1::runInMaster(const std::string& statement) {
  connection::DataSet& query = HelpQuery01->dataSet();
  query.close();
  query.clearSql();
  query.addLine(statement);
  try {
    query.execute();
  } catch (...) {
    query.clearSql();
    query.addLine(admin::useStatement(currentDatabaseName_));
    try {
      query.execute();
    } catch (const std::exception&) {
      // The failure of the statement itself is the one to report.
    }
    throw;
  }
  query.clearSql();
  query.addLine(admin::useStatement(currentDatabaseName_));
  query.execute();
}

void TForm1::BtnBackupDBClick() {
  try {
    WaitCursor wait(desktop_);
    const std::string folder = Edit14->text().toStdString();
    const std::string fileName = admin::newBackupFileName(folder, admin::localTimeNow());
    runInMaster(admin::backupStatement(currentDatabaseName_, admin::folderWithDelimiter(folder) + fileName));
    desktop_.notify(QStringLiteral("备份成功！[ 文件：%1 ]").arg(QString::fromStdString(fileName)), MessageIcon::Warning);
  } catch (const std::exception&) {
    desktop_.notify(QStringLiteral("备份错误，路径不正确或者数据据非独占使用！"), MessageIcon::Error);
  }
}

void TForm1::BtnRestoreDBClick() {
  ListBox2->clear();
  for (const std::string& path : admin::FindFiles(Edit14->text().toStdString(), "*.dat"))
    ListBox2->addItem(QString::fromStdString(admin::fileNameOf(path)));
  showFloatingPage(kRestoreFilePage);
}

void TForm1::Button15Click() {
  try {
    WaitCursor wait(desktop_);
    const QListWidgetItem* chosen = ListBox2->currentItem();
    if (!chosen || !chosen->isSelected()) throw std::out_of_range("no backup file is chosen");
    const std::string path = admin::folderWithDelimiter(Edit14->text().toStdString()) + chosen->text().toStdString();
    runInMaster(admin::restoreStatement(currentDatabaseName_, path));
    desktop_.notify(QStringLiteral("还原成功！"), MessageIcon::Warning);
    MovePanel1->hide();
  } catch (const std::exception&) {
    desktop_.notify(QStringLiteral("还原错误，路径不正确或者数据据非独占使用！"), MessageIcon::Error);
  }
}

void TForm1::Button17Click() { MovePanel1->hide(); }

void TForm1::Button16Click() {
  const std::optional<QString> folder = desktop_.browseForFolder(QStringLiteral("选择备份路径"), Edit14->text());
  if (!folder) return;
  settingsStore_->writeBackupPath(*folder);
  Edit14->setText(*folder);
}

}  // namespace makeddl::app
