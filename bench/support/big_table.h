#pragma once
// What the benchmarks that set the tool beside freebcp share: the 1,000,000-row table of six
// mixed columns, and freebcp's command line over it.

#include <string>
#include <vector>

#include "odbc_client.hpp"
#include "sandbox_fixture.hpp"

namespace bench {

// Runs the batch; throws with the server's first message when it fails.
void runOrThrow(sandbox::testing::OdbcConnection& connection, const std::string& sql);

// Creates the table big in the current database: id, name, amount, created, ratio, label.
void fillBigTable(sandbox::testing::OdbcConnection& connection, int rows);

// `freebcp bench.dbo.big out <outputPath> -c` against the server; freebcp finds it through a
// freetds.conf written into `folder`.
std::vector<std::string> freebcpArgs(const sandbox::testing::SandboxProcess& server, const std::string& folder,
                                     const std::string& outputPath);

}  // namespace bench
