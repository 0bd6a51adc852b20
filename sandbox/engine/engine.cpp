#include "engine/engine.hpp"

#include "engine/backup.hpp"
#include "engine/convert.hpp"
#include "engine/executor.hpp"

#include "engine/change_log.hpp"
#include "engine/durable_file.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <utility>

namespace sandbox {

Session::Session(Engine& engine, int spid, LoginInfo login)
    : engine_(engine), spid_(spid), login_(std::move(login)), database_(login_.database),
      loginTime_(currentDateTime()), lastBatch_(loginTime_) {}

Session::~Session() { engine_.forgetSession(this); }

Engine::Engine() {
    for (const char* name : {"master", "tempdb", "model", "msdb"}) createDatabase(name);
    tempdb_ = database("tempdb");
}

bool Engine::hasDatabase(const std::string& name) {
    std::lock_guard guard(databasesMutex_);
    return database(name) != nullptr;
}

std::shared_ptr<Database> Engine::database(std::string_view name) {
    auto found = databases_.find(toLower(trimRightBlanks(name)));
    return found == databases_.end() ? nullptr : found->second;
}

std::shared_ptr<Database> Engine::createDatabase(const std::string& name) {
    auto db = std::make_shared<Database>(nextDbid_++, name, currentDateTime());
    putDatabase(db);
    return db;
}

void Engine::putDatabase(std::shared_ptr<Database> db) {
    std::lock_guard guard(databasesMutex_);
    std::string key = toLower(db->name());
    databases_[key] = std::move(db);
}

void Engine::removeDatabase(const std::string& name) {
    std::lock_guard guard(databasesMutex_);
    databases_.erase(toLower(name));
}

std::vector<std::shared_ptr<Database>> Engine::databasesById() const {
    std::vector<std::shared_ptr<Database>> all;
    for (const auto& [key, db] : databases_) all.push_back(db);
    std::sort(all.begin(), all.end(), [](const auto& a, const auto& b) { return a->dbid() < b->dbid(); });
    return all;
}

std::vector<SessionInfo> Engine::liveSessions() const {
    std::vector<SessionInfo> all;
    {
        std::lock_guard guard(sessionsMutex_);
        for (const Session* s : sessions_) all.push_back({s->spid_, s->login_, s->loginTime_, s->announcedDatabase_});
    }
    std::sort(all.begin(), all.end(), [](const SessionInfo& a, const SessionInfo& b) { return a.spid < b.spid; });
    return all;
}

void Engine::enterDatabase(Session& session, const std::string& name) {
    session.database_ = name;
    std::lock_guard guard(sessionsMutex_);
    session.announcedDatabase_ = name;
}

bool Engine::objectIdInUse(int id) const {
    for (const auto& [key, db] : databases_)
        if (std::as_const(*db).objectById(id)) return true;
    return false;
}

int Engine::newObjectId() {
    // Ids step by 16000057 modulo 2^31, as SQL Server 2000 hands them out; ids that a restored
    // database brought along are passed over.
    do lastObjectId_ = static_cast<uint32_t>((uint64_t{lastObjectId_} + 16000057u) % 2147483648u);
    while (lastObjectId_ == 0 || objectIdInUse(static_cast<int>(lastObjectId_)));
    return static_cast<int>(lastObjectId_);
}

std::unique_ptr<Session> Engine::openSession(const LoginInfo& login) {
    std::lock_guard guard(sessionsMutex_);
    std::unique_ptr<Session> session(new Session(*this, nextSpid_++, login));
    session->announcedDatabase_ = session->database_;
    sessions_.push_back(session.get());
    return session;
}

void Engine::dropTemporaryTables(Session& session) {
    for (const auto& entry : session.tempTables_) tempdb_->dropObject(entry.second->id);
    session.tempTables_.clear();
}

void Engine::forgetSession(Session* session) {
    {
        std::lock_guard guard(sessionsMutex_);
        std::erase(sessions_, session);
    }
    if (session->tempTables_.empty()) return;  // a session without temporary tables leaves at once
    BatchLock lock(lock_, EngineLock::Mode::Exclusive);
    dropTemporaryTables(*session);
}

void Engine::resetSession(Session& session) {
    BatchLock lock(lock_, EngineLock::Mode::Exclusive);
    dropTemporaryTables(session);
    enterDatabase(session, database(session.login_.database) ? session.login_.database : "master");
    session.noCount_ = false;
    session.formatOnly_ = false;
    session.rowLimit_ = 0;
    session.identityInsertTable_.clear();
    session.identityKnown_ = false;
}

std::string Engine::keptDatabaseOf(const Table& table) const {
    for (const auto& [key, db] : databases_)
        if (db != tempdb_ && db->table(table.name, table.schemaId).get() == &table) return key;
    return "";
}

void Engine::useDataFolder(const std::string& folder, DataFolderOptions options) {
    BatchLock lock(lock_, EngineLock::Mode::Exclusive);
    auto dataFolder = std::make_unique<DataFolder>(*this, folder, options);
    dataFolder->load();
    dataFolder_ = std::move(dataFolder);
}

namespace {

// SQL Server's answer to a batch whose changes could not be written.
SqlError notDurable(const FileError& failure, const std::string& database) {
    switch (failure.error()) {
        case ENOSPC: case EDQUOT: case EFBIG:
            return SqlError(1105, 17, 2, "Could not allocate space for object '" + failure.path() + "' in database '" +
                                             database + "' because the 'PRIMARY' filegroup is full.");
        case EROFS: case EACCES: case EPERM:
            return SqlError(3906, 16, 1, "Failed to update database '" + database + "' because the database is read-only.");
        default:
            return SqlError(823, 16, 2, std::string("I/O error (") + std::strerror(failure.error()) +
                                            ") detected during write of '" + failure.path() + "'.");
    }
}

}  // namespace

std::optional<SqlError> Engine::makeDurable(ChangeLog& changes) {
    if (!dataFolder_) return std::nullopt;
    std::vector<JournalEntry> entries = changes.takeJournalEntries();
    if (entries.empty()) return std::nullopt;
    std::string database = entries.front().database;
    try {
        dataFolder_->commit(std::move(entries));
        return std::nullopt;
    } catch (const FileError& e) {
        std::cerr << "makeddl-sandbox: " << e.what() << "; the batch's changes were taken back" << std::endl;
        return notDurable(e, database);
    }
}

void Engine::execute(Session& session, std::string_view batch, ResultSink& sink) {
    Executor executor(*this, session, sink);
    executor.runBatch(batch);
}

}  // namespace sandbox
