// TForm1: creation and closing, the command wrapper, and the commands of the window shell.

#include "app/tform1.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>

#include "app/desktop.h"
#include "app/settings_store.h"
#include "app/status_bar.h"

namespace makeddl::app {

namespace {
constexpr int kConnectionDialogPage = 0;
}

TForm1::TForm1(Desktop& desktop, QWidget* parent)
    : QMainWindow(parent), desktop_(desktop), settingsStore_(std::make_unique<SettingsStore>()) {
  setObjectName(QStringLiteral("TForm1"));
  buildWindow();
  connectCommands();
  FormCreate();
}

TForm1::~TForm1() = default;

void TForm1::runCommand(const std::function<void()>& command) {
  try {
    command();
  } catch (const std::exception& error) {
    desktop_.reportError(QString::fromUtf8(error.what()));
  }
}

void TForm1::connectCommand(QAbstractButton* button, void (TForm1::*handler)()) {
  connect(button, &QAbstractButton::clicked, this, [this, handler] { runCommand([this, handler] { (this->*handler)(); }); });
}

void TForm1::connectCommands() {
  connectCommand(Button2, &TForm1::Button2Click);
  connectCommand(Button5, &TForm1::Button5Click);
  connectCommand(Button10, &TForm1::Button10Click);
  connectCommand(BtnGBtoBIG, &TForm1::BtnGBtoBIGClick);
  connectCommand(BtnBIGtoGB, &TForm1::BtnBIGtoGBClick);
  connectCatalogCommands();
  connectConnectionCommands();
  connectAdminCommands();
  connectScriptCommands();
}

// The creation step: reads the settings store into Edit14 and the two connection lists.
// An unreadable value is reported and the window still opens with what was read.
void TForm1::FormCreate() {
  runCommand([this] {
    const LoadedSettings loaded = settingsStore_->load();
    if (loaded.backupPath) Edit14->setText(*loaded.backupPath);
    for (const RememberedConnection& connection : loaded.connections) {
      ShowParamList->addItem(connection.label);
      HideParamList->addItem(connection.record);
    }
    ShowParamList->setCurrentIndex(-1);
    if (loaded.error) desktop_.reportError(QString::fromStdString(*loaded.error));
  });
}

void TForm1::FormClose() { settingsStore_->close(); }

void TForm1::closeEvent(QCloseEvent* event) {
  FormClose();
  QMainWindow::closeEvent(event);
}

void TForm1::showFloatingPage(int page) {
  PageControl3->setCurrentIndex(page);
  MovePanel1->show();
  MovePanel1->raise();
}

void TForm1::Button2Click() {
  if (ShowParamList->count() == 0) Button6Click();
  showFloatingPage(kConnectionDialogPage);
}

void TForm1::Button5Click() { MovePanel1->hide(); }

void TForm1::Button10Click() { MovePanel1->hide(); }

void TForm1::StatusBar1DrawPanel(PanelStatusBar&, int, const QRect& rect) { progressRect_ = rect; }

void TForm1::CreateProgress() {
  DestroyProgress();
  ProgressBar = new QProgressBar(StatusBar1);
  ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
  const QRect& r = progressRect_;
  ProgressBar->setGeometry(r.left(), r.top() - 1, r.width(), r.height() + 1);
  ProgressBar->setOrientation(Qt::Horizontal);
  ProgressBar->setTextVisible(false);
  ProgressBar->setRange(0, 0);
  ProgressBar->setValue(0);
  ProgressBar->show();
}

void TForm1::DestroyProgress() {
  delete ProgressBar;
  ProgressBar = nullptr;
}

ScriptPaneText TForm1::scriptPaneText() const {
  return {Memo1->toPlainText().toStdString(), scriptPaneEncoding_};
}

void TForm1::setScriptPaneText(const ScriptPaneText& text) {
  Memo1->setPlainText(QString::fromStdString(text.utf8));
  scriptPaneEncoding_ = text.encoding;
}

void TForm1::convertScriptPane(ScriptPaneText (*conversion)(const ScriptPaneText&)) {
  try {
    setScriptPaneText(conversion(scriptPaneText()));
  } catch (const UnencodableText& error) {
    // Converting would lose these characters: keep the pane as it is and say which.
    desktop_.notify(QStringLiteral("脚本中有%1编码无法表示的字符，未转换：%2")
                        .arg(QString::fromLatin1(displayName(scriptPaneEncoding_)),
                             QString::fromStdString(error.characters())),
                    MessageIcon::Error);
  }
}

void TForm1::BtnGBtoBIGClick() { convertScriptPane(&convertGbToBig5); }

void TForm1::BtnBIGtoGBClick() { convertScriptPane(&convertBig5ToGb); }

}  // namespace makeddl::app
