#pragma once
// What a batch run on an engine in this process answered, as text: the first column of every
// row and every message. For tests of the engine's storage that need no network.

#include "engine/convert.hpp"
#include "engine/engine.hpp"

#include <string>
#include <vector>

namespace sandbox::testing {

struct BatchOutcome : ResultSink {
    std::vector<ServerMessage> messages;
    std::vector<std::vector<std::string>> rows;

    std::vector<int> errorNumbers() const {
        std::vector<int> numbers;
        for (const auto& m : messages)
            if (m.isError()) numbers.push_back(m.number);
        return numbers;
    }
    int firstError() const {
        auto numbers = errorNumbers();
        return numbers.empty() ? 0 : numbers.front();
    }

    void beginResult(const std::vector<ColumnInfo>&) override {}
    bool row(const Value* v) override {
        rows.push_back({v[0].isNull() ? "NULL" : formatValue(v[0], 121)});
        return true;
    }
    void message(const ServerMessage& m) override { messages.push_back(m); }
    void databaseChanged(const std::string&, const std::string&) override {}
    void returnStatus(int32_t) override {}
    void statementDone(StatementKind, bool, uint64_t, bool) override {}
    bool cancelled() const override { return false; }
};

inline BatchOutcome runBatch(Engine& engine, Session& session, const std::string& sql) {
    BatchOutcome outcome;
    engine.execute(session, sql, outcome);
    return outcome;
}

}  // namespace sandbox::testing
