#pragma once
// SQL texts for picking an object in the object lists: the table's rows or headings, the
// SELECT template for the query editor, an object's source text, and the same-name search.

#include <string>
#include <string_view>
#include <vector>

#include "catalog/server_version.h"
#include "common/object_name.h"
#include "connection/data_access.h"

namespace makeddl::catalog {

// The names for the four object lists in list order: user tables, views, stored procedures,
// and functions, scalar and table-valued alike; each ordered by name. On SQL Server 2005 and
// later each name comes with its schema in a second column.
std::vector<std::string> objectListQueries(const ServerVersion& server = {});

// The objects a list query (or the same-name query) found, in the order found.
std::vector<ObjectName> listedObjects(const connection::DataSet& query);

// The four object lists, read one after another on `query`, each added to `lists` as soon as
// it is read: a failure keeps those read before it.
void readObjectLists(connection::DataSet& query, const ServerVersion& server, std::vector<std::vector<ObjectName>>& lists);

// Every row of a table or view: "select * from " and the name.
std::string selectAllQuery(const ObjectName& table);

// The table's columns without any row, for when its rows are not on show.
std::string columnHeadingsQuery(const ObjectName& table);

// The three lines the query editor receives for a table with these columns:
// "SELECT    " with the columns joined by " , " and one blank at the end, an empty line, and
// "FROM      " with the table and eight blanks. Empty when there are no columns.
std::vector<std::string> selectTemplateLines(const std::vector<std::string>& columns, const ObjectName& table);

// The source text of a view, procedure or function, one line per row.
std::string sourceTextQuery(const ObjectName& object);

// A row of the source text as a line of the script pane: without the line break that ends
// the row, blanks and everything else kept.
std::string sourceTextLine(std::string_view row);

// The objects that have a column of this name; with their schemas as the lists have them.
std::string sameNameQuery(std::string_view column, const ServerVersion& server = {});

}  // namespace makeddl::catalog
