#pragma once
// BACKUP DATABASE and RESTORE DATABASE files: each file holds one or more backup sets, appended
// in order; a set is a whole database written out.

#include "engine/storage.hpp"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sandbox {

struct BackupSet {
    std::string databaseName;
    DateTime finished;
    Bytes content;  // the serialised database
};

// The path on this machine for a path written in a statement: backslashes separate folders
// and a drive letter ("c:") is dropped, so that Windows-style paths work here too.
std::string hostPath(const std::string& statementPath);

Bytes serializeDatabase(const Database& database);
// Rebuilds a database under `name` and `dbid`; throws std::runtime_error on a damaged set.
std::shared_ptr<Database> deserializeDatabase(const Bytes& content, const std::string& name, int dbid);

// Reads every backup set of a file; nullopt when the file cannot be read or is not a backup.
std::optional<std::vector<BackupSet>> readBackupFile(const std::string& path);
// Writes the sets to the file through a temporary file and a rename, so that a crash never
// leaves a half-written backup behind. Returns false when the file cannot be written.
bool writeBackupFile(const std::string& path, const std::vector<BackupSet>& sets);

}  // namespace sandbox
