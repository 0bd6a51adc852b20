// How a batch shares the engine: which lock it takes, and where it lets others in.

#include "engine/executor.hpp"

#include <algorithm>
#include <atomic>

namespace sandbox {

using namespace sql;

namespace {

// System procedures that only read the catalogue.
bool readingProcedure(const ExecStatement& s) {
    static const char* const kReading[] = {"sp_helptext", "sp_helpindex", "sp_helpfile", "sp_who"};
    return std::any_of(std::begin(kReading), std::end(kReading),
                       [&](const char* name) { return equalsIgnoreCase(s.procedure.name, name); });
}

// A statement that changes what other sessions see (or a file): DML, DDL, BACKUP, RESTORE.
bool changesData(const Statement& s) {
    switch (s.kind) {
        case StmtKind::Select: return static_cast<const SelectStatement&>(s).select->into.has_value();
        case StmtKind::Exec: return !readingProcedure(static_cast<const ExecStatement&>(s));
        case StmtKind::Use: case StmtKind::SetOption: case StmtKind::SetVariable: case StmtKind::Declare:
        case StmtKind::If: case StmtKind::Block: case StmtKind::While: case StmtKind::Print:
        case StmtKind::Transaction: case StmtKind::Return: case StmtKind::Empty:
            return false;
        default: return true;
    }
}

bool onlyReadsAll(const std::vector<StmtPtr>& statements);

bool onlyReadsStatement(const Statement& s) {
    switch (s.kind) {
        case StmtKind::If: {
            const auto& branch = static_cast<const IfStatement&>(s);
            return onlyReadsStatement(*branch.then) && (!branch.otherwise || onlyReadsStatement(*branch.otherwise));
        }
        case StmtKind::While: return onlyReadsStatement(*static_cast<const WhileStatement&>(s).body);
        case StmtKind::Block: return onlyReadsAll(static_cast<const BlockStatement&>(s).statements);
        default: return !changesData(s);
    }
}

bool onlyReadsAll(const std::vector<StmtPtr>& statements) {
    return std::all_of(statements.begin(), statements.end(), [](const StmtPtr& s) { return onlyReadsStatement(*s); });
}

}  // namespace

bool Executor::onlyReads(const std::vector<StmtPtr>& statements) { return onlyReadsAll(statements); }

void Executor::refuseChangeInFunction(const Statement& s) {
    if (functionDepth_ == 0 || !changesData(s)) return;
    const char* verb = s.kind == StmtKind::Insert   ? "INSERT"
                       : s.kind == StmtKind::Update ? "UPDATE"
                       : s.kind == StmtKind::Delete ? "DELETE"
                       : s.kind == StmtKind::Exec   ? "EXECUTE"
                       : s.kind == StmtKind::Select ? "SELECT INTO"
                                                    : "a statement that changes data";
    throw SqlError(443, 16, 2, std::string("Invalid use of '") + verb + "' within a function.");
}

// Never inside a statement (its rows point into tables), nor inside a function that a
// statement calls: only between the statements of a batch or of a procedure. What the batch
// changed is saved before others can see it.
void Executor::betweenStatements() {
    if (!lock_ || functionDepth_ > 0) return;
    if (!lock_->othersDue() && !sink_.lagging()) return;
    if (!saveChanges()) return;  // the batch ends with the error; others get their turn then
    lock_->stepAside([this] { sink_.catchUp(); });
}

uint64_t Executor::newScopeId() {
    static std::atomic<uint64_t> last{0};
    return ++last;
}

// Changes are acknowledged only once they are durable; what cannot be made durable is taken
// back, so that what a client saw acknowledged is exactly what survives a restart. Once saved,
// changes are for others to see and build on, and are no longer taken back.
bool Executor::saveChanges() {
    std::optional<SqlError> failure = engine_.makeDurable(changes_);
    if (!failure) {
        changes_.forget();
        savedDatabase_ = session_.database_;
        return true;
    }
    changes_.rollbackAll();
    if (!engine_.database(session_.database_)) {  // a database the batch created and used is gone again
        std::string gone = session_.database_;
        engine_.enterDatabase(session_, engine_.database(savedDatabase_) ? savedDatabase_ : "master");
        sink_.databaseChanged(session_.database_, gone);
    }
    reportError(*failure, 1);
    ended_ = true;
    return false;
}

}  // namespace sandbox
