// The real desktop's save dialogue, offscreen: it replaces files without a question and offers
// the name chosen last.

#include <QApplication>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "app/desktop.h"

using makeddl::app::QtDesktop;

class TstDesktop : public QObject {
  Q_OBJECT

  // Runs `answer` on the save dialogue once it is shown.
  static void whenDialogShows(const std::function<void(QFileDialog*)>& answer) {
    QTimer::singleShot(0, [answer] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      QVERIFY(dialog);
      answer(dialog);
    });
  }

 private slots:
  void saveDialogueReplacesWithoutAskingAndOffersTheLastName() {
    QTemporaryDir dir;
    const QString path = dir.filePath("old.sql");
    QFile existing(path);
    QVERIFY(existing.open(QIODevice::WriteOnly));
    existing.close();
    QtDesktop desktop(nullptr);
    const QStringList filters{QStringLiteral("SQL脚本文件(*.sql)"), QStringLiteral("文本文件(*.txt)")};
    bool asksBeforeReplacing = true;
    whenDialogShows([&](QFileDialog* dialog) {
      asksBeforeReplacing = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
      dialog->selectFile(path);
      QMetaObject::invokeMethod(dialog, "accept");
    });
    const auto chosen = desktop.askSaveFile(filters, "sql");
    QVERIFY(chosen);
    QCOMPARE(chosen->path, path);
    QCOMPARE(chosen->filterIndex, 0);
    QVERIFY(!asksBeforeReplacing);
    QString offered;
    whenDialogShows([&](QFileDialog* dialog) {
      offered = dialog->selectedFiles().value(0);
      dialog->reject();
    });
    QVERIFY(!desktop.askSaveFile(filters, "sql"));
    QCOMPARE(offered, path);
  }
};

QTEST_MAIN(TstDesktop)
#include "tst_desktop.moc"
