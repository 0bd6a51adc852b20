#include "app/object_list.h"

#include <QListWidget>

namespace makeddl::app {

bool ObjectListItem::operator<(const QListWidgetItem& other) const {
  const int order = text().compare(other.text(), Qt::CaseInsensitive);
  return order != 0 ? order < 0 : text() < other.text();
}

namespace {

constexpr int kSchemaRole = Qt::UserRole;
constexpr int kNameRole = Qt::UserRole + 1;

}  // namespace

void setObjectNames(QListWidget* list, const std::vector<ObjectName>& objects) {
  list->clear();
  for (const ObjectName& object : objects) {
    auto* item = new ObjectListItem(QString::fromStdString(shownName(object)));
    item->setData(kSchemaRole, QString::fromStdString(object.schema));
    item->setData(kNameRole, QString::fromStdString(object.name));
    list->addItem(item);
  }
}

ObjectName listedObject(const QListWidgetItem& item) {
  const QVariant name = item.data(kNameRole);
  if (!name.isValid()) return ObjectName(item.text().toStdString());
  return ObjectName(item.data(kSchemaRole).toString().toStdString(), name.toString().toStdString());
}

}  // namespace makeddl::app
