#include "engine/executor.hpp"

#include "engine/convert.hpp"
#include "engine/error.hpp"

#include <algorithm>
#include <set>

namespace sandbox {

using namespace sql;

// ---- naming ----

std::shared_ptr<Database> Executor::currentDatabase() {
    auto db = engine_.database(session_.database_);
    if (!db) throw SqlError(911, 16, 1, "Could not locate entry in sysdatabases for database '" + session_.database_ + "'.");
    return db;
}

std::shared_ptr<Database> Executor::databaseFor(const ObjectName& name) {
    if (!name.name.empty() && name.name[0] == '#') return engine_.tempdb_;
    if (name.database.empty()) return currentDatabase();
    return engine_.database(name.database);
}

std::optional<int> Executor::schemaFor(const ObjectName& name, const Database& db) const {
    if (name.owner.empty()) return kDboSchemaId;
    return db.schemaId(name.owner);
}

std::shared_ptr<Table> Executor::findTable(const ObjectName& name) {
    if (!name.name.empty() && name.name[0] == '#') {
        auto found = session_.tempTables_.find(toLower(name.name));
        return found == session_.tempTables_.end() ? nullptr : found->second;
    }
    auto db = databaseFor(name);
    if (!db) return nullptr;
    if (inModuleSchema(name))
        if (auto table = db->table(name.name, moduleSchema_)) return table;
    std::optional<int> schema = schemaFor(name, *db);
    return schema ? db->table(name.name, *schema) : nullptr;
}

bool Executor::inModuleSchema(const ObjectName& name) const {
    return name.owner.empty() && name.database.empty() && moduleSchema_ != kDboSchemaId;
}

SchemaObject* Executor::findObject(const ObjectName& name) {
    auto db = databaseFor(name);
    if (!db) return nullptr;
    if (inModuleSchema(name))
        if (SchemaObject* object = db->object(name.name, moduleSchema_)) return object;
    std::optional<int> schema = schemaFor(name, *db);
    return schema ? db->object(name.name, *schema) : nullptr;
}

std::shared_ptr<Table> Executor::requireTable(const ObjectName& name) {
    auto table = findTable(name);
    if (!table) throw errors::invalidObject(name.display());
    return table;
}

std::optional<Relation> Executor::findRelation(const ObjectName& name) {
    if (auto table = findTable(name)) {
        Relation r;
        r.columns = columnsOf(*table);
        r.rows = &table->rows;
        r.table = table;
        r.name = table->name;
        return r;
    }
    auto db = databaseFor(name);
    if (!db) return std::nullopt;
    if (equalsIgnoreCase(name.owner, "sys"))
        if (auto view = Catalog::catalogView(engine_, *db, name.name)) return view;
    if (auto system = Catalog::systemTable(engine_, *db, name.name)) return system;
    SchemaObject* object = findObject(name);
    if (object && (object->xtype == "V" || object->xtype == "IF") && object->module && object->module->viewSelect) {
        if (depth_ >= kMaxModuleNesting) throw errors::nestingTooDeep();
        ++depth_;
        InSchema inView(moduleSchema_, object->schemaId);
        std::string saved = session_.database_;
        session_.database_ = db->name();
        Relation r;
        try {
            r = queryToRelation(*object->module->viewSelect, nullptr);
        } catch (...) {
            session_.database_ = saved;
            --depth_;
            throw;
        }
        session_.database_ = saved;
        --depth_;
        for (size_t i = 0; i < object->module->returnColumns.size() && i < r.columns.size(); ++i)
            r.columns[i].name = object->module->returnColumns[i].name;
        r.name = object->name;
        return r;
    }
    return std::nullopt;
}

std::optional<std::vector<std::string>> splitQualifiedName(std::string_view text) {
    std::vector<std::string> parts{""};
    for (size_t at = 0; at < text.size(); ++at) {
        const char c = text[at];
        if (c == '[' || c == '"') {
            // A delimited part: "]]" (or "\"\"") stands for one closing character.
            const char close = c == '[' ? ']' : '"';
            for (++at;; ++at) {
                if (at >= text.size()) return std::nullopt;
                if (text[at] == close && (at + 1 >= text.size() || text[at + 1] != close)) break;
                if (text[at] == close) ++at;
                parts.back() += text[at];
            }
        } else if (c == '.') {
            parts.emplace_back();
        } else {
            parts.back() += c;
        }
    }
    return parts;
}

std::optional<int> Executor::objectIdOf(std::string_view qualifiedName) {
    std::optional<ObjectName> name = nameIn(std::string(qualifiedName));
    if (!name) return std::nullopt;
    if (auto table = findTable(*name)) return table->id;
    if (name->name[0] == '#') return std::nullopt;
    auto db = databaseFor(*name);
    if (!db) return std::nullopt;
    if (SchemaObject* object = findObject(*name)) return object->id;
    if (Catalog::isSystemTable(name->name)) {
        auto system = Catalog::systemTable(engine_, *db, "sysobjects");
        for (const Row& row : system->allRows())
            if (compareCollated(row[0].asText(), name->name) == 0) return static_cast<int>(row[1].asInt());
    }
    return std::nullopt;
}

// ---- sources ----

Relation Executor::openSource(const TableRef& ref, const Frame* outer) {
    if (ref.derived) {
        Relation r = queryToRelation(*ref.derived, outer);
        r.name = ref.alias;
        return r;
    }
    if (ref.isFunction && isListExtendedProperty(ref.name)) {
        std::vector<Value> arguments;
        Frame frame = outer ? *outer : Frame{};
        for (const auto& argument : ref.arguments) arguments.push_back(eval(*argument, frame));
        return listExtendedProperties(arguments);
    }
    if (ref.isFunction) {
        std::vector<std::string> names = {ref.name.owner.empty() ? "dbo" : ref.name.owner, ref.name.name};
        if (!ref.name.database.empty()) names.insert(names.begin(), ref.name.database);
        SchemaObject* function = userFunction(names, {"IF", "TF"});
        if (!function) throw errors::invalidObject(ref.name.display());
        std::vector<Value> arguments;
        Frame frame = outer ? *outer : Frame{};
        for (const auto& argument : ref.arguments) arguments.push_back(eval(*argument, frame));
        return callTableFunction(*function, arguments);
    }
    std::optional<Relation> r = findRelation(ref.name);
    if (!r) throw errors::invalidObject(ref.name.display());
    return std::move(*r);
}

namespace {

void splitConjuncts(const ExprPtr& e, std::vector<const Expr*>& out) {
    if (!e) return;
    if (e->kind == ExprKind::Binary && e->ops[0] == "AND") {
        for (const auto& operand : e->args) splitConjuncts(operand, out);
        return;
    }
    out.push_back(e.get());
}

// The highest FROM entry a predicate refers to; entries.size() if unknown (subqueries).
size_t highestEntry(const Expr& e, const Scope& scope) {
    if (e.subquery) return scope.entries.size();
    if (e.kind == ExprKind::Column) {
        const std::string& column = e.names.back();
        std::string qualifier = e.names.size() >= 2 ? e.names[e.names.size() - 2] : "";
        for (size_t k = 0; k < scope.entries.size(); ++k) {
            const auto& entry = scope.entries[k];
            if (!qualifier.empty() && compareCollated(entry.alias, qualifier) != 0 && compareCollated(entry.name, qualifier) != 0)
                continue;
            for (const auto& c : entry.columns)
                if (compareCollated(c.name, column) == 0) return k;
        }
        return scope.entries.size();  // an outer reference, or an error reported when evaluated
    }
    size_t highest = 0;
    for (const auto& arg : e.args)
        if (arg) highest = std::max(highest, highestEntry(*arg, scope));
    return highest;
}

// The FROM entries a predicate refers to, as bits; every entry when that is not known
// (subqueries, names of enclosing queries), so that the predicate waits for the whole row.
uint64_t entryMask(const Expr& e, const Scope& scope) {
    const uint64_t every = scope.entries.size() >= 64 ? ~uint64_t{0} : (uint64_t{1} << scope.entries.size()) - 1;
    if (e.kind == ExprKind::Column || e.subquery) {
        const size_t entry = highestEntry(e, scope);
        return entry < scope.entries.size() ? uint64_t{1} << entry : every;
    }
    uint64_t mask = 0;
    for (const auto& arg : e.args)
        if (arg) mask |= entryMask(*arg, scope);
    return mask;
}

bool sameRow(const Row& a, const Row& b) {
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].isNull() != b[i].isNull()) return false;
        if (!a[i].isNull() && compareValues(a[i], b[i]) != 0) return false;
    }
    return true;
}

int compareNullsFirst(const Value& x, const Value& y) {
    if (x.isNull()) return y.isNull() ? 0 : -1;
    return y.isNull() ? 1 : compareValues(x, y);
}

class RelationTarget : public RowTarget {
public:
    explicit RelationTarget(Relation& relation) : relation_(relation) {}
    void begin(const std::vector<RelColumn>& columns) override { relation_.columns = columns; }
    bool add(Row& row) override {
        for (size_t i = 0; i < row.size(); ++i)
            if (!(row[i].type() == relation_.columns[i].type)) row[i] = convertValue(row[i], relation_.columns[i].type);
        relation_.owned.push_back(std::move(row));
        return true;
    }

private:
    Relation& relation_;
};

struct SortableRow {
    Row output;
    Row keys;
};

}  // namespace

Relation Executor::queryToRelation(const SelectStmt& select, const Frame* outer) {
    Relation r;
    RelationTarget target(r);
    runQuery(select, outer, target);
    r.rows = nullptr;
    return r;
}

Scope Executor::buildScope(const SelectStmt& select, const std::vector<Relation>& sources) {
    Scope scope;
    scope.id = newScopeId();
    for (size_t k = 0; k < sources.size(); ++k) {
        const TableRef& ref = select.from[k];
        std::string alias = ref.alias.empty() ? ref.name.name : ref.alias;
        scope.entries.push_back({alias, sources[k].name, sources[k].columns, scope.width, sources[k].table});
        scope.width += sources[k].columns.size();
    }
    // The side of an outer join that may be missing gives NULLs whatever its columns declare.
    auto makeNullable = [&](size_t entry) {
        for (auto& column : scope.entries[entry].columns) column.nullable = true;
    };
    for (size_t k = 1; k < select.from.size(); ++k) {
        JoinKind join = select.from[k].join;
        if (join == JoinKind::Left || join == JoinKind::Full) makeNullable(k);
        if (join == JoinKind::Right || join == JoinKind::Full)
            for (size_t left = 0; left < k; ++left) makeNullable(left);
    }
    return scope;
}

std::vector<OutputColumn> Executor::planOutputs(const SelectStmt& select, const Scope& scope) {
    std::vector<OutputColumn> outputs;
    for (const auto& item : select.items) {
        if (item.star) {
            bool matched = false;
            for (const auto& entry : scope.entries) {
                if (!item.starQualifier.empty() && compareCollated(entry.alias, item.starQualifier) != 0) continue;
                matched = true;
                for (size_t c = 0; c < entry.columns.size(); ++c) outputs.push_back({nullptr, entry.offset + c, entry.columns[c]});
            }
            if (!matched) throw errors::invalidObject(item.starQualifier.empty() ? "*" : item.starQualifier);
            continue;
        }
        OutputColumn out;
        out.expr = item.expr.get();
        out.column.name = item.hasAlias ? item.alias : (item.expr->kind == ExprKind::Column ? item.expr->names.back() : "");
        out.column.type = inferType(*item.expr, &scope);
        const RelColumn* source = sourceColumn(*item.expr, &scope);
        out.column.identity = item.expr->kind == ExprKind::Identity || (source && source->identity);
        out.column.nullable = !out.column.identity && inferNullable(*item.expr, &scope);
        outputs.push_back(out);
    }
    if (outputs.empty()) throw errors::notSupported("from");
    bool identityUsed = std::any_of(outputs.begin(), outputs.end(),
                                    [](const OutputColumn& o) { return o.expr && o.expr->kind == ExprKind::Identity; });
    if (!identityUsed) return outputs;
    if (!select.into)
        throw SqlError(177, 15, 1, "The IDENTITY function can only be used when the SELECT statement has an INTO clause.");
    for (const auto& o : outputs)
        if (!o.expr && o.column.identity)
            throw SqlError(8108, 16, 1, "Cannot add identity column, using the SELECT INTO statement, to table '" +
                                            select.into->name + "', which already has column '" + o.column.name +
                                            "' that inherits the identity property.");
    return outputs;
}

std::vector<OrderKey> Executor::planOrderKeys(const SelectStmt& select, const std::vector<OutputColumn>& outputs) {
    std::vector<OrderKey> keys;
    for (const auto& item : select.orderBy) {
        OrderKey key{std::nullopt, item.expr.get(), item.descending};
        const Expr& e = *item.expr;
        if (e.kind == ExprKind::Literal && std::holds_alternative<int64_t>(e.literal.storage())) {
            int64_t ordinal = e.literal.asInt();
            if (ordinal < 1 || ordinal > static_cast<int64_t>(outputs.size()))
                throw SqlError(108, 16, 1, "The ORDER BY position number " + std::to_string(ordinal) +
                                               " is out of range of the number of items in the select list.");
            key.output = static_cast<size_t>(ordinal - 1);
        } else if (e.kind == ExprKind::Column && e.names.size() == 1) {
            for (size_t i = 0; i < outputs.size() && !key.output; ++i)
                if (compareCollated(outputs[i].column.name, e.names[0]) == 0) key.output = i;
        }
        keys.push_back(key);
    }
    return keys;
}

std::optional<KeyProbe> Executor::keyProbe(const std::vector<const Expr*>& conjuncts, const std::vector<Relation>& sources,
                                           const Scope& scope, size_t k, uint64_t known) {
    if (!sources[k].shared || scope.entries.size() >= 64) return std::nullopt;  // nothing to look rows up in
    // The FROM entry a column reference of this query resolves to; nullopt for columns of
    // enclosing queries, which stay the same while this query runs.
    auto entryOf = [&](const Expr& e) -> std::optional<size_t> {
        auto located = locateColumn(e, &scope, nullptr);
        for (size_t x = 0; located && x < scope.entries.size(); ++x)
            if (located->second >= scope.entries[x].offset &&
                located->second < scope.entries[x].offset + scope.entries[x].columns.size())
                return x;
        return std::nullopt;
    };
    std::function<bool(const Expr&)> readsKnown = [&](const Expr& e) {
        if (e.subquery) return false;
        if (e.kind == ExprKind::Column) {
            auto x = entryOf(e);
            return !x || ((known >> *x) & 1) != 0;
        }
        return std::all_of(e.args.begin(), e.args.end(), [&](const ExprPtr& a) { return !a || readsKnown(*a); });
    };
    for (const Expr* c : conjuncts) {
        if (c->kind != ExprKind::Binary || c->ops.size() != 1 || c->ops[0] != "=") continue;
        for (size_t side = 0; side < 2; ++side) {
            const Expr& column = *c->args[side];
            const Expr& value = *c->args[1 - side];
            if (column.kind != ExprKind::Column || entryOf(column) != k || !readsKnown(value)) continue;
            return KeyProbe{locateColumn(column, &scope, nullptr)->second - scope.entries[k].offset, &value};
        }
    }
    return std::nullopt;
}

std::optional<std::vector<uint32_t>> Executor::lookUp(const Relation& source, const std::optional<KeyProbe>& probe,
                                                      const Frame& frame) {
    if (!probe) return std::nullopt;
    return source.lookup(probe->column, eval(*probe->value, frame));
}

namespace {

// Calls `each` with the position of every row, or of those in `positions` when there are.
template <typename F>
void forEachRow(size_t count, const std::optional<std::vector<uint32_t>>& positions, F each) {
    if (positions) {
        for (uint32_t r : *positions) each(r);
    } else {
        for (size_t r = 0; r < count; ++r) each(r);
    }
}

void refuseHugeJoin(size_t rows, size_t width) {
    // A join this large would exhaust the machine; SQL Server would not finish it either.
    constexpr size_t kMaxJoinedValues = 20'000'000;
    if (rows * width > kMaxJoinedValues)
        throw SqlError(8623, 16, 1, "The query processor could not produce a query plan because of the size of the "
                                    "intermediate result.");
}

uint64_t entriesBefore(size_t k) { return k >= 64 ? ~uint64_t{0} : (uint64_t{1} << k) - 1; }

}  // namespace

std::vector<Row> Executor::joinSources(const SelectStmt& select, const std::vector<Relation>& sources, const Scope& scope,
                                       const Frame* outer, const std::vector<std::vector<const Expr*>>& stageFilters) {
    auto passes = [&](size_t stage, const Frame& frame) {
        const auto& filters = stageFilters[stage];
        return std::all_of(filters.begin(), filters.end(), [&](const Expr* c) { return isTrue(*c, frame); });
    };
    std::vector<Row> current;
    const auto& firstRows = sources[0].allRows();
    auto firstProbe = keyProbe(stageFilters[0], sources, scope, 0, 0);
    forEachRow(firstRows.size(), lookUp(sources[0], firstProbe, Frame{&scope, nullptr, outer, nullptr}), [&](size_t r) {
        pollCancel();
        Row wide(scope.width);
        std::copy(firstRows[r].begin(), firstRows[r].end(), wide.begin());
        if (passes(0, Frame{&scope, wide.data(), outer, nullptr})) current.push_back(std::move(wide));
    });
    for (size_t k = 1; k < sources.size(); ++k) {
        const TableRef& ref = select.from[k];
        const auto& rightRows = sources[k].allRows();
        auto offset = static_cast<std::ptrdiff_t>(scope.entries[k].offset);
        std::vector<const Expr*> on;
        splitConjuncts(ref.on, on);
        // The rows of the right side that can meet ON are looked up by the left row when ON
        // equates one of their columns with values of the left side.
        auto probe = keyProbe(on, sources, scope, k, entriesBefore(k));
        std::vector<Row> next;
        std::vector<bool> rightMatched(rightRows.size(), false);
        for (Row& left : current) {
            bool matched = false;
            forEachRow(rightRows.size(), lookUp(sources[k], probe, Frame{&scope, left.data(), outer, nullptr}), [&](size_t r) {
                pollCancel();
                Row wide = left;
                std::copy(rightRows[r].begin(), rightRows[r].end(), wide.begin() + offset);
                Frame frame{&scope, wide.data(), outer, nullptr};
                if (ref.on && !isTrue(*ref.on, frame)) return;
                matched = true;
                rightMatched[r] = true;
                if (passes(k, frame)) next.push_back(std::move(wide));
                refuseHugeJoin(next.size(), scope.width);
            });
            bool keepLeft = ref.join == JoinKind::Left || ref.join == JoinKind::Full;
            if (!matched && keepLeft && passes(k, Frame{&scope, left.data(), outer, nullptr})) next.push_back(left);
        }
        if (ref.join == JoinKind::Right || ref.join == JoinKind::Full)
            for (size_t r = 0; r < rightRows.size(); ++r) {
                if (rightMatched[r]) continue;
                Row wide(scope.width);
                std::copy(rightRows[r].begin(), rightRows[r].end(), wide.begin() + offset);
                next.push_back(std::move(wide));
            }
        current = std::move(next);
    }
    return current;
}

// Comma and cross joins give the same rows in any order of joining. So the join starts from
// the source that its own conditions narrow most, then takes the source that the most
// conditions connect to those already joined, applying every condition as soon as its sources
// are there: a catalogue query such as "sysindexes i, syscolumns c, sysobjects o where
// o.id = object_id(...) and ..." then never pairs every index with every column. A catalogue
// table is not read whole when an equality names the rows wanted: "o.id = object_id(...)"
// looks them up at once, "c.id = o.id" for each row of o. The rows are put back in the order
// that joining in the written order gives.
std::vector<Row> Executor::joinInBestOrder(const std::vector<Relation>& sources, const Scope& scope, const Frame* outer,
                                           const std::vector<const Expr*>& conjuncts) {
    const size_t n = sources.size();
    std::vector<uint64_t> masks;
    for (const Expr* c : conjuncts) masks.push_back(entryMask(*c, scope));
    auto holds = [&](size_t c, const Row& wide) { return isTrue(*conjuncts[c], Frame{&scope, wide.data(), outer, nullptr}); };
    auto widened = [&](size_t k, const Row& row, Row wide) {
        std::copy(row.begin(), row.end(), wide.begin() + static_cast<std::ptrdiff_t>(scope.entries[k].offset));
        return wide;
    };
    auto bitOf = [](size_t k) { return uint64_t{1} << k; };
    // The rows of source k (all, or those looked up) that pass the conditions on it alone.
    auto narrowed = [&](size_t k, const std::optional<std::vector<uint32_t>>& positions) {
        std::vector<size_t> kept;
        const auto& rows = sources[k].allRows();
        forEachRow(rows.size(), positions, [&](size_t r) {
            pollCancel();
            Row wide = widened(k, rows[r], Row(scope.width));
            bool keep = true;
            for (size_t c = 0; c < conjuncts.size() && keep; ++c)
                if (masks[c] == bitOf(k)) keep = holds(c, wide);
            if (keep) kept.push_back(r);
        });
        return kept;
    };

    // Each source narrowed by the conditions on it alone; a catalogue table without an
    // equality to a constant waits, in case a join condition can look its rows up.
    std::vector<std::optional<std::vector<size_t>>> candidates(n);
    for (size_t k = 0; k < n; ++k) {
        if (!sources[k].shared) {
            candidates[k] = narrowed(k, std::nullopt);
        } else if (auto positions = lookUp(sources[k], keyProbe(conjuncts, sources, scope, k, 0),
                                           Frame{&scope, nullptr, outer, nullptr})) {
            candidates[k] = narrowed(k, positions);
        }
    }
    auto estimate = [&](size_t k) { return candidates[k] ? candidates[k]->size() : sources[k].allRows().size(); };

    // The order of joining.
    std::vector<size_t> order;
    uint64_t joined = 0;
    while (order.size() < n) {
        size_t best = n;
        size_t bestLinks = 0;
        for (size_t k = 0; k < n; ++k) {
            const uint64_t bit = bitOf(k);
            if (joined & bit) continue;
            size_t links = 0;
            for (uint64_t mask : masks)
                if ((mask & bit) && mask != bit && (mask & ~(joined | bit)) == 0) ++links;
            const bool better = best == n || links > bestLinks || (links == bestLinks && estimate(k) < estimate(best));
            if (better) best = k, bestLinks = links;
        }
        order.push_back(best);
        joined |= bitOf(best);
    }

    // Nested loops in that order; each partial row remembers which row of each source it holds.
    struct Partial {
        Row wide;
        std::vector<size_t> picks;
    };
    std::vector<Partial> current{{Row(scope.width), std::vector<size_t>(n, 0)}};
    joined = 0;
    for (size_t k : order) {
        const uint64_t bit = bitOf(k);
        std::optional<KeyProbe> probe = candidates[k] ? std::nullopt : keyProbe(conjuncts, sources, scope, k, joined);
        if (!candidates[k] && !probe) candidates[k] = narrowed(k, std::nullopt);
        joined |= bit;
        // Rows looked up for each left row still have their own conditions to meet.
        std::vector<size_t> due;
        for (size_t c = 0; c < conjuncts.size(); ++c)
            if ((masks[c] & bit) && (masks[c] != bit || !candidates[k]) && (masks[c] & ~joined) == 0) due.push_back(c);
        std::vector<Partial> next;
        const auto& rows = sources[k].allRows();
        for (const Partial& left : current) {
            auto join = [&](size_t r) {
                pollCancel();
                Partial joinedRow{widened(k, rows[r], left.wide), left.picks};
                joinedRow.picks[k] = r;
                if (!std::all_of(due.begin(), due.end(), [&](size_t c) { return holds(c, joinedRow.wide); })) return;
                next.push_back(std::move(joinedRow));
                refuseHugeJoin(next.size(), scope.width);
            };
            if (candidates[k]) {
                for (size_t r : *candidates[k]) join(r);
            } else {
                forEachRow(rows.size(), lookUp(sources[k], probe, Frame{&scope, left.wide.data(), outer, nullptr}), join);
            }
        }
        current = std::move(next);
    }
    // Conditions that name no source at all (constants, variables) hold for every row or none.
    std::vector<Row> result;
    // Joined in written order the rows come sorted already; a sort of a million rows is long
    // enough to need the cancel checks of the loops around it.
    auto writtenOrder = [this](const Partial& a, const Partial& b) {
        pollCancel();
        return a.picks < b.picks;
    };
    if (!std::is_sorted(current.begin(), current.end(), writtenOrder))
        std::sort(current.begin(), current.end(), writtenOrder);
    for (Partial& p : current) {
        bool keep = true;
        for (size_t c = 0; c < conjuncts.size() && keep; ++c)
            if (masks[c] == 0) keep = holds(c, p.wide);
        if (keep) result.push_back(std::move(p.wide));
    }
    return result;
}

void Executor::scanRows(const SelectStmt& select, const std::vector<Relation>& sources, const Scope& scope,
                        const Frame* outer, const std::function<bool(const Frame&)>& visit) {
    // WHERE is split into conjuncts; each is applied at the first join stage that can decide
    // it, so that comma joins of catalogue tables stay small. RIGHT and FULL joins add rows
    // late, so with them everything waits for the end.
    std::vector<const Expr*> conjuncts;
    splitConjuncts(select.where, conjuncts);
    bool pushDown = std::none_of(select.from.begin(), select.from.end(),
                                 [](const TableRef& r) { return r.join == JoinKind::Right || r.join == JoinKind::Full; });
    std::vector<std::vector<const Expr*>> stageFilters(sources.size() + 1);
    for (const Expr* c : conjuncts)
        stageFilters[pushDown ? std::min(highestEntry(*c, scope), sources.size()) : sources.size()].push_back(c);
    auto passes = [&](const std::vector<const Expr*>& filters, const Frame& frame) {
        return std::all_of(filters.begin(), filters.end(), [&](const Expr* c) { return isTrue(*c, frame); });
    };
    if (sources.empty()) {
        Frame frame{&scope, nullptr, outer, nullptr};
        if (passes(conjuncts, frame)) visit(frame);
        return;
    }
    if (sources.size() == 1) {  // one source: rows stream straight from the table, without copies
        auto offer = [&](const Row& row) {  // false once the visitor wants no more rows
            pollCancel();
            Frame frame{&scope, row.data(), outer, nullptr};
            return !passes(conjuncts, frame) || visit(frame);
        };
        const auto& rows = sources[0].allRows();
        if (auto positions = lookUp(sources[0], keyProbe(conjuncts, sources, scope, 0, 0), Frame{&scope, nullptr, outer, nullptr})) {
            for (uint32_t r : *positions)
                if (!offer(rows[r])) return;
            return;
        }
        for (const Row& row : rows)
            if (!offer(row)) return;
        return;
    }
    const bool commaJoins = sources.size() < 64 && std::all_of(select.from.begin() + 1, select.from.end(), [](const TableRef& r) {
        return (r.join == JoinKind::Comma || r.join == JoinKind::Cross) && !r.on;
    });
    if (commaJoins) {
        for (const Row& row : joinInBestOrder(sources, scope, outer, conjuncts)) {
            pollCancel();
            Frame frame{&scope, row.data(), outer, nullptr};
            if (!visit(frame)) return;
        }
        return;
    }
    for (const Row& row : joinSources(select, sources, scope, outer, stageFilters)) {
        pollCancel();
        Frame frame{&scope, row.data(), outer, nullptr};
        if (passes(stageFilters[sources.size()], frame) && !visit(frame)) return;
    }
}

Row Executor::project(const std::vector<OutputColumn>& outputs, const Frame& frame) {
    Row out(outputs.size());
    for (size_t i = 0; i < outputs.size(); ++i) {
        const OutputColumn& o = outputs[i];
        if (!o.expr) out[i] = frame.row[o.slot];
        else if (o.expr->kind != ExprKind::Identity) out[i] = eval(*o.expr, frame);  // numbered when sent
    }
    return out;
}

namespace {

bool sameExpression(const Expr& a, const Expr& b) {
    if (a.kind != b.kind || a.name != b.name || a.ops != b.ops || a.args.size() != b.args.size() || a.subquery ||
        b.subquery)
        return false;
    if (a.kind == ExprKind::Column) {
        if (a.names.size() != b.names.size()) return false;
        for (size_t i = 0; i < a.names.size(); ++i)
            if (compareCollated(a.names[i], b.names[i]) != 0) return false;
    }
    if (a.kind == ExprKind::Literal && !(a.literal.isNull() && b.literal.isNull()) &&
        (a.literal.isNull() || b.literal.isNull() || compareValues(a.literal, b.literal) != 0))
        return false;
    for (size_t i = 0; i < a.args.size(); ++i)
        if (!sameExpression(*a.args[i], *b.args[i])) return false;
    return true;
}

}  // namespace

// In a grouped query every column outside an aggregate must be one of the GROUP BY
// expressions (error 8120), or the answer would silently depend on which row came first.
void Executor::checkGrouped(const Expr& e, const SelectStmt& select, const Scope& scope) {
    for (const auto& g : select.groupBy) {
        if (sameExpression(e, *g)) return;
        if (e.kind == ExprKind::Column && g->kind == ExprKind::Column) {
            auto a = locateColumn(e, &scope, nullptr), b = locateColumn(*g, &scope, nullptr);
            if (a && b && *a == *b) return;
        }
    }
    if (e.kind == ExprKind::Function && isAggregateName(e.name) && e.names.size() <= 1) return;
    if (e.kind == ExprKind::Column) {
        auto located = locateColumn(e, &scope, nullptr);
        if (!located || located->first != 0) return;  // outer references are constants here
        std::string qualified = e.names.size() >= 2 ? e.names[e.names.size() - 2] + "." + e.names.back() : e.names.back();
        throw SqlError(8120, 16, 1, "Column '" + qualified + "' is invalid in the select list because it is not contained "
                                    "in either an aggregate function or the GROUP BY clause.");
    }
    if (e.subquery) return;
    for (const auto& arg : e.args)
        if (arg) checkGrouped(*arg, select, scope);
}

void Executor::runUnion(const SelectStmt& select, const Frame* outer, RowTarget& target) {
    std::vector<const SelectStmt*> parts;
    for (const SelectStmt* part = &select; part; part = part->unionNext.get()) parts.push_back(part);
    Relation result;
    for (size_t i = 0; i < parts.size(); ++i) {
        SelectStmt plain = *parts[i];
        plain.orderBy.clear();
        plain.unionNext.reset();
        plain.into.reset();
        Relation part = queryToRelation(plain, outer);
        if (i == 0) {
            result = std::move(part);
            continue;
        }
        if (part.columns.size() != result.columns.size())
            throw SqlError(205, 16, 1, "All queries in an SQL statement containing a UNION operator must have an equal "
                                       "number of expressions in their target lists.");
        for (size_t c = 0; c < result.columns.size(); ++c) {
            result.columns[c].type = commonType(result.columns[c].type, part.columns[c].type);
            result.columns[c].nullable = result.columns[c].nullable || part.columns[c].nullable;
        }
        for (Row& row : part.owned) result.owned.push_back(std::move(row));
        if (!parts[i - 1]->unionAll) {  // UNION without ALL removes duplicates of everything so far
            std::vector<Row> unique;
            for (Row& row : result.owned)
                if (std::none_of(unique.begin(), unique.end(), [&](const Row& u) { return sameRow(u, row); }))
                    unique.push_back(std::move(row));
            result.owned = std::move(unique);
        }
    }
    std::vector<OutputColumn> outputs;
    for (size_t c = 0; c < result.columns.size(); ++c) outputs.push_back({nullptr, c, result.columns[c]});
    SelectStmt ordering;
    ordering.orderBy = parts.back()->orderBy;
    std::vector<OrderKey> keys = planOrderKeys(ordering, outputs);
    for (const auto& key : keys)
        if (!key.output)
            throw SqlError(104, 16, 1, "ORDER BY items must appear in the select list if the statement contains a UNION operator.");
    std::stable_sort(result.owned.begin(), result.owned.end(), [&](const Row& a, const Row& b) {
        for (const auto& key : keys) {
            int c = compareNullsFirst(a[*key.output], b[*key.output]);
            if (c != 0) return key.descending ? c > 0 : c < 0;
        }
        return false;
    });
    target.begin(result.columns);
    for (Row& row : result.owned)
        if (!target.add(row)) return;
}

void Executor::runQuery(const SelectStmt& select, const Frame* outer, RowTarget& target) {
    if (select.unionNext) {
        runUnion(select, outer, target);
        return;
    }
    std::vector<Relation> sources;
    for (const auto& ref : select.from) sources.push_back(openSource(ref, outer));
    Scope scope = buildScope(select, sources);
    std::vector<OutputColumn> outputs = planOutputs(select, scope);
    std::vector<OrderKey> orderKeys = planOrderKeys(select, outputs);
    bool identityUsed = std::any_of(outputs.begin(), outputs.end(),
                                    [](const OutputColumn& o) { return o.expr && o.expr->kind == ExprKind::Identity; });
    bool grouped = !select.groupBy.empty() || select.having ||
                   std::any_of(outputs.begin(), outputs.end(), [](const OutputColumn& o) { return o.expr && containsAggregate(*o.expr); });
    bool materialise = grouped || select.distinct || !orderKeys.empty() || identityUsed;
    if (grouped) {
        for (const auto& o : outputs) {
            if (!o.expr) throw SqlError(8120, 16, 1, "Column '" + o.column.name + "' is invalid in the select list because it "
                                                     "is not contained in either an aggregate function or the GROUP BY clause.");
            checkGrouped(*o.expr, select, scope);
        }
        if (select.having) checkGrouped(*select.having, select, scope);
    }
    if (select.distinct)
        for (auto& key : orderKeys) {
            // With DISTINCT an ORDER BY item must be one of the selected expressions.
            for (size_t i = 0; i < outputs.size() && !key.output; ++i) {
                const OutputColumn& o = outputs[i];
                if (o.expr ? sameExpression(*o.expr, *key.expr) : key.expr->kind == ExprKind::Column &&
                                                                   locateColumn(*key.expr, &scope, nullptr) ==
                                                                       std::optional<std::pair<int, size_t>>({0, o.slot}))
                    key.output = i;
            }
            if (!key.output)
                throw SqlError(145, 15, 1, "ORDER BY items must appear in the select list if SELECT DISTINCT is specified.");
        }
    int64_t top = select.top ? toInteger(eval(*select.top, Frame{nullptr, nullptr, outer, nullptr})) : -1;
    if (session_.rowLimit_ > 0 && (top < 0 || top > session_.rowLimit_)) top = session_.rowLimit_;  // SET ROWCOUNT

    std::vector<RelColumn> columns;
    for (const auto& o : outputs) columns.push_back(o.column);
    target.begin(columns);
    if (top == 0 || session_.formatOnly_) return;

    // Rows stream to the target unless they must be grouped, sorted, made distinct or numbered.
    std::vector<SortableRow> collected;
    uint64_t produced = 0;
    auto emit = [&](const Frame& frame) {
        Row out = project(outputs, frame);
        if (!materialise) return target.add(out) && (top < 0 || ++produced < static_cast<uint64_t>(top));
        Row keys;
        for (const auto& key : orderKeys) keys.push_back(key.output ? out[*key.output] : eval(*key.expr, frame));
        collected.push_back({std::move(out), std::move(keys)});
        return true;
    };
    if (grouped) {
        std::vector<std::pair<Row, std::vector<Row>>> groups;
        scanRows(select, sources, scope, outer, [&](const Frame& frame) {
            Row key;
            for (const auto& g : select.groupBy) key.push_back(eval(*g, frame));
            auto found = std::find_if(groups.begin(), groups.end(), [&](const auto& group) { return sameRow(group.first, key); });
            Row copy(frame.row, frame.row + scope.width);
            if (found == groups.end()) groups.push_back({std::move(key), {std::move(copy)}});
            else found->second.push_back(std::move(copy));
            return true;
        });
        if (groups.empty() && select.groupBy.empty()) groups.push_back({{}, {}});  // aggregates over no rows
        Row nullRow(scope.width);
        for (const auto& [key, rows] : groups) {
            Frame frame{&scope, rows.empty() ? nullRow.data() : rows.front().data(), outer, &rows};
            if (!select.having || isTrue(*select.having, frame)) emit(frame);
        }
    } else {
        scanRows(select, sources, scope, outer, emit);
    }
    if (!materialise) return;

    if (select.distinct) {
        std::vector<SortableRow> unique;
        for (auto& candidate : collected) {
            pollCancel();
            if (std::none_of(unique.begin(), unique.end(), [&](const SortableRow& u) { return sameRow(u.output, candidate.output); }))
                unique.push_back(std::move(candidate));
        }
        collected = std::move(unique);
    }
    std::stable_sort(collected.begin(), collected.end(), [&](const SortableRow& a, const SortableRow& b) {
        pollCancel();
        for (size_t i = 0; i < orderKeys.size(); ++i) {
            int c = compareNullsFirst(a.keys[i], b.keys[i]);
            if (c != 0) return orderKeys[i].descending ? c > 0 : c < 0;
        }
        return false;
    });
    for (size_t n = 0; n < collected.size() && (top < 0 || static_cast<int64_t>(n) < top); ++n) {
        Row& out = collected[n].output;
        for (size_t i = 0; i < outputs.size(); ++i)
            if (outputs[i].expr && outputs[i].expr->kind == ExprKind::Identity) {
                const Expr& id = *outputs[i].expr;
                int64_t seed = id.args.empty() ? 1 : id.args[0]->literal.asInt();
                int64_t step = id.args.empty() ? 1 : id.args[1]->literal.asInt();
                out[i] = Value::integer(seed + static_cast<int64_t>(n) * step, TypeId::BigInt);
            }
        if (!target.add(out)) return;
    }
}

}  // namespace sandbox
