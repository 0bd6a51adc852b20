// TForm1: the query runner of the show-data page. The statement runs on the worker and its
// rows arrive in the grid as they are read; every row set of a batch can be reached through the
// tabs over the grid; a statement the server refuses gets the fixed message with the server's
// reason after it.

#include <QPlainTextEdit>
#include <QTabBar>
#include <QTableView>
#include <QTextCursor>
#include <algorithm>

#include "app/data_set_model.h"
#include "app/desktop.h"
#include "app/status_bar.h"
#include "app/tform1.h"
#include "common/strings.h"
#include "scripts/query_text.h"

namespace makeddl::app {

namespace {

constexpr int kRecordCountPanel = 3;

const QString kWrongStatement = QStringLiteral("错误的SQL语句,请检查编辑框内语句是否正确有！");

QString statementDoneMessage(long long affected) {
  if (affected < 0) return QStringLiteral("SQL语句已执行！");
  return QStringLiteral("SQL语句已执行，%1 条记录受影响！").arg(affected);
}

}  // namespace

// The text of the editor that runs: the selection when there is one, else the whole text.
std::string TForm1::editorStatementText() const {
  const QTextCursor cursor = Memo2->textCursor();
  if (!cursor.hasSelection()) return Memo2->toPlainText().toStdString();
  QString selected = cursor.selectedText();
  selected.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
  return selected.toStdString();
}

// A statement that returns rows shows them; one that only changes data or the schema is
// reported as done with the rows it affected; one the server refuses gets the fixed message.
void TForm1::Button8Click() {
  const std::string text = editorStatementText();
  if (trimmed(text).empty()) return;
  runTask({.work = [this, text](TaskContext& task) -> Task::GuiStep {
             connection::DataSet query(task.connection(), "ADOQuery1");
             query.setPieceSink(showPiecesIn(task, ADOQuery1));
             auto outcome = std::make_shared<QueryOutcome>(runEditorQuery(query, text));
             return [this, outcome] { showQueryOutcome(*outcome); };
           },
           .cancelled = [this] { ADOQuery1->abandonLoading(); },
           .waitCursor = true});
}

bool TForm1::Memo2KeyDown(int key, Qt::KeyboardModifiers) {
  if (key != Qt::Key_F5) return false;
  Button8Click();
  return true;
}

// On the worker: runs the statement on the data set, keeping every row set of the batch.
TForm1::QueryOutcome TForm1::runEditorQuery(connection::DataSet& query, const std::string& text) {
  QueryOutcome outcome;
  query.setKeepEveryRowSet(true);
  try {
    outcome.affected = scripts::runEditorStatement(query, text);
  } catch (const connection::DatabaseError& error) {
    outcome.error = error.what();
  }
  outcome.moreRowSets = query.takeMoreRowSets();
  return outcome;
}

void TForm1::showQueryOutcome(QueryOutcome& outcome) {
  showMoreResults(outcome.moreRowSets);
  if (outcome.error) {
    ADOQuery1->abandonLoading();
    ADOQuery1->dataSet().close();
    noteFailure(QString::fromStdString(*outcome.error));
    desktop_.notify(kWrongStatement + QLatin1Char('\n') + QString::fromStdString(*outcome.error), MessageIcon::Error);
    return;
  }
  if (outcome.affected) {
    ADOQuery1->abandonLoading();
    ADOQuery1->dataSet().close();
    StatusBar1->setPanelText(kRecordCountPanel, QString::number(std::max(*outcome.affected, 0LL)));
    desktop_.notify(statementDoneMessage(*outcome.affected), MessageIcon::Warning);
    return;
  }
  if (outcome.rows)
    ADOQuery1->dataSet().showRows(std::move(*outcome.rows));
  else
    ADOQuery1->finishLoading();
  StatusBar1->setPanelText(kRecordCountPanel, QString::number(ADOQuery1->dataSet().recordCount()));
}

// The first row set stays in ADOQuery1; the others get a tab each over the grid.
void TForm1::showMoreResults(std::vector<connection::RowSet>& rowSets) {
  ResultTabs->setCurrentIndex(0);
  for (DataSetModel* model : MoreResults) model->deleteLater();
  MoreResults.clear();
  while (ResultTabs->count() > 1) ResultTabs->removeTab(ResultTabs->count() - 1);
  for (connection::RowSet& rows : rowSets) {
    auto* model = new DataSetModel(ADOConnection1, QStringLiteral("结果%1").arg(MoreResults.size() + 2), this);
    model->dataSet().showRows(std::move(rows));
    MoreResults.push_back(model);
    ResultTabs->addTab(QStringLiteral("结果 %1").arg(MoreResults.size() + 1));
  }
  ResultTabs->setVisible(!MoreResults.empty());
}

void TForm1::showResult(int index) {
  DataSetModel* model = index <= 0 || index > static_cast<int>(MoreResults.size()) ? ADOQuery1 : MoreResults[index - 1];
  if (DBGrid1->model() != model) model->attachGrid(DBGrid1);
}

}  // namespace makeddl::app
