#include "engine/executor.hpp"

#include "engine/convert.hpp"
#include "engine/dates.hpp"
#include "engine/error.hpp"

#include <algorithm>
#include <cmath>
#include <random>

namespace sandbox {

using namespace sql;

namespace {

bool isUserFunctionCall(const Expr& e) { return e.names.size() > 1; }  // dbo.f(...)

SqlType nvarchar(int n) { return SqlType::chars(TypeId::NVarChar, n); }
SqlType varchar(int n) { return SqlType::chars(TypeId::VarChar, n); }

// The longest string a function returns: 8,000 bytes of varchar, 4,000 characters of nvarchar.
SqlType longestText(bool unicode) { return unicode ? SqlType::chars(TypeId::NVarChar, 4000) : SqlType::chars(TypeId::VarChar, 8000); }

// String functions keep the argument's kind: varchar in, varchar out; nvarchar in, nvarchar out.
// A longer result is cut at the longest string, as SQL Server 2000 cuts it.
Value textLike(const Value& model, std::string text) {
    bool unicode = isUnicode(model.type().id);
    text = cutToLength(text, longestText(unicode));
    int length = std::max<int>(1, static_cast<int>(unicode ? characterCount(text) : utf8ToCp936(text).size()));
    return Value::text(std::move(text), SqlType::chars(unicode ? TypeId::NVarChar : TypeId::VarChar, length));
}

std::string textOf(const Value& v) {
    std::string text = formatValue(v);
    return text;
}

SqlError invalidLength(const std::string& function) {
    return SqlError(536, 16, 1, "Invalid length parameter passed to the " + function + " function.", false);
}

Guid randomGuid() {
    static thread_local std::mt19937_64 generator{std::random_device{}()};
    Guid g;
    for (auto& b : g) b = static_cast<uint8_t>(generator());
    g[7] = static_cast<uint8_t>((g[7] & 0x0F) | 0x40);
    g[8] = static_cast<uint8_t>((g[8] & 0x3F) | 0x80);
    return g;
}

}  // namespace

Value Executor::evalSystemVariable(const std::string& name) {
    if (name == "@@version") return Value::text(engine_.version().banner(), nvarchar(256));
    if (name == "@@servername") return Value::text(engine_.serverName(), nvarchar(128));
    if (name == "@@servicename") return Value::text("MSSQLSERVER", nvarchar(128));
    if (name == "@@spid") return Value::integer(session_.spid(), TypeId::SmallInt);
    if (name == "@@rowcount") return Value::integer(session_.rowCount_);
    if (name == "@@error") return Value::integer(session_.lastError_);
    if (name == "@@trancount") return Value::integer(0);
    if (name == "@@language") return Value::text("us_english", nvarchar(128));
    if (name == "@@langid") return Value::integer(0, TypeId::SmallInt);
    if (name == "@@microsoftversion") return Value::integer(engine_.version().microsoftVersion());
    if (name == "@@textsize") return Value::integer(2147483647);
    if (name == "@@max_precision") return Value::integer(38, TypeId::TinyInt);
    if (name == "@@datefirst") return Value::integer(7, TypeId::TinyInt);
    if (name == "@@nestlevel") return Value::integer(depth_);
    if (name == "@@fetch_status") return Value::integer(-1);
    if (name == "@@identity")
        return session_.identityKnown_ ? Value::decimal({session_.lastIdentity_, 0}, SqlType::decimal(38, 0, TypeId::Numeric))
                                       : Value::null(SqlType::decimal(38, 0, TypeId::Numeric));
    throw SqlError(137, 15, 2, "Must declare the variable '" + name + "'.");
}

SqlType Executor::functionType(const Expr& e, const Scope* scope) {
    if (isUserFunctionCall(e)) {
        SchemaObject* user = userFunction(e.names, {"FN"});
        return user ? resolveType(user->module->returnType) : SqlType::of(TypeId::Int);
    }
    const std::string& f = e.name;
    auto argType = [&](size_t i) { return i < e.args.size() ? inferType(*e.args[i], scope) : SqlType::of(TypeId::Int); };
    if (f == "count" || f == "len" || f == "datalength" || f == "charindex" || f == "object_id" || f == "db_id" ||
        f == "patindex" || f == "ascii" || f == "unicode" || f == "year" || f == "month" || f == "day" ||
        f == "datediff" || f == "datepart" || f == "sign" || f == "columnproperty" || f == "objectproperty" ||
        f == "indexkey_property" || f == "schema_id" ||
        f == "isnumeric" || f == "isdate" || f == "@@rowcount")
        return SqlType::of(TypeId::Int);
    if (f == "sum" || f == "avg") {
        SqlType t = argType(0);
        if (isIntegral(t.id)) return SqlType::of(t.id == TypeId::BigInt ? TypeId::BigInt : TypeId::Int);
        if (t.id == TypeId::Decimal || t.id == TypeId::Numeric) return SqlType::decimal(38, f == "avg" ? std::max(6, t.scale) : t.scale);
        if (t.id == TypeId::Real) return SqlType::of(TypeId::Float);
        return t;
    }
    if (f == "min" || f == "max" || f == "abs" || f == "round" || f == "floor" || f == "ceiling") return argType(0);
    if (f == "object_name" || f == "type_name" || f == "col_name" || f == "index_col" || f == "db_name" ||
        f == "user_name" || f == "suser_sname" || f == "host_name" || f == "app_name" || f == "suser_name" ||
        f == "filegroup_name" || f == "file_name" || f == "schema_name" || f == "object_schema_name")
        return nvarchar(128);
    if (f == "space") return varchar(std::min(8000, e.args.empty() || e.args[0]->kind != ExprKind::Literal ? 8000
                                                 : static_cast<int>(std::max<int64_t>(1, toInteger(e.args[0]->literal)))));
    if (f == "left" || f == "right" || f == "substring" || f == "ltrim" || f == "rtrim" || f == "upper" || f == "lower" ||
        f == "reverse") {
        SqlType t = argType(0);
        if (!isCharacter(t.id)) return varchar(8000);
        if (isLargeObject(t.id)) return isUnicode(t.id) ? nvarchar(4000) : varchar(8000);
        return SqlType::chars(isUnicode(t.id) ? TypeId::NVarChar : TypeId::VarChar, declaredLength(t));
    }
    if (f == "replace" || f == "replicate" || f == "stuff") {
        SqlType t = argType(0);
        return isUnicode(t.id) ? nvarchar(4000) : varchar(8000);
    }
    if (f == "char") return SqlType::chars(TypeId::Char, 1);
    if (f == "nchar") return SqlType::chars(TypeId::NChar, 1);
    if (f == "str") return SqlType::chars(TypeId::Char, 10);
    if (f == "isnull")
        return e.args.size() == 2 && e.args[0]->kind == ExprKind::Literal && e.args[0]->literal.isNull() ? argType(1) : argType(0);
    if (f == "coalesce") {
        SqlType t = argType(0);
        for (size_t i = 1; i < e.args.size(); ++i) t = commonType(t, argType(i));
        return t;
    }
    if (f == "nullif") return argType(0);
    if (f == "getdate" || f == "dateadd" || f == "getutcdate") return SqlType::of(TypeId::DateTime);
    if (f == "ident_seed" || f == "ident_incr" || f == "ident_current") return SqlType::decimal(38, 0, TypeId::Numeric);
    if (f == "newid") return SqlType::of(TypeId::UniqueIdentifier);
    if (f == "datename") return nvarchar(30);
    if (f == "quotename") return nvarchar(258);
    if (f == "serverproperty" || f == "databasepropertyex" || f == "sql_variant_property")
        return SqlType::of(TypeId::SqlVariant);
    if (f == "textptr") return SqlType::chars(TypeId::VarBinary, 16);
    return SqlType::of(TypeId::Int);
}

// ISNULL, COALESCE, NULLIF.
std::optional<Value> Executor::evalNullFunction(const FunctionCall& call) {
    const std::string& f = call.expr.name;
    const Expr& e = call.expr;
    const std::vector<Value>& a = call.args;
    const SqlType& resultType = call.type;
    if (f == "isnull") {
        // The result has the first argument's type and length, unless that is the untyped NULL.
        bool untypedNull = e.args[0]->kind == ExprKind::Literal && e.args[0]->literal.isNull();
        if (!a[0].isNull()) return a[0];
        return untypedNull ? a[1] : convertValue(a[1], a[0].type());
    }
    if (f == "coalesce") {
        for (const Value& v : a) if (!v.isNull()) return v;
        return Value::null(resultType);
    }
    if (f == "nullif") return valuesEqual(a[0], a[1]) ? Value::null(a[0].type()) : a[0];
    return std::nullopt;
}

// Facts about the server, the session and its databases.
std::optional<Value> Executor::evalSessionFunction(const FunctionCall& call) {
    const std::string& f = call.expr.name;
    const std::vector<Value>& a = call.args;
    const SqlType& resultType = call.type;
    if (f == "getdate" || f == "getutcdate") return Value::dateTime(currentDateTime());
    if (f == "newid") return Value::guid(randomGuid());

    if (f == "db_name") {
        if (a.empty()) return Value::text(session_.database_, resultType);
        if (a[0].isNull()) return Value::null(resultType);
        for (const auto& db : engine_.databasesById())
            if (db->dbid() == toInteger(a[0])) return Value::text(db->name(), resultType);
        return Value::null(resultType);
    }
    if (f == "db_id") {
        auto db = a.empty() ? currentDatabase() : engine_.database(textOf(a[0]));
        return db ? Value::integer(db->dbid(), TypeId::SmallInt) : Value::null(SqlType::of(TypeId::SmallInt));
    }
    if (f == "user_name" || f == "suser_sname" || f == "suser_name") {
        if (f == "user_name" && !a.empty()) {
            int64_t uid = toInteger(a[0]);
            if (uid == 1) return Value::text("dbo", resultType);
            if (uid == 0) return Value::text("public", resultType);
            if (uid == 2) return Value::text("guest", resultType);
            return Value::null(resultType);
        }
        return Value::text(f == "user_name" ? "dbo" : session_.login_.login, resultType);
    }
    if (f == "host_name") return Value::text(session_.login_.host, resultType);
    if (f == "app_name") return Value::text(session_.login_.program, resultType);

    if (f == "serverproperty") {
        std::string property = toLower(textOf(a[0]));
        if (property == "collation") return Value::nvarchar("Chinese_PRC_CI_AS");
        if (property == "productversion") return Value::nvarchar(engine_.version().productVersion());
        if (property == "productlevel") return Value::nvarchar(engine_.version().productLevel());
        if (property == "edition") return Value::nvarchar(engine_.version().edition());
        if (property == "servername" || property == "machinename") return Value::nvarchar(engine_.serverName());
        return Value::null(resultType);
    }
    return std::nullopt;
}

// Names and ids of objects, types, columns and index keys.
std::optional<Value> Executor::evalCatalogFunction(const FunctionCall& call) {
    const std::string& f = call.expr.name;
    const std::vector<Value>& a = call.args;
    const SqlType& resultType = call.type;
    auto anyNull = [&](size_t count) { return call.anyNull(count); };
    if (f == "object_id") {
        if (a[0].isNull()) return Value::null(resultType);
        auto id = objectIdOf(textOf(a[0]));
        return id ? Value::integer(*id) : Value::null(resultType);
    }
    if (f == "object_name") {
        if (a[0].isNull()) return Value::null(resultType);
        auto db = currentDatabase();
        int id = static_cast<int>(toInteger(a[0]));
        if (SchemaObject* o = db->objectById(id)) return Value::text(o->name, resultType);
        for (const auto& [key, table] : session_.tempTables_)
            if (table->id == id) return Value::text(table->name, resultType);
        auto system = Catalog::systemTable(engine_, *db, "sysobjects");
        for (const Row& row : system->allRows())
            if (row[1].asInt() == id) return Value::text(row[0].asText(), resultType);
        return Value::null(resultType);
    }
    if (f == "type_name") {
        if (a[0].isNull()) return Value::null(resultType);
        int64_t id = toInteger(a[0]);
        if (id == 256) return Value::text("sysname", resultType);
        if (std::optional<NewerType> newer = newerTypeFromXtype(static_cast<int>(id)); newer && engine_.version().since2005())
            return Value::text(std::string(newerTypeName(*newer)), resultType);
        auto type = typeIdFromXtype(static_cast<int>(id));
        return type ? Value::text(std::string(typeName(*type)), resultType) : Value::null(resultType);
    }
    if (f == "col_name") {
        if (anyNull(2)) return Value::null(resultType);
        const std::vector<Column>* columns = columnsOfObject(static_cast<int>(toInteger(a[0])));
        int64_t colid = toInteger(a[1]);
        if (!columns || colid < 1 || colid > static_cast<int64_t>(columns->size())) return Value::null(resultType);
        return Value::text((*columns)[colid - 1].name, resultType);
    }
    if (f == "schema_id" || f == "schema_name" || f == "object_schema_name") return evalSchemaFunction(call);
    if (f == "index_col") {
        if (anyNull(3)) return Value::null(resultType);
        auto table = tableNamed(textOf(a[0]));
        if (!table) return Value::null(resultType);
        int64_t indid = toInteger(a[1]), keyno = toInteger(a[2]);
        for (const Index& index : table->indexes)
            if (index.indid == indid && keyno >= 1 && keyno <= static_cast<int64_t>(index.keys.size()))
                return Value::text(table->columns[index.keys[keyno - 1].first].name, resultType);
        return Value::null(resultType);
    }
    return std::nullopt;
}

// Text functions; results keep the varchar or nvarchar kind of their argument.
std::optional<Value> Executor::evalStringFunction(const FunctionCall& call) {
    const std::string& f = call.expr.name;
    const std::vector<Value>& a = call.args;
    const SqlType& resultType = call.type;
    auto anyNull = [&](size_t count) { return call.anyNull(count); };
    if (f == "len") {
        if (a[0].isNull()) return Value::null(resultType);
        return Value::integer(static_cast<int64_t>(characterCount(trimRightBlanks(textOf(a[0])))));
    }
    if (f == "datalength") {
        if (a[0].isNull()) return Value::null(resultType);
        const Value& v = a[0];
        if (std::holds_alternative<std::string>(v.storage()))
            return Value::integer(static_cast<int64_t>(isUnicode(v.type().id) ? utf8ToUtf16le(v.asText()).size()
                                                                                : utf8ToCp936(v.asText()).size()));
        if (std::holds_alternative<Bytes>(v.storage())) return Value::integer(static_cast<int64_t>(v.asBytes().size()));
        if (v.type().id == TypeId::Decimal || v.type().id == TypeId::Numeric) return Value::integer(decimalStorageBytes(v.type().precision));
        return Value::integer(SqlType::of(v.type().id).length);
    }
    if (f == "space") {
        if (a[0].isNull() || toInteger(a[0]) < 0) return Value::null(resultType);
        return Value::text(std::string(static_cast<size_t>(std::min<int64_t>(toInteger(a[0]), 8000)), ' '),
                           varchar(static_cast<int>(std::max<int64_t>(1, std::min<int64_t>(toInteger(a[0]), 8000)))));
    }
    if (f == "left" || f == "right") {
        if (anyNull(2)) return Value::null(resultType);
        int64_t n = toInteger(a[1]);
        if (n < 0) throw invalidLength(f);
        std::string text = textOf(a[0]);
        size_t count = characterCount(text);
        size_t take = std::min<size_t>(static_cast<size_t>(n), count);
        return textLike(a[0], f == "left" ? utf8Substring(text, 0, take) : utf8Substring(text, count - take, take));
    }
    if (f == "substring") {
        if (anyNull(3)) return Value::null(resultType);
        int64_t start = toInteger(a[1]), length = toInteger(a[2]);
        if (length < 0) throw invalidLength(f);
        int64_t from = std::max<int64_t>(start, 1);
        int64_t to = start + length;  // exclusive, 1-based
        std::string text = textOf(a[0]);
        if (to <= from) return textLike(a[0], "");
        return textLike(a[0], utf8Substring(text, static_cast<size_t>(from - 1), static_cast<size_t>(to - from)));
    }
    if (f == "ltrim" || f == "rtrim") {
        if (a[0].isNull()) return Value::null(resultType);
        std::string text = textOf(a[0]);
        if (f == "rtrim") text = std::string(trimRightBlanks(text));
        else text = text.substr(std::min(text.find_first_not_of(' '), text.size()));
        return textLike(a[0], text);
    }
    if (f == "upper" || f == "lower") {
        if (a[0].isNull()) return Value::null(resultType);
        return textLike(a[0], f == "upper" ? toUpper(textOf(a[0])) : toLower(textOf(a[0])));
    }
    if (f == "replace") {
        if (anyNull(3)) return Value::null(resultType);
        std::string text = textOf(a[0]), from = textOf(a[1]), to = textOf(a[2]);
        if (from.empty()) return textLike(a[0], text);
        std::string out;
        std::string lowerText = toLower(text), lowerFrom = toLower(from);
        size_t at = 0;
        for (size_t hit; (hit = lowerText.find(lowerFrom, at)) != std::string::npos; at = hit + from.size())
            out += text.substr(at, hit - at) + to;
        out += text.substr(at);
        return textLike(isUnicode(a[0].type().id) || isUnicode(a[2].type().id) ? a[2].type().id == TypeId::NVarChar ? a[2] : a[0] : a[0], out);
    }
    if (f == "charindex") {
        if (anyNull(2)) return Value::null(resultType);
        std::string needle = toLower(textOf(a[0])), haystack = toLower(textOf(a[1]));
        size_t startChar = a.size() > 2 && !a[2].isNull() ? static_cast<size_t>(std::max<int64_t>(1, toInteger(a[2])) - 1) : 0;
        std::string prefix = utf8Substring(haystack, 0, startChar);
        size_t found = haystack.find(needle, prefix.size());
        if (needle.empty() || found == std::string::npos) return Value::integer(0);
        return Value::integer(static_cast<int64_t>(characterCount(haystack.substr(0, found)) + 1));
    }
    if (f == "replicate") {
        if (anyNull(2) || toInteger(a[1]) < 0) return Value::null(resultType);
        std::string unit = textOf(a[0]), out;
        // No more copies than the longest result holds: 8,000 characters of up to 4 bytes each.
        constexpr size_t kEnough = 4 * 8000;
        for (int64_t i = 0; i < toInteger(a[1]) && out.size() <= kEnough && !unit.empty(); ++i) out += unit;
        return textLike(a[0], out);
    }
    if (f == "char" || f == "nchar") {
        if (a.empty() || a[0].isNull()) return Value::null(resultType);
        int64_t code = toInteger(a[0]);
        if (code < 0 || code > 255) return Value::null(resultType);
        std::string text(1, static_cast<char>(code));
        if (code >= 0x80) text = cp936ToUtf8(reinterpret_cast<const uint8_t*>(text.data()), 1);
        return Value::text(text, resultType);
    }
    if (f == "ascii" || f == "unicode") {
        if (a.empty() || a[0].isNull() || textOf(a[0]).empty()) return Value::null(resultType);
        return Value::integer(static_cast<unsigned char>(textOf(a[0])[0]));
    }
    if (f == "quotename") {
        // [name] by default; the second argument may ask for "name" or 'name'. The closing
        // character is doubled inside; longer names than sysname's 128 characters give NULL.
        if (anyNull(2) || characterCount(textOf(a[0])) > 128) return Value::null(resultType);
        std::string quote = a.size() > 1 ? textOf(a[1]) : "[";
        if (quote != "[" && quote != "]" && quote != "\"" && quote != "'") return Value::null(resultType);
        char close = quote == "[" || quote == "]" ? ']' : quote[0];
        std::string out(1, close == ']' ? '[' : close);
        for (char c : textOf(a[0])) {
            out += c;
            if (c == close) out += close;
        }
        return Value::text(out + close, resultType);
    }
    return std::nullopt;
}

// Numbers.
std::optional<Value> Executor::evalNumberFunction(const FunctionCall& call) {
    const std::string& f = call.expr.name;
    const std::vector<Value>& a = call.args;
    if (f == "abs") {
        if (a[0].isNull()) return a[0];
        return compareValues(a[0], Value::integer(0)) < 0 ? negate(a[0]) : a[0];
    }
    if (f == "isnumeric") {
        if (a[0].isNull()) return Value::integer(0);
        try { convertValue(a[0], SqlType::of(TypeId::Float)); return Value::integer(1); }
        catch (const SqlError&) { return Value::integer(0); }
    }
    return std::nullopt;
}

// Dates: YEAR, MONTH, DAY and the functions that take a date part.
std::optional<Value> Executor::evalDateFunction(const FunctionCall& call) {
    const std::string& f = call.expr.name;
    const std::vector<Value>& a = call.args;
    const SqlType& resultType = call.type;
    auto dateArgument = [&](size_t i) { return convertValue(a[i], SqlType::of(TypeId::DateTime)).asDateTime(); };
    if (f == "year" || f == "month" || f == "day") {
        if (a[0].isNull()) return Value::null(resultType);
        DatePart part = f == "year" ? DatePart::Year : f == "month" ? DatePart::Month : DatePart::Day;
        return Value::integer(datePart(part, dateArgument(0)));
    }
    if (!sql::takesDatePart(f)) return std::nullopt;
    if (call.expr.args[0]->name != "datepart")  // from text kept by an earlier version
        throw SqlError(1023, 15, 1, "Invalid parameter 1 specified for " + f + ".");
    auto part = static_cast<DatePart>(a[0].asInt());
    if (call.anyNull(a.size())) return Value::null(resultType);
    if (f == "datepart") return Value::integer(datePart(part, dateArgument(1)));
    if (f == "datename") return Value::text(dateName(part, dateArgument(1)), resultType);
    if (f == "datediff") return Value::integer(dateDiff(part, dateArgument(1), dateArgument(2)));
    int64_t amount = convertValue(a[1], SqlType::of(TypeId::Int)).asInt();
    TypeId result = a[2].type().id == TypeId::SmallDateTime ? TypeId::SmallDateTime : TypeId::DateTime;
    return convertValue(Value::dateTime(dateAdd(part, amount, dateArgument(2))), SqlType::of(result));
}

Value Executor::evalFunction(const Expr& e, const Frame& frame) {
    if (e.name == "textptr" && !isUserFunctionCall(e)) return evalTextPointer(e, frame);
    std::vector<Value> arguments;
    arguments.reserve(e.args.size());
    for (const auto& arg : e.args) arguments.push_back(eval(*arg, frame));
    if (isUserFunctionCall(e)) {
        SchemaObject* user = userFunction(e.names, {"FN"});
        if (!user) throw errors::unknownFunction(e.name);
        return callScalarFunction(*user, arguments);
    }
    FunctionCall call{e, arguments, functionType(e, frame.scope)};
    for (auto group : {&Executor::evalNullFunction, &Executor::evalSessionFunction, &Executor::evalCatalogFunction,
                       &Executor::evalStringFunction, &Executor::evalNumberFunction, &Executor::evalDateFunction,
                       &Executor::evalVariantFunction, &Executor::evalPropertyFunction})
        if (std::optional<Value> result = (this->*group)(call)) return std::move(*result);
    throw errors::unknownFunction(e.name);
}

// The columns of a table, temporary table, view or table function, by object id.
const std::vector<Column>* Executor::columnsOfObject(int id) {
    auto db = currentDatabase();
    using Tables = std::map<std::string, std::shared_ptr<Table>>;
    for (const Tables* tables : {&db->tables(), const_cast<const Tables*>(&session_.tempTables_)})
        for (const auto& [key, table] : *tables)
            if (table->id == id) return &table->columns;
    const SchemaObject* object = db->objectById(id);
    return object && !object->columns.empty() ? &object->columns : nullptr;
}


}  // namespace sandbox
