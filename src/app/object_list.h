#pragma once
// The names in the window's sorted lists (the object lists, the same-name list), ordered as
// the server's collation orders them: without regard to letter case ("alpha", "Beta", "Zeta"),
// names that differ only in case in a fixed order.

#include <QListWidgetItem>
#include <QStringList>
#include <vector>

#include "common/object_name.h"

class QListWidget;

namespace makeddl::app {

class ObjectListItem : public QListWidgetItem {
 public:
  using QListWidgetItem::QListWidgetItem;
  bool operator<(const QListWidgetItem& other) const override;
};

// Replaces the list's entries by the objects, each shown by its name (with its schema unless in
// dbo) and holding the object itself.
void setObjectNames(QListWidget* list, const std::vector<ObjectName>& objects);

// The object an entry of such a list holds.
ObjectName listedObject(const QListWidgetItem& item);

}  // namespace makeddl::app
