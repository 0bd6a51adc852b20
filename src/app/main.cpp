// The program: the window, or one of the command-line front ends over the same core.

#include <QApplication>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "app/application.h"
#include "app/convert_command.h"
#include "app/desktop.h"
#include "app/script_command.h"
#include "app/tform1.h"

namespace {

void useBinaryStandardStreams() {
#ifdef _WIN32
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
#endif
}

int runWindow(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationDisplayName(makeddl::app::applicationTitleFromBig5());
  QApplication::setDesktopFileName(QStringLiteral("makeddl"));
  makeddl::app::QtDesktop desktop(nullptr);
  makeddl::app::TForm1 window(desktop);
  desktop.setOwner(&window);
  window.show();
  return QApplication::exec();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::string(argv[1]) == "convert") {
    useBinaryStandardStreams();
    std::ios::sync_with_stdio(false);
    return makeddl::app::runConvertCommand(std::vector<std::string>(argv + 2, argv + argc), std::cin,
                                           std::cout, std::cerr);
  }
  if (argc >= 2 && std::string(argv[1]) == "script") {
    useBinaryStandardStreams();
    return makeddl::app::runScriptCommand(std::vector<std::string>(argv + 2, argv + argc), std::cout, std::cerr);
  }
  return runWindow(argc, argv);
}
