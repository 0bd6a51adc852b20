#include "scripts/schema_reader.h"

#include <algorithm>
#include <map>
#include <regex>
#include <set>

#include "common/strings.h"

namespace makeddl::scripts {

namespace {

using Row = std::vector<std::optional<std::string>>;

const std::vector<std::string> kModuleTypes{"V", "P", "FN", "IF", "TF", "TR"};

const connection::RowTable& rowsOf(connection::DataSet& query, const std::string& sql) {
  query.query(sql);
  return query.rows();
}

std::string text(const Row& row, std::size_t i) { return trimmed(row.at(i).value_or("")); }
std::string rawText(const Row& row, std::size_t i) { return row.at(i).value_or(""); }
int number(const Row& row, std::size_t i) { return row.at(i) ? std::stoi(*row[i]) : 0; }

// "and COLUMN in (ids)", or nothing when every object is read.
std::string idFilter(const std::string& column, const std::set<int>& ids, bool all) {
  if (all) return "";
  std::string list;
  for (int id : ids) list += (list.empty() ? "" : ",") + std::to_string(id);
  return " and " + column + " in (" + (list.empty() ? "0" : list) + ")";
}

using catalog::CatalogObject;

bool scripted(const CatalogObject& object) {
  if (object.name.inDbo() && object.name.name == "dtproperties") return false;
  return object.type == "U" || std::find(kModuleTypes.begin(), kModuleTypes.end(), object.type) != kModuleTypes.end();
}

// The tables, views, procedures, functions and triggers of the database.
std::vector<CatalogObject> readObjects(connection::DataSet& query, const SchemaSelection& selection) {
  std::vector<CatalogObject> objects =
      selection.objects.empty() ? catalog::readObjectDirectory(query, selection.server) : selection.objects;
  std::erase_if(objects, [](const CatalogObject& object) { return !scripted(object); });
  return objects;
}

class SchemaReader {
 public:
  SchemaReader(connection::DataSet& query, const SchemaSelection& selection)
      : query_(query),
        all_(selection.all),
        server_(selection.server),
        properties_(catalog::extendedPropertiesSource(selection.server)),
        objects_(readObjects(query, selection)) {
    select(selection);
  }

  SchemaModel read() {
    readSchemas();
    readColumns();
    readIndexes();
    readChecks();
    readTableRemarks();
    readForeignKeys();
    readModules();
    return std::move(model_);
  }

 private:
  void select(const SchemaSelection& selection) {
    if (all_) {
      for (const CatalogObject& object : objects_) add(object);
    } else {
      for (const ObjectName& name : selection.names) {
        if (const CatalogObject* object = catalog::findObject(objects_, name)) {
          add(*object);
        } else {
          model_.tables.push_back({0, name, {}, {}, {}, {}});
        }
      }
      for (const CatalogObject& object : objects_)
        if (object.type == "TR" && tableIds_.count(object.parent)) add(object);
    }
  }

  void add(const CatalogObject& object) {
    if (object.type == "U") {
      if (tableIds_.insert(object.id).second) {
        model_.tables.push_back({object.id, object.name, {}, {}, {}, {}});
        model_.tables.back().nameInOtherSchemas = nameInOtherSchemas(object);
      }
    } else if (moduleIds_.insert(object.id).second) {
      ModuleModel module{object.id, object.name, object.type, "", {}, {}};
      module.nameInOtherSchemas = nameInOtherSchemas(object);
      if (const CatalogObject* parent = byId(object.parent)) module.parentTable = parent->name;
      modules_.push_back(std::move(module));
    }
  }

  // True when an object of another schema has the same name, as the server's collation compares.
  bool nameInOtherSchemas(const CatalogObject& object) const {
    return std::any_of(objects_.begin(), objects_.end(), [&](const CatalogObject& other) {
      return !equalsIgnoringCase(other.name.schema, object.name.schema) &&
             equalsIgnoringCase(other.name.name, object.name.name);
    });
  }

  const CatalogObject* byId(int id) const {
    for (const CatalogObject& object : objects_)
      if (object.id == id && id != 0) return &object;
    return nullptr;
  }

  // The name of a table by its id; the catalogue's bare name when it is none of those read.
  ObjectName tableName(int id, const std::string& bare) const {
    const CatalogObject* object = byId(id);
    return object ? object->name : ObjectName(bare);
  }

  // Schemas exist from SQL Server 2005 on: those of the objects scripted, and with every object
  // every schema the database's users made, empty or not.
  void readSchemas() {
    if (!server_.hasCatalogViews()) return;
    std::set<std::string> schemas;
    for (const TableModel& table : model_.tables)
      if (table.id != 0 && !table.name.inDbo()) schemas.insert(table.name.schema);
    for (const ModuleModel& module : modules_)
      if (!module.name.inDbo()) schemas.insert(module.name.schema);
    if (all_)
      for (const Row& row : rowsOf(query_, "select name from sys.schemas where schema_id > 4 and schema_id < 16384"))
        schemas.insert(rawText(row, 0));
    model_.schemas.assign(schemas.begin(), schemas.end());
  }

  TableModel* table(int id) {
    for (TableModel& table : model_.tables)
      if (table.id == id && id != 0) return &table;
    return nullptr;
  }

  std::string tableFilter(const std::string& column) const { return idFilter(column, tableIds_, all_); }

  void readColumns() {
    const std::string remark =
        "(select top 1 q.name from " + properties_ + " q where q.id = c.id and q.smallid = c.colid and q.type = 4 "
        "order by case when q.name = 'MS_Description' then 0 else 1 end, q.name)";
    const std::string identity = "columnproperty(c.id, c.name, 'IsIdentity') = 1";
    const std::string qualifiedTable =
        "quotename(" + catalog::ownerNameFunction(server_) + "(o.uid)) + '.' + quotename(o.name)";
    const connection::RowTable& collation = rowsOf(query_, "select databasepropertyex(db_name(), 'Collation')");
    const std::string databaseCollation = collation.empty() ? "" : text(collation.front(), 0);
    for (const Row& row :
         rowsOf(query_,
                "select c.id, c.name, type_name(c.xtype), c.length, isnull(c.prec, 0), isnull(c.scale, 0), "
                "c.isnullable, m.text, d.name, case when " + identity +
                    " then 1 else 0 end, case when " + identity + " then ident_seed(" + qualifiedTable + ") end, "
                    "case when " + identity + " then ident_incr(" + qualifiedTable + ") end, c.collation, p.value, p.name "
                    "from syscolumns c join sysobjects o on o.id = c.id "
                    "left join syscomments m on m.id = c.cdefault "
                    "left join sysobjects d on d.id = c.cdefault "
                    "left join " + properties_ + " p on (p.id = c.id and p.smallid = c.colid and p.type = 4 and p.name = " +
                    remark + ") where o.xtype = 'U'" + tableFilter("o.id") + " order by c.id, c.colid")) {
      TableModel* owner = table(number(row, 0));
      if (!owner) continue;
      ColumnModel column;
      column.name = rawText(row, 1);
      column.type = text(row, 2);
      column.length = number(row, 3);
      column.precision = number(row, 4);
      column.scale = number(row, 5);
      column.nullable = number(row, 6) != 0;
      column.defaultText = row.at(7);
      if (column.defaultText) column.defaultName = rawText(row, 8);
      if (number(row, 9) == 1) column.identity = IdentitySpec{text(row, 10), text(row, 11)};
      const std::string columnCollation = text(row, 12);
      if (!columnCollation.empty() && !equalsIgnoringCase(columnCollation, databaseCollation))
        column.collation = columnCollation;
      column.remark = row.at(13);
      column.remarkName = rawText(row, 14);
      owner->columns.push_back(std::move(column));
    }
  }

  void readIndexes() {
    IndexModel* current = nullptr;
    int currentTable = 0, currentIndid = -1;
    for (const Row& row :
         rowsOf(query_,
                "select i.id, i.indid, i.name, i.status, c.name, "
                "indexkey_property(i.id, i.indid, k.keyno, 'IsDescending') "
                "from sysindexes i join sysindexkeys k on (k.id = i.id and k.indid = i.indid) "
                "join syscolumns c on (c.id = k.id and c.colid = k.colid) join sysobjects o on o.id = i.id "
                "where o.xtype = 'U' and i.indid > 0 and i.indid < 255 and (i.status & 64) = 0" +
                    tableFilter("o.id") + " order by i.id, i.indid, k.keyno")) {
      TableModel* owner = table(number(row, 0));
      if (!owner) continue;
      if (number(row, 0) != currentTable || number(row, 1) != currentIndid) {
        currentTable = number(row, 0);
        currentIndid = number(row, 1);
        const int status = number(row, 3);
        IndexModel index;
        index.name = rawText(row, 2);
        index.role = (status & 0x800)    ? IndexRole::PrimaryKey
                     : (status & 0x1000) ? IndexRole::UniqueConstraint
                                         : IndexRole::Index;
        index.unique = (status & 0x2) != 0;
        index.clustered = currentIndid == 1;
        owner->indexes.push_back(std::move(index));
        current = &owner->indexes.back();
      }
      current->columns.push_back({rawText(row, 4), number(row, 5) == 1});
    }
  }

  void readChecks() {
    for (const Row& row : rowsOf(query_,
                                 "select o.parent_obj, o.name, m.text from sysobjects o "
                                 "join syscomments m on m.id = o.id where o.xtype = 'C'" +
                                     tableFilter("o.parent_obj") + " order by o.parent_obj, o.name"))
      if (TableModel* owner = table(number(row, 0))) owner->checks.push_back({rawText(row, 1), rawText(row, 2)});
  }

  void readTableRemarks() {
    for (const Row& row : rowsOf(query_,
                                 "select p.id, p.value from " + properties_ + " p where p.smallid = 0 and p.type = 3 "
                                 "and p.name = 'MS_Description'" +
                                     tableFilter("p.id")))
      if (TableModel* owner = table(number(row, 0))) owner->remark = row.at(1);
  }

  void readForeignKeys() {
    int currentConstraint = 0;
    for (const Row& row : rowsOf(query_,
                                 "select f.constid, object_name(f.constid), object_name(f.fkeyid), "
                                 "col_name(f.fkeyid, f.fkey), object_name(f.rkeyid), col_name(f.rkeyid, f.rkey), "
                                 "objectproperty(f.constid, 'CnstIsDeleteCascade'), "
                                 "objectproperty(f.constid, 'CnstIsUpdateCascade'), f.fkeyid, f.rkeyid "
                                 "from sysforeignkeys f where 1 = 1" +
                                     tableFilter("f.fkeyid") + " order by f.constid, f.keyno")) {
      if (number(row, 0) != currentConstraint) {
        currentConstraint = number(row, 0);
        model_.foreignKeys.push_back({rawText(row, 1), tableName(number(row, 8), rawText(row, 2)), {},
                                      tableName(number(row, 9), rawText(row, 4)), {}, number(row, 6) == 1,
                                      number(row, 7) == 1});
      }
      model_.foreignKeys.back().columns.push_back(rawText(row, 3));
      model_.foreignKeys.back().referencedColumns.push_back(rawText(row, 5));
    }
    std::stable_sort(model_.foreignKeys.begin(), model_.foreignKeys.end(),
                     [](const ForeignKeyModel& a, const ForeignKeyModel& b) {
                       return shownName(a.table) < shownName(b.table);
                     });
  }

  void readModules() {
    if (modules_.empty()) return;
    const std::string filter = idFilter("c.id", moduleIds_, all_);
    std::map<int, ModuleModel*> byId;
    for (ModuleModel& module : modules_) byId[module.id] = &module;
    for (const Row& row : rowsOf(query_, "select c.id, c.text from syscomments c join sysobjects o on o.id = c.id "
                                         "where o.xtype in ('V','P','FN','IF','TF','TR')" +
                                             filter + " order by c.id, c.colid"))
      if (auto found = byId.find(number(row, 0)); found != byId.end()) found->second->text += rawText(row, 1);
    for (const Row& row :
         rowsOf(query_, "select distinct d.id, d.depid from sysdepends d where 1 = 1" + idFilter("d.id", moduleIds_, all_)))
      if (auto found = byId.find(number(row, 0)); found != byId.end()) found->second->uses.push_back(number(row, 1));
    model_.modules = inDependencyOrder(std::move(modules_));
  }

  // Those another module uses come first; otherwise triggers last, then by name.
  static std::vector<ModuleModel> inDependencyOrder(std::vector<ModuleModel> pending) {
    std::sort(pending.begin(), pending.end(), [](const ModuleModel& a, const ModuleModel& b) {
      return std::make_pair(a.type == "TR", shownName(a.name)) < std::make_pair(b.type == "TR", shownName(b.name));
    });
    std::set<int> waiting;
    for (const ModuleModel& module : pending) waiting.insert(module.id);
    std::vector<ModuleModel> ordered;
    while (!pending.empty()) {
      auto ready = std::find_if(pending.begin(), pending.end(), [&](const ModuleModel& module) {
        return std::none_of(module.uses.begin(), module.uses.end(),
                            [&](int id) { return id != module.id && waiting.count(id); });
      });
      if (ready == pending.end()) ready = pending.begin();  // a cycle: the rest by name
      waiting.erase(ready->id);
      ordered.push_back(std::move(*ready));
      pending.erase(ready);
    }
    return ordered;
  }

  connection::DataSet& query_;
  bool all_;
  catalog::ServerVersion server_;
  std::string properties_;  // sysproperties, or a table of its shape
  std::vector<CatalogObject> objects_;
  std::set<int> tableIds_, moduleIds_;
  std::vector<ModuleModel> modules_;
  SchemaModel model_;
};

}  // namespace

bool isGeneratedConstraintName(const std::string& name) {
  static const std::regex pattern("^(PK|UQ|DF|CK|FK)__.+__[0-9A-F]{8}([0-9A-F]{8})?$");
  return std::regex_match(name, pattern);
}

catalog::ServerVersion readServerVersion(connection::DataSet& query) {
  const std::vector<Row>& rows = rowsOf(query, catalog::serverVersionQuery());
  return catalog::parseProductVersion(rows.empty() ? "" : text(rows.front(), 0));
}

SchemaModel readSchema(connection::DataSet& query, const SchemaSelection& selection) {
  return SchemaReader(query, selection).read();
}

}  // namespace makeddl::scripts
