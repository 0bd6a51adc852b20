#pragma once
// BACKUP DATABASE and RESTORE DATABASE files: each file holds one or more backup sets, appended
// in order; a set is a whole database written out, with a checksum. The data folder keeps each
// database as a file of one set.

#include "engine/storage.hpp"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace sandbox {

struct BackupSet {
    std::string databaseName;
    DateTime finished;
    uint64_t journalPosition = 0;  // in a data file: the last journal record the set holds
    Bytes content;                 // the serialised database
};

// What a backup file holds: the sets that read back whole and valid, in file order, and why
// reading stopped before the end when it did.
struct BackupFile {
    std::vector<BackupSet> sets;
    std::string damage;  // empty when the whole file is sound
    int openError = 0;   // the system's error number when the file could not be read at all
    bool sound() const { return openError == 0 && damage.empty(); }
};

// The path on this machine for a path written in a statement: backslashes separate folders
// and a drive letter ("c:") is dropped, so that Windows-style paths work here too.
std::string hostPath(const std::string& statementPath);

// `withRows` false leaves every table empty: the rest of a database, for the journal.
Bytes serializeDatabase(const Database& database, bool withRows = true);
// Rebuilds a database under `name` and `dbid`. Every value is checked against its column's
// type; throws std::runtime_error saying what is wrong when the content is damaged.
std::shared_ptr<Database> deserializeDatabase(const Bytes& content, const std::string& name, int dbid);

BackupFile readBackupFile(const std::string& path);
// The sets of a backup file's bytes, as readBackupFile finds them.
BackupFile parseBackupFile(const Bytes& bytes);
// Writes the sets through a temporary file and a rename, flushed to the disk, so that a crash
// never leaves a half-written backup behind. Throws FileError.
void writeBackupFile(const std::string& path, const std::vector<BackupSet>& sets);

}  // namespace sandbox
