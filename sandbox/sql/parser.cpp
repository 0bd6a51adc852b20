#include "sql/parser.hpp"

#include "sql/builtins.hpp"
#include "sql/nesting.hpp"
#include "types/text.hpp"

#include <algorithm>
#include <array>
#include <cstdlib>

namespace sandbox::sql {
namespace {

constexpr std::string_view kReserved[] = {  // in alphabetical order
    "add", "all", "alter", "and", "any", "as", "asc", "authorization", "backup", "begin", "between",
    "break", "by", "cascade", "case", "check", "checkpoint", "close", "clustered", "collate", "column",
    "commit", "constraint", "continue", "create", "cross", "cursor", "database", "deallocate",
    "declare", "default", "delete", "deny", "desc", "distinct", "drop", "else", "end", "escape",
    "except", "exec", "execute", "exists", "fetch", "for", "foreign", "from", "full", "function",
    "goto", "grant", "group", "having", "identity", "if", "in", "index", "inner", "insert",
    "intersect", "into", "is", "join", "key", "left", "like", "nonclustered", "not", "null", "of",
    "on", "open", "option", "or", "order", "outer", "primary", "print", "proc", "procedure",
    "return", "right", "rollback", "select", "set", "table", "then", "top", "tran", "transaction",
    "trigger", "truncate", "union", "unique", "update", "updatetext", "use", "values", "view", "when", "where",
    "while", "with"};

ExprPtr makeExpr(ExprKind kind, int line) {
    auto e = std::make_shared<Expr>();
    e->kind = kind;
    e->line = line;
    return e;
}

ExprPtr binary(std::string op, ExprPtr left, ExprPtr right) {
    auto e = makeExpr(ExprKind::Binary, left->line);
    e->ops = {std::move(op)};
    e->args = {std::move(left), std::move(right)};
    return e;
}

SyntaxError ruleBroken(const Token& near, int number, std::string text) {
    SyntaxError error(near.text, near.line, false);
    error.number = number;
    error.text = std::move(text);
    return error;
}

constexpr size_t kMaxNumericDigits = 38;

SyntaxError numberOutOfRange(const std::string& text, int line) {
    SyntaxError error(text, line, false);
    error.number = 1007;
    error.text = "The number '" + text + "' is out of the range for numeric representation (maximum precision 38).";
    return error;
}

Value integerLiteral(const std::string& digits, int line) {
    std::string trimmed = digits.substr(std::min(digits.find_first_not_of('0'), digits.size() - 1));
    if (trimmed.size() > kMaxNumericDigits) throw numberOutOfRange(digits, line);
    if (trimmed.size() <= 10) {
        long long v = std::stoll(trimmed);
        if (v <= 2147483647LL) return Value::integer(v);
    }
    Int128 unscaled = 0;
    for (char c : trimmed) unscaled = unscaled * 10 + (c - '0');
    int precision = std::min<int>(38, static_cast<int>(trimmed.size()));
    return Value::decimal({unscaled, 0}, SqlType::decimal(precision, 0, TypeId::Numeric));
}

Value decimalLiteral(const std::string& text, int line) {
    size_t dot = text.find('.');
    std::string digits = text.substr(0, dot) + text.substr(dot + 1);
    size_t leadingZeros = std::min(digits.find_first_not_of('0'), digits.size());
    if (digits.size() - leadingZeros > kMaxNumericDigits) throw numberOutOfRange(text, line);
    int scale = static_cast<int>(text.size() - dot - 1);
    Int128 unscaled = 0;
    for (char c : digits) unscaled = unscaled * 10 + (c - '0');
    size_t significant = digits.find_first_not_of('0');
    int precision = significant == std::string::npos ? 1 : static_cast<int>(digits.size() - significant);
    precision = std::clamp(std::max(precision, scale), 1, 38);
    return Value::decimal({unscaled, scale}, SqlType::decimal(precision, scale, TypeId::Numeric));
}

Value binaryLiteral(const std::string& hexDigits) {
    std::string digits = hexDigits.size() % 2 ? "0" + hexDigits : hexDigits;
    Bytes bytes;
    for (size_t i = 0; i < digits.size(); i += 2)
        bytes.push_back(static_cast<uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    SqlType type = SqlType::chars(TypeId::VarBinary, std::max<int>(1, static_cast<int>(bytes.size())));
    return Value::binary(std::move(bytes), type);
}

class Parser {
public:
    Parser(std::string_view sql, CallChecks checks) : sql_(sql), tokens_(tokenize(sql)), checks_(checks) {}

    std::vector<StmtPtr> batch() {
        std::vector<StmtPtr> statements;
        while (!atEnd()) {
            if (accept(";")) continue;
            statements.push_back(statement(statements.empty()));
        }
        return statements;
    }

    ExprPtr standaloneExpression() {
        ExprPtr e = expression();
        if (!atEnd()) fail();
        return e;
    }

private:
    // ---- token access ----
    const Token& peek(size_t ahead = 0) const { return tokens_[std::min(pos_ + ahead, tokens_.size() - 1)]; }
    const Token& take() { const Token& t = tokens_[pos_]; if (pos_ + 1 < tokens_.size()) ++pos_; return t; }
    bool atEnd() const { return peek().kind == TokenKind::End; }
    bool is(std::string_view keyword, size_t ahead = 0) const { return peek(ahead).is(keyword); }
    bool isSymbol(std::string_view s, size_t ahead = 0) const { return peek(ahead).isSymbol(s); }
    bool accept(std::string_view keywordOrSymbol) {
        if (is(keywordOrSymbol) || isSymbol(keywordOrSymbol)) { take(); return true; }
        return false;
    }
    void expect(std::string_view keywordOrSymbol) {
        if (!accept(keywordOrSymbol)) fail();
    }
    [[noreturn]] void fail() const {
        const Token& t = atEnd() && pos_ > 0 ? tokens_[pos_ - 1] : peek();
        bool keyword = t.kind == TokenKind::Word && isReservedWord(t.text);
        std::string near = t.kind == TokenKind::String || t.kind == TokenKind::UnicodeString ? t.text : t.text;
        throw SyntaxError(near, t.line, keyword && !atEnd());
    }

    bool isName(size_t ahead = 0) const {
        const Token& t = peek(ahead);
        return t.kind == TokenKind::QuotedName || (t.kind == TokenKind::Word && !isReservedWord(t.text));
    }
    std::string name() {
        if (!isName()) fail();
        return take().text;
    }
    // Any word, reserved or not, where the grammar allows it (option names, types).
    std::string anyWord() {
        if (peek().kind != TokenKind::Word && peek().kind != TokenKind::QuotedName) fail();
        return take().text;
    }

    ObjectName objectName() {
        std::vector<std::string> parts;
        parts.push_back(isSymbol(".") ? std::string() : name());
        while (isSymbol(".")) {
            take();
            parts.push_back(isSymbol(".") ? std::string() : name());
        }
        if (parts.size() > 3 || parts.back().empty()) fail();
        ObjectName result;
        result.name = parts.back();
        if (parts.size() >= 2) result.owner = parts[parts.size() - 2];
        if (parts.size() == 3) result.database = parts[0];
        return result;
    }

    // ---- statements ----
    StmtPtr statement(bool firstInBatch) {
        int line = peek().line;
        Nested nested(*this);  // IF and BEGIN nest statements in statements
        StmtPtr s = statementBody(firstInBatch);
        s->line = line;
        return s;
    }

    // One level of a construct that nests (statements in statements, queries, parentheses,
    // operators applied to operators). Deeply nested input must not exhaust the stack; SQL
    // Server refuses it too.
    class Nested {
    public:
        explicit Nested(Parser& parser) : parser_(parser) {
            constexpr int kMaxNesting = 128;
            if (++parser_.nesting_ > kMaxNesting || stackNearlyExhausted())
                throw ruleBroken(parser_.peek(), kNestedTooDeeply, std::string(kNestedTooDeeplyText));
        }
        ~Nested() { --parser_.nesting_; }
        Nested(const Nested&) = delete;
        Nested& operator=(const Nested&) = delete;

    private:
        Parser& parser_;
    };

    StmtPtr statementBody(bool firstInBatch) {
        if (is("select")) return selectStatement();
        if (is("insert")) return insertStatement();
        if (is("update")) return updateStatement();
        if (is("delete")) return deleteStatement();
        if (is("create")) return createStatement(firstInBatch);
        if (is("alter") && is("table", 1)) return alterStatement();
        if (is("dbcc")) return dbccStatement();
        if (is("drop")) return dropStatement();
        if (is("use")) return useStatement();
        if (is("set")) return setStatement();
        if (is("declare")) return declareStatement();
        if (is("if")) return ifStatement();
        if (is("while")) return whileStatement();
        if (is("begin")) return beginStatement();
        if (is("print")) return printStatement();
        if (is("exec") || is("execute")) { take(); return execStatement(); }
        if (is("return")) return returnStatement();
        if (is("commit") || is("rollback") || is("save")) return transactionStatement();
        if (is("truncate")) return truncateStatement();
        if (is("updatetext")) return updateTextStatement();
        if (is("backup") || is("restore")) return backupStatement();
        if (isSymbol("(") && is("select", 1)) return selectStatement();
        if (firstInBatch && isName()) return execStatement();  // a bare procedure name
        fail();
    }

    StmtPtr selectStatement() {
        auto s = std::make_shared<SelectStatement>();
        s->select = selectQuery(s.get());
        return s;
    }

    std::shared_ptr<SelectStmt> selectQuery(SelectStatement* assignmentsTarget = nullptr) {
        Nested nested(*this);
        return selectQueryBody(assignmentsTarget);
    }

    // A UNION chain is read in a loop, so that any number of parts costs no recursion.
    std::shared_ptr<SelectStmt> selectQueryBody(SelectStatement* assignmentsTarget) {
        std::shared_ptr<SelectStmt> first = unionPart(assignmentsTarget);
        SelectStmt* last = first.get();
        while (accept("union")) {
            last->unionAll = accept("all");
            last->unionNext = unionPart(nullptr);
            last = last->unionNext.get();
        }
        if (is("order") && last->orderBy.empty()) orderBy(*last);
        return first;
    }

    std::shared_ptr<SelectStmt> unionPart(SelectStatement* assignmentsTarget) {
        if (!isSymbol("(")) return selectCore(assignmentsTarget);
        take();
        std::shared_ptr<SelectStmt> part = selectQuery();
        expect(")");
        return part;
    }

    std::shared_ptr<SelectStmt> selectCore(SelectStatement* assignmentsTarget) {
        expect("select");
        auto s = std::make_shared<SelectStmt>();
        if (accept("distinct")) s->distinct = true;
        else accept("all");
        if (accept("top")) {
            s->top = isSymbol("(") ? (take(), parenthesisedRest()) : primary();
            s->topPercent = accept("percent");
        }
        do {
            selectItem(*s, assignmentsTarget);
        } while (accept(","));
        if (accept("into")) s->into = objectName();
        if (accept("from")) s->from = fromClause();
        if (accept("where")) s->where = expression();
        if (is("group")) {
            take();
            expect("by");
            do s->groupBy.push_back(expression()); while (accept(","));
        }
        if (accept("having")) s->having = expression();
        if (is("order")) orderBy(*s);
        return s;
    }

    ExprPtr parenthesisedRest() {
        ExprPtr e = expression();
        expect(")");
        return e;
    }

    void orderBy(SelectStmt& s) {
        expect("order");
        expect("by");
        do {
            OrderItem item;
            item.expr = expression();
            if (accept("desc")) item.descending = true;
            else accept("asc");
            s.orderBy.push_back(item);
        } while (accept(","));
    }

    void selectItem(SelectStmt& s, SelectStatement* assignmentsTarget) {
        SelectItem item;
        if (isSymbol("*")) {
            take();
            item.star = true;
            s.items.push_back(item);
            return;
        }
        if (isName() && isSymbol(".", 1) && isSymbol("*", 2)) {
            item.star = true;
            item.starQualifier = take().text;
            take();
            take();
            s.items.push_back(item);
            return;
        }
        if (peek().kind == TokenKind::Variable && isSymbol("=", 1) && assignmentsTarget) {
            std::string variable = take().text;
            take();
            assignmentsTarget->assignments.emplace_back(variable, expression());
            return;
        }
        bool aliasFirst = (isName() || peek().kind == TokenKind::String) && isSymbol("=", 1);
        if (aliasFirst) {
            item.alias = take().text;
            item.hasAlias = true;
            take();
            item.expr = expression();
        } else {
            item.expr = expression();
            if (accept("as")) {
                item.alias = peek().kind == TokenKind::String ? take().text : name();
                item.hasAlias = true;
            } else if (isName() || peek().kind == TokenKind::String) {
                item.alias = take().text;
                item.hasAlias = true;
            }
        }
        s.items.push_back(item);
    }

    std::vector<TableRef> fromClause() {
        std::vector<TableRef> refs;
        refs.push_back(tableRef(JoinKind::First));
        for (;;) {
            if (accept(",")) { refs.push_back(tableRef(JoinKind::Comma)); continue; }
            std::optional<JoinKind> join = joinKeyword();
            if (!join) return refs;
            TableRef ref = tableRef(*join);
            if (*join != JoinKind::Cross) {
                expect("on");
                ref.on = expression();
            }
            refs.push_back(ref);
        }
    }

    std::optional<JoinKind> joinKeyword() {
        JoinKind kind;
        if (is("join")) kind = JoinKind::Inner;
        else if (is("inner")) { take(); kind = JoinKind::Inner; }
        else if (is("cross")) { take(); kind = JoinKind::Cross; }
        else if (is("left") || is("right") || is("full")) {
            kind = is("left") ? JoinKind::Left : is("right") ? JoinKind::Right : JoinKind::Full;
            take();
            accept("outer");
        } else {
            return std::nullopt;
        }
        expect("join");
        return kind;
    }

    TableRef tableRef(JoinKind join) {
        TableRef ref;
        ref.join = join;
        if (isSymbol("(")) {
            take();
            ref.derived = selectQuery();
            expect(")");
        } else {
            ref.name = objectName();
            if (isSymbol("(")) {
                take();
                ref.isFunction = true;
                // DEFAULT stands for an argument left out (NULL for fn_listextendedproperty's levels).
                if (!isSymbol(")")) do ref.arguments.push_back(is("default") ? literal(Value(), take().line) : expression()); while (accept(","));
                expect(")");
            }
        }
        if (accept("as")) ref.alias = name();
        else if (isName()) ref.alias = take().text;
        if (is("with") && isSymbol("(", 1)) {  // table hints such as WITH (NOLOCK)
            take();
            take();
            while (!isSymbol(")") && !atEnd()) take();
            expect(")");
        }
        if (ref.derived && ref.alias.empty()) fail();
        return ref;
    }

    StmtPtr insertStatement() {
        expect("insert");
        accept("into");
        auto s = std::make_shared<InsertStatement>();
        s->table = objectName();
        if (isSymbol("(") && !is("select", 1)) {
            take();
            do s->columns.push_back(name()); while (accept(","));
            expect(")");
        }
        if (accept("values")) {
            do {
                expect("(");
                std::vector<ExprPtr> row;
                do {
                    if (is("default")) {  // DEFAULT in VALUES: the column's default
                        auto marker = makeExpr(ExprKind::Literal, take().line);
                        marker->name = "default";
                        row.push_back(marker);
                    } else {
                        row.push_back(expression());
                    }
                } while (accept(","));
                expect(")");
                s->values.push_back(row);
            } while (accept(","));
        } else if (is("default") && is("values", 1)) {
            take();
            take();
            s->defaultValues = true;
        } else if (is("exec") || is("execute")) {
            take();
            s->exec = execStatement();
        } else {
            s->select = selectQuery();
        }
        return s;
    }

    StmtPtr updateStatement() {
        expect("update");
        auto s = std::make_shared<UpdateStatement>();
        s->table = objectName();
        expect("set");
        do {
            std::string target = peek().kind == TokenKind::Variable ? take().text : qualifiedColumn();
            expect("=");
            s->sets.emplace_back(target, expression());
        } while (accept(","));
        if (accept("from")) s->from = fromClause();
        if (accept("where")) s->where = expression();
        return s;
    }

    std::string qualifiedColumn() {
        std::string column = name();
        while (accept(".")) column = name();
        return column;
    }

    StmtPtr deleteStatement() {
        expect("delete");
        accept("from");
        auto s = std::make_shared<DeleteStatement>();
        s->table = objectName();
        if (accept("from")) s->from = fromClause();
        if (accept("where")) s->where = expression();
        return s;
    }

    StmtPtr backupStatement() {
        bool restore = is("restore");
        take();
        auto s = std::make_shared<BackupStatement>(restore ? StmtKind::Restore : StmtKind::Backup);
        if (restore && accept("headeronly")) {
            s->headerOnly = true;
        } else {
            expect("database");  // BACKUP LOG is not kept by the sandbox
            s->database = name();
        }
        expect(restore ? "from" : "to");
        if (!peek().is("disk")) fail();
        take();
        expect("=");
        s->path = additive();
        if (!accept("with")) return s;
        do backupOption(*s); while (accept(","));
        return s;
    }

    void backupOption(BackupStatement& s) {
        std::string option = toLower(anyWord());
        if (option == "init" || option == "format") s.init = true;
        else if (option == "replace") s.replace = true;
        else if (option == "file") { expect("="); s.file = additive(); }
        else if (option == "name" || option == "description" || option == "mediadescription" ||
                 option == "medianame" || option == "password" || option == "mediapassword") { expect("="); additive(); }
        else if (option == "stats") { if (accept("=")) additive(); }
        else if (option == "move") { additive(); expect("to"); additive(); }
        else if (option == "noinit" || option == "noformat" || option == "skip" || option == "noskip" ||
                 option == "recovery" || option == "norecovery" || option == "nounload" || option == "unload" ||
                 option == "restart" || option == "checksum" || option == "no_checksum") {}
        else fail();
    }

    StmtPtr updateTextStatement() {
        expect("updatetext");
        auto s = std::make_shared<UpdateTextStatement>();
        ObjectName target = objectName();  // table.column, the column in the name's last part
        if (target.owner.empty()) fail();
        s->column = target.name;
        s->table.name = target.owner;
        s->table.owner = target.database;
        s->pointer = expression();
        s->offset = expression();
        s->length = expression();
        if (accept("with")) expect("log");
        if (!atEnd() && !startsStatement() && !isSymbol(";") && !is("end") && !is("else")) s->data = expression();
        return s;
    }

    StmtPtr truncateStatement() {
        expect("truncate");
        expect("table");
        auto s = std::make_shared<TruncateStatement>();
        s->table = objectName();
        return s;
    }

    StmtPtr createStatement(bool firstInBatch) {
        expect("create");
        if (accept("database")) {
            auto s = std::make_shared<DatabaseStatement>(StmtKind::CreateDatabase);
            s->name = name();
            while (!atEnd() && !startsStatement()) take();  // ON / LOG ON file clauses are accepted and ignored
            return s;
        }
        if (accept("table")) return createTable();
        if (is("unique") || is("clustered") || is("nonclustered") || is("index")) return createIndex();
        auto module = std::make_shared<CreateModuleStatement>();
        if (!firstInBatch) {
            if (is("schema")) throw ruleBroken(peek(), 111, "'CREATE SCHEMA' must be the first statement in a query batch.");
            SyntaxError error("CREATE", peek().line, true);
            error.number = 111;
            error.text = "'CREATE " + toUpper(peek().text == "proc" ? "procedure" : peek().text) +
                         "' must be the first statement in a query batch.";
            throw error;
        }
        module->sourceText = std::string(sql_);
        if (accept("schema")) return createSchema();
        if (accept("view")) return createView(module);
        if (accept("procedure") || accept("proc")) return createProcedure(module);
        if (accept("function")) return createFunction(module);
        if (accept("trigger")) return createTrigger(module);
        fail();
    }

    bool startsStatement() const {
        static const std::string_view starters[] = {"select", "insert", "update", "delete", "create", "drop",
                                                    "use", "set", "declare", "if", "begin", "print", "exec",
                                                    "execute", "return", "while", "commit", "rollback", "truncate",
                                                    "backup", "restore", "updatetext", "alter", "dbcc"};
        return std::any_of(std::begin(starters), std::end(starters), [this](std::string_view k) { return is(k); });
    }

    TypeSpec typeSpec() {
        TypeSpec type;
        type.name = anyWord();
        if (accept(".")) type.name = anyWord();  // dbo.udt
        if (equalsIgnoreCase(type.name, "double") && is("precision")) { take(); type.name = "float"; }
        if (equalsIgnoreCase(type.name, "national")) type.name = "n" + anyWord();
        if (accept("(")) {
            if (peek().is("max")) {  // the executor refuses it where the server is SQL Server 2000
                take();
                type.max = true;
            } else {
                do {
                    if (peek().kind != TokenKind::Integer || peek().text.size() > 9) fail();
                    type.arguments.push_back(std::atoi(take().text.c_str()));
                } while (accept(","));
            }
            expect(")");
        }
        if (is("varying")) { take(); if (equalsIgnoreCase(type.name, "char")) type.name = "varchar"; }
        return type;
    }

    std::string defaultText(size_t start) const {
        size_t end = pos_ > 0 ? tokens_[pos_ - 1].end : start;
        return std::string(sql_.substr(start, end - start));
    }

    ColumnSpec columnSpec() {
        ColumnSpec column;
        column.name = name();
        if (accept("as")) { column.computed = expression(); return column; }
        column.type = typeSpec();
        for (;;) {
            if (accept("null")) column.nullable = true;
            else if (is("not") && is("null", 1)) { take(); take(); column.nullable = false; }
            else if (accept("identity")) {
                if (accept("(")) {
                    column.seed = signedInteger();
                    expect(",");
                    column.step = signedInteger();
                    expect(")");
                }
                column.identity = true;
            } else if (accept("collate")) {
                column.collation = anyWord();
            }
            else if (is("rowguidcol")) take();
            else if (!columnConstraint(column)) break;
        }
        return column;
    }

    int64_t signedInteger() {
        bool negative = accept("-");
        if (peek().kind != TokenKind::Integer || peek().text.size() > 18) fail();
        int64_t v = std::stoll(take().text);
        return negative ? -v : v;
    }

    bool columnConstraint(ColumnSpec& column) {
        std::string constraintName;
        if (accept("constraint")) constraintName = name();
        if (accept("default")) {
            column.defaultName = constraintName;
            column.defaultExpr = defaultExpression();
            return true;
        }
        if (is("primary") || is("unique")) {
            KeySpec key = keyHead(constraintName);
            key.columns.emplace_back(column.name, false);
            pending_.keys.push_back(key);
            return true;
        }
        if (is("check")) {
            pending_.checks.push_back(checkSpec(constraintName, column.name));
            return true;
        }
        if (is("references") || is("foreign")) {
            if (accept("foreign")) expect("key");
            pending_.foreignKeys.push_back(referencesClause(constraintName, {column.name}, true));
            return true;
        }
        if (!constraintName.empty()) fail();
        return false;
    }

    ExprPtr defaultExpression() {
        size_t start = peek().offset;
        ExprPtr value = expression();
        value->text = defaultText(start);
        return value;
    }

    // A constraint written at the table level (in CREATE TABLE or ALTER TABLE ... ADD); DEFAULT
    // ... FOR column only where `withDefaults`. False when the next item is not a constraint.
    bool tableConstraint(bool withDefaults) {
        if (!is("constraint") && !is("primary") && !is("unique") && !is("check") && !is("foreign") &&
            !(withDefaults && is("default")))
            return false;
        std::string constraintName;
        if (accept("constraint")) constraintName = name();
        if (is("check")) {
            pending_.checks.push_back(checkSpec(constraintName, ""));
        } else if (accept("foreign")) {
            expect("key");
            std::vector<std::string> columns = nameList();
            pending_.foreignKeys.push_back(referencesClause(constraintName, std::move(columns), false));
        } else if (withDefaults && accept("default")) {
            DefaultSpec d;
            d.name = constraintName;
            d.value = defaultExpression();
            expect("for");
            d.column = name();
            pending_.defaults.push_back(d);
        } else {
            KeySpec key = keyHead(constraintName);
            key.columns = keyColumns();
            indexOptions();
            pending_.keys.push_back(key);
        }
        return true;
    }

    std::vector<std::string> nameList() {
        std::vector<std::string> names;
        expect("(");
        do names.push_back(name()); while (accept(","));
        expect(")");
        return names;
    }

    ForeignKeySpec referencesClause(const std::string& constraintName, std::vector<std::string> columns, bool columnLevel) {
        ForeignKeySpec key;
        key.name = constraintName;
        key.columns = std::move(columns);
        key.columnLevel = columnLevel;
        expect("references");
        key.referenced = objectName();
        if (isSymbol("(")) key.referencedColumns = nameList();
        for (;;) {
            if (is("on") && (is("delete", 1) || is("update", 1))) {
                take();
                bool onDelete = accept("delete");
                if (!onDelete) expect("update");
                ReferentialAction& action = onDelete ? key.onDelete : key.onUpdate;
                if (accept("cascade")) {
                    action = ReferentialAction::Cascade;
                } else {
                    expect("no");
                    expect("action");
                    action = ReferentialAction::NoAction;
                }
            } else if (is("not") && is("for", 1)) {  // NOT FOR REPLICATION
                take();
                take();
                anyWord();
            } else {
                return key;
            }
        }
    }

    CheckSpec checkSpec(const std::string& constraintName, const std::string& column) {
        expect("check");
        if (is("not")) { take(); expect("for"); anyWord(); }  // NOT FOR REPLICATION
        CheckSpec check{constraintName, column, nullptr};
        expect("(");
        size_t start = peek().offset;
        check.condition = expression();
        check.condition->text = defaultText(start);
        expect(")");
        return check;
    }

    KeySpec keyHead(const std::string& constraintName) {
        KeySpec key;
        key.name = constraintName;
        if (accept("primary")) { expect("key"); key.kind = KeyKind::PrimaryKey; }
        else { expect("unique"); key.kind = KeyKind::Unique; }
        if (accept("clustered")) key.clustered = true;
        else if (accept("nonclustered")) key.clustered = false;
        return key;
    }

    std::vector<std::pair<std::string, bool>> keyColumns() {
        std::vector<std::pair<std::string, bool>> columns;
        expect("(");
        do {
            std::string column = name();
            bool descending = accept("desc");
            if (!descending) accept("asc");
            columns.emplace_back(column, descending);
        } while (accept(","));
        expect(")");
        return columns;
    }

    StmtPtr createTable() {
        auto s = std::make_shared<CreateTableStatement>();
        s->table = objectName();
        expect("(");
        pending_ = {};
        do {
            if (isSymbol(")")) break;  // a trailing comma is accepted by SQL Server 2000
            if (!tableConstraint(false)) s->columns.push_back(columnSpec());
        } while (accept(","));
        expect(")");
        if (accept("on")) anyWord();
        if (is("textimage_on")) { take(); anyWord(); }
        s->keys = std::move(pending_.keys);
        s->checks = std::move(pending_.checks);
        s->foreignKeys = std::move(pending_.foreignKeys);
        return s;
    }

    StmtPtr alterStatement() {
        expect("alter");
        expect("table");
        auto s = std::make_shared<AlterTableStatement>();
        s->table = objectName();
        bool withOption = accept("with");
        if (withOption && !accept("check")) {
            expect("nocheck");
            s->checkExisting = false;
        }
        if (is("check") || is("nocheck") || is("enable") || is("disable")) return switchStatement(s, withOption);
        if (!withOption && accept("drop")) {
            do {
                accept("constraint");
                s->droppedConstraints.push_back(name());
            } while (accept(","));
            return s;
        }
        expect("add");
        pending_ = {};
        do {
            if (!tableConstraint(true)) fail();  // columns are not added by ALTER TABLE here
        } while (accept(","));
        s->added = std::move(pending_);
        return s;
    }

    // ... CHECK | NOCHECK CONSTRAINT ALL | names, ... ENABLE | DISABLE TRIGGER ALL | names
    StmtPtr switchStatement(std::shared_ptr<AlterTableStatement> s, bool withOption) {
        if (is("check") || is("nocheck")) {
            s->constraintsOn = toLower(take().text) == "check";
            s->validate = withOption && s->checkExisting && *s->constraintsOn;
            expect("constraint");
        } else {
            s->triggersOn = toLower(take().text) == "enable";
            expect("trigger");
        }
        if (accept("all")) return s;
        do s->switched.push_back(name());
        while (accept(","));
        return s;
    }

    // DBCC CHECKIDENT ('table' [, NORESEED | RESEED [, value]]) [WITH NO_INFOMSGS]
    StmtPtr dbccStatement() {
        expect("dbcc");
        auto s = std::make_shared<DbccStatement>();
        s->command = toLower(anyWord());
        if (s->command != "checkident") {
            SyntaxError error(s->command, peek().line, false);
            error.number = 2526;
            error.text = "Incorrect DBCC statement. Check the documentation for the correct DBCC syntax and options.";
            throw error;
        }
        expect("(");
        if (peek().kind == TokenKind::String || peek().kind == TokenKind::UnicodeString) {
            s->table.name = take().text;  // split into its parts when the statement runs
        } else {
            s->table = objectName();
        }
        if (accept(",")) {
            s->mode = toLower(anyWord());
            if (s->mode != "reseed" && s->mode != "noreseed") fail();
            if (s->mode == "reseed" && accept(",")) s->value = expression();
        }
        expect(")");
        if (accept("with")) {
            do {
                if (toLower(anyWord()) == "no_infomsgs") s->noInfoMessages = true;
            } while (accept(","));
        }
        return s;
    }

    StmtPtr createSchema() {
        auto s = std::make_shared<CreateSchemaStatement>();
        if (!is("authorization")) s->name = name();
        if (accept("authorization")) s->authorization = name();
        // Tables declared with it belong to it unless they name a schema of their own.
        while (is("create") && is("table", 1)) {
            take();
            take();
            auto table = std::static_pointer_cast<CreateTableStatement>(createTable());
            if (table->table.owner.empty()) table->table.owner = s->name;
            s->elements.push_back(table);
        }
        return s;
    }

    StmtPtr createIndex() {
        auto s = std::make_shared<CreateIndexStatement>();
        if (accept("unique")) s->unique = true;
        if (accept("clustered")) s->clustered = true;
        else accept("nonclustered");
        expect("index");
        s->name = name();
        expect("on");
        s->table = objectName();
        s->columns = keyColumns();
        indexOptions();
        return s;
    }

    // WITH option [= value], ... and ON filegroup after an index's columns: accepted, nothing kept.
    void indexOptions() {
        static const std::string_view kOptions[] = {"pad_index", "fillfactor", "ignore_dup_key", "drop_existing",
                                                    "statistics_norecompute", "sort_in_tempdb"};
        auto isOption = [&](size_t ahead) {
            return std::any_of(std::begin(kOptions), std::end(kOptions), [&](std::string_view o) { return is(o, ahead); });
        };
        if (is("with") && isOption(1)) {
            take();
            do {
                take();
                if (accept("=")) take();
            } while (isSymbol(",") && isOption(1) && accept(","));
        }
        if (accept("on")) anyWord();
    }

    StmtPtr createView(const std::shared_ptr<CreateModuleStatement>& s) {
        s->module = ModuleKind::View;
        s->xtype = "V";
        s->name = objectName();
        if (isSymbol("(")) {
            take();
            do {
                ColumnSpec column;
                column.name = name();
                s->returnColumns.push_back(column);
            } while (accept(","));
            expect(")");
        }
        skipWithOptions();
        expect("as");
        s->viewSelect = selectQuery();
        return s;
    }

    void skipWithOptions() {
        if (!accept("with")) return;
        do anyWord(); while (accept(","));
    }

    void parameterList(CreateModuleStatement& s, bool parenthesised) {
        while (peek().kind == TokenKind::Variable) {
            std::string parameter = take().text;
            accept("as");
            TypeSpec type = typeSpec();
            s.parameterDefaults.push_back(accept("=") ? expression() : nullptr);
            if (is("output") || is("out")) take();
            s.parameters.emplace_back(parameter, type);
            if (!accept(",")) break;
        }
        if (parenthesised) expect(")");
    }

    StmtPtr createProcedure(const std::shared_ptr<CreateModuleStatement>& s) {
        s->module = ModuleKind::Procedure;
        s->xtype = "P";
        s->name = objectName();
        if (accept(";")) signedInteger();
        bool parenthesised = accept("(");
        parameterList(*s, parenthesised);
        skipWithOptions();
        expect("as");
        s->body = statementsToEnd();
        return s;
    }

    std::vector<StmtPtr> statementsToEnd() {
        std::vector<StmtPtr> body;
        while (!atEnd()) {
            if (accept(";")) continue;
            body.push_back(statement(false));
        }
        return body;
    }

    StmtPtr createFunction(const std::shared_ptr<CreateModuleStatement>& s) {
        s->module = ModuleKind::Function;
        s->name = objectName();
        expect("(");
        parameterList(*s, true);
        expect("returns");
        if (accept("table")) {
            s->xtype = "IF";
            skipWithOptions();
            expect("as");
            expect("return");
            s->viewSelect = selectQuery();
            return s;
        }
        if (peek().kind == TokenKind::Variable) {
            s->xtype = "TF";
            s->returnTableVariable = take().text;
            expect("table");
            expect("(");
            do s->returnColumns.push_back(columnSpec()); while (accept(","));
            expect(")");
        } else {
            s->xtype = "FN";
            s->returnType = typeSpec();
        }
        skipWithOptions();
        expect("as");
        s->body = statementsToEnd();
        return s;
    }

    StmtPtr createTrigger(const std::shared_ptr<CreateModuleStatement>& s) {
        s->module = ModuleKind::Trigger;
        s->xtype = "TR";
        s->name = objectName();
        expect("on");
        s->triggerTable = objectName();
        skipWithOptions();
        if (accept("instead")) expect("of");
        else if (!accept("for")) expect("after");
        do {
            if (!accept("insert") && !accept("update") && !accept("delete")) fail();
        } while (accept(","));
        if (is("not")) { take(); expect("for"); anyWord(); }
        expect("as");
        s->body = statementsToEnd();
        return s;
    }

    StmtPtr dropStatement() {
        expect("drop");
        auto s = std::make_shared<DropStatement>();
        if (accept("database")) {
            auto d = std::make_shared<DatabaseStatement>(StmtKind::DropDatabase);
            d->name = name();
            return d;
        }
        std::string what = toLower(anyWord());
        if (what == "proc") what = "procedure";
        static const std::string_view kinds[] = {"table", "view", "procedure", "function", "trigger", "index", "schema"};
        if (std::find(std::begin(kinds), std::end(kinds), what) == std::end(kinds)) fail();
        s->what = what;
        do s->names.push_back(what == "index" ? droppedIndex() : objectName()); while (accept(","));
        return s;
    }

    // [schema.]table.index, or index ON [schema.]table: the index's name with its table's name
    // as owner and the table's schema as database, as the first form reads.
    ObjectName droppedIndex() {
        ObjectName index = objectName();
        if (!index.owner.empty() || !accept("on")) return index;
        ObjectName table = objectName();
        return ObjectName{table.owner, table.name, index.name};
    }

    StmtPtr useStatement() {
        expect("use");
        auto s = std::make_shared<UseStatement>();
        s->database = name();
        return s;
    }

    StmtPtr setStatement() {
        expect("set");
        if (peek().kind == TokenKind::Variable) {
            auto s = std::make_shared<SetVariableStatement>();
            s->variable = take().text;
            expect("=");
            s->value = expression();
            return s;
        }
        auto s = std::make_shared<SetOptionStatement>();
        s->option = toLower(anyWord());
        if (s->option == "transaction") {  // SET TRANSACTION ISOLATION LEVEL ...
            while (peek().kind == TokenKind::Word && !startsStatement()) s->value += take().text + " ";
            return s;
        }
        if (s->option == "identity_insert") {
            s->table = objectName();
            s->value = toLower(anyWord());
            return s;
        }
        while (accept(",")) s->option += "," + toLower(anyWord());
        const Token& value = take();
        if (value.kind == TokenKind::End) fail();
        s->value = value.kind == TokenKind::Symbol ? value.text + take().text : value.text;
        return s;
    }

    StmtPtr declareStatement() {
        expect("declare");
        auto s = std::make_shared<DeclareStatement>();
        do {
            if (peek().kind != TokenKind::Variable) fail();
            std::string variable = take().text;
            accept("as");
            if (is("table") || is("cursor")) fail();
            s->variables.emplace_back(variable, typeSpec());
        } while (accept(","));
        return s;
    }

    StmtPtr ifStatement() {
        expect("if");
        auto s = std::make_shared<IfStatement>();
        s->condition = expression();
        s->then = statement(false);
        accept(";");
        if (accept("else")) s->otherwise = statement(false);
        return s;
    }

    StmtPtr whileStatement() {
        expect("while");
        auto s = std::make_shared<WhileStatement>();
        s->condition = expression();
        s->body = statement(false);
        return s;
    }

    StmtPtr beginStatement() {
        expect("begin");
        if (is("tran") || is("transaction") || is("distributed")) {
            while (!atEnd() && !startsStatement() && !isSymbol(";")) take();
            return std::make_shared<SimpleStatement>(StmtKind::Transaction);
        }
        auto s = std::make_shared<BlockStatement>();
        while (!is("end")) {
            if (atEnd()) fail();
            if (accept(";")) continue;
            s->statements.push_back(statement(false));
        }
        expect("end");
        return s;
    }

    StmtPtr transactionStatement() {
        take();
        if (is("tran") || is("transaction") || is("work")) take();
        if (isName() && !startsStatement()) take();
        return std::make_shared<SimpleStatement>(StmtKind::Transaction);
    }

    StmtPtr printStatement() {
        expect("print");
        auto s = std::make_shared<PrintStatement>();
        s->value = expression();
        return s;
    }

    StmtPtr returnStatement() {
        expect("return");
        auto s = std::make_shared<SimpleStatement>(StmtKind::Return);
        if (!atEnd() && !startsStatement() && !is("end") && !isSymbol(";") && !is("else")) s->value = expression();
        return s;
    }

    std::shared_ptr<ExecStatement> execStatement() {
        auto s = std::make_shared<ExecStatement>();
        if (peek().kind == TokenKind::Variable && isSymbol("=", 1)) {
            s->returnVariable = take().text;
            take();
        }
        if (accept("(")) {
            s->dynamicSql = expression();
            expect(")");
            return s;
        }
        s->procedure = objectName();
        bool more = !atEnd() && !startsStatement() && !isSymbol(";") && !is("end") && !is("else");
        while (more) {
            ExecArgument argument;
            if (peek().kind == TokenKind::Variable && isSymbol("=", 1)) {
                argument.name = take().text;
                take();
            }
            argument.value = is("default") ? (take(), makeExpr(ExprKind::Literal, peek().line)) : procedureArgument();
            if (is("output") || is("out")) { take(); argument.output = true; }
            s->arguments.push_back(argument);
            more = accept(",");
        }
        return s;
    }

    // A procedure argument may be a bare name, which stands for that text: sp_helpindex t_dept.
    ExprPtr procedureArgument() {
        bool bareName = isName() && !isSymbol("(", 1) && !isSymbol(".", 1);
        if (!bareName) return expression();
        int line = peek().line;
        return literal(Value::nvarchar(take().text), line);
    }

    // ---- expressions ----
public:
    ExprPtr expression() {
        Nested nested(*this);
        return chain(&Parser::andExpr, &Parser::orOperator);
    }

private:
    // Operands joined by operators of one precedence level become one flat node, built in a
    // loop, so that a chain of any length (a+b+c+..., x=1 OR x=2 OR ...) costs no recursion.
    ExprPtr chain(ExprPtr (Parser::*operand)(), std::optional<std::string> (Parser::*nextOperator)()) {
        ExprPtr first = (this->*operand)();
        std::optional<std::string> op = (this->*nextOperator)();
        if (!op) return first;
        auto e = makeExpr(ExprKind::Binary, first->line);
        e->args.push_back(std::move(first));
        for (; op; op = (this->*nextOperator)()) {
            e->ops.push_back(std::move(*op));
            e->args.push_back((this->*operand)());
        }
        return e;
    }

    std::optional<std::string> orOperator() { return accept("or") ? std::optional<std::string>("OR") : std::nullopt; }
    std::optional<std::string> andOperator() { return accept("and") ? std::optional<std::string>("AND") : std::nullopt; }
    std::optional<std::string> symbolOperator(std::initializer_list<std::string_view> symbols) {
        for (std::string_view symbol : symbols)
            if (isSymbol(symbol)) return take().text;
        return std::nullopt;
    }
    std::optional<std::string> additiveOperator() { return symbolOperator({"+", "-", "&", "|", "^"}); }
    std::optional<std::string> multiplicativeOperator() { return symbolOperator({"*", "/", "%"}); }

    ExprPtr andExpr() { return chain(&Parser::notExpr, &Parser::andOperator); }

    ExprPtr notExpr() {
        if (is("not")) {
            Nested nested(*this);
            int line = take().line;
            auto e = makeExpr(ExprKind::Unary, line);
            e->name = "NOT";
            e->args = {notExpr()};
            return e;
        }
        return predicate();
    }

    ExprPtr predicate() {
        if (is("exists")) {
            int line = take().line;
            auto e = makeExpr(ExprKind::Exists, line);
            expect("(");
            e->subquery = selectQuery();
            expect(")");
            return e;
        }
        ExprPtr left = additive();
        static const std::string_view comparisons[] = {"=", "<>", "!=", "<", ">", "<=", ">=", "!<", "!>"};
        for (std::string_view op : comparisons)
            if (isSymbol(op)) {
                take();
                std::string normal = op == "!=" ? "<>" : op == "!<" ? ">=" : op == "!>" ? "<=" : std::string(op);
                return binary(normal, left, additive());
            }
        bool negated = false;
        if (is("not") && (is("in", 1) || is("like", 1) || is("between", 1))) { take(); negated = true; }
        if (accept("is")) {
            auto e = makeExpr(ExprKind::IsNull, left->line);
            e->negated = accept("not");
            expect("null");
            e->args = {left};
            return e;
        }
        if (accept("in")) return inPredicate(left, negated);
        if (accept("like")) {
            auto e = makeExpr(ExprKind::Like, left->line);
            e->negated = negated;
            e->args = {left, additive()};
            if (accept("escape")) e->args.push_back(additive());
            return e;
        }
        if (accept("between")) {
            auto e = makeExpr(ExprKind::Between, left->line);
            e->negated = negated;
            ExprPtr low = additive();
            expect("and");
            e->args = {left, low, additive()};
            return e;
        }
        if (negated) fail();
        return left;
    }

    ExprPtr inPredicate(ExprPtr left, bool negated) {
        expect("(");
        ExprPtr e;
        if (is("select")) {
            e = makeExpr(ExprKind::InSubquery, left->line);
            e->subquery = selectQuery();
            e->args = {left};
        } else {
            e = makeExpr(ExprKind::InList, left->line);
            e->args = {left};
            do e->args.push_back(expression()); while (accept(","));
        }
        expect(")");
        e->negated = negated;
        return e;
    }

    ExprPtr additive() { return chain(&Parser::multiplicative, &Parser::additiveOperator); }

    ExprPtr multiplicative() { return chain(&Parser::unary, &Parser::multiplicativeOperator); }

    ExprPtr unary() {
        if (isSymbol("-") || isSymbol("+") || isSymbol("~")) {
            Nested nested(*this);
            const Token& t = take();
            std::string op = t.text;
            ExprPtr operand = unary();
            if (op == "-" && operand->kind == ExprKind::Literal && !operand->literal.isNull()) return negateLiteral(operand);
            if (op == "+") return operand;
            auto e = makeExpr(ExprKind::Unary, t.line);
            e->name = op;
            e->args = {operand};
            return e;
        }
        ExprPtr e = primary();
        if (!is("collate")) return e;
        auto c = makeExpr(ExprKind::Collate, e->line);
        c->args = {e};
        while (accept("collate")) c->name = anyWord();  // the last one counts
        return c;
    }

    ExprPtr negateLiteral(const ExprPtr& literal) {
        const Value& v = literal->literal;
        auto e = makeExpr(ExprKind::Literal, literal->line);
        if (std::holds_alternative<int64_t>(v.storage())) e->literal = Value::integer(-v.asInt(), v.type().id);
        else if (std::holds_alternative<double>(v.storage())) e->literal = Value::floating(-v.asDouble());
        else if (std::holds_alternative<Decimal>(v.storage()))
            e->literal = Value::decimal({-v.asDecimal().unscaled, v.asDecimal().scale}, v.type());
        else {
            auto u = makeExpr(ExprKind::Unary, literal->line);
            u->name = "-";
            u->args = {literal};
            return u;
        }
        if (e->literal.type().id == TypeId::Numeric && v.asDecimal().unscaled == Int128(2147483648LL) &&
            v.type().scale == 0)
            e->literal = Value::integer(-2147483648LL);
        return e;
    }

    ExprPtr literal(Value v, int line) {
        auto e = makeExpr(ExprKind::Literal, line);
        e->literal = std::move(v);
        return e;
    }

    ExprPtr primary() {
        const Token& t = peek();
        int line = t.line;
        switch (t.kind) {
            case TokenKind::Integer: take(); return literal(integerLiteral(t.text, line), line);
            case TokenKind::Number: take(); return literal(decimalLiteral(t.text, line), line);
            case TokenKind::Float: take(); return literal(Value::floating(std::strtod(t.text.c_str(), nullptr)), line);
            case TokenKind::String: take(); return literal(Value::varchar(t.text), line);
            case TokenKind::UnicodeString: take(); return literal(Value::nvarchar(t.text), line);
            case TokenKind::Binary: take(); return literal(binaryLiteral(t.text), line);
            case TokenKind::Variable: {
                auto e = makeExpr(ExprKind::Variable, line);
                e->name = take().text;
                return e;
            }
            case TokenKind::SystemVariable: {
                auto e = makeExpr(ExprKind::SystemVar, line);
                e->name = toLower(take().text);
                return e;
            }
            case TokenKind::Symbol:
                if (t.isSymbol("(")) return parenthesised();
                if (t.isSymbol("::")) { take(); return functionCall(name(), line); }
                fail();
            default: break;
        }
        if (t.is("null")) { take(); return literal(Value(), line); }
        if (t.is("case")) return caseExpr();
        if (t.is("cast")) return castExpr();
        if (t.is("convert")) return convertExpr();
        if (t.is("identity") && isSymbol("(", 1)) return identityExpr();
        bool callable = isSymbol("(", 1) && (t.is("left") || t.is("right") || t.is("user_name") ||
                                             t.is("current_user") || t.is("coalesce") || t.is("nullif") ||
                                             !isReservedWord(t.text));
        if (t.kind == TokenKind::Word && callable) { take(); return functionCall(t.text, line); }
        if (t.is("current_user") || t.is("user") || t.is("session_user") || t.is("system_user") ||
            t.is("current_timestamp")) {
            take();
            return functionCall(t.is("current_timestamp") ? "getdate" : "user_name", line, false);
        }
        return columnRef();
    }

    ExprPtr parenthesised() {
        expect("(");
        if (is("select")) {
            auto e = makeExpr(ExprKind::Subquery, peek().line);
            e->subquery = selectQuery();
            expect(")");
            return e;
        }
        ExprPtr e = expression();
        expect(")");
        return e;
    }

    // A call of a built-in function, or of a user function when `qualified` (dbo.f(...)).
    ExprPtr functionCall(const std::string& function, int line, bool withArguments = true, bool qualified = false) {
        const Token& nameToken = tokens_[pos_ > 0 ? pos_ - 1 : 0];
        auto e = makeExpr(ExprKind::Function, line);
        e->name = toLower(function);
        if (withArguments) {
            expect("(");
            if (e->name == "count" && !qualified && accept("*")) {
                e->star = true;
            } else if (!isSymbol(")")) {
                if (takesDatePart(e->name) && !qualified) e->args.push_back(datePartArgument(e->name));
                else if (accept("distinct")) e->distinct = true;
                else accept("all");
                if (e->args.empty() || accept(",")) do e->args.push_back(expression()); while (accept(","));
            }
            expect(")");
        }
        // SQL Server's compiler refuses an unknown function and a wrong number of arguments.
        int count = static_cast<int>(e->args.size()) + (e->star ? 1 : 0);
        if (!qualified && checks_ == CallChecks::WhenParsed)
            if (std::optional<CallRefusal> refusal = refuseCall(e->name, count))
                throw ruleBroken(nameToken, refusal->number, refusal->text);
        return e;
    }

    // The first argument of DATEADD, DATEDIFF, DATEPART and DATENAME: a date part keyword, kept
    // as a literal holding the part's number.
    ExprPtr datePartArgument(const std::string& function) {
        const Token& t = peek();
        bool word = t.kind == TokenKind::Word || t.kind == TokenKind::QuotedName;
        std::optional<DatePart> part = word ? datePartNamed(t.text) : std::nullopt;
        if (!part && checks_ == CallChecks::WhenRun) return expression();  // refused when it runs
        if (!word) throw ruleBroken(t, 1023, "Invalid parameter 1 specified for " + function + ".");
        if (!part) throw ruleBroken(t, 155, "'" + t.text + "' is not a recognized " + function + " option.");
        auto e = literal(Value::integer(static_cast<int>(*part)), take().line);
        e->name = "datepart";
        return e;
    }

    ExprPtr columnRef() {
        int line = peek().line;
        auto e = makeExpr(ExprKind::Column, line);
        e->names.push_back(name());
        while (isSymbol(".")) {
            take();
            if (isSymbol(".")) { e->names.emplace_back(); continue; }
            e->names.push_back(name());
        }
        if (isSymbol("(")) {  // dbo.function(...)
            auto f = functionCall(e->names.back(), line, true, e->names.size() > 1);
            f->names = e->names;
            return f;
        }
        if (e->names.size() > 4) fail();
        return e;
    }

    ExprPtr caseExpr() {
        auto e = makeExpr(ExprKind::Case, take().line);
        if (!is("when")) {
            e->hasOperand = true;
            e->args.push_back(expression());
        }
        if (!is("when")) fail();
        while (accept("when")) {
            e->args.push_back(expression());
            expect("then");
            e->args.push_back(expression());
        }
        if (accept("else")) {
            e->hasElse = true;
            e->args.push_back(expression());
        }
        expect("end");
        return e;
    }

    ExprPtr castExpr() {
        auto e = makeExpr(ExprKind::Cast, take().line);
        expect("(");
        e->args.push_back(expression());
        expect("as");
        e->type = typeSpec();
        expect(")");
        return e;
    }

    ExprPtr convertExpr() {
        auto e = makeExpr(ExprKind::Cast, take().line);
        expect("(");
        e->type = typeSpec();
        expect(",");
        e->args.push_back(expression());
        if (accept(",")) e->args.push_back(expression());
        expect(")");
        return e;
    }

    ExprPtr identityExpr() {
        auto e = makeExpr(ExprKind::Identity, take().line);
        expect("(");
        e->type = typeSpec();
        if (accept(",")) {
            e->args.push_back(literal(Value::integer(signedInteger(), TypeId::BigInt), e->line));
            expect(",");
            e->args.push_back(literal(Value::integer(signedInteger(), TypeId::BigInt), e->line));
        }
        expect(")");
        return e;
    }

    std::string_view sql_;
    std::vector<Token> tokens_;
    size_t pos_ = 0;
    CallChecks checks_;
    int nesting_ = 0;  // see Nested
    ConstraintSpecs pending_;  // the constraints of the CREATE or ALTER TABLE being read
};

}  // namespace

bool isReservedWord(std::string_view word) {
    // kReserved is in alphabetical order: a binary search, case ignored (the parser asks often).
    auto lessIgnoringCase = [](std::string_view a, std::string_view b) {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
            return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
        });
    };
    return std::binary_search(std::begin(kReserved), std::end(kReserved), word, lessIgnoringCase);
}

std::string ObjectName::display() const { return name; }

std::vector<StmtPtr> parseBatch(std::string_view sql, CallChecks checks) { return Parser(sql, checks).batch(); }

ExprPtr parseExpression(std::string_view sql, CallChecks checks) {
    return Parser(sql, checks).standaloneExpression();
}

}  // namespace sandbox::sql
