#include "engine/backup.hpp"

#include "sql/parser.hpp"
#include "tds/bytes.hpp"

#include <cctype>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <unistd.h>

namespace sandbox {
namespace {

constexpr char kMagic[8] = {'M', 'K', 'D', 'D', 'L', 'B', 'K', '1'};

// ---- writing ----

class Writer {
public:
    void u8(uint8_t v) { w_.u8(v); }
    void u32(uint32_t v) { w_.u32le(v); }
    void i64(int64_t v) { w_.u64le(static_cast<uint64_t>(v)); }
    void text(const std::string& s) { u32(static_cast<uint32_t>(s.size())); w_.append(reinterpret_cast<const uint8_t*>(s.data()), s.size()); }
    void bytes(const Bytes& b) { u32(static_cast<uint32_t>(b.size())); w_.append(b); }
    void dateTime(const DateTime& d) { u32(static_cast<uint32_t>(d.days)); u32(d.ticks); }
    void type(const SqlType& t) {
        u8(static_cast<uint8_t>(t.id));
        u32(static_cast<uint32_t>(t.length));
        u8(static_cast<uint8_t>(t.precision));
        u8(static_cast<uint8_t>(t.scale));
        u8(t.isSysname);
    }
    void value(const Value& v) {
        type(v.type());
        const auto& s = v.storage();
        u8(static_cast<uint8_t>(s.index()));
        if (std::holds_alternative<int64_t>(s)) i64(v.asInt());
        else if (std::holds_alternative<double>(s)) { uint64_t bits; double d = v.asDouble(); std::memcpy(&bits, &d, 8); i64(static_cast<int64_t>(bits)); }
        else if (std::holds_alternative<Decimal>(s)) {
            auto u = static_cast<unsigned __int128>(v.asDecimal().unscaled);
            i64(static_cast<int64_t>(u >> 64));
            i64(static_cast<int64_t>(u));
            u8(static_cast<uint8_t>(v.asDecimal().scale));
        } else if (std::holds_alternative<std::string>(s)) text(v.asText());
        else if (std::holds_alternative<Bytes>(s)) bytes(v.asBytes());
        else if (std::holds_alternative<DateTime>(s)) dateTime(v.asDateTime());
        else if (std::holds_alternative<Guid>(s)) w_.append(v.asGuid().data(), 16);
    }
    Bytes& result() { return w_.bytes(); }

private:
    tds::ByteWriter w_;
};

// What tables and other objects both keep of a column: its name, type and nullability.
void writeColumnHead(Writer& w, const Column& c) {
    w.text(c.name);
    w.type(c.type);
    w.u8(c.nullable);
}

void writeTable(Writer& w, const Table& t) {
    w.u32(static_cast<uint32_t>(t.id));
    w.text(t.name);
    w.dateTime(t.created);
    w.u32(static_cast<uint32_t>(t.columns.size()));
    for (const Column& c : t.columns) {
        writeColumnHead(w, c);
        w.u8(c.identity);
        w.i64(c.seed);
        w.i64(c.step);
        w.u32(static_cast<uint32_t>(c.defaultId));
        w.text(c.defaultExpr ? c.defaultExpr->text : "");
    }
    w.u32(static_cast<uint32_t>(t.rows.size()));
    for (const Row& row : t.rows)
        for (const Value& v : row) w.value(v);
    w.u32(static_cast<uint32_t>(t.indexes.size()));
    for (const Index& index : t.indexes) {
        w.text(index.name);
        w.u32(static_cast<uint32_t>(index.indid));
        w.u32(static_cast<uint32_t>(index.status));
        w.u32(static_cast<uint32_t>(index.keys.size()));
        for (const auto& [position, descending] : index.keys) { w.u32(static_cast<uint32_t>(position)); w.u8(descending); }
    }
    w.u32(static_cast<uint32_t>(t.checks.size()));
    for (const CheckConstraint& check : t.checks) {
        w.u32(static_cast<uint32_t>(check.id));
        w.text(check.name);
        w.u32(check.column ? static_cast<uint32_t>(*check.column) : UINT32_MAX);
        w.text(check.condition->text);
    }
    w.i64(t.identityNext);
    w.u8(t.identityStarted);
}

void writeObject(Writer& w, const SchemaObject& o) {
    w.u32(static_cast<uint32_t>(o.id));
    w.text(o.name);
    w.text(o.xtype);
    w.u32(static_cast<uint32_t>(o.parentId));
    w.u32(static_cast<uint32_t>(o.info));
    w.dateTime(o.created);
    w.text(o.text);
    w.u32(static_cast<uint32_t>(o.columns.size()));
    for (const Column& c : o.columns) writeColumnHead(w, c);
}

// ---- reading ----

class Reader {
public:
    explicit Reader(const Bytes& b) : r_(b) {}
    uint8_t u8() { return r_.u8(); }
    uint32_t u32() { return r_.u32le(); }
    int64_t i64() { uint64_t lo = r_.u32le(); uint64_t hi = r_.u32le(); return static_cast<int64_t>(lo | (hi << 32)); }
    std::string text() { uint32_t n = u32(); const uint8_t* p = r_.take(n); return std::string(reinterpret_cast<const char*>(p), n); }
    Bytes bytes() { uint32_t n = u32(); const uint8_t* p = r_.take(n); return Bytes(p, p + n); }
    DateTime dateTime() { DateTime d; d.days = static_cast<int32_t>(u32()); d.ticks = u32(); return d; }
    SqlType type() {
        SqlType t;
        uint8_t id = u8();
        if (id > static_cast<uint8_t>(TypeId::Timestamp)) throw std::runtime_error("damaged backup: type");
        t.id = static_cast<TypeId>(id);
        t.length = static_cast<int>(u32());
        t.precision = u8();
        t.scale = u8();
        t.isSysname = u8() != 0;
        return t;
    }
    Value value() {
        SqlType t = type();
        switch (u8()) {
            case 0: return Value::null(t);
            case 1: { Value v = Value::integer(i64(), t.id); v.setType(t); return v; }
            case 2: { auto bits = static_cast<uint64_t>(i64()); double d; std::memcpy(&d, &bits, 8); Value v = Value::floating(d, t.id); v.setType(t); return v; }
            case 3: {
                auto hi = static_cast<unsigned __int128>(static_cast<uint64_t>(i64()));
                auto lo = static_cast<uint64_t>(i64());
                Decimal d{static_cast<Int128>((hi << 64) | lo), u8()};
                return Value::decimal(d, t);
            }
            case 4: return Value::text(text(), t);
            case 5: return Value::binary(bytes(), t);
            case 6: { Value v = Value::dateTime(dateTime(), t.id); v.setType(t); return v; }
            case 7: { Guid g; std::memcpy(g.data(), r_.take(16), 16); return Value::guid(g); }
            default: throw std::runtime_error("damaged backup: value");
        }
    }

private:
    tds::ByteReader r_;
};

Column readColumnHead(Reader& r) {
    Column c;
    c.name = r.text();
    c.type = r.type();
    c.nullable = r.u8() != 0;
    return c;
}

std::shared_ptr<Table> readTable(Reader& r) {
    auto t = std::make_shared<Table>();
    t->id = static_cast<int>(r.u32());
    t->name = r.text();
    t->created = r.dateTime();
    uint32_t columns = r.u32();
    for (uint32_t i = 0; i < columns; ++i) {
        Column c = readColumnHead(r);
        c.identity = r.u8() != 0;
        c.seed = r.i64();
        c.step = r.i64();
        c.defaultId = static_cast<int>(r.u32());
        std::string defaultText = r.text();
        if (!defaultText.empty()) {
            c.defaultExpr = sql::parseExpression(defaultText);
            c.defaultExpr->text = defaultText;
        }
        t->columns.push_back(std::move(c));
    }
    uint32_t rows = r.u32();
    for (uint32_t i = 0; i < rows; ++i) {
        Row row;
        for (uint32_t c = 0; c < columns; ++c) row.push_back(r.value());
        t->rows.push_back(std::move(row));
    }
    uint32_t indexes = r.u32();
    for (uint32_t i = 0; i < indexes; ++i) {
        Index index;
        index.name = r.text();
        index.indid = static_cast<int>(r.u32());
        index.status = static_cast<int>(r.u32());
        uint32_t keys = r.u32();
        for (uint32_t k = 0; k < keys; ++k) {
            size_t position = r.u32();
            bool descending = r.u8() != 0;
            if (position >= t->columns.size()) throw std::runtime_error("damaged backup: index");
            index.keys.emplace_back(position, descending);
        }
        t->indexes.push_back(std::move(index));
    }
    uint32_t checks = r.u32();
    for (uint32_t i = 0; i < checks; ++i) {
        CheckConstraint check;
        check.id = static_cast<int>(r.u32());
        check.name = r.text();
        uint32_t column = r.u32();
        if (column != UINT32_MAX) {
            if (column >= t->columns.size()) throw std::runtime_error("damaged backup: check");
            check.column = column;
        }
        std::string text = r.text();
        check.condition = sql::parseExpression(text);
        check.condition->text = text;
        t->checks.push_back(std::move(check));
    }
    t->identityNext = r.i64();
    t->identityStarted = r.u8() != 0;
    return t;
}

SchemaObject readObject(Reader& r) {
    SchemaObject o;
    o.id = static_cast<int>(r.u32());
    o.name = r.text();
    o.xtype = r.text();
    o.parentId = static_cast<int>(r.u32());
    o.info = static_cast<int>(r.u32());
    o.created = r.dateTime();
    o.text = r.text();
    uint32_t columns = r.u32();
    for (uint32_t i = 0; i < columns; ++i) o.columns.push_back(readColumnHead(r));
    bool isModule = o.xtype == "V" || o.xtype == "P" || o.xtype == "FN" || o.xtype == "IF" || o.xtype == "TF" || o.xtype == "TR";
    if (isModule) {  // modules are kept as their source and parsed again
        auto statements = sql::parseBatch(o.text);
        if (statements.empty() || statements[0]->kind != sql::StmtKind::CreateModule) throw std::runtime_error("damaged backup: module");
        o.module = std::static_pointer_cast<sql::CreateModuleStatement>(statements[0]);
    }
    return o;
}

}  // namespace

std::string hostPath(const std::string& statementPath) {
    std::string path = statementPath;
    for (char& c : path)
        if (c == '\\') c = '/';
    if (path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':') path = path.substr(2);
    return path;
}

Bytes serializeDatabase(const Database& database) {
    Writer w;
    const auto& tables = database.tables();
    w.u32(static_cast<uint32_t>(tables.size()));
    for (const auto& [key, table] : tables) writeTable(w, *table);
    const auto& objects = database.objects();
    w.u32(static_cast<uint32_t>(objects.size()));
    for (const auto& o : objects) writeObject(w, o);
    w.u32(static_cast<uint32_t>(database.depends.size()));
    for (const auto& d : database.depends) {
        w.u32(static_cast<uint32_t>(d.id));
        w.u32(static_cast<uint32_t>(d.depid));
        w.u32(static_cast<uint32_t>(d.depnumber));
        w.u8(static_cast<uint8_t>(d.selall | (d.resultobj << 1) | (d.readobj << 2)));
    }
    w.u32(static_cast<uint32_t>(database.properties.size()));
    for (const auto& p : database.properties) {
        w.u32(static_cast<uint32_t>(p.id));
        w.u32(static_cast<uint32_t>(p.smallid));
        w.u32(static_cast<uint32_t>(p.type));
        w.text(p.name);
        w.value(p.value);
    }
    w.dateTime(database.created());
    return w.result();
}

std::shared_ptr<Database> deserializeDatabase(const Bytes& content, const std::string& name, int dbid) {
    try {
        Reader r(content);
        std::vector<std::shared_ptr<Table>> tables;
        for (uint32_t i = 0, n = r.u32(); i < n; ++i) tables.push_back(readTable(r));
        std::vector<SchemaObject> objects;
        for (uint32_t i = 0, n = r.u32(); i < n; ++i) objects.push_back(readObject(r));
        std::vector<Dependency> depends;
        for (uint32_t i = 0, n = r.u32(); i < n; ++i) {
            Dependency d;
            d.id = static_cast<int>(r.u32());
            d.depid = static_cast<int>(r.u32());
            d.depnumber = static_cast<int>(r.u32());
            uint8_t flags = r.u8();
            d.selall = flags & 1;
            d.resultobj = flags & 2;
            d.readobj = flags & 4;
            depends.push_back(d);
        }
        std::vector<ExtendedProperty> properties;
        for (uint32_t i = 0, n = r.u32(); i < n; ++i) {
            ExtendedProperty p;
            p.id = static_cast<int>(r.u32());
            p.smallid = static_cast<int>(r.u32());
            p.type = static_cast<int>(r.u32());
            p.name = r.text();
            p.value = r.value();
            properties.push_back(p);
        }
        auto db = std::make_shared<Database>(dbid, name, r.dateTime());
        for (auto& t : tables) db->addTable(t);
        for (auto& o : objects) db->addObject(std::move(o));
        db->depends = std::move(depends);
        db->properties = std::move(properties);
        return db;
    } catch (const tds::ProtocolError&) {
        throw std::runtime_error("damaged backup: truncated");
    } catch (const sql::SyntaxError&) {
        throw std::runtime_error("damaged backup: text");
    }
}

std::optional<std::vector<BackupSet>> readBackupFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    Bytes all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<BackupSet> sets;
    try {
        tds::ByteReader r(all);
        while (r.remaining() > 0) {
            if (std::memcmp(r.take(sizeof kMagic), kMagic, sizeof kMagic) != 0) return std::nullopt;
            uint32_t length = r.u32le();
            const uint8_t* data = r.take(length);
            Bytes setBytes(data, data + length);  // the reader only points into it
            Reader set(setBytes);
            BackupSet backup;
            backup.databaseName = set.text();
            backup.finished = set.dateTime();
            backup.content = set.bytes();
            sets.push_back(std::move(backup));
        }
    } catch (const tds::ProtocolError&) {
        return std::nullopt;
    }
    return sets;
}

bool writeBackupFile(const std::string& path, const std::vector<BackupSet>& sets) {
    tds::ByteWriter file;
    for (const auto& backup : sets) {
        Writer set;
        set.text(backup.databaseName);
        set.dateTime(backup.finished);
        set.bytes(backup.content);
        file.append(reinterpret_cast<const uint8_t*>(kMagic), sizeof kMagic);
        file.u32le(static_cast<uint32_t>(set.result().size()));
        file.append(set.result());
    }
    std::string temporary = path + ".tmp" + std::to_string(getpid());
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out.write(reinterpret_cast<const char*>(file.bytes().data()), static_cast<std::streamsize>(file.size()));
        out.flush();
        if (!out) {
            std::remove(temporary.c_str());
            return false;
        }
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace sandbox
