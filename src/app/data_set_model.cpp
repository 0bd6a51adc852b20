#include "app/data_set_model.h"

#include <sql.h>
#include <sqlext.h>

#include <QFont>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPalette>
#include <QTableView>
#include <algorithm>
#include <charconv>
#include <map>
#include <memory>

#include "app/task_runner.h"
#include "common/strings.h"

namespace makeddl::app {

namespace {

const QString kNullText = QStringLiteral("NULL");
const QString kCurrentRowMark = QStringLiteral("▶");

bool isNumeric(int sqlType) {
  switch (sqlType) {
    case SQL_TINYINT: case SQL_SMALLINT: case SQL_INTEGER: case SQL_BIGINT: case SQL_DECIMAL:
    case SQL_NUMERIC: case SQL_REAL: case SQL_FLOAT: case SQL_DOUBLE: case SQL_BIT:
      return true;
    default:
      return false;
  }
}

double numberOf(std::string_view text) {
  double number = 0;
  std::from_chars(text.data(), text.data() + text.size(), number);
  return number;
}

// Text order without regard to ASCII letter case, then byte order, so that the order is total.
int compareText(std::string_view a, std::string_view b) {
  const std::size_t common = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < common; ++i) {
    const auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    const int fx = (x >= 'A' && x <= 'Z') ? x + 32 : x, fy = (y >= 'A' && y <= 'Z') ? y + 32 : y;
    if (fx != fy) return fx < fy ? -1 : 1;
  }
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return a.compare(b);
}

// A cell as spreadsheets read it from tab-separated text.
QString spreadsheetCell(const QString& text) {
  if (!text.contains(QLatin1Char('\t')) && !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')) &&
      !text.contains(QLatin1Char('"')))
    return text;
  QString quotedText = text;
  quotedText.replace(QLatin1Char('"'), QStringLiteral("\"\""));
  return QLatin1Char('"') + quotedText + QLatin1Char('"');
}

}  // namespace

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
  connect(grid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) { setCurrentRow(current.isValid() ? current.row() : -1); });
  applyColumnWidths(grid);
}

void DataSetModel::applyColumnWidths(QTableView* grid) const {
  for (std::size_t i = 0; i < gridColumns_.size(); ++i)
    if (gridColumns_[i].width >= 0) grid->setColumnWidth(static_cast<int>(i), gridColumns_[i].width);
}

void DataSetModel::setCurrentRow(int row) {
  const int previous = currentRow_;
  currentRow_ = row;
  for (int changed : {previous, row})
    if (changed >= 0 && changed < rowCount()) emit headerDataChanged(Qt::Vertical, changed, changed);
}

void DataSetModel::refresh() {
  beginResetModel();
  shownFields_.clear();
  sortedRows_.clear();
  currentRow_ = -1;
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

void DataSetModel::startLoading(std::vector<connection::ColumnInfo> columns) {
  dataSet_.beginRows(std::move(columns));
  loading_ = true;
  refresh();
}

void DataSetModel::appendLoaded(connection::RowTable&& piece) {
  if (piece.empty()) return;
  const int first = rowCount();
  beginInsertRows(QModelIndex(), first, first + static_cast<int>(piece.size()) - 1);
  dataSet_.appendRows(std::move(piece));
  endInsertRows();
}

void DataSetModel::finishLoading() {
  dataSet_.endRows();
  loading_ = false;
}

void DataSetModel::abandonLoading() {
  if (!loading_) return;
  loading_ = false;
  dataSet_.close();
}

std::size_t DataSetModel::dataRow(int gridRow) const {
  return sortedRows_.empty() ? static_cast<std::size_t>(gridRow) : sortedRows_.at(gridRow);
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
  if (field < 0) return {};
  const std::optional<std::string_view> value = dataSet_.rows().value(dataRow(index.row()), field);
  switch (role) {
    case Qt::DisplayRole:
      return displayText(dataSet_.columns()[field], value);
    case Qt::ForegroundRole:
      return value ? QVariant() : QVariant(QPalette().color(QPalette::Disabled, QPalette::Text));
    case Qt::FontRole: {
      if (value) return {};
      QFont italic;
      italic.setItalic(true);
      return italic;
    }
    default:
      return {};
  }
}

QVariant DataSetModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Vertical) return section == currentRow_ ? kCurrentRowMark : QString();
  if (!gridColumns_.empty()) return gridColumns_.at(section).title;
  return QString::fromStdString(dataSet_.columns().at(shownFields_.at(section)).name);
}

void DataSetModel::sort(int column, Qt::SortOrder order) {
  if (loading_ || column >= columnCount()) return;
  emit layoutAboutToBeChanged();
  sortedRows_.clear();
  const int field = column < 0 ? -1 : shownFields_.at(column);
  if (field >= 0) {
    const connection::RowTable& rows = dataSet_.rows();
    sortedRows_.resize(rows.size());
    for (std::uint32_t i = 0; i < sortedRows_.size(); ++i) sortedRows_[i] = i;
    // The keys are read once, not at every comparison.
    std::vector<std::optional<std::string_view>> keys(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) keys[i] = rows.value(i, field);
    const bool numeric = isNumeric(dataSet_.columns()[field].sqlType);
    std::vector<double> numbers;
    if (numeric)
      for (const auto& key : keys) numbers.push_back(key ? numberOf(*key) : 0);
    auto less = [&](std::uint32_t a, std::uint32_t b) {
      if (!keys[a] || !keys[b]) return !keys[a] && keys[b];
      return numeric ? numbers[a] < numbers[b] : compareText(*keys[a], *keys[b]) < 0;
    };
    if (order == Qt::AscendingOrder)
      std::stable_sort(sortedRows_.begin(), sortedRows_.end(), less);
    else
      std::stable_sort(sortedRows_.begin(), sortedRows_.end(), [&](auto a, auto b) { return less(b, a); });
  }
  emit layoutChanged();
}

QString displayText(const connection::ColumnInfo& column, const std::optional<std::string_view>& value) {
  if (!value) return kNullText;
  if (column.kind == connection::FieldKind::Binary)
    return QStringLiteral("0x") +
           QString::fromLatin1(QByteArray(value->data(), static_cast<qsizetype>(value->size())).toHex().toUpper());
  return QString::fromUtf8(value->data(), static_cast<qsizetype>(value->size()));
}

QString selectedCellsText(const QTableView& grid) {
  const QModelIndexList selected = grid.selectionModel() ? grid.selectionModel()->selectedIndexes() : QModelIndexList();
  if (selected.isEmpty()) return {};
  std::map<int, std::map<int, QString>> cells;  // row, column, text
  std::map<int, bool> columns;
  for (const QModelIndex& index : selected) {
    cells[index.row()][index.column()] = index.data().toString();
    columns[index.column()] = true;
  }
  QStringList lines;
  QStringList headings;
  for (const auto& [column, unused] : columns)
    headings << spreadsheetCell(grid.model()->headerData(column, Qt::Horizontal).toString());
  lines << headings.join(QLatin1Char('\t'));
  for (const auto& [row, rowCells] : cells) {
    QStringList line;
    for (const auto& [column, unused] : columns) {
      const auto cell = rowCells.find(column);
      line << (cell == rowCells.end() ? QString() : spreadsheetCell(cell->second));
    }
    lines << line.join(QLatin1Char('\t'));
  }
  return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

connection::RowPieceSink showPiecesIn(const TaskContext& task, DataSetModel* model) {
  auto started = std::make_shared<bool>(false);  // touched on the worker only
  return [&task, model, started](const std::vector<connection::ColumnInfo>& columns, connection::RowTable&& piece) {
    auto rows = std::make_shared<connection::RowTable>(std::move(piece));
    const bool first = !*started;
    *started = true;
    task.onGui([model, rows, first, columns = first ? columns : std::vector<connection::ColumnInfo>()]() mutable {
      if (first) model->startLoading(std::move(columns));
      model->appendLoaded(std::move(*rows));
    });
  };
}

}  // namespace makeddl::app
