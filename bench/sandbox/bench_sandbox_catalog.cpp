// How the tool's per-table script batch scales with the size of the catalogue: the same batch
// for tables of ten columns in a database of 100 tables and in one of 2,000 (each in a server of
// its own), timed through unixODBC and the FreeTDS driver as the tool sends it: the median wall
// time, and the server's own processor time a batch (which a busy machine disturbs less). The
// first batch after the tables were made, which builds the server's cached catalogue, is timed
// on its own.
// Target: the batch on 2,000 tables within 1.5x of its time on 100.
//
// Run: bench_sandbox_catalog [--small N] [--large N] [--batches N]

#include "odbc_client.hpp"
#include "sandbox_fixture.hpp"
#include "scripts/column_batches.h"
#include "scripts/script_batch.h"
#include "ten_column_tables.hpp"

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

using bench::tableName;

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

struct BatchTimes {
    double firstMs = 0;
    double medianMs = 0;
    double serverCpuMs = 0;  // a batch
};

// The script batch over `batches` tables spread over the catalogue.
BatchTimes scriptBatch(int tables, int batches) {
    SandboxProcess server("Bench#1");
    OdbcConnection connection(server.odbcConnectionString());
    runOrThrow(connection, "create database bench");
    runOrThrow(connection, "use bench");
    std::string create;
    for (int i = 1; i <= tables; ++i) create += bench::createTenColumnTable(i);
    runOrThrow(connection, create);
    auto timedBatch = [&](int table) {
        const auto start = std::chrono::steady_clock::now();
        const auto result = connection.run(scriptBatchFor(tableName(table)));
        const std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - start;
        if (!result.ok || result.results.empty() || result.results.back().rows.size() != 10)
            throw std::runtime_error("the script batch did not describe ten columns");
        return elapsed.count();
    };
    const double first = timedBatch(tables);
    std::vector<double> times;
    const double cpuBefore = server.processorSeconds();
    for (int b = 0; b < batches; ++b) times.push_back(timedBatch(1 + b * tables / batches));
    const double cpu = (server.processorSeconds() - cpuBefore) * 1000;
    std::sort(times.begin(), times.end());
    return {first, times[times.size() / 2], cpu / batches};
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
    const int batches = intOption(argc, argv, "--batches", 301);
    const BatchTimes smallTimes = scriptBatch(small, batches);
    const BatchTimes largeTimes = scriptBatch(large, batches);
    for (const auto& [count, times] : {std::pair{small, smallTimes}, std::pair{large, largeTimes}})
        std::printf("script batch, %5d tables: %6.2f ms (median of %d), server processor %6.3f ms a batch; "
                    "the first %6.2f ms\n", count, times.medianMs, batches, times.serverCpuMs, times.firstMs);
    std::printf("ratio %.2fx in time, %.2fx in server processor (target <= 1.5)\n",
                largeTimes.medianMs / smallTimes.medianMs, largeTimes.serverCpuMs / smallTimes.serverCpuMs);
    return 0;
} catch (const std::exception& error) {
    std::fprintf(stderr, "bench_sandbox_catalog: %s\n", error.what());
    return 1;
}
