#include "engine/catalog.hpp"

#include "engine/collations.hpp"
#include "engine/constraint_names.hpp"
#include "engine/convert.hpp"
#include "engine/engine.hpp"
#include "engine/references.hpp"

#include <algorithm>
#include <functional>
#include <map>
#include <mutex>
#include <unordered_map>

namespace sandbox {

// The catalogue tables of one database as last built, each with what it was built from: the
// schema stamp, and for sysindexes the tables' row counts too. Readers of every session share
// them; the first reader after a change builds them again.
class CatalogCache {
public:
    using Build = std::function<Relation()>;

    Relation get(const std::string& table, const Database& db, const Build& build) {
        std::lock_guard guard(mutex_);
        Entry& entry = entries_[table];
        if (!entry.rows || entry.stamp != db.schemaStamp() || !sameCounts(entry)) {
            Relation built = build();
            entry = {db.schemaStamp(), table == "sysindexes" ? counts(db) : Counts{}, built.columns,
                     std::make_shared<SharedRows>(std::move(built.owned))};
        }
        return sharedRelation(entry.columns, entry.rows, table);
    }

private:
    // The tables as they stood, with their row counts. The pointers are read only while the
    // stamp is unchanged, that is while no table was dropped.
    using Counts = std::vector<std::pair<const Table*, size_t>>;
    struct Entry {
        uint64_t stamp = 0;
        Counts counts;
        std::vector<RelColumn> columns;
        std::shared_ptr<const SharedRows> rows;
    };
    static Counts counts(const Database& db) {
        Counts all;
        for (const auto& [key, table] : db.tables()) all.emplace_back(table.get(), table->rows.size());
        return all;
    }
    static bool sameCounts(const Entry& entry) {
        return std::all_of(entry.counts.begin(), entry.counts.end(),
                           [](const auto& c) { return c.first->rows.size() == c.second; });
    }

    std::mutex mutex_;
    std::map<std::string, Entry> entries_;
};

std::shared_ptr<CatalogCache> makeCatalogCache() { return std::make_shared<CatalogCache>(); }

namespace {

constexpr int kDboUid = 1;
const char* const kSystemTables[] = {
    "sysobjects", "sysindexes", "syscolumns", "systypes", "syscomments", "sysfiles1", "syspermissions",
    "sysusers", "sysproperties", "sysdepends", "sysreferences", "sysfulltextcatalogs", "sysindexkeys",
    "sysforeignkeys", "sysmembers", "sysprotects", "sysfulltextnotify", "sysfiles", "sysfilegroups"};
const char* const kMasterTables[] = {"sysdatabases", "sysprocesses", "spt_values"};

Value i(int64_t v) { return Value::integer(v); }
Value s(std::string v) { return Value::nvarchar(std::move(v)); }
Value nul() { return Value(); }
Value dt(DateTime d) { return Value::dateTime(d); }

// Converts every value to its column's type, so builders can write plain numbers and text.
void conform(Relation& relation) {
    for (Row& row : relation.owned)
        for (size_t c = 0; c < relation.columns.size(); ++c)
            row[c] = convertValue(row[c], relation.columns[c].type);
}

int systemTableId(std::string_view name) {
    for (size_t k = 0; k < std::size(kSystemTables); ++k)
        if (name == kSystemTables[k]) return static_cast<int>(k) + 1;
    return 0;
}

std::string oldKeyType(const std::string& xtype) { return xtype == "PK" || xtype == "UQ" ? "K" : xtype; }

int sysstatOf(const std::string& xtype) {
    if (xtype == "U") return 3;
    if (xtype == "S") return 1;
    if (xtype == "V") return 2;
    if (xtype == "P") return 4;
    if (xtype == "TR") return 8;
    if (xtype == "D") return 6;
    if (xtype == "PK" || xtype == "UQ") return 9;
    if (xtype == "F") return 11;
    return 0;
}

// The tables of a database by object id, for builders that look tables up row by row.
using TablesById = std::unordered_map<int, const Table*>;

TablesById tablesById(const Database& db) {
    TablesById byId;
    byId.reserve(db.tables().size());
    for (const auto& [key, table] : db.tables()) byId.emplace(table->id, table.get());
    return byId;
}

const Table* tableWithId(const TablesById& tables, int id) {
    auto found = tables.find(id);
    return found == tables.end() ? nullptr : found->second;
}

// sysobjects.status of a constraint: 0x4 for a name the server made, 0x10 or 0x20 for a key
// kept in a clustered or a nonclustered index.
int constraintStatus(const TablesById& tables, const SchemaObject& o) {
    if (o.xtype != "PK" && o.xtype != "UQ" && o.xtype != "F" && o.xtype != "C" && o.xtype != "D") return 0;
    int status = isGeneratedConstraintName(o.name, o.id) ? 0x4 : 0;
    if (o.xtype == "PK" || o.xtype == "UQ")
        if (const Table* table = tableWithId(tables, o.parentId))
            for (const Index& index : table->indexes)
                if (compareCollated(index.name, o.name) == 0) status |= index.indid == 1 ? 0x10 : 0x20;
    return status;
}

// The foreign key that a sysobjects row of xtype F stands for.
const ForeignKey* foreignKeyOf(const TablesById& tables, const SchemaObject& o) {
    const Table* table = o.xtype == "F" ? tableWithId(tables, o.parentId) : nullptr;
    if (!table) return nullptr;
    for (const ForeignKey& key : table->foreignKeys)
        if (key.id == o.id) return &key;
    return nullptr;
}

Relation sysobjects(Engine&, Database& db) {
    Relation r;
    r.columns = describeColumns({{"name", "sysname"}, {"id", "int"}, {"xtype", "char(2)"}, {"uid", "smallint"},
                                 {"info", "smallint"}, {"status", "int"}, {"base_schema_ver", "int"},
                                 {"replinfo", "int"}, {"parent_obj", "int"}, {"crdate", "datetime"},
                                 {"ftcatid", "smallint"}, {"schema_ver", "int"}, {"stats_schema_ver", "int"},
                                 {"type", "char(2)"}, {"userstat", "smallint"}, {"sysstat", "smallint"},
                                 {"indexdel", "smallint"}, {"refdate", "datetime"}, {"version", "int"},
                                 {"deltrig", "int"}, {"instrig", "int"}, {"updtrig", "int"}, {"seltrig", "int"},
                                 {"category", "int"}, {"cache", "smallint"}});
    auto add = [&](const std::string& name, int id, const std::string& xtype, int uid, int info, int status, int parent,
                   DateTime created) {
        r.owned.push_back({s(name), i(id), s(xtype), i(uid), i(info), i(status), i(0), i(0), i(parent),
                           dt(created), i(0), i(0), i(0), s(oldKeyType(xtype)), i(xtype == "U" ? 1 : 0),
                           i(sysstatOf(xtype)), i(0), dt(created), i(0), i(0), i(0), i(0), i(0), i(0), i(0)});
    };
    for (const char* name : kSystemTables) add(name, systemTableId(name), "S", kDboUid, 0, -1073741823, 0, db.created());
    TablesById tables = tablesById(db);
    for (const auto& o : db.objects())
        add(o.name, o.id, o.xtype, o.schemaId, o.info, constraintStatus(tables, o), o.parentId, o.created);
    conform(r);
    return r;
}

int oldStorageType(const SqlType& t, bool nullable) {
    switch (t.id) {
        case TypeId::TinyInt: case TypeId::SmallInt: case TypeId::Int: return nullable ? 38 : xtypeOf(t.id);
        case TypeId::BigInt: return 63;
        case TypeId::Bit: return 50;
        case TypeId::Decimal: return nullable ? 106 : 55;
        case TypeId::Numeric: return nullable ? 108 : 63;
        case TypeId::Money: case TypeId::SmallMoney: return nullable ? 110 : xtypeOf(t.id);
        case TypeId::Float: case TypeId::Real: return nullable ? 109 : xtypeOf(t.id);
        case TypeId::DateTime: case TypeId::SmallDateTime: return nullable ? 111 : xtypeOf(t.id);
        case TypeId::Char: case TypeId::NChar: return nullable ? 39 : 47;
        case TypeId::VarChar: case TypeId::NVarChar: case TypeId::SqlVariant: return 39;
        case TypeId::Binary: return nullable ? 37 : 45;
        case TypeId::VarBinary: case TypeId::UniqueIdentifier: return 37;
        case TypeId::Timestamp: return 45;
        case TypeId::Text: case TypeId::NText: return 35;
        case TypeId::Image: return 34;
    }
    return 0;
}

// Precision and scale as syscolumns reports them (NULL where the catalogue has none).
std::pair<Value, Value> precisionScale(const SqlType& t) {
    switch (t.id) {
        case TypeId::TinyInt: return {i(3), i(0)};
        case TypeId::SmallInt: return {i(5), i(0)};
        case TypeId::Int: return {i(10), i(0)};
        case TypeId::BigInt: return {i(19), i(0)};
        case TypeId::Bit: return {i(1), nul()};
        case TypeId::Decimal: case TypeId::Numeric: return {i(t.precision), i(t.scale)};
        case TypeId::Money: return {i(19), i(4)};
        case TypeId::SmallMoney: return {i(10), i(4)};
        case TypeId::Float: return {i(53), nul()};
        case TypeId::Real: return {i(24), nul()};
        case TypeId::DateTime: return {i(23), i(3)};
        case TypeId::SmallDateTime: return {i(16), i(0)};
        case TypeId::UniqueIdentifier: case TypeId::SqlVariant: return {i(0), nul()};
        case TypeId::Timestamp: return {i(8), nul()};
        case TypeId::Text: case TypeId::NText: case TypeId::Image: return {nul(), nul()};
        default: return {i(declaredLength(t)), nul()};
    }
}

// syscolumns.prec and scale of a newer type: -1 and none for the (max) types and xml; the
// longest literal's characters and the fraction digits for the dates and times.
std::pair<Value, Value> newerPrecisionScale(const SqlType& t) {
    if (!isNewerDateTime(t.newer)) return {i(-1), nul()};
    return {i(newerLiteralLength(t.newer, t.scale)), i(t.newer == NewerType::Date ? 0 : t.scale)};
}

int usertypeOf(const SqlType& t) {
    static const std::pair<TypeId, int> table[] = {
        {TypeId::Bit, 16}, {TypeId::TinyInt, 5}, {TypeId::SmallInt, 6}, {TypeId::Int, 7}, {TypeId::Decimal, 24},
        {TypeId::Numeric, 10}, {TypeId::Money, 11}, {TypeId::SmallMoney, 21}, {TypeId::Float, 8},
        {TypeId::Real, 23}, {TypeId::DateTime, 12}, {TypeId::SmallDateTime, 22}, {TypeId::Char, 1},
        {TypeId::VarChar, 2}, {TypeId::Binary, 3}, {TypeId::VarBinary, 4}, {TypeId::Timestamp, 80},
        {TypeId::Text, 19}, {TypeId::Image, 20}};
    if (t.isSysname) return 18;
    for (auto [id, user] : table)
        if (id == t.id) return user;
    return 0;
}

void addColumnRows(Relation& r, int objectId, const std::vector<Column>& columns) {
    for (size_t k = 0; k < columns.size(); ++k) {
        const Column& c = columns[k];
        auto [prec, scale] = c.type.newer == NewerType::None ? precisionScale(c.type) : newerPrecisionScale(c.type);
        const bool newer = c.type.newer != NewerType::None;  // its own length; dates and xml have no collation
        bool chars = isCharacter(c.type.id) && !isNewerDateTime(c.type.newer) && c.type.newer != NewerType::Xml;
        int status = (c.nullable ? 0x08 : 0) | (c.identity ? 0x80 : 0) |
                     ((c.type.id == TypeId::VarChar || c.type.id == TypeId::VarBinary || isUnicode(c.type.id)) ? 0x10 : 0);
        std::optional<Collation> collation;
        if (chars) collation = c.collation.empty() ? databaseCollation() : findCollation(c.collation);
        Value tdsCollation = Value::binary(collation ? collation->tds : Bytes(5, 0), SqlType::chars(TypeId::Binary, 5));
        int typestat = (chars ? 2 : 0) | (c.nullable ? 0 : 1);
        bool hasXprec = isNumeric(c.type.id) || isDateTime(c.type.id) || isNewerDateTime(c.type.newer);
        int64_t xprec = hasXprec && !prec.isNull() ? prec.asInt() : 0;
        int64_t xscale = hasXprec && !scale.isNull() ? scale.asInt() : 0;
        int colid = static_cast<int>(k) + 1;
        const int length = newer ? newerStorageLength(c.type) : isLargeObject(c.type.id) ? 16 : c.type.length;
        r.owned.push_back({s(c.name), i(objectId), i(catalogXtype(c.type)), i(typestat), i(Catalog::xusertypeOf(c.type)),
                           i(length), i(xprec), i(xscale), i(colid), i(0), i(0), i(0), i(c.identity ? 1 : 0),
                           i(c.defaultId), i(0), i(0), i(colid), nul(), i(0), collation ? i(collation->id) : nul(), i(0),
                           i(status), i(oldStorageType(c.type, c.nullable)), i(usertypeOf(c.type)), nul(), prec,
                           scale, i(0), i(0), i(c.nullable ? 1 : 0),
                           collation ? s(collation->name) : nul(), tdsCollation});
    }
}

Relation syscolumns(Engine&, Database& db) {
    Relation r;
    r.columns = describeColumns({{"name", "sysname"}, {"id", "int"}, {"xtype", "tinyint"}, {"typestat", "tinyint"},
                                 {"xusertype", "smallint"}, {"length", "smallint"}, {"xprec", "tinyint"},
                                 {"xscale", "tinyint"}, {"colid", "smallint"}, {"xoffset", "smallint"},
                                 {"bitpos", "tinyint"}, {"reserved", "tinyint"}, {"colstat", "smallint"},
                                 {"cdefault", "int"}, {"domain", "int"}, {"number", "smallint"},
                                 {"colorder", "smallint"}, {"autoval", "varbinary(255)"}, {"offset", "smallint"},
                                 {"collationid", "int"}, {"language", "int"}, {"status", "tinyint"},
                                 {"type", "tinyint"}, {"usertype", "smallint"}, {"printfmt", "varchar(255)"},
                                 {"prec", "smallint"}, {"scale", "int"}, {"iscomputed", "int"},
                                 {"isoutparam", "int"}, {"isnullable", "int"}, {"collation", "sysname"},
                                 {"tdscollation", "binary(5)"}});
    for (const auto& [key, table] : db.tables()) addColumnRows(r, table->id, table->columns);
    for (const auto& o : db.objects()) {
        if (!o.module) continue;
        if (!o.columns.empty()) {
            addColumnRows(r, o.id, o.columns);
            continue;
        }
        std::vector<Column> parameters;
        for (const auto& [name, spec] : o.module->parameters) {
            Column c;
            c.name = name;
            c.type = parseTypeText(spec.name + (spec.arguments.empty() ? "" : "(" + std::to_string(spec.arguments[0]) +
                                                 (spec.arguments.size() > 1 ? "," + std::to_string(spec.arguments[1]) : "") + ")"));
            parameters.push_back(c);
        }
        addColumnRows(r, o.id, parameters);
    }
    conform(r);
    return r;
}

struct TypeRow {
    const char* name;
    int xtype, xusertype, length, xprec, xscale, usertype, type;
    bool variable, allownulls;
};

constexpr TypeRow kTypeRows[] = {
    {"image", 34, 34, 16, 0, 0, 20, 34, false, true},
    {"text", 35, 35, 16, 0, 0, 19, 35, false, true},
    {"uniqueidentifier", 36, 36, 16, 0, 0, 0, 37, false, true},
    {"tinyint", 48, 48, 1, 3, 0, 5, 48, false, true},
    {"smallint", 52, 52, 2, 5, 0, 6, 52, false, true},
    {"int", 56, 56, 4, 10, 0, 7, 56, false, true},
    {"smalldatetime", 58, 58, 4, 16, 0, 22, 58, false, true},
    {"real", 59, 59, 4, 24, 0, 23, 59, false, true},
    {"money", 60, 60, 8, 19, 4, 11, 60, false, true},
    {"datetime", 61, 61, 8, 23, 3, 12, 61, false, true},
    {"float", 62, 62, 8, 53, 0, 8, 62, false, true},
    {"sql_variant", 98, 98, 8016, 0, 0, 0, 39, false, true},
    {"ntext", 99, 99, 16, 0, 0, 0, 35, false, true},
    {"bit", 104, 104, 1, 1, 0, 16, 50, false, true},
    {"decimal", 106, 106, 17, 38, 38, 24, 55, false, true},
    {"numeric", 108, 108, 17, 38, 38, 10, 63, false, true},
    {"smallmoney", 122, 122, 4, 10, 4, 21, 122, false, true},
    {"bigint", 127, 127, 8, 19, 0, 0, 63, false, true},
    {"varbinary", 165, 165, 8000, 0, 0, 4, 37, true, true},
    {"varchar", 167, 167, 8000, 0, 0, 2, 39, true, true},
    {"binary", 173, 173, 8000, 0, 0, 3, 45, false, true},
    {"char", 175, 175, 8000, 0, 0, 1, 47, false, true},
    {"timestamp", 189, 189, 8, 0, 0, 80, 45, false, false},
    {"nvarchar", 231, 231, 8000, 0, 0, 0, 39, true, true},
    {"nchar", 239, 239, 8000, 0, 0, 0, 47, false, true},
    {"sysname", 231, 256, 256, 0, 0, 18, 39, true, false},
};

Relation systypes(Engine& engine, Database&) {
    Relation r;
    r.columns = describeColumns({{"name", "sysname"}, {"xtype", "tinyint"}, {"status", "tinyint"},
                                 {"xusertype", "smallint"}, {"length", "smallint"}, {"xprec", "tinyint"},
                                 {"xscale", "tinyint"}, {"tdefault", "int"}, {"domain", "int"}, {"uid", "smallint"},
                                 {"reserved", "smallint"}, {"collationid", "int"}, {"usertype", "smallint"},
                                 {"variable", "bit"}, {"allownulls", "bit"}, {"type", "tinyint"},
                                 {"printfmt", "varchar(255)"}, {"prec", "smallint"}, {"scale", "tinyint"},
                                 {"collation", "sysname"}});
    // The built-in types belong to dbo under SQL Server 2000, to the schema sys from 2005 on.
    const int typesUid = engine.version().since2005() ? 4 : kDboUid;
    for (const auto& t : kTypeRows) {
        bool chars = t.xtype == 35 || t.xtype == 99 || t.xtype == 167 || t.xtype == 175 || t.xtype == 231 || t.xtype == 239;
        SqlType type = std::string_view(t.name) == "sysname" ? SqlType::sysname() : parseTypeText(t.name);
        auto [prec, scale] = precisionScale(type);
        if (t.xtype == 106 || t.xtype == 108) { prec = i(38); scale = i(38); }
        if (t.xtype == 36) prec = i(16);
        if (t.xtype == 165 || t.xtype == 167 || t.xtype == 173 || t.xtype == 175) prec = i(8000);
        if (t.xtype == 231 && t.xusertype == 231) prec = i(4000);
        if (t.xtype == 239) prec = i(4000);
        if (std::string_view(t.name) == "sysname") prec = i(128);
        bool status1 = t.xtype == 189 || t.xusertype == 256;
        r.owned.push_back({s(t.name), i(t.xtype), i(status1 ? 1 : 0), i(t.xusertype), i(t.length), i(t.xprec),
                           i(t.xscale), i(0), i(0), i(typesUid), i(0), chars ? i(53284) : nul(), i(t.usertype),
                           Value::bit(t.variable), Value::bit(t.allownulls), i(t.type), nul(), prec, scale,
                           chars ? s("Chinese_PRC_CI_AS") : nul()});
    }
    // The types SQL Server 2005 and 2008 added, at their widest (seven fraction digits), as
    // sys.types has them: length the storage bytes (-1 for xml), prec the longest literal.
    if (engine.version().since2005())
        for (NewerType kind : {NewerType::Xml, NewerType::Date, NewerType::Time, NewerType::DateTime2, NewerType::DateTimeOffset}) {
            SqlType type = SqlType::newerType(kind, 7);
            auto [prec, scale] = newerPrecisionScale(type);
            const int xtype = catalogXtype(type);
            const int64_t xprec = prec.asInt() < 0 ? 0 : prec.asInt();
            const int64_t xscale = scale.isNull() ? 0 : scale.asInt();
            r.owned.push_back({s(std::string(newerTypeName(kind))), i(xtype), i(0), i(xtype), i(newerStorageLength(type)),
                               i(xprec), i(xscale), i(0), i(0), i(typesUid), i(0), nul(), i(0), Value::bit(kind == NewerType::Xml),
                               Value::bit(true), i(xtype), nul(), prec, scale.isNull() ? i(0) : scale, nul()});
        }
    conform(r);
    return r;
}

Relation syscomments(Engine&, Database& db) {
    Relation r;
    r.columns = describeColumns({{"id", "int"}, {"number", "smallint"}, {"colid", "smallint"}, {"status", "smallint"},
                                 {"ctext", "varbinary(8000)"}, {"texttype", "smallint"}, {"language", "smallint"},
                                 {"encrypted", "bit"}, {"compressed", "bit"}, {"text", "nvarchar(4000)"}});
    constexpr size_t kChunk = 4000;
    for (const auto& o : db.objects()) {
        if (o.text.empty()) continue;
        size_t total = characterCount(o.text);
        int number = o.xtype == "P" ? 1 : 0;
        for (size_t at = 0, colid = 1; at < total; at += kChunk, ++colid) {
            std::string chunk = utf8Substring(o.text, at, kChunk);
            Bytes raw = utf8ToUtf16le(chunk);
            r.owned.push_back({i(o.id), i(number), i(static_cast<int64_t>(colid)), i(0),
                               Value::binary(raw, SqlType::chars(TypeId::VarBinary, 8000)), i(2), i(0),
                               Value::bit(false), Value::bit(false), s(chunk)});
        }
    }
    conform(r);
    return r;
}

Relation sysindexes(Engine&, Database& db) {
    Relation r;
    r.columns = describeColumns({{"id", "int"}, {"status", "int"}, {"first", "binary(6)"}, {"indid", "smallint"},
                                 {"root", "binary(6)"}, {"minlen", "smallint"}, {"keycnt", "smallint"},
                                 {"groupid", "smallint"}, {"dpages", "int"}, {"reserved", "int"}, {"used", "int"},
                                 {"rowcnt", "bigint"}, {"rowmodctr", "int"}, {"reserved3", "tinyint"},
                                 {"reserved4", "tinyint"}, {"xmaxlen", "smallint"}, {"maxirow", "smallint"},
                                 {"OrigFillFactor", "tinyint"}, {"StatVersion", "tinyint"}, {"reserved2", "int"},
                                 {"FirstIAM", "binary(6)"}, {"impid", "smallint"}, {"lockflags", "smallint"},
                                 {"pgmodctr", "int"}, {"keys", "varbinary(816)"}, {"name", "sysname"},
                                 {"statblob", "image"}, {"maxlen", "int"}, {"rows", "int"}});
    for (const auto& entry : db.tables()) {
        const auto& table = entry.second;
        auto rows = static_cast<int64_t>(table->rows.size());
        auto add = [&](int indid, int status, const std::string& name, size_t keys) {
            r.owned.push_back({i(table->id), i(status), nul(), i(indid), nul(), i(0), i(static_cast<int64_t>(keys)),
                               i(1), i(0), i(0), i(0), i(rows), i(0), i(0), i(0), i(0), i(0), i(0), i(0), i(0),
                               nul(), i(0), i(0), i(0), nul(), s(name), nul(), i(8000), i(rows)});
        };
        bool clustered = std::any_of(table->indexes.begin(), table->indexes.end(),
                                     [](const Index& x) { return x.indid == 1; });
        if (!clustered) add(0, 0, table->name, 0);
        for (const auto& index : table->indexes) add(index.indid, index.status, index.name, index.keys.size());
    }
    conform(r);
    return r;
}

Relation sysindexkeys(Engine&, Database& db) {
    Relation r;
    r.columns = describeColumns({{"id", "int"}, {"indid", "smallint"}, {"colid", "smallint"}, {"keyno", "smallint"}});
    for (const auto& entry : db.tables())
        for (const auto& index : entry.second->indexes)
            for (size_t k = 0; k < index.keys.size(); ++k)
                r.owned.push_back({i(entry.second->id), i(index.indid), i(static_cast<int64_t>(index.keys[k].first) + 1),
                                   i(static_cast<int64_t>(k) + 1)});
    conform(r);
    return r;
}

// The view sysconstraints: one row per constraint, its status made from sysobjects.status as the
// view's definition makes it.
Relation sysconstraints(Engine&, Database& db) {
    Relation r;
    r.columns = describeColumns({{"constid", "int"}, {"id", "int"}, {"colid", "smallint"}, {"spare1", "tinyint"},
                                 {"status", "int"}, {"actions", "int"}, {"error", "int"}});
    TablesById tables = tablesById(db);
    for (const auto& o : db.objects()) {
        int kind = o.xtype == "PK" ? 1 : o.xtype == "UQ" ? 2 : o.xtype == "F" ? 3 : o.xtype == "C" ? 4 : o.xtype == "D" ? 5 : 0;
        if (kind == 0) continue;
        int bits = constraintStatus(tables, o);
        int status = kind + (o.info > 0 ? 16 : 32) + (bits & 0x10 ? 512 : 0) + (bits & 0x20 ? 1024 : 0) + 2048 +
                     (bits & 0x4 ? 131072 : 0);
        r.owned.push_back({i(o.id), i(o.parentId), i(o.info), i(0), i(status), i(4096), i(0)});
    }
    conform(r);
    return r;
}

// One row per column pair of every foreign key.
Relation sysforeignkeys(Engine&, Database& db) {
    Relation r;
    r.columns = describeColumns({{"constid", "int"}, {"fkeyid", "int"}, {"rkeyid", "int"}, {"fkey", "smallint"},
                                 {"rkey", "smallint"}, {"keyno", "smallint"}});
    TablesById tables = tablesById(db);
    for (const auto& o : db.objects())
        if (const ForeignKey* key = foreignKeyOf(tables, o))
            for (size_t k = 0; k < key->columns.size(); ++k)
                r.owned.push_back({i(key->id), i(o.parentId), i(key->referencedTableId), i(static_cast<int64_t>(key->columns[k]) + 1),
                                   i(static_cast<int64_t>(key->referencedColumns[k]) + 1), i(static_cast<int64_t>(k) + 1)});
    conform(r);
    return r;
}

// The column ids of a key as sysreferences.forkeys and refkeys hold them: 16 little-endian smallints.
Value keyColumnBytes(const std::vector<size_t>& positions) {
    Bytes bytes(32, 0);
    for (size_t k = 0; k < positions.size() && k < 16; ++k) {
        bytes[2 * k] = static_cast<uint8_t>(positions[k] + 1);
        bytes[2 * k + 1] = static_cast<uint8_t>((positions[k] + 1) >> 8);
    }
    return Value::binary(bytes, SqlType::chars(TypeId::Binary, 32));
}

// One row per foreign key, with the index of the referenced key and up to 16 column pairs.
Relation sysreferences(Engine&, Database& db) {
    Relation r;
    std::vector<std::pair<std::string, std::string>> spec = {
        {"constid", "int"}, {"fkeyid", "int"}, {"rkeyid", "int"}, {"rkeyindid", "smallint"}, {"keycnt", "smallint"},
        {"forkeys", "binary(32)"}, {"refkeys", "binary(32)"}, {"fkeydbid", "smallint"}, {"rkeydbid", "smallint"}};
    for (const char* side : {"fkey", "rkey"})
        for (int k = 1; k <= 16; ++k) spec.emplace_back(side + std::to_string(k), "smallint");
    for (const auto& [name, type] : spec) r.columns.push_back({name, parseTypeText(type), false, false});
    TablesById tables = tablesById(db);
    for (const auto& o : db.objects()) {
        const ForeignKey* key = foreignKeyOf(tables, o);
        if (!key) continue;
        int indid = 0;
        if (const Table* referenced = tableWithId(tables, key->referencedTableId))
            if (const Index* index = candidateKey(*referenced, key->referencedColumns)) indid = index->indid;
        Row row{i(key->id), i(o.parentId), i(key->referencedTableId), i(indid), i(static_cast<int64_t>(key->columns.size())),
                keyColumnBytes(key->columns), keyColumnBytes(key->referencedColumns), i(0), i(0)};
        for (const std::vector<size_t>* positions : {&key->columns, &key->referencedColumns})
            for (size_t k = 0; k < 16; ++k) row.push_back(i(k < positions->size() ? static_cast<int64_t>((*positions)[k]) + 1 : 0));
        r.owned.push_back(std::move(row));
    }
    conform(r);
    return r;
}

Relation sysproperties(Engine&, Database& db) {
    Relation r;
    r.columns = describeColumns({{"id", "int"}, {"smallid", "smallint"}, {"type", "tinyint"}, {"name", "sysname"},
                                 {"value", "sql_variant"}});
    for (const auto& p : db.properties) r.owned.push_back({i(p.id), i(p.smallid), i(p.type), s(p.name), p.value});
    conform(r);
    return r;
}

// sys.extended_properties: the properties of objects and columns are class 1.
Relation extendedProperties(Engine&, Database& db) {
    Relation r;
    r.columns = describeColumns({{"class", "tinyint"}, {"class_desc", "nvarchar(60)"}, {"major_id", "int"},
                                 {"minor_id", "int"}, {"name", "sysname"}, {"value", "sql_variant"}});
    for (const auto& p : db.properties)
        r.owned.push_back({i(1), s("OBJECT_OR_COLUMN"), i(p.id), i(p.type == 4 ? p.smallid : 0), s(p.name), p.value});
    conform(r);
    return r;
}

// sys.schemas: those every database of SQL Server 2005 and later has, each owned by the
// principal of the same id, then those CREATE SCHEMA made, owned by dbo.
Relation schemas(Engine&, Database& db) {
    Relation r;
    r.columns = describeColumns({{"name", "sysname"}, {"schema_id", "int"}, {"principal_id", "int"}});
    for (const DatabaseSchema& schema : builtInSchemas()) r.owned.push_back({s(schema.name), i(schema.id), i(schema.id)});
    for (const DatabaseSchema& schema : db.schemas) r.owned.push_back({s(schema.name), i(schema.id), i(kDboUid)});
    conform(r);
    return r;
}

std::string objectTypeDescription(const std::string& xtype) {
    static const std::pair<const char*, const char*> kinds[] = {
        {"U", "USER_TABLE"}, {"V", "VIEW"}, {"P", "SQL_STORED_PROCEDURE"}, {"FN", "SQL_SCALAR_FUNCTION"},
        {"IF", "SQL_INLINE_TABLE_VALUED_FUNCTION"}, {"TF", "SQL_TABLE_VALUED_FUNCTION"}, {"TR", "SQL_TRIGGER"},
        {"PK", "PRIMARY_KEY_CONSTRAINT"}, {"UQ", "UNIQUE_CONSTRAINT"}, {"F", "FOREIGN_KEY_CONSTRAINT"},
        {"C", "CHECK_CONSTRAINT"}, {"D", "DEFAULT_CONSTRAINT"}};
    for (const auto& [type, description] : kinds)
        if (xtype == type) return description;
    return "";
}

// sys.objects: the user's objects (system objects are in sys.system_objects there).
Relation objectsView(Engine&, Database& db) {
    Relation r;
    r.columns = describeColumns({{"name", "sysname"}, {"object_id", "int"}, {"principal_id", "int"},
                                 {"schema_id", "int"}, {"parent_object_id", "int"}, {"type", "char(2)"},
                                 {"type_desc", "nvarchar(60)"}, {"create_date", "datetime"},
                                 {"modify_date", "datetime"}, {"is_ms_shipped", "bit"}});
    for (const auto& o : db.objects())
        r.owned.push_back({s(o.name), i(o.id), nul(), i(o.schemaId), i(o.parentId), s(o.xtype),
                           s(objectTypeDescription(o.xtype)), dt(o.created), dt(o.created), Value::bit(false)});
    conform(r);
    return r;
}

Relation sysdepends(Engine&, Database& db) {
    Relation r;
    r.columns = describeColumns({{"id", "int"}, {"depid", "int"}, {"number", "smallint"}, {"depnumber", "smallint"},
                                 {"status", "smallint"}, {"deptype", "tinyint"}, {"depdbid", "smallint"},
                                 {"depsiteid", "smallint"}, {"selall", "bit"}, {"resultobj", "bit"},
                                 {"readobj", "bit"}});
    for (const auto& d : db.depends) {
        const SchemaObject* owner = db.objectById(d.id);
        int number = owner && owner->xtype == "P" ? 1 : 0;
        int status = (d.readobj ? 8 : 0) | (d.resultobj ? 4 : 0);
        r.owned.push_back({i(d.id), i(d.depid), i(number), i(d.depnumber), i(status), i(0), i(0), i(0),
                           Value::bit(d.selall), Value::bit(d.resultobj), Value::bit(d.readobj)});
    }
    conform(r);
    return r;
}

Relation sysusers(Engine&, Database& db) {
    Relation r;
    r.columns = describeColumns({{"uid", "smallint"}, {"status", "smallint"}, {"name", "sysname"},
                                 {"sid", "varbinary(85)"}, {"roles", "varbinary(2048)"}, {"createdate", "datetime"},
                                 {"updatedate", "datetime"}, {"altuid", "smallint"}, {"password", "varbinary(256)"},
                                 {"gid", "smallint"}, {"environ", "varchar(255)"}, {"hasdbaccess", "int"},
                                 {"islogin", "int"}, {"isntname", "int"}, {"isntgroup", "int"}, {"isntuser", "int"},
                                 {"issqluser", "int"}, {"isaliased", "int"}, {"issqlrole", "int"},
                                 {"isapprole", "int"}});
    struct U { int uid; const char* name; bool role; };
    const U users[] = {{0, "public", true}, {1, "dbo", false}, {2, "guest", false}, {3, "INFORMATION_SCHEMA", false},
                       {4, "system_function_schema", false}, {16384, "db_owner", true},
                       {16385, "db_accessadmin", true}, {16386, "db_securityadmin", true},
                       {16387, "db_ddladmin", true}, {16389, "db_backupoperator", true},
                       {16390, "db_datareader", true}, {16391, "db_datawriter", true},
                       {16392, "db_denydatareader", true}, {16393, "db_denydatawriter", true}};
    for (const auto& u : users) {
        Value sid = u.uid == 1 ? Value::binary({0x01}, SqlType::chars(TypeId::VarBinary, 85)) : nul();
        r.owned.push_back({i(u.uid), i(u.role ? 0 : 2), s(u.name), sid, nul(), dt(db.created()), dt(db.created()),
                           i(0), nul(), i(u.role ? u.uid : 0), nul(), i(u.uid == 1 ? 1 : 0), i(u.uid == 1 ? 1 : 0),
                           i(0), i(0), i(0), i(u.role ? 0 : 1), i(0), i(u.role ? 1 : 0), i(0)});
    }
    conform(r);
    return r;
}

std::string dataPath(const std::string& file) {
    return "C:\\Program Files\\Microsoft SQL Server\\MSSQL\\data\\" + file;
}

Relation sysfiles(Engine&, Database& db) {
    Relation r;
    r.columns = describeColumns({{"fileid", "smallint"}, {"groupid", "smallint"}, {"size", "int"},
                                 {"maxsize", "int"}, {"growth", "int"}, {"status", "int"}, {"perf", "int"},
                                 {"name", "nchar(128)"}, {"filename", "nchar(260)"}});
    std::string base = db.name() == "master" ? "master" : db.name();
    std::string logName = db.name() == "master" ? "mastlog" : db.name() + "_log";
    r.owned.push_back({i(1), i(1), i(128), i(-1), i(10), i(0x100002), i(0), s(base), s(dataPath(base + ".mdf"))});
    r.owned.push_back({i(2), i(0), i(128), i(-1), i(10), i(0x100042), i(0), s(logName),
                       s(dataPath(logName + ".LDF"))});
    conform(r);
    return r;
}

Relation sysdatabasesOf(Engine& engine);
Relation sysprocessesOf(Engine& engine);
Relation sptValuesTable();

Relation sysdatabases(Engine& engine, Database&) { return sysdatabasesOf(engine); }
Relation sysprocesses(Engine& engine, Database&) { return sysprocessesOf(engine); }
Relation sptValues(Engine&, Database&) { return sptValuesTable(); }

using Builder = std::function<Relation(Engine&, Database&)>;

// Tables that follow the whole engine (databases, sessions) rather than one database's schema.
bool followsTheEngine(std::string_view table) { return table == "sysdatabases" || table == "sysprocesses"; }

const std::pair<const char*, Builder> kBuilders[] = {
    {"sysobjects", sysobjects},   {"syscolumns", syscolumns},     {"systypes", systypes},
    {"syscomments", syscomments}, {"sysindexes", sysindexes},     {"sysproperties", sysproperties},
    {"sysdepends", sysdepends},   {"sysusers", sysusers},         {"sysfiles", sysfiles},
    {"sysdatabases", sysdatabases}, {"sysprocesses", sysprocesses}, {"spt_values", sptValues},
    {"sysindexkeys", sysindexkeys}, {"sysconstraints", sysconstraints}, {"sysforeignkeys", sysforeignkeys},
    {"sysreferences", sysreferences},
};

const std::pair<const char*, Builder> kCatalogViews[] = {
    {"extended_properties", extendedProperties},
    {"schemas", schemas},
    {"objects", objectsView},
};

// SQL Server 2005 dropped sysproperties for sys.extended_properties.
bool existsInVersion(std::string_view table, const ServerVersion& version) {
    return !(version.since2005() && compareCollated(table, "sysproperties") == 0);
}

Relation sysdatabasesOf(Engine& engine) {
    Relation r;
    r.columns = describeColumns({{"name", "sysname"}, {"dbid", "smallint"}, {"sid", "varbinary(85)"},
                                 {"mode", "smallint"}, {"status", "int"}, {"status2", "int"}, {"crdate", "datetime"},
                                 {"reserved", "datetime"}, {"category", "int"}, {"cmptlevel", "tinyint"},
                                 {"filename", "nvarchar(260)"}, {"version", "smallint"}});
    std::vector<std::shared_ptr<Database>> all;
    all = engine.databasesById();
    for (const auto& db : all)
        r.owned.push_back({s(db->name()), i(db->dbid()), Value::binary({0x01}, SqlType::chars(TypeId::VarBinary, 85)),
                           i(0), i(db->name() == "tempdb" ? 8 : 24), i(1090519040), dt(db->created()),
                           dt(DateTime{}), i(0), i(80), s(dataPath(db->name() + ".mdf")), i(539)});
    conform(r);
    return r;
}

Relation sysprocessesOf(Engine& engine) {
    Relation r;
    r.columns = describeColumns({{"spid", "smallint"}, {"kpid", "smallint"}, {"blocked", "smallint"},
                                 {"waittype", "binary(2)"}, {"waittime", "int"}, {"lastwaittype", "nchar(32)"},
                                 {"waitresource", "nchar(256)"}, {"dbid", "smallint"}, {"uid", "smallint"},
                                 {"cpu", "int"}, {"physical_io", "int"}, {"memusage", "int"},
                                 {"login_time", "datetime"}, {"last_batch", "datetime"}, {"ecid", "smallint"},
                                 {"open_tran", "smallint"}, {"status", "nchar(30)"}, {"sid", "binary(86)"},
                                 {"hostname", "nchar(128)"}, {"program_name", "nchar(128)"},
                                 {"hostprocess", "nchar(8)"}, {"cmd", "nchar(16)"}, {"nt_domain", "nchar(128)"},
                                 {"nt_username", "nchar(128)"}, {"net_address", "nchar(12)"},
                                 {"net_library", "nchar(12)"}, {"loginame", "nchar(128)"},
                                 {"context_info", "binary(128)"}, {"sql_handle", "binary(20)"},
                                 {"stmt_start", "int"}, {"stmt_end", "int"}});
    for (const SessionInfo& session : engine.liveSessions()) {
        auto db = engine.database(session.database);
        const LoginInfo& login = session.login;
        r.owned.push_back({i(session.spid), i(0), i(0), Value::binary({0, 0}, SqlType::chars(TypeId::Binary, 2)),
                           i(0), s(""), s(""), i(db ? db->dbid() : 1), i(1), i(0), i(0), i(0),
                           dt(session.loginTime), dt(session.loginTime), i(0), i(0), s("sleeping"),
                           Value::binary({0x01}, SqlType::chars(TypeId::Binary, 86)), s(login.host),
                           s(login.program), s(std::to_string(login.hostProcess)), s("AWAITING COMMAND"), s(""),
                           s(""), s("000000000000"), s("TCP/IP"), s(login.login),
                           Value::binary({}, SqlType::chars(TypeId::Binary, 128)),
                           Value::binary({}, SqlType::chars(TypeId::Binary, 20)), i(0), i(0)});
    }
    conform(r);
    return r;
}

Relation sptValuesTable() {
    Relation r;
    r.columns = describeColumns({{"name", "nvarchar(35)"}, {"number", "int"}, {"type", "nchar(3)"},
                                 {"low", "int"}, {"high", "int"}, {"status", "int"}});
    auto add = [&](const char* name, int number, const char* type, Value low = nul(), Value high = nul()) {
        r.owned.push_back({s(name), i(number), s(type), low, high, i(0)});
    };
    add("sysobjects.type, reports", 0, "O9T");
    const char* o9t[] = {"AP: application", "C : check cns", "D : default (maybe cns)", "F : foreign key cns",
                         "FN: scalar function", "IF: inline function", "L : log", "P : stored procedure",
                         "PK: primary key cns", "R : rule", "RF: replication filter proc", "S : system table",
                         "TF: table function", "TR: trigger", "U : user table", "UQ: unique key cns", "V : view",
                         "X : extended stored proc"};
    for (const char* name : o9t) add(name, -1, "O9T", i(0), i(0));
    add("YES OR NO", -1, "B");
    add("no", 0, "B");
    add("yes", 1, "B");
    add("none", 2, "B");
    const std::pair<const char*, int> indexTypes[] = {
        {"INDEX TYPES", 0}, {"nonclustered", 0}, {"ignore duplicate keys", 1}, {"unique", 2},
        {"ignore duplicate rows", 4}, {"clustered", 16}, {"hypothetical", 32}, {"statistics", 64},
        {"primary key", 2048}, {"unique key", 4096}, {"auto create", 8388608}, {"stats no recompute", 16777216}};
    for (auto [name, number] : indexTypes) add(name, number, "I");
    const std::pair<const char*, int> objectTypes[] = {
        {"OBJECT TYPES", 0}, {"system table", 1}, {"view", 2}, {"user table", 3}, {"stored procedure", 4},
        {"default", 6}, {"rule", 7}, {"trigger", 8}, {"replication filter stored procedure", 12}};
    for (auto [name, number] : objectTypes) add(name, number, "O");
    add("SQLSERVER HOST TYPE", 0, "E");
    add("WINDOWS/NT", 1, "E", i(8192), i(0));
    conform(r);
    return r;
}

}  // namespace

std::optional<Relation> Catalog::systemTable(Engine& engine, Database& database, std::string_view name) {
    bool inMaster = database.name() == "master";
    for (const auto& entry : kBuilders) {
        const auto& [tableName, build] = entry;
        if (compareCollated(tableName, name) != 0 || !existsInVersion(tableName, engine.version())) continue;
        bool masterOnly = std::any_of(std::begin(kMasterTables), std::end(kMasterTables),
                                      [&](const char* t) { return compareCollated(t, name) == 0; });
        if (masterOnly && !inMaster) return std::nullopt;
        if (!followsTheEngine(tableName))
            return database.catalogCache().get(tableName, database, [&] { return entry.second(engine, database); });
        Relation r = build(engine, database);
        r.name = tableName;
        r.rows = nullptr;
        return r;
    }
    return std::nullopt;
}

std::optional<Relation> Catalog::catalogView(Engine& engine, Database& database, std::string_view name) {
    if (!engine.version().since2005()) return std::nullopt;
    for (const auto& view : kCatalogViews)
        if (compareCollated(view.first, name) == 0)
            return database.catalogCache().get(view.first, database, [&] { return view.second(engine, database); });
    return std::nullopt;
}

bool Catalog::isSystemTable(std::string_view name) {
    return std::any_of(std::begin(kSystemTables), std::end(kSystemTables),
                       [&](const char* t) { return compareCollated(t, name) == 0; });
}

int Catalog::xusertypeOf(const SqlType& type) { return type.isSysname ? 256 : catalogXtype(type); }

std::pair<Value, Value> Catalog::precisionAndScale(const SqlType& type) { return precisionScale(type); }

}  // namespace sandbox
