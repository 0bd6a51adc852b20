#pragma once
// A grid's view of a data set: a read-only table model over the rows the data set has read.
// Its objectName is the data set's name; it follows every open and close of the data set.

#include <QAbstractTableModel>
#include <QString>
#include <vector>

#include "connection/data_access.h"

class QTableView;

namespace makeddl::app {

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

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  void refresh();
  void applyColumnWidths(QTableView* grid) const;

  connection::DataSet dataSet_;
  std::vector<GridColumn> gridColumns_;
  std::vector<int> shownFields_;  // field index of each shown column, -1 when the field is missing
};

// The text a grid shows for a value: empty for NULL, binary values as 0x hexadecimal.
QString displayText(const connection::ColumnInfo& column, const std::optional<std::string>& value);

}  // namespace makeddl::app
