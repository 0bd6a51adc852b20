// How fast `select * from` a 1,000,000-row table of six mixed columns reaches a client.
//
// RawDrain reads the reply bytes without decoding them: the server's own sending rate.
// OdbcFetch reads every row through unixODBC and the FreeTDS driver with bound columns, as a
// real client does. The server keeps up with the client when RawDrain is the faster of the two.
// ClientsOneAfterAnother and ClientsTogether have twenty raw clients read the whole table each,
// in turn and then all at once; target: together at least 1.5x the rows a second of in turn.

#include "odbc_client.hpp"
#include "raw_client.hpp"
#include "sandbox_fixture.hpp"

#include <benchmark/benchmark.h>

#include <sql.h>
#include <sqlext.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace sandbox::testing;

namespace {

constexpr int kRows = 1 << 20;  // 1,048,576 rows

SandboxProcess& server() {
    static SandboxProcess process;
    static bool filled = [] {
        OdbcConnection c(process.odbcConnectionString());
        c.run("create database bench");
        // Doubling twenty times gives 2^20 rows.
        c.run("use bench create table big (id int not null, name varchar(20), amount decimal(10,2), "
              "created datetime, ratio float, label nvarchar(10)) "
              "insert big values (1, 'name 1', 12.34, '2024-01-15 13:45:30', 0.5, N'标签') "
              "declare @i int set @i = 0 while @i < 20 begin "
              "insert big select id + @i, name, amount + 1, created, ratio * 2, label from big set @i = @i + 1 end");
        return true;
    }();
    (void)filled;
    return process;
}

std::unique_ptr<RawSocket> rawClient() {
    SandboxProcess& s = server();
    auto raw = std::make_unique<RawSocket>(s.port());
    raw->send(rawPacket(0x10, rawLogin7(s.password(), 4096, "bench")));
    raw->drainMessage();
    return raw;
}

// Reads the whole table undecoded; returns the reply's size.
size_t readTable(RawSocket& raw) {
    static const RawBytes query = rawPacket(0x01, rawUcs2("select * from big"));
    raw.send(query);
    return raw.drainMessage();
}

void RawDrain(benchmark::State& state) {
    auto raw = rawClient();
    size_t bytes = 0;
    for (auto _ : state) bytes = readTable(*raw);
    state.counters["rows/s"] = benchmark::Counter(static_cast<double>(kRows) * state.iterations(), benchmark::Counter::kIsRate);
    state.counters["MB"] = static_cast<double>(bytes) / 1e6;
}

void OdbcFetch(benchmark::State& state) {
    SandboxProcess& s = server();
    SQLHENV env;
    SQLHDBC dbc;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    std::string connection = s.odbcConnectionString("bench");
    if (!SQL_SUCCEEDED(SQLDriverConnect(dbc, nullptr, (SQLCHAR*)connection.c_str(), SQL_NTS, nullptr, 0, nullptr,
                                        SQL_DRIVER_NOPROMPT)))
        throw std::runtime_error("connect");
    long rows = 0;
    for (auto _ : state) {
        SQLHSTMT stmt;
        SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
        SQLExecDirect(stmt, (SQLCHAR*)"select * from big", SQL_NTS);
        SQLINTEGER id;
        char name[32], amount[32], created[32], label[64];
        double ratio;
        SQLLEN indicators[6];
        SQLBindCol(stmt, 1, SQL_C_SLONG, &id, 0, &indicators[0]);
        SQLBindCol(stmt, 2, SQL_C_CHAR, name, sizeof name, &indicators[1]);
        SQLBindCol(stmt, 3, SQL_C_CHAR, amount, sizeof amount, &indicators[2]);
        SQLBindCol(stmt, 4, SQL_C_CHAR, created, sizeof created, &indicators[3]);
        SQLBindCol(stmt, 5, SQL_C_DOUBLE, &ratio, 0, &indicators[4]);
        SQLBindCol(stmt, 6, SQL_C_CHAR, label, sizeof label, &indicators[5]);
        rows = 0;
        while (SQL_SUCCEEDED(SQLFetch(stmt))) ++rows;
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    }
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    if (rows != kRows) state.SkipWithError("row count differs");
    state.counters["rows/s"] = benchmark::Counter(static_cast<double>(kRows) * state.iterations(), benchmark::Counter::kIsRate);
}

constexpr int kClients = 20;
double inTurnRate = 0, togetherRate = 0;  // rows a second of all clients

// Runs `readAll` over twenty logged-in clients for each iteration; returns the rows a second.
template <typename F>
double clientsRate(benchmark::State& state, F readAll) {
    std::vector<std::unique_ptr<RawSocket>> clients;
    for (int c = 0; c < kClients; ++c) clients.push_back(rawClient());
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) readAll(clients);
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    const double rate = static_cast<double>(kRows) * kClients * static_cast<double>(state.iterations()) / elapsed.count();
    state.counters["rows/s"] = rate;
    return rate;
}

void ClientsOneAfterAnother(benchmark::State& state) {
    inTurnRate = clientsRate(state, [](auto& clients) {
        for (auto& client : clients) readTable(*client);
    });
}

void ClientsTogether(benchmark::State& state) {
    togetherRate = clientsRate(state, [](auto& clients) {
        std::vector<std::thread> readers;
        for (auto& client : clients) readers.emplace_back([&client] { readTable(*client); });
        for (auto& reader : readers) reader.join();
    });
}

}  // namespace

BENCHMARK(RawDrain)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(OdbcFetch)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(ClientsOneAfterAnother)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(ClientsTogether)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    if (inTurnRate > 0 && togetherRate > 0)
        std::printf("twenty clients together: %.2fx the rows a second of one after another (target >= 1.5)\n",
                    togetherRate / inTurnRate);
    benchmark::Shutdown();
}
