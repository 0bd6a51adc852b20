// Building TForm1: every control with its name, caption, hint, initial state and size rule.

#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QStackedWidget>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QToolButton>

#include "app/data_set_model.h"
#include "app/desktop.h"
#include "app/panel_mover.h"
#include "app/settings_store.h"
#include "app/status_bar.h"
#include "app/tform1.h"

namespace makeddl::app {

namespace {

template <typename Widget, typename... Args>
Widget* named(const char* name, Args&&... args) {
  auto* widget = new Widget(std::forward<Args>(args)...);
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

QPushButton* button(const char* name, const QString& caption) { return named<QPushButton>(name, caption); }

// The small "..." buttons that open a list or a dialogue.
QPushButton* ellipsisButton(const char* name) {
  QPushButton* ellipsis = button(name, QStringLiteral("..."));
  ellipsis->setFixedWidth(28);
  return ellipsis;
}

QLineEdit* edit(const char* name) { return named<QLineEdit>(name); }

// A bar of fixed height holding buttons from the left.
QWidget* buttonBar(int height, std::initializer_list<QWidget*> widgets) {
  auto* bar = new QWidget;
  bar->setFixedHeight(height);
  auto* layout = new QHBoxLayout(bar);
  layout->setContentsMargins(4, 4, 4, 4);
  for (QWidget* widget : widgets) layout->addWidget(widget);
  layout->addStretch(1);
  return bar;
}

QTableView* grid(const char* name) {
  auto* view = named<QTableView>(name);
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  view->horizontalHeader()->setVisible(true);
  view->verticalHeader()->setVisible(true);
  // One line of text per row, as a data grid shows it.
  view->setWordWrap(false);
  view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 6);
  return view;
}

QListWidget* list(const char* name, bool sorted, QAbstractItemView::SelectionMode mode) {
  auto* widget = named<QListWidget>(name);
  widget->setSortingEnabled(sorted);
  widget->setSelectionMode(mode);
  return widget;
}

QFont songFont(int pixelSize) {
  QFont font(QStringLiteral("SimSun"));
  font.setFamilies({QStringLiteral("SimSun"), QStringLiteral("宋体"), QStringLiteral("WenQuanYi Micro Hei")});
  font.setPixelSize(pixelSize);
  return font;
}

// The script pane's face: 宋体 where it is installed, else a fixed-pitch face with the Chinese
// characters, so that the padding of the scripts' columns lines up.
QFont scriptFont(int pixelSize) {
  QFont font(QStringLiteral("SimSun"));
  font.setFamilies({QStringLiteral("SimSun"), QStringLiteral("宋体"), QStringLiteral("WenQuanYi Micro Hei Mono"),
                    QStringLiteral("Noto Sans Mono CJK SC"), QStringLiteral("monospace")});
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  font.setPixelSize(pixelSize);
  return font;
}

// SQL Server's Windows login needs the platform's own authentication; elsewhere an SQL login
// is the one that can work.
bool windowsLoginAvailable() {
#ifdef Q_OS_WIN
  return true;
#else
  return false;
#endif
}

// Shows "*" for each character of a password field.
class AsteriskPasswordStyle : public QProxyStyle {
 public:
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* returnData) const override {
    if (hint == SH_LineEdit_PasswordCharacter) return '*';
    return QProxyStyle::styleHint(hint, option, widget, returnData);
  }
};

void setBaseColour(QWidget* widget, QPalette::ColorRole systemColour) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Base, palette.color(systemColour));
  widget->setPalette(palette);
}

// Label and field side by side, as the window's separate label controls beside their edits.
void addLabelled(QFormLayout* form, const QString& caption, QWidget* field) {
  form->addRow(new QLabel(caption), field);
}

}  // namespace

void TForm1::buildWindow() {
  setWindowTitle(kApplicationTitle);
  setGeometry(137, 97, 780, 569);
  auto* central = new QWidget;
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  column->addWidget(buildConnectionBar());
  auto* workArea = new QHBoxLayout;
  workArea->setSpacing(0);
  workArea->addWidget(buildObjectLists());
  workArea->addWidget(buildMainPages(), 1);
  column->addLayout(workArea, 1);
  buildStatusBar();
  column->addWidget(StatusBar1);
  setCentralWidget(central);
  buildMovePanel();
  buildDataSets();
}

QWidget* TForm1::buildConnectionBar() {
  auto* bar = named<QWidget>("Panel1");
  bar->setFixedHeight(41);
  Label1 = named<QLabel>("Label1", QStringLiteral("选择服务器："));
  ShowParamList = named<QComboBox>("ShowParamList");
  ShowParamList->setEditable(true);
  ShowParamList->setFixedWidth(529);
  ShowParamList->setMaxVisibleItems(18);
  ShowParamList->setInsertPolicy(QComboBox::NoInsert);
  ShowParamList->setCurrentIndex(-1);
  HideParamList = named<QComboBox>("HideParamList");
  HideParamList->setVisible(false);
  Button2 = ellipsisButton("Button2");
  Button2->setToolTip(QStringLiteral("点击这里选择SQL服务器"));
  auto* layout = new QHBoxLayout(bar);
  layout->addWidget(Label1);
  layout->addWidget(ShowParamList);
  layout->addWidget(HideParamList);
  layout->addWidget(Button2);
  layout->addStretch(1);
  return bar;
}

QWidget* TForm1::buildObjectLists() {
  PageControl2 = named<QTabWidget>("PageControl2");
  PageControl2->setFixedWidth(185);
  // Narrow tabs, so that the four captions fit the list's width.
  PageControl2->setStyleSheet(QStringLiteral("QTabBar::tab { padding: 3px 4px; }"));
  PageControl2->setEnabled(false);
  auto addPage = [this](const char* pageName, const QString& caption, QListWidget* list) {
    auto* page = named<QWidget>(pageName);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(list);
    PageControl2->addTab(page, caption);
    return page;
  };
  ListBoxTable = list("ListBoxTable", true, QAbstractItemView::ExtendedSelection);
  ListBoxView = list("ListBoxView", true, QAbstractItemView::SingleSelection);
  ListBoxStore_Prod = list("ListBoxStore_Prod", true, QAbstractItemView::SingleSelection);
  ListBoxFunction = list("ListBoxFunction", true, QAbstractItemView::SingleSelection);
  TabShtTable = addPage("TabShtTable", QStringLiteral("表"), ListBoxTable);
  TabShtView = addPage("TabShtView", QStringLiteral("视图"), ListBoxView);
  TabShtStore_Prod = addPage("TabShtStore_Prod", QStringLiteral("存储过程"), ListBoxStore_Prod);
  TabShtFunction = addPage("TabShtFunction", QStringLiteral("函数"), ListBoxFunction);
  PageControl2->setCurrentWidget(TabShtTable);
  return PageControl2;
}

QWidget* TForm1::buildMainPages() {
  PageControl1 = named<QTabWidget>("PageControl1");
  PageControl1->setEnabled(false);
  PageControl1->addTab(buildExportPage(), QStringLiteral("导出数据"));
  PageControl1->addTab(buildShowDataPage(), QStringLiteral("显示数据"));
  PageControl1->addTab(buildFieldListPage(), QStringLiteral("字段列表"));
  PageControl1->addTab(buildDatabasePage(), QStringLiteral("数据库属性"));
  PageControl1->addTab(buildOnlineUsersPage(), QStringLiteral("联机用户"));
  PageControl1->addTab(buildDependencyPage(), QStringLiteral("对象相依性"));
  PageControl1->setCurrentWidget(TabSheet6);
  return PageControl1;
}

QWidget* TForm1::buildExportPage() {
  TabSheet1 = named<QWidget>("TabSheet1");
  Memo1 = named<QPlainTextEdit>("Memo1");
  Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setFont(scriptFont(13));
  Memo1->setStyleSheet(QStringLiteral("QPlainTextEdit { background: white; }"));
  Button1 = button("Button1", QStringLiteral("复制"));
  Button12 = button("Button12", QStringLiteral("保存"));
  Button7 = button("Button7", QStringLiteral("产生Create"));
  Button11 = button("Button11", QStringLiteral("产生Insert"));
  BtnGBtoBIG = button("BtnGBtoBIG", QStringLiteral("简->繁"));
  BtnBIGtoGB = button("BtnBIGtoGB", QStringLiteral("繁->简"));
  CheckBoxRemarks = named<QCheckBox>("CheckBoxRemarks");
  CheckBoxRemarks->setText(QStringLiteral("含说明"));
  CheckBoxRemarks->setToolTip(QStringLiteral("产生Create时同时写入恢复表和字段说明的 sp_addextendedproperty 语句"));
  auto* layout = new QVBoxLayout(TabSheet1);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(
      buttonBar(41, {Button1, Button12, Button7, CheckBoxRemarks, Button11, BtnGBtoBIG, BtnBIGtoGB}));
  layout->addWidget(Memo1, 1);
  return TabSheet1;
}

QWidget* TForm1::buildShowDataPage() {
  TabSheet2 = named<QWidget>("TabSheet2");
  Button14 = button("Button14", QStringLiteral("产生Insert"));
  Button8 = button("Button8", QStringLiteral("执行SQL (F5)"));
  Memo2 = named<QPlainTextEdit>("Memo2");
  Memo2->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  auto* buttons = new QWidget;
  buttons->setFixedWidth(121);
  auto* buttonColumn = new QVBoxLayout(buttons);
  buttonColumn->addWidget(Button14);
  buttonColumn->addWidget(Button8);
  buttonColumn->addStretch(1);
  auto* top = new QWidget;
  top->setFixedHeight(97);
  auto* topRow = new QHBoxLayout(top);
  topRow->setContentsMargins(0, 0, 0, 0);
  topRow->addWidget(buttons);
  topRow->addWidget(Memo2, 1);
  DBGrid1 = grid("DBGrid1");
  ResultTabs = named<QTabBar>("ResultTabs");
  ResultTabs->addTab(QStringLiteral("结果 1"));
  ResultTabs->setVisible(false);
  connect(ResultTabs, &QTabBar::currentChanged, this, [this](int index) { showResult(index); });
  auto* layout = new QVBoxLayout(TabSheet2);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(top);
  layout->addWidget(ResultTabs);
  layout->addWidget(DBGrid1, 1);
  return TabSheet2;
}

QWidget* TForm1::buildFieldListPage() {
  TabSheet3 = named<QWidget>("TabSheet3");
  Button9 = button("Button9", QStringLiteral("显示同名表"));
  DBGrid2 = grid("DBGrid2");
  auto* layout = new QVBoxLayout(TabSheet3);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(buttonBar(41, {Button9}));
  layout->addWidget(DBGrid2, 1);
  return TabSheet3;
}

QWidget* TForm1::buildDatabasePage() {
  TabSheet4 = named<QWidget>("TabSheet4");
  GroupBox2 = named<QGroupBox>("GroupBox2", QStringLiteral("用户表"));
  auto* tableForm = new QFormLayout(GroupBox2);
  Edit8 = edit("Edit8");
  Edit7 = edit("Edit7");
  Edit5 = edit("Edit5");
  Edit6 = edit("Edit6");
  Edit9 = edit("Edit9");
  addLabelled(tableForm, QStringLiteral("表名"), Edit8);
  addLabelled(tableForm, QStringLiteral("记录个数"), Edit7);
  addLabelled(tableForm, QStringLiteral("字段个数"), Edit5);
  addLabelled(tableForm, QStringLiteral("主键字段"), Edit6);
  addLabelled(tableForm, QStringLiteral("非NULL字段"), Edit9);

  GroupBox3 = named<QGroupBox>("GroupBox3", QStringLiteral("数据库"));
  GroupBox3->setFixedHeight(153);
  auto* databaseForm = new QFormLayout(GroupBox3);
  Edit1 = edit("Edit1");
  Edit2 = edit("Edit2");
  Edit3 = edit("Edit3");
  Edit4 = edit("Edit4");
  Edit14 = edit("Edit14");
  Edit14->setText(kDefaultBackupPath);
  Button16 = ellipsisButton("Button16");
  BtnBackupDB = button("BtnBackupDB", QStringLiteral("备份数据库"));
  BtnRestoreDB = button("BtnRestoreDB", QStringLiteral("还原数据库"));
  BtnBackupDB->setEnabled(false);
  BtnRestoreDB->setEnabled(false);
  addLabelled(databaseForm, QStringLiteral("主文件"), Edit1);
  addLabelled(databaseForm, QStringLiteral("日志文件"), Edit2);
  addLabelled(databaseForm, QStringLiteral("数据据大小"), Edit3);
  addLabelled(databaseForm, QStringLiteral("创建日期"), Edit4);
  auto* backupRow = new QHBoxLayout;
  backupRow->addWidget(Edit14, 1);
  backupRow->addWidget(Button16);
  backupRow->addWidget(BtnBackupDB);
  backupRow->addWidget(BtnRestoreDB);
  databaseForm->addRow(new QLabel(QStringLiteral("备份路径")), backupRow);

  auto* layout = new QVBoxLayout(TabSheet4);
  layout->addWidget(GroupBox2, 1);
  layout->addWidget(GroupBox3);
  return TabSheet4;
}

QWidget* TForm1::buildOnlineUsersPage() {
  TabSheet5 = named<QWidget>("TabSheet5");
  Button13 = button("Button13", QStringLiteral("刷新"));
  DBGrid3 = grid("DBGrid3");
  auto* layout = new QVBoxLayout(TabSheet5);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(buttonBar(49, {Button13}));
  layout->addWidget(DBGrid3, 1);
  return TabSheet5;
}

QWidget* TForm1::buildDependencyPage() {
  TabSheet6 = named<QWidget>("TabSheet6");
  Edit10 = edit("Edit10");
  Edit11 = edit("Edit11");
  DBGrid4 = grid("DBGrid4");
  DBGrid4->setFont(songFont(12));
  auto* layout = new QVBoxLayout(TabSheet6);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(buttonBar(41, {new QLabel(QStringLiteral("对象名")), Edit10,
                                   new QLabel(QStringLiteral("类型")), Edit11}));
  layout->addWidget(DBGrid4, 1);
  return TabSheet6;
}

void TForm1::buildMovePanel() {
  MovePanel1 = named<QFrame>("MovePanel1", this);
  MovePanel1->setFrameShape(QFrame::Panel);
  MovePanel1->setFrameShadow(QFrame::Raised);
  MovePanel1->setAutoFillBackground(true);
  MovePanel1->setGeometry(256, 120, 361, 265);
  Label24 = named<QLabel>("Label24", MovePanel1);
  Label24->setAutoFillBackground(true);
  QPalette strip = Label24->palette();
  strip.setColor(QPalette::Window, strip.color(QPalette::Active, QPalette::Highlight));
  Label24->setPalette(strip);
  Label24->setGeometry(0, 0, 361, 13);
  Button10 = named<QPushButton>("Button10", QStringLiteral("X"), MovePanel1);
  Button10->setGeometry(361 - 16, 0, 16, 14);
  PageControl3 = named<QStackedWidget>("PageControl3", MovePanel1);
  PageControl3->setGeometry(0, 14, 361, 265 - 14);
  PageControl3->addWidget(buildConnectionDialogPage());
  PageControl3->addWidget(buildSameNamePage());
  PageControl3->addWidget(buildRestoreFilePage());
  MovePanel1->hide();
  panelMover_ = new PanelMover(MovePanel1);
  for (QWidget* handle : std::initializer_list<QWidget*>{Label24, TabSheet7, TabSheet8, TabSheet9})
    panelMover_->addHandle(handle);
}

QWidget* TForm1::buildConnectionDialogPage() {
  TabSheet7 = named<QWidget>("TabSheet7");
  const QString serverHint = QStringLiteral("选择服务器前请设置好登陆参数");
  Label2 = named<QLabel>("Label2", QStringLiteral("服务器："));
  ComboBoxServer_NM = named<QComboBox>("ComboBoxServer_NM");
  ComboBoxServer_NM->setEditable(true);
  ComboBoxServer_NM->setInsertPolicy(QComboBox::NoInsert);  // Enter lists databases, adds no entry
  ComboBoxServer_NM->setToolTip(serverHint);
  Button6 = ellipsisButton("Button6");
  Button6->setToolTip(serverHint);
  Label3 = named<QLabel>("Label3", QStringLiteral("数据库："));
  ComboBoxDB_NM = named<QComboBox>("ComboBoxDB_NM");
  ComboBoxDB_NM->setEditable(true);
  ComboBoxDB_NM->setInsertPolicy(QComboBox::NoInsert);
  GroupBox1 = named<QGroupBox>("GroupBox1", QStringLiteral("登陆方式"));
  RadioButton1 = named<QRadioButton>("RadioButton1", QStringLiteral("Windows NT方式"));
  RadioButton2 = named<QRadioButton>("RadioButton2", QStringLiteral("SQL方式"));
  (windowsLoginAvailable() ? RadioButton1 : RadioButton2)->setChecked(true);
  auto* loginModes = new QHBoxLayout(GroupBox1);
  loginModes->addWidget(RadioButton1);
  loginModes->addWidget(RadioButton2);
  Label4 = named<QLabel>("Label4", QStringLiteral("用    户："));
  EditUser_NM = edit("EditUser_NM");
  Label5 = named<QLabel>("Label5", QStringLiteral("密　码："));
  EditPass = edit("EditPass");
  EditPass->setEchoMode(QLineEdit::Password);
  EditPass->setStyle(new AsteriskPasswordStyle);
  for (QWidget* widget : std::initializer_list<QWidget*>{Label4, Label5, EditUser_NM, EditPass})
    widget->setEnabled(!windowsLoginAvailable());
  setBaseColour(EditUser_NM, windowsLoginAvailable() ? QPalette::Window : QPalette::Base);
  setBaseColour(EditPass, windowsLoginAvailable() ? QPalette::Midlight : QPalette::Base);
  Button4 = button("Button4", QStringLiteral("测试"));
  Button5 = button("Button5", QStringLiteral("取消"));
  Button3 = button("Button3", QStringLiteral("确定"));

  auto* grid = new QGridLayout(TabSheet7);
  grid->addWidget(Label2, 0, 0);
  grid->addWidget(ComboBoxServer_NM, 0, 1);
  grid->addWidget(Button6, 0, 2);
  grid->addWidget(Label3, 1, 0);
  grid->addWidget(ComboBoxDB_NM, 1, 1, 1, 2);
  grid->addWidget(GroupBox1, 2, 0, 1, 3);
  grid->addWidget(Label4, 3, 0);
  grid->addWidget(EditUser_NM, 3, 1, 1, 2);
  grid->addWidget(Label5, 4, 0);
  grid->addWidget(EditPass, 4, 1, 1, 2);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(Button4);
  buttons->addWidget(Button5);
  buttons->addWidget(Button3);
  grid->addLayout(buttons, 5, 0, 1, 3);
  return TabSheet7;
}

QWidget* TForm1::buildSameNamePage() {
  TabSheet8 = named<QWidget>("TabSheet8");
  ListBox1 = list("ListBox1", true, QAbstractItemView::SingleSelection);
  Label21 = named<QLabel>("Label21", QStringLiteral("字段名"));
  Edit12 = edit("Edit12");
  Label22 = named<QLabel>("Label22", QStringLiteral("表数"));
  Edit13 = edit("Edit13");
  auto* fields = new QHBoxLayout;
  fields->addWidget(Label21);
  fields->addWidget(Edit12, 1);
  fields->addWidget(Label22);
  fields->addWidget(Edit13);
  auto* layout = new QVBoxLayout(TabSheet8);
  layout->addWidget(ListBox1, 1);
  layout->addLayout(fields);
  return TabSheet8;
}

QWidget* TForm1::buildRestoreFilePage() {
  TabSheet9 = named<QWidget>("TabSheet9");
  ListBox2 = list("ListBox2", false, QAbstractItemView::SingleSelection);
  Button15 = button("Button15", QStringLiteral("确定"));
  Button17 = button("Button17", QStringLiteral("取消"));
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(Button15);
  buttons->addWidget(Button17);
  auto* layout = new QVBoxLayout(TabSheet9);
  layout->addWidget(ListBox2, 1);
  layout->addLayout(buttons);
  return TabSheet9;
}

void TForm1::buildStatusBar() {
  StatusBar1 = new PanelStatusBar({{50, QStringLiteral("对象")},
                                   {50, QStringLiteral("0")},
                                   {50, QStringLiteral("记录")},
                                   {50, QStringLiteral("0")},
                                   {200, QString(), true},
                                   {50, QStringLiteral("v0.1")},
                                   {200, QString()}},  // the active server's version
                                  nullptr);
  StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
  StatusBar1->setFixedHeight(19);
  StopButton = named<QToolButton>("StopButton");
  StopButton->setText(QStringLiteral("停止"));
  StopButton->setToolTip(QStringLiteral("停止正在执行的命令 (Esc)"));
  StopButton->setAutoRaise(true);
  StopButton->setFixedHeight(19);
  StopButton->hide();
  StatusMessage = named<QLabel>("StatusMessage");
  StatusBar1->addTrailingWidget(StopButton);
  StatusBar1->addTrailingWidget(StatusMessage, 1);
  StatusBar1->setDrawPanelHandler(
      [this](PanelStatusBar& bar, int panel, const QRect& rect) { StatusBar1DrawPanel(bar, panel, rect); });
}

void TForm1::buildDataSets() {
  auto dataSet = [this](const char* name) { return new DataSetModel(ADOConnection1, QString::fromLatin1(name), this); };
  ADOQuery1 = dataSet("ADOQuery1");
  ADOQuery2 = dataSet("ADOQuery2");
  ADOQuery3 = dataSet("ADOQuery3");
  QueryShowField = dataSet("QueryShowField");
  QueryMakeDDL = dataSet("QueryMakeDDL");
  TempQuery = dataSet("TempQuery");
  HelpQuery01 = dataSet("HelpQuery01");
  ADOQuery1->attachGrid(DBGrid1);
  ADOQuery2->attachGrid(DBGrid4);
  ADOQuery3->attachGrid(DBGrid3);
  QueryShowField->attachGrid(DBGrid2);
  // Ctrl+C copies the selected cells with their headings; a click on a heading sorts.
  for (QTableView* view : {DBGrid1, DBGrid2, DBGrid3, DBGrid4}) {
    auto* copy = new QShortcut(QKeySequence::Copy, view, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
    connect(copy, &QShortcut::activated, this, [this, view] { desktop_.setClipboardText(selectedCellsText(*view)); });
    view->setSortingEnabled(true);
    view->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
  }
}

}  // namespace makeddl::app
