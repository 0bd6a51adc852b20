#pragma once
// The engine without the network: a session on an engine in this process, and what its batches
// produced, as text.

#include "engine/convert.hpp"
#include "engine/engine.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace sandbox::testing {

// Collects what a batch produced, as text.
class CollectingSink : public ResultSink {
public:
    struct Result {
        std::vector<ColumnInfo> columns;
        std::vector<std::vector<std::string>> rows;
    };
    std::vector<Result> results;
    std::vector<ServerMessage> messages;
    std::vector<std::pair<bool, uint64_t>> dones;  // counted, rows
    int errors = 0;

    void beginResult(const std::vector<ColumnInfo>& columns) override { results.push_back({columns, {}}); }
    bool row(const Value* values) override {
        std::vector<std::string> row;
        for (size_t i = 0; i < results.back().columns.size(); ++i)
            row.push_back(values[i].isNull() ? "NULL" : formatValue(values[i], 121));
        results.back().rows.push_back(row);
        return true;
    }
    void message(const ServerMessage& m) override { messages.push_back(m); }
    void databaseChanged(const std::string&, const std::string&) override {}
    void returnStatus(int32_t) override {}
    void statementDone(StatementKind, bool counted, uint64_t rows, bool error) override {
        dones.emplace_back(counted, rows);
        errors += error;
    }
    bool cancelled() const override { return false; }
};

// An engine in this process with one session logged in to master.
class EngineTest : public ::testing::Test {
protected:
    EngineTest() : session_(engine_.openSession({"sa", "host", "test", "master", 1})) {}

    CollectingSink run(const std::string& sql) {
        CollectingSink sink;
        engine_.execute(*session_, sql, sink);
        return sink;
    }
    std::string scalar(const std::string& sql) {
        CollectingSink sink = run(sql);
        if (sink.results.empty() || sink.results.back().rows.empty())
            return sink.messages.empty() ? "<none>" : "error " + std::to_string(sink.messages.back().number);
        return sink.results.back().rows[0][0];
    }

    Engine engine_;
    std::unique_ptr<Session> session_;
};

}  // namespace sandbox::testing
