#include "engine/storage.hpp"

#include <algorithm>
#include <atomic>
#include <utility>

namespace sandbox {

namespace {

std::atomic<uint64_t> lastSchemaStamp{0};

// Tables are kept by name and schema; those of dbo by their lower-case name alone.
std::string tableKey(std::string_view name, int schemaId) {
    std::string key = toLower(trimRightBlanks(name));
    if (schemaId != kDboSchemaId) key += "\x1f" + std::to_string(schemaId);
    return key;
}

}  // namespace

Database::Database(int dbid, std::string name, DateTime created)
    : dbid_(dbid), name_(std::move(name)), created_(created), schemaStamp_(++lastSchemaStamp),
      catalogCache_(makeCatalogCache()) {}

void Database::noteSchemaChange() { schemaStamp_ = ++lastSchemaStamp; }

std::optional<size_t> Table::columnIndex(std::string_view columnName) const {
    for (size_t i = 0; i < columns.size(); ++i)
        if (compareCollated(columns[i].name, columnName) == 0) return i;
    return std::nullopt;
}

const Column* identityColumn(const Table& table) {
    auto found = std::find_if(table.columns.begin(), table.columns.end(), [](const Column& c) { return c.identity; });
    return found == table.columns.end() ? nullptr : &*found;
}

std::shared_ptr<Table> Database::table(std::string_view name, int schemaId) const {
    auto found = tables_.find(tableKey(name, schemaId));
    return found == tables_.end() ? nullptr : found->second;
}

std::shared_ptr<Table> Database::tableById(int id) const {
    for (const auto& [key, table] : tables_)
        if (table->id == id) return table;
    return nullptr;
}

std::vector<std::pair<std::shared_ptr<Table>, const ForeignKey*>> Database::referencesTo(int id) const {
    std::vector<std::pair<std::shared_ptr<Table>, const ForeignKey*>> found;
    for (const auto& entry : tables_)
        for (const ForeignKey& key : entry.second->foreignKeys)
            if (key.referencedTableId == id) found.emplace_back(entry.second, &key);
    return found;
}

SchemaObject* Database::object(std::string_view name, int schemaId) {
    for (auto& object : objects_)
        if (object.schemaId == schemaId && compareCollated(object.name, name) == 0) return &object;
    return nullptr;
}

SchemaObject* Database::objectById(int id) {
    return const_cast<SchemaObject*>(std::as_const(*this).objectById(id));
}

const SchemaObject* Database::objectById(int id) const {
    auto found = positionById_.find(id);
    return found == positionById_.end() ? nullptr : &objects_[found->second];
}

void Database::indexObjects() {
    positionById_.clear();
    for (size_t i = 0; i < objects_.size(); ++i) positionById_[objects_[i].id] = i;
}

void Database::addObject(SchemaObject object) {
    positionById_[object.id] = objects_.size();
    objects_.push_back(std::move(object));
    noteSchemaChange();
}

void Database::keepFirstObjects(size_t count) {
    if (count < objects_.size()) objects_.erase(objects_.begin() + static_cast<std::ptrdiff_t>(count), objects_.end());
    indexObjects();
    noteSchemaChange();
}

void Database::addTable(std::shared_ptr<Table> table) {
    std::string key = tableKey(table->name, table->schemaId);
    tables_[key] = std::move(table);
    noteSchemaChange();
}

void Database::dropObject(int id) {
    std::vector<int> doomed{id};
    for (const auto& object : objects_)
        if (object.parentId == id) doomed.push_back(object.id);
    auto isDoomed = [&doomed](int x) { return std::find(doomed.begin(), doomed.end(), x) != doomed.end(); };
    for (auto it = tables_.begin(); it != tables_.end();)
        it = isDoomed(it->second->id) ? tables_.erase(it) : std::next(it);
    std::erase_if(objects_, [&](const SchemaObject& o) { return isDoomed(o.id); });
    indexObjects();
    // The rows that describe the dropped object go; rows of others that point at it stay,
    // stale, as SQL Server 2000 leaves them.
    std::erase_if(depends, [&](const Dependency& d) { return isDoomed(d.id); });
    std::erase_if(properties, [&](const ExtendedProperty& p) { return isDoomed(p.id); });
    noteSchemaChange();
}

const std::vector<DatabaseSchema>& builtInSchemas() {
    static const std::vector<DatabaseSchema> schemas{
        {1, "dbo"},           {2, "guest"},          {3, "INFORMATION_SCHEMA"}, {4, "sys"},
        {16384, "db_owner"},  {16385, "db_accessadmin"}, {16386, "db_securityadmin"},
        {16387, "db_ddladmin"}, {16389, "db_backupoperator"}, {16390, "db_datareader"},
        {16391, "db_datawriter"}, {16392, "db_denydatareader"}, {16393, "db_denydatawriter"}};
    return schemas;
}

std::optional<int> Database::schemaId(std::string_view name) const {
    for (const auto* list : {&builtInSchemas(), &schemas})
        for (const DatabaseSchema& schema : *list)
            if (compareCollated(schema.name, name) == 0) return schema.id;
    return std::nullopt;
}

std::string Database::schemaName(int id) const {
    for (const auto* list : {&builtInSchemas(), &schemas})
        for (const DatabaseSchema& schema : *list)
            if (schema.id == id) return schema.name;
    return {};
}

int Database::schemaOf(int objectId) const {
    const SchemaObject* object = objectById(objectId);
    return object ? object->schemaId : kDboSchemaId;
}

int Database::nextSchemaId() const {
    int next = 5;
    for (const DatabaseSchema& schema : schemas) next = std::max(next, schema.id + 1);
    return next;
}

SchemaImage Database::schemaImage() const {
    SchemaImage image{tables_, {}, objects_, depends, properties, schemas};
    for (const auto& [key, table] : tables_)
        image.shapes.push_back({table, table->columns, table->indexes, table->checks, table->foreignKeys,
                                table->identityNext, table->identityStarted});
    return image;
}

void Database::restoreSchema(SchemaImage image) {
    for (auto& shape : image.shapes) {
        shape.table->columns = std::move(shape.columns);
        shape.table->indexes = std::move(shape.indexes);
        shape.table->checks = std::move(shape.checks);
        shape.table->foreignKeys = std::move(shape.foreignKeys);
        shape.table->identityNext = shape.identityNext;
        shape.table->identityStarted = shape.identityStarted;
    }
    tables_ = std::move(image.tables);
    objects_ = std::move(image.objects);
    depends = std::move(image.depends);
    properties = std::move(image.properties);
    schemas = std::move(image.schemas);
    indexObjects();
    noteSchemaChange();
}

}  // namespace sandbox
