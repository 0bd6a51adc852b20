#include "app/data_set_model.h"

namespace makeddl::app {

DataSetModel::DataSetModel(const QString& dataSetName, QObject* parent) : QAbstractTableModel(parent) {
  setObjectName(dataSetName);
}

void DataSetModel::setRows(QStringList titles, std::vector<QStringList> rows) {
  beginResetModel();
  titles_ = std::move(titles);
  rows_ = std::move(rows);
  endResetModel();
}

int DataSetModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int DataSetModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(titles_.size());
}

QVariant DataSetModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid()) return {};
  const QStringList& row = rows_.at(index.row());
  return index.column() < row.size() ? QVariant(row.at(index.column())) : QVariant();
}

QVariant DataSetModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Vertical) return section + 1;
  return section < titles_.size() ? QVariant(titles_.at(section)) : QVariant();
}

}  // namespace makeddl::app
