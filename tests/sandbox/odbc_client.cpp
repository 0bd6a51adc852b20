#include "odbc_client.hpp"

#include <sql.h>
#include <sqlext.h>

namespace sandbox::testing {

namespace {

std::vector<std::string> diagnostics(SQLSMALLINT handleType, SQLHANDLE handle) {
    std::vector<std::string> out;
    for (SQLSMALLINT i = 1;; ++i) {
        SQLCHAR state[6] = {0};
        SQLCHAR text[2048] = {0};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        if (!SQL_SUCCEEDED(SQLGetDiagRec(handleType, handle, i, state, &native, text, sizeof text, &length))) break;
        out.push_back("[" + std::string(reinterpret_cast<char*>(state)) + "] " + std::to_string(native) + ": " +
                      reinterpret_cast<char*>(text));
    }
    return out;
}

OdbcResult readResult(SQLHSTMT stmt, SQLSMALLINT count) {
    OdbcResult result;
    for (SQLSMALLINT c = 1; c <= count; ++c) {
        SQLCHAR name[256] = {0};
        SQLSMALLINT nameLength = 0, type = 0, decimals = 0, nullable = 0;
        SQLULEN size = 0;
        SQLDescribeCol(stmt, c, name, sizeof name, &nameLength, &type, &size, &decimals, &nullable);
        result.columns.push_back({reinterpret_cast<char*>(name), type, static_cast<unsigned long>(size), decimals,
                                  nullable == SQL_NULLABLE});
    }
    while (SQL_SUCCEEDED(SQLFetch(stmt))) {
        std::vector<std::optional<std::string>> row;
        for (SQLSMALLINT c = 1; c <= count; ++c) {
            std::string value;
            SQLLEN indicator = 0;
            char buffer[8192];
            bool isNull = false;
            for (int piece = 0; piece < 100000; ++piece) {
                SQLRETURN rc = SQLGetData(stmt, c, SQL_C_CHAR, buffer, sizeof buffer, &indicator);
                if (rc == SQL_NO_DATA) break;
                if (!SQL_SUCCEEDED(rc)) break;
                if (indicator == SQL_NULL_DATA) { isNull = true; break; }
                value += buffer;
                // Done when the value fitted; some drivers answer SQL_SUCCESS_WITH_INFO even then.
                if (rc == SQL_SUCCESS || (indicator >= 0 && indicator < static_cast<SQLLEN>(sizeof buffer))) break;
            }
            row.push_back(isNull ? std::nullopt : std::optional<std::string>(value));
        }
        result.rows.push_back(std::move(row));
    }
    return result;
}

}  // namespace

bool OdbcBatch::mentions(const std::string& text) const {
    for (const auto& m : messages)
        if (m.find(text) != std::string::npos) return true;
    return false;
}

OdbcConnection::OdbcConnection(const std::string& connectionString) {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
    SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
    SQLCHAR out[1024];
    SQLSMALLINT outLength = 0;
    SQLRETURN rc = SQLDriverConnect(dbc_, nullptr, (SQLCHAR*)connectionString.c_str(), SQL_NTS, out, sizeof out,
                                    &outLength, SQL_DRIVER_NOPROMPT);
    connected_ = SQL_SUCCEEDED(rc);
    if (!connected_)
        for (const auto& d : diagnostics(SQL_HANDLE_DBC, dbc_)) connectError_ += d + "\n";
}

OdbcConnection::~OdbcConnection() {
    if (connected_) SQLDisconnect(dbc_);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    SQLFreeHandle(SQL_HANDLE_ENV, env_);
}

OdbcBatch OdbcConnection::run(const std::string& sql) {
    OdbcBatch batch;
    SQLHSTMT stmt = nullptr;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt);
    SQLRETURN rc = SQLExecDirect(stmt, (SQLCHAR*)sql.c_str(), SQL_NTS);
    // Bounded: a driver that keeps answering SQL_ERROR must not hang the test.
    for (int results = 0; results < 1000; ++results) {
        if (rc == SQL_ERROR) batch.ok = false;
        for (const auto& d : diagnostics(SQL_HANDLE_STMT, stmt)) batch.messages.push_back(d);
        if (SQL_SUCCEEDED(rc)) {
            SQLSMALLINT columns = 0;
            SQLNumResultCols(stmt, &columns);
            if (columns > 0) batch.results.push_back(readResult(stmt, columns));
            SQLLEN count = -1;
            SQLRowCount(stmt, &count);
            batch.rowCount = static_cast<long>(count);
        }
        rc = SQLMoreResults(stmt);
        if (rc == SQL_NO_DATA || rc == SQL_INVALID_HANDLE) break;
    }
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    return batch;
}

std::optional<std::string> OdbcConnection::scalar(const std::string& sql) {
    OdbcBatch batch = run(sql);
    if (batch.results.empty() || batch.results[0].rows.empty()) return std::nullopt;
    return batch.results[0].rows[0][0];
}

}  // namespace sandbox::testing
