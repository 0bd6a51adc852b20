// TForm1: the connection test, server and database discovery, remembered connections and the
// activation that makes a connection current.
//
// The connection dialogue tests and lists databases on a connection of its own, so that
// nothing done in the dialogue touches the live connection; only an activation replaces it.

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTabWidget>

#include "admin/online_users.h"
#include "app/data_set_model.h"
#include "app/desktop.h"
#include "app/object_list.h"
#include "app/settings_store.h"
#include "app/status_bar.h"
#include "app/tform1.h"
#include "catalog/object_queries.h"
#include "common/strings.h"
#include "common/system_info.h"
#include "connection/connect.h"
#include "connection/connection_record.h"
#include "connection/database_properties.h"
#include "scripts/create_script.h"
#include "scripts/schema_reader.h"

namespace makeddl::app {

namespace {

const QString kCannotConnect = QStringLiteral("无法连接数据源！");
constexpr int kServerVersionPanel = 6;

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

QString withReason(const QString& message, const std::string& reason) {
  return app::withReason(message, utf8(reason));
}

QStringList qStrings(const std::vector<std::string>& texts) {
  QStringList strings;
  for (const std::string& text : texts) strings << utf8(text);
  return strings;
}

}  // namespace

// What an activation reads from the server, in order; a failure ends the reading and leaves
// what was read before it.
struct TForm1::Activation {
  std::vector<std::string> files;  // the primary file, and the log file
  std::optional<long long> kilobytes;
  std::optional<connection::DateTime> created;
  std::vector<std::vector<ObjectName>> objectLists;
  std::optional<connection::RowSet> onlineUsers;
  std::optional<std::string> error;
  catalog::ServerVersion version;
};

void TForm1::connectConnectionCommands() {
  connectCommand(Button4, &TForm1::Button4Click);
  connectCommand(Button6, &TForm1::Button6Click);
  connectCommand(Button3, &TForm1::Button3Click);
  connectCommand(RadioButton1, &TForm1::RadioButton1Click);
  connectCommand(RadioButton2, &TForm1::RadioButton2Click);
  // The server box lists the databases when the user picks a server or presses Enter; not on
  // every keystroke, which would try a login per character, and not when the box loses the
  // focus, whose warning would swallow the click on 取消 or 测试 that took it.
  connect(ComboBoxServer_NM, &QComboBox::activated, this, [this] { runCommand([this] { ComboBoxServer_NMChange(); }); });
  connect(ComboBoxServer_NM->lineEdit(), &QLineEdit::returnPressed, this,
          [this] { runCommand([this] { serverTextSettled(); }); });
  // The same for the connection list: a pick activates; typed text activates on Enter.
  connect(ShowParamList, &QComboBox::activated, this, [this] { runCommand([this] { ShowParamListChange(); }); });
  connect(ShowParamList->lineEdit(), &QLineEdit::returnPressed, this,
          [this] { runCommand([this] { ShowParamListChange(); }); });
}

bool TForm1::LinkTest(connection::Connection& connection, const connection::LoginParameters& login,
                      const connection::DriverSettings& settings, std::string& reason) {
  try {
    connection::connectTo(connection, login, settings);
    return true;
  } catch (const std::exception& error) {
    reason = error.what();
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
  runTask({.work = [this, login, settings = driverSettings](TaskContext&) -> Task::GuiStep {
    std::string reason;
    const bool connected = LinkTest(dialogueConnection_, login, settings, reason);
    dialogueConnection_.close();
    return [this, connected, reason] {
      if (connected)
        desktop_.notify(QStringLiteral("连接正确！"), MessageIcon::Warning);
      else
        desktop_.notify(withReason(kCannotConnect, reason), MessageIcon::Error);
    };
  }});
}

QStringList TForm1::GetServerList(const connection::DiscoverySettings& settings) {
  QStringList servers;
  const std::string computerName = LocalComputerName();
  for (const connection::DiscoveredInstance& instance : connection::discoverInstances(settings)) {
    const QString entry = utf8(connection::connectableEntry(instance, computerName));
    if (!servers.contains(entry)) servers << entry;
  }
  return servers;
}

void TForm1::Button6Click() { discoverServers({}); }

// Fills the server list, then lists the databases of the first server found (or of the text
// in the box); an error of the discovery is reported after that, and then `then` runs.
void TForm1::discoverServers(std::function<void()> then) {
  clearEntries(ComboBoxServer_NM);
  runTask({.work = [this, settings = discoverySettings, then](TaskContext&) -> Task::GuiStep {
             QStringList servers;
             std::optional<QString> discoveryError;
             try {
               servers = GetServerList(settings);
             } catch (const std::exception& error) {
               discoveryError = QString::fromUtf8(error.what());
             }
             return [this, servers, discoveryError, then] {
               {
                 const QSignalBlocker blocker(ComboBoxServer_NM);
                 ComboBoxServer_NM->addItems(servers);
                 if (!servers.isEmpty()) ComboBoxServer_NM->setCurrentIndex(0);
               }
               changeServer([this, discoveryError, then] {
                 if (then) then();
                 if (discoveryError) desktop_.reportError(*discoveryError);
               });
             };
           },
           .waitCursor = true});
}

void TForm1::serverTextSettled() {
  if (ComboBoxServer_NM->currentText() != lastServerText_) ComboBoxServer_NMChange();
}

void TForm1::ComboBoxServer_NMChange() { changeServer({}); }

// Logs in to the server's master database with the dialogue's login and lists its databases;
// `then` runs when that has ended, whatever the outcome. An SQL login without a user name
// cannot succeed, so none is tried and no warning is shown: the user has yet to fill it in.
void TForm1::changeServer(std::function<void()> then) {
  lastServerText_ = ComboBoxServer_NM->currentText();
  connection::LoginParameters login = dialogLogin("");
  login.database = "master";
  if (!login.windowsLogin && trimmed(login.user).empty()) {
    if (then) then();
    return;
  }
  runTask({.work = [this, login, settings = driverSettings, then](TaskContext&) -> Task::GuiStep {
             std::string reason;
             if (!LinkTest(dialogueConnection_, login, settings, reason))
               return [this, reason, then] {
                 desktop_.notify(withReason(QStringLiteral("请设置登陆方式及用户信息！"), reason), MessageIcon::Warning);
                 if (then) then();
               };
             connection::DataSet databases(dialogueConnection_, "TempQuery");
             std::vector<std::string> names;
             try {
               databases.query("select name from master.dbo.sysdatabases");
               names = connection::firstColumnTexts(databases);
             } catch (...) {
               dialogueConnection_.close();
               throw;
             }
             dialogueConnection_.close();
             return [this, names, then] {
               showDatabaseList(qStrings(names));
               if (then) then();
             };
           },
           .failed =
               [this, then](const QString& reason) {
                 desktop_.reportError(reason);
                 if (then) then();
               }});
}

// The database list is replaced; the box keeps the database text it had, none selected.
void TForm1::showDatabaseList(const QStringList& names) {
  clearEntries(ComboBoxDB_NM);
  const QSignalBlocker blocker(ComboBoxDB_NM);
  const QString shown = ComboBoxDB_NM->currentText();
  ComboBoxDB_NM->addItems(names);
  ComboBoxDB_NM->setCurrentIndex(-1);
  ComboBoxDB_NM->setEditText(shown);
}

void TForm1::Button3Click() {
  const connection::LoginParameters login = dialogLogin(" ");
  runTask({.work = [this, login, settings = driverSettings](TaskContext&) -> Task::GuiStep {
    std::string reason;
    const bool connected = LinkTest(dialogueConnection_, login, settings, reason);
    dialogueConnection_.close();
    return [this, connected, reason, login] {
      if (connected)
        confirmConnection(login);
      else
        desktop_.notify(withReason(kCannotConnect, reason), MessageIcon::Error);
    };
  }});
}

// Remembers the confirmed connection when it is new, selects its entry and activates it.
void TForm1::confirmConnection(const connection::LoginParameters& login) {
  MovePanel1->hide();
  const QString record = utf8(connection::connectionRecord(login));
  const int known = HideParamList->findText(record, Qt::MatchFixedString);  // whole string, any letter case
  const QSignalBlocker blocker(ShowParamList);
  if (known >= 0) {
    ShowParamList->setCurrentIndex(known);
  } else {
    const QString label = utf8(connection::connectionLabel(login));
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
  runTask({.work = [this, login, settings = driverSettings](TaskContext& task) -> Task::GuiStep {
             std::string reason;
             if (!LinkTest(task.connection(), login, settings, reason))
               return [this, reason] { activationFailed(reason); };
             auto activation = std::make_shared<Activation>(readActivation(task.connection()));
             return [this, activation, database = login.database] { showActivation(*activation, database); };
           },
           .waitCursor = true});
}

void TForm1::setConnectionControlsEnabled(bool enabled) {
  for (QWidget* control : std::initializer_list<QWidget*>{BtnBackupDB, BtnRestoreDB, PageControl1, PageControl2})
    control->setEnabled(enabled);
}

void TForm1::activationFailed(const std::string& reason) {
  setConnectionControlsEnabled(false);
  noteFailure(utf8(reason));
  desktop_.notify(withReason(kCannotConnect, reason), MessageIcon::Error);
}

// On the worker: the database's files, size and creation date, the four object lists and the
// processes connected to the server.
TForm1::Activation TForm1::readActivation(connection::Connection& connection) {
  Activation read;
  connection::DataSet query(connection, "TempQuery");
  try {
    read.version = scripts::readServerVersion(query);
    query.query("sp_helpfile");
    query.first();
    read.files.push_back(connection::fileDescription(query));
    query.next();  // a single file stays on its row, and the log field repeats it
    read.files.push_back(connection::fileDescription(query));
    query.query("select sum(size)*8 as DB_Size from sysfiles");
    read.kilobytes = query.field(0).asInteger();
    query.query("select * from master.dbo.sysdatabases where name=db_name()");
    read.created = query.fieldByName("crDate").asDateTime();
    catalog::readObjectLists(query, read.version, read.objectLists);
    query.query(admin::onlineUsersQuery());
    read.onlineUsers = query.takeRows();
  } catch (const connection::DatabaseError& error) {
    read.error = error.what();
  }
  return read;
}

// Writes what the activation read; when it stopped early, the rest keeps its old contents and
// the error is reported instead of the activated notification.
void TForm1::showActivation(Activation& read, const std::string& database) {
  setConnectionControlsEnabled(true);
  currentDatabaseName_ = database;
  useServerVersion(read.version);
  QLineEdit* fileFields[] = {Edit1, Edit2};
  for (std::size_t i = 0; i < read.files.size(); ++i) fileFields[i]->setText(utf8(read.files[i]));
  if (read.kilobytes) Edit3->setText(utf8(connection::databaseSizeText(*read.kilobytes, localeDecimalSeparator())));
  if (read.created) Edit4->setText(utf8(connection::creationDateText(*read.created, localeTimeSeparator())));
  QListWidget* lists[] = {ListBoxTable, ListBoxView, ListBoxStore_Prod, ListBoxFunction};
  for (std::size_t i = 0; i < read.objectLists.size(); ++i) setObjectNames(lists[i], read.objectLists[i]);
  if (read.objectLists.size() == std::size(lists)) PageControl2Change();
  if (read.onlineUsers) ADOQuery3->dataSet().showRows(std::move(*read.onlineUsers));
  if (read.error) {
    noteFailure(utf8(*read.error));
    desktop_.reportError(utf8(*read.error));
  }
}

void TForm1::useServerVersion(const catalog::ServerVersion& version) {
  serverVersion_ = version;
  StatusBar1->setPanelText(kServerVersionPanel, utf8(catalog::productName(version)));
  loadFieldListBatch();
  scripts::loadScriptBatch(QueryMakeDDL->dataSet(), version);
}

void TForm1::refreshObjectLists() {
  runTask({.work = [this, server = serverVersion_](TaskContext& task) -> Task::GuiStep {
             connection::DataSet query(task.connection(), "TempQuery");
             auto names = std::make_shared<std::vector<std::vector<ObjectName>>>();
             catalog::readObjectLists(query, server, *names);
             return [this, names] {
               QListWidget* lists[] = {ListBoxTable, ListBoxView, ListBoxStore_Prod, ListBoxFunction};
               for (std::size_t i = 0; i < names->size(); ++i) setObjectNames(lists[i], (*names)[i]);
               PageControl2Change();
             };
           },
           .waitCursor = true});
}

}  // namespace makeddl::app
