#pragma once
// Program-wide facts of the application shell.

#include <QString>

namespace makeddl::app {

// The name the desktop shows for the running program. It is kept as the Big5 bytes of
// "SQL SERVER 工具" and decoded here, so that a Unicode desktop shows it correctly.
QString applicationTitleFromBig5();

}  // namespace makeddl::app
