#pragma once
// The main window TForm1. Every control, page and data set bears the window's own name as
// its member name and objectName; handlers bear the names of the commands they carry out.

#include <QMainWindow>
#include <QRect>
#include <functional>
#include <memory>

#include "app/script_pane_text.h"
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

  // Status bar and the progress bar that long runs put into its panel 4
  PanelStatusBar* StatusBar1;
  QProgressBar* ProgressBar = nullptr;

  // The single connection and its data sets, shown in the grids through these models
  connection::Connection ADOConnection1;
  DataSetModel *ADOQuery1, *ADOQuery2, *ADOQuery3, *QueryShowField, *QueryMakeDDL, *TempQuery,
      *HelpQuery01;

  // How connections are made and servers discovered (from the environment by default).
  connection::DriverSettings driverSettings = connection::driverSettingsFromEnvironment();
  connection::DiscoverySettings discoverySettings = connection::discoverySettingsFromEnvironment();

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
  // (tform1_connection.cpp)
  bool LinkTest(const std::string& database, const std::string& server, const std::string& user,
                const std::string& password, bool windowsLogin);
  void RadioButton1Click();
  void RadioButton2Click();
  void Button4Click();
  QStringList GetServerList();
  void ComboBoxServer_NMChange();
  void Button3Click();
  void ShowParamListChange();
  QStringList RowToStrings();

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
  void ShowFieldList(const std::string& table);
  void ShowTableSummary(const std::string& table);
  void Button9Click();
  void Disp_sp_depends(const std::string& name, int direction);
  void Button13Click();

  // Script generation and output (tform1_scripts.cpp)
  void Button7Click();
  std::vector<std::string> MakeDDL(const std::vector<std::string>& names);
  // The objects 产生Create scripts: the selected tables on the table tab, else the object
  // picked in the list of the active tab; none when the tab has no current object.
  std::vector<std::string> createScriptNames() const;
  void Button11Click();
  void Button14Click();
  std::vector<std::string> Mark_InsertSQL(const std::vector<std::string>& names, scripts::InsertRows mode);
  void Button8Click();
  // F5 with any modifiers runs the query; true when the key was taken.
  bool Memo2KeyDown(int key, Qt::KeyboardModifiers shift);
  void Button1Click();
  void Memo1DblClick();
  void Button12Click();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  // Runs a command; an error it does not handle itself reaches the default error report.
  void runCommand(const std::function<void()>& command);
  void connectCommand(QAbstractButton* button, void (TForm1::*handler)());
  void convertScriptPane(ScriptPaneText (*conversion)(const ScriptPaneText&));
  void showFloatingPage(int page);

  // Catalogue browser helpers
  void connectObjectList(QListWidget* list, const std::function<void()>& handler);
  QListWidget* objectListOfTab(int tab) const;
  std::string currentTableName() const;
  std::string selectedObjectName(const QListWidget* list) const;
  void showTable(const std::string& table);
  void showSourceText(connection::DataSet& source);
  void clearScriptPane();
  void showDependencies(const std::string& name, int direction, const QString& kindCaption);
  std::vector<catalog::IndexRow> tableIndexes(const std::string& table);
  std::string currentFieldListName() const;

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
  // Runs a backup or restore statement on HelpQuery01 and makes the database current again.
  void runInMaster(const std::string& statement);
  void connectScriptCommands();

  // Script generation helpers
  bool tableCommandAllowed() const;
  std::vector<std::string> selectedTableNames() const;
  void startScriptRun();
  void showScript(const std::vector<std::string>& lines);
  std::optional<std::string> scriptFileBytes(const ScriptPaneText& pane);

  // Connection helpers
  connection::LoginParameters dialogLogin(const std::string& blankCredential) const;
  void setLoginFieldsEnabled(bool enabled);
  void serverTextSettled();
  void activationFailed();
  void showDatabaseProperties();
  void fillObjectLists();
  Desktop& desktop_;
  std::unique_ptr<SettingsStore> settingsStore_;
  PanelMover* panelMover_ = nullptr;
  QRect progressRect_;
  Encoding scriptPaneEncoding_ = Encoding::Gbk;
  std::string currentDatabaseName_;
  QString lastServerText_;  // the server box text whose databases were last listed
};

}  // namespace makeddl::app
