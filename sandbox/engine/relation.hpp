#pragma once
// A table-shaped input of a query: a user table, a temporary table or a catalogue table.

#include "engine/storage.hpp"

#include <memory>
#include <string>
#include <vector>

namespace sandbox {

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
    std::string name;

    const std::vector<Row>& allRows() const { return rows ? *rows : owned; }
};

// Column list of a stored table as a query sees it.
std::vector<RelColumn> columnsOf(const Table& table);
// Builds a column list from "name type" pairs such as {"xtype", "char(2)"}.
std::vector<RelColumn> describeColumns(std::initializer_list<std::pair<const char*, const char*>> spec);
// A type from its text: "int", "varchar(255)", "decimal(18,2)", "sysname".
SqlType parseTypeText(std::string_view text);

}  // namespace sandbox
