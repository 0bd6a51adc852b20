#pragma once
// The main window TForm1. Every control, page and data set bears the window's own name as
// its member name and objectName; handlers bear the names of the commands they carry out.

#include <QMainWindow>
#include <QRect>
#include <functional>
#include <memory>

#include "app/script_pane_text.h"
#include "app/task_runner.h"
#include "catalog/server_version.h"
#include "catalog/table_summary.h"
#include "connection/connection_string.h"
#include "connection/data_access.h"
#include "connection/discovery.h"
#include "scripts/insert_script.h"

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QTabWidget;
class QTableView;
class QTabBar;
class QToolButton;
class QWidget;

namespace makeddl::app {

class DataSetModel;
class Desktop;
class PanelMover;
class PanelStatusBar;
class SettingsStore;

class TForm1 : public QMainWindow {
  Q_OBJECT
 public:
  // The window uses the given desktop services; it builds every control in its initial
  // state and runs the creation step (FormCreate), which reads the settings store.
  explicit TForm1(Desktop& desktop, QWidget* parent = nullptr);
  ~TForm1() override;

  // The catalogue batches follow the version of the server activated; the status bar names it.
  void useServerVersion(const catalog::ServerVersion& version);

  // Connection bar
  QLabel* Label1;
  QComboBox* ShowParamList;
  QComboBox* HideParamList;
  QPushButton* Button2;

  // Object lists
  QTabWidget* PageControl2;
  QWidget *TabShtTable, *TabShtView, *TabShtStore_Prod, *TabShtFunction;
  QListWidget *ListBoxTable, *ListBoxView, *ListBoxStore_Prod, *ListBoxFunction;

  // Main pages
  QTabWidget* PageControl1;
  QWidget *TabSheet1, *TabSheet2, *TabSheet3, *TabSheet4, *TabSheet5, *TabSheet6;
  QPlainTextEdit* Memo1;
  QPushButton *Button1, *Button12, *Button7, *Button11, *BtnGBtoBIG, *BtnBIGtoGB;
  // 产生Create also writes the calls that restore table and column remarks; off at start.
  QCheckBox* CheckBoxRemarks;
  QPlainTextEdit* Memo2;
  QPushButton *Button14, *Button8;
  QTableView* DBGrid1;
  QPushButton* Button9;
  QTableView* DBGrid2;
  QGroupBox *GroupBox2, *GroupBox3;
  QLineEdit *Edit8, *Edit7, *Edit5, *Edit6, *Edit9;
  QLineEdit *Edit1, *Edit2, *Edit3, *Edit4, *Edit14;
  QPushButton *Button16, *BtnBackupDB, *BtnRestoreDB;
  QPushButton* Button13;
  QTableView* DBGrid3;
  QLineEdit *Edit10, *Edit11;
  QTableView* DBGrid4;

  // Floating panel
  QFrame* MovePanel1;
  QLabel* Label24;
  QPushButton* Button10;
  QStackedWidget* PageControl3;
  QWidget *TabSheet7, *TabSheet8, *TabSheet9;
  QLabel *Label2, *Label3, *Label4, *Label5;
  QComboBox *ComboBoxServer_NM, *ComboBoxDB_NM;
  QPushButton* Button6;
  QGroupBox* GroupBox1;
  QRadioButton *RadioButton1, *RadioButton2;
  QLineEdit *EditUser_NM, *EditPass;
  QPushButton *Button4, *Button5, *Button3;
  QListWidget* ListBox1;
  QLabel *Label21, *Label22;
  QLineEdit *Edit12, *Edit13;
  QListWidget* ListBox2;
  QPushButton *Button15, *Button17;

  // The tabs over DBGrid1 that reach the other row sets of a batch; hidden for one row set.
  QTabBar* ResultTabs;

  // Status bar and the progress bar that long runs put into its panel 4; beside them the
  // control that stops the running command (as Esc does) and the line that says how the
  // last command ended when it did not succeed.
  PanelStatusBar* StatusBar1;
  QProgressBar* ProgressBar = nullptr;
  QToolButton* StopButton;
  QLabel* StatusMessage;

  // The single connection and its data sets, shown in the grids through these models
  connection::Connection ADOConnection1;
  DataSetModel *ADOQuery1, *ADOQuery2, *ADOQuery3, *QueryShowField, *QueryMakeDDL, *TempQuery,
      *HelpQuery01;
  // The row sets after the first of the query runner's last batch, reached through ResultTabs.
  std::vector<DataSetModel*> MoreResults;

  // How connections are made and servers discovered (from the environment by default).
  connection::DriverSettings driverSettings = connection::driverSettingsFromEnvironment();
  connection::DiscoverySettings discoverySettings;

  // Every server call of the window runs through it, off the GUI thread.
  TaskRunner& tasks() { return *tasks_; }
  // Window-level state
  SettingsStore& settingsStore() { return *settingsStore_; }
  // The database of the connection last activated, for backup and restore.
  const std::string& currentDatabaseName() const { return currentDatabaseName_; }
  QRect progressRect() const { return progressRect_; }
  ScriptPaneText scriptPaneText() const;
  void setScriptPaneText(const ScriptPaneText& text);

  // Handlers of the window shell
  void FormCreate();
  void FormClose();
  void Button2Click();
  void Button5Click();
  void Button6Click();
  void Button10Click();
  void StatusBar1DrawPanel(PanelStatusBar& statusBar, int panel, const QRect& rect);
  void CreateProgress();
  void DestroyProgress();
  void BtnGBtoBIGClick();
  void BtnBIGtoGBClick();

  // Connection: connection test, discovery, remembered connections and activation
  // (tform1_connection.cpp). LinkTest runs on the worker, on the connection given; it says
  // why a login failed in `reason`.
  static bool LinkTest(connection::Connection& connection, const connection::LoginParameters& login,
                       const connection::DriverSettings& settings, std::string& reason);
  void RadioButton1Click();
  void RadioButton2Click();
  void Button4Click();
  static QStringList GetServerList(const connection::DiscoverySettings& settings);  // on the worker
  void ComboBoxServer_NMChange();
  void Button3Click();
  void ShowParamListChange();
  // Lists the objects of the current database again, after the schema changed.
  void refreshObjectLists();

  // Backup and restore (tform1_admin.cpp)
  void BtnBackupDBClick();
  void BtnRestoreDBClick();
  void Button15Click();
  void Button17Click();
  void Button16Click();

  // Catalogue browser and online users (tform1_catalog.cpp)
  void PageControl2Change();
  void ListBoxTableClick();
  void ListBoxFunctionClick(QListWidget* sender);
  void ShowFieldList(const ObjectName& table);
  void ShowTableSummary(const ObjectName& table);
  void Button9Click();
  void Disp_sp_depends(const ObjectName& name, int direction);
  void Button13Click();

  // Stops the running command and drops the waiting ones (Esc, StopButton).
  void stopCommand();
  // Says in the status bar that the last command failed, and why.
  void noteFailure(const QString& reason);

  // Script generation and output (tform1_scripts.cpp)
  void Button7Click();
  // The objects 产生Create scripts: the selected tables on the table tab, else the object
  // picked in the list of the active tab; none when the tab has no current object.
  std::vector<ObjectName> createScriptNames() const;
  void Button11Click();
  void Button14Click();
  // Runs the selected text of the query editor, or its whole text when nothing is selected.
  void Button8Click();
  // F5 with any modifiers runs the query; true when the key was taken.
  bool Memo2KeyDown(int key, Qt::KeyboardModifiers shift);
  void Button1Click();
  void Memo1DblClick();
  void Button12Click();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  struct Activation;
  struct TableSummary;
  struct TableView;
  struct ObjectView;
  // What the query runner's statement gave.
  struct QueryOutcome {
    std::optional<long long> affected;       // the rows affected, when it gave no row set
    std::optional<std::string> error;        // the server's reason, when it was refused
    std::optional<connection::RowSet> rows;  // the first row set, when not shown as it came
    std::vector<connection::RowSet> moreRowSets;
  };

  // Runs a command; an error it does not handle itself reaches the default error report.
  void runCommand(const std::function<void()>& command);
  // Hands a server call to the task runner; a failure the task does not handle itself reaches
  // the default error report. Either way the status bar says that the command failed.
  void runTask(Task task);
  void connectTasks();
  void taskStarted(const Task& task);
  void taskEnded(const Task& task, TaskRunner::Outcome outcome);
  void showProgress(int done, int total);
  void connectCommand(QAbstractButton* button, void (TForm1::*handler)());
  void convertScriptPane(ScriptPaneText (*conversion)(const ScriptPaneText&));
  void showFloatingPage(int page);

  // Catalogue browser helpers
  void connectObjectList(QListWidget* list, const std::function<void()>& handler);
  QListWidget* objectListOfTab(int tab) const;
  ObjectName currentTableName() const;
  ObjectName selectedObjectName(const QListWidget* list) const;
  void showTableView(TableView& view, const ObjectName& table);
  void showObjectView(ObjectView& view, const ObjectName& name, bool showsRows, const QString& kindCaption);
  void showRecordCount();
  void showSelectTemplate(const std::vector<std::string>& columns, const ObjectName& table);
  void showSourceText(const std::vector<std::string>& rows);
  void clearScriptPane();
  std::vector<std::string> fieldListBatch(const ObjectName& table);
  // Loads the field-list batch for the active server's version.
  void loadFieldListBatch();
  static void readTableSummary(connection::Connection& connection, const ObjectName& table, TableSummary& into);
  void showTableSummary(const TableSummary& summary);
  void showDependencyRows(connection::RowSet rows);
  std::string currentFieldListName() const;

  // Query runner helpers (tform1_query.cpp)
  std::string editorStatementText() const;
  static QueryOutcome runEditorQuery(connection::DataSet& query, const std::string& text);
  void showQueryOutcome(QueryOutcome& outcome);
  void showMoreResults(std::vector<connection::RowSet>& rowSets);
  void showResult(int index);

  // Building the window, one area at a time
  void buildWindow();
  QWidget* buildConnectionBar();
  QWidget* buildObjectLists();
  QWidget* buildMainPages();
  QWidget* buildExportPage();
  QWidget* buildShowDataPage();
  QWidget* buildFieldListPage();
  QWidget* buildDatabasePage();
  QWidget* buildOnlineUsersPage();
  QWidget* buildDependencyPage();
  void buildMovePanel();
  QWidget* buildConnectionDialogPage();
  QWidget* buildSameNamePage();
  QWidget* buildRestoreFilePage();
  void buildStatusBar();
  void buildDataSets();
  void connectCommands();
  void connectConnectionCommands();
  void connectCatalogCommands();
  void connectAdminCommands();
  void connectScriptCommands();

  // Script generation helpers
  bool tableCommandAllowed() const;
  std::vector<ObjectName> selectedTableNames() const;
  void startScriptRun();
  void showScript(const std::vector<std::string>& lines);
  void runScriptTask(std::function<std::vector<std::string>(TaskContext&)> script,
                     std::function<void()> afterwards = {});
  std::optional<std::string> scriptFileBytes(const ScriptPaneText& pane);

  // Connection helpers
  connection::LoginParameters dialogLogin(const std::string& blankCredential) const;
  void setLoginFieldsEnabled(bool enabled);
  void serverTextSettled();
  void discoverServers(std::function<void()> then);
  void changeServer(std::function<void()> then);
  void showDatabaseList(const QStringList& names);
  void confirmConnection(const connection::LoginParameters& login);
  void setConnectionControlsEnabled(bool enabled);
  void activationFailed(const std::string& reason);
  static Activation readActivation(connection::Connection& connection);
  void showActivation(Activation& read, const std::string& database);
  Desktop& desktop_;
  std::unique_ptr<SettingsStore> settingsStore_;
  PanelMover* panelMover_ = nullptr;
  QRect progressRect_;
  Encoding scriptPaneEncoding_ = Encoding::Gbk;
  std::string currentDatabaseName_;
  catalog::ServerVersion serverVersion_;  // of the active connection
  QString lastServerText_;  // the server box text whose databases were last listed
  // The connection dialogue's own connection, for its tests and lists of databases; used on
  // the worker only.
  connection::Connection dialogueConnection_;
  // Last of all: it ends its worker before the connections and models go.
  std::unique_ptr<TaskRunner> tasks_;
};

}  // namespace makeddl::app
