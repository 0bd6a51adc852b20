// makeddl-window: the window, which `makeddl` starts when it is given no command. A program of
// its own, so that the command lines never load the widget and display libraries.

#include <QApplication>

#include "app/application.h"
#include "app/desktop.h"
#include "app/tform1.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  makeddl::app::setUpApplication(application);
  makeddl::app::QtDesktop desktop(nullptr);
  makeddl::app::TForm1 window(desktop);
  desktop.setOwner(&window);
  window.show();
  return QApplication::exec();
}
