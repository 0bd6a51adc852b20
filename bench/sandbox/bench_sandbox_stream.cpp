// How fast `select * from` a 1,000,000-row table of six mixed columns reaches a client.
//
// RawDrain reads the reply bytes without decoding them: the server's own sending rate.
// OdbcFetch reads every row through unixODBC and the FreeTDS driver with bound columns, as a
// real client does. The server keeps up with the client when RawDrain is the faster of the two.

#include "odbc_client.hpp"
#include "raw_client.hpp"
#include "sandbox_fixture.hpp"

#include <benchmark/benchmark.h>

#include <sql.h>
#include <sqlext.h>

#include <stdexcept>

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

void RawDrain(benchmark::State& state) {
    SandboxProcess& s = server();
    RawSocket raw(s.port());
    raw.send(rawPacket(0x10, rawLogin7(s.password(), 4096, "bench")));
    raw.drainMessage();
    RawBytes query = rawPacket(0x01, rawUcs2("select * from big"));
    size_t bytes = 0;
    for (auto _ : state) {
        raw.send(query);
        bytes = raw.drainMessage();
    }
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

}  // namespace

BENCHMARK(RawDrain)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(OdbcFetch)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK_MAIN();
