#pragma once
// Program-wide facts of the application shell.

#include <QString>

class QApplication;

namespace makeddl::app {

// The name the desktop shows for the running program. It is kept as the Big5 bytes of
// "SQL SERVER 工具" and decoded here, so that a Unicode desktop shows it correctly.
QString applicationTitleFromBig5();

// Prepares the application for the window: the name the desktop knows it by, and Qt's own
// buttons and dialogues in Chinese. No display name is set: Qt would append it to the caption
// of every message box on X11 ("系统提示 — SQL SERVER 工具").
void setUpApplication(QApplication& application);

}  // namespace makeddl::app
