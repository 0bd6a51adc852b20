// Speed and memory of `makeddl script` against the sandbox server, each run a child process
// timed alone, its peak resident memory taken from wait4:
//
//   insert  `makeddl script insert big` of a 1,000,000-row table of six mixed columns, beside
//           `freebcp bench.dbo.big out FILE -c` of the same table from the same server;
//           targets: within 2x of freebcp's time, peak memory within 3x of the script's size.
//   create  `makeddl script create` of 2,000 tables of ten columns, a key, an index and a remark
//           each, named one by one and with --all; target: --all in under 5 s.
//
// Run: bench_script_commands [--rows N] [--tables N] [--keep]   (--keep leaves the files in /tmp)

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "odbc_client.hpp"
#include "sandbox_fixture.hpp"
#include "ten_column_tables.hpp"

extern char** environ;

namespace {

using sandbox::testing::OdbcConnection;
using sandbox::testing::SandboxProcess;

struct ChildRun {
  double seconds = 0;
  double cpuSeconds = 0;  // the child's own processor time, user and system
  double peakMb = 0;
  double outputMb = 0;
};

double fileMb(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 ? static_cast<double>(info.st_size) / 1e6 : 0;
}

// Runs the program with standard output into `outputPath` and standard error discarded.
ChildRun runChild(const std::vector<std::string>& args, const std::string& outputPath) {
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_addopen(&files, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[0], &files, nullptr, argv.data(), environ) != 0)
    throw std::runtime_error("cannot start " + args[0]);
  posix_spawn_file_actions_destroy(&files);
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error(args[0] + " failed");
  const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return {elapsed.count(), seconds(usage.ru_utime) + seconds(usage.ru_stime),
          static_cast<double>(usage.ru_maxrss) / 1024.0, fileMb(outputPath)};
}

void runOrThrow(OdbcConnection& connection, const std::string& sql) {
  const auto batch = connection.run(sql);
  if (!batch.ok)
    throw std::runtime_error(sql.substr(0, 200) + ": " + (batch.messages.empty() ? "" : batch.messages[0]));
}

// Six mixed columns. The numbers 0 to 999 come from a three-fold join of the digits; the rows
// are added a hundred thousand at a time, so that no statement outlasts the query timeout.
void fillBigTable(OdbcConnection& connection, int rows) {
  runOrThrow(
      connection,
      "create table digits (d int not null) "
      "insert digits values (0) insert digits values (1) insert digits values (2) insert digits values (3) "
      "insert digits values (4) insert digits values (5) insert digits values (6) insert digits values (7) "
      "insert digits values (8) insert digits values (9) "
      "select a.d * 100 + b.d * 10 + c.d as n into thousand from digits a, digits b, digits c "
      "create table big (id int not null, name varchar(20) null, amount decimal(10,2) null, "
      "created datetime null, ratio float null, label nvarchar(10) null)");
  for (int first = 0; first < rows; first += 100000)
    runOrThrow(connection,
               "insert big select n, 'name ' + cast(n as varchar(10)), cast(n as decimal(10,2)) / 100, "
               "'2024-01-15 13:45:30.500', n / 7.0e0, N'标签' + cast(n % 10 as nvarchar(1)) from "
               "(select h.n * 1000 + t.n as n from thousand h, thousand t where h.n >= " +
                   std::to_string(first / 1000) + " and h.n < " + std::to_string((first + 100000) / 1000) +
                   ") numbers where n < " + std::to_string(rows));
}

using bench::tableName;

void createTables(OdbcConnection& connection, int count) {
  std::string batch;
  for (int i = 1; i <= count; ++i) batch += bench::createTenColumnTable(i);
  runOrThrow(connection, batch);
}

std::vector<std::string> makeddlArgs(const SandboxProcess& server, const std::string& command) {
  return {MAKEDDL_PROGRAM,   "script", command,  "--server", "127.0.0.1," + std::to_string(server.port()),
          "--database",      "bench",  "--user", "sa",       "--password",
          server.password(), "--utf8"};
}

// freebcp finds the server through a freetds.conf of its own.
std::vector<std::string> freebcpArgs(const SandboxProcess& server, const std::string& folder,
                                     const std::string& outputPath) {
  const std::string conf = folder + "/freetds.conf";
  std::ofstream(conf) << "[bench]\n  host = 127.0.0.1\n  port = " << server.port()
                      << "\n  tds version = 7.1\n  client charset = UTF-8\n";
  setenv("FREETDSCONF", conf.c_str(), 1);
  return {"/usr/bin/freebcp", "bench.dbo.big", "out", outputPath, "-c", "-S", "bench", "-U", "sa", "-P",
          server.password()};
}

void report(const char* what, const ChildRun& run) {
  std::printf("%-34s %8.2f s (%.2f s CPU) %10.3f MB out %8.1f MB/s %8.1f MB peak RSS\n", what, run.seconds,
              run.cpuSeconds, run.outputMb, run.seconds > 0 ? run.outputMb / run.seconds : 0, run.peakMb);
}

int intOption(int argc, char** argv, const std::string& name, int fallback) {
  for (int i = 1; i + 1 < argc; ++i)
    if (argv[i] == name) return std::atoi(argv[i + 1]);
  return fallback;
}

void benchCreate(const SandboxProcess& server, OdbcConnection& connection, int tables,
                 const std::string& folder) {
  const auto start = std::chrono::steady_clock::now();
  createTables(connection, tables);
  const std::chrono::duration<double> created = std::chrono::steady_clock::now() - start;
  std::printf("%d tables created in %.2f s\n", tables, created.count());
  std::vector<std::string> create = makeddlArgs(server, "create");
  for (int i = 1; i <= tables; ++i) create.push_back(tableName(i));
  const ChildRun ddl = runChild(create, folder + "/create.sql");
  report(("makeddl script create (" + std::to_string(tables) + " tables)").c_str(), ddl);
  std::printf("create: %.1f ms a table\n", ddl.seconds * 1000 / tables);
  std::vector<std::string> all = makeddlArgs(server, "create");
  all.push_back("--all");
  const ChildRun whole = runChild(all, folder + "/create-all.sql");
  report("makeddl script create --all", whole);
}

bool keepFiles(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::string(argv[i]) == "--keep") return true;
  return false;
}

}  // namespace

int main(int argc, char** argv) try {
  const int rows = intOption(argc, argv, "--rows", 1000000);
  const int tables = intOption(argc, argv, "--tables", 2000);
  char folderTemplate[] = "/tmp/bench-script-XXXXXX";
  const std::string folder = mkdtemp(folderTemplate);
  SandboxProcess server("Bench#1");
  OdbcConnection connection(server.odbcConnectionString());
  runOrThrow(connection, "create database bench");
  runOrThrow(connection, "use bench");

  auto start = std::chrono::steady_clock::now();
  fillBigTable(connection, rows);
  std::chrono::duration<double> filled = std::chrono::steady_clock::now() - start;
  std::printf("table big: %d rows, filled in %.2f s\n", rows, filled.count());

  std::vector<std::string> insert = makeddlArgs(server, "insert");
  insert.push_back("big");
  const ChildRun bcp = runChild(freebcpArgs(server, folder, folder + "/big.bcp"), folder + "/freebcp.out");
  const ChildRun script = runChild(insert, folder + "/big.sql");
  report("freebcp big out -c", {bcp.seconds, bcp.cpuSeconds, bcp.peakMb, fileMb(folder + "/big.bcp")});
  report("makeddl script insert big", script);
  std::printf("insert: time %.2fx freebcp's (target <= 2), peak RSS %.2fx the script (target <= 3)\n",
              script.seconds / bcp.seconds, script.peakMb / script.outputMb);

  if (tables > 0) benchCreate(server, connection, tables, folder);
  if (!keepFiles(argc, argv)) std::system(("rm -rf " + folder).c_str());
  return 0;
} catch (const std::exception& error) {
  std::fprintf(stderr, "bench_script_commands: %s\n", error.what());
  return 1;
}
