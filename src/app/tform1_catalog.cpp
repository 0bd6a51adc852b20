// TForm1: the catalogue browser (object lists, field list, table summary, same-name search,
// dependencies) and the list of online users.

#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>

#include "admin/online_users.h"
#include "app/data_set_model.h"
#include "app/desktop.h"
#include "app/status_bar.h"
#include "app/tform1.h"
#include "catalog/dependency_batches.h"
#include "catalog/object_queries.h"
#include "catalog/table_summary.h"
#include "common/strings.h"
#include "scripts/column_batches.h"

namespace makeddl::app {

namespace {

constexpr int kObjectCountPanel = 1;
constexpr int kRecordCountPanel = 3;
constexpr int kShowDataPage = 1;
constexpr int kDatabasePropertiesPage = 3;
constexpr int kSameNamePage = 1;

// A pick in a list that has no item to show; the handlers' guards swallow it.
class NoCurrentObject : public std::runtime_error {
 public:
  NoCurrentObject() : std::runtime_error("列表中没有当前项") {}
};

// Tells whether a key other than a modifier is down on a list, so that the list's current-item
// signal answers keyboard moves only: not a click (answered on release), not the first item that
// becomes current when the list gains focus, not a change made by the program.
class KeyDownWatcher : public QObject {
 public:
  using QObject::QObject;
  bool keyDown() const { return keyDown_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
      const auto* key = static_cast<QKeyEvent*>(event);
      if (!isModifier(key->key())) keyDown_ = event->type() == QEvent::KeyPress;
    } else if (event->type() == QEvent::FocusOut) {
      keyDown_ = false;
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  static bool isModifier(int key) {
    return key == Qt::Key_Shift || key == Qt::Key_Control || key == Qt::Key_Alt || key == Qt::Key_Meta;
  }
  bool keyDown_ = false;
};

// Runs the steps and drops any failure without a word, as object picks do.
void swallowFailures(const std::function<void()>& steps) {
  try {
    steps();
  } catch (const std::exception&) {
  }
}

std::string utf8(const QString& text) { return text.toStdString(); }

QString fieldText(const connection::Field& field) {
  return field.isNull() ? QString() : QString::fromStdString(field.asText());
}

std::vector<catalog::IndexRow> indexRows(connection::DataSet& indexes) {
  std::vector<catalog::IndexRow> rows;
  indexes.first();
  for (int i = 0, count = indexes.recordCount(); i < count; ++i) {
    rows.push_back({indexes.field(0).asText(), indexes.field(1).asText(), indexes.field(2).asText()});
    indexes.next();
  }
  return rows;
}

const std::vector<GridColumn> kFieldListColumns{
    {"IndexNum", "序号", 31, true},
    {"name", "字段名", 83},
    {"type", "数据类型", 86},
    {"length", "长度", 34},
    {"prec", "精度", 30},
    {"scale", "小数字", 45},
    {"ifnull", "非空"},
    {"defaultValue", "缺省值", 50},
    {"FieldRemark", "字段说明", 55},
    {"ISKEY", "主键", 32},
};

const std::vector<GridColumn> kDependencyColumns{
    {"IndexNum", "序号", 44, true}, {"name", "关联对象", 108}, {"type", "对象类型", 107},
    {"updated", "修改否"},          {"selected", "选择否"},    {"column", "字段名", 115},
};

const std::vector<GridColumn> kOnlineUserColumns{
    {"login_time", "登陆时间", 144}, {"hostname", "联机用户", 100}, {"dbname", "使用数据库", 90},
    {"loginame", "登陆名称", 114},   {"program_name", "进程", 202},
};

}  // namespace

void TForm1::connectCatalogCommands() {
  QueryShowField->setGridColumns(kFieldListColumns);
  ADOQuery2->setGridColumns(kDependencyColumns);
  ADOQuery3->setGridColumns(kOnlineUserColumns);
  connection::DataSet& fieldList = QueryShowField->dataSet();
  fieldList.clearSql();
  for (const std::string& line : scripts::fieldListBatchLines()) fieldList.addLine(line);

  connect(PageControl2, &QTabWidget::currentChanged, this,
          [this] { runCommand([this] { PageControl2Change(); }); });
  connectObjectList(ListBoxTable, [this] { ListBoxTableClick(); });
  for (QListWidget* list : {ListBoxView, ListBoxStore_Prod, ListBoxFunction})
    connectObjectList(list, [this, list] { ListBoxFunctionClick(list); });
  connectCommand(Button9, &TForm1::Button9Click);
  connectCommand(Button13, &TForm1::Button13Click);
}

// A list answers a mouse click on an item, and a keyboard move of its current item.
void TForm1::connectObjectList(QListWidget* list, const std::function<void()>& handler) {
  auto* keys = new KeyDownWatcher(list);
  list->installEventFilter(keys);
  connect(list, &QListWidget::itemClicked, this, [this, handler] { runCommand(handler); });
  connect(list, &QListWidget::currentItemChanged, this, [this, handler, keys](QListWidgetItem* current) {
    if (current && keys->keyDown()) runCommand(handler);
  });
}

QListWidget* TForm1::objectListOfTab(int tab) const {
  switch (tab) {
    case 0:
      return ListBoxTable;
    case 1:
      return ListBoxView;
    case 2:
      return ListBoxStore_Prod;
    case 3:
      return ListBoxFunction;
    default:
      return nullptr;
  }
}

void TForm1::PageControl2Change() {
  const QListWidget* list = objectListOfTab(PageControl2->currentIndex());
  StatusBar1->setPanelText(kObjectCountPanel, QString::number(list ? list->count() : 0));
}

// The table list's current item is the one the user clicked or moved to last, selected or not.
std::string TForm1::currentTableName() const {
  const QListWidgetItem* current = ListBoxTable->currentItem();
  if (!current) throw NoCurrentObject();
  return utf8(current->text());
}

// In the single-choice lists the object picked is the selected item.
std::string TForm1::selectedObjectName(const QListWidget* list) const {
  const QList<QListWidgetItem*> selected = list->selectedItems();
  if (selected.isEmpty()) throw NoCurrentObject();
  return utf8(selected.front()->text());
}

void TForm1::ListBoxTableClick() {
  swallowFailures([this] {
    WaitCursor wait(desktop_);
    const std::string table = currentTableName();
    showTable(table);
    Edit10->setText(QString::fromStdString(table));
    Edit11->setText(QStringLiteral("用户表"));
    Disp_sp_depends(table, 1);
    Edit8->setText(QString::fromStdString(table));
    if (PageControl1->currentIndex() == kDatabasePropertiesPage) ShowTableSummary(table);
    if (ListBoxTable->count() > 0 && ListBoxTable->currentItem()) ShowFieldList(table);
  });
  StatusBar1->setPanelText(kRecordCountPanel, QString::number(ADOQuery1->dataSet().recordCount()));
}

// The table's rows on the show-data page, only its headings elsewhere, and the SELECT template.
void TForm1::showTable(const std::string& table) {
  connection::DataSet& data = ADOQuery1->dataSet();
  const bool showingData = PageControl1->currentIndex() == kShowDataPage;
  data.query(showingData ? catalog::selectAllQuery(table) : catalog::columnHeadingsQuery(table));
  std::vector<std::string> columns;
  for (const connection::ColumnInfo& column : data.columns()) columns.push_back(column.name);
  const std::vector<std::string> lines = catalog::selectTemplateLines(columns, table);
  if (lines.empty()) return;
  QStringList editorLines;
  for (const std::string& line : lines) editorLines << QString::fromStdString(line);
  Memo2->setPlainText(editorLines.join(QLatin1Char('\n')));
}

void TForm1::ListBoxFunctionClick(QListWidget* sender) {
  try {
    WaitCursor wait(desktop_);
    connection::DataSet& source = TempQuery->dataSet();
    source.close();
    source.clearSql();
    const std::string name = selectedObjectName(sender);
    source.addLine(catalog::sourceTextQuery(name));
    source.open();
    showSourceText(source);
    if (PageControl1->currentIndex() == kShowDataPage) {
      ADOQuery1->dataSet().query(catalog::selectAllQuery(selectedObjectName(ListBoxView)));
      StatusBar1->setPanelText(kRecordCountPanel, QString::number(ADOQuery1->dataSet().recordCount()));
    }
    if (sender == ListBoxView) showDependencies(name, 1, QStringLiteral("视图"));
    if (sender == ListBoxStore_Prod) showDependencies(name, 2, QStringLiteral("存储过程"));
  } catch (const std::exception&) {
    clearScriptPane();
  }
}

// The source rows into the script pane, one row a line; each row's own line break ends its line.
void TForm1::showSourceText(connection::DataSet& source) {
  clearScriptPane();
  if (source.recordCount() == 0) return;
  QStringList lines;
  for (const std::string& row : connection::firstColumnTexts(source))
    lines << QString::fromStdString(catalog::sourceTextLine(row));
  setScriptPaneText({utf8(lines.join(QLatin1Char('\n'))), Encoding::Gbk});
}

void TForm1::clearScriptPane() { setScriptPaneText({std::string(), Encoding::Gbk}); }

void TForm1::showDependencies(const std::string& name, int direction, const QString& kindCaption) {
  Disp_sp_depends(name, direction);
  Edit10->setText(QString::fromStdString(name));
  Edit11->setText(kindCaption);
}

void TForm1::ShowFieldList(const std::string& table) {
  connection::DataSet& fields = QueryShowField->dataSet();
  fields.close();
  fields.replaceLine(scripts::kTableNameLine, scripts::tableNameLine(table));
  fields.open();
}

void TForm1::ShowTableSummary(const std::string& table) {
  connection::DataSet& help = HelpQuery01->dataSet();
  help.query(catalog::countQuery(table));
  Edit7->setText(fieldText(help.field(0)));
  Edit5->setText(fieldText(help.field(1)));
  Edit6->setText(QString::fromStdString(catalog::primaryKeyColumns(tableIndexes(table))));
  help.query(catalog::nonNullColumnsQuery(table));
  QString nonNullColumns;
  for (const std::string& name : connection::firstColumnTexts(help)) nonNullColumns += QString::fromStdString(name) + ',';
  Edit9->setText(nonNullColumns);
}

// The rows of the table's index list; none when the server returns no list at all, as it does
// for a table without indexes.
std::vector<catalog::IndexRow> TForm1::tableIndexes(const std::string& table) {
  connection::DataSet& help = HelpQuery01->dataSet();
  help.close();
  help.clearSql();
  help.addLine(catalog::indexQuery(table));
  if (help.openOrExecute()) return {};
  return indexRows(help);
}

void TForm1::Button9Click() {
  Edit12->setText(QString::fromStdString(currentFieldListName()));
  const std::string column = trimmed(utf8(Edit12->text()));
  if (column.empty()) return;
  swallowFailures([this, &column] {
    connection::DataSet& help = HelpQuery01->dataSet();
    help.query(catalog::sameNameQuery(column));
    ListBox1->clear();
    for (const std::string& name : connection::firstColumnTexts(help)) ListBox1->addItem(QString::fromStdString(name));
    Edit13->setText(QString::number(ListBox1->count()));
    showFloatingPage(kSameNamePage);
  });
}

// The name field of the field-list row selected in its grid (the first row when none is);
// empty text when the field list shows no row.
std::string TForm1::currentFieldListName() const {
  const connection::DataSet& fields = QueryShowField->dataSet();
  if (!fields.isOpen() || fields.rows().empty() || fields.columns().size() < 2) return {};
  const QModelIndex selected = DBGrid2->currentIndex();
  const std::size_t row = selected.isValid() ? static_cast<std::size_t>(selected.row()) : 0;
  const std::optional<std::string>& name = fields.rows().at(row).at(1);
  return name.value_or(std::string());
}

void TForm1::Disp_sp_depends(const std::string& name, int direction) {
  connection::DataSet& dependencies = ADOQuery2->dataSet();
  const auto which =
      direction == 1 ? catalog::DependencyDirection::Dependents : catalog::DependencyDirection::Dependencies;
  dependencies.query(catalog::dependencyBatch(name, which));
  StatusBar1->setPanelText(kRecordCountPanel, QString::number(dependencies.recordCount()));
}

void TForm1::Button13Click() { ADOQuery3->dataSet().query(admin::onlineUsersQuery()); }

}  // namespace makeddl::app
