#pragma once
// Syntax tree of the T-SQL statements the sandbox runs.

#include "types/value.hpp"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sandbox::sql {

struct Expr;
struct SelectStmt;
using ExprPtr = std::shared_ptr<Expr>;

// A type as written: varchar(20), decimal(18,2), sysname.
struct TypeSpec {
    std::string name;
    std::vector<int> arguments;
    bool max = false;  // varchar(max): SQL Server 2005 and later
};

enum class ExprKind {
    Literal,     // literal
    Column,      // names: [table.]column, resolved against the FROM clause
    Variable,    // name: @x
    SystemVar,   // name: @@version
    Unary,       // op: '-', '+', '~', 'NOT'; args[0]
    Binary,      // args[0] ops[0] args[1] ops[1] args[2] ...: operators of one precedence level
                 // (+ - & | ^, or * / %, or AND, or OR) applied left to right, or one comparison
                 // (= <> < > <= >=); a chain of any length is one flat node
    Function,    // name, args; star for count(*); distinct for count(distinct x); a date part
                 // argument is a Literal named "datepart" holding the sql::DatePart number
    Case,        // args: [operand] when,then ... [else]; hasOperand, hasElse
    Subquery,    // subquery: a scalar subquery
    Exists,      // subquery; negated
    InList,      // args[0] IN (args[1..]); negated
    InSubquery,  // args[0] IN (subquery); negated
    Between,     // args[0] BETWEEN args[1] AND args[2]; negated
    Like,        // args[0] LIKE args[1] [ESCAPE args[2]]; negated
    IsNull,      // args[0] IS [NOT] NULL; negated
    Cast,        // CAST(args[0] AS type) / CONVERT(type, args[0] [, args[1] style])
    Collate,     // args[0] COLLATE name
    Identity,    // IDENTITY(type, seed, step) in SELECT ... INTO
};

// Where a column reference was last found: the query scope (ids never repeat in a process),
// how many enclosing queries out, and the slot in the row. Sessions that read the same view or
// function at once share its expressions, so the three are one atomic word; a binding too
// large for it is not kept.
class ColumnBinding {
public:
    ColumnBinding() = default;
    ColumnBinding(const ColumnBinding&) {}
    ColumnBinding& operator=(const ColumnBinding&) { word_.store(0, std::memory_order_relaxed); return *this; }

    bool recall(uint64_t scope, int& depth, size_t& index) const {
        uint64_t word = word_.load(std::memory_order_relaxed);
        if (scope == 0 || word >> 20 != scope) return false;
        depth = static_cast<int>((word >> 14) & 0x3F);
        index = word & 0x3FFF;
        return true;
    }
    void remember(uint64_t scope, int depth, size_t index) const {
        if (scope >= (uint64_t{1} << 44) || depth < 0 || depth > 0x3F || index > 0x3FFF) return;
        word_.store(scope << 20 | static_cast<uint64_t>(depth) << 14 | index, std::memory_order_relaxed);
    }

private:
    mutable std::atomic<uint64_t> word_{0};
};

struct Expr {
    ExprKind kind = ExprKind::Literal;
    std::string name;                // function, variable or unary operator
    std::vector<std::string> ops;    // Binary: the operator between args[i] and args[i + 1]
    std::vector<std::string> names;  // column reference parts
    Value literal;
    std::vector<ExprPtr> args;
    std::shared_ptr<SelectStmt> subquery;
    TypeSpec type;                   // Cast and Identity
    bool negated = false;
    bool distinct = false;
    bool star = false;
    bool hasOperand = false;
    bool hasElse = false;
    int line = 1;
    std::string text;                // source text, kept for DEFAULT expressions

    // Where a column reference was found, cached by the executor per query scope.
    ColumnBinding binding;
};

struct SelectItem {
    ExprPtr expr;          // null for * and t.*
    std::string alias;
    bool hasAlias = false;
    bool star = false;
    std::string starQualifier;
};

enum class JoinKind { First, Comma, Inner, Left, Right, Full, Cross };

// A table name as written: up to database.owner.name.
struct ObjectName {
    std::string database, owner, name;
    std::string display() const;  // as SQL Server quotes it in messages
};

struct TableRef {
    JoinKind join = JoinKind::First;
    ObjectName name;
    std::shared_ptr<SelectStmt> derived;  // (select ...) alias
    std::string alias;
    ExprPtr on;
    std::vector<ExprPtr> arguments;  // dbo.f(...) in FROM: a table-valued function
    bool isFunction = false;
};

struct OrderItem {
    ExprPtr expr;
    bool descending = false;
};

struct SelectStmt {
    bool distinct = false;
    ExprPtr top;
    bool topPercent = false;
    std::vector<SelectItem> items;
    std::optional<ObjectName> into;
    std::vector<TableRef> from;
    ExprPtr where;
    std::vector<ExprPtr> groupBy;
    ExprPtr having;
    std::vector<OrderItem> orderBy;
    std::shared_ptr<SelectStmt> unionNext;
    bool unionAll = false;

    SelectStmt() = default;
    SelectStmt(const SelectStmt&) = default;
    SelectStmt& operator=(const SelectStmt&) = default;
    // A UNION chain of any length is taken apart in a loop rather than by nested destructors.
    ~SelectStmt() {
        std::shared_ptr<SelectStmt> next = std::move(unionNext);
        while (next && next.use_count() == 1) next = std::move(next->unionNext);
    }
};

enum class StmtKind {
    Select, Insert, Update, Delete, CreateDatabase, DropDatabase, CreateTable, CreateModule,
    CreateIndex, Drop, Use, SetOption, SetVariable, Declare, If, Block, Print, Exec, Transaction,
    Return, While, Truncate, Backup, Restore, UpdateText, AlterTable, Dbcc, CreateSchema, Empty
};

struct Statement {
    explicit Statement(StmtKind k) : kind(k) {}
    virtual ~Statement() = default;
    StmtKind kind;
    int line = 1;
};
using StmtPtr = std::shared_ptr<Statement>;

struct SelectStatement : Statement {
    SelectStatement() : Statement(StmtKind::Select) {}
    std::shared_ptr<SelectStmt> select;
    // SELECT @a = x: assignments instead of a result set
    std::vector<std::pair<std::string, ExprPtr>> assignments;
};

struct InsertStatement : Statement {
    InsertStatement() : Statement(StmtKind::Insert) {}
    ObjectName table;
    std::vector<std::string> columns;
    std::vector<std::vector<ExprPtr>> values;  // VALUES rows; empty with a SELECT source
    std::shared_ptr<SelectStmt> select;
    std::shared_ptr<Statement> exec;           // INSERT ... EXEC
    bool defaultValues = false;
};

struct UpdateStatement : Statement {
    UpdateStatement() : Statement(StmtKind::Update) {}
    ObjectName table;
    std::vector<std::pair<std::string, ExprPtr>> sets;  // column or @variable
    std::vector<TableRef> from;
    ExprPtr where;
};

struct DeleteStatement : Statement {
    DeleteStatement() : Statement(StmtKind::Delete) {}
    ObjectName table;
    std::vector<TableRef> from;
    ExprPtr where;
};

struct TruncateStatement : Statement {
    TruncateStatement() : Statement(StmtKind::Truncate) {}
    ObjectName table;
};

struct DatabaseStatement : Statement {
    explicit DatabaseStatement(StmtKind k) : Statement(k) {}
    std::string name;
};

struct ColumnSpec {
    std::string name;
    TypeSpec type;
    std::optional<bool> nullable;
    ExprPtr defaultExpr;
    std::string defaultName;  // CONSTRAINT name DEFAULT ...
    bool identity = false;
    int64_t seed = 1, step = 1;
    ExprPtr computed;         // AS expression (kept, not supported)
    std::string collation;    // COLLATE name; empty for the database's collation
};

enum class KeyKind { PrimaryKey, Unique };

struct KeySpec {
    KeyKind kind = KeyKind::PrimaryKey;
    std::string name;
    std::optional<bool> clustered;
    std::vector<std::pair<std::string, bool>> columns;  // name, descending
};

// CHECK (condition), at a column (column set) or at the table.
struct CheckSpec {
    std::string name;
    std::string column;
    ExprPtr condition;
};

// What happens to referencing rows when a referenced key is deleted or changed.
enum class ReferentialAction { NoAction, Cascade };

// [CONSTRAINT name] FOREIGN KEY (columns) REFERENCES table [(columns)] [ON DELETE ...] [ON UPDATE ...],
// at a column (REFERENCES alone) or at the table.
struct ForeignKeySpec {
    std::string name;
    std::vector<std::string> columns;
    ObjectName referenced;
    std::vector<std::string> referencedColumns;  // empty: the referenced table's primary key
    ReferentialAction onDelete = ReferentialAction::NoAction;
    ReferentialAction onUpdate = ReferentialAction::NoAction;
    bool columnLevel = false;
};

// [CONSTRAINT name] DEFAULT expression FOR column, in ALTER TABLE ... ADD.
struct DefaultSpec {
    std::string name;
    std::string column;
    ExprPtr value;  // its text is kept in value->text
};

// The constraints of a table as one statement declares them.
struct ConstraintSpecs {
    std::vector<KeySpec> keys;
    std::vector<CheckSpec> checks;
    std::vector<ForeignKeySpec> foreignKeys;
    std::vector<DefaultSpec> defaults;
};

struct CreateTableStatement : Statement {
    CreateTableStatement() : Statement(StmtKind::CreateTable) {}
    ObjectName table;
    std::vector<ColumnSpec> columns;
    std::vector<KeySpec> keys;
    std::vector<CheckSpec> checks;
    std::vector<ForeignKeySpec> foreignKeys;
};

// ALTER TABLE t [WITH CHECK | WITH NOCHECK] ADD constraints, or ALTER TABLE t DROP [CONSTRAINT] names.
struct AlterTableStatement : Statement {
    AlterTableStatement() : Statement(StmtKind::AlterTable) {}
    ObjectName table;
    bool checkExisting = true;  // WITH NOCHECK: rows already there are not checked
    ConstraintSpecs added;
    std::vector<std::string> droppedConstraints;
    // [WITH CHECK] CHECK | NOCHECK CONSTRAINT ALL | names, ENABLE | DISABLE TRIGGER ALL | names:
    // constraints or triggers switched on or off; `switched` is empty for ALL.
    std::optional<bool> constraintsOn, triggersOn;
    std::vector<std::string> switched;
    bool validate = false;  // WITH CHECK CHECK CONSTRAINT: the rows there are checked again
};

// DBCC CHECKIDENT ('table' [, NORESEED | RESEED [, value]]) [WITH NO_INFOMSGS].
struct DbccStatement : Statement {
    DbccStatement() : Statement(StmtKind::Dbcc) {}
    std::string command;  // lower case: checkident
    ObjectName table;
    std::string mode;     // "", "noreseed" or "reseed"
    ExprPtr value;        // RESEED's new value
    bool noInfoMessages = false;
};

enum class ModuleKind { View, Procedure, Function, Trigger };

struct CreateModuleStatement : Statement {
    CreateModuleStatement() : Statement(StmtKind::CreateModule) {}
    ModuleKind module = ModuleKind::View;
    ObjectName name;
    ObjectName triggerTable;
    std::string xtype;                 // V, P, FN, IF, TF, TR
    std::string sourceText;            // the batch text as submitted
    std::vector<std::pair<std::string, TypeSpec>> parameters;
    std::vector<ExprPtr> parameterDefaults;  // null where a parameter has no default
    std::vector<StmtPtr> body;
    std::shared_ptr<SelectStmt> viewSelect;  // views and inline functions
    TypeSpec returnType;                     // scalar functions
    std::string returnTableVariable;         // multi-statement table function
    std::vector<ColumnSpec> returnColumns;
};

// CREATE SCHEMA name [AUTHORIZATION owner] [CREATE TABLE ...]: the tables it declares are made
// in the new schema.
struct CreateSchemaStatement : Statement {
    CreateSchemaStatement() : Statement(StmtKind::CreateSchema) {}
    std::string name;           // empty for SQL Server 2000's CREATE SCHEMA AUTHORIZATION owner
    std::string authorization;
    std::vector<StmtPtr> elements;
};

struct CreateIndexStatement : Statement {
    CreateIndexStatement() : Statement(StmtKind::CreateIndex) {}
    std::string name;
    ObjectName table;
    bool unique = false;
    bool clustered = false;
    std::vector<std::pair<std::string, bool>> columns;
};

struct DropStatement : Statement {
    DropStatement() : Statement(StmtKind::Drop) {}
    std::string what;  // TABLE, VIEW, PROCEDURE, FUNCTION, TRIGGER, INDEX
    std::vector<ObjectName> names;
};

struct UseStatement : Statement {
    UseStatement() : Statement(StmtKind::Use) {}
    std::string database;
};

struct SetOptionStatement : Statement {
    SetOptionStatement() : Statement(StmtKind::SetOption) {}
    std::string option;
    std::string value;
    ObjectName table;  // SET IDENTITY_INSERT table ON | OFF
};

struct SetVariableStatement : Statement {
    SetVariableStatement() : Statement(StmtKind::SetVariable) {}
    std::string variable;
    ExprPtr value;
};

struct DeclareStatement : Statement {
    DeclareStatement() : Statement(StmtKind::Declare) {}
    std::vector<std::pair<std::string, TypeSpec>> variables;
};

struct IfStatement : Statement {
    IfStatement() : Statement(StmtKind::If) {}
    ExprPtr condition;
    StmtPtr then, otherwise;
};

struct WhileStatement : Statement {
    WhileStatement() : Statement(StmtKind::While) {}
    ExprPtr condition;
    StmtPtr body;
};

struct BlockStatement : Statement {
    BlockStatement() : Statement(StmtKind::Block) {}
    std::vector<StmtPtr> statements;
};

struct PrintStatement : Statement {
    PrintStatement() : Statement(StmtKind::Print) {}
    ExprPtr value;
};

struct ExecArgument {
    std::string name;  // @name = value, or empty
    ExprPtr value;
    bool output = false;
};

struct ExecStatement : Statement {
    ExecStatement() : Statement(StmtKind::Exec) {}
    std::string returnVariable;  // EXEC @rc = proc
    ObjectName procedure;
    ExprPtr dynamicSql;          // EXEC ('batch text' + @v ...): run as a batch of its own
    std::vector<ExecArgument> arguments;
};

// BACKUP DATABASE db TO DISK = 'path' / RESTORE DATABASE db FROM DISK = 'path', with options.
struct BackupStatement : Statement {
    explicit BackupStatement(StmtKind k) : Statement(k) {}
    std::string database;
    ExprPtr path;
    bool init = false;     // INIT or FORMAT: the file starts afresh
    bool replace = false;  // REPLACE: a database of another name may be overwritten
    ExprPtr file;          // FILE = n: which backup set to restore (1 when absent)
    bool headerOnly = false;  // RESTORE HEADERONLY: list the backup sets of the file
};

// UPDATETEXT table.column pointer offset length [WITH LOG] [data]: offset NULL appends, length
// NULL deletes to the end.
struct UpdateTextStatement : Statement {
    UpdateTextStatement() : Statement(StmtKind::UpdateText) {}
    ObjectName table;  // the column's name is in `column`
    std::string column;
    ExprPtr pointer, offset, length, data;
};

struct SimpleStatement : Statement {
    explicit SimpleStatement(StmtKind k) : Statement(k) {}
    ExprPtr value;  // RETURN value
};

}  // namespace sandbox::sql
