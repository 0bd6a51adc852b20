// The text syscomments keeps for a CHECK constraint: not the text as written but the condition
// written again from its parts, as SQL Server 2000 does: columns in brackets, operators between
// blanks, keywords in lower case, parentheses only where the order of operations needs them,
// IN lists and BETWEEN spelled out (`CHECK (pub_id in ('1389', '0736'))` is kept as
// `([pub_id] = '0736' or [pub_id] = '1389')`).

#include "engine/constraint_names.hpp"

#include "engine/convert.hpp"
#include "engine/error.hpp"
#include "engine/storage.hpp"

#include <array>

namespace sandbox {

using namespace sql;

namespace {

// How tightly an operator binds; a larger number binds more loosely.
enum Precedence : int { kPrimary = 0, kUnary = 1, kMultiply = 2, kAdd = 3, kCompare = 4, kNot = 5, kAnd = 6, kOr = 7 };

Precedence binaryPrecedence(const std::string& op) {
    if (op == "*" || op == "/" || op == "%") return kMultiply;
    if (op == "+" || op == "-" || op == "&" || op == "|" || op == "^") return kAdd;
    if (op == "AND") return kAnd;
    if (op == "OR") return kOr;
    return kCompare;
}

ExprPtr node(ExprKind kind, std::vector<ExprPtr> args, std::string op = "") {
    auto e = std::make_shared<Expr>();
    e->kind = kind;
    e->args = std::move(args);
    if (!op.empty()) e->ops = {std::move(op)};
    return e;
}

class CheckWriter {
public:
    explicit CheckWriter(const Table& table) : table_(table) {}

    std::string write(const Expr& e, Precedence outer, bool rightOperand) {
        Precedence own = precedenceOf(e);
        std::string text = plain(e);
        bool enclose = own > outer || (rightOperand && own == outer && own != kPrimary);
        return enclose ? "(" + text + ")" : text;
    }

private:
    Precedence precedenceOf(const Expr& e) const {
        switch (e.kind) {
            case ExprKind::Binary: return binaryPrecedence(e.ops.front());
            case ExprKind::Unary: return e.name == "NOT" ? kNot : kUnary;
            case ExprKind::Like: case ExprKind::IsNull: return kCompare;
            case ExprKind::Between: return e.negated ? kOr : kAnd;
            case ExprKind::InList: return e.args.size() == 2 ? kCompare : e.negated ? kAnd : kOr;
            case ExprKind::Literal: return isNegativeNumber(e.literal) ? kUnary : kPrimary;
            default: return kPrimary;
        }
    }

    static bool isNegativeNumber(const Value& v) {
        if (v.isNull()) return false;
        if (std::holds_alternative<int64_t>(v.storage())) return v.asInt() < 0;
        if (std::holds_alternative<double>(v.storage())) return v.asDouble() < 0;
        if (std::holds_alternative<Decimal>(v.storage())) return v.asDecimal().unscaled < 0;
        return false;
    }

    std::string plain(const Expr& e) {
        switch (e.kind) {
            case ExprKind::Literal: return literal(e);
            case ExprKind::Column: return column(e);
            case ExprKind::Variable: case ExprKind::SystemVar: return e.name;
            case ExprKind::Binary: return chain(e);
            case ExprKind::Unary:
                if (e.name == "NOT") return "not(" + write(*e.args[0], kOr, false) + ")";
                return e.name + write(*e.args[0], kUnary, true);
            case ExprKind::Function: return function(e);
            case ExprKind::Case: return caseText(e);
            case ExprKind::Cast: return cast(e);
            case ExprKind::Collate: return write(*e.args[0], kPrimary, false) + " collate " + e.name;
            case ExprKind::IsNull: return write(*e.args[0], kCompare, false) + (e.negated ? " is not null" : " is null");
            case ExprKind::Like: {
                std::string text = write(*e.args[0], kCompare, false) + (e.negated ? " not like " : " like ") +
                                   write(*e.args[1], kCompare, true);
                if (e.args.size() > 2) text += " escape " + write(*e.args[2], kCompare, true);
                return text;
            }
            case ExprKind::Between: {
                // BETWEEN is kept as the two comparisons it stands for.
                ExprPtr low = node(ExprKind::Binary, {e.args[0], e.args[1]}, e.negated ? "<" : ">=");
                ExprPtr high = node(ExprKind::Binary, {e.args[0], e.args[2]}, e.negated ? ">" : "<=");
                return plain(*node(ExprKind::Binary, {low, high}, e.negated ? "OR" : "AND"));
            }
            case ExprKind::InList: return plain(*inList(e));
            case ExprKind::Subquery: case ExprKind::Exists: case ExprKind::InSubquery:
                throw SqlError(8142, 16, 1, "Subqueries are not supported in CHECK constraints, table '" + table_.name + "'.", false);
            case ExprKind::Identity: return "identity";
        }
        return "";
    }

    // x IN (a, b, c) is kept as x = c or (x = b or x = a): the last value first, nested to the right.
    ExprPtr inList(const Expr& e) const {
        const std::string comparison = e.negated ? "<>" : "=";
        ExprPtr result = node(ExprKind::Binary, {e.args[0], e.args[1]}, comparison);
        for (size_t i = 2; i < e.args.size(); ++i)
            result = node(ExprKind::Binary, {node(ExprKind::Binary, {e.args[0], e.args[i]}, comparison), result},
                          e.negated ? "AND" : "OR");
        return result;
    }

    std::string chain(const Expr& e) {
        Precedence level = binaryPrecedence(e.ops.front());
        std::string text = write(*e.args[0], level, false);
        for (size_t i = 1; i < e.args.size(); ++i) {
            std::string op = e.ops[i - 1];
            if (op == "AND" || op == "OR") op = toLower(op);
            text += " " + op + " " + write(*e.args[i], level, true);
        }
        return text;
    }

    std::string column(const Expr& e) const {
        const std::string& written = e.names.back();
        auto position = table_.columnIndex(written);
        return bracketed(position ? table_.columns[*position].name : written);
    }

    static std::string bracketed(const std::string& name) {
        std::string text = "[";
        for (char c : name) text += c == ']' ? "]]" : std::string(1, c);
        return text + "]";
    }

    static std::string literal(const Expr& e) {
        const Value& v = e.literal;
        if (e.name == "datepart") {
            static constexpr std::array<const char*, 11> kParts = {"year", "quarter", "month", "dayofyear", "day", "week",
                                                                   "weekday", "hour", "minute", "second", "millisecond"};
            int64_t part = v.asInt();
            return part >= 0 && part < static_cast<int64_t>(kParts.size()) ? kParts[static_cast<size_t>(part)] : "day";
        }
        if (v.isNull()) return "null";
        if (std::holds_alternative<std::string>(v.storage())) {
            std::string text = isUnicode(v.type().id) ? "N'" : "'";
            for (char c : v.asText()) text += c == '\'' ? "''" : std::string(1, c);
            return text + "'";
        }
        if (std::holds_alternative<Bytes>(v.storage())) {
            std::string text = "0x";
            for (uint8_t byte : v.asBytes()) text += "0123456789ABCDEF"[byte >> 4], text += "0123456789ABCDEF"[byte & 15];
            return text;
        }
        return formatValue(v);
    }

    std::string arguments(const std::vector<ExprPtr>& args) {
        std::string text;
        for (size_t i = 0; i < args.size(); ++i) text += (i ? "," : "") + write(*args[i], kOr, false);
        return text;
    }

    std::string function(const Expr& e) {
        std::string name;
        if (e.names.size() > 1) {  // a user function: [dbo].[f]
            for (size_t i = 0; i < e.names.size(); ++i) name += (i ? "." : "") + bracketed(e.names[i]);
        } else {
            name = toLower(e.name);
        }
        if (e.star) return name + "(*)";
        return name + "(" + (e.distinct ? "distinct " : "") + arguments(e.args) + ")";
    }

    std::string cast(const Expr& e) {
        std::string type = toLower(e.type.name);
        for (size_t i = 0; i < e.type.arguments.size(); ++i)
            type += (i ? "," : "(") + std::to_string(e.type.arguments[i]) + (i + 1 == e.type.arguments.size() ? ")" : "");
        std::string text = "convert(" + type + "," + write(*e.args[0], kOr, false);
        if (e.args.size() > 1) text += "," + write(*e.args[1], kOr, false);
        return text + ")";
    }

    std::string caseText(const Expr& e) {
        std::string text = "case";
        size_t i = 0;
        if (e.hasOperand) text += " " + write(*e.args[i++], kOr, false);
        size_t pairsEnd = e.hasElse ? e.args.size() - 1 : e.args.size();
        for (; i + 1 < pairsEnd; i += 2)
            text += " when " + write(*e.args[i], kOr, false) + " then " + write(*e.args[i + 1], kOr, false);
        if (e.hasElse) text += " else " + write(*e.args.back(), kOr, false);
        return text + " end";
    }

    const Table& table_;
};

}  // namespace

std::string storedCheckText(const Expr& condition, const Table& table) {
    return "(" + CheckWriter(table).write(condition, kOr, false) + ")";
}

}  // namespace sandbox
