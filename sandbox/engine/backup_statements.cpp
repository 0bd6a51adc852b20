// BACKUP DATABASE and RESTORE DATABASE: real files on this machine's file system.

#include "engine/backup.hpp"
#include "engine/convert.hpp"
#include "engine/durable_file.hpp"
#include "engine/executor.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace sandbox {

using namespace sql;

namespace {

constexpr int kPageSize = 8192;

int pagesOf(const Bytes& content) { return static_cast<int>(content.size() / kPageSize) + 1; }

std::string processedMessage(const std::string& database, const std::string& file, int pages, size_t position) {
    return "Processed " + std::to_string(pages) + " pages for database '" + database + "', file '" + file +
           "' on file " + std::to_string(position) + ".";
}

std::string summaryMessage(const char* statement, int pages) {
    char rate[64];
    std::snprintf(rate, sizeof rate, "%.3f", pages * kPageSize / 1048576.0 / 0.1);
    return std::string(statement) + " successfully processed " + std::to_string(pages) + " pages in 0.100 seconds (" +
           rate + " MB/sec).";
}

ServerMessage cannotOpen(const std::string& device) {
    return {3201, 1, 16, "Cannot open backup device '" + device +
                             "'. Device error or device off line. See the SQL Server error log for more details.", "", 1};
}

ServerMessage incorrectlyFormed(const std::string& device) {
    return {3241, 1, 16, "The media family on device '" + device +
                             "' is incorrectly formed. SQL Server cannot process this media family.", "", 1};
}

ServerMessage writeFailed(const std::string& device, int error) {
    return {3202, 1, 16, "Write on '" + device + "' failed, status = " + std::to_string(error) + " (" +
                             std::strerror(error) + "). See the SQL Server error log for more details.", "", 1};
}

// Errors that mean the device itself cannot be reached, rather than that writing it failed.
bool isOpenError(int error) {
    return error == ENOENT || error == EACCES || error == EPERM || error == EROFS || error == ENOTDIR ||
           error == EISDIR || error == ENAMETOOLONG || error == ELOOP;
}

}  // namespace

// SQL Server reports a failed BACKUP or RESTORE as the cause followed by 3013.
void Executor::failBackup(const ServerMessage& cause, bool restore, int line) {
    ServerMessage first = cause;
    first.line = line;
    sink_.message(first);
    throw SqlError(3013, 16, 1, std::string(restore ? "RESTORE" : "BACKUP") + " DATABASE is terminating abnormally.");
}

std::string Executor::backupPath(const BackupStatement& s) {
    Value path = eval(*s.path, Frame{});
    return path.isNull() ? std::string() : formatValue(path);
}

void Executor::runBackup(const BackupStatement& s) {
    auto db = engine_.database(s.database);
    if (!db)
        failBackup({911, 1, 16, "Could not locate entry in sysdatabases for database '" + s.database +
                                    "'. No entry found with that name. Make sure that the name is entered correctly.", "", 1},
                   false, s.line);
    std::string device = backupPath(s);
    std::string path = hostPath(device);
    if (path.empty()) failBackup(cannotOpen(device), false, s.line);
    std::vector<BackupSet> sets;
    if (!s.init) {  // NOINIT, the default, appends to the sets already in the file
        BackupFile old = readBackupFile(path);
        if (old.openError != 0 && old.openError != ENOENT) failBackup(cannotOpen(device), false, s.line);
        if (!old.damage.empty()) failBackup(incorrectlyFormed(device), false, s.line);  // never drops what it cannot read
        sets = std::move(old.sets);
    }
    BackupSet backup{db->name(), currentDateTime(), 0, serializeDatabase(*db)};
    int pages = pagesOf(backup.content);
    sets.push_back(std::move(backup));
    try {
        writeBackupFile(path, sets);
    } catch (const FileError& e) {
        failBackup(isOpenError(e.error()) ? cannotOpen(device) : writeFailed(device, e.error()), false, s.line);
    }
    sink_.message({4035, 1, 0, processedMessage(db->name(), db->name() + "_Data", pages, sets.size()), "", s.line});
    sink_.message({4035, 1, 0, processedMessage(db->name(), db->name() + "_Log", 1, sets.size()), "", s.line});
    sink_.message({3014, 1, 0, summaryMessage("BACKUP DATABASE", pages + 1), "", s.line});
    done(StatementKind::Other, false, 0);
}

// One row per backup set of the file, in file order, with the columns clients read most
// (SQL Server 2000 adds LSNs, sort order and code page details that the sandbox does not keep).
void Executor::runRestoreHeaderOnly(const BackupStatement& s) {
    std::string device = backupPath(s);
    BackupFile file = readBackupFile(hostPath(device));
    if (file.openError != 0) failBackup(cannotOpen(device), true, s.line);
    if (!file.damage.empty()) failBackup(incorrectlyFormed(device), true, s.line);
    Relation r;
    r.columns = describeColumns({{"BackupName", "nvarchar(128)"}, {"BackupDescription", "nvarchar(255)"},
                                 {"BackupType", "smallint"}, {"ExpirationDate", "datetime"}, {"Compressed", "tinyint"},
                                 {"Position", "smallint"}, {"DeviceType", "tinyint"}, {"UserName", "nvarchar(128)"},
                                 {"ServerName", "nvarchar(128)"}, {"DatabaseName", "nvarchar(128)"},
                                 {"DatabaseVersion", "int"}, {"BackupSize", "numeric(20,0)"},
                                 {"BackupStartDate", "datetime"}, {"BackupFinishDate", "datetime"}});
    int position = 0;
    for (const BackupSet& set : file.sets) {
        Row row{Value(), Value(), Value::integer(1), Value(), Value::integer(0), Value::integer(++position),
                Value::integer(2), Value::nvarchar("sa"), Value::nvarchar(engine_.serverName()),
                Value::nvarchar(set.databaseName), Value::integer(539),
                Value::integer(static_cast<int64_t>(pagesOf(set.content)) * kPageSize),
                Value::dateTime(set.finished), Value::dateTime(set.finished)};
        for (size_t c = 0; c < row.size(); ++c) row[c] = convertValue(row[c], r.columns[c].type);
        r.owned.push_back(std::move(row));
    }
    sendRelation(r);
}

void Executor::runRestore(const BackupStatement& s) {
    if (s.headerOnly) return runRestoreHeaderOnly(s);
    std::string device = backupPath(s);
    BackupFile file = readBackupFile(hostPath(device));
    if (file.openError != 0) failBackup(cannotOpen(device), true, s.line);
    int64_t fileNumber = s.file ? toInteger(eval(*s.file, Frame{})) : 1;
    // Sets before a damaged part of the file are still restored; the damaged part is not.
    if (fileNumber > static_cast<int64_t>(file.sets.size()) && !file.damage.empty())
        failBackup(incorrectlyFormed(device), true, s.line);
    if (fileNumber < 1 || fileNumber > static_cast<int64_t>(file.sets.size()))
        failBackup({3246, 1, 16, "The backup set at position " + std::to_string(fileNumber) + " does not exist on device '" +
                                     device + "'.", "", 1},
                   true, s.line);
    const BackupSet& backup = file.sets[static_cast<size_t>(fileNumber - 1)];
    auto existing = engine_.database(s.database);
    if (existing && compareCollated(existing->name(), backup.databaseName) != 0 && !s.replace)
        failBackup({3154, 1, 16, "The backup set holds a backup of a database other than the existing '" + existing->name() +
                                     "' database.", "", 1},
                   true, s.line);
    if (existing && existing->dbid() <= 4)
        failBackup({3108, 1, 16, "RESTORE DATABASE must be used in single user mode when trying to restore the master database.", "", 1},
                   true, s.line);
    for (const SessionInfo& other : engine_.liveSessions())
        if (existing && compareCollated(other.database, existing->name()) == 0)
            failBackup({3101, 1, 16, "Exclusive access could not be obtained because the database is in use.", "", 1}, true, s.line);
    std::string name = existing ? existing->name() : s.database;
    std::shared_ptr<Database> restored;
    try {
        restored = deserializeDatabase(backup.content, name, existing ? existing->dbid() : engine_.nextDbid_++);
    } catch (const std::runtime_error&) {
        failBackup(incorrectlyFormed(device), true, s.line);
    }
    changes_.databasesChanging();
    engine_.putDatabase(restored);
    int pages = pagesOf(backup.content);
    sink_.message({4035, 1, 0, processedMessage(name, name + "_Data", pages, static_cast<size_t>(fileNumber)), "", s.line});
    sink_.message({4035, 1, 0, processedMessage(name, name + "_Log", 1, static_cast<size_t>(fileNumber)), "", s.line});
    sink_.message({3014, 1, 0, summaryMessage("RESTORE DATABASE", pages + 1), "", s.line});
    done(StatementKind::Other, false, 0);
}

}  // namespace sandbox
