#include "app/script_command.h"

#include <QSaveFile>
#include <algorithm>
#include <memory>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string_view>

#include "app/command_line.h"
#include "app/login_password.h"
#include "app/piece_writer.h"

#include "catalog/object_directory.h"
#include "common/strings.h"
#include "common/text_codec.h"
#include "connection/connect.h"
#include "connection/data_access.h"
#include "scripts/create_script.h"
#include "scripts/insert_script.h"
#include "scripts/query_text.h"
#include "scripts/schema_reader.h"

namespace makeddl::app {

namespace {

constexpr const char* kUsage =
    "usage: makeddl script create (OBJECT... | --all)   -S SERVER -d DATABASE (-U LOGIN | -E) [options]\n"
    "       makeddl script insert (TABLE... | --all)    -S SERVER -d DATABASE (-U LOGIN | -E) [options]\n"
    "       makeddl script insert -Q SQL TABLE          -S SERVER -d DATABASE (-U LOGIN | -E) [options]\n";

constexpr const char* kDescription =
    "Writes the CREATE script of tables, views and modules, or the INSERT script of tables' rows,\n"
    "as the window's script pane holds it, in GBK (UTF-8 with --utf8) with CR LF line ends, to\n"
    "standard output or to the file of -o;\n"
    "progress goes to standard error. A login's password comes from MAKEDDL_PASSWORD or\n"
    "SQLCMDPASSWORD, or is asked for on the terminal: -P shows it to anyone who lists processes\n"
    "until the program has started and blanked it.\n"
    "Exit codes: 0 done, 1 failed (a message says why), 2 wrong words on the command line.";

// The command's options, one line each, sqlcmd's and bcp's letters beside the long names.
void addScriptOptions(QCommandLineParser& parser) {
  parser.addOptions({
      {{"S", "server"}, "The server: a name, host,port or host\\instance.", "server"},
      {{"d", "database"}, "The database.", "database"},
      {{"U", "user"}, "A SQL Server login.", "login"},
      {{"P", "password"}, "The login's password (the last resort: see above).", "password"},
      {{"E", "windows"}, "A Windows login instead of -U."},
      {{"o", "output"}, "Write the script to this file; it appears only once complete.", "file"},
      {"utf8", "Write UTF-8 instead of GBK."},
      {{"Q", "query"}, "insert: the rows of this statement, scripted under the one TABLE.", "sql"},
      {"all", "Every object of the database (create), or every user table (insert)."},
      {"remarks", "create: also the calls that restore the remarks."},
  });
  parser.addPositionalArgument("create|insert", "CREATE statements, or INSERT statements of the rows.");
  parser.addPositionalArgument("OBJECT", "Tables (insert: user tables only), views, procedures, functions and triggers "
                               "by their names as they stand (a.b is one name).", "OBJECT...");
}

struct ScriptRequest {
  bool create = false;
  std::optional<std::string> query;  // insert: the statement whose rows are scripted
  std::vector<std::string> tables;
  connection::LoginParameters login;
  std::optional<std::string> password;  // as given with -P
  std::optional<std::string> output;    // the file of -o
  bool utf8 = false;
  bool all = false;      // every table (insert) or every object (create) of the database
  bool remarks = false;  // create: also the calls that restore remarks
};

void checkRequest(const ScriptRequest& request) {
  if (request.tables.empty() != request.all) throw UsageError(request.all ? "--all or names, not both" : "no table given");
  if (request.query && request.create) throw UsageError("--query is for insert scripts");
  if (request.query && request.all) throw UsageError("--query or --all, not both");
  if (request.remarks && !request.create) throw UsageError("--remarks is for create scripts");
  if (request.query && request.tables.size() != 1) throw UsageError("--query takes exactly one table");
  if (request.login.server.empty() || request.login.database.empty())
    throw UsageError("-S (--server) and -d (--database) are needed");
  if (request.login.windowsLogin == !request.login.user.empty())
    throw UsageError("give one login: -U LOGIN (a SQL Server login) or -E (a Windows login)");
}

ScriptRequest requestFrom(const CommandLine& line) {
  const std::vector<std::string> words = line.arguments();
  if (words.empty() || (words[0] != "create" && words[0] != "insert"))
    throw UsageError(words.empty() ? "create or insert?" : "create or insert, not " + words[0]);
  ScriptRequest request;
  request.create = words[0] == "create";
  request.tables.assign(words.begin() + 1, words.end());
  request.query = line.value("query");
  request.output = line.value("output");
  request.utf8 = line.isSet("utf8");
  request.all = line.isSet("all");
  request.remarks = line.isSet("remarks");
  request.login.server = line.value("server").value_or("");
  request.login.database = line.value("database").value_or("");
  request.login.user = line.value("user").value_or("");
  request.login.windowsLogin = line.isSet("windows");
  request.password = line.value("password");
  checkRequest(request);
  return request;
}

// A SQL Server login needs its password from somewhere: never an empty one by default.
void findPassword(ScriptRequest& request) {
  if (request.login.windowsLogin) return;
  const std::optional<std::string> password = loginPassword(
      request.password, "Password for " + request.login.user + " on " + request.login.server + ": ");
  if (!password)
    throw UsageError("no password for " + request.login.user +
                     ": set MAKEDDL_PASSWORD (or SQLCMDPASSWORD), run on a terminal to be asked, or give -P");
  request.login.password = *password;
}

// Connects as the window's connection test does, with the driver settings from the environment.
void connect(connection::Connection& connection, const connection::LoginParameters& login) {
  try {
    connection::connectTo(connection, login, connection::driverSettingsFromEnvironment());
  } catch (const connection::DatabaseError& error) {
    throw std::runtime_error(std::string("无法连接数据源！") + error.what());
  }
}

// The database's objects as the command line finds the names given in it.
struct Catalogue {
  catalog::ServerVersion server;
  std::vector<catalog::CatalogObject> objects;
};

Catalogue readCatalogue(connection::Connection& connection) {
  connection::DataSet query(connection, "TempQuery");
  Catalogue catalogue;
  catalogue.server = scripts::readServerVersion(query);
  catalogue.objects = catalog::readObjectDirectory(query, catalogue.server);
  return catalogue;
}

// The objects the names stand for. Every name must be an object the script can make (a user
// table for INSERT scripts): anything else would give a script of nothing that still claims to
// recreate it.
std::vector<ObjectName> scriptableObjects(const Catalogue& catalogue, const std::vector<std::string>& names,
                                          const std::vector<std::string>& types) {
  std::vector<ObjectName> objects;
  for (const std::string& name : names) {
    const catalog::CatalogObject* object = catalog::findNamedObject(catalogue.objects, name);
    if (!object) throw std::runtime_error("数据库中没有名为“" + name + "”的对象");
    if (std::find(types.begin(), types.end(), object->type) == types.end())
      throw std::runtime_error("“" + name + "”" + (types.size() == 1 ? "不是用户表" : "不是能生成脚本的对象") +
                               "（类型 " + object->type + "）");
    objects.push_back(object->name);
  }
  return objects;
}

std::vector<ObjectName> userTables(const Catalogue& catalogue) {
  std::vector<ObjectName> tables;
  for (const catalog::CatalogObject& object : catalogue.objects)
    if (object.type == "U" && !(object.name.inDbo() && object.name.name == "dtproperties")) tables.push_back(object.name);
  return tables;
}

// The table a query's rows are scripted for need not exist: a name of the database as found,
// else as written.
ObjectName queryTarget(const Catalogue& catalogue, const std::string& name) {
  if (const catalog::CatalogObject* object = catalog::findNamedObject(catalogue.objects, name)) return object->name;
  return parseObjectName(name).value_or(ObjectName(name));
}

// Where the script's bytes go as they are made: standard output, or (-o) a temporary file
// beside the named one that takes its place only once the script is complete, so that a
// failure leaves no file, or the old one as it was.
class ScriptDestination {
 public:
  ScriptDestination(std::ostream& out, const std::optional<std::string>& path) : out_(out) {
    if (!path) return;
    file_ = std::make_unique<QSaveFile>(QString::fromStdString(*path));
    if (!file_->open(QIODevice::WriteOnly)) throw writeFailure();
  }

  void write(std::string_view bytes) {
    const auto size = static_cast<qint64>(bytes.size());
    if (file_ ? file_->write(bytes.data(), size) != size : !out_.write(bytes.data(), size)) throw writeFailure();
  }

  void complete() {
    if (file_ ? !file_->commit() : !out_.flush()) throw writeFailure();
  }

 private:
  std::runtime_error writeFailure() const {
    if (!file_) return std::runtime_error("cannot write standard output");
    return std::runtime_error("cannot write " + file_->fileName().toStdString() + ": " +
                              file_->errorString().toStdString());
  }

  std::ostream& out_;
  std::unique_ptr<QSaveFile> file_;
};

// The script's bytes, made as its lines come: each line ends in CR LF, its own text untouched
// (a value's characters never become line ends), and lines are gathered into pieces of about
// a megabyte, each encoded on its own and written on the writer's thread while the next one is
// made, so that memory stays flat however long the script. On standard output a failure after
// the first piece leaves the pieces before it; -o leaves nothing.
class ScriptWriter {
 public:
  ScriptWriter(bool utf8, ScriptDestination& destination)
      : destination_(destination), pieces_([this, utf8](const std::string& piece) { write(piece, utf8); }) {
    pending_.reserve(kPieceSize + kPieceSize / 8);
  }

  void addLine(const std::string& line) {
    pending_ += line;
    pending_ += "\r\n";
    if (pending_.size() >= kPieceSize) handPending();
  }

  void addLines(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) addLine(line);
  }

  void finish() {
    handPending();
    pieces_.finish();
    destination_.complete();
  }

 private:
  static constexpr std::size_t kPieceSize = 1 << 20;

  void handPending() {
    if (pending_.empty()) return;
    pieces_.hand(std::move(pending_));
    pending_ = std::string();
    pending_.reserve(kPieceSize + kPieceSize / 8);
  }

  // On the writer's thread.
  void write(const std::string& piece, bool utf8) {
    try {
      destination_.write(utf8 ? piece : encodeFromUtf8(piece, Encoding::Gbk));
    } catch (const UnencodableText& error) {
      throw std::runtime_error("脚本中有GBK编码无法表示的字符：" + error.characters() +
                               "；请加 --utf8 以UTF-8输出");
    }
  }

  ScriptDestination& destination_;
  std::string pending_;
  PieceWriter pieces_;  // last: its thread stops before the rest goes
};

// While it lives, writing to `stream` no longer flushes the stream it is tied to (std::cerr is
// tied to std::cout): the progress lines must not flush the script's standard output, which the
// writer's thread is writing.
class UntiedStream {
 public:
  explicit UntiedStream(std::ostream& stream) : stream_(stream), tiedTo_(stream.tie(nullptr)) {}
  ~UntiedStream() { stream_.tie(tiedTo_); }
  UntiedStream(const UntiedStream&) = delete;
  UntiedStream& operator=(const UntiedStream&) = delete;

 private:
  std::ostream& stream_;
  std::ostream* tiedTo_;
};

// Rows are turned into statements as they arrive from the driver, none kept.
void insertScript(connection::Connection& connection, const ScriptRequest& request, const Catalogue& catalogue,
                  const scripts::Progress& progress, ScriptWriter& script) {
  connection::DataSet query(connection, "ADOQuery1");
  const scripts::LineSink sink = [&script](const std::string& line) { script.addLine(line); };
  if (request.query)
    return scripts::streamQueryInsertSQL(query, scripts::editorStatement(*request.query),
                                         queryTarget(catalogue, request.tables[0]), progress, sink);
  const std::vector<ObjectName> tables =
      request.all ? userTables(catalogue) : scriptableObjects(catalogue, request.tables, {"U"});
  scripts::streamInsertSQL(query, tables, progress, sink);
}

void makeScript(const ScriptRequest& request, std::ostream& err, ScriptWriter& script) {
  connection::Connection connection;
  connect(connection, request.login);
  const scripts::Progress progress = [&err](int done, int total) {
    err << "makeddl script: " << done << "/" << total << '\n';
  };
  const Catalogue catalogue = readCatalogue(connection);
  if (request.create) {
    const scripts::SchemaSelection selection{
        scriptableObjects(catalogue, request.tables, {"U", "V", "P", "FN", "IF", "TF", "TR"}), request.all,
        catalogue.server, catalogue.objects};
    connection::DataSet catalog(connection, "QueryMakeDDL");
    return script.addLines(scripts::MakeDDL(catalog, selection, {request.remarks}, progress));
  }
  insertScript(connection, request, catalogue, progress, script);
}

}  // namespace

int runScriptCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  CommandLine line("makeddl script", kUsage, kDescription);
  addScriptOptions(line.parser());
  ScriptRequest request;
  try {
    if (!line.parse(args, out)) return kExitDone;
    request = requestFrom(line);
    findPassword(request);
  } catch (const UsageError& error) {
    return line.reportUsageError(error, err);
  }
  try {
    const UntiedStream progress(err);
    ScriptDestination destination(out, request.output);
    ScriptWriter script(request.utf8, destination);
    makeScript(request, err, script);
    script.finish();
  } catch (const std::exception& error) {
    err << "makeddl script: " << error.what() << '\n';
    return kExitFailed;
  }
  return kExitDone;
}

}  // namespace makeddl::app
