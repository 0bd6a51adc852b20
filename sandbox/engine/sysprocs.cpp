#include "engine/executor.hpp"

#include "engine/convert.hpp"
#include "engine/error.hpp"

#include <algorithm>

namespace sandbox {

using namespace sql;

namespace {

std::string argumentText(const std::vector<Value>& arguments, size_t i) {
    return i < arguments.size() && !arguments[i].isNull() ? formatValue(arguments[i]) : std::string();
}

// Splits source text into sp_helptext rows: each line keeps its CR LF; longer lines are cut at 255.
std::vector<std::string> helpTextLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find("\r\n", at);
        std::string line = end == std::string::npos ? text.substr(at) : text.substr(at, end - at + 2);
        at = end == std::string::npos ? text.size() : end + 2;
        while (characterCount(line) > 255) {
            lines.push_back(utf8Substring(line, 0, 255));
            line = utf8Substring(line, 255, characterCount(line) - 255);
        }
        lines.push_back(line);
    }
    return lines;
}

}  // namespace

namespace {

struct SystemProcedure {
    const char* name;
    std::vector<const char*> parameters;
};

const SystemProcedure kSystemProcedures[] = {
    {"sp_helptext", {"@objname", "@columnname"}},
    {"sp_helpindex", {"@objname"}},
    {"sp_helpfile", {"@filename"}},
    {"sp_addextendedproperty",
     {"@name", "@value", "@level0type", "@level0name", "@level1type", "@level1name", "@level2type", "@level2name"}},
    {"sp_updateextendedproperty",
     {"@name", "@value", "@level0type", "@level0name", "@level1type", "@level1name", "@level2type", "@level2name"}},
    {"sp_dropextendedproperty",
     {"@name", "@level0type", "@level0name", "@level1type", "@level1name", "@level2type", "@level2name"}},
    {"sp_who", {"@loginame"}},
};

// Puts named arguments (@objname = 't') in their parameter's position.
std::vector<Value> bindArguments(const SystemProcedure& procedure, const std::vector<Value>& arguments,
                                 const std::vector<std::string>& names) {
    std::vector<Value> bound(procedure.parameters.size());
    for (size_t k = 0; k < arguments.size(); ++k) {
        size_t position = k;
        if (k < names.size() && !names[k].empty()) {
            auto found = std::find_if(procedure.parameters.begin(), procedure.parameters.end(),
                                      [&](const char* p) { return equalsIgnoreCase(p, names[k]); });
            if (found == procedure.parameters.end())
                throw SqlError(8145, 16, 2, names[k] + " is not a parameter for procedure " + procedure.name + ".");
            position = static_cast<size_t>(found - procedure.parameters.begin());
        }
        if (position >= bound.size())
            throw SqlError(8144, 16, 2, "Procedure or function " + std::string(procedure.name) + " has too many arguments specified.");
        bound[position] = arguments[k];
    }
    return bound;
}

}  // namespace

bool Executor::runSystemProcedure(const std::string& name, const std::vector<Value>& arguments,
                                  const std::vector<std::string>& names) {
    auto procedure = std::find_if(std::begin(kSystemProcedures), std::end(kSystemProcedures),
                                  [&](const SystemProcedure& p) { return name == p.name; });
    if (procedure == std::end(kSystemProcedures)) return false;
    std::vector<Value> bound = bindArguments(*procedure, arguments, names);
    if (name == "sp_helptext") spHelpText(bound);
    else if (name == "sp_helpindex") spHelpIndex(bound);
    else if (name == "sp_helpfile") spHelpFile(bound);
    else if (name == "sp_addextendedproperty") changeExtendedProperty(PropertyChange::Add, bound);
    else if (name == "sp_updateextendedproperty") changeExtendedProperty(PropertyChange::Update, bound);
    else if (name == "sp_dropextendedproperty") {
        bound.insert(bound.begin() + 1, Value());  // no @value
        changeExtendedProperty(PropertyChange::Drop, bound);
    }
    else spWho();
    sink_.returnStatus(returnStatus_);
    done(StatementKind::Other, false, 0);
    return true;
}

void Executor::spHelpText(const std::vector<Value>& arguments) {
    std::string objectName = argumentText(arguments, 0);
    auto db = currentDatabase();
    auto id = objectIdOf(objectName);
    if (!id) {
        sink_.message({15009, 1, 16, "The object '" + objectName + "' does not exist in database '" + db->name() + "'.", "sp_helptext", 1});
        returnStatus_ = 1;
        return;
    }
    SchemaObject* object = db->objectById(*id);
    if (!object || object->text.empty()) {
        sink_.message({15197, 1, 16, "There is no text for object '" + objectName + "'.", "sp_helptext", 1});
        returnStatus_ = 1;
        return;
    }
    Relation r;
    r.columns = describeColumns({{"Text", "nvarchar(255)"}});
    for (const auto& line : helpTextLines(object->text)) r.owned.push_back({Value::text(line, r.columns[0].type)});
    sendRelation(r);
    returnStatus_ = 0;
}

void Executor::spHelpIndex(const std::vector<Value>& arguments) {
    std::string objectName = argumentText(arguments, 0);
    auto db = currentDatabase();
    auto table = tableNamed(objectName);
    if (!table) {
        sink_.message({15009, 1, 16, "The object '" + objectName + "' does not exist in database '" + db->name() + "'.", "sp_helpindex", 1});
        returnStatus_ = 1;
        return;
    }
    returnStatus_ = 0;
    if (table->indexes.empty()) {
        // No result set at all, only the informational message.
        sink_.message({15472, 1, 10, "The object does not have any indexes.", "sp_helpindex", 1});
        return;
    }
    Relation r;
    r.columns = describeColumns({{"index_name", "sysname"}, {"index_description", "varchar(210)"}, {"index_keys", "nvarchar(2126)"}});
    std::vector<Index> indexes = table->indexes;
    std::sort(indexes.begin(), indexes.end(), [](const Index& a, const Index& b) { return compareCollated(a.name, b.name) < 0; });
    for (const Index& index : indexes) {
        std::string description = index.status & kIndexClustered ? "clustered" : "nonclustered";
        if (index.status & kIndexUnique) description += ", unique";
        if (index.status & kIndexPrimaryKey) description += ", primary key";
        if (index.status & kIndexUniqueKey) description += ", unique key";
        description += " located on PRIMARY";
        std::string keys;
        for (const auto& [position, descending] : index.keys) {
            if (!keys.empty()) keys += ", ";
            keys += table->columns[position].name + (descending ? "(-)" : "");
        }
        r.owned.push_back({Value::nvarchar(index.name), Value::varchar(description), Value::nvarchar(keys)});
    }
    for (Row& row : r.owned)
        for (size_t c = 0; c < row.size(); ++c) row[c] = convertValue(row[c], r.columns[c].type);
    sendRelation(r);
}

void Executor::spHelpFile(const std::vector<Value>& arguments) {
    auto db = currentDatabase();
    auto files = Catalog::systemTable(engine_, *db, "sysfiles");
    std::string only = argumentText(arguments, 0);
    Relation r;
    if (only.empty())
        r.columns = describeColumns({{"name", "sysname"}, {"fileid", "smallint"}, {"filename", "nchar(260)"},
                                     {"filegroup", "sysname"}, {"size", "nvarchar(15)"}, {"maxsize", "nvarchar(15)"},
                                     {"growth", "nvarchar(15)"}, {"usage", "varchar(9)"}});
    else
        r.columns = describeColumns({{"name", "sysname"}, {"filename", "nchar(260)"}, {"filegroup", "sysname"},
                                     {"size", "nvarchar(15)"}, {"maxsize", "nvarchar(15)"}, {"growth", "nvarchar(15)"},
                                     {"usage", "varchar(9)"}});
    for (const Row& file : files->allRows()) {
        std::string name(trimRightBlanks(file[7].asText()));
        if (!only.empty() && compareCollated(name, only) != 0) continue;
        bool log = file[5].asInt() & 0x40;
        bool percent = file[5].asInt() & 0x100000;
        int64_t maxsize = file[3].asInt();
        Row row{Value::nvarchar(name)};
        if (only.empty()) row.push_back(file[0]);
        row.push_back(file[8]);
        row.push_back(log ? Value() : Value::nvarchar("PRIMARY"));
        row.push_back(Value::nvarchar(std::to_string(file[2].asInt() * 8) + " KB"));
        row.push_back(Value::nvarchar(maxsize == -1 ? "Unlimited" : std::to_string(maxsize * 8) + " KB"));
        row.push_back(Value::nvarchar(percent ? std::to_string(file[4].asInt()) + "%" : std::to_string(file[4].asInt() * 8) + " KB"));
        row.push_back(Value::varchar(log ? "log only" : "data only"));
        for (size_t c = 0; c < row.size(); ++c) row[c] = convertValue(row[c], r.columns[c].type);
        r.owned.push_back(std::move(row));
    }
    sendRelation(r);
    returnStatus_ = 0;
}

namespace {

const char* procedureOf(PropertyChange change) {
    switch (change) {
        case PropertyChange::Add: return "sp_addextendedproperty";
        case PropertyChange::Update: return "sp_updateextendedproperty";
        default: return "sp_dropextendedproperty";
    }
}

}  // namespace

// @name, @value, @level0type, @level0name, @level1type, @level1name, @level2type, @level2name
// (sp_dropextendedproperty has no @value: it comes as NULL). Level 0 names the schema (USER as
// SQL Server 2000 has it, or SCHEMA from SQL Server 2005 on), level 1 the object, level 2 a column.
void Executor::changeExtendedProperty(PropertyChange change, const std::vector<Value>& arguments) {
    const char* procedure = procedureOf(change);
    auto fail = [&](int number, const std::string& text) {
        sink_.message({number, 1, 16, text, procedure, 1});
        returnStatus_ = 1;
    };
    auto invalidParameter = [&] {
        fail(15600, std::string("An invalid parameter or option was specified for procedure '") + procedure + "'.");
    };
    std::string property = argumentText(arguments, 0);
    std::string level0type = toLower(argumentText(arguments, 2)), level0name = argumentText(arguments, 3);
    std::string level1type = toLower(argumentText(arguments, 4)), level1name = argumentText(arguments, 5);
    std::string level2type = toLower(argumentText(arguments, 6)), level2name = argumentText(arguments, 7);
    const bool levelZeroKnown = level0type.empty() || level0type == "user" ||
                                (level0type == "schema" && engine_.version().since2005());
    if (property.empty() || level1type.empty() || !levelZeroKnown) return invalidParameter();
    auto db = currentDatabase();
    const std::string shown = level1name + (level2type == "column" ? "." + level2name : "");
    auto invalidObject = [&] {
        fail(15135, "Object is invalid. Extended properties are not permitted on '" + shown + "', or the object does not exist.");
    };
    std::optional<int> schema = level0name.empty() ? kDboSchemaId : db->schemaId(level0name);
    const SchemaObject* object = schema ? db->object(level1name, *schema) : nullptr;
    if (!object) return invalidObject();
    ExtendedProperty p;
    p.id = object->id;
    p.name = property;
    p.value = arguments.size() > 1 ? arguments[1] : Value();
    p.type = 3;
    if (level2type == "column") {
        auto table = db->table(object->name, object->schemaId);
        auto position = table ? table->columnIndex(level2name) : std::nullopt;
        if (!position) return invalidObject();
        p.type = 4;
        p.smallid = static_cast<int>(*position) + 1;
    }
    auto existing = std::find_if(db->properties.begin(), db->properties.end(), [&](const ExtendedProperty& e) {
        return e.id == p.id && e.smallid == p.smallid && compareCollated(e.name, p.name) == 0;
    });
    const bool exists = existing != db->properties.end();
    if (change == PropertyChange::Add && exists)
        return fail(15233, "Property cannot be added. Property '" + p.name + "' already exists for '" + shown + "'.");
    if (change != PropertyChange::Add && !exists)
        return fail(15217, "Property cannot be updated or deleted. Property '" + p.name + "' does not exist for '" + shown + "'.");
    changes_.schemaChanging(db);
    if (change == PropertyChange::Add) db->properties.push_back(p);
    else if (change == PropertyChange::Update) existing->value = p.value;
    else db->properties.erase(existing);
    db->noteSchemaChange();
    returnStatus_ = 0;
}

void Executor::spWho() {
    auto processes = Catalog::systemTable(engine_, *engine_.database("master"), "sysprocesses");
    Relation r;
    r.columns = describeColumns({{"spid", "smallint"}, {"ecid", "smallint"}, {"status", "nchar(30)"},
                                 {"loginame", "nchar(128)"}, {"hostname", "nchar(128)"}, {"blk", "char(5)"},
                                 {"dbname", "nchar(128)"}, {"cmd", "nchar(16)"}});
    for (const Row& p : processes->allRows()) {
        std::string dbName;
        for (const auto& db : engine_.databasesById())
            if (db->dbid() == p[7].asInt()) dbName = db->name();
        Row row{p[0], p[14], p[16], p[26], p[18], Value::varchar("0"), Value::nvarchar(dbName), p[21]};
        for (size_t c = 0; c < row.size(); ++c) row[c] = convertValue(row[c], r.columns[c].type);
        r.owned.push_back(std::move(row));
    }
    sendRelation(r);
    returnStatus_ = 0;
}

}  // namespace sandbox
