#include "server/init_script.hpp"

#include <cctype>
#include <fstream>
#include <optional>
#include <sstream>

namespace sandbox {

namespace {

bool isSeparatorLine(std::string_view line) {
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.front()))) line.remove_prefix(1);
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.remove_suffix(1);
    return line.size() == 2 && std::toupper(static_cast<unsigned char>(line[0])) == 'G' &&
           std::toupper(static_cast<unsigned char>(line[1])) == 'O';
}

bool isBlank(std::string_view text) {
    for (char c : text)
        if (!std::isspace(static_cast<unsigned char>(c))) return false;
    return true;
}

// Keeps the first error a batch reports; rows and other messages are dropped.
class ErrorCollector : public ResultSink {
public:
    void beginResult(const std::vector<ColumnInfo>&) override {}
    bool row(const Value*) override { return true; }
    void message(const ServerMessage& message) override {
        if (message.isError() && !error_) error_ = message;
    }
    void databaseChanged(const std::string&, const std::string&) override {}
    void returnStatus(int32_t) override {}
    void statementDone(StatementKind, bool, uint64_t, bool) override {}
    bool cancelled() const override { return false; }
    const std::optional<ServerMessage>& error() const { return error_; }

private:
    std::optional<ServerMessage> error_;
};

}  // namespace

std::vector<std::string> splitBatches(std::string_view script) {
    std::vector<std::string> batches;
    std::string batch;
    while (!script.empty()) {
        const std::size_t end = script.find('\n');
        const std::string_view line = script.substr(0, end == std::string_view::npos ? script.size() : end + 1);
        script.remove_prefix(line.size());
        if (!isSeparatorLine(line)) {
            batch += line;
            continue;
        }
        if (!isBlank(batch)) batches.push_back(batch);
        batch.clear();
    }
    if (!isBlank(batch)) batches.push_back(batch);
    return batches;
}

void runInitScript(Engine& engine, const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw InitScriptError("cannot read the script " + path);
    std::stringstream text;
    text << file.rdbuf();
    auto session = engine.openSession({"sa", "", "makeddl-sandbox --init", "master", 0});
    int number = 0;
    for (const std::string& batch : splitBatches(text.str())) {
        ++number;
        ErrorCollector sink;
        engine.execute(*session, batch, sink);
        if (sink.error())
            throw InitScriptError(path + ", batch " + std::to_string(number) + ": Msg " +
                                  std::to_string(sink.error()->number) + ", " + sink.error()->text);
    }
}

}  // namespace sandbox
