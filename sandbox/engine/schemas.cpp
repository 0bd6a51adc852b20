// CREATE SCHEMA and DROP SCHEMA of SQL Server 2005 and later, and where CREATE statements put
// their objects.

#include "engine/executor.hpp"

#include "engine/convert.hpp"
#include "engine/error.hpp"

#include <algorithm>

namespace sandbox {

using namespace sql;

namespace {

// Under SQL Server 2000 a schema is an owner, and CREATE SCHEMA knows only AUTHORIZATION.
SqlError syntaxErrorNear(const std::string& word) {
    return SqlError(170, 15, 1, "Line 1: Incorrect syntax near '" + word + "'.");
}

bool isPrincipal(const std::string& name) {
    return std::any_of(builtInSchemas().begin(), builtInSchemas().end(),
                       [&](const DatabaseSchema& s) { return compareCollated(s.name, name) == 0 && s.id != 4 && s.id != 3; });
}

}  // namespace

int Executor::schemaToCreateIn(const ObjectName& name, const Database& db) const {
    if (std::optional<int> schema = schemaFor(name, db)) return *schema;
    if (engine_.version().since2005())
        throw SqlError(2760, 16, 1, "The specified schema name \"" + name.owner +
                                        "\" either does not exist or you do not have permission to use it.");
    throw SqlError(2760, 16, 1, "Specified owner name '" + name.owner + "' either does not exist or you do not have permission to use it.");
}

void Executor::runCreateSchema(const CreateSchemaStatement& s) {
    const bool named = engine_.version().since2005();
    if (!named && !s.name.empty()) throw syntaxErrorNear(s.name);
    if (!s.authorization.empty() && !isPrincipal(s.authorization))
        throw SqlError(15151, 16, 1, "Cannot find the user '" + s.authorization +
                                         "', because it does not exist or you do not have permission.");
    if (named) {
        // CREATE SCHEMA AUTHORIZATION owner names the schema after its owner.
        const std::string& name = s.name.empty() ? s.authorization : s.name;
        auto db = currentDatabase();
        if (db->schemaId(name)) throw errors::objectExists(name);
        changes_.schemaChanging(db);
        db->schemas.push_back({db->nextSchemaId(), name});
        db->noteSchemaChange();
    }
    for (const StmtPtr& element : s.elements) runCreateTable(static_cast<const CreateTableStatement&>(*element));
    if (s.elements.empty()) done(StatementKind::Other, false, 0);
}

void Executor::dropSchema(const std::string& name) {
    if (!engine_.version().since2005()) throw syntaxErrorNear("schema");
    auto db = currentDatabase();
    auto made = std::find_if(db->schemas.begin(), db->schemas.end(),
                             [&](const DatabaseSchema& s) { return compareCollated(s.name, name) == 0; });
    if (made == db->schemas.end()) {
        if (db->schemaId(name)) throw SqlError(15150, 16, 1, "Cannot drop the schema '" + name + "'.");
        throw SqlError(15151, 16, 1, "Cannot drop the schema '" + name + "', because it does not exist or you do not have permission.");
    }
    const int id = made->id;
    for (const SchemaObject& object : db->objects())
        if (object.schemaId == id)
            throw SqlError(3729, 16, 1, "Cannot drop schema '" + made->name + "' because it is being referenced by object '" +
                                            object.name + "'.");
    changes_.schemaChanging(db);
    db->schemas.erase(made);
    db->noteSchemaChange();
}

Value Executor::evalSchemaFunction(const FunctionCall& call) {
    const std::string& f = call.expr.name;
    if (!engine_.version().since2005()) throw errors::unknownFunction(f);
    const std::vector<Value>& a = call.args;
    const Value none = Value::null(call.type);
    auto db = currentDatabase();
    // Without an argument: the caller's default schema, dbo for the logins here.
    if (f == "schema_id") {
        if (a.empty()) return Value::integer(kDboSchemaId);
        std::optional<int> id = a[0].isNull() ? std::nullopt : db->schemaId(formatValue(a[0]));
        return id ? Value::integer(*id) : none;
    }
    if (f == "schema_name") {
        if (a.empty()) return Value::text("dbo", call.type);
        std::string name = a[0].isNull() ? std::string() : db->schemaName(static_cast<int>(toInteger(a[0])));
        return name.empty() ? none : Value::text(name, call.type);
    }
    // OBJECT_SCHEMA_NAME(object_id [, database_id])
    if (a[0].isNull() || (a.size() > 1 && a[1].isNull())) return none;
    if (a.size() > 1) {
        db = nullptr;
        for (const auto& candidate : engine_.databasesById())
            if (candidate->dbid() == toInteger(a[1])) db = candidate;
        if (!db) return none;
    }
    const int id = static_cast<int>(toInteger(a[0]));
    if (const SchemaObject* object = db->objectById(id)) return Value::text(db->schemaName(object->schemaId), call.type);
    return a.size() == 1 && tableWithId(id) ? Value::text("dbo", call.type) : none;  // a temporary table
}

}  // namespace sandbox
