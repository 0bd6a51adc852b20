#include "app/settings_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFile>

#include "settings_fixture.h"

using namespace makeddl::app;
using makeddl::app::testing::TemporarySettingsFolder;

namespace {

unsigned modeOf(const QString& path) {
  struct stat info {};
  stat(path.toLocal8Bit().constData(), &info);
  return info.st_mode & 0777;
}

QStringList labels(const LoadedSettings& loaded) {
  QStringList result;
  for (const auto& connection : loaded.connections) result << connection.label;
  return result;
}

}  // namespace

TEST(SettingsStore, FirstRunCreatesTheStoreWithDefaultsAndReadsNothing) {
  TemporarySettingsFolder folder;
  SettingsStore store;
  const LoadedSettings loaded = store.load();
  EXPECT_FALSE(loaded.error);
  EXPECT_FALSE(loaded.backupPath);
  EXPECT_TRUE(loaded.connections.empty());
  EXPECT_EQ(folder.storedValue("ParamCount").toInt(), 0);
  EXPECT_EQ(folder.storedValue("BackupPath").toString(), "c:\\");
  EXPECT_EQ(modeOf(folder.storeFile()), 0600u);
}

TEST(SettingsStore, ReadsConnectionsInOrderAndAMissingValueAsEmpty) {
  TemporarySettingsFolder folder;
  folder.writeStore(
      "[General]\nParamCount=3\nBackupPath=/srv/backup\n"
      "ShowParam1=one\nHideParam1=\"db1;srv;1;;;\"\nHideParam2=\"db2;srv;1;;;\"\n"
      "ShowParam3=three\nHideParam3=\"db3;srv;1;;;\"\n");
  SettingsStore store;
  const LoadedSettings loaded = store.load();
  EXPECT_FALSE(loaded.error);
  EXPECT_EQ(loaded.backupPath, QString("/srv/backup"));
  EXPECT_EQ(labels(loaded), (QStringList{"one", "", "three"}));
  EXPECT_EQ(loaded.connections[1].record, "db2;srv;1;;;");
}

TEST(SettingsStore, ZeroOrNegativeCountReadsNoConnection) {
  for (const char* count : {"0", "-2"}) {
    TemporarySettingsFolder folder;
    folder.writeStore(QByteArray("[General]\nShowParam1=x\nHideParam1=y\nParamCount=") + count + "\n");
    SettingsStore store;
    const LoadedSettings loaded = store.load();
    EXPECT_FALSE(loaded.error) << count;
    EXPECT_TRUE(loaded.connections.empty()) << count;
  }
}

TEST(SettingsStore, AnUnreadableCountFailsNamingItAfterTheBackupPathWasRead) {
  for (const char* content : {"[General]\nBackupPath=/b\n", "[General]\nBackupPath=/b\nParamCount=two\n",
                              "[General]\nBackupPath=/b\nParamCount=1, 2\n"}) {
    TemporarySettingsFolder folder;
    folder.writeStore(content);
    SettingsStore store;
    const LoadedSettings loaded = store.load();
    ASSERT_TRUE(loaded.error) << content;
    EXPECT_NE(loaded.error->find("ParamCount"), std::string::npos) << *loaded.error;
    EXPECT_EQ(loaded.backupPath, QString("/b"));
    EXPECT_TRUE(loaded.connections.empty());
  }
}

TEST(SettingsStore, ANonStringValueStopsTheLoadKeepingEarlierPairsParallel) {
  TemporarySettingsFolder folder;
  // "a, b" is a list in the store's file format, not a string.
  folder.writeStore(
      "[General]\nParamCount=3\nShowParam1=one\nHideParam1=r1\nShowParam2=two\nHideParam2=a, b\n"
      "ShowParam3=three\nHideParam3=r3\n");
  SettingsStore store;
  const LoadedSettings loaded = store.load();
  ASSERT_TRUE(loaded.error);
  EXPECT_NE(loaded.error->find("HideParam2"), std::string::npos) << *loaded.error;
  EXPECT_EQ(labels(loaded), QStringList{"one"});
}

TEST(SettingsStore, RememberingAppendsAfterTheStoredCount) {
  TemporarySettingsFolder folder;
  folder.writeStore("[General]\nParamCount=2\nShowParam1=a\nHideParam1=ra\nShowParam2=b\nHideParam2=rb\n");
  SettingsStore store;
  store.load();
  store.rememberConnection({"label;3", "pubs;srv,1433;2;sa;p;w;"});
  EXPECT_EQ(folder.storedValue("ParamCount").toInt(), 3);
  EXPECT_EQ(folder.storedValue("ShowParam3").toString(), "label;3");
  EXPECT_EQ(folder.storedValue("HideParam3").toString(), "pubs;srv,1433;2;sa;p;w;");
  EXPECT_EQ(modeOf(folder.storeFile()), 0600u);

  SettingsStore reopened;
  const LoadedSettings loaded = reopened.load();
  EXPECT_EQ(labels(loaded), (QStringList{"a", "b", "label;3"}));
  EXPECT_EQ(loaded.connections[2].record, "pubs;srv,1433;2;sa;p;w;");
}

TEST(SettingsStore, BackupPathIsWrittenAtOnce) {
  TemporarySettingsFolder folder;
  SettingsStore store;
  store.load();
  store.writeBackupPath("/var/backups/db");
  EXPECT_EQ(folder.storedValue("BackupPath").toString(), "/var/backups/db");
}

TEST(SettingsStore, AnExistingStoreReadableByOthersIsMadePrivate) {
  TemporarySettingsFolder folder;
  folder.writeStore("[General]\nParamCount=0\n");
  chmod(folder.storeFile().toLocal8Bit().constData(), 0644);
  SettingsStore store;
  store.load();
  EXPECT_EQ(modeOf(folder.storeFile()), 0600u);
}

TEST(SettingsStore, AFailedWriteNamesTheValue) {
  TemporarySettingsFolder folder;
  SettingsStore store;
  store.load();
  // Replace the store's folder by a plain file: nothing can be saved there any more.
  QFile::remove(folder.storeFile());
  QDir(folder.path()).removeRecursively();
  QFile blocker(folder.path());
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  try {
    store.writeBackupPath("/x");
    FAIL() << "expected SettingsError";
  } catch (const SettingsError& error) {
    EXPECT_NE(std::string(error.what()).find("BackupPath"), std::string::npos) << error.what();
  }
  QFile::remove(folder.path());
}

// Two windows open at once each remember their connection: the count is read from the store
// at that moment, not from what the window read at its start.
TEST(SettingsStore, RememberingReadsTheCountAnotherWindowJustStored) {
  TemporarySettingsFolder folder;
  SettingsStore mine;
  mine.load();
  folder.writeStore("[General]\nParamCount=1\nBackupPath=/b\nShowParam1=theirs\nHideParam1=\"db;srv;SQL;u;p;\"\n");
  mine.rememberConnection({"mine", "db2;srv;SQL;u;p;"});
  EXPECT_EQ(folder.storedValue("ParamCount").toInt(), 2);
  EXPECT_EQ(folder.storedValue("ShowParam1").toString(), "theirs");
  EXPECT_EQ(folder.storedValue("ShowParam2").toString(), "mine");
}

// A count far beyond what is stored reads what is stored and says so; remembering goes on
// after the last stored connection.
TEST(SettingsStore, AnAbsurdCountReadsOnlyTheStoredConnections) {
  TemporarySettingsFolder folder;
  folder.writeStore("[General]\nParamCount=2147483647\nShowParam1=one\nHideParam1=\"db;srv;SQL;u;p;\"\n");
  SettingsStore store;
  const LoadedSettings loaded = store.load();
  EXPECT_EQ(labels(loaded), QStringList{"one"});
  ASSERT_TRUE(loaded.error);
  EXPECT_NE(loaded.error->find("2147483647"), std::string::npos) << *loaded.error;
  store.rememberConnection({"two", "db2;srv;SQL;u;p;"});
  EXPECT_EQ(folder.storedValue("ParamCount").toInt(), 2);
  EXPECT_EQ(folder.storedValue("ShowParam2").toString(), "two");
}
