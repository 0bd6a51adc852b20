#pragma once
// The query editor's statement and how it is run.

#include <optional>
#include <string>
#include <string_view>

#include "connection/data_access.h"

namespace makeddl::scripts {

// The statement of the editor's text: its lines joined with CR LF, so that the last word of a
// line and the first word of the next stay apart and a "--" comment ends at its line.
std::string editorStatement(std::string_view editorText);

// Runs the editor's statement once on the data set. Returns nothing when it yielded a row set,
// on which the data set is then open; otherwise the rows affected (-1 when none were reported),
// with the data set closed. Throws DatabaseError when the server refuses the statement.
std::optional<long long> runEditorStatement(connection::DataSet& query, std::string_view editorText);

}  // namespace makeddl::scripts
