#include "app/object_list.h"

#include <QListWidget>

namespace makeddl::app {

bool ObjectListItem::operator<(const QListWidgetItem& other) const {
  const int order = text().compare(other.text(), Qt::CaseInsensitive);
  return order != 0 ? order < 0 : text() < other.text();
}

void setObjectNames(QListWidget* list, const QStringList& names) {
  list->clear();
  for (const QString& name : names) list->addItem(new ObjectListItem(name));
}

}  // namespace makeddl::app
