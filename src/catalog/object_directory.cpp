#include "catalog/object_directory.h"

#include <functional>

#include "common/strings.h"

namespace makeddl::catalog {

namespace {

const CatalogObject* firstWhere(const std::vector<CatalogObject>& objects,
                                const std::function<bool(const CatalogObject&)>& matches) {
  for (const CatalogObject& object : objects)
    if (matches(object)) return &object;
  return nullptr;
}

}  // namespace

std::vector<CatalogObject> readObjectDirectory(connection::DataSet& query, const ServerVersion& server) {
  query.query("select o.id, o.name, o.xtype, o.parent_obj, " + ownerNameFunction(server) +
              "(o.uid) from sysobjects o order by o.name");
  std::vector<CatalogObject> objects;
  for (const connection::Row& row : query.rows()) {
    const auto number = [&row](std::size_t i) { return row.at(i) ? std::stoi(*row[i]) : 0; };
    objects.push_back({number(0), ObjectName(row.at(4).value_or(""), row.at(1).value_or("")),
                       trimmed(row.at(2).value_or("")), number(3)});
  }
  return objects;
}

const CatalogObject* findObject(const std::vector<CatalogObject>& objects, const ObjectName& name) {
  if (const CatalogObject* exact =
          firstWhere(objects, [&](const CatalogObject& o) { return o.name == name; }))
    return exact;
  if (const CatalogObject* collated = firstWhere(objects, [&](const CatalogObject& o) {
        return equalsIgnoringCase(o.name.schema, name.schema) && equalsIgnoringCase(o.name.name, name.name);
      }))
    return collated;
  // A bare name that dbo does not have: the object of another owner, as SQL Server 2000's lists
  // name every object bare.
  if (!name.inDbo()) return nullptr;
  if (const CatalogObject* owned =
          firstWhere(objects, [&](const CatalogObject& o) { return o.name.name == name.name; }))
    return owned;
  return firstWhere(objects,
                    [&](const CatalogObject& o) { return equalsIgnoringCase(o.name.name, name.name); });
}

const CatalogObject* findNamedObject(const std::vector<CatalogObject>& objects, std::string_view text) {
  if (const CatalogObject* shown =
          firstWhere(objects, [&](const CatalogObject& o) { return shownName(o.name) == text; }))
    return shown;
  if (const CatalogObject* shown = firstWhere(
          objects, [&](const CatalogObject& o) { return equalsIgnoringCase(shownName(o.name), text); }))
    return shown;
  const std::optional<ObjectName> parsed = parseObjectName(text);
  return parsed ? findObject(objects, *parsed) : nullptr;
}

}  // namespace makeddl::catalog
