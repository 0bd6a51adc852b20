#pragma once
// A table-shaped input of a query: a user table, a temporary table or a catalogue table.

#include "engine/storage.hpp"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace sandbox {

// Rows that many queries read at once and nobody changes (the catalogue's tables as cached),
// with lookups by the value of an integer column, made the first time a query asks.
class SharedRows {
public:
    explicit SharedRows(std::vector<Row> rows) : rows_(std::move(rows)) {}
    const std::vector<Row>& rows() const { return rows_; }
    // The positions of the rows whose `column` equals `key`, in row order; nullptr when the
    // column holds other values than integers.
    const std::vector<uint32_t>* matching(size_t column, int64_t key) const;

private:
    using Positions = std::unordered_map<int64_t, std::vector<uint32_t>>;
    const Positions* positionsOf(size_t column) const;

    std::vector<Row> rows_;
    mutable std::mutex mutex_;
    mutable std::map<size_t, std::unique_ptr<const Positions>> byColumn_;  // null: not integers
};

struct RelColumn {
    std::string name;
    SqlType type;
    bool nullable = true;
    bool identity = false;
};

struct Relation {
    std::vector<RelColumn> columns;
    std::vector<Row> owned;             // rows built for this query (catalogue tables)
    const std::vector<Row>* rows = nullptr;
    std::shared_ptr<Table> table;       // set when the rows are a stored table's
    std::shared_ptr<const SharedRows> shared;  // set when the rows are shared (and `rows` points at them)
    std::string name;

    const std::vector<Row>& allRows() const { return rows ? *rows : owned; }
    // The positions of the rows whose `column` equals `key`, when the relation can say without
    // reading every row; nullopt otherwise.
    std::optional<std::vector<uint32_t>> lookup(size_t column, const Value& key) const;
};

// A relation over shared rows.
Relation sharedRelation(std::vector<RelColumn> columns, std::shared_ptr<const SharedRows> rows, std::string name);

// Column list of a stored table as a query sees it.
std::vector<RelColumn> columnsOf(const Table& table);
// Builds a column list from "name type" pairs such as {"xtype", "char(2)"}.
std::vector<RelColumn> describeColumns(std::initializer_list<std::pair<const char*, const char*>> spec);
// A type from its text: "int", "varchar(255)", "decimal(18,2)", "sysname".
SqlType parseTypeText(std::string_view text);

}  // namespace sandbox
