#include "app/settings_store.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <algorithm>
#include <QSettings>

namespace makeddl::app {

namespace {

const QString kOrganisation = QStringLiteral("MakeDDL");
const QString kParamCount = QStringLiteral("ParamCount");
const QString kBackupPath = QStringLiteral("BackupPath");
const QString kWindowGeometry = QStringLiteral("WindowGeometry");

QString showParamName(int n) { return QStringLiteral("ShowParam%1").arg(n); }
QString hideParamName(int n) { return QStringLiteral("HideParam%1").arg(n); }

std::string readFailure(const QString& name, const char* why) {
  return QStringLiteral("无法读取设置值“%1”：%2").arg(name, QString::fromUtf8(why)).toStdString();
}

bool isStringValue(const QVariant& value) {
  return value.typeId() == QMetaType::QString || value.typeId() == QMetaType::QByteArray;
}

// The store holds passwords: only its owner may read it.
void restrictToOwner(const QString& path) {
  if (QFileInfo(path).isFile())
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

}  // namespace

SettingsStore::SettingsStore() = default;
SettingsStore::~SettingsStore() = default;

QSettings& SettingsStore::settings() const {
  if (!settings_) throw SettingsError("设置存储未打开");
  return *settings_;
}

QString SettingsStore::location() const {
  return settings_ ? settings_->fileName()
                   : QSettings(QSettings::NativeFormat, QSettings::UserScope, kOrganisation).fileName();
}

// Beside the store's file (under a name of its own: QSettings locks "<file>.lock" while it
// saves); the registry has no folder, so there in the temporary folder.
QString SettingsStore::lockFilePath() const {
#ifdef Q_OS_WIN
  return QDir::temp().filePath(QStringLiteral("MakeDDL.connections.lock"));
#else
  return location() + QStringLiteral(".connections.lock");
#endif
}

bool SettingsStore::storeExists() const {
#ifdef Q_OS_WIN
  return QSettings(QStringLiteral("HKEY_CURRENT_USER\\Software"), QSettings::NativeFormat)
      .childGroups()
      .contains(kOrganisation, Qt::CaseInsensitive);
#else
  return QFileInfo::exists(location());
#endif
}

LoadedSettings SettingsStore::load() {
  LoadedSettings loaded;
  const bool existed = storeExists();
  settings_ = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, kOrganisation);
  if (existed) restrictToOwner(settings_->fileName());
  try {
    if (!existed) {
      writeValue(kParamCount, 0);
      writeValue(kBackupPath, kDefaultBackupPath);
      return loaded;
    }
    loaded.backupPath = readString(kBackupPath);
    loaded.windowGeometry = settings().value(kWindowGeometry).toByteArray();
    const int count = storedConnectionCount(loaded.error);
    for (int n = 1; n <= count; ++n) {
      // Read the pair before appending it, so the two lists stay parallel even when the
      // second value of a pair cannot be read.
      RememberedConnection connection{readString(showParamName(n)), readString(hideParamName(n))};
      loaded.connections.push_back(std::move(connection));
    }
  } catch (const SettingsError& error) {
    loaded.error = error.what();
  }
  return loaded;
}

QString SettingsStore::readString(const QString& name) const {
  const QVariant value = settings().value(name);
  if (!value.isValid()) return QString();
  if (!isStringValue(value)) throw SettingsError(readFailure(name, "不是字符串"));
  return value.toString();
}

// A count beyond the connections stored (a damaged or hand-edited store) would have the window
// read and list that many empty entries; only the stored ones are read, and the count is
// reported.
int SettingsStore::storedConnectionCount(std::optional<std::string>& error) const {
  const int count = readParamCount();
  int last = 0;
  for (const QString& key : settings().childKeys()) {
    for (const QString& prefix : {QStringLiteral("ShowParam"), QStringLiteral("HideParam")}) {
      bool isNumber = false;
      const int n = key.startsWith(prefix) ? key.mid(prefix.size()).toInt(&isNumber) : 0;
      if (isNumber) last = std::max(last, n);
    }
  }
  if (count <= last) return count;
  error = QStringLiteral("设置值“%1”为 %2，但只存有 %3 个连接；已读入这 %3 个")
              .arg(kParamCount)
              .arg(count)
              .arg(last)
              .toStdString();
  return last;
}

int SettingsStore::readParamCount() const {
  const QVariant value = settings().value(kParamCount);
  if (!value.isValid()) throw SettingsError(readFailure(kParamCount, "缺少该值"));
  bool isInteger = false;
  const int count = value.typeId() == QMetaType::QStringList ? 0 : value.toInt(&isInteger);
  if (!isInteger) throw SettingsError(readFailure(kParamCount, "不是整数"));
  return count;
}

void SettingsStore::rememberConnection(const RememberedConnection& connection) {
  QLockFile lock(lockFilePath());
  lock.setStaleLockTime(10000);
  if (!lock.tryLock(10000)) throw SettingsError(QStringLiteral("无法锁定设置存储：%1").arg(location()).toStdString());
  settings().sync();  // what another window stored since
  std::optional<std::string> unused;
  const int count = storedConnectionCount(unused);
  writeValue(hideParamName(count + 1), connection.record);
  writeValue(showParamName(count + 1), connection.label);
  writeValue(kParamCount, count + 1);
}

void SettingsStore::writeBackupPath(const QString& folder) { writeValue(kBackupPath, folder); }

void SettingsStore::writeWindowGeometry(const QByteArray& geometry) { writeValue(kWindowGeometry, geometry); }

void SettingsStore::writeValue(const QString& name, const QVariant& value) {
  settings().setValue(name, value);
  commit(name);
}

// Every write reaches the store at once; a failure names the value being written.
void SettingsStore::commit(const QString& name) {
  QSettings& store = settings();
#ifndef Q_OS_WIN
  if (!QFileInfo::exists(store.fileName())) {
    // Create the file private before anything is written into it; later saves keep its mode.
    QDir().mkpath(QFileInfo(store.fileName()).absolutePath());
    QFile file(store.fileName());
    if (file.open(QIODevice::WriteOnly)) file.close();
    restrictToOwner(store.fileName());
  }
#endif
  store.sync();
  if (store.status() != QSettings::NoError || !store.isWritable())
    throw SettingsError(QStringLiteral("无法写入设置值“%1”：%2")
                            .arg(name, store.fileName())
                            .toStdString());
  restrictToOwner(store.fileName());
}

void SettingsStore::close() { settings_.reset(); }

}  // namespace makeddl::app
