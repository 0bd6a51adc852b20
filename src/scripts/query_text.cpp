#include "scripts/query_text.h"

namespace makeddl::scripts {

std::string editorStatement(std::string_view editorText) {
  std::string statement;
  statement.reserve(editorText.size() + editorText.size() / 16);
  for (std::size_t i = 0; i < editorText.size(); ++i) {
    const char c = editorText[i];
    if (c == '\r' || c == '\n') {
      statement += "\r\n";
      if (c == '\r' && i + 1 < editorText.size() && editorText[i + 1] == '\n') ++i;
    } else {
      statement += c;
    }
  }
  return statement;
}

std::optional<long long> runEditorStatement(connection::DataSet& query, std::string_view editorText) {
  query.clearSql();
  query.addLine(editorStatement(editorText));
  query.close();
  return query.openOrExecute();
}

}  // namespace makeddl::scripts
