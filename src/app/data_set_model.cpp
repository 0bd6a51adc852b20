#include "app/data_set_model.h"

#include <QHeaderView>
#include <QTableView>

#include "common/strings.h"

namespace makeddl::app {

DataSetModel::DataSetModel(connection::Connection& connection, const QString& dataSetName, QObject* parent)
    : QAbstractTableModel(parent), dataSet_(connection, dataSetName.toStdString()) {
  setObjectName(dataSetName);
  dataSet_.setChangeListener([this] { refresh(); });
}

void DataSetModel::setGridColumns(std::vector<GridColumn> columns) {
  gridColumns_ = std::move(columns);
  refresh();
}

void DataSetModel::attachGrid(QTableView* grid) {
  grid->setModel(this);
  connect(this, &QAbstractItemModel::modelReset, grid, [this, grid] { applyColumnWidths(grid); });
  applyColumnWidths(grid);
}

void DataSetModel::applyColumnWidths(QTableView* grid) const {
  for (std::size_t i = 0; i < gridColumns_.size(); ++i)
    if (gridColumns_[i].width >= 0) grid->setColumnWidth(static_cast<int>(i), gridColumns_[i].width);
}

void DataSetModel::refresh() {
  beginResetModel();
  shownFields_.clear();
  const auto& fields = dataSet_.columns();
  if (gridColumns_.empty()) {
    for (std::size_t i = 0; i < fields.size(); ++i) shownFields_.push_back(static_cast<int>(i));
  } else {
    for (const GridColumn& column : gridColumns_) {
      int found = -1;
      for (std::size_t i = 0; i < fields.size() && found < 0; ++i)
        if (equalsIgnoringCase(fields[i].name, column.field.toStdString())) found = static_cast<int>(i);
      shownFields_.push_back(found);
    }
  }
  endResetModel();
}

int DataSetModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(dataSet_.rows().size());
}

int DataSetModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(shownFields_.size());
}

QVariant DataSetModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  const int field = shownFields_.at(index.column());
  if (role == Qt::TextAlignmentRole && !gridColumns_.empty() && gridColumns_[index.column()].centred)
    return int(Qt::AlignCenter);
  if (role != Qt::DisplayRole || field < 0) return {};
  return displayText(dataSet_.columns()[field], dataSet_.rows()[index.row()][field]);
}

QVariant DataSetModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Vertical) return QString();  // the row indicator column, as an empty header
  if (!gridColumns_.empty()) return gridColumns_.at(section).title;
  return QString::fromStdString(dataSet_.columns().at(shownFields_.at(section)).name);
}

QString displayText(const connection::ColumnInfo& column, const std::optional<std::string>& value) {
  if (!value) return QString();
  if (column.kind == connection::FieldKind::Binary)
    return QStringLiteral("0x") + QString::fromLatin1(QByteArray::fromStdString(*value).toHex().toUpper());
  return QString::fromStdString(*value);
}

}  // namespace makeddl::app
