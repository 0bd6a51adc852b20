#pragma once
// SQL texts for picking an object in the object lists: the table's rows or headings, the
// SELECT template for the query editor, an object's source text, and the same-name search.

#include <string>
#include <string_view>
#include <vector>

namespace makeddl::catalog {

// The names for the four object lists in list order: user tables, views, stored procedures,
// and functions, scalar and table-valued alike; each ordered by name.
std::vector<std::string> objectListQueries();

// Every row of a table or view: "select * from " and the name.
std::string selectAllQuery(std::string_view table);

// The table's columns without any row, for when its rows are not on show.
std::string columnHeadingsQuery(std::string_view table);

// The three lines the query editor receives for a table with these columns:
// "SELECT    " with the columns joined by " , " and one blank at the end, an empty line, and
// "FROM      " with the table and eight blanks. Empty when there are no columns.
std::vector<std::string> selectTemplateLines(const std::vector<std::string>& columns, std::string_view table);

// The source text of a view, procedure or function, one line per row.
std::string sourceTextQuery(std::string_view object);

// A row of the source text as a line of the script pane: without the line break that ends
// the row, blanks and everything else kept.
std::string sourceTextLine(std::string_view row);

// The objects that have a column of this name.
std::string sameNameQuery(std::string_view column);

// The name and type code of every object of the database named as one of `names`.
std::string objectTypesQuery(const std::vector<std::string>& names);

}  // namespace makeddl::catalog
