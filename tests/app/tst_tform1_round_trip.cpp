// The hostile corpus scripted through the window as a user does it: 产生Create, 保存, 产生Insert,
// 保存, and the two saved files run on a new database. Every value comes back byte for byte and
// nothing runs that no one wrote.

#include <QFile>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "common/text_codec.h"
#include "database_comparison.h"
#include "hostile_corpus.h"
#include "window_test.h"

using namespace makeddl::app;
using sandbox::testing::SandboxProcess;

namespace {

const char* const kPassword = "Window#1";

QByteArray fileBytes(const QString& path) {
  QFile file(path);
  file.open(QIODevice::ReadOnly);
  return file.readAll();
}

}  // namespace

class TstTForm1RoundTrip : public makeddl::app::testing::WindowTest {
  Q_OBJECT

 private:
  std::unique_ptr<SandboxProcess> server_;
  QTemporaryDir folder_;

  // The script the pane holds after `button`, saved as the user saves it; the file's bytes
  // read back as the text they stand for.
  std::string generateAndSave(TForm1& w, QPushButton* button, const QString& name) {
    button->click();
    settle();
    const QString path = folder_.filePath(name);
    desktop_.saveAnswers.push_back({path, 0});
    w.Button12->click();
    settle();
    return makeddl::decodeToUtf8(fileBytes(path).toStdString(), makeddl::Encoding::Gbk);
  }

 private slots:
  void initTestCase() {
    server_ = std::make_unique<SandboxProcess>(kPassword);
    makeddl::testing::runBatches(*server_, "master", {"create database hostile", "create database hostile_copy"});
    makeddl::testing::runBatches(*server_, "hostile", makeddl::scripts::corpus::hostileBatches());
    makeddl::testing::runBatches(*server_, "hostile_copy",
                                 {"create table victim (id int not null primary key)", "insert into victim values (1)"});
  }
  void cleanupTestCase() { server_.reset(); }
  void init() { beginTest(); }
  void cleanup() { endTest(); }

  void generatedAndSavedScriptsRecreateEveryValue() {
    QStringList tables;
    for (const std::string& table : makeddl::testing::userTables(*server_, "hostile"))
      if (table != "victim") tables << QString::fromStdString(table);
    TForm1& w = openActivatedWindow(tables);
    makeddl::testing::connectAsSa(w.ADOConnection1, *server_, "hostile");
    w.ListBoxTable->setCurrentRow(0);
    w.ListBoxTable->selectAll();

    const std::string createScript = generateAndSave(w, w.Button7, "create.sql");
    const std::string insertScript = generateAndSave(w, w.Button11, "insert.sql");
    QVERIFY(desktop_.messages.empty());
    QVERIFY(createScript.find("\r\n----   DROP TABLE victim --\r\n") != std::string::npos);
    makeddl::testing::runBatches(*server_, "hostile_copy", {createScript, insertScript});

    QCOMPARE(makeddl::testing::rowsOf(*server_, "hostile_copy", "select count(*) from victim").at(0).at(0),
             std::optional<std::string>("1"));
    const std::string differences = makeddl::testing::tableDifferences(*server_, "hostile", "hostile_copy");
    QVERIFY2(differences.empty(), differences.c_str());
    QVERIFY(makeddl::testing::rowsOf(*server_, "hostile_copy", makeddl::scripts::corpus::kVariantFacts) ==
            makeddl::testing::rowsOf(*server_, "hostile", makeddl::scripts::corpus::kVariantFacts));
  }

  // The query's column without a name cannot be inserted into: a message names its place and
  // the pane stays empty.
  void insertOfAQueryWithAnUnnamedColumnIsRefused() {
    TForm1& w = openActivatedWindow({"victim"});
    makeddl::testing::connectAsSa(w.ADOConnection1, *server_, "hostile");
    w.ListBoxTable->setCurrentRow(0);
    w.Memo2->setPlainText("select count(*) from victim");
    w.Button14->click();
    settle();
    QCOMPARE(w.Memo1->toPlainText(), QString());
    QCOMPARE(desktop_.messages.size(), size_t(1));
    QVERIFY(desktop_.messages[0].text.contains(QStringLiteral("第 1 列")));
  }
};

QTEST_MAIN(TstTForm1RoundTrip)
#include "tst_tform1_round_trip.moc"
