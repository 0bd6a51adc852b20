#include "big_table.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace bench {

using sandbox::testing::OdbcConnection;
using sandbox::testing::SandboxProcess;

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

}  // namespace bench
