#include "engine/backup.hpp"

#include "engine/codec.hpp"
#include "engine/durable_file.hpp"
#include "sql/parser.hpp"
#include "tds/bytes.hpp"
#include "types/value_check.hpp"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <zlib.h>

namespace sandbox {
namespace {

// Each set is framed by a magic, its length and (from version 2 on) a CRC-32 of its bytes.
// Version 1 files, written before sets had checksums, are still read.
constexpr char kMagicV1[8] = {'M', 'K', 'D', 'D', 'L', 'B', 'K', '1'};
constexpr char kMagicV2[8] = {'M', 'K', 'D', 'D', 'L', 'B', 'K', '2'};

// ---- writing ----

// What tables and other objects both keep of a column: its name, type and nullability.
void writeColumnHead(RecordWriter& w, const Column& c) {
    w.text(c.name);
    w.type(c.type);
    w.u8(c.nullable);
}

void writeTable(RecordWriter& w, const Table& t, bool withRows) {
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
    w.u32(withRows ? static_cast<uint32_t>(t.rows.size()) : 0);
    if (withRows)
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

void writeObject(RecordWriter& w, const SchemaObject& o) {
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

[[noreturn]] void damaged(const std::string& what) { throw std::runtime_error(what); }

constexpr uint64_t kMaxColumns = 1024;  // SQL Server 2000's limit per table

Column readColumnHead(RecordReader& r) {
    Column c;
    c.name = r.text();
    c.type = r.type();
    c.nullable = r.u8() != 0;
    if (std::string problem = columnTypeProblem(c.type); !problem.empty())
        damaged("column '" + c.name + "' is declared with " + problem);
    return c;
}

// A stored value, checked against its column and given the column's type.
Value readCell(RecordReader& r, const Table& t, size_t column, size_t rowNumber) {
    const Column& c = t.columns[column];
    Value v = r.value();
    if (std::string problem = storageProblem(v, c.type, c.nullable); !problem.empty())
        damaged("table '" + t.name + "', row " + std::to_string(rowNumber) + ", column '" + c.name + "' holds " + problem);
    if (v.isNull()) return Value::null(c.type);
    if (c.type.id != TypeId::SqlVariant) v.setType(c.type);
    return v;
}

sql::ExprPtr readExpression(const std::string& text) {
    auto e = sql::parseExpression(text, sql::CallChecks::WhenRun);  // kept by an earlier version, perhaps
    e->text = text;
    return e;
}

std::shared_ptr<Table> readTable(RecordReader& r) {
    auto t = std::make_shared<Table>();
    t->id = static_cast<int>(r.u32());
    t->name = r.text();
    t->created = r.dateTime();
    uint64_t columns = r.count();
    if (columns == 0 || columns > kMaxColumns) damaged("table '" + t->name + "' has " + std::to_string(columns) + " columns");
    for (uint64_t i = 0; i < columns; ++i) {
        Column c = readColumnHead(r);
        c.identity = r.u8() != 0;
        c.seed = r.i64();
        c.step = r.i64();
        c.defaultId = static_cast<int>(r.u32());
        std::string defaultText = r.text();
        if (!defaultText.empty()) c.defaultExpr = readExpression(defaultText);
        t->columns.push_back(std::move(c));
    }
    uint64_t rows = r.count(columns);
    for (uint64_t i = 0; i < rows; ++i) {
        Row row;
        row.reserve(columns);
        for (uint64_t c = 0; c < columns; ++c) row.push_back(readCell(r, *t, c, i + 1));
        t->rows.push_back(std::move(row));
    }
    uint64_t indexes = r.count();
    for (uint64_t i = 0; i < indexes; ++i) {
        Index index;
        index.name = r.text();
        index.indid = static_cast<int>(r.u32());
        index.status = static_cast<int>(r.u32());
        uint64_t keys = r.count();
        for (uint64_t k = 0; k < keys; ++k) {
            size_t position = r.u32();
            bool descending = r.u8() != 0;
            if (position >= t->columns.size()) damaged("index '" + index.name + "' names a column that does not exist");
            index.keys.emplace_back(position, descending);
        }
        t->indexes.push_back(std::move(index));
    }
    uint64_t checks = r.count();
    for (uint64_t i = 0; i < checks; ++i) {
        CheckConstraint check;
        check.id = static_cast<int>(r.u32());
        check.name = r.text();
        uint32_t column = r.u32();
        if (column != UINT32_MAX) {
            if (column >= t->columns.size()) damaged("check '" + check.name + "' names a column that does not exist");
            check.column = column;
        }
        check.condition = readExpression(r.text());
        t->checks.push_back(std::move(check));
    }
    t->identityNext = r.i64();
    t->identityStarted = r.u8() != 0;
    // Files of earlier versions left the next value at 1 until the first row; it is the seed.
    const Column* identity = identityColumn(*t);
    if (identity && !t->identityStarted && t->identityNext == 1) t->identityNext = identity->seed;
    return t;
}

SchemaObject readObject(RecordReader& r) {
    SchemaObject o;
    o.id = static_cast<int>(r.u32());
    o.name = r.text();
    o.xtype = r.text();
    o.parentId = static_cast<int>(r.u32());
    o.info = static_cast<int>(r.u32());
    o.created = r.dateTime();
    o.text = r.text();
    uint64_t columns = r.count();
    for (uint64_t i = 0; i < columns; ++i) o.columns.push_back(readColumnHead(r));
    bool isModule = o.xtype == "V" || o.xtype == "P" || o.xtype == "FN" || o.xtype == "IF" || o.xtype == "TF" || o.xtype == "TR";
    if (isModule) {  // modules are kept as their source and parsed again
        auto statements = sql::parseBatch(o.text, sql::CallChecks::WhenRun);  // kept by an earlier version, perhaps
        if (statements.empty() || statements[0]->kind != sql::StmtKind::CreateModule)
            damaged("the source of '" + o.name + "' is not a CREATE statement");
        o.module = std::static_pointer_cast<sql::CreateModuleStatement>(statements[0]);
    }
    return o;
}

uint32_t checksum(const uint8_t* data, size_t size) {
    return static_cast<uint32_t>(crc32_z(crc32_z(0, nullptr, 0), data, size));
}

// One framed set; throws std::runtime_error saying what is wrong with it.
BackupSet readSet(tds::ByteReader& file) {
    const uint8_t* magic = file.take(sizeof kMagicV2);
    bool checked = std::memcmp(magic, kMagicV2, sizeof kMagicV2) == 0;
    if (!checked && std::memcmp(magic, kMagicV1, sizeof kMagicV1) != 0) damaged("it is not a backup set");
    uint32_t length = file.u32le();
    if (length > file.remaining()) damaged("it ends inside a set");
    const uint8_t* data = file.take(length);
    if (checked && (file.remaining() < 4 || file.u32le() != checksum(data, length)))
        damaged("a set does not match its checksum");
    RecordReader set(data, length);
    BackupSet backup;
    backup.databaseName = set.text();
    backup.finished = set.dateTime();
    if (checked) backup.journalPosition = set.u64();
    backup.content = set.bytes();
    if (set.remaining() != 0) damaged("a set holds more than a database");
    return backup;
}

// Column collations and foreign keys, written after everything else so that files of earlier
// versions, which end before them, are still read.
void writeTableConstraints(RecordWriter& w, const Table& t) {
    w.u32(static_cast<uint32_t>(t.id));
    w.u32(static_cast<uint32_t>(t.columns.size()));
    for (const Column& c : t.columns) w.text(c.collation);
    w.u32(static_cast<uint32_t>(t.foreignKeys.size()));
    for (const ForeignKey& key : t.foreignKeys) {
        w.u32(static_cast<uint32_t>(key.id));
        w.text(key.name);
        w.u32(static_cast<uint32_t>(key.referencedTableId));
        w.u8(static_cast<uint8_t>(key.deleteCascade | (key.updateCascade << 1) | (!key.enabled << 2)));
        w.u32(static_cast<uint32_t>(key.columns.size()));
        for (size_t k = 0; k < key.columns.size(); ++k) {
            w.u32(static_cast<uint32_t>(key.columns[k]));
            w.u32(static_cast<uint32_t>(key.referencedColumns[k]));
        }
    }
}

void readTableConstraints(RecordReader& r, const std::vector<std::shared_ptr<Table>>& tables) {
    int id = static_cast<int>(r.u32());
    auto table = std::find_if(tables.begin(), tables.end(), [&](const auto& t) { return t->id == id; });
    if (table == tables.end()) damaged("it holds constraints of a table that does not exist");
    Table& t = **table;
    if (r.u32() != t.columns.size()) damaged("table '" + t.name + "' has collations for other columns");
    for (Column& c : t.columns) c.collation = r.text();
    for (uint32_t i = 0, n = r.u32(); i < n; ++i) {
        ForeignKey key;
        key.id = static_cast<int>(r.u32());
        key.name = r.text();
        key.referencedTableId = static_cast<int>(r.u32());
        uint8_t flags = r.u8();
        key.deleteCascade = flags & 1;
        key.updateCascade = flags & 2;
        key.enabled = !(flags & 4);
        auto referenced = std::find_if(tables.begin(), tables.end(), [&](const auto& other) { return other->id == key.referencedTableId; });
        for (uint32_t k = 0, pairs = r.u32(); k < pairs; ++k) {
            key.columns.push_back(r.u32());
            key.referencedColumns.push_back(r.u32());
            if (referenced == tables.end() || key.columns.back() >= t.columns.size() ||
                key.referencedColumns.back() >= (*referenced)->columns.size())
                damaged("foreign key '" + key.name + "' names a table or column that does not exist");
        }
        t.foreignKeys.push_back(std::move(key));
    }
}

// The schemas CREATE SCHEMA made and the objects outside dbo, written last: files of earlier
// versions end before them, and all of their objects are in dbo.
void writeSchemas(RecordWriter& w, const Database& database) {
    w.u32(static_cast<uint32_t>(database.schemas.size()));
    for (const DatabaseSchema& schema : database.schemas) {
        w.u32(static_cast<uint32_t>(schema.id));
        w.text(schema.name);
    }
    std::vector<const SchemaObject*> outside;
    for (const SchemaObject& o : database.objects())
        if (o.schemaId != kDboSchemaId) outside.push_back(&o);
    w.u32(static_cast<uint32_t>(outside.size()));
    for (const SchemaObject* o : outside) {
        w.u32(static_cast<uint32_t>(o->id));
        w.u32(static_cast<uint32_t>(o->schemaId));
    }
}

bool isBuiltInSchema(int id) {
    return std::any_of(builtInSchemas().begin(), builtInSchemas().end(), [&](const DatabaseSchema& s) { return s.id == id; });
}

std::vector<DatabaseSchema> readSchemas(RecordReader& r, std::vector<SchemaObject>& objects,
                                        const std::vector<std::shared_ptr<Table>>& tables) {
    std::vector<DatabaseSchema> schemas;
    for (uint64_t i = 0, n = r.count(); i < n; ++i) {
        DatabaseSchema schema;
        schema.id = static_cast<int>(r.u32());
        schema.name = r.text();
        if (schema.name.empty() || schema.id < 5 || isBuiltInSchema(schema.id))
            damaged("it holds a schema '" + schema.name + "' numbered " + std::to_string(schema.id));
        for (const DatabaseSchema& other : schemas)
            if (other.id == schema.id || compareCollated(other.name, schema.name) == 0)
                damaged("it holds two schemas named '" + schema.name + "' or numbered " + std::to_string(schema.id));
        schemas.push_back(std::move(schema));
    }
    for (uint64_t i = 0, n = r.count(); i < n; ++i) {
        const int id = static_cast<int>(r.u32()), schemaId = static_cast<int>(r.u32());
        auto object = std::find_if(objects.begin(), objects.end(), [&](const SchemaObject& o) { return o.id == id; });
        const bool known = isBuiltInSchema(schemaId) ||
                           std::any_of(schemas.begin(), schemas.end(), [&](const DatabaseSchema& s) { return s.id == schemaId; });
        if (object == objects.end() || !known) damaged("it puts an object in a schema that does not exist");
        object->schemaId = schemaId;
        for (const auto& table : tables)
            if (table->id == id) table->schemaId = schemaId;
    }
    return schemas;
}

}  // namespace

std::string hostPath(const std::string& statementPath) {
    std::string path = statementPath;
    for (char& c : path)
        if (c == '\\') c = '/';
    if (path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':') path = path.substr(2);
    return path;
}

Bytes serializeDatabase(const Database& database, bool withRows) {
    RecordWriter w;
    const auto& tables = database.tables();
    w.u32(static_cast<uint32_t>(tables.size()));
    for (const auto& [key, table] : tables) writeTable(w, *table, withRows);
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
    for (const auto& [key, table] : tables) writeTableConstraints(w, *table);
    writeSchemas(w, database);
    return w.result();
}

std::shared_ptr<Database> deserializeDatabase(const Bytes& content, const std::string& name, int dbid) {
    try {
        RecordReader r(content);
        std::vector<std::shared_ptr<Table>> tables;
        for (uint64_t i = 0, n = r.count(); i < n; ++i) tables.push_back(readTable(r));
        std::vector<SchemaObject> objects;
        for (uint64_t i = 0, n = r.count(); i < n; ++i) objects.push_back(readObject(r));
        std::vector<Dependency> depends;
        for (uint64_t i = 0, n = r.count(); i < n; ++i) {
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
        for (uint64_t i = 0, n = r.count(); i < n; ++i) {
            ExtendedProperty p;
            p.id = static_cast<int>(r.u32());
            p.smallid = static_cast<int>(r.u32());
            p.type = static_cast<int>(r.u32());
            p.name = r.text();
            p.value = r.value();
            if (std::string problem = storageProblem(p.value, SqlType::of(TypeId::SqlVariant), true); !problem.empty())
                damaged("extended property '" + p.name + "' holds " + problem);
            properties.push_back(p);
        }
        auto db = std::make_shared<Database>(dbid, name, r.dateTime());
        for (size_t i = 0; i < tables.size() && r.remaining() > 0; ++i) readTableConstraints(r, tables);
        if (r.remaining() > 0) db->schemas = readSchemas(r, objects, tables);
        if (r.remaining() != 0) damaged("it holds more than a database");
        for (auto& t : tables) {
            if (db->table(t->name, t->schemaId)) damaged("it holds two tables named '" + t->name + "'");
            db->addTable(t);
        }
        for (auto& o : objects) db->addObject(std::move(o));
        db->depends = std::move(depends);
        db->properties = std::move(properties);
        return db;
    } catch (const tds::ProtocolError&) {
        damaged("it ends early");
    } catch (const sql::SyntaxError&) {
        damaged("a stored expression or module does not parse");
    } catch (const sql::LexError&) {
        damaged("a stored expression or module does not parse");
    }
}

BackupFile readBackupFile(const std::string& path) {
    try {
        return parseBackupFile(readWholeFile(path));
    } catch (const FileError& e) {
        BackupFile result;
        result.openError = e.error();
        return result;
    }
}

BackupFile parseBackupFile(const Bytes& all) {
    BackupFile result;
    if (all.empty()) result.damage = "it is empty";
    tds::ByteReader file(all);
    try {
        while (file.remaining() > 0) result.sets.push_back(readSet(file));
    } catch (const tds::ProtocolError&) {
        result.damage = "it ends inside a set";
    } catch (const std::runtime_error& e) {
        result.damage = e.what();
    }
    return result;
}

void writeBackupFile(const std::string& path, const std::vector<BackupSet>& sets) {
    tds::ByteWriter file;
    for (const auto& backup : sets) {
        RecordWriter set;
        set.text(backup.databaseName);
        set.dateTime(backup.finished);
        set.u64(backup.journalPosition);
        set.bytes(backup.content);
        file.append(reinterpret_cast<const uint8_t*>(kMagicV2), sizeof kMagicV2);
        file.u32le(static_cast<uint32_t>(set.size()));
        file.append(set.result());
        file.u32le(checksum(set.result().data(), set.size()));
    }
    writeFileDurably(path, file.bytes());
}

}  // namespace sandbox
