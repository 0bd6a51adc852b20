#pragma once
// A read-only table model over the rows a data set has already read; the grids show data
// sets through it. Its objectName is the data set's name.

#include <QAbstractTableModel>
#include <QStringList>
#include <vector>

namespace makeddl::app {

class DataSetModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  DataSetModel(const QString& dataSetName, QObject* parent);

  // Replaces what the grid shows: column titles and rows of display texts.
  void setRows(QStringList titles, std::vector<QStringList> rows);
  void clear() { setRows({}, {}); }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  QStringList titles_;
  std::vector<QStringList> rows_;
};

}  // namespace makeddl::app
