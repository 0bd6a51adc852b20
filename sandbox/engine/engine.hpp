#pragma once
// The sandbox's database engine: databases, sessions and the running of batches.

#include "engine/data_folder.hpp"
#include "engine/engine_lock.hpp"
#include "engine/error.hpp"
#include "engine/result_sink.hpp"
#include "engine/storage.hpp"
#include "types/server_version.hpp"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace sandbox {

struct LoginInfo {
    std::string login, host, program, database;
    uint32_t hostProcess = 0;
};

class Engine;
class ChangeLog;

// The data folder cannot be used as it is (a damaged data file); the server does not start.
class DataFolderError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What other sessions see of a session (sysprocesses, sp_who, the in-use checks).
struct SessionInfo {
    int spid = 0;
    LoginInfo login;
    DateTime loginTime;
    std::string database;
};

// One logged-in connection: its current database and temporary tables.
class Session {
public:
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    int spid() const { return spid_; }
    const std::string& database() const { return database_; }
    const LoginInfo& login() const { return login_; }
    DateTime loginTime() const { return loginTime_; }

private:
    friend class Engine;
class ChangeLog;

// The data folder cannot be used as it is (a damaged data file); the server does not start.
class DataFolderError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
    friend class Executor;
    Session(Engine& engine, int spid, LoginInfo login);

    Engine& engine_;
    int spid_;
    LoginInfo login_;
    std::string database_;
    std::string announcedDatabase_;  // database_ as others see it; under the engine's session lock
    DateTime loginTime_;
    DateTime lastBatch_;
    std::map<std::string, std::shared_ptr<Table>> tempTables_;  // by lower-case name
    int64_t rowCount_ = 0;
    int lastError_ = 0;
    int64_t lastIdentity_ = 0;
    bool identityKnown_ = false;
    bool noCount_ = false;
    bool formatOnly_ = false;        // SET FMTONLY ON: result descriptions without rows
    int64_t rowLimit_ = 0;           // SET ROWCOUNT n; 0 means no limit
    std::string identityInsertTable_;  // SET IDENTITY_INSERT t ON, by lower-case name
};

class Engine {
public:
    Engine();

    const std::string& serverName() const { return serverName_; }
    // The name @@servername, sysprocesses and the discovery answer give; before any session.
    void setServerName(std::string name) { serverName_ = std::move(name); }
    // The SQL Server the engine imitates (2000 unless set); set before any session.
    const ServerVersion& version() const { return version_; }
    void setVersion(ServerVersion version) { version_ = version; }
    // Keeps databases in `folder` from now on: loads those found there, and journals the
    // changes of every batch before it is acknowledged (see DataFolder). Without it everything
    // stays in memory. Throws DataFolderError, naming the file, when a file there does not read
    // back whole and valid; such a file is never changed.
    void useDataFolder(const std::string& folder, DataFolderOptions options = {});
    bool keepsData() const { return dataFolder_ != nullptr; }
    // Makes a batch's changes to kept databases durable; called with the lock held at the end
    // of the batch. When they cannot be, the error to answer (1105 for a full disk, 3906 for
    // a read-only folder); the caller then takes the batch's changes back.
    std::optional<SqlError> makeDurable(ChangeLog& changes);
    bool hasDatabase(const std::string& name);
    std::unique_ptr<Session> openSession(const LoginInfo& login);
    // Returns a session to the state it had after login: temporary tables dropped, options
    // cleared, the login's database current again.
    void resetSession(Session& session);
    // Runs a batch: parses it whole, then runs its statements under the engine lock (shared
    // when the batch only reads), reporting to `sink`.
    void execute(Session& session, std::string_view batch, ResultSink& sink);
    // True while a batch waits for the engine lock: a session holding it must not wait for
    // its client then.
    bool lockContended() const { return lock_.contended(); }

    // For the catalogue; callers hold the engine lock (they run inside execute).
    std::shared_ptr<Database> database(std::string_view name);
    std::vector<std::shared_ptr<Database>> databasesById() const;
    // Needs no engine lock: logins and the catalogue read it alike.
    std::vector<SessionInfo> liveSessions() const;

private:
    friend class Session;
    friend class Executor;
    friend class Catalog;
    friend class ChangeLog;
    friend class DataFolder;

    std::shared_ptr<Database> createDatabase(const std::string& name);
    // Adds, replaces or removes a database; callers hold the engine lock alone.
    void putDatabase(std::shared_ptr<Database> db);
    void removeDatabase(const std::string& name);
    // Makes `name` the session's current database, for itself and for others to see.
    void enterDatabase(Session& session, const std::string& name);
    // The lower-case name of the kept database that holds `table`; empty for a temporary table.
    std::string keptDatabaseOf(const Table& table) const;
    int newObjectId();
    bool objectIdInUse(int id) const;
    void forgetSession(Session* session);
    void dropTemporaryTables(Session& session);

    // Batches change the engine's state under lock_. Logins must never wait for a batch, so
    // the list of databases (changed only under lock_ held alone) is also guarded by
    // databasesMutex_ for them, and the list of sessions by sessionsMutex_ alone.
    EngineLock lock_;
    mutable std::mutex databasesMutex_;
    mutable std::mutex sessionsMutex_;
    std::string serverName_ = "SANDBOX";
    ServerVersion version_;
    std::map<std::string, std::shared_ptr<Database>> databases_;  // by lower-case name
    std::vector<Session*> sessions_;
    int nextSpid_ = 51;
    int nextDbid_ = 1;
    uint32_t lastObjectId_ = 2105058535u;
    std::shared_ptr<Database> tempdb_;
    std::unique_ptr<DataFolder> dataFolder_;
};

}  // namespace sandbox
