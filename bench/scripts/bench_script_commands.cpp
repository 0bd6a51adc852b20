// Speed and memory of `makeddl script` against the sandbox server, each run a child process
// timed alone, its peak resident memory taken from wait4 (child_process.h):
//
//   insert  `makeddl script insert big` (GBK) of a 1,000,000-row table of six mixed columns
//           into a file, beside `freebcp bench.dbo.big out FILE -c` of the same table from the
//           same server, in turn, three rounds (--rounds); also with --utf8, and with -o FILE;
//           targets: GBK within 1.3x of freebcp's time (median of the rounds' ratios), peak
//           memory under 64 MB whatever the script's size. The GBK script beside its peer made
//           of whole processes: the UTF-8 script, then `iconv -f UTF-8 -t GBK` of it (the two
//           times added); bench_text_codec sets the encoder itself beside iconv.
//   create  `makeddl script create` of 2,000 tables of ten columns, a key, an index and a remark
//           each, named one by one and with --all; target: --all in under 5 s.
//
// Run: bench_script_commands [--rows N] [--tables N] [--rounds N] [--keep]
//      (--keep leaves the files in /tmp)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "big_table.h"
#include "child_process.h"
#include "odbc_client.hpp"
#include "sandbox_fixture.hpp"
#include "ten_column_tables.hpp"

namespace {

using bench::ChildRun;
using bench::fileMb;
using bench::fillBigTable;
using bench::freebcpArgs;
using bench::runChild;
using bench::runOrThrow;
using bench::tableName;
using sandbox::testing::OdbcConnection;
using sandbox::testing::SandboxProcess;

void createTables(OdbcConnection& connection, int count) {
  std::string batch;
  for (int i = 1; i <= count; ++i) batch += bench::createTenColumnTable(i);
  runOrThrow(connection, batch);
}

// The password reaches the program as a user's would, through MAKEDDL_PASSWORD.
std::vector<std::string> makeddlArgs(const SandboxProcess& server, const std::string& command) {
  setenv("MAKEDDL_PASSWORD", server.password().c_str(), 1);
  return {MAKEDDL_PROGRAM, "script", command, "-S", "127.0.0.1," + std::to_string(server.port()), "-d", "bench",
          "-U", "sa"};
}

void report(const char* what, const ChildRun& run, double outputMb) {
  std::printf("%-34s %8.2f s (%.2f s CPU) %10.3f MB out %8.1f MB/s %8.1f MB peak RSS\n", what, run.seconds,
              run.cpuSeconds, outputMb, run.seconds > 0 ? outputMb / run.seconds : 0, run.peakMb);
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
  const ChildRun ddl = runChild(create, "/dev/null", folder + "/create.sql");
  report(("makeddl script create (" + std::to_string(tables) + " tables)").c_str(), ddl,
         fileMb(folder + "/create.sql"));
  std::printf("create: %.1f ms a table\n", ddl.seconds * 1000 / tables);
  std::vector<std::string> all = makeddlArgs(server, "create");
  all.push_back("--all");
  const ChildRun whole = runChild(all, "/dev/null", folder + "/create-all.sql");
  report("makeddl script create --all", whole, fileMb(folder + "/create-all.sql"));
}

// freebcp, then the GBK and the UTF-8 script on standard output into a file, as freebcp
// writes its own, then the GBK script with -o, whose file is synced to the disk before it takes
// its name; in turn.
void benchInsert(const SandboxProcess& server, const std::string& folder, int rounds) {
  std::vector<std::string> gbk = makeddlArgs(server, "insert");
  gbk.push_back("big");
  std::vector<std::string> utf8 = gbk;
  utf8.push_back("--utf8");
  std::vector<std::string> file = gbk;
  file.insert(file.end(), {"-o", folder + "/big-o.sql"});
  const std::vector<std::string> bcp = freebcpArgs(server, folder, folder + "/big.bcp");
  const std::vector<std::string> iconv{"/usr/bin/iconv", "-f", "UTF-8", "-t", "GBK"};
  std::vector<double> gbkRatios, utf8Ratios, fileRatios, peaks, viaIconvRatios, viaIconvCpuRatios;
  for (int round = 1; round <= rounds; ++round) {
    const ChildRun peer = runChild(bcp, "/dev/null", folder + "/freebcp.out");
    const ChildRun ours = runChild(gbk, "/dev/null", folder + "/big.sql");
    const ChildRun ours8 = runChild(utf8, "/dev/null", folder + "/big-utf8.sql");
    const ChildRun recoded = runChild(iconv, folder + "/big-utf8.sql", folder + "/big-iconv.sql");
    const ChildRun oursFile = runChild(file, "/dev/null", "/dev/null");
    std::printf("round %d\n", round);
    report("freebcp big out -c", peer, fileMb(folder + "/big.bcp"));
    report("makeddl script insert big (GBK)", ours, fileMb(folder + "/big.sql"));
    report("makeddl script insert big --utf8", ours8, fileMb(folder + "/big-utf8.sql"));
    report("makeddl script insert big -o (GBK)", oursFile, fileMb(folder + "/big-o.sql"));
    report("iconv -f UTF-8 -t GBK of the --utf8 script", recoded, fileMb(folder + "/big-iconv.sql"));
    viaIconvRatios.push_back(ours.seconds / (ours8.seconds + recoded.seconds));
    viaIconvCpuRatios.push_back(ours.cpuSeconds / (ours8.cpuSeconds + recoded.cpuSeconds));
    gbkRatios.push_back(ours.seconds / peer.seconds);
    utf8Ratios.push_back(ours8.seconds / peer.seconds);
    fileRatios.push_back(oursFile.seconds / peer.seconds);
    peaks.push_back(std::max({ours.peakMb, ours8.peakMb, oursFile.peakMb}));
  }
  std::printf("insert, times against freebcp's (medians of the rounds): GBK %.2fx (target <= 1.3), UTF-8 %.2fx, "
              "GBK with -o %.2fx; peak RSS %.1f MB for a %.0f MB script (target < 64)\n",
              bench::median(gbkRatios), bench::median(utf8Ratios), bench::median(fileRatios), bench::median(peaks),
              fileMb(folder + "/big.sql"));
  std::printf("GBK script against the UTF-8 script then iconv -f UTF-8 -t GBK (medians of the rounds): "
              "%.2fx the time, %.2fx the processor time\n",
              bench::median(viaIconvRatios), bench::median(viaIconvCpuRatios));
  if (std::system(("cmp -s " + folder + "/big.sql " + folder + "/big-iconv.sql").c_str()) != 0)
    std::printf("the GBK script differs from iconv's encoding of the UTF-8 one\n");
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

  benchInsert(server, folder, intOption(argc, argv, "--rounds", 3));
  if (tables > 0) benchCreate(server, connection, tables, folder);
  if (!keepFiles(argc, argv)) std::system(("rm -rf " + folder).c_str());
  return 0;
} catch (const std::exception& error) {
  std::fprintf(stderr, "bench_script_commands: %s\n", error.what());
  return 1;
}
