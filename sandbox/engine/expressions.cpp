#include "engine/executor.hpp"

#include "engine/convert.hpp"
#include "engine/error.hpp"
#include "sql/builtins.hpp"
#include "sql/nesting.hpp"

#include <algorithm>
#include <cmath>

namespace sandbox {

using namespace sql;

namespace {

bool isComparison(const std::string& op) {
    return op == "=" || op == "<>" || op == "<" || op == ">" || op == "<=" || op == ">=";
}

Value boolValue(bool v) { return Value::bit(v); }
Value unknown() { return Value::null(SqlType::of(TypeId::Bit)); }

bool isLogical(const Expr& e) { return e.kind == ExprKind::Binary && (e.ops[0] == "AND" || e.ops[0] == "OR"); }

// Recursion over expressions stops before the stack runs out: an expression reached through
// nested procedures, functions and views can be deeper than any one text the parser accepted.
void checkStackDepth() {
    if (sql::stackNearlyExhausted()) throw SqlError(sql::kNestedTooDeeply, 15, 1, std::string(sql::kNestedTooDeeplyText));
}

// A batch's calls were checked when it was parsed; text kept by an earlier version of the
// sandbox (a module in a data or backup file) has its calls checked as they run.
void checkBuiltInCall(const Expr& call) {
    if (call.names.size() > 1) return;  // dbo.f(...): a user function
    if (auto refusal = sql::refuseCall(call.name, static_cast<int>(call.args.size()) + (call.star ? 1 : 0)))
        throw SqlError(refusal->number, 15, 1, refusal->text);
}

Value compare(const std::string& op, const Value& a, const Value& b) {
    if (a.isNull() || b.isNull()) return unknown();
    int c = compareValues(a, b);
    if (op == "=") return boolValue(c == 0);
    if (op == "<>") return boolValue(c != 0);
    if (op == "<") return boolValue(c < 0);
    if (op == ">") return boolValue(c > 0);
    if (op == "<=") return boolValue(c <= 0);
    return boolValue(c >= 0);
}

// The type of `a op b` for one operator of an arithmetic chain.
SqlType operatorResultType(const std::string& op, const SqlType& a, const SqlType& b) {
    SqlType common = commonType(a, b);
    if (op == "+" && isCharacter(common.id)) return concatenationType(a, b);
    if ((common.id == TypeId::Decimal || common.id == TypeId::Numeric) && op.find_first_of("+-*/") != std::string::npos)
        return decimalResultType(op[0], a, b);
    if (common.id == TypeId::Bit || common.id == TypeId::TinyInt) return SqlType::of(TypeId::Int);
    return common;
}

bool matchesEntry(const Scope::Entry& entry, const std::vector<std::string>& names) {
    if (names.size() < 2) return true;
    const std::string& qualifier = names[names.size() - 2];
    return compareCollated(entry.alias, qualifier) == 0 || compareCollated(entry.name, qualifier) == 0;
}

// LIKE with %, _, [set] and [^set], case-insensitive, as the server collation compares.
bool likeMatch(std::string_view text, std::string_view pattern, char escape) {
    size_t t = 0, p = 0, starP = std::string_view::npos, starT = 0;
    auto lower = [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); };
    auto matchOne = [&](size_t& pp, char c) -> bool {
        char pc = pattern[pp];
        if (escape && pc == escape && pp + 1 < pattern.size()) { pp += 2; return lower(pattern[pp - 1]) == lower(c); }
        if (pc == '_') { ++pp; return true; }
        if (pc == '[') {
            size_t close = pattern.find(']', pp + 1);
            if (close == std::string_view::npos) { ++pp; return c == '['; }
            std::string_view set = pattern.substr(pp + 1, close - pp - 1);
            pp = close + 1;
            bool negate = !set.empty() && set[0] == '^';
            if (negate) set.remove_prefix(1);
            bool found = false;
            for (size_t k = 0; k < set.size(); ++k) {
                if (k + 2 < set.size() && set[k + 1] == '-') {
                    if (lower(c) >= lower(set[k]) && lower(c) <= lower(set[k + 2])) found = true;
                    k += 2;
                } else if (lower(set[k]) == lower(c)) {
                    found = true;
                }
            }
            return found != negate;
        }
        ++pp;
        return lower(pc) == lower(c);
    };
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '%') { starP = ++p; starT = t; continue; }
        size_t pp = p;
        if (p < pattern.size() && matchOne(pp, text[t])) { p = pp; ++t; continue; }
        if (starP == std::string_view::npos) return false;
        p = starP;
        t = ++starT;
    }
    while (p < pattern.size() && pattern[p] == '%') ++p;
    return p == pattern.size();
}

}  // namespace

bool isAggregateName(std::string_view name) {
    return name == "count" || name == "sum" || name == "avg" || name == "min" || name == "max";
}

bool containsAggregate(const Expr& e) {
    if (e.kind == ExprKind::Function && isAggregateName(e.name) && e.names.size() <= 1) return true;
    return std::any_of(e.args.begin(), e.args.end(), [](const ExprPtr& a) { return a && containsAggregate(*a); });
}

// ---- column references ----

std::optional<std::pair<int, size_t>> Executor::locateColumn(const Expr& e, const Scope* scope, const Frame* frame) {
    const std::string& column = e.names.back();
    int depth = 0;
    for (const Frame* f = frame; scope; ++depth) {
        std::optional<size_t> found;
        for (const auto& entry : scope->entries) {
            if (!matchesEntry(entry, e.names)) continue;
            for (size_t c = 0; c < entry.columns.size(); ++c) {
                if (compareCollated(entry.columns[c].name, column) != 0) continue;
                if (found) throw errors::ambiguousColumn(column);
                found = entry.offset + c;
            }
        }
        if (found) return std::make_pair(depth, *found);
        if (!f) break;
        f = f->outer;
        scope = f ? f->scope : nullptr;
    }
    return std::nullopt;
}

Value Executor::evalColumn(const Expr& e, const Frame& frame) {
    const uint64_t scope = frame.scope ? frame.scope->id : 0;
    int depth = 0;
    size_t index = 0;
    if (!e.binding.recall(scope, depth, index)) {
        auto located = locateColumn(e, frame.scope, &frame);
        if (!located) {
            bool qualified = e.names.size() >= 2;
            if (qualified) {
                bool known = false;
                for (const Frame* f = &frame; f && f->scope && !known; f = f->outer)
                    for (const auto& entry : f->scope->entries)
                        if (matchesEntry(entry, e.names)) known = true;
                if (!known)
                    throw SqlError(107, 16, 3, "The column prefix '" + e.names[e.names.size() - 2] +
                                                   "' does not match with a table name or alias name used in the query.");
            }
            throw errors::invalidColumn(e.names.back());
        }
        depth = located->first;
        index = located->second;
        e.binding.remember(scope, depth, index);
    }
    const Frame* f = &frame;
    for (int d = 0; d < depth; ++d) f = f->outer;
    if (!f->row) return Value();
    return f->row[index];
}

// ---- evaluation ----

bool Executor::isTrue(const Expr& e, const Frame& frame) {
    Value v = eval(e, frame);
    return !v.isNull() && std::holds_alternative<int64_t>(v.storage()) ? v.asInt() != 0 : (!v.isNull() && isTruthyNumber(v));
}

Value Executor::eval(const Expr& e, const Frame& frame) {
    checkStackDepth();
    switch (e.kind) {
        case ExprKind::Literal: return e.literal;
        case ExprKind::Column: return evalColumn(e, frame);
        case ExprKind::Variable: return variable(e.name).value;
        case ExprKind::SystemVar: return evalSystemVariable(e.name);
        case ExprKind::Unary: {
            if (e.name == "NOT") {
                Value v = eval(*e.args[0], frame);
                return v.isNull() ? unknown() : boolValue(!isTruthyNumber(v));
            }
            Value v = eval(*e.args[0], frame);
            return e.name == "~" ? bitwiseNot(v) : negate(v);
        }
        case ExprKind::Binary: return evalBinary(e, frame);
        case ExprKind::Function:
            checkBuiltInCall(e);
            return isAggregateName(e.name) && e.names.size() <= 1 ? evalAggregate(e, frame) : evalFunction(e, frame);
        case ExprKind::Case: return evalCase(e, frame);
        case ExprKind::Subquery: return evalSubquery(e, frame);
        case ExprKind::Exists: {
            auto limited = std::make_shared<SelectStmt>(*e.subquery);
            Relation r = queryToRelation(*limited, &frame);
            return boolValue(r.owned.empty() == e.negated);
        }
        case ExprKind::InList: case ExprKind::InSubquery: return evalIn(e, frame);
        case ExprKind::Between: {
            Value v = eval(*e.args[0], frame), low = eval(*e.args[1], frame), high = eval(*e.args[2], frame);
            if (v.isNull() || low.isNull() || high.isNull()) return unknown();
            bool inside = compareValues(v, low) >= 0 && compareValues(v, high) <= 0;
            return boolValue(inside != e.negated);
        }
        case ExprKind::Like: return evalLike(e, frame);
        case ExprKind::IsNull: return boolValue(eval(*e.args[0], frame).isNull() != e.negated);
        case ExprKind::Cast: return evalCast(e, frame);
        case ExprKind::Collate: return eval(*e.args[0], frame);
        case ExprKind::Identity:
            throw SqlError(177, 15, 1, "The IDENTITY function can only be used when the SELECT statement has an INTO clause.");
    }
    return Value();
}

// A chain is worked through in a loop, left to right, whatever its length.
Value Executor::evalBinary(const Expr& e, const Frame& frame) {
    if (isLogical(e)) {
        // An AND chain is false as soon as one operand is false, an OR chain true as soon as one
        // is true; otherwise an unknown operand makes the whole unknown.
        bool isAnd = e.ops[0] == "AND";
        bool sawUnknown = false;
        for (const auto& operand : e.args) {
            Value v = eval(*operand, frame);
            if (v.isNull()) sawUnknown = true;
            else if (isTruthyNumber(v) != isAnd) return boolValue(!isAnd);
        }
        return sawUnknown ? unknown() : boolValue(isAnd);
    }
    Value result = eval(*e.args[0], frame);
    for (size_t i = 1; i < e.args.size(); ++i) {
        const std::string& op = e.ops[i - 1];
        Value next = eval(*e.args[i], frame);
        result = isComparison(op) ? compare(op, result, next) : arithmetic(op[0], result, next);
    }
    return result;
}

Value Executor::evalCase(const Expr& e, const Frame& frame) {
    size_t i = 0;
    Value operand;
    if (e.hasOperand) operand = eval(*e.args[i++], frame);
    size_t whenEnd = e.args.size() - (e.hasElse ? 1 : 0);
    for (; i + 1 < whenEnd; i += 2) {
        bool hit = e.hasOperand ? valuesEqual(operand, eval(*e.args[i], frame)) : isTrue(*e.args[i], frame);
        if (hit) return eval(*e.args[i + 1], frame);
    }
    return e.hasElse ? eval(*e.args.back(), frame) : Value();
}

Value Executor::evalLike(const Expr& e, const Frame& frame) {
    Value text = eval(*e.args[0], frame);
    Value pattern = eval(*e.args[1], frame);
    if (text.isNull() || pattern.isNull()) return unknown();
    char escape = 0;
    if (e.args.size() > 2) {
        Value esc = eval(*e.args[2], frame);
        if (!esc.isNull() && !formatValue(esc).empty()) escape = formatValue(esc)[0];
    }
    std::string subject = formatValue(text);
    if (text.type().id == TypeId::Char || text.type().id == TypeId::NChar) subject = std::string(trimRightBlanks(subject));
    return boolValue(likeMatch(subject, formatValue(pattern), escape) != e.negated);
}

Value Executor::evalIn(const Expr& e, const Frame& frame) {
    Value v = eval(*e.args[0], frame);
    if (v.isNull()) return unknown();
    std::vector<Value> candidates;
    if (e.kind == ExprKind::InSubquery) {
        Relation r = queryToRelation(*e.subquery, &frame);
        for (const Row& row : r.owned) candidates.push_back(row[0]);
    } else {
        for (size_t i = 1; i < e.args.size(); ++i) candidates.push_back(eval(*e.args[i], frame));
    }
    bool sawNull = false;
    for (const Value& c : candidates) {
        if (c.isNull()) { sawNull = true; continue; }
        if (compareValues(v, c) == 0) return boolValue(!e.negated);
    }
    if (sawNull) return unknown();
    return boolValue(e.negated);
}

Value Executor::evalSubquery(const Expr& e, const Frame& frame) {
    Relation r = queryToRelation(*e.subquery, &frame);
    if (r.owned.size() > 1)
        throw SqlError(512, 16, 1, "Subquery returned more than 1 value. This is not permitted when the subquery follows =, !=, <, <= , >, >= or when the subquery is used as an expression.", false);
    if (r.owned.empty()) return Value::null(r.columns.empty() ? SqlType::of(TypeId::Int) : r.columns[0].type);
    return r.owned[0][0];
}

Value Executor::evalAggregate(const Expr& e, const Frame& frame) {
    if (!frame.group)
        throw SqlError(147, 15, 1, "An aggregate may not appear in the WHERE clause unless it is in a subquery contained in a HAVING clause or a select list, and the column being aggregated is an outer reference.");
    const auto& rows = *frame.group;
    if (e.star) return Value::integer(static_cast<int64_t>(rows.size()));
    std::vector<Value> values;
    for (const Row& row : rows) {
        pollCancel();  // a group may hold millions of rows, each value computed here
        Frame inner{frame.scope, row.data(), frame.outer, nullptr};
        Value v = eval(*e.args[0], inner);
        if (v.isNull()) continue;
        if (e.distinct && std::any_of(values.begin(), values.end(), [&](const Value& x) { return compareValues(x, v) == 0; }))
            continue;
        values.push_back(v);
    }
    if (e.name == "count") return Value::integer(static_cast<int64_t>(values.size()));
    SqlType type = inferType(e, frame.scope);
    if (values.empty()) return Value::null(type);
    if (e.name == "min" || e.name == "max") {
        Value best = values[0];
        for (const Value& v : values) {
            int c = compareValues(v, best);
            if ((e.name == "min" && c < 0) || (e.name == "max" && c > 0)) best = v;
        }
        return best;
    }
    Value sum = convertValue(values[0], type);
    for (size_t i = 1; i < values.size(); ++i) {
        pollCancel();
        sum = arithmetic('+', sum, convertValue(values[i], type));
    }
    if (e.name == "sum") return convertValue(sum, type);
    Value count = Value::integer(static_cast<int64_t>(values.size()));
    return convertValue(arithmetic('/', sum, count), type);
}

Value Executor::evalCast(const Expr& e, const Frame& frame) {
    Value v = eval(*e.args[0], frame);
    SqlType target = resolveType(e.type);
    int style = e.args.size() > 1 ? static_cast<int>(toInteger(eval(*e.args[1], frame))) : 0;
    if (e.type.arguments.empty() && (target.id == TypeId::VarChar || target.id == TypeId::Char ||
                                     target.id == TypeId::NVarChar || target.id == TypeId::NChar) && !target.isSysname)
        target = SqlType::chars(target.id, 30);
    return convertValue(v, target, style);
}

// ---- types of expressions, for the result's column descriptions ----

const RelColumn* Executor::sourceColumn(const Expr& e, const Scope* scope) {
    if (e.kind != ExprKind::Column || !scope) return nullptr;
    auto located = locateColumn(e, scope, nullptr);
    if (!located || located->first != 0) return nullptr;
    for (const auto& entry : scope->entries)
        if (located->second >= entry.offset && located->second < entry.offset + entry.columns.size())
            return &entry.columns[located->second - entry.offset];
    return nullptr;
}

bool Executor::inferNullable(const Expr& e, const Scope* scope) {
    if (e.kind == ExprKind::Column) {
        const RelColumn* column = sourceColumn(e, scope);
        return column ? column->nullable : true;
    }
    if (e.kind == ExprKind::Literal) return e.literal.isNull();
    if (e.kind == ExprKind::Function && (e.name == "count" || e.name == "getdate")) return false;
    if (e.kind == ExprKind::Function && e.name == "isnull" && e.args.size() == 2) return inferNullable(*e.args[1], scope);
    return true;
}

SqlType Executor::inferType(const Expr& e, const Scope* scope) {
    checkStackDepth();
    switch (e.kind) {
        case ExprKind::Literal: return e.literal.type();
        case ExprKind::Column: {
            const RelColumn* column = sourceColumn(e, scope);
            return column ? column->type : SqlType::of(TypeId::Int);
        }
        case ExprKind::Variable: return variable(e.name).type;
        case ExprKind::SystemVar: return evalSystemVariable(e.name).type();
        case ExprKind::Unary: return e.name == "NOT" ? SqlType::of(TypeId::Bit) : inferType(*e.args[0], scope);
        case ExprKind::Binary: {
            if (isComparison(e.ops[0]) || isLogical(e)) return SqlType::of(TypeId::Bit);
            SqlType result = inferType(*e.args[0], scope);
            for (size_t i = 1; i < e.args.size(); ++i)
                result = operatorResultType(e.ops[i - 1], result, inferType(*e.args[i], scope));
            return result;
        }
        case ExprKind::Function: return functionType(e, scope);
        case ExprKind::Case: {
            std::optional<SqlType> result;
            size_t start = e.hasOperand ? 2 : 1;
            std::vector<const Expr*> branches;
            for (size_t i = start; i < e.args.size() - (e.hasElse ? 1 : 0); i += 2) branches.push_back(e.args[i].get());
            if (e.hasElse) branches.push_back(e.args.back().get());
            for (const Expr* branch : branches) {
                if (branch->kind == ExprKind::Literal && branch->literal.isNull()) continue;
                SqlType t = inferType(*branch, scope);
                result = result ? commonType(*result, t) : t;
            }
            return result.value_or(SqlType::of(TypeId::Int));
        }
        case ExprKind::Subquery: {
            const SelectStmt& sub = *e.subquery;
            if (sub.items.empty() || sub.items[0].star) return SqlType::of(TypeId::Int);
            Scope inner;
            inner.id = newScopeId();
            for (const auto& ref : sub.from) {
                if (ref.derived) return SqlType::chars(TypeId::NVarChar, 4000);
                std::optional<Relation> r = findRelation(ref.name);
                if (!r) return SqlType::of(TypeId::Int);
                inner.entries.push_back({ref.alias.empty() ? ref.name.name : ref.alias, r->name, r->columns, inner.width, r->table});
                inner.width += r->columns.size();
            }
            return inferType(*sub.items[0].expr, &inner);
        }
        case ExprKind::Cast: {
            SqlType t = resolveType(e.type);
            if (e.type.arguments.empty() && !t.isSysname &&
                (t.id == TypeId::VarChar || t.id == TypeId::Char || t.id == TypeId::NVarChar || t.id == TypeId::NChar))
                t = SqlType::chars(t.id, 30);
            return t;
        }
        case ExprKind::Collate: return inferType(*e.args[0], scope);
        case ExprKind::Identity: return resolveType(e.type);
        default: return SqlType::of(TypeId::Bit);
    }
}

}  // namespace sandbox
