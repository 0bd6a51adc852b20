#pragma once
// A grid's view of a data set: a read-only table model over the rows the data set has read.
// Its objectName is the data set's name; it follows every open and close of the data set.
// Rows read on the worker arrive in pieces and show as they come. A click on a heading sorts
// the rows shown (never the data set itself, whose order the scripts rely on). NULL shows as
// a grey "NULL", apart from any text. The row indicator marks the grid's current row.

#include <QAbstractTableModel>
#include <QString>
#include <vector>

#include "connection/data_access.h"

class QTableView;

namespace makeddl::app {

class TaskContext;

// A column a grid shows: the field, its title and width (-1: the grid's default).
struct GridColumn {
  QString field;
  QString title;
  int width = -1;
  bool centred = false;
};

class DataSetModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  DataSetModel(connection::Connection& connection, const QString& dataSetName, QObject* parent);

  connection::DataSet& dataSet() { return dataSet_; }
  const connection::DataSet& dataSet() const { return dataSet_; }

  // The columns to show, in order; without any, every field shows under its own name.
  void setGridColumns(std::vector<GridColumn> columns);
  // Shows the model in a grid and gives the grid's columns their widths after every refresh.
  void attachGrid(QTableView* grid);

  // Rows read elsewhere, shown as they arrive: startLoading() closes the data set and gives it
  // the columns, appendLoaded() adds a piece of rows, finishLoading() opens the data set with
  // them all; abandonLoading() closes it again when the reading stopped before its end.
  void startLoading(std::vector<connection::ColumnInfo> columns);
  void appendLoaded(connection::RowTable&& piece);
  void finishLoading();
  void abandonLoading();
  bool isLoading() const { return loading_; }

  // The data set's row shown in a grid row (rows may be sorted).
  std::size_t dataRow(int gridRow) const;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  // Sorts the rows shown by a column, without a query: numbers by value, other values as text
  // without regard to letter case, NULL first. A column of -1 restores the server's order.
  void sort(int column, Qt::SortOrder order) override;

 private:
  void refresh();
  void applyColumnWidths(QTableView* grid) const;
  void setCurrentRow(int row);

  connection::DataSet dataSet_;
  std::vector<GridColumn> gridColumns_;
  std::vector<int> shownFields_;  // field index of each shown column, -1 when the field is missing
  std::vector<std::uint32_t> sortedRows_;  // the data set's row of each grid row; empty: unsorted
  int currentRow_ = -1;                    // the row the indicator marks
  bool loading_ = false;
};

// The text a grid shows for a value: binary values as 0x hexadecimal, NULL as "NULL" (which
// the grid draws apart from text).
QString displayText(const connection::ColumnInfo& column, const std::optional<std::string_view>& value);

// The cells selected in a grid as tab-separated text with a line of column headings first, as
// spreadsheets read it: a cell holding a tab, a line break or a double quote goes in double
// quotes, its quotes doubled. Empty when nothing is selected.
QString selectedCellsText(const QTableView& grid);

// A sink for a data set on the worker that shows its rows in the model as they arrive.
connection::RowPieceSink showPiecesIn(const TaskContext& task, DataSetModel* model);

}  // namespace makeddl::app
