// TForm1: the catalogue browser (object lists, field list, table summary, same-name search,
// dependencies) and the list of online users.
//
// A pick in a list reads everything it shows on the worker, in the order of its steps, and
// writes the controls afterwards; a failing step ends the reading and what the steps before it
// read is still shown. The rows of a table arrive in the grid while they are read.

#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>

#include "admin/online_users.h"
#include "app/data_set_model.h"
#include "app/desktop.h"
#include "app/object_list.h"
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

std::string utf8(const QString& text) { return text.toStdString(); }
QString utf8(const std::string& text) { return QString::fromStdString(text); }

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

// The rows of the table's index list; none when the server returns no list at all, as it does
// for a table without indexes.
std::vector<catalog::IndexRow> tableIndexes(connection::DataSet& help, const ObjectName& table) {
  help.close();
  help.clearSql();
  help.addLine(catalog::indexQuery(table));
  if (help.openOrExecute()) return {};
  return indexRows(help);
}

// The rows of a query for a grid.
connection::RowSet queryRows(connection::Connection& connection, const char* dataSet, const std::string& text) {
  connection::DataSet query(connection, dataSet);
  query.query(text);
  return query.takeRows();
}

connection::RowSet dependencyRows(connection::Connection& connection, const ObjectName& name, int direction,
                                  const catalog::ServerVersion& server) {
  const auto which =
      direction == 1 ? catalog::DependencyDirection::Dependents : catalog::DependencyDirection::Dependencies;
  return queryRows(connection, "ADOQuery2", catalog::dependencyBatch(name, which, server));
}

connection::RowSet fieldListRows(connection::Connection& connection, const std::vector<std::string>& batch) {
  connection::DataSet fields(connection, "QueryShowField");
  for (const std::string& line : batch) fields.addLine(line);
  fields.open();
  return fields.takeRows();
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

// The summary of a table as far as it was read.
struct TForm1::TableSummary {
  std::optional<std::pair<QString, QString>> counts;  // records, columns
  std::optional<QString> keys;
  std::optional<QString> nonNullColumns;
};

// What a table click read.
struct TForm1::TableView {
  bool rowsRead = false;
  std::vector<std::string> columns;
  std::optional<connection::RowSet> dependencies;
  std::optional<TableSummary> summary;
  std::optional<connection::RowSet> fields;
  std::optional<std::string> error;
};

// What a click on a view, procedure or function read.
struct TForm1::ObjectView {
  std::optional<std::vector<std::string>> source;
  bool rowsRead = false;
  std::optional<connection::RowSet> dependencies;
  std::optional<std::string> error;
};

void TForm1::connectCatalogCommands() {
  QueryShowField->setGridColumns(kFieldListColumns);
  ADOQuery2->setGridColumns(kDependencyColumns);
  ADOQuery3->setGridColumns(kOnlineUserColumns);
  loadFieldListBatch();

  connect(PageControl2, &QTabWidget::currentChanged, this,
          [this] { runCommand([this] { PageControl2Change(); }); });
  connectObjectList(ListBoxTable, [this] { ListBoxTableClick(); });
  for (QListWidget* list : {ListBoxView, ListBoxStore_Prod, ListBoxFunction})
    connectObjectList(list, [this, list] { ListBoxFunctionClick(list); });
  connectCommand(Button9, &TForm1::Button9Click);
  connectCommand(Button13, &TForm1::Button13Click);
}

// A list answers a mouse click on an item, and a keyboard move of its current item. In a list
// of one choice, a Ctrl-click on the chosen item keeps it chosen: a list of objects to show has
// no use for a pick of nothing. F5 or the list's menu lists the objects again.
void TForm1::connectObjectList(QListWidget* list, const std::function<void()>& handler) {
  auto* keys = new KeyDownWatcher(list);
  list->installEventFilter(keys);
  connect(list, &QListWidget::itemClicked, this, [this, list, handler](QListWidgetItem* item) {
    if (list->selectionMode() == QAbstractItemView::SingleSelection && !item->isSelected()) item->setSelected(true);
    runCommand(handler);
  });
  connect(list, &QListWidget::currentItemChanged, this, [this, handler, keys](QListWidgetItem* current) {
    if (current && keys->keyDown()) runCommand(handler);
  });
  auto* refresh = new QAction(QStringLiteral("刷新列表 (F5)"), list);
  refresh->setShortcut(QKeySequence(Qt::Key_F5));
  refresh->setShortcutContext(Qt::WidgetShortcut);
  connect(refresh, &QAction::triggered, this, [this] { runCommand([this] { refreshObjectLists(); }); });
  list->addAction(refresh);
  list->setContextMenuPolicy(Qt::ActionsContextMenu);
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
ObjectName TForm1::currentTableName() const {
  const QListWidgetItem* current = ListBoxTable->currentItem();
  if (!current) throw NoCurrentObject();
  return listedObject(*current);
}

// In the single-choice lists the object picked is the selected item.
ObjectName TForm1::selectedObjectName(const QListWidget* list) const {
  const QList<QListWidgetItem*> selected = list->selectedItems();
  if (selected.isEmpty()) throw NoCurrentObject();
  return listedObject(*selected.front());
}

void TForm1::ListBoxTableClick() {
  ObjectName table;
  try {
    table = currentTableName();
  } catch (const NoCurrentObject&) {
    showRecordCount();
    return;
  }
  const bool showingData = PageControl1->currentIndex() == kShowDataPage;
  const bool summaryShown = PageControl1->currentIndex() == kDatabasePropertiesPage;
  const bool fieldListShown = ListBoxTable->count() > 0 && ListBoxTable->currentItem();
  const std::vector<std::string> fieldBatch = fieldListBatch(table);
  runTask({.work = [=, this, server = serverVersion_](TaskContext& task) -> Task::GuiStep {
             auto view = std::make_shared<TableView>();
             try {
               connection::DataSet data(task.connection(), "ADOQuery1");
               data.setPieceSink(showPiecesIn(task, ADOQuery1));
               data.query(showingData ? catalog::selectAllQuery(table) : catalog::columnHeadingsQuery(table));
               for (const connection::ColumnInfo& column : data.columns()) view->columns.push_back(column.name);
               view->rowsRead = true;
               view->dependencies = dependencyRows(task.connection(), table, 1, server);
               if (summaryShown) readTableSummary(task.connection(), table, view->summary.emplace());
               if (fieldListShown) view->fields = fieldListRows(task.connection(), fieldBatch);
             } catch (const connection::DatabaseError& error) {
               view->error = error.what();
             }
             return [this, view, table] { showTableView(*view, table); };
           },
           .cancelled = [this] { ADOQuery1->abandonLoading(); },
           .kind = Task::Kind::Pick,
           .waitCursor = true});
}

void TForm1::showTableView(TableView& view, const ObjectName& table) {
  if (view.rowsRead) {
    ADOQuery1->finishLoading();
    showSelectTemplate(view.columns, table);
    Edit10->setText(utf8(shownName(table)));
    Edit11->setText(QStringLiteral("用户表"));
  } else {
    ADOQuery1->dataSet().close();
  }
  if (view.dependencies) {
    showDependencyRows(std::move(*view.dependencies));
    Edit8->setText(utf8(shownName(table)));
  }
  if (view.summary) showTableSummary(*view.summary);
  if (view.fields) QueryShowField->dataSet().showRows(std::move(*view.fields));
  if (view.error) noteFailure(utf8(*view.error));
  showRecordCount();
}

// Status panel 3: the record count of the data grid's data set; reading it from a closed data
// set is an error, reported as any other.
void TForm1::showRecordCount() {
  StatusBar1->setPanelText(kRecordCountPanel, QString::number(ADOQuery1->dataSet().recordCount()));
}

// The SELECT template of the table's columns into the query editor; none without columns.
void TForm1::showSelectTemplate(const std::vector<std::string>& columns, const ObjectName& table) {
  const std::vector<std::string> lines = catalog::selectTemplateLines(columns, table);
  if (lines.empty()) return;
  QStringList editorLines;
  for (const std::string& line : lines) editorLines << utf8(line);
  Memo2->setPlainText(editorLines.join(QLatin1Char('\n')));
}

// A click on a view, procedure or function shows its source; a view on the show-data page
// also shows its own rows (never another view's), and a view or procedure its dependencies.
void TForm1::ListBoxFunctionClick(QListWidget* sender) {
  ObjectName name;
  try {
    name = selectedObjectName(sender);
  } catch (const NoCurrentObject&) {
    clearScriptPane();
    return;
  }
  const bool showsRows = sender == ListBoxView && PageControl1->currentIndex() == kShowDataPage;
  const int direction = sender == ListBoxView ? 1 : sender == ListBoxStore_Prod ? 2 : 0;
  const QString kindCaption = sender == ListBoxView ? QStringLiteral("视图") : QStringLiteral("存储过程");
  runTask({.work = [=, this, server = serverVersion_](TaskContext& task) -> Task::GuiStep {
             auto view = std::make_shared<ObjectView>();
             try {
               connection::DataSet source(task.connection(), "TempQuery");
               source.query(catalog::sourceTextQuery(name));
               view->source = connection::firstColumnTexts(source);
               if (showsRows) {
                 connection::DataSet data(task.connection(), "ADOQuery1");
                 data.setPieceSink(showPiecesIn(task, ADOQuery1));
                 data.query(catalog::selectAllQuery(name));
                 view->rowsRead = true;
               }
               if (direction != 0) view->dependencies = dependencyRows(task.connection(), name, direction, server);
             } catch (const connection::DatabaseError& error) {
               view->error = error.what();
             }
             return [this, view, name, showsRows, kindCaption] {
               showObjectView(*view, name, showsRows, kindCaption);
             };
           },
           .cancelled = [this] { ADOQuery1->abandonLoading(); },
           .kind = Task::Kind::Pick,
           .waitCursor = true});
}

void TForm1::showObjectView(ObjectView& view, const ObjectName& name, bool showsRows, const QString& kindCaption) {
  if (view.source) showSourceText(*view.source);
  if (showsRows && view.rowsRead) {
    ADOQuery1->finishLoading();
    showRecordCount();
  } else if (showsRows) {
    ADOQuery1->dataSet().close();
  }
  if (view.dependencies) {
    showDependencyRows(std::move(*view.dependencies));
    Edit10->setText(utf8(shownName(name)));
    Edit11->setText(kindCaption);
  }
  if (view.error) {
    clearScriptPane();
    noteFailure(utf8(*view.error));
  }
}

// The source rows into the script pane, one row a line; each row's own line break ends its line.
void TForm1::showSourceText(const std::vector<std::string>& rows) {
  clearScriptPane();
  if (rows.empty()) return;
  QStringList lines;
  for (const std::string& row : rows) lines << utf8(catalog::sourceTextLine(row));
  setScriptPaneText({utf8(lines.join(QLatin1Char('\n'))), Encoding::Gbk});
}

void TForm1::clearScriptPane() { setScriptPaneText({std::string(), Encoding::Gbk}); }

// The field-list batch for the table, as the field-list data set holds it.
std::vector<std::string> TForm1::fieldListBatch(const ObjectName& table) {
  connection::DataSet& fields = QueryShowField->dataSet();
  fields.replaceLine(scripts::kTableNameLine, scripts::tableNameLine(table));
  return fields.sqlLines();
}

void TForm1::loadFieldListBatch() {
  connection::DataSet& fieldList = QueryShowField->dataSet();
  fieldList.close();
  fieldList.clearSql();
  for (const std::string& line : scripts::fieldListBatchLines(serverVersion_)) fieldList.addLine(line);
}

void TForm1::ShowFieldList(const ObjectName& table) {
  const std::vector<std::string> batch = fieldListBatch(table);
  runTask({.work = [this, batch](TaskContext& task) -> Task::GuiStep {
    auto rows = std::make_shared<connection::RowSet>(fieldListRows(task.connection(), batch));
    return [this, rows] { QueryShowField->dataSet().showRows(std::move(*rows)); };
  }});
}

void TForm1::ShowTableSummary(const ObjectName& table) {
  runTask({.work = [this, table](TaskContext& task) -> Task::GuiStep {
    auto summary = std::make_shared<TableSummary>();
    readTableSummary(task.connection(), table, *summary);
    return [this, summary] { showTableSummary(*summary); };
  }});
}

// On the worker: the summary's counts, key columns and NOT NULL columns, in that order, each
// kept as soon as it is read.
void TForm1::readTableSummary(connection::Connection& connection, const ObjectName& table, TableSummary& into) {
  connection::DataSet help(connection, "HelpQuery01");
  help.query(catalog::countQuery(table));
  into.counts = {fieldText(help.field(0)), fieldText(help.field(1))};
  into.keys = utf8(catalog::primaryKeyColumns(tableIndexes(help, table)));
  help.query(catalog::nonNullColumnsQuery(table));
  QString nonNullColumns;
  for (const std::string& name : connection::firstColumnTexts(help)) nonNullColumns += utf8(name) + ',';
  into.nonNullColumns = nonNullColumns;
}

void TForm1::showTableSummary(const TableSummary& summary) {
  if (summary.counts) {
    Edit7->setText(summary.counts->first);
    Edit5->setText(summary.counts->second);
  }
  if (summary.keys) Edit6->setText(*summary.keys);
  if (summary.nonNullColumns) Edit9->setText(*summary.nonNullColumns);
}

void TForm1::Button9Click() {
  Edit12->setText(utf8(currentFieldListName()));
  const std::string column = trimmed(utf8(Edit12->text()));
  if (column.empty()) return;
  runTask({.work = [this, column, server = serverVersion_](TaskContext& task) -> Task::GuiStep {
             connection::DataSet help(task.connection(), "HelpQuery01");
             help.query(catalog::sameNameQuery(column, server));
             std::vector<ObjectName> names = catalog::listedObjects(help);
             return [this, names] {
               setObjectNames(ListBox1, names);
               Edit13->setText(QString::number(ListBox1->count()));
               showFloatingPage(kSameNamePage);
             };
           },
           .failed = [](const QString&) {}});  // silent, as picks are
}

// The name field of the field-list row selected in its grid (the first row when none is);
// empty text when the field list shows no row.
std::string TForm1::currentFieldListName() const {
  const connection::DataSet& fields = QueryShowField->dataSet();
  if (!fields.isOpen() || fields.rows().empty() || fields.columns().size() < 2) return {};
  const QModelIndex selected = DBGrid2->currentIndex();
  const std::size_t row = selected.isValid() ? QueryShowField->dataRow(selected.row()) : 0;
  const std::optional<std::string_view> name = fields.rows().value(row, 1);
  return name ? std::string(*name) : std::string();
}

void TForm1::Disp_sp_depends(const ObjectName& name, int direction) {
  runTask({.work = [this, name, direction, server = serverVersion_](TaskContext& task) -> Task::GuiStep {
    auto rows = std::make_shared<connection::RowSet>(dependencyRows(task.connection(), name, direction, server));
    return [this, rows] { showDependencyRows(std::move(*rows)); };
  }});
}

void TForm1::showDependencyRows(connection::RowSet rows) {
  ADOQuery2->dataSet().showRows(std::move(rows));
  StatusBar1->setPanelText(kRecordCountPanel, QString::number(ADOQuery2->dataSet().recordCount()));
}

void TForm1::Button13Click() {
  runTask({.work = [this](TaskContext& task) -> Task::GuiStep {
    auto rows = std::make_shared<connection::RowSet>(queryRows(task.connection(), "ADOQuery3", admin::onlineUsersQuery()));
    return [this, rows] { ADOQuery3->dataSet().showRows(std::move(*rows)); };
  }});
}

}  // namespace makeddl::app
