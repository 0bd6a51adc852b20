#pragma once
// The names in the window's sorted lists (the object lists, the same-name list), ordered as
// the server's collation orders them: without regard to letter case ("alpha", "Beta", "Zeta"),
// names that differ only in case in a fixed order.

#include <QListWidgetItem>
#include <QStringList>

class QListWidget;

namespace makeddl::app {

class ObjectListItem : public QListWidgetItem {
 public:
  using QListWidgetItem::QListWidgetItem;
  bool operator<(const QListWidgetItem& other) const override;
};

// Replaces the list's entries by the names.
void setObjectNames(QListWidget* list, const QStringList& names);

}  // namespace makeddl::app
