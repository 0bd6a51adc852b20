// The main window offscreen: initial state, the floating panel, the progress bar, the
// creation step against the settings store, and the code-conversion buttons.

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableView>
#include <QtTest>
#include <memory>

#include "app/application.h"
#include "app/data_set_model.h"
#include "app/object_list.h"
#include "app/settings_store.h"
#include "app/status_bar.h"
#include "app/tform1.h"
#include "window_test.h"

using namespace makeddl::app;

class TstTForm1 : public makeddl::app::testing::WindowTest {
  Q_OBJECT

 private:
  // Sends a press, a move and a release to a widget, as a user's drag would.
  static void drag(QWidget* widget, QPoint from, QPoint by) {
    auto send = [widget](QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
      QMouseEvent event(type, at, widget->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
      QApplication::sendEvent(widget, &event);
    };
    send(QEvent::MouseButtonPress, from, Qt::LeftButton);
    send(QEvent::MouseMove, from + by, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, from + by, Qt::NoButton);
  }

 private slots:
  void init() { beginTest(); }
  void cleanup() { endTest(); }

  void applicationTitleIsDecodedFromItsBig5Bytes() {
    QCOMPARE(applicationTitleFromBig5(), QStringLiteral("SQL SERVER 工具"));
    QCOMPARE(applicationTitleFromBig5(), kApplicationTitle);
  }

  void everyNamedControlExists() {
    TForm1& w = openWindow();
    const char* names[] = {
        "Panel1", "Label1", "ShowParamList", "HideParamList", "Button2", "PageControl2", "TabShtTable",
        "TabShtView", "TabShtStore_Prod", "TabShtFunction", "ListBoxTable", "ListBoxView", "ListBoxStore_Prod",
        "ListBoxFunction", "PageControl1", "TabSheet1", "TabSheet2", "TabSheet3", "TabSheet4", "TabSheet5",
        "TabSheet6", "Memo1", "Button1", "Button12", "Button7", "Button11", "BtnGBtoBIG", "BtnBIGtoGB", "Memo2",
        "Button14", "Button8", "DBGrid1", "Button9", "DBGrid2", "GroupBox2", "GroupBox3", "Edit8", "Edit7",
        "Edit5", "Edit6", "Edit9", "Edit1", "Edit2", "Edit3", "Edit4", "Edit14", "Button16", "BtnBackupDB",
        "BtnRestoreDB", "Button13", "DBGrid3", "Edit10", "Edit11", "DBGrid4", "MovePanel1", "Label24",
        "Button10", "PageControl3", "TabSheet7", "TabSheet8", "TabSheet9", "Label2", "ComboBoxServer_NM",
        "Button6", "Label3", "ComboBoxDB_NM", "GroupBox1", "RadioButton1", "RadioButton2", "Label4",
        "EditUser_NM", "Label5", "EditPass", "Button4", "Button5", "Button3", "ListBox1", "Label21", "Edit12",
        "Label22", "Edit13", "ListBox2", "Button15", "Button17", "StatusBar1", "ADOQuery1", "ADOQuery2",
        "ADOQuery3", "QueryShowField", "QueryMakeDDL", "TempQuery", "HelpQuery01"};
    for (const char* name : names) QVERIFY2(w.findChild<QObject*>(name) != nullptr, name);
    QCOMPARE(w.objectName(), QStringLiteral("TForm1"));
  }

  void initialStateMatchesTheDescription() {
    TForm1& w = openWindow();
    QCOMPARE(w.windowTitle(), QStringLiteral("SQL SERVER 工具"));
    QCOMPARE(w.size(), QSize(780, 569));
    QVERIFY(!w.PageControl1->isEnabled());
    QVERIFY(!w.PageControl2->isEnabled());
    QCOMPARE(w.PageControl1->currentWidget(), w.TabSheet6);
    QCOMPARE(w.PageControl2->currentWidget(), w.TabShtTable);
    QVERIFY(!w.BtnBackupDB->isEnabled());
    QVERIFY(!w.BtnRestoreDB->isEnabled());
    QVERIFY(!w.MovePanel1->isVisible());
    QVERIFY(!w.HideParamList->isVisible());
    QCOMPARE(w.ShowParamList->currentText(), QString());
    QCOMPARE(w.ShowParamList->maxVisibleItems(), 18);
    QCOMPARE(w.Edit14->text(), QStringLiteral("c:\\"));
    // Without Windows authentication on this platform, SQL login is the one preselected.
    QVERIFY(w.RadioButton2->isChecked());
    for (QWidget* loginField : std::initializer_list<QWidget*>{w.Label4, w.Label5, w.EditUser_NM, w.EditPass})
      QVERIFY(loginField->isEnabled());
    QCOMPARE(w.EditPass->echoMode(), QLineEdit::Password);
    QCOMPARE(w.ListBoxTable->selectionMode(), QAbstractItemView::ExtendedSelection);
    QVERIFY(w.ListBoxTable->isSortingEnabled() && w.ListBox1->isSortingEnabled());
    QCOMPARE(w.ListBoxView->selectionMode(), QAbstractItemView::SingleSelection);
    QCOMPARE(w.Memo1->toPlainText(), QString());
    QCOMPARE(w.Memo2->document()->blockCount(), 1);
    QVERIFY(w.DBGrid1->editTriggers() == QAbstractItemView::NoEditTriggers);
    QCOMPARE(w.DBGrid4->model(), static_cast<QAbstractItemModel*>(w.ADOQuery2));
    const QStringList panels{"对象", "0", "记录", "0", "", "v0.1", ""};
    QCOMPARE(w.StatusBar1->panelCount(), 7);
    for (int i = 0; i < 7; ++i) QCOMPARE(w.StatusBar1->panelText(i), panels[i]);
    QCOMPARE(w.StatusBar1->panelRect(4).width(), 200);
    QCOMPARE(w.PageControl1->tabText(0), QStringLiteral("导出数据"));
    QCOMPARE(w.PageControl1->tabText(5), QStringLiteral("对象相依性"));
    QCOMPARE(w.Button8->text(), QStringLiteral("执行SQL (F5)"));
    QCOMPARE(w.Button6->toolTip(), QStringLiteral("选择服务器前请设置好登陆参数"));
    QCOMPARE(w.Button2->toolTip(), QStringLiteral("点击这里选择SQL服务器"));
    QVERIFY(desktop_.messages.empty());
  }

  void resizingKeepsTheBarsAndTheListWidth() {
    TForm1& w = openWindow();
    w.resize(1100, 800);
    QTest::qWait(1);
    QCOMPARE(w.findChild<QWidget*>("Panel1")->height(), 41);
    QCOMPARE(w.StatusBar1->height(), 19);
    QCOMPARE(w.PageControl2->width(), 185);
    QVERIFY(w.PageControl1->width() > 1100 - 185 - 20);
  }

  void connectionPageShowsAtOnceWhenConnectionsAreRemembered() {
    folder_->writeStore("[General]\nParamCount=1\nShowParam1=label\nHideParam1=\"db;srv;1;;;\"\n");
    TForm1& w = openWindow();
    QCOMPARE(w.ShowParamList->count(), 1);
    QCOMPARE(w.HideParamList->itemText(0), QStringLiteral("db;srv;1;;;"));
    QCOMPARE(w.ShowParamList->currentText(), QString());
    w.PageControl3->setCurrentIndex(2);
    w.ComboBoxServer_NM->setEditText("srv");
    w.Button2->click();
    settle();
    QVERIFY(w.MovePanel1->isVisible());
    QCOMPARE(w.PageControl3->currentWidget(), w.TabSheet7);
    w.Button5->click();
    settle();
    QVERIFY(!w.MovePanel1->isVisible());
    w.Button2->click();
    settle();
    w.Button10->click();
    settle();
    QVERIFY(!w.MovePanel1->isVisible());
    QCOMPARE(w.ComboBoxServer_NM->currentText(), QStringLiteral("srv"));
  }

  void pressOnStripOrEmptyPageMovesThePanelButNotOnAControl() {
    TForm1& w = openWindow();
    w.Button2->click();
    settle();
    const QPoint start = w.MovePanel1->pos();
    drag(w.Label24, {40, 5}, {-30, 20});
    QCOMPARE(w.MovePanel1->pos(), start + QPoint(-30, 20));

    const QPoint afterStrip = w.MovePanel1->pos();
    const QPoint emptySpot = w.TabSheet7->rect().bottomLeft() + QPoint(2, -2);
    QVERIFY(w.TabSheet7->childAt(emptySpot) == nullptr);
    drag(w.TabSheet7, emptySpot, {15, -10});
    QCOMPARE(w.MovePanel1->pos(), afterStrip + QPoint(15, -10));

    const QPoint afterPage = w.MovePanel1->pos();
    drag(w.Label2, {2, 2}, {25, 25});  // a label inside the page passes the press to the page
    drag(w.Button4, {2, 2}, {25, 25});
    QCOMPARE(w.MovePanel1->pos(), afterPage);
  }

  void panelStaysInsideTheWindow() {
    TForm1& w = openWindow();
    w.Button2->click();
    settle();
    drag(w.Label24, {40, 5}, {-5000, -5000});
    QCOMPARE(w.MovePanel1->pos(), QPoint(0, 0));
  }

  void progressBarCoversTheOwnerDrawnPanel() {
    TForm1& w = openWindow();
    QCOMPARE(w.progressRect(), w.StatusBar1->panelRect(4));
    w.CreateProgress();
    QVERIFY(w.ProgressBar != nullptr);
    const QRect r = w.progressRect();
    QCOMPARE(w.ProgressBar->geometry(), QRect(r.left(), r.top() - 1, r.width(), r.height() + 1));
    QCOMPARE(w.ProgressBar->minimum(), 0);
    QVERIFY(w.ProgressBar->maximum() > 0);  // a range of 0 to 0 would draw Qt's busy animation
    QCOMPARE(w.ProgressBar->value(), 0);
    QCOMPARE(w.ProgressBar->parentWidget(), static_cast<QWidget*>(w.StatusBar1));
    w.CreateProgress();
    QCOMPARE(w.StatusBar1->findChildren<QProgressBar*>().size(), 1);
    w.DestroyProgress();
    QVERIFY(w.ProgressBar == nullptr);
    QVERIFY(w.StatusBar1->findChildren<QProgressBar*>().isEmpty());
  }

  void unreadableSettingsAreReportedAndTheWindowStillOpens() {
    folder_->writeStore("[General]\nBackupPath=/data/bak\nParamCount=many\nShowParam1=a\nHideParam1=b\n");
    TForm1& w = openWindow();
    QVERIFY(w.isVisible());
    QCOMPARE(w.Edit14->text(), QStringLiteral("/data/bak"));
    QCOMPARE(w.ShowParamList->count(), 0);
    QCOMPARE(desktop_.messages.size(), std::size_t(1));
    const auto& report = desktop_.messages.front();
    QCOMPARE(report.caption, QStringLiteral("SQL SERVER 工具"));
    QCOMPARE(report.icon, MessageIcon::Error);
    QVERIFY2(report.text.contains("ParamCount"), qPrintable(report.text));
    QVERIFY(report.text.endsWith('.'));
  }

  void aTypedBackupFolderIsNotStored() {
    TForm1& first = openWindow();
    first.settingsStore().writeBackupPath("/stored");
    first.Edit14->setText("/typed");
    first.close();
    TForm1& second = openWindow();
    QCOMPARE(second.Edit14->text(), QStringLiteral("/stored"));
  }

  void conversionButtonsRewriteTheWholePane() {
    TForm1& w = openWindow();
    w.PageControl1->setEnabled(true);  // as after a connection was activated
    w.Memo1->setPlainText(QStringLiteral("啊国\n后台 ok"));
    w.BtnGBtoBIG->click();
    settle();
    QCOMPARE(w.Memo1->toPlainText(), QStringLiteral("啊國\n後臺 ok"));
    QCOMPARE(w.scriptPaneText().encoding, makeddl::Encoding::Big5);
    w.BtnBIGtoGB->click();
    settle();
    QCOMPARE(w.Memo1->toPlainText(), QStringLiteral("啊国\n後台 ok"));
    QCOMPARE(w.scriptPaneText().encoding, makeddl::Encoding::Gbk);
    QVERIFY(desktop_.messages.empty());
  }

  void conversionRefusesToDropCharacters() {
    TForm1& w = openWindow();
    w.PageControl1->setEnabled(true);
    w.Memo1->setPlainText(QStringLiteral("国 😀"));
    w.BtnGBtoBIG->click();
    settle();
    QCOMPARE(w.Memo1->toPlainText(), QStringLiteral("国 😀"));
    QCOMPARE(desktop_.messages.size(), std::size_t(1));
    QCOMPARE(desktop_.messages.front().caption, QStringLiteral("系统提示"));
    QVERIFY(desktop_.messages.front().text.contains(QStringLiteral("😀")));
  }

  // The sorted lists order names as the server's collation does, without regard to case.
  void sortedListsIgnoreLetterCase() {
    TForm1& w = openWindow();
    setObjectNames(w.ListBoxTable, {"Zeta", "alpha", "Beta"});
    QStringList names;
    for (int i = 0; i < w.ListBoxTable->count(); ++i) names << w.ListBoxTable->item(i)->text();
    QCOMPARE(names, (QStringList{"alpha", "Beta", "Zeta"}));
  }

  void theWindowsSizeAndPlaceAreRemembered() {
    TForm1& first = openWindow();
    first.setGeometry(150, 120, 900, 640);
    first.close();
    TForm1& second = openWindow();
    QCOMPARE(second.size(), QSize(900, 640));
  }

  // The script pane's face is fixed-pitch (宋体, or WenQuanYi Micro Hei Mono where it is
  // missing), so that the padding of the scripts lines up.
  void theScriptPaneIsFixedPitch() {
    TForm1& w = openWindow();
    const QFontMetrics metrics(w.Memo1->font());
    QCOMPARE(metrics.horizontalAdvance(QStringLiteral("iiii")), metrics.horizontalAdvance(QStringLiteral("WWWW")));
    QCOMPARE(metrics.horizontalAdvance(QStringLiteral("....")), metrics.horizontalAdvance(QStringLiteral("    ")));
  }

  // Qt's own buttons speak Chinese, and no display name is appended to the captions of the
  // message boxes (Qt adds one on X11 to every window whose title does not end with it).
  void theApplicationSpeaksChineseAndAddsNothingToCaptions() {
    setUpApplication(*qApp);
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("取消"));
    QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("makeddl"));  // the desktop entry's name
    QCOMPARE(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());  // none set
  }

  void anAbsurdConnectionCountIsReportedAndTheWindowOpens() {
    folder_->writeStore("[General]\nParamCount=2147483647\nShowParam1=one\nHideParam1=\"db;srv;SQL;u;p;\"\n");
    TForm1& w = openWindow();
    QVERIFY(w.isVisible());
    QCOMPARE(w.ShowParamList->count(), 1);
    QCOMPARE(desktop_.messages.size(), std::size_t(1));
    QVERIFY(desktop_.messages[0].text.contains("2147483647"));
  }

  void errorReportAppendsAFullStopOnlyAfterLaterCharacters() {
    QCOMPARE(errorReportText("disk full"), QStringLiteral("disk full."));
    QCOMPARE(errorReportText("无法连接数据源！"), QStringLiteral("无法连接数据源！."));
    QCOMPARE(errorReportText("done."), QStringLiteral("done."));
    QCOMPARE(errorReportText("(1)"), QStringLiteral("(1)"));
    QCOMPARE(errorReportText(""), QString());
  }

  void waitCursorIsRestoredWhenTheCommandFails() {
    try {
      WaitCursor wait(desktop_);
      QCOMPARE(desktop_.waitDepth, 1);
      throw std::runtime_error("failed");
    } catch (const std::runtime_error&) {
    }
    QCOMPARE(desktop_.waitDepth, 0);
  }
};

QTEST_MAIN(TstTForm1)
#include "tst_tform1.moc"
