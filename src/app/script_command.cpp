#include "app/script_command.h"

#include <algorithm>
#include <optional>
#include <ostream>
#include <stdexcept>

#include "catalog/object_queries.h"
#include "common/strings.h"
#include "common/text_codec.h"
#include "connection/connect.h"
#include "connection/data_access.h"
#include "scripts/create_script.h"
#include "scripts/insert_script.h"
#include "scripts/query_text.h"

namespace makeddl::app {

namespace {

constexpr const char* kUsage =
    "usage: makeddl script create (OBJECT... | --all)       [connection] [--utf8] [--remarks]\n"
    "       makeddl script insert (TABLE... | --all)        [connection] [--utf8]\n"
    "       makeddl script insert --query SQL TABLE         [connection] [--utf8]\n"
    "  connection: --server S --database D (--user U --password P | --windows)\n"
    "  S as the window's server box takes it: a name, host,port or host\\instance.\n"
    "  Writes the script to standard output in GBK (UTF-8 with --utf8), lines ended by CR LF;\n"
    "  progress goes to standard error.\n";

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct ScriptRequest {
  bool create = false;
  std::optional<std::string> query;  // insert: the statement whose rows are scripted
  std::vector<std::string> tables;
  connection::LoginParameters login;
  bool userGiven = false;
  bool windowsGiven = false;
  bool utf8 = false;
  bool all = false;      // every table (insert) or every object (create) of the database
  bool remarks = false;  // create: also the calls that restore remarks
};

std::string optionValue(const std::vector<std::string>& args, std::size_t& i) {
  if (i + 1 >= args.size()) throw UsageError(args[i] + " needs a value");
  return args[++i];
}

void readOption(const std::vector<std::string>& args, std::size_t& i, ScriptRequest& request) {
  const std::string& option = args[i];
  if (option == "--server") {
    request.login.server = optionValue(args, i);
  } else if (option == "--database") {
    request.login.database = optionValue(args, i);
  } else if (option == "--user") {
    request.login.user = optionValue(args, i);
    request.login.windowsLogin = false;
    request.userGiven = true;
  } else if (option == "--password") {
    request.login.password = optionValue(args, i);
  } else if (option == "--windows") {
    request.login.windowsLogin = true;
    request.windowsGiven = true;
  } else if (option == "--utf8") {
    request.utf8 = true;
  } else if (option == "--all" && !request.query) {
    request.all = true;
  } else if (option == "--remarks" && request.create) {
    request.remarks = true;
  } else if (option == "--query" && !request.create && !request.all) {
    request.query = optionValue(args, i);
  } else {
    throw UsageError("unknown option " + option);
  }
}

void checkRequest(const ScriptRequest& request) {
  if (request.tables.empty() != request.all) throw UsageError(request.all ? "--all or names, not both" : "no table given");
  if (request.query && request.tables.size() != 1) throw UsageError("--query takes exactly one table");
  if (request.login.server.empty() || request.login.database.empty())
    throw UsageError("--server and --database are needed");
  if (request.windowsGiven == request.userGiven)
    throw UsageError("give either --user and --password or --windows");
}

ScriptRequest parseRequest(const std::vector<std::string>& args) {
  if (args.empty() || (args[0] != "create" && args[0] != "insert")) throw UsageError("create or insert?");
  ScriptRequest request;
  request.create = args[0] == "create";
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i].starts_with("--"))
      readOption(args, i, request);
    else
      request.tables.push_back(args[i]);
  }
  checkRequest(request);
  return request;
}

// Connects as the window's connection test does, with the driver settings from the environment.
void connect(connection::Connection& connection, const connection::LoginParameters& login) {
  try {
    connection::connectTo(connection, login, connection::driverSettingsFromEnvironment());
  } catch (const connection::DatabaseError& error) {
    throw std::runtime_error(std::string("无法连接数据源！") + error.what());
  }
}

// Every name must be an object the script can make (a user table for INSERT scripts):
// anything else would give a script of nothing that still claims to recreate it.
void requireScriptableObjects(connection::Connection& connection, const std::vector<std::string>& names,
                              const std::vector<std::string>& types) {
  if (names.empty()) return;
  connection::DataSet objects(connection, "TempQuery");
  objects.query(catalog::objectTypesQuery(names));
  for (const std::string& name : names) {
    std::optional<std::string> type;
    for (const auto& row : objects.rows())
      if (row.at(0) && (*row[0] == name || equalsIgnoringCase(*row[0], name))) type = trimmed(row.at(1).value_or(""));
    if (!type) throw std::runtime_error("数据库中没有名为“" + name + "”的对象");
    if (std::find(types.begin(), types.end(), *type) == types.end())
      throw std::runtime_error("“" + name + "”" + (types.size() == 1 ? "不是用户表" : "不是能生成脚本的对象") +
                               "（类型 " + *type + "）");
  }
}

std::vector<std::string> userTableNames(connection::Connection& connection) {
  connection::DataSet tables(connection, "TempQuery");
  tables.query("select name from sysobjects where type = 'U' and name <> 'dtproperties' order by name");
  return connection::firstColumnTexts(tables);
}

// The script's bytes, made as its lines come: each line ends in CR LF, its own text untouched
// (a value's characters never become line ends), and lines are gathered into pieces of about
// a megabyte, each encoded on its own, so that the text is never held twice. The bytes are
// written only once the whole script is made, so that a failure writes nothing.
class ScriptBytes {
 public:
  explicit ScriptBytes(bool utf8) : utf8_(utf8) {}

  void addLine(const std::string& line) {
    pending_ += line;
    pending_ += "\r\n";
    if (pending_.size() >= kPieceSize) encodePending();
  }

  void writeTo(std::ostream& out) {
    encodePending();
    for (const std::string& piece : pieces_)
      out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
  }

 private:
  static constexpr std::size_t kPieceSize = 1 << 20;

  void encodePending() {
    if (pending_.empty()) return;
    std::string text = std::move(pending_);
    pending_.clear();
    try {
      pieces_.push_back(utf8_ ? std::move(text) : encodeFromUtf8(text, Encoding::Gbk));
    } catch (const UnencodableText& error) {
      throw std::runtime_error("脚本中有GBK编码无法表示的字符：" + error.characters() +
                               "；请加 --utf8 以UTF-8输出");
    }
  }

  bool utf8_;
  std::string pending_;
  std::vector<std::string> pieces_;
};

void addLines(ScriptBytes& script, const std::vector<std::string>& lines) {
  for (const std::string& line : lines) script.addLine(line);
}

// Rows of whole tables are turned into statements as they arrive, none kept.
void insertScript(connection::Connection& connection, const ScriptRequest& request,
                  const scripts::Progress& progress, ScriptBytes& script) {
  connection::DataSet query(connection, "ADOQuery1");
  if (!request.query)
    return scripts::streamInsertSQL(query, request.tables, progress,
                                    [&script](const std::string& line) { script.addLine(line); });
  if (scripts::runEditorStatement(query, *request.query)) throw std::runtime_error("查询没有返回记录集");
  addLines(script,
           scripts::Mark_InsertSQL(query, request.tables, scripts::InsertRows::CurrentResult, progress));
}

void makeScript(const ScriptRequest& request, std::ostream& err, ScriptBytes& script) {
  connection::Connection connection;
  connect(connection, request.login);
  const scripts::Progress progress = [&err](int done, int total) {
    err << "makeddl script: " << done << "/" << total << '\n';
  };
  if (request.create) {
    requireScriptableObjects(connection, request.tables, {"U", "V", "P", "FN", "IF", "TF", "TR"});
    connection::DataSet catalog(connection, "QueryMakeDDL");
    return addLines(script, scripts::MakeDDL(catalog, {request.tables, request.all}, {request.remarks}, progress));
  }
  ScriptRequest tables = request;
  if (request.all) tables.tables = userTableNames(connection);
  if (!request.query) requireScriptableObjects(connection, tables.tables, {"U"});
  insertScript(connection, tables, progress, script);
}

}  // namespace

int runScriptCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  ScriptRequest request;
  try {
    request = parseRequest(args);
  } catch (const UsageError& error) {
    err << "makeddl script: " << error.what() << '\n' << kUsage;
    return 2;
  }
  try {
    ScriptBytes script(request.utf8);
    makeScript(request, err, script);
    script.writeTo(out);
    out.flush();
    if (!out) throw std::runtime_error("cannot write standard output");
  } catch (const std::exception& error) {
    err << "makeddl script: " << error.what() << '\n';
    return 1;
  }
  return 0;
}

}  // namespace makeddl::app
