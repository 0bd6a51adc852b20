// How the tool's per-table script batch scales with the size of the catalogue: the same batch
// for tables of ten columns in a database of 100 tables and in one of 2,000 (each in a server of
// its own), timed through unixODBC and the FreeTDS driver as the tool sends it.
// Target: the batch on 2,000 tables within 1.5x of its time on 100.
//
// Run: bench_sandbox_catalog [--small N] [--large N] [--batches N]

#include "odbc_client.hpp"
#include "sandbox_fixture.hpp"
#include "scripts/column_batches.h"
#include "scripts/script_batch.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

using sandbox::testing::OdbcConnection;
using sandbox::testing::SandboxProcess;

namespace {

std::string tableName(int i) {
    char name[16];
    std::snprintf(name, sizeof name, "t%04d", i);
    return name;
}

// Ten columns with a primary key, two defaults and a column remark, as the tool's users have them.
std::string createTable(int i) {
    const std::string name = tableName(i);
    return "create table " + name +
           " (id int not null primary key, name varchar(30) null default 'x', amount decimal(12,2) not null, "
           "note nvarchar(100) null, created datetime null default (getdate()), flag bit not null, "
           "code char(8) null, ratio float null, small smallint null, stamp smalldatetime null) "
           "exec sp_addextendedproperty N'MS_Description', N'名称', N'user', N'dbo', N'table', N'" + name +
           "', N'column', N'name'\n";
}

void runOrThrow(OdbcConnection& connection, const std::string& sql) {
    const auto batch = connection.run(sql);
    if (!batch.ok) throw std::runtime_error(sql.substr(0, 200) + ": " + (batch.messages.empty() ? "" : batch.messages[0]));
}

std::string scriptBatchFor(const std::string& table) {
    std::vector<std::string> lines = makeddl::scripts::scriptBatchLines();
    lines[makeddl::scripts::kTableNameLine] = makeddl::scripts::tableNameLine(table);
    std::string batch;
    for (const std::string& line : lines) batch += line + "\n";
    return batch;
}

// The median time of the script batch over `batches` tables spread over the catalogue, in ms.
double scriptBatchMs(int tables, int batches) {
    SandboxProcess server("Bench#1");
    OdbcConnection connection(server.odbcConnectionString());
    runOrThrow(connection, "create database bench");
    runOrThrow(connection, "use bench");
    std::string create;
    for (int i = 1; i <= tables; ++i) create += createTable(i);
    runOrThrow(connection, create);
    std::vector<double> times;
    for (int b = 0; b < batches; ++b) {
        const std::string batch = scriptBatchFor(tableName(1 + b * tables / batches));
        const auto start = std::chrono::steady_clock::now();
        const auto result = connection.run(batch);
        const std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - start;
        if (!result.ok || result.results.empty() || result.results.back().rows.size() != 10)
            throw std::runtime_error("the script batch did not describe ten columns");
        times.push_back(elapsed.count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

int intOption(int argc, char** argv, const std::string& name, int fallback) {
    for (int i = 1; i + 1 < argc; ++i)
        if (argv[i] == name) return std::atoi(argv[i + 1]);
    return fallback;
}

}  // namespace

int main(int argc, char** argv) try {
    const int small = intOption(argc, argv, "--small", 100);
    const int large = intOption(argc, argv, "--large", 2000);
    const int batches = intOption(argc, argv, "--batches", 21);
    const double smallMs = scriptBatchMs(small, batches);
    const double largeMs = scriptBatchMs(large, batches);
    std::printf("script batch, %5d tables: %8.2f ms (median of %d)\n", small, smallMs, batches);
    std::printf("script batch, %5d tables: %8.2f ms (median of %d)\n", large, largeMs, batches);
    std::printf("ratio %.2fx (target <= 1.5)\n", largeMs / smallMs);
    return 0;
} catch (const std::exception& error) {
    std::fprintf(stderr, "bench_sandbox_catalog: %s\n", error.what());
    return 1;
}
