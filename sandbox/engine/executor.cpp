#include "engine/executor.hpp"

#include "engine/convert.hpp"
#include "engine/error.hpp"
#include "sql/parser.hpp"

#include <algorithm>
#include <cstdint>

namespace sandbox {

using namespace sql;

namespace {

constexpr int kStatementTerminated = 3621;

std::string qualifiedTableName(const std::string& database, const std::string& table) {
    return database + ".dbo." + table;
}

}  // namespace

Executor::Executor(Engine& engine, Session& session, ResultSink& sink)
    : engine_(engine), session_(session), sink_(sink), changes_(engine) {}

void Executor::runBatch(std::string_view sql) {
    session_.lastBatch_ = currentDateTime();
    batchText_ = std::string(sql);
    std::optional<std::vector<StmtPtr>> statements = parseReporting(sql);
    if (!statements) return;
    BatchLock lock(engine_.lock_, onlyReads(*statements) ? EngineLock::Mode::Shared : EngineLock::Mode::Exclusive);
    lock_ = &lock;
    savedDatabase_ = session_.database_;
    runStatements(*statements);
    saveChanges();
}

std::optional<std::vector<StmtPtr>> Executor::parseReporting(std::string_view sql) {
    try {
        return parseBatch(sql);
    } catch (const SyntaxError& e) {
        std::string text = e.nearKeyword() ? "Incorrect syntax near the keyword '" + e.near() + "'."
                                           : "Line " + std::to_string(e.line()) + ": Incorrect syntax near '" + e.near() + "'.";
        if (e.number != 0) reportError(SqlError(e.number, 15, 1, e.text), e.line());
        else reportError(SqlError(e.nearKeyword() ? 156 : 170, 15, 1, text), e.line());
    } catch (const LexError& e) {
        reportError(SqlError(e.near() == "/*" ? 113 : 105, 15, 1,
                             e.near() == "/*" ? "Missing end comment mark '*/'."
                                              : "Unclosed quotation mark before the character string '" + e.near() + "'."),
                    e.line());
    }
    return std::nullopt;
}

// EXEC ('text'): the text runs as a batch of its own in the session, one nesting level down,
// with variables of its own; the database it USEs is left again when it ends.
void Executor::runDynamicSql(const ExecStatement& s) {
    Value text = eval(*s.dynamicSql, Frame{});
    if (depth_ >= kMaxModuleNesting) throw errors::nestingTooDeep();
    std::optional<std::vector<StmtPtr>> statements = parseReporting(text.isNull() ? "" : formatValue(text));
    if (!statements) return;
    std::map<std::string, Variable> own;
    std::swap(own, variables_);
    const std::string database = session_.database_;
    InSchema callersSchema(moduleSchema_, kDboSchemaId);  // a dynamic batch resolves names as its caller's batch
    ++depth_;
    try {
        runStatements(*statements);
    } catch (...) {
        --depth_;
        std::swap(own, variables_);
        throw;
    }
    --depth_;
    std::swap(own, variables_);
    if (session_.database_ != database && engine_.database(database)) {
        std::string inner = session_.database_;
        engine_.enterDatabase(session_, database);
        sink_.databaseChanged(database, inner);
    }
}

Executor::Flow Executor::runStatements(const std::vector<StmtPtr>& statements) {
    for (size_t i = 0; i < statements.size(); ++i) {
        if (i > 0) betweenStatements();
        if (sink_.cancelled() || ended_) return Flow::Return;
        if (runStatement(*statements[i]) == Flow::Return) return Flow::Return;
    }
    return Flow::Next;
}

namespace {

// INSERT, UPDATE, DELETE, TRUNCATE and SELECT INTO change rows as one statement: all or none.
bool changesRowsAsOne(const Statement& s) {
    return s.kind == StmtKind::Insert || s.kind == StmtKind::Update || s.kind == StmtKind::Delete ||
           s.kind == StmtKind::Truncate || s.kind == StmtKind::Select;
}

}  // namespace

Executor::Flow Executor::runStatement(const Statement& statement) {
    statementLine_ = statement.line;
    ChangeLog::Mark before = changes_.mark();
    try {
        Flow flow = dispatch(statement);
        if (statement.kind != StmtKind::If && statement.kind != StmtKind::Block &&
            statement.kind != StmtKind::While)
            session_.lastError_ = 0;
        return flow;
    } catch (const StatementCancelled&) {
        return Flow::Return;  // the client sent an attention: the batch ends, acknowledged after it
    } catch (const SqlError& error) {
        if (changesRowsAsOne(statement)) changes_.rollbackTo(before);  // a failing statement changes nothing
        reportError(error, statement.line);
        return error.abortsBatch() ? Flow::Return : Flow::Next;
    } catch (const std::exception&) {
        // A fault of the sandbox itself: the batch ends with SQL Server's internal error, the
        // session and the server go on.
        if (changesRowsAsOne(statement)) changes_.rollbackTo(before);
        reportError(SqlError(8624, 16, 1, "Internal SQL Server error."), statement.line);
        return Flow::Return;
    }
}

void Executor::reportError(const SqlError& error, int line) {
    ServerMessage message = error.message();
    message.line = line;
    sink_.message(message);
    for (ServerMessage followUp : error.followUps()) {
        followUp.line = line;
        sink_.message(followUp);
        message.number = followUp.number;
    }
    session_.lastError_ = message.number;
    if (!error.abortsBatch() && (message.number == 515 || message.number == 2627 || message.number == 8152 || message.number == 547 ||
                                 message.number == 544 || message.number == 8115 || message.number == 8134))
        sink_.message({kStatementTerminated, 0, 0, "The statement has been terminated.", "", line});
    sink_.statementDone(StatementKind::Other, false, 0, true);
}

void Executor::done(StatementKind kind, bool counted, uint64_t rows) {
    if (counted) session_.rowCount_ = static_cast<int64_t>(rows);
    sink_.statementDone(kind, counted && !session_.noCount_, rows, false);
}

Executor::Flow Executor::dispatch(const Statement& s) {
    refuseChangeInFunction(s);
    switch (s.kind) {
        case StmtKind::Select: runSelectStatement(static_cast<const SelectStatement&>(s)); break;
        case StmtKind::Insert: runInsert(static_cast<const InsertStatement&>(s)); break;
        case StmtKind::Update: runUpdate(static_cast<const UpdateStatement&>(s)); break;
        case StmtKind::Delete: runDelete(static_cast<const DeleteStatement&>(s)); break;
        case StmtKind::Truncate: runTruncate(static_cast<const TruncateStatement&>(s)); break;
        case StmtKind::CreateDatabase: runCreateDatabase(static_cast<const DatabaseStatement&>(s)); break;
        case StmtKind::DropDatabase: runDropDatabase(static_cast<const DatabaseStatement&>(s)); break;
        case StmtKind::CreateTable: runCreateTable(static_cast<const CreateTableStatement&>(s)); break;
        case StmtKind::CreateModule: runCreateModule(static_cast<const CreateModuleStatement&>(s)); break;
        case StmtKind::CreateIndex: runCreateIndex(static_cast<const CreateIndexStatement&>(s)); break;
        case StmtKind::Drop: runDrop(static_cast<const DropStatement&>(s)); break;
        case StmtKind::Use: runUse(static_cast<const UseStatement&>(s)); break;
        case StmtKind::SetOption: runSetOption(static_cast<const SetOptionStatement&>(s)); break;
        case StmtKind::SetVariable: runSetVariable(static_cast<const SetVariableStatement&>(s)); break;
        case StmtKind::Declare: runDeclare(static_cast<const DeclareStatement&>(s)); break;
        case StmtKind::If: return runIf(static_cast<const IfStatement&>(s));
        case StmtKind::While: return runWhile(static_cast<const WhileStatement&>(s));
        case StmtKind::Block: return runStatements(static_cast<const BlockStatement&>(s).statements);
        case StmtKind::Print: runPrint(static_cast<const PrintStatement&>(s)); break;
        case StmtKind::Exec: runExec(static_cast<const ExecStatement&>(s)); break;
        case StmtKind::Transaction: done(StatementKind::Other, false, 0); break;
        case StmtKind::Return: {
            const auto& r = static_cast<const SimpleStatement&>(s);
            returnValue_ = r.value ? eval(*r.value, Frame{}) : Value();
            return Flow::Return;
        }
        case StmtKind::Backup: runBackup(static_cast<const BackupStatement&>(s)); break;
        case StmtKind::Restore: runRestore(static_cast<const BackupStatement&>(s)); break;
        case StmtKind::UpdateText: runUpdateText(static_cast<const UpdateTextStatement&>(s)); break;
        case StmtKind::AlterTable: runAlterTable(static_cast<const AlterTableStatement&>(s)); break;
        case StmtKind::Dbcc: runDbcc(static_cast<const DbccStatement&>(s)); break;
        case StmtKind::CreateSchema: runCreateSchema(static_cast<const CreateSchemaStatement&>(s)); break;
        case StmtKind::Empty: break;
    }
    return Flow::Next;
}

// ---- SELECT ----

namespace {

class ClientTarget : public RowTarget {
public:
    explicit ClientTarget(ResultSink& sink) : sink_(sink) {}
    void begin(const std::vector<RelColumn>& columns) override {
        columns_.clear();
        for (const auto& c : columns) {
            ColumnInfo info;
            info.name = c.name;
            info.type = c.type;
            info.nullable = c.nullable;
            info.identity = c.identity;
            info.tableName = "";
            columns_.push_back(info);
            types_.push_back(c.type);
        }
        sink_.beginResult(columns_);
    }
    bool add(Row& row) override {
        for (size_t i = 0; i < row.size(); ++i)
            if (!(row[i].type() == types_[i])) row[i] = convertValue(row[i], types_[i]);
        ++count_;
        return sink_.row(row.data());
    }
    uint64_t count() const { return count_; }

private:
    ResultSink& sink_;
    std::vector<ColumnInfo> columns_;
    std::vector<SqlType> types_;
    uint64_t count_ = 0;
};

}  // namespace

void Executor::runSelectStatement(const SelectStatement& s) {
    const SelectStmt& select = *s.select;
    if (!s.assignments.empty()) {
        // SELECT @a = x, @b = y FROM ...: the last row's values are kept.
        auto query = std::make_shared<SelectStmt>(select);
        query->items.clear();
        for (const auto& [name, expr] : s.assignments) {
            variable(name);
            query->items.push_back(SelectItem{expr, name, true, false, ""});
        }
        Relation result = queryToRelation(*query, nullptr);
        if (!result.owned.empty())
            for (size_t i = 0; i < s.assignments.size(); ++i) {
                Variable& v = variable(s.assignments[i].first);
                v.value = convertValue(result.owned.back()[i], v.type);
            }
        done(StatementKind::Select, true, result.owned.size());
        return;
    }
    if (select.into) {
        Relation result = queryToRelation(select, nullptr);
        std::vector<Column> columns;
        for (const auto& c : result.columns) {
            if (c.name.empty())
                throw SqlError(8155, 16, 2, "No column was specified for column " + std::to_string(columns.size() + 1) +
                                                " of '" + select.into->name + "'.");
            Column column;
            column.name = c.name;
            column.type = c.type;
            column.nullable = c.nullable;
            column.identity = c.identity;
            columns.push_back(column);
        }
        for (const SelectItem& item : select.items)  // IDENTITY(type, seed, increment) names the new column's seed
            if (item.expr && item.expr->kind == ExprKind::Identity && !item.expr->args.empty())
                for (Column& column : columns)
                    if (column.identity) {
                        column.seed = item.expr->args[0]->literal.asInt();
                        column.step = item.expr->args[1]->literal.asInt();
                    }
        auto table = createTable(*select.into, columns);
        try {
            changes_.appendRows(*table, std::move(result.owned));
        } catch (const SqlError&) {
            discardNewTable(*select.into, *table);  // no half-made table stays behind
            throw;
        }
        restartIdentity(*table);
        done(StatementKind::SelectInto, true, table->rows.size());
        return;
    }
    ClientTarget target(sink_);
    runQuery(select, nullptr, target);
    done(StatementKind::Select, true, target.count());
}

void Executor::sendRelation(const Relation& relation, StatementKind kind) {
    ClientTarget target(sink_);
    target.begin(relation.columns);
    for (const Row& row : relation.allRows()) {
        Row copy = row;
        if (!target.add(copy)) break;
    }
    done(kind, true, target.count());
}

// ---- INSERT, UPDATE, DELETE ----

SqlError duplicateKey(const Table& table, const Index& index) {
    if (!(index.status & (kIndexPrimaryKey | kIndexUniqueKey)))
        return SqlError(2601, 14, 3, "Cannot insert duplicate key row in object '" + table.name + "' with unique index '" +
                                         index.name + "'.", false);
    bool primary = index.status & kIndexPrimaryKey;
    return SqlError(2627, 14, 1, std::string("Violation of ") + (primary ? "PRIMARY KEY" : "UNIQUE KEY") + " constraint '" +
                                     index.name + "'. Cannot insert duplicate key in object '" + table.name + "'.", false);
}

void Executor::checkUnique(const Table& table, const Row& row, const Row* replacing) {
    for (const Index& index : table.indexes) {
        if (!(index.status & kIndexUnique)) continue;
        for (const Row& other : table.rows) {
            if (&other == replacing) continue;
            bool same = std::all_of(index.keys.begin(), index.keys.end(), [&](const auto& key) {
                const Value& a = row[key.first];
                const Value& b = other[key.first];
                return (a.isNull() && b.isNull()) || valuesEqual(a, b);
            });
            if (same) throw duplicateKey(table, index);
        }
    }
}

bool Executor::satisfies(const Table& table, const CheckConstraint& check, const Row& row) {
    Scope scope;
    scope.id = newScopeId();
    scope.entries.push_back({table.name, table.name, columnsOf(table), 0, nullptr});
    scope.width = table.columns.size();
    Value result = eval(*check.condition, Frame{&scope, row.data(), nullptr, nullptr});
    return result.isNull() || isTruthyNumber(result);  // unknown passes, as in SQL Server
}

SqlError Executor::checkConflict(const Table& table, const CheckConstraint& check, const std::string& verb) {
    std::optional<std::string> column;
    if (check.column) column = table.columns[*check.column].name;
    return SqlError(547, 16, 1, conflictText(verb, "CHECK", check.name, session_.database_, table.name, column), false);
}

void Executor::checkConstraints(const Table& table, const Row& row, bool update) {
    for (const CheckConstraint& check : table.checks)
        if (check.enabled && !satisfies(table, check, row)) throw checkConflict(table, check, update ? "UPDATE" : "INSERT");
}

namespace {

bool sameIndex(const Index& a, const Index& b) { return a.name == b.name && a.keys == b.keys; }

std::vector<const Index*> uniqueIndexes(const Table& table) {
    std::vector<const Index*> unique;
    for (const Index& index : table.indexes)
        if (index.status & kIndexUnique) unique.push_back(&index);
    return unique;
}

}  // namespace

UniqueKeys& Executor::uniqueKeys(Table& table) {
    UniqueKeys& kept = table.uniqueKeys;
    const std::vector<const Index*> indexes = uniqueIndexes(table);
    const bool current = kept.rowsVersion == table.rowsVersion && kept.sets.size() == indexes.size() &&
                         std::equal(indexes.begin(), indexes.end(), kept.sets.begin(),
                                    [](const Index* index, const UniqueKeys::Set& set) { return sameIndex(*index, set.index); });
    if (current) return kept;
    kept = UniqueKeys{table.rowsVersion, {}};
    for (const Index* index : indexes) {
        UniqueKeys::Set set{*index, {}};
        set.keys.reserve(table.rows.size());
        for (const Row& row : table.rows) set.keys.insert(indexKeyText(*index, row));
        kept.sets.push_back(std::move(set));
    }
    return kept;
}

void Executor::insertRow(Table& table, Row row, const std::string& tableName, UniqueKeys& keys) {
    for (size_t i = 0; i < table.columns.size(); ++i) {
        const Column& c = table.columns[i];
        if (row[i].isNull() && !c.nullable)
            throw SqlError(515, 16, 2, "Cannot insert the value NULL into column '" + c.name + "', table '" + tableName +
                                           "'; column does not allow nulls. INSERT fails.", false);
    }
    checkConstraints(table, row, false);
    std::vector<std::string> texts;
    for (const UniqueKeys::Set& set : keys.sets) {
        texts.push_back(indexKeyText(set.index, row));
        if (set.keys.count(texts.back())) checkUnique(table, row, nullptr);  // raises SQL Server's error
    }
    changes_.appendRow(table, std::move(row));
    for (size_t k = 0; k < keys.sets.size(); ++k) keys.sets[k].keys.insert(std::move(texts[k]));
    keys.rowsVersion = table.rowsVersion;  // the keys now include the new row
}

namespace {

// The server stamps timestamp columns itself; SQL Server 2000 refuses any other explicit value
// than NULL or DEFAULT before a row is written.
void refuseTimestampValues(const Table& table, const std::vector<size_t>& targets, const std::vector<Row>& sources) {
    for (const Row& source : sources)
        for (size_t k = 0; k < targets.size() && k < source.size(); ++k)
            if (table.columns[targets[k]].type.id == TypeId::Timestamp && !source[k].isNull())
                throw SqlError(273, 16, 1, "Cannot insert a non-null value into a timestamp column. Use INSERT with a "
                                           "column list or with a default of NULL for the timestamp column.");
}

}  // namespace

void Executor::runInsert(const InsertStatement& s) {
    auto table = requireTable(s.table);
    std::vector<size_t> targets;
    if (s.columns.empty()) {
        for (size_t i = 0; i < table->columns.size(); ++i)
            if (!table->columns[i].identity && table->columns[i].type.id != TypeId::Timestamp) targets.push_back(i);
    } else {
        for (const auto& name : s.columns) {
            auto index = table->columnIndex(name);
            if (!index) throw errors::invalidColumn(name);
            targets.push_back(*index);
        }
    }
    std::vector<Row> sources;
    std::vector<std::vector<bool>> defaulted;  // VALUES entries written as DEFAULT
    if (s.select) {
        Relation result = queryToRelation(*s.select, nullptr);
        sources = std::move(result.owned);
    } else if (s.exec) {
        throw errors::notSupported("exec");
    } else if (!s.defaultValues) {
        for (const auto& values : s.values) {
            Row row;
            std::vector<bool> isDefault;
            for (const auto& e : values) {
                isDefault.push_back(e->kind == ExprKind::Literal && e->name == "default");
                row.push_back(isDefault.back() ? Value() : eval(*e, Frame{}));
            }
            sources.push_back(std::move(row));
            defaulted.push_back(std::move(isDefault));
        }
    } else {
        sources.emplace_back();
    }
    bool identityNamed = std::any_of(targets.begin(), targets.end(), [&](size_t t) { return table->columns[t].identity; });
    checkIdentityTargets(*table, databaseFor(s.table)->name(), !s.columns.empty(), identityNamed,
                         sources.empty() ? targets.size() : sources[0].size());
    for (const Row& source : sources)
        if (source.size() != targets.size() && !s.defaultValues)
            throw SqlError(213, 16, 4, "Insert Error: Column name or number of supplied values does not match table definition.");
    refuseTimestampValues(*table, targets, sources);
    auto db = databaseFor(s.table);
    std::string fullName = qualifiedTableName(table->name[0] == '#' ? "tempdb" : db->name(), table->name);
    uint64_t count = 0;
    UniqueKeys& keys = uniqueKeys(*table);
    InsertReferences references(*db, *table, db->name());
    for (size_t r = 0; r < sources.size(); ++r) {
        const Row& source = sources[r];
        Row row(table->columns.size());
        std::vector<bool> given(table->columns.size(), false);
        for (size_t k = 0; k < targets.size() && k < source.size(); ++k) {
            if (r < defaulted.size() && defaulted[r][k]) continue;
            row[targets[k]] = assignValue(source[k], table->columns[targets[k]].type);
            given[targets[k]] = true;
        }
        for (size_t i = 0; i < table->columns.size(); ++i) {
            Column& c = table->columns[i];
            if (c.identity) {
                int64_t value = given[i] ? toInteger(row[i]) : takeIdentity(*table, c);
                if (given[i]) noteExplicitIdentity(*table, c, value);  // under IDENTITY_INSERT
                else row[i] = convertValue(Value::integer(value, TypeId::BigInt), c.type);
                session_.lastIdentity_ = value;
                session_.identityKnown_ = true;
            } else if (c.type.id == TypeId::Timestamp) {
                static uint64_t counter = 0x7D0;
                Bytes stamp(8);
                uint64_t value = ++counter;
                for (int b = 7; b >= 0; --b) { stamp[b] = value & 0xFF; value >>= 8; }
                row[i] = Value::binary(stamp, c.type);
            } else if (!given[i]) {
                row[i] = c.defaultExpr ? assignValue(eval(*c.defaultExpr, Frame{}), c.type) : Value::null(c.type);
            }
            if (row[i].isNull()) row[i] = Value::null(c.type);
        }
        references.check(row);
        insertRow(*table, std::move(row), fullName, keys);
        references.added(table->rows.back());
        ++count;
    }
    done(StatementKind::Insert, true, count);
}

namespace {

Scope tableScope(const Table& table, const std::string& alias, uint64_t id) {
    Scope scope;
    scope.id = id;
    scope.entries.push_back({alias, table.name, columnsOf(table), 0, nullptr});
    scope.width = table.columns.size();
    return scope;
}

ExprPtr andAlso(ExprPtr a, ExprPtr b) {
    if (!a) return b;
    if (!b) return a;
    auto e = std::make_shared<Expr>();
    e->kind = ExprKind::Binary;
    e->ops = {"AND"};
    e->args = {std::move(a), std::move(b)};
    return e;
}

}  // namespace

// UPDATE ... FROM and DELETE ... FROM: the target row is the outer row of a query over the
// other sources; it qualifies when that query finds a row, whose values the SET list uses.
Executor::TargetedRows Executor::matchTargetRows(const Table& table, const ObjectName& target,
                                                 const std::vector<TableRef>& from, const ExprPtr& where,
                                                 const std::vector<ExprPtr>& values) {
    std::string alias = table.name;
    auto inner = std::make_shared<SelectStmt>();
    ExprPtr condition = where;
    for (const TableRef& ref : from) {
        bool isTarget = !ref.derived && (compareCollated(ref.alias, target.name) == 0 ||
                                         (compareCollated(ref.name.name, target.name) == 0 &&
                                          (ref.alias.empty() || compareCollated(ref.alias, target.name) != 0)));
        if (isTarget && alias == table.name) {
            alias = ref.alias.empty() ? ref.name.name : ref.alias;
            condition = andAlso(condition, ref.on);
            continue;
        }
        TableRef copy = ref;
        if (inner->from.empty()) { copy.join = JoinKind::First; condition = andAlso(condition, copy.on); copy.on = nullptr; }
        inner->from.push_back(copy);
    }
    inner->where = condition;
    for (const auto& v : values) inner->items.push_back(SelectItem{v, "", false, false, ""});
    if (inner->items.empty()) {
        auto one = std::make_shared<Expr>();
        one->literal = Value::integer(1);
        inner->items.push_back(SelectItem{one, "", false, false, ""});
    }
    inner->top = std::make_shared<Expr>();
    inner->top->literal = Value::integer(1);

    Scope scope = tableScope(table, alias, newScopeId());
    TargetedRows result;
    for (size_t r = 0; r < table.rows.size(); ++r) {
        Frame outer{&scope, table.rows[r].data(), nullptr, nullptr};
        if (inner->from.empty()) {
            if (inner->where && !isTrue(*inner->where, outer)) continue;
            Row row;
            for (const auto& v : values) row.push_back(eval(*v, outer));
            result.emplace_back(r, std::move(row));
            continue;
        }
        Relation found = queryToRelation(*inner, &outer);
        if (!found.owned.empty()) result.emplace_back(r, std::move(found.owned[0]));
    }
    return result;
}

void Executor::runUpdate(const UpdateStatement& s) {
    auto table = requireTable(s.table);
    std::vector<size_t> columns;
    std::vector<std::string> variableNames;
    std::vector<ExprPtr> values;
    for (const auto& [target, expr] : s.sets) {
        values.push_back(expr);
        if (target[0] == '@') {
            variable(target);
            variableNames.push_back(target);
            columns.push_back(SIZE_MAX);
            continue;
        }
        auto index = table->columnIndex(target);
        if (!index) throw errors::invalidColumn(target);
        if (table->columns[*index].identity)
            throw SqlError(8102, 16, 1, "Cannot update identity column '" + table->columns[*index].name + "'.");
        columns.push_back(*index);
    }
    TargetedRows targets = matchTargetRows(*table, s.table, s.from, s.where, values);
    std::vector<std::pair<size_t, Row>> updated;
    updated.reserve(targets.size());
    for (const auto& [r, newValues] : targets) {
        Row& row = updated.emplace_back(r, table->rows[r]).second;
        size_t variableIndex = 0;
        for (size_t k = 0; k < columns.size(); ++k) {
            if (columns[k] == SIZE_MAX) {
                Variable& v = variable(variableNames[variableIndex++]);
                v.value = convertValue(newValues[k], v.type);
                continue;
            }
            const Column& c = table->columns[columns[k]];
            Value value = assignValue(newValues[k], c.type);
            if (value.isNull() && !c.nullable)
                throw SqlError(515, 16, 2, "Cannot insert the value NULL into column '" + c.name + "', table '" +
                                               table->name + "'; column does not allow nulls. UPDATE fails.", false);
            row[columns[k]] = value.isNull() ? Value::null(c.type) : value;
        }
    }
    for (const auto& [r, row] : updated) checkConstraints(*table, row, true);
    std::optional<ReferentialPlan> references = referentialPlan(*table, s.table, "UPDATE");
    if (references) {
        references->updating(table, updated);
        references->resolve();
        checkCascadedRows(*references);
    }
    // Keys are checked against the table as it will be; a duplicate takes the change back.
    changes_.replaceRows(*table, std::move(updated));
    checkKeysAfterUpdate(*table, columns);
    if (references) applyCascades(*references);
    done(StatementKind::Update, true, targets.size());
}

// Every unique index over a column the UPDATE set must still hold distinct keys; a hash of the
// keys finds a duplicate in one pass over the table.
void Executor::checkKeysAfterUpdate(const Table& table, const std::vector<size_t>& setColumns) {
    for (const Index& index : table.indexes) {
        bool keyChanged = std::any_of(index.keys.begin(), index.keys.end(), [&](const auto& key) {
            return std::find(setColumns.begin(), setColumns.end(), key.first) != setColumns.end();
        });
        if (!(index.status & kIndexUnique) || !keyChanged) continue;
        std::unordered_set<std::string> keys;
        keys.reserve(table.rows.size());
        for (const Row& row : table.rows)
            if (!keys.insert(indexKeyText(index, row)).second) checkUnique(table, row, &row);  // raises SQL Server's error
    }
}

void Executor::runDelete(const DeleteStatement& s) {
    auto table = requireTable(s.table);
    TargetedRows targets = matchTargetRows(*table, s.table, s.from, s.where, {});
    std::vector<size_t> doomed;
    doomed.reserve(targets.size());
    for (const auto& target : targets) doomed.push_back(target.first);
    std::optional<ReferentialPlan> references = referentialPlan(*table, s.table, "DELETE");
    if (references) {
        references->deleting(table, doomed);
        references->resolve();
        checkCascadedRows(*references);
    }
    changes_.eraseRows(*table, doomed);
    if (references) applyCascades(*references);
    done(StatementKind::Delete, true, targets.size());
}

// ---- session statements ----

void Executor::runUse(const UseStatement& s) {
    auto db = engine_.database(s.database);
    if (!db)
        throw SqlError(911, 16, 1, "Could not locate entry in sysdatabases for database '" + s.database +
                                       "'. No entry found with that name. Make sure that the name is entered correctly.");
    std::string old = session_.database_;
    engine_.enterDatabase(session_, db->name());
    sink_.databaseChanged(db->name(), old);
    sink_.message({5701, 1, 0, "Changed database context to '" + db->name() + "'.", "", 1});
    done(StatementKind::Other, false, 0);
}

namespace {

// The SET options SQL Server 2000 knows; the sandbox honours NOCOUNT, ROWCOUNT, FMTONLY and
// IDENTITY_INSERT and accepts the others, which change nothing it computes.
constexpr std::string_view kSetOptions[] = {
    "ansi_defaults", "ansi_null_dflt_off", "ansi_null_dflt_on", "ansi_nulls", "ansi_padding", "ansi_warnings",
    "arithabort", "arithignore", "concat_null_yields_null", "context_info", "cursor_close_on_commit", "datefirst",
    "dateformat", "deadlock_priority", "disable_def_cnst_chk", "fips_flagger", "fmtonly", "forceplan",
    "identity_insert", "implicit_transactions", "language", "lock_timeout", "nocount", "noexec",
    "numeric_roundabort", "offsets", "parseonly", "query_governor_cost_limit", "quoted_identifier",
    "remote_proc_transactions", "rowcount", "showplan_all", "showplan_text", "statistics", "textsize",
    "transaction", "xact_abort"};

bool isOn(const std::string& value) { return equalsIgnoreCase(value, "on"); }

}  // namespace

void Executor::runSetOption(const SetOptionStatement& s) {
    for (size_t start = 0; start <= s.option.size();) {
        size_t comma = s.option.find(',', start);
        std::string option = s.option.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (std::find(std::begin(kSetOptions), std::end(kSetOptions), option) == std::end(kSetOptions))
            throw SqlError(195, 15, 1, "'" + option + "' is not a recognized SET option.");
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    if (s.option == "nocount") session_.noCount_ = isOn(s.value);
    if (s.option == "fmtonly") session_.formatOnly_ = isOn(s.value);
    if (s.option == "rowcount") {
        Value limit = s.value[0] == '@' ? variable(s.value).value : Value::varchar(s.value);
        session_.rowLimit_ = limit.isNull() ? 0 : std::max<int64_t>(0, toInteger(limit));
    }
    if (s.option == "identity_insert") setIdentityInsert(s.table, isOn(s.value));
    done(StatementKind::Other, false, 0);
}

void Executor::runDeclare(const DeclareStatement& s) {
    for (const auto& [name, spec] : s.variables) {
        std::string key = toLower(name);
        if (variables_.count(key))
            throw SqlError(134, 15, 1, "The variable name '" + name + "' has already been declared. Variable names must be unique within a query batch or stored procedure.");
        SqlType type = resolveType(spec);
        variables_[key] = Variable{type, Value::null(type)};
    }
    // DECLARE sends no DONE token, as SQL Server does.
}

Variable& Executor::variable(const std::string& name) {
    auto found = variables_.find(toLower(name));
    if (found == variables_.end()) throw errors::undeclaredVariable(name);
    return found->second;
}

void Executor::runSetVariable(const SetVariableStatement& s) {
    Variable& v = variable(s.variable);
    v.value = convertValue(eval(*s.value, Frame{}), v.type);
    done(StatementKind::Other, false, 0);
}

Executor::Flow Executor::runIf(const IfStatement& s) {
    if (isTrue(*s.condition, Frame{})) return runStatement(*s.then);
    if (s.otherwise) return runStatement(*s.otherwise);
    return Flow::Next;
}

// A loop runs until its condition ends it or the client cancels; other sessions get their
// turns between its iterations.
Executor::Flow Executor::runWhile(const WhileStatement& s) {
    for (bool first = true; !sink_.cancelRequested(); first = false) {
        if (!first) betweenStatements();
        if (ended_) return Flow::Return;
        if (!isTrue(*s.condition, Frame{})) return Flow::Next;
        if (runStatement(*s.body) == Flow::Return) return Flow::Return;
    }
    return Flow::Return;
}

void Executor::runPrint(const PrintStatement& s) {
    Value v = eval(*s.value, Frame{});
    sink_.message({0, 1, 0, v.isNull() ? "" : formatValue(v), "", s.line});
    done(StatementKind::Other, false, 0);
}

void Executor::runExec(const ExecStatement& s) {
    if (s.dynamicSql) return runDynamicSql(s);
    std::vector<Value> arguments;
    std::vector<std::string> names;
    for (const auto& argument : s.arguments) {
        arguments.push_back(argument.value ? eval(*argument.value, Frame{}) : Value());
        names.push_back(toLower(argument.name));
    }
    std::string name = toLower(s.procedure.name);
    if (runSystemProcedure(name, arguments, names)) return;
    SchemaObject* procedure = findObject(s.procedure);
    if (!procedure || procedure->xtype != "P") throw errors::unknownProcedure(s.procedure.name);
    runProcedure(*procedure, s, arguments);
}

void Executor::runModuleBody(const SchemaObject& module, const std::vector<Value>& arguments,
                             const std::vector<std::string>& names, const std::function<void()>& body) {
    if (depth_ >= kMaxModuleNesting) throw errors::nestingTooDeep();
    std::map<std::string, Variable> bound;
    const auto& parameters = module.module->parameters;
    for (size_t i = 0; i < parameters.size(); ++i) {
        const auto& [name, spec] = parameters[i];
        SqlType type = resolveType(spec);
        const ExprPtr& fallback = module.module->parameterDefaults[i];
        Value value = fallback ? convertValue(eval(*fallback, Frame{}), type) : Value::null(type);
        for (size_t k = 0; k < arguments.size(); ++k) {
            bool byName = k < names.size() && !names[k].empty() && equalsIgnoreCase(names[k], name);
            bool byPosition = (k >= names.size() || names[k].empty()) && k == i;
            if (byName || byPosition) value = convertValue(arguments[k], type);
        }
        bound[toLower(name)] = Variable{type, value};
    }
    std::swap(bound, variables_);
    ++depth_;
    InSchema inModule(moduleSchema_, module.schemaId);
    returnValue_ = Value();
    try {
        body();
    } catch (...) {
        --depth_;
        std::swap(bound, variables_);
        throw;
    }
    --depth_;
    std::swap(bound, variables_);
}

void Executor::runProcedure(const SchemaObject& procedure, const ExecStatement& call, const std::vector<Value>& arguments) {
    std::vector<std::string> names;
    for (const auto& argument : call.arguments) names.push_back(argument.name);
    // The body is kept alive by this call: between its statements other sessions may drop or
    // create objects, and `procedure` may be gone by the time the body ends.
    std::shared_ptr<const CreateModuleStatement> module = procedure.module;
    runModuleBody(procedure, arguments, names, [&] { runStatements(module->body); });
    returnStatus_ = returnValue_.isNull() ? 0 : static_cast<int>(toInteger(returnValue_));
    if (!call.returnVariable.empty()) variable(call.returnVariable).value = Value::integer(returnStatus_);
    sink_.returnStatus(returnStatus_);
    done(StatementKind::Other, false, 0);
}

SchemaObject* Executor::userFunction(const std::vector<std::string>& names, std::initializer_list<const char*> xtypes) {
    if (names.size() < 2) return nullptr;  // user functions are always called with their owner
    ObjectName name;
    name.name = names.back();
    name.owner = names[names.size() - 2];
    if (names.size() >= 3) name.database = names[names.size() - 3];
    SchemaObject* object = findObject(name);
    if (!object || !object->module) return nullptr;
    for (const char* xtype : xtypes)
        if (object->xtype == xtype) return object;
    return nullptr;
}

namespace {

// A user function takes exactly as many arguments as it has parameters.
void checkFunctionArguments(const SchemaObject& function, size_t count) {
    size_t parameters = function.module->parameters.size();
    if (count < parameters)
        throw SqlError(313, 16, 3, "An insufficient number of arguments were supplied for the procedure or function " +
                                       function.name + ".");
    if (count > parameters)
        throw SqlError(8144, 16, 2, "Procedure or function " + function.name + " has too many arguments specified.");
}

}  // namespace

Value Executor::callScalarFunction(const SchemaObject& function, const std::vector<Value>& arguments) {
    checkFunctionArguments(function, arguments.size());
    ++functionDepth_;
    try {
        runModuleBody(function, arguments, {}, [&] { runStatements(function.module->body); });
    } catch (...) {
        --functionDepth_;
        throw;
    }
    --functionDepth_;
    return convertValue(returnValue_, resolveType(function.module->returnType));
}

Relation Executor::callTableFunction(const SchemaObject& function, const std::vector<Value>& arguments) {
    if (!function.module->viewSelect) throw errors::notSupported(function.name);
    checkFunctionArguments(function, arguments.size());
    Relation result;
    runModuleBody(function, arguments, {}, [&] { result = queryToRelation(*function.module->viewSelect, nullptr); });
    result.name = function.name;
    return result;
}

}  // namespace sandbox
