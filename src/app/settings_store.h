#pragma once
// The per-user settings store: remembered connections and the backup folder.
// Native QSettings in user scope under the organisation "MakeDDL" with no application name:
// HKCU\Software\MakeDDL on Windows, MakeDDL.conf in the user's config folder elsewhere.
// Values: ParamCount, ShowParam<n> and HideParam<n> counted from 1, and BackupPath.

#include <QString>
#include <QVariant>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

class QSettings;

namespace makeddl::app {

// A failed read or write of the store; the text names the value.
class SettingsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline const QString kDefaultBackupPath = QStringLiteral("c:\\");

struct RememberedConnection {
  QString label;   // the ConnectionLabel shown in the connection list
  QString record;  // the ConnectionRecord used to connect
};

// What the start-up load read. When it stopped at a value it could not read, `error` says
// which, and the fields hold what had been read before.
struct LoadedSettings {
  std::optional<QString> backupPath;  // empty when the store was just created
  std::vector<RememberedConnection> connections;
  QByteArray windowGeometry;  // the window's size and place when it last closed; empty at first
  std::optional<std::string> error;
};

class SettingsStore {
 public:
  SettingsStore();
  ~SettingsStore();
  SettingsStore(const SettingsStore&) = delete;
  SettingsStore& operator=(const SettingsStore&) = delete;

  // Opens the store and reads it; on first run creates it with ParamCount 0 and
  // BackupPath "c:\". Never throws for unreadable values: see LoadedSettings::error.
  LoadedSettings load();

  // Stores a new connection as number ParamCount + 1 and raises ParamCount. The count is read
  // from the store itself at that moment, under a lock on it, so that two windows open at once
  // each add their connection instead of writing the same number.
  void rememberConnection(const RememberedConnection& connection);
  void writeBackupPath(const QString& folder);
  void writeWindowGeometry(const QByteArray& geometry);
  int readParamCount() const;

  void close();
  bool isOpen() const { return settings_ != nullptr; }
  // Where the store lives (a file path, or the registry path on Windows).
  QString location() const;

 private:
  bool storeExists() const;
  QString lockFilePath() const;
  QString readString(const QString& name) const;
  // ParamCount, or the number of the last connection stored when ParamCount claims more.
  int storedConnectionCount(std::optional<std::string>& error) const;
  void writeValue(const QString& name, const QVariant& value);
  void commit(const QString& name);
  QSettings& settings() const;

  std::unique_ptr<QSettings> settings_;
};

}  // namespace makeddl::app
