// libFuzzer target: arbitrary batches through the whole engine (parser, executor, catalogue)
// against a few prepared tables. Any input must end in results or SQL Server errors.

#include "engine/engine.hpp"

#include <memory>
#include <string_view>

namespace {

class DiscardingSink : public sandbox::ResultSink {
public:
    void beginResult(const std::vector<sandbox::ColumnInfo>&) override {}
    bool row(const sandbox::Value*) override { return ++rows_ < 100000; }
    void message(const sandbox::ServerMessage&) override {}
    void databaseChanged(const std::string&, const std::string&) override {}
    void returnStatus(int32_t) override {}
    void statementDone(sandbox::StatementKind, bool, uint64_t, bool) override {}
    bool cancelled() const override { return rows_ >= 100000; }

private:
    int rows_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A fresh engine per input keeps inputs independent of each other.
    sandbox::Engine engine;
    // Inputs of odd length meet the SQL Server 2019 mode (schemas, the newer types), the others
    // SQL Server 2000's, so that one corpus explores both.
    if (size % 2 == 1) engine.setVersion(sandbox::ServerVersion::sql2019());
    auto session = engine.openSession({"sa", "fuzz", "fuzz", "master", 1});
    DiscardingSink sink;
    engine.execute(*session,
                   "create table t (id int primary key, name nvarchar(20), amount decimal(10,2) default (0), "
                   "created datetime, flag bit) "
                   "insert t values (1, N'one', 1.5, '2024-01-15', 1) insert t values (2, N'二', null, null, 0) "
                   "create table u (id int identity, t_id int, note varchar(50))",
                   sink);
    engine.execute(*session, "create view v as select id, name from t", sink);
    engine.execute(*session, std::string_view(reinterpret_cast<const char*>(data), size), sink);
    return 0;
}
