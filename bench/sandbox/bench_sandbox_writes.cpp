// What a small write batch costs with a data folder, beside a database of a million rows and
// beside an empty one: 1,000 single-row INSERT batches into each, through unixODBC and the
// FreeTDS driver. Each batch is journaled and flushed to the disk before it is acknowledged;
// its cost should not grow with the database's size. The tables have a primary key, whose
// uniqueness each INSERT checks.

#include "odbc_client.hpp"
#include "sandbox_fixture.hpp"
#include "scratch_folder.hpp"

#include <benchmark/benchmark.h>

#include <stdexcept>
#include <string>

using namespace sandbox::testing;

namespace {

constexpr int kBatches = 1000;
constexpr const char* kColumns = "(id int not null primary key, name varchar(20), amount decimal(10,2), created datetime)";

SandboxProcess& server() {
    static ScratchFolder data;
    static SandboxProcess process("Sandbox#1", false, {"--data", data.path()});
    static bool filled = [] {
        // Filling takes longer than the fixture's 5-second statement limit on a busy machine.
        std::string unlimited = process.odbcConnectionString();
        unlimited.erase(unlimited.find(";Timeout=5"), 10);
        OdbcConnection c(unlimited);
        c.run(std::string("create database empty_db use empty_db create table t ") + kColumns);
        // Doubling twenty times gives 2^20 rows, ids 1 to 2^20.
        auto big = c.run(std::string("create database big_db use big_db create table t ") + kColumns +
                         " insert t values (1, 'name 1', 12.34, '2024-01-15 13:45:30') "
                         "declare @i int, @n int select @i = 0, @n = 1 while @i < 20 begin "
                         "insert t select id + @n, name, amount + 1, created from t select @i = @i + 1, @n = @n * 2 end");
        if (!big.ok) throw std::runtime_error("filling big_db failed: " + (big.messages.empty() ? "" : big.messages.back()));
        return true;
    }();
    (void)filled;
    return process;
}

void insertBatches(benchmark::State& state, const std::string& database) {
    OdbcConnection c(server().odbcConnectionString(database));
    static int next = 2000000;  // above the big table's ids, and new on every run of either database
    for (auto _ : state)
        for (int i = 0; i < kBatches; ++i)
            if (!c.run("insert t values (" + std::to_string(++next) + ", 'row', 1.5, '2024-02-01')").ok)
                state.SkipWithError("an INSERT failed");
    state.counters["batches/s"] =
        benchmark::Counter(static_cast<double>(kBatches) * state.iterations(), benchmark::Counter::kIsRate);
}

void InsertIntoEmptyDatabase(benchmark::State& state) { insertBatches(state, "empty_db"); }
void InsertIntoMillionRowDatabase(benchmark::State& state) { insertBatches(state, "big_db"); }

}  // namespace

BENCHMARK(InsertIntoEmptyDatabase)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(InsertIntoMillionRowDatabase)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(InsertIntoEmptyDatabase)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK_MAIN();
