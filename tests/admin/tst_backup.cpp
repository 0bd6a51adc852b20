#include "admin/backup.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace makeddl::admin;

namespace {

// A folder of its own for one test, removed afterwards.
class TemporaryFolder {
 public:
  TemporaryFolder() : path_(std::filesystem::temp_directory_path() / ("makeddl-backup-" + std::to_string(::getpid()))) {
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TemporaryFolder() { std::filesystem::remove_all(path_); }
  std::string path() const { return path_.string(); }
  void touch(const std::string& name) const { std::ofstream(path_ / name) << "x"; }

 private:
  std::filesystem::path path_;
};

}  // namespace

TEST(Backup, FileNamesAreTheLocalMinute) {
  EXPECT_EQ(backupFileName({2003, 12, 25, 9, 30}), "20031225_0930.dat");
  EXPECT_EQ(backupFileName({2026, 1, 2, 23, 5}), "20260102_2305.dat");
}

TEST(Backup, FoldersGetTheirOwnDelimiterOnce) {
  EXPECT_EQ(folderWithDelimiter("c:\\"), "c:\\");
  EXPECT_EQ(folderWithDelimiter("d:\\bak"), "d:\\bak\\");
  EXPECT_EQ(folderWithDelimiter("d:"), "d:\\");
  EXPECT_EQ(folderWithDelimiter("/var/backups"), "/var/backups/");
  EXPECT_EQ(folderWithDelimiter("/var/backups/"), "/var/backups/");
  EXPECT_EQ(folderWithDelimiter("\\\\server\\share"), "\\\\server\\share\\");
  EXPECT_EQ(folderWithDelimiter("").size(), 1u);
}

TEST(Backup, StatementsQuoteTheNameAndThePath) {
  EXPECT_EQ(backupStatement("pubs", "c:\\20031225_0930.dat"),
            "USE master BACKUP DATABASE pubs TO DISK = 'c:\\20031225_0930.dat'");
  EXPECT_EQ(restoreStatement("pubs", "d:\\bak\\x.dat"), "USE master RESTORE DATABASE pubs FROM DISK = 'd:\\bak\\x.dat'");
  EXPECT_EQ(backupStatement("my db", "/b/O'Hara/x.dat"),
            "USE master BACKUP DATABASE [my db] TO DISK = '/b/O''Hara/x.dat'");
  EXPECT_EQ(useStatement("order"), "USE [order]");
}

TEST(Backup, ExtensionsMatchFromTheLastDotWithoutCase) {
  EXPECT_TRUE(ExtensionMatches("20031225_0930.dat", ".dat"));
  EXPECT_TRUE(ExtensionMatches("X.DAT", ".dat"));
  EXPECT_TRUE(ExtensionMatches(".dat", ".dat"));
  EXPECT_FALSE(ExtensionMatches("x.dat.bak", ".dat"));
  EXPECT_FALSE(ExtensionMatches("xdat", ".dat"));
  EXPECT_TRUE(ExtensionMatches("noext", ""));
}

TEST(Backup, FindFilesListsMatchingFilesOfTheFolderOnly) {
  TemporaryFolder folder;
  for (const char* name : {"a.dat", "B.DAT", "c.dat.bak", "d.txt", ".dat"}) folder.touch(name);
  std::filesystem::create_directories(std::filesystem::path(folder.path()) / "sub.dat");
  std::vector<std::string> names;
  for (const std::string& path : FindFiles(folder.path(), "*.dat")) {
    EXPECT_EQ(path.rfind(folderWithDelimiter(folder.path()), 0), 0u) << path;
    names.push_back(fileNameOf(path));
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{".dat", "B.DAT", "a.dat"}));
  EXPECT_EQ(FindFiles(folder.path(), "*.txt;*.bak").size(), 2u);
  EXPECT_TRUE(FindFiles(folder.path() + "/missing", "*.dat").empty());
}

TEST(Backup, ASecondBackupInTheSameMinuteGetsAFileOfItsOwn) {
  TemporaryFolder folder;
  const LocalTime minute{2003, 12, 25, 9, 30};
  EXPECT_EQ(newBackupFileName(folder.path(), minute), "20031225_0930.dat");
  folder.touch("20031225_0930.dat");
  EXPECT_EQ(newBackupFileName(folder.path(), minute), "20031225_0930_2.dat");
  folder.touch("20031225_0930_2.dat");
  EXPECT_EQ(newBackupFileName(folder.path(), minute), "20031225_0930_3.dat");
}

TEST(Backup, FileNamesAreThePartAfterTheLastDelimiter) {
  EXPECT_EQ(fileNameOf("c:\\bak\\x.dat"), "x.dat");
  EXPECT_EQ(fileNameOf("/var/b/y.dat"), "y.dat");
  EXPECT_EQ(fileNameOf("z.dat"), "z.dat");
}
