#pragma once
// Runs the statements of one batch for one session.

#include "engine/catalog.hpp"
#include "engine/change_log.hpp"
#include "engine/error.hpp"
#include "engine/engine.hpp"
#include "engine/references.hpp"
#include "engine/relation.hpp"
#include "sql/ast.hpp"

#include <functional>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

namespace sandbox {

// The shape of a FROM clause: its sources side by side in one row.
struct Scope {
    struct Entry {
        std::string alias;  // alias, or the table's name when it has none
        std::string name;   // the table's own name
        std::vector<RelColumn> columns;
        size_t offset = 0;
        std::shared_ptr<Table> table;  // the stored table the columns come from, if any
    };
    uint64_t id = 0;
    std::vector<Entry> entries;
    size_t width = 0;
};

// One row being evaluated, with the rows of enclosing queries for correlated subqueries.
struct Frame {
    const Scope* scope = nullptr;
    const Value* row = nullptr;
    const Frame* outer = nullptr;
    const std::vector<Row>* group = nullptr;  // rows of the current group in a grouped query
};

struct Variable {
    SqlType type;
    Value value;
};

// One column of a select list: an expression, or a slot of the source row for * and t.*.
struct OutputColumn {
    const sql::Expr* expr = nullptr;
    size_t slot = 0;
    RelColumn column;
};

// One ORDER BY item: a select-list column (alias or ordinal) or an expression over the row.
struct OrderKey {
    std::optional<size_t> output;
    const sql::Expr* expr = nullptr;
    bool descending = false;
};

// An equality between a column of one FROM source and an expression over the sources joined
// before it (or over none): the source's rows are looked up by the expression's value.
struct KeyProbe {
    size_t column = 0;                 // among the source's own columns
    const sql::Expr* value = nullptr;
};

// Where the rows of a SELECT go: to the client or into a relation.
class RowTarget {
public:
    virtual ~RowTarget() = default;
    virtual void begin(const std::vector<RelColumn>& columns) = 0;
    virtual bool add(Row& row) = 0;  // false stops the query (cancelled)
};

// What sp_addextendedproperty, sp_updateextendedproperty and sp_dropextendedproperty do.
enum class PropertyChange { Add, Update, Drop };

class Executor {
public:
    Executor(Engine& engine, Session& session, ResultSink& sink);
    void runBatch(std::string_view sql);

private:
    enum class Flow { Next, Return };

    // ---- statements (executor.cpp) ----
    Flow runStatements(const std::vector<sql::StmtPtr>& statements);
    Flow runStatement(const sql::Statement& statement);
    Flow dispatch(const sql::Statement& statement);
    void reportError(const SqlError& error, int line);
    void done(StatementKind kind, bool counted, uint64_t rows);
    void runSelectStatement(const sql::SelectStatement& s);
    void runInsert(const sql::InsertStatement& s);
    using TargetedRows = std::vector<std::pair<size_t, Row>>;  // row index, values of the SET list
    TargetedRows matchTargetRows(const Table& table, const sql::ObjectName& target,
                                 const std::vector<sql::TableRef>& from, const sql::ExprPtr& where,
                                 const std::vector<sql::ExprPtr>& values);
    void runUpdate(const sql::UpdateStatement& s);
    void runDelete(const sql::DeleteStatement& s);
    void runUse(const sql::UseStatement& s);
    void runSetOption(const sql::SetOptionStatement& s);
    void setIdentityInsert(const sql::ObjectName& name, bool on);
    // ---- identity values (identity.cpp) ----
    void runDbcc(const sql::DbccStatement& s);
    // SQL Server's rules for the identity columns an INSERT names: 544, 545, 8101.
    void checkIdentityTargets(const Table& table, const std::string& database, bool columnList, bool identityNamed, size_t values);
    bool identityInsertOn(const Table& table, const std::string& database) const;
    void runDeclare(const sql::DeclareStatement& s);
    void runSetVariable(const sql::SetVariableStatement& s);
    Flow runIf(const sql::IfStatement& s);
    Flow runWhile(const sql::WhileStatement& s);
    void runPrint(const sql::PrintStatement& s);
    void runExec(const sql::ExecStatement& s);
    void runDynamicSql(const sql::ExecStatement& s);
    // The batch's statements, or nothing after reporting why the text does not parse.
    std::optional<std::vector<sql::StmtPtr>> parseReporting(std::string_view sql);
    // The keys of a table's unique indexes as its rows are now, so that an INSERT checks each new
    // row in constant time: kept on the table, read again when its rows or indexes changed
    // otherwise than by insertRow.
    static UniqueKeys& uniqueKeys(Table& table);
    void insertRow(Table& table, Row row, const std::string& tableName, UniqueKeys& keys);
    void checkUnique(const Table& table, const Row& row, const Row* replacing);
    void checkKeysAfterUpdate(const Table& table, const std::vector<size_t>& setColumns);
    void runTruncate(const sql::TruncateStatement& s);

    // ---- sharing the engine with other sessions (sharing.cpp) ----
    // True when no statement of the batch changes what other sessions see: it runs under the
    // engine lock shared with other such batches.
    static bool onlyReads(const std::vector<sql::StmtPtr>& statements);
    // Functions read only: a statement that changes data inside one gets SQL Server's 443.
    void refuseChangeInFunction(const sql::Statement& statement);
    // Between two statements: lets waiting sessions in, or waits for a client that lags behind.
    void betweenStatements();
    // Makes what the batch changed so far durable (with a data folder); false when it cannot
    // be, after taking it back and reporting the error.
    bool saveChanges();
    // Called for each row a statement reads or joins: every thousand rows or so it asks the
    // client whether it cancelled, and ends the statement if it did (StatementCancelled).
    void pollCancel() {
        if ((++polls_ & 1023) == 0 && sink_.cancelRequested()) throw StatementCancelled{};
    }
    struct StatementCancelled {};
    // A query scope's id, unique in the process: expressions of views and functions, shared by
    // sessions, remember where their columns were found per scope.
    static uint64_t newScopeId();

    // ---- DDL (ddl.cpp) ----
    void runCreateDatabase(const sql::DatabaseStatement& s);
    void runDropDatabase(const sql::DatabaseStatement& s);
    void runCreateTable(const sql::CreateTableStatement& s);
    std::shared_ptr<Table> createTable(const sql::ObjectName& name, std::vector<Column> columns);
    // Takes back a table that its own statement created and then failed to fill or constrain.
    void discardNewTable(const sql::ObjectName& name, const Table& table);
    const Index& addKey(Database& db, Table& table, const sql::KeySpec& key);
    void addCheck(Database& db, Table& table, const sql::CheckSpec& check);
    // Raises 547 when a row breaks one of the table's CHECK constraints.
    void checkConstraints(const Table& table, const Row& row, bool update);
    bool satisfies(const Table& table, const CheckConstraint& check, const Row& row);
    SqlError checkConflict(const Table& table, const CheckConstraint& check, const std::string& verb);

    // ---- constraints after CREATE TABLE, foreign keys at work (constraints.cpp) ----
    void runAlterTable(const sql::AlterTableStatement& s);
    // CHECK and FOREIGN KEY constraints switched off or on (and then checked, when asked).
    void switchConstraints(Database& db, Table& table, const sql::AlterTableStatement& s);
    // Triggers are kept, not run: switching them only requires that they exist.
    void switchTriggers(Database& db, Table& table, const std::vector<std::string>& names);
    // Adds the constraints to `table`; with a `checkingVerb` ("ALTER TABLE") the rows already
    // there are checked against each of them.
    void addConstraints(Database& db, Table& table, const sql::ConstraintSpecs& specs, const char* checkingVerb);
    void addForeignKey(Database& db, Table& table, const sql::ForeignKeySpec& spec, const char* checkingVerb);
    void addDefault(Database& db, Table& table, const sql::DefaultSpec& spec);
    void refuseDuplicateKeys(const Table& table, const Index& index);
    void dropConstraints(Database& db, Table& table, const std::vector<std::string>& names);
    // What a DELETE or UPDATE of `table` does through foreign keys; nothing when no foreign key
    // of its database touches the table.
    std::optional<ReferentialPlan> referentialPlan(const Table& table, const sql::ObjectName& name, const char* verb);
    // CHECK constraints and unique keys of the rows a cascade changes, before anything changes.
    void checkCascadedRows(const ReferentialPlan& plan);
    // Applies the cascades after the statement's own change (a failure takes both back, as
    // every failing statement's changes go).
    void applyCascades(const ReferentialPlan& plan);
    void runCreateModule(const sql::CreateModuleStatement& s);
    // ---- schemas (schemas.cpp) ----
    void runCreateSchema(const sql::CreateSchemaStatement& s);
    void dropSchema(const std::string& name);
    // The schema a CREATE statement's name puts its object in; 2760 when it does not exist.
    int schemaToCreateIn(const sql::ObjectName& name, const Database& db) const;
    void runCreateIndex(const sql::CreateIndexStatement& s);
    void runDrop(const sql::DropStatement& s);
    void recordDependencies(Database& db, const SchemaObject& module);
    SqlType resolveType(const sql::TypeSpec& spec, const std::string& columnName = "");
    std::optional<SqlType> newerType(const sql::TypeSpec& spec);
    Column columnFromSpec(const sql::ColumnSpec& spec);

    // ---- BACKUP and RESTORE (backup_statements.cpp) ----
    void runBackup(const sql::BackupStatement& s);
    void runRestore(const sql::BackupStatement& s);
    void runRestoreHeaderOnly(const sql::BackupStatement& s);
    std::string backupPath(const sql::BackupStatement& s);
    [[noreturn]] void failBackup(const ServerMessage& cause, bool restore, int line);

    // ---- system procedures (sysprocs.cpp) ----
    bool runSystemProcedure(const std::string& name, const std::vector<Value>& arguments,
                            const std::vector<std::string>& names);
    void spHelpText(const std::vector<Value>& arguments);
    void spHelpIndex(const std::vector<Value>& arguments);
    void spHelpFile(const std::vector<Value>& arguments);
    void changeExtendedProperty(PropertyChange change, const std::vector<Value>& arguments);
    void spWho();
    void runProcedure(const SchemaObject& procedure, const sql::ExecStatement& call, const std::vector<Value>& arguments);
    // Runs a module's body with its parameters bound, in a fresh set of variables.
    void runModuleBody(const SchemaObject& module, const std::vector<Value>& arguments,
                       const std::vector<std::string>& names, const std::function<void()>& body);
    Value callScalarFunction(const SchemaObject& function, const std::vector<Value>& arguments);
    Relation callTableFunction(const SchemaObject& function, const std::vector<Value>& arguments);
    // fn_listextendedproperty of SQL Server 2005 and later (properties.cpp).
    bool isListExtendedProperty(const sql::ObjectName& name) const;
    Relation listExtendedProperties(const std::vector<Value>& arguments);
    SchemaObject* userFunction(const std::vector<std::string>& names, std::initializer_list<const char*> xtypes);

    // ---- queries (query.cpp) ----
    void runQuery(const sql::SelectStmt& select, const Frame* outer, RowTarget& target);
    void runUnion(const sql::SelectStmt& select, const Frame* outer, RowTarget& target);
    void checkGrouped(const sql::Expr& e, const sql::SelectStmt& select, const Scope& scope);
    Scope buildScope(const sql::SelectStmt& select, const std::vector<Relation>& sources);
    std::vector<OutputColumn> planOutputs(const sql::SelectStmt& select, const Scope& scope);
    static std::vector<OrderKey> planOrderKeys(const sql::SelectStmt& select, const std::vector<OutputColumn>& outputs);
    // Calls `visit` for every row of the FROM clause that passes WHERE, until it returns false.
    void scanRows(const sql::SelectStmt& select, const std::vector<Relation>& sources, const Scope& scope,
                  const Frame* outer, const std::function<bool(const Frame&)>& visit);
    // A conjunct equating a column of source `k` with an expression over the `known` sources,
    // when source `k` can look its rows up.
    std::optional<KeyProbe> keyProbe(const std::vector<const sql::Expr*>& conjuncts, const std::vector<Relation>& sources,
                                     const Scope& scope, size_t k, uint64_t known);
    // The rows that the probe's value (evaluated in `frame`) names; nullopt to read them all.
    std::optional<std::vector<uint32_t>> lookUp(const Relation& source, const std::optional<KeyProbe>& probe, const Frame& frame);
    std::vector<Row> joinInBestOrder(const std::vector<Relation>& sources, const Scope& scope, const Frame* outer,
                                     const std::vector<const sql::Expr*>& conjuncts);
    std::vector<Row> joinSources(const sql::SelectStmt& select, const std::vector<Relation>& sources, const Scope& scope,
                                 const Frame* outer, const std::vector<std::vector<const sql::Expr*>>& stageFilters);
    Row project(const std::vector<OutputColumn>& outputs, const Frame& frame);
    Relation queryToRelation(const sql::SelectStmt& select, const Frame* outer);
    Relation openSource(const sql::TableRef& ref, const Frame* outer);
    std::optional<Relation> findRelation(const sql::ObjectName& name);
    void sendRelation(const Relation& relation, StatementKind kind = StatementKind::Select);

    // ---- naming (query.cpp) ----
    std::shared_ptr<Database> currentDatabase();
    std::shared_ptr<Database> databaseFor(const sql::ObjectName& name);
    // The schema the name's owner part names in `db`: dbo when it names none, nullopt when
    // there is no such schema.
    std::optional<int> schemaFor(const sql::ObjectName& name, const Database& db) const;
    std::shared_ptr<Table> findTable(const sql::ObjectName& name);
    // Any object of sysobjects (table, view, module, constraint) by its name in its schema.
    SchemaObject* findObject(const sql::ObjectName& name);
    // True for a name without schema or database inside a module outside dbo.
    bool inModuleSchema(const sql::ObjectName& name) const;
    std::shared_ptr<Table> requireTable(const sql::ObjectName& name);
    std::optional<int> objectIdOf(std::string_view qualifiedName);

    // ---- expressions (expressions.cpp) ----
    Value eval(const sql::Expr& e, const Frame& frame);
    bool isTrue(const sql::Expr& e, const Frame& frame);
    Value evalColumn(const sql::Expr& e, const Frame& frame);
    Value evalBinary(const sql::Expr& e, const Frame& frame);
    Value evalCase(const sql::Expr& e, const Frame& frame);
    Value evalLike(const sql::Expr& e, const Frame& frame);
    Value evalIn(const sql::Expr& e, const Frame& frame);
    Value evalSubquery(const sql::Expr& e, const Frame& frame);
    Value evalSystemVariable(const std::string& name);
    Value evalAggregate(const sql::Expr& e, const Frame& frame);
    Value evalFunction(const sql::Expr& e, const Frame& frame);
    // A built-in function call with its evaluated arguments and its result type.
    struct FunctionCall {
        const sql::Expr& expr;
        const std::vector<Value>& args;
        SqlType type;
        bool anyNull(size_t count) const {
            for (size_t i = 0; i < count && i < args.size(); ++i)
                if (args[i].isNull()) return true;
            return false;
        }
    };
    // Each group answers the functions it knows and returns nullopt for the others.
    std::optional<Value> evalNullFunction(const FunctionCall& call);
    std::optional<Value> evalSessionFunction(const FunctionCall& call);
    std::optional<Value> evalCatalogFunction(const FunctionCall& call);
    // SCHEMA_ID, SCHEMA_NAME and OBJECT_SCHEMA_NAME of SQL Server 2005 and later (schemas.cpp).
    Value evalSchemaFunction(const FunctionCall& call);
    std::optional<Value> evalStringFunction(const FunctionCall& call);
    std::optional<Value> evalNumberFunction(const FunctionCall& call);
    std::optional<Value> evalDateFunction(const FunctionCall& call);
    const std::vector<Column>* columnsOfObject(int id);
    // COLUMNPROPERTY, OBJECTPROPERTY, INDEXKEY_PROPERTY, DATABASEPROPERTYEX and IDENT_SEED,
    // IDENT_INCR, IDENT_CURRENT (properties.cpp).
    std::optional<Value> evalPropertyFunction(const FunctionCall& call);
    Value objectProperty(int id, const std::string& property);
    Value columnProperty(int id, const std::string& column, const std::string& property);
    Value indexKeyProperty(int id, int64_t indid, int64_t keyno, const std::string& property);
    std::shared_ptr<Table> tableWithId(int id);
    // The table an identity function or DBCC CHECKIDENT names ('t', 'dbo.t', 'db..t').
    std::optional<sql::ObjectName> nameIn(const std::string& text);
    std::shared_ptr<Table> tableNamed(const std::string& text);
    // TEXTPTR, UPDATETEXT and SQL_VARIANT_PROPERTY (text_pointers.cpp).
    Value evalTextPointer(const sql::Expr& e, const Frame& frame);
    std::optional<Value> evalVariantFunction(const FunctionCall& call);
    void runUpdateText(const sql::UpdateTextStatement& s);
    Value evalCast(const sql::Expr& e, const Frame& frame);
    SqlType inferType(const sql::Expr& e, const Scope* scope);
    SqlType functionType(const sql::Expr& e, const Scope* scope);
    bool inferNullable(const sql::Expr& e, const Scope* scope);
    const RelColumn* sourceColumn(const sql::Expr& e, const Scope* scope);
    std::optional<std::pair<int, size_t>> locateColumn(const sql::Expr& e, const Scope* scope, const Frame* frame);
    Variable& variable(const std::string& name);

    Engine& engine_;
    Session& session_;
    ResultSink& sink_;
    std::map<std::string, Variable> variables_;  // by lower-case name
    std::string batchText_;
    // Procedures, functions, views and dynamic batches nested in one another: SQL Server
    // stops at 32 (217).
    static constexpr int kMaxModuleNesting = 32;
    int depth_ = 0;
    // The schema of the module (procedure, function, view, trigger) running: names without a
    // schema are looked up there before dbo, as SQL Server resolves them in procedural code.
    int moduleSchema_ = kDboSchemaId;
    class InSchema {
    public:
        InSchema(int& slot, int schema) : slot_(slot), saved_(slot) { slot = schema; }
        ~InSchema() { slot_ = saved_; }
        InSchema(const InSchema&) = delete;
        InSchema& operator=(const InSchema&) = delete;

    private:
        int& slot_;
        int saved_;
    };
    int functionDepth_ = 0;     // user functions being evaluated inside a statement
    uint32_t polls_ = 0;
    BatchLock* lock_ = nullptr;  // the engine lock as this batch holds it
    int statementLine_ = 1;  // line of the statement running, for messages sent on the way
    int returnStatus_ = 0;
    ChangeLog changes_;          // the batch's changes since they were last saved
    std::string savedDatabase_;  // the session's database when they were last saved
    bool ended_ = false;         // changes could not be saved: the batch stops
    Value returnValue_;
};

bool containsAggregate(const sql::Expr& e);
// IDENT_CURRENT: the last identity value given, or before the first row the seed (or the value
// DBCC CHECKIDENT set); nullopt for a table without an identity column.
std::optional<int64_t> currentIdentity(const Table& table);
// The next generated identity value, which the table moves past.
int64_t takeIdentity(Table& table, const Column& column);
// An explicit value inserted under IDENTITY_INSERT: a value beyond the current one becomes current.
void noteExplicitIdentity(Table& table, const Column& column, int64_t value);
// Makes the current identity follow the rows a table holds (after SELECT INTO or TRUNCATE).
void restartIdentity(Table& table);
// 2627 or 2601 for a key that `index` already holds.
SqlError duplicateKey(const Table& table, const Index& index);
// 1505 for a unique index or key that the rows already there would break, at `row`.
SqlError duplicateIndexKey(const Index& index, const Row& row);
// The first row whose key in `index` an earlier row already holds; nullptr when there is none.
const Row* firstDuplicate(const Table& table, const Index& index);
// The parts of a multi-part name as object_id() reads it: parts in brackets or double quotes
// keep their dots ("]]" stands for "]"); nothing when a bracket is left open.
std::optional<std::vector<std::string>> splitQualifiedName(std::string_view text);
bool isAggregateName(std::string_view name);

}  // namespace sandbox
