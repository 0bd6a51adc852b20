#pragma once
// What every window test holds: a settings folder of its own, the fake desktop and the
// window, made fresh for each test function.

#include <QListWidget>
#include <QObject>
#include <QStringList>
#include <QTabWidget>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include "app/tform1.h"
#include "scripts/schema_reader.h"
#include "fake_desktop.h"
#include "settings_fixture.h"

namespace makeddl::app::testing {

class WindowTest : public QObject {
 protected:
  // For the test's init() and cleanup() slots.
  void beginTest() {
    folder_ = std::make_unique<TemporarySettingsFolder>();
    desktop_ = FakeDesktop();
  }
  void endTest() {
    window_.reset();
    folder_.reset();
  }

  // The arguments that start a test's sandbox as the version these tests run against: SQL
  // Server 2000, or the one MAKEDDL_TEST_SANDBOX_VERSION names (CTest runs the catalogue and
  // script tests of the window once more against a 2019 sandbox).
  static std::vector<std::string> sandboxVersionArguments() {
    return {"--version", qEnvironmentVariable("MAKEDDL_TEST_SANDBOX_VERSION", "2000").toStdString()};
  }

  // Tells the window the version of the server its connection reaches, as an activation does.
  static void useServerVersionOf(TForm1& w) {
    connection::DataSet query(w.ADOConnection1, "VersionQuery");
    w.useServerVersion(scripts::readServerVersion(query));
  }

  // A new window, shown, whose server discovery only ever asks loopback.
  TForm1& openWindow() {
    window_ = std::make_unique<TForm1>(desktop_);
    window_->discoverySettings = loopbackOnlyDiscovery();
    window_->show();
    if (!QTest::qWaitForWindowExposed(window_.get())) qWarning("window not exposed");
    return *window_;
  }

  // The window as an activation leaves it: pages enabled, the lists given.
  TForm1& openActivatedWindow(const QStringList& tables, const QStringList& views = {},
                              const QStringList& procedures = {}, const QStringList& functions = {}) {
    TForm1& w = openWindow();
    w.ListBoxTable->addItems(tables);
    w.ListBoxView->addItems(views);
    w.ListBoxStore_Prod->addItems(procedures);
    w.ListBoxFunction->addItems(functions);
    w.PageControl1->setEnabled(true);
    w.PageControl2->setEnabled(true);
    return w;
  }

  // Lets every server call the window was given run to its end; the window answers meanwhile.
  void settle() { QVERIFY2(window_->tasks().waitUntilIdle(), "the window's commands did not end"); }

  QStringList messages() const {
    QStringList texts;
    for (const auto& message : desktop_.messages) texts << message.text;
    return texts;
  }

  // The first line of each message: the fixed text, without the server's reason below it.
  QStringList messageHeads() const {
    QStringList heads;
    for (const QString& text : messages()) heads << text.section(QLatin1Char('\n'), 0, 0);
    return heads;
  }

  std::unique_ptr<TemporarySettingsFolder> folder_;
  FakeDesktop desktop_;
  std::unique_ptr<TForm1> window_;
};

}  // namespace makeddl::app::testing
