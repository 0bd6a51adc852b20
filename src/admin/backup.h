#pragma once
// Backup and restore of the current database: file names, paths, statements and the
// listing of backup files in a folder.

#include <string>
#include <string_view>
#include <vector>

namespace makeddl::admin {

struct LocalTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0;
};

// The local date and time now.
LocalTime localTimeNow();

// "YYYYMMDD_HHMM.dat".
std::string backupFileName(const LocalTime& time);

// The folder followed by its path delimiter: "\" for a folder written in the Windows way
// (a drive or a backslash in it), "/" for one written with slashes, otherwise this machine's.
// An empty folder gives the delimiter alone.
std::string folderWithDelimiter(std::string_view folder);

// A backup file name that names no file in the folder yet: "YYYYMMDD_HHMM.dat", or with
// "_2", "_3", ... before ".dat" when that file exists already, so that a second backup in the
// same minute does not become a second backup set in the first one's file.
std::string newBackupFileName(std::string_view folder, const LocalTime& time);

// "USE master BACKUP DATABASE <db> TO DISK = '<path>'" and its RESTORE counterpart.
std::string backupStatement(std::string_view database, std::string_view path);
std::string restoreStatement(std::string_view database, std::string_view path);

// "USE <db>": back to the database after a backup or restore ran in master.
std::string useStatement(std::string_view database);

// True when the name's extension (from its last "." on, dot included; empty without a dot)
// equals the extension, ASCII letters compared without regard to case.
bool ExtensionMatches(std::string_view fileName, std::string_view extension);

// The full paths of the files directly in the folder whose extension matches one of the
// masks ("*.dat;*.bak"; each mask's "*" removed), in the order the folder lists them.
// A folder that cannot be listed gives no files.
std::vector<std::string> FindFiles(std::string_view folder, std::string_view masks);

// The file name of a path: the part after its last "\" or "/".
std::string fileNameOf(std::string_view path);

}  // namespace makeddl::admin
