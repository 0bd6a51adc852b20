#pragma once
// A small ODBC client for tests: runs batches through unixODBC and the FreeTDS driver and
// returns every result set as text, so tests see exactly what the driver decoded.

#include <optional>
#include <string>
#include <vector>

namespace sandbox::testing {

struct OdbcColumn {
    std::string name;
    int sqlType = 0;
    unsigned long size = 0;
    int decimals = 0;
    bool nullable = false;
};

struct OdbcResult {
    std::vector<OdbcColumn> columns;
    std::vector<std::vector<std::optional<std::string>>> rows;  // nullopt = NULL
};

struct OdbcBatch {
    bool ok = true;                   // false when execution reported SQL_ERROR
    std::vector<OdbcResult> results;  // row-returning results only
    std::vector<std::string> messages;  // "[state] native: text" of every diagnostic
    long rowCount = -1;               // of the last statement
    bool mentions(const std::string& text) const;
};

class OdbcConnection {
public:
    explicit OdbcConnection(const std::string& connectionString);
    ~OdbcConnection();
    OdbcConnection(const OdbcConnection&) = delete;
    OdbcConnection& operator=(const OdbcConnection&) = delete;

    bool connected() const { return connected_; }
    const std::string& connectError() const { return connectError_; }
    OdbcBatch run(const std::string& sql);
    // Runs a batch and returns the single value of its first result.
    std::optional<std::string> scalar(const std::string& sql);

private:
    void* env_ = nullptr;
    void* dbc_ = nullptr;
    bool connected_ = false;
    std::string connectError_;
};

}  // namespace sandbox::testing
