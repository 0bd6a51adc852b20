// TForm1: CREATE TABLE and INSERT scripts, the query editor, and the script pane's copy and
// save.

#include <QCheckBox>
#include <QEvent>
#include <QKeyEvent>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <algorithm>

#include "app/object_list.h"
#include "app/data_set_model.h"
#include "app/desktop.h"
#include "app/status_bar.h"
#include "app/tform1.h"
#include "common/strings.h"
#include "scripts/create_script.h"
#include "scripts/script_file.h"
#include "scripts/script_text.h"

namespace makeddl::app {

namespace {

constexpr int kTableTab = 0;

const QStringList kScriptFileTypes{QStringLiteral("SQL脚本文件(*.sql)"), QStringLiteral("文本文件(*.txt)")};
const QString kScriptFileSuffix = QStringLiteral("sql");

std::string utf8(const QString& text) { return text.toStdString(); }

// Calls the handler for events of one type on a widget; the handler says whether it took the
// event or leaves it to the widget.
class EventHook : public QObject {
 public:
  EventHook(QObject* watched, QEvent::Type type, std::function<bool(QEvent*)> handler)
      : QObject(watched), type_(type), handler_(std::move(handler)) {
    watched->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == type_ && handler_(event)) return true;
    return QObject::eventFilter(watched, event);
  }

 private:
  QEvent::Type type_;
  std::function<bool(QEvent*)> handler_;
};

// Hands the run's reports to the progress bar, from the worker.
scripts::Progress progressOf(const TaskContext& task) {
  return [&task](int done, int total) { task.progress(done, total); };
}

QString unencodableQuestion(Encoding encoding, const std::string& characters) {
  return QStringLiteral("脚本中有%1编码无法表示的字符：%2\n按%1保存会丢失这些字符。是否改用UTF-8编码保存？")
      .arg(QString::fromLatin1(displayName(encoding)), QString::fromStdString(characters));
}

}  // namespace

void TForm1::connectScriptCommands() {
  scripts::loadScriptBatch(QueryMakeDDL->dataSet());
  connectCommand(Button7, &TForm1::Button7Click);
  connectCommand(Button11, &TForm1::Button11Click);
  connectCommand(Button14, &TForm1::Button14Click);
  connectCommand(Button8, &TForm1::Button8Click);
  connectCommand(Button1, &TForm1::Button1Click);
  connectCommand(Button12, &TForm1::Button12Click);
  new EventHook(Memo2, QEvent::KeyPress, [this](QEvent* event) {
    const auto* key = static_cast<QKeyEvent*>(event);
    bool handled = false;
    runCommand([&] { handled = Memo2KeyDown(key->key(), key->modifiers()); });
    return handled;
  });
  // After the editor's own double-click handling, which selects a word.
  new EventHook(Memo1->viewport(), QEvent::MouseButtonDblClick, [this](QEvent*) {
    QMetaObject::invokeMethod(
        this, [this] { Memo1DblClick(); }, Qt::QueuedConnection);
    return false;
  });
}

// The table commands act only on the table tab, with tables listed and one of them current.
bool TForm1::tableCommandAllowed() const {
  return PageControl2->currentIndex() == kTableTab && ListBoxTable->count() > 0 &&
         ListBoxTable->currentItem();
}

// The selected tables in list order, whatever order they were selected in.
std::vector<ObjectName> TForm1::selectedTableNames() const {
  std::vector<ObjectName> names;
  for (int i = 0; i < ListBoxTable->count(); ++i)
    if (ListBoxTable->item(i)->isSelected()) names.push_back(listedObject(*ListBoxTable->item(i)));
  return names;
}

// The export page with an empty script pane, as every script run starts: a run that fails
// leaves the pane empty.
void TForm1::startScriptRun() {
  PageControl1->setCurrentWidget(TabSheet1);
  clearScriptPane();
}

void TForm1::showScript(const std::vector<std::string>& lines) {
  setScriptPaneText({scripts::scriptPaneText(lines), Encoding::Gbk});
}

// On the table tab the selected tables; on the others the object picked in their list.
std::vector<ObjectName> TForm1::createScriptNames() const {
  if (PageControl2->currentIndex() == kTableTab) return selectedTableNames();
  const QListWidget* lists[] = {ListBoxTable, ListBoxView, ListBoxStore_Prod, ListBoxFunction};
  const QList<QListWidgetItem*> picked = lists[PageControl2->currentIndex()]->selectedItems();
  if (picked.isEmpty()) return {};
  return {listedObject(*picked.front())};
}

// The catalogue is read with a data set of its own: QueryMakeDDL keeps the script batch.
void TForm1::Button7Click() {
  if (PageControl2->currentIndex() == kTableTab && !tableCommandAllowed()) return;
  const std::vector<ObjectName> names = createScriptNames();
  if (PageControl2->currentIndex() != kTableTab && names.empty()) return;
  const scripts::ScriptOptions options{CheckBoxRemarks->isChecked()};
  startScriptRun();
  runScriptTask([names, options, server = serverVersion_](TaskContext& task) {
    connection::DataSet catalog(task.connection(), "SchemaQuery");
    return scripts::MakeDDL(catalog, {names, false, server}, options, progressOf(task));
  });
}

// The script of a run that goes on in the worker, shown when the run has ended; a failed run
// leaves the pane empty. The grid shows the rows the run read last, when it read any.
void TForm1::runScriptTask(std::function<std::vector<std::string>(TaskContext&)> script,
                           std::function<void()> afterwards) {
  runTask({.work = [this, script, afterwards](TaskContext& task) -> Task::GuiStep {
             auto lines = std::make_shared<std::vector<std::string>>(script(task));
             return [this, lines, afterwards] {
               if (afterwards) afterwards();
               showScript(*lines);
             };
           },
           .waitCursor = true,
           .progressBar = true});
}

void TForm1::Button11Click() {
  if (!tableCommandAllowed()) return;
  const std::vector<ObjectName> tables = selectedTableNames();
  startScriptRun();
  auto lastTable = std::make_shared<std::optional<connection::RowSet>>();
  runScriptTask(
      [lastTable, tables](TaskContext& task) {
        connection::DataSet query(task.connection(), "ADOQuery1");
        auto lines = scripts::Mark_InsertSQL(query, tables, scripts::InsertRows::WholeTable, progressOf(task));
        if (query.isOpen()) *lastTable = query.takeRows();
        return lines;
      },
      [this, lastTable] {
        if (*lastTable) ADOQuery1->dataSet().showRows(std::move(**lastTable));
      });
}

// The query of the editor first, as "执行SQL" runs it, then its rows as INSERT statements
// under the current table's name.
void TForm1::Button14Click() {
  if (!tableCommandAllowed()) return;
  const std::string text = editorStatementText();
  const std::vector<ObjectName> table{currentTableName()};
  runTask({.work = [this, text, table](TaskContext& task) -> Task::GuiStep {
             connection::DataSet query(task.connection(), "ADOQuery1");
             auto outcome = std::make_shared<QueryOutcome>(runEditorQuery(query, text));
             std::vector<std::string> lines;
             std::optional<std::string> scriptError;
             try {
               lines = scripts::Mark_InsertSQL(query, table, scripts::InsertRows::CurrentResult, progressOf(task));
             } catch (const connection::DatabaseError& error) {
               scriptError = error.what();
             }
             if (!outcome->error && !outcome->affected) outcome->rows = query.takeRows();
             return [this, outcome, lines, scriptError] {
               showQueryOutcome(*outcome);
               startScriptRun();
               if (scriptError) throw connection::DatabaseError(*scriptError);
               showScript(lines);
             };
           },
           .waitCursor = true,
           .progressBar = true});
}

void TForm1::Button1Click() {
  Memo1->selectAll();
  desktop_.setClipboardText(Memo1->toPlainText());
}

void TForm1::Memo1DblClick() { Memo1->selectAll(); }

void TForm1::Button12Click() {
  const ScriptPaneText pane = scriptPaneText();
  if (trimmed(pane.utf8).empty()) return;
  const std::optional<std::string> bytes = scriptFileBytes(pane);
  if (!bytes) return;
  const std::optional<SaveFileChoice> choice = desktop_.askSaveFile(kScriptFileTypes, kScriptFileSuffix);
  if (!choice) return;
  scripts::writeScriptFile(utf8(choice->path), *bytes);
}

// The pane's bytes in its encoding. Characters that encoding lacks are never dropped in silence:
// the user may save in UTF-8 instead, or not at all.
std::optional<std::string> TForm1::scriptFileBytes(const ScriptPaneText& pane) {
  try {
    return paneBytes(pane);
  } catch (const UnencodableText& error) {
    if (!desktop_.askYesNo(kMessageCaption, unencodableQuestion(pane.encoding, error.characters())))
      return std::nullopt;
    return paneUtf8Bytes(pane);
  }
}

}  // namespace makeddl::app
