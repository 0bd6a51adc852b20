// Property functions of the catalogue: COLUMNPROPERTY, OBJECTPROPERTY, INDEXKEY_PROPERTY,
// DATABASEPROPERTYEX, and IDENT_SEED, IDENT_INCR, IDENT_CURRENT.

#include "engine/convert.hpp"
#include "engine/executor.hpp"

#include <algorithm>

namespace sandbox {

using namespace sql;

namespace {

Value nullInt() { return Value::null(SqlType::of(TypeId::Int)); }
Value flag(bool value) { return Value::integer(value ? 1 : 0); }
SqlType identityType() { return SqlType::decimal(38, 0, TypeId::Numeric); }
Value identityValue(int64_t v) { return Value::decimal({v, 0}, identityType()); }

void requireArgumentCount(const std::string& function, const std::vector<Value>& arguments, size_t count) {
    if (arguments.size() != count)
        throw SqlError(174, 15, 1, "The " + function + " function requires " + std::to_string(count) + " argument(s).");
}

bool isConstraintType(const std::string& xtype) {
    return xtype == "PK" || xtype == "UQ" || xtype == "F" || xtype == "C" || xtype == "D";
}

// OBJECTPROPERTY's Is... properties: true for the kinds of object they name.
std::optional<bool> objectKind(const std::string& property, const std::string& xtype) {
    static const std::pair<const char*, std::vector<const char*>> kinds[] = {
        {"istable", {"U", "S"}},         {"isusertable", {"U"}},      {"issystemtable", {"S"}},
        {"isview", {"V"}},               {"isprocedure", {"P"}},      {"istrigger", {"TR"}},
        {"isscalarfunction", {"FN"}},    {"istablefunction", {"IF", "TF"}}, {"isinlinefunction", {"IF"}},
        {"isprimarykey", {"PK"}},        {"isuniquecnst", {"UQ"}},    {"isforeignkey", {"F"}},
        {"ischeckcnst", {"C"}},          {"isdefaultcnst", {"D"}},    {"isconstraint", {"PK", "UQ", "F", "C", "D"}},
    };
    for (const auto& [name, xtypes] : kinds)
        if (property == name) return std::any_of(xtypes.begin(), xtypes.end(), [&](const char* x) { return xtype == x; });
    return std::nullopt;
}

}  // namespace

std::optional<Value> Executor::evalPropertyFunction(const FunctionCall& call) {
    const std::string& f = call.expr.name;
    const std::vector<Value>& a = call.args;
    if (f == "objectproperty") {
        requireArgumentCount(f, a, 2);
        if (call.anyNull(2)) return nullInt();
        return objectProperty(static_cast<int>(toInteger(a[0])), toLower(formatValue(a[1])));
    }
    if (f == "columnproperty") {
        requireArgumentCount(f, a, 3);
        if (call.anyNull(3)) return nullInt();
        return columnProperty(static_cast<int>(toInteger(a[0])), formatValue(a[1]), toLower(formatValue(a[2])));
    }
    if (f == "indexkey_property") {
        requireArgumentCount(f, a, 4);
        if (call.anyNull(4)) return nullInt();
        return indexKeyProperty(static_cast<int>(toInteger(a[0])), toInteger(a[1]), toInteger(a[2]), toLower(formatValue(a[3])));
    }
    if (f == "databasepropertyex") {
        requireArgumentCount(f, a, 2);
        Value none = Value::null(SqlType::of(TypeId::SqlVariant));
        if (call.anyNull(2) || !engine_.database(formatValue(a[0]))) return none;
        std::string property = toLower(formatValue(a[1]));
        bool temporary = equalsIgnoreCase(formatValue(a[0]), "tempdb");
        if (property == "collation") return Value::nvarchar(std::string(kDatabaseCollation));
        if (property == "status") return Value::nvarchar("ONLINE");
        if (property == "updateability") return Value::nvarchar("READ_WRITE");
        if (property == "useraccess") return Value::nvarchar("MULTI_USER");
        if (property == "recovery") return Value::nvarchar(temporary ? "SIMPLE" : "FULL");
        if (property == "version") return Value::integer(539);
        if (property == "sqlsortorder") return Value::integer(0, TypeId::TinyInt);  // a Windows collation
        return none;
    }
    if (f == "ident_seed" || f == "ident_incr" || f == "ident_current") {
        requireArgumentCount(f, a, 1);
        auto table = a[0].isNull() ? nullptr : tableNamed(formatValue(a[0]));
        const Column* column = table ? identityColumn(*table) : nullptr;
        if (!column) return Value::null(identityType());
        if (f == "ident_seed") return identityValue(column->seed);
        if (f == "ident_incr") return identityValue(column->step);
        return identityValue(*currentIdentity(*table));
    }
    return std::nullopt;
}

std::shared_ptr<Table> Executor::tableWithId(int id) {
    for (const auto& [key, table] : currentDatabase()->tables())
        if (table->id == id) return table;
    for (const auto& [key, table] : session_.tempTables_)
        if (table->id == id) return table;
    return nullptr;
}

Value Executor::objectProperty(int id, const std::string& property) {
    auto db = currentDatabase();
    const SchemaObject* object = db->objectById(id);
    if (!object) return nullInt();
    const std::string& xtype = object->xtype;
    if (std::optional<bool> kind = objectKind(property, xtype)) return flag(*kind);
    if (property == "ismsshipped") return flag(false);
    if (property == "ownerid") return Value::integer(object->schemaId);
    if (property.rfind("table", 0) == 0) {  // TableHas...: for tables only
        auto table = xtype == "U" ? tableWithId(id) : nullptr;
        if (!table) return nullInt();
        auto hasConstraint = [&](const char* kind) {
            return std::any_of(db->objects().begin(), db->objects().end(),
                               [&](const SchemaObject& o) { return o.parentId == id && o.xtype == kind; });
        };
        if (property == "tablehasidentity") return flag(identityColumn(*table) != nullptr);
        if (property == "tablehasprimarykey") return flag(hasConstraint("PK"));
        if (property == "tablehasuniquecnst") return flag(hasConstraint("UQ"));
        if (property == "tablehasforeignkey") return flag(!table->foreignKeys.empty());
        if (property == "tablehasforeignref") return flag(!db->referencesTo(id).empty());
        if (property == "tablehascheckcnst") return flag(!table->checks.empty());
        if (property == "tablehasdefaultcnst") return flag(hasConstraint("D"));
        if (property == "tablehasclustindex")
            return flag(std::any_of(table->indexes.begin(), table->indexes.end(), [](const Index& i) { return i.indid == 1; }));
        if (property == "tablehasindex") return flag(!table->indexes.empty());
        if (property == "tableisfake") return flag(false);
        return nullInt();
    }
    if (property.rfind("cnst", 0) == 0) {  // CnstIs...: for constraints only
        if (!isConstraintType(xtype)) return nullInt();
        auto table = tableWithId(object->parentId);
        if (property == "cnstisdeletecascade" || property == "cnstisupdatecascade") {
            if (xtype != "F" || !table) return nullInt();
            for (const ForeignKey& key : table->foreignKeys)
                if (key.id == id) return flag(property == "cnstisdeletecascade" ? key.deleteCascade : key.updateCascade);
            return nullInt();
        }
        if (property == "cnstisclustkey" || property == "cnstisnonclustkey") {
            if ((xtype != "PK" && xtype != "UQ") || !table) return nullInt();
            for (const Index& index : table->indexes)
                if (compareCollated(index.name, object->name) == 0)
                    return flag((index.indid == 1) == (property == "cnstisclustkey"));
            return nullInt();
        }
        if (property == "cnstiscolumn") return flag(object->info != 0);
        if (property == "cnstisdisabled" || property == "cnstisnottrusted" || property == "cnstisnotrepl") return flag(false);
    }
    return nullInt();
}

Value Executor::columnProperty(int id, const std::string& columnName, const std::string& property) {
    const std::vector<Column>* columns = columnsOfObject(id);
    if (!columns) return nullInt();
    auto column = std::find_if(columns->begin(), columns->end(),
                               [&](const Column& c) { return compareCollated(c.name, columnName) == 0; });
    if (column == columns->end()) return nullInt();
    if (property == "isidentity") return flag(column->identity);
    if (property == "allowsnull") return flag(column->nullable);
    if (property == "iscomputed" || property == "isrowguidcol" || property == "isidnotforrepl" || property == "isoutparam")
        return flag(false);
    if (property == "usesansitrim") return flag(true);
    if (property == "precision") {
        if (column->type.id == TypeId::Text || column->type.id == TypeId::Image) return Value::integer(2147483647);
        if (column->type.id == TypeId::NText) return Value::integer(1073741823);
        Value precision = Catalog::precisionAndScale(column->type).first;
        return precision.isNull() ? nullInt() : Value::integer(precision.asInt());
    }
    if (property == "scale") {
        Value scale = Catalog::precisionAndScale(column->type).second;
        return scale.isNull() ? nullInt() : Value::integer(scale.asInt());
    }
    return nullInt();
}

Value Executor::indexKeyProperty(int id, int64_t indid, int64_t keyno, const std::string& property) {
    auto table = tableWithId(id);
    if (!table) return nullInt();
    for (const Index& index : table->indexes) {
        if (index.indid != indid) continue;
        if (keyno < 1 || keyno > static_cast<int64_t>(index.keys.size())) return nullInt();
        const auto& [position, descending] = index.keys[static_cast<size_t>(keyno - 1)];
        if (property == "columnid") return Value::integer(static_cast<int64_t>(position) + 1);
        if (property == "isdescending") return flag(descending);
        return nullInt();
    }
    return nullInt();
}

namespace {

// fn_listextendedproperty's level-1 object types and the sysobjects kinds each stands for.
bool isOfObjectType(const std::string& xtype, const std::string& type) {
    if (type == "table") return xtype == "U";
    if (type == "view") return xtype == "V";
    if (type == "procedure") return xtype == "P";
    if (type == "function") return xtype == "FN" || xtype == "IF" || xtype == "TF";
    return false;
}

// A NULL argument (or the keyword default) matches every name.
bool matchesName(const Value& argument, const std::string& name) {
    return argument.isNull() || compareCollated(formatValue(argument), name) == 0;
}

}  // namespace

bool Executor::isListExtendedProperty(const ObjectName& name) const {
    return engine_.version().since2005() && name.database.empty() &&
           (name.owner.empty() || equalsIgnoreCase(name.owner, "sys")) &&
           equalsIgnoreCase(name.name, "fn_listextendedproperty");
}

// The properties of the objects (or of their columns) the levels name: level 0 a schema (or,
// as SQL Server still allows, a user of the same name); level 1 the kind of object
// and its name; level 2 COLUMN and its name. A NULL name takes every one of its level; a type
// left NULL below one that is given, or a level given under a NULL one, lists nothing.
Relation Executor::listExtendedProperties(const std::vector<Value>& arguments) {
    requireArgumentCount("fn_listextendedproperty", arguments, 7);
    const auto lower = [&](size_t i) { return arguments[i].isNull() ? std::string() : toLower(formatValue(arguments[i])); };
    Relation r;
    r.columns = describeColumns({{"objtype", "sysname"}, {"objname", "sysname"}, {"name", "sysname"}, {"value", "sql_variant"}});
    const std::string level0 = lower(1), level1 = lower(3), level2 = lower(5);
    auto db = currentDatabase();
    const std::optional<int> schema = (level0 == "schema" || level0 == "user") && !arguments[2].isNull()
                                          ? db->schemaId(formatValue(arguments[2]))
                                          : std::nullopt;
    const bool columns = level2 == "column";
    if (!schema || level1.empty() || (arguments[4].isNull() && columns) || (!level2.empty() && !columns)) return r;
    for (const ExtendedProperty& p : db->properties) {
        const SchemaObject* object = db->objectById(p.id);
        if (!object || object->schemaId != *schema || !isOfObjectType(object->xtype, level1) ||
            !matchesName(arguments[4], object->name) || !matchesName(arguments[0], p.name) || (p.type == 4) != columns)
            continue;
        std::string objname = object->name, objtype = toUpper(level1);
        if (columns) {
            auto table = db->table(object->name, object->schemaId);
            if (!table || p.smallid < 1 || static_cast<size_t>(p.smallid) > table->columns.size()) continue;
            objname = table->columns[static_cast<size_t>(p.smallid) - 1].name;
            if (!matchesName(arguments[6], objname)) continue;
            objtype = "COLUMN";
        }
        r.owned.push_back({Value::nvarchar(objtype), Value::nvarchar(objname), Value::nvarchar(p.name), p.value});
    }
    for (Row& row : r.owned)
        for (size_t c = 0; c < r.columns.size(); ++c) row[c] = convertValue(row[c], r.columns[c].type);
    return r;
}

}  // namespace sandbox
