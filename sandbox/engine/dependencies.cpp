// sysdepends rows for a view, procedure, function or trigger: one row per referenced column
// (depnumber = colid), or one with depnumber 0 where an object is used without naming columns.

#include "engine/executor.hpp"

#include <map>

namespace sandbox {

using namespace sql;

namespace {

struct SourceRef {
    std::string alias;
    int id = 0;
    const std::vector<Column>* columns = nullptr;  // of a table or view; null for others
};

std::optional<size_t> columnPosition(const std::vector<Column>& columns, const std::string& name) {
    for (size_t i = 0; i < columns.size(); ++i)
        if (compareCollated(columns[i].name, name) == 0) return i;
    return std::nullopt;
}

class DependencyCollector {
public:
    // Names without a schema are looked up in the module's schema, then in dbo.
    DependencyCollector(Database& db, int ownerId, int ownerSchema) : db_(db), ownerId_(ownerId), ownerSchema_(ownerSchema) {}

    void statements(const std::vector<StmtPtr>& list) {
        for (const auto& s : list) statement(*s);
    }

    std::vector<Dependency> result() const {
        std::vector<Dependency> rows;
        for (const auto& [key, d] : rows_) rows.push_back(d);
        return rows;
    }

    void select(const SelectStmt& query) {
        for (const SelectStmt* part = &query; part; part = part->unionNext.get()) selectPart(*part);
    }

private:
    void selectPart(const SelectStmt& s) {
        std::vector<SourceRef> sources;
        for (const auto& ref : s.from) {
            if (ref.derived) { select(*ref.derived); continue; }
            for (const auto& argument : ref.arguments) expression(argument, {}, false);
            auto source = resolve(ref.name, ref.alias);
            if (!source) continue;
            if (!source->columns) row(source->id, 0).readobj = true;  // a function or procedure as a whole
            sources.push_back(*source);
        }
        for (const auto& item : s.items) {
            if (item.star) {
                for (const auto& src : sources)
                    if (item.starQualifier.empty() || compareCollated(item.starQualifier, src.alias) == 0) starRead(src);
                continue;
            }
            expression(item.expr, sources, false);
        }
        expression(s.where, sources, false);
        for (const auto& g : s.groupBy) expression(g, sources, false);
        expression(s.having, sources, false);
        for (const auto& o : s.orderBy) expression(o.expr, sources, false);
        for (const auto& ref : s.from) expression(ref.on, sources, false);
    }

    std::optional<SourceRef> resolve(const ObjectName& name, const std::string& alias) {
        if (name.name.empty() || name.name[0] == '#' || !name.database.empty()) return std::nullopt;
        SourceRef ref;
        ref.alias = alias.empty() ? name.name : alias;
        std::optional<int> schema = name.owner.empty() ? kDboSchemaId : db_.schemaId(name.owner);
        if (name.owner.empty() && (db_.table(name.name, ownerSchema_) || db_.object(name.name, ownerSchema_)))
            schema = ownerSchema_;
        if (!schema) return std::nullopt;
        if (auto table = db_.table(name.name, *schema)) {
            ref.id = table->id;
            ref.columns = &table->columns;
            return ref;
        }
        SchemaObject* object = db_.object(name.name, *schema);
        if (!object) return std::nullopt;  // deferred name resolution: nothing is recorded
        ref.id = object->id;
        if (!object->columns.empty()) ref.columns = &object->columns;
        return ref;
    }

    Dependency& row(int depid, int depnumber) {
        Dependency& d = rows_[{depid, depnumber}];
        d.id = ownerId_;
        d.depid = depid;
        d.depnumber = depnumber;
        return d;
    }

    void starRead(const SourceRef& src) {
        if (!src.columns) { row(src.id, 0).readobj = true; return; }
        for (size_t c = 0; c < src.columns->size(); ++c) {
            Dependency& d = row(src.id, static_cast<int>(c) + 1);
            d.readobj = true;
            d.selall = true;
        }
    }

    void column(const Expr& e, const std::vector<SourceRef>& sources, bool written) {
        const std::string& name = e.names.back();
        std::string qualifier = e.names.size() >= 2 ? e.names[e.names.size() - 2] : "";
        for (const auto& src : sources) {
            if (!qualifier.empty() && compareCollated(qualifier, src.alias) != 0) continue;
            if (!src.columns) continue;
            auto position = columnPosition(*src.columns, name);
            if (!position) continue;
            Dependency& d = row(src.id, static_cast<int>(*position) + 1);
            (written ? d.resultobj : d.readobj) = true;
            return;
        }
    }

    void expression(const ExprPtr& e, const std::vector<SourceRef>& sources, bool written) {
        if (!e) return;
        if (e->kind == ExprKind::Column) column(*e, sources, written);
        if (e->subquery) select(*e->subquery);
        for (const auto& arg : e->args) expression(arg, sources, written);
    }

    void statement(const Statement& s) {
        switch (s.kind) {
            case StmtKind::Select: {
                const auto& sel = static_cast<const SelectStatement&>(s);
                select(*sel.select);
                for (const auto& [name, expr] : sel.assignments) expression(expr, sourcesOf(*sel.select), false);
                break;
            }
            case StmtKind::Insert: insert(static_cast<const InsertStatement&>(s)); break;
            case StmtKind::Update: update(static_cast<const UpdateStatement&>(s)); break;
            case StmtKind::Delete: {
                const auto& del = static_cast<const DeleteStatement&>(s);
                if (auto target = resolve(del.table, "")) {  // the whole row goes: depnumber 0
                    row(target->id, 0).resultobj = true;
                    expression(del.where, {*target}, false);
                }
                break;
            }
            case StmtKind::Exec: {
                const auto& exec = static_cast<const ExecStatement&>(s);
                if (auto target = resolve(exec.procedure, "")) row(target->id, 0);
                break;
            }
            case StmtKind::If: {
                const auto& i = static_cast<const IfStatement&>(s);
                expression(i.condition, {}, false);
                statement(*i.then);
                if (i.otherwise) statement(*i.otherwise);
                break;
            }
            case StmtKind::While: {
                const auto& w = static_cast<const WhileStatement&>(s);
                expression(w.condition, {}, false);
                statement(*w.body);
                break;
            }
            case StmtKind::Block: statements(static_cast<const BlockStatement&>(s).statements); break;
            case StmtKind::SetVariable: expression(static_cast<const SetVariableStatement&>(s).value, {}, false); break;
            case StmtKind::Return: expression(static_cast<const SimpleStatement&>(s).value, {}, false); break;
            default: break;
        }
    }

    std::vector<SourceRef> sourcesOf(const SelectStmt& s) {
        std::vector<SourceRef> sources;
        for (const auto& ref : s.from)
            if (!ref.derived)
                if (auto source = resolve(ref.name, ref.alias)) sources.push_back(*source);
        return sources;
    }

    void insert(const InsertStatement& s) {
        if (s.select) select(*s.select);
        for (const auto& values : s.values)
            for (const auto& v : values) expression(v, {}, false);
        auto target = resolve(s.table, "");
        if (!target) return;
        if (!target->columns) { row(target->id, 0).resultobj = true; return; }
        const std::vector<Column>& columns = *target->columns;
        if (s.columns.empty()) {
            for (size_t c = 0; c < columns.size(); ++c)
                if (!columns[c].identity) row(target->id, static_cast<int>(c) + 1).resultobj = true;
            return;
        }
        for (const auto& name : s.columns)
            if (auto position = columnPosition(columns, name)) row(target->id, static_cast<int>(*position) + 1).resultobj = true;
    }

    void update(const UpdateStatement& s) {
        auto target = resolve(s.table, "");
        std::vector<SourceRef> sources;
        if (target) sources.push_back(*target);
        for (const auto& ref : s.from)
            if (auto source = resolve(ref.name, ref.alias)) sources.push_back(*source);
        for (const auto& [name, value] : s.sets) {
            if (target && target->columns && name[0] != '@')
                if (auto position = columnPosition(*target->columns, name))
                    row(target->id, static_cast<int>(*position) + 1).resultobj = true;
            expression(value, sources, false);
        }
        expression(s.where, sources, false);
    }

    Database& db_;
    int ownerId_;
    int ownerSchema_;
    std::map<std::pair<int, int>, Dependency> rows_;
};

}  // namespace

void Executor::recordDependencies(Database& db, const SchemaObject& module) {
    DependencyCollector collector(db, module.id, module.schemaId);
    const CreateModuleStatement& s = *module.module;
    if (s.viewSelect) collector.select(*s.viewSelect);
    collector.statements(s.body);
    for (const Dependency& d : collector.result()) db.depends.push_back(d);
    db.noteSchemaChange();
}

}  // namespace sandbox
