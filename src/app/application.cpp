#include "app/application.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "common/text_codec.h"

namespace makeddl::app {

QString applicationTitleFromBig5() {
  static constexpr char kTitleBig5[] = "SQL SERVER \xA4\x75\xA8\xE3";
  return QString::fromStdString(decodeToUtf8(kTitleBig5, Encoding::Big5));
}

void setUpApplication(QApplication& application) {
  // The name the desktop knows the program by (window class, desktop entry), not the window
  // program's file name.
  QApplication::setApplicationName(QStringLiteral("makeddl"));
  QApplication::setDesktopFileName(QStringLiteral("makeddl"));
  auto* translator = new QTranslator(&application);
  if (translator->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"), QStringLiteral("_"),
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QApplication::installTranslator(translator);
}

}  // namespace makeddl::app
