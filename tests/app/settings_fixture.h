#pragma once
// Points the per-user settings store at a fresh temporary folder for one test.

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>

namespace makeddl::app::testing {

class TemporarySettingsFolder {
 public:
  TemporarySettingsFolder() { QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir_.path()); }
  QString path() const { return dir_.path(); }
  QString storeFile() const { return QDir(dir_.path()).filePath(QStringLiteral("MakeDDL.conf")); }
  // Writes the store file as given, as an older run or another tool would have left it.
  void writeStore(const QByteArray& content) const {
    QFile file(storeFile());
    file.open(QIODevice::WriteOnly);
    file.write(content);
  }
  // Reads a value back from the file, past any cache of the store under test.
  QVariant storedValue(const QString& name) const {
    return QSettings(storeFile(), QSettings::IniFormat).value(name);
  }

 private:
  QTemporaryDir dir_;
};

}  // namespace makeddl::app::testing
