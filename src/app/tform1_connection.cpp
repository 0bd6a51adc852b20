// TForm1: the connection test, server and database discovery, remembered connections and the
// activation that makes a connection current.

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTabWidget>

#include "app/data_set_model.h"
#include "app/desktop.h"
#include "app/settings_store.h"
#include "app/tform1.h"
#include "common/strings.h"
#include "common/system_info.h"
#include "connection/connect.h"
#include "connection/connection_record.h"
#include "connection/database_properties.h"

namespace makeddl::app {

namespace {

const QString kCannotConnect = QStringLiteral("无法连接数据源！");

std::string text(const QComboBox* box) { return box->currentText().toStdString(); }
std::string text(const QLineEdit* edit) { return edit->text().toStdString(); }

// Empties a drop-down list but keeps the text shown in its box.
void clearEntries(QComboBox* box) {
  const QSignalBlocker blocker(box);
  const QString shown = box->currentText();
  box->clear();
  box->setEditText(shown);
}

void setBaseColour(QLineEdit* edit, const QColor& colour) {
  QPalette palette = edit->palette();
  palette.setColor(QPalette::Base, colour);
  edit->setPalette(palette);
}

char localeDecimalSeparator() { return QLocale().decimalPoint().at(0).toLatin1(); }

// Qt gives no time separator of its own: take it from the locale's short time format.
char localeTimeSeparator() { return QLocale().timeFormat(QLocale::ShortFormat).contains('.') ? '.' : ':'; }

QString utf8(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

void TForm1::connectConnectionCommands() {
  connectCommand(Button4, &TForm1::Button4Click);
  connectCommand(Button6, &TForm1::Button6Click);
  connectCommand(Button3, &TForm1::Button3Click);
  connectCommand(RadioButton1, &TForm1::RadioButton1Click);
  connectCommand(RadioButton2, &TForm1::RadioButton2Click);
  // The server box lists the databases when the user picks a server, presses Enter or
  // leaves the box; not on every keystroke, which would try a login per character.
  connect(ComboBoxServer_NM, &QComboBox::activated, this, [this] { runCommand([this] { ComboBoxServer_NMChange(); }); });
  connect(ComboBoxServer_NM->lineEdit(), &QLineEdit::editingFinished, this,
          [this] { runCommand([this] { serverTextSettled(); }); });
  // The same for the connection list: a pick activates; typed text activates on Enter.
  connect(ShowParamList, &QComboBox::activated, this, [this] { runCommand([this] { ShowParamListChange(); }); });
  connect(ShowParamList->lineEdit(), &QLineEdit::returnPressed, this,
          [this] { runCommand([this] { ShowParamListChange(); }); });
}

bool TForm1::LinkTest(const std::string& database, const std::string& server, const std::string& user,
                      const std::string& password, bool windowsLogin) {
  try {
    connection::connectTo(ADOConnection1, {database, server, user, password, windowsLogin}, driverSettings);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

connection::LoginParameters TForm1::dialogLogin(const std::string& blankCredential) const {
  const bool windowsLogin = RadioButton1->isChecked();
  return {text(ComboBoxDB_NM), text(ComboBoxServer_NM), windowsLogin ? blankCredential : text(EditUser_NM),
          windowsLogin ? blankCredential : text(EditPass), windowsLogin};
}

void TForm1::setLoginFieldsEnabled(bool enabled) {
  for (QWidget* widget : std::initializer_list<QWidget*>{Label4, Label5, EditUser_NM, EditPass})
    widget->setEnabled(enabled);
}

void TForm1::RadioButton1Click() {
  setLoginFieldsEnabled(false);
  setBaseColour(EditUser_NM, palette().color(QPalette::Window));
  setBaseColour(EditPass, palette().color(QPalette::Window));
  EditUser_NM->clear();
  EditPass->clear();
}

void TForm1::RadioButton2Click() {
  setLoginFieldsEnabled(true);
  setBaseColour(EditUser_NM, Qt::white);
  setBaseColour(EditPass, Qt::white);
}

void TForm1::Button4Click() {
  const connection::LoginParameters login = dialogLogin("");
  if (LinkTest(login.database, login.server, login.user, login.password, login.windowsLogin))
    desktop_.notify(QStringLiteral("连接正确！"), MessageIcon::Warning);
  else
    desktop_.notify(kCannotConnect, MessageIcon::Error);
}

QStringList TForm1::GetServerList() {
  QStringList servers;
  const std::string computerName = LocalComputerName();
  for (const connection::DiscoveredInstance& instance : connection::discoverInstances(discoverySettings)) {
    const QString entry = QString::fromStdString(connection::serverListEntry(instance, computerName));
    if (!servers.contains(entry)) servers << entry;
  }
  return servers;
}

void TForm1::Button6Click() {
  std::optional<std::string> discoveryError;
  {
    WaitCursor wait(desktop_);
    try {
      clearEntries(ComboBoxServer_NM);
      const QStringList servers = GetServerList();
      const QSignalBlocker blocker(ComboBoxServer_NM);
      ComboBoxServer_NM->addItems(servers);
      if (!servers.isEmpty()) ComboBoxServer_NM->setCurrentIndex(0);
    } catch (const std::exception& error) {
      discoveryError = error.what();
    }
    ComboBoxServer_NMChange();
  }
  if (discoveryError) desktop_.reportError(QString::fromStdString(*discoveryError));
}

void TForm1::serverTextSettled() {
  if (ComboBoxServer_NM->currentText() != lastServerText_) ComboBoxServer_NMChange();
}

void TForm1::ComboBoxServer_NMChange() {
  lastServerText_ = ComboBoxServer_NM->currentText();
  const connection::LoginParameters login = dialogLogin("");
  if (!LinkTest("master", login.server, login.user, login.password, login.windowsLogin)) {
    desktop_.notify(QStringLiteral("请设置登陆方式及用户信息！"), MessageIcon::Warning);
    return;
  }
  TempQuery->dataSet().query("select name from master.dbo.sysdatabases");
  clearEntries(ComboBoxDB_NM);
  const QSignalBlocker blocker(ComboBoxDB_NM);
  const QString shown = ComboBoxDB_NM->currentText();
  ComboBoxDB_NM->addItems(RowToStrings());
  ComboBoxDB_NM->setCurrentIndex(-1);
  ComboBoxDB_NM->setEditText(shown);
}

QStringList TForm1::RowToStrings() {
  QStringList strings;
  for (const std::string& text : connection::firstColumnTexts(TempQuery->dataSet())) strings << QString::fromStdString(text);
  return strings;
}

void TForm1::Button3Click() {
  const connection::LoginParameters login = dialogLogin(" ");
  if (!LinkTest(login.database, login.server, login.user, login.password, login.windowsLogin)) {
    desktop_.notify(kCannotConnect, MessageIcon::Error);
    return;
  }
  MovePanel1->hide();
  const QString record = QString::fromStdString(connection::connectionRecord(login));
  const int known = HideParamList->findText(record, Qt::MatchFixedString);  // whole string, any letter case
  const QSignalBlocker blocker(ShowParamList);
  if (known >= 0) {
    ShowParamList->setCurrentIndex(known);
  } else {
    const QString label = QString::fromStdString(connection::connectionLabel(login));
    ShowParamList->addItem(label);
    HideParamList->addItem(record);
    ShowParamList->setCurrentIndex(ShowParamList->count() - 1);
    settingsStore_->rememberConnection({label, record});
  }
  ShowParamListChange();
}

void TForm1::ShowParamListChange() {
  // Typed text that is no entry's label selects no entry, and so no record.
  const int selected = ShowParamList->currentIndex();
  const bool entryShown = selected >= 0 && ShowParamList->currentText() == ShowParamList->itemText(selected);
  const std::string record = entryShown ? HideParamList->itemText(selected).toStdString() : std::string();
  const connection::LoginParameters login = connection::parseConnectionRecord(record);
  if (!LinkTest(login.database, login.server, login.user, login.password, login.windowsLogin)) {
    activationFailed();
    return;
  }
  WaitCursor wait(desktop_);
  for (QWidget* control : std::initializer_list<QWidget*>{BtnBackupDB, BtnRestoreDB, PageControl1, PageControl2})
    control->setEnabled(true);
  currentDatabaseName_ = login.database;
  showDatabaseProperties();
  fillObjectLists();
  PageControl2Change();
  Button13Click();
}

void TForm1::activationFailed() {
  for (QWidget* control : std::initializer_list<QWidget*>{BtnBackupDB, BtnRestoreDB, PageControl1, PageControl2})
    control->setEnabled(false);
  desktop_.notify(kCannotConnect, MessageIcon::Error);
}

void TForm1::showDatabaseProperties() {
  connection::DataSet& query = TempQuery->dataSet();
  query.query("sp_helpfile");
  query.first();
  Edit1->setText(utf8(connection::fileDescription(query)));
  query.next();  // a single file stays on its row, and the log field repeats it
  Edit2->setText(utf8(connection::fileDescription(query)));

  query.query("select sum(size)*8 as DB_Size from sysfiles");
  Edit3->setText(utf8(connection::databaseSizeText(query.field(0).asInteger(), localeDecimalSeparator())));

  query.query("select * from master.dbo.sysdatabases where name=db_name()");
  Edit4->setText(utf8(connection::creationDateText(query.fieldByName("crDate").asDateTime(), localeTimeSeparator())));
}

void TForm1::fillObjectLists() {
  const std::pair<const char*, QListWidget*> lists[] = {
      {"U", ListBoxTable}, {"V", ListBoxView}, {"P", ListBoxStore_Prod}, {"FN", ListBoxFunction}};
  for (const auto& [kind, list] : lists) {
    TempQuery->dataSet().query("select name from sysobjects where type=" + quoted(kind) + " order by Name");
    list->clear();
    list->addItems(RowToStrings());
  }
}

}  // namespace makeddl::app
