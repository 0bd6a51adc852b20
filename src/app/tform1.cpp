// TForm1: creation and closing, the command wrapper, the window's side of the task runner, and
// the commands of the window shell.

#include "app/tform1.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>

#include "app/desktop.h"
#include "app/settings_store.h"
#include "app/status_bar.h"

namespace makeddl::app {

namespace {
constexpr int kConnectionDialogPage = 0;
// A command that ends sooner than this shows no stop control, so that quick clicks do not flicker.
constexpr int kStopControlDelayMs = 300;
}  // namespace

TForm1::TForm1(Desktop& desktop, QWidget* parent)
    : QMainWindow(parent), desktop_(desktop), settingsStore_(std::make_unique<SettingsStore>()),
      tasks_(std::make_unique<TaskRunner>(ADOConnection1)) {
  setObjectName(QStringLiteral("TForm1"));
  buildWindow();
  connectCommands();
  connectTasks();
  FormCreate();
}

TForm1::~TForm1() {
  // The worker may still use the connection and the models: it ends before they go.
  tasks_.reset();
}

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

// The creation step: reads the settings store into Edit14 and the two connection lists, and
// the window's place. An unreadable value is reported and the window still opens with what
// was read; so is a discovery setting that cannot be read.
void TForm1::FormCreate() {
  runCommand([this] {
    const LoadedSettings loaded = settingsStore_->load();
    if (loaded.backupPath) Edit14->setText(*loaded.backupPath);
    for (const RememberedConnection& connection : loaded.connections) {
      ShowParamList->addItem(connection.label);
      HideParamList->addItem(connection.record);
    }
    ShowParamList->setCurrentIndex(-1);
    if (!loaded.windowGeometry.isEmpty()) restoreGeometry(loaded.windowGeometry);
    if (loaded.error) desktop_.reportError(QString::fromStdString(*loaded.error));
  });
  runCommand([this] { discoverySettings = connection::discoverySettingsFromEnvironment(); });
}

void TForm1::FormClose() {
  runCommand([this] { settingsStore_->writeWindowGeometry(saveGeometry()); });
  settingsStore_->close();
}

void TForm1::closeEvent(QCloseEvent* event) {
  tasks_->cancelAll();
  tasks_->waitUntilIdle();
  FormClose();
  QMainWindow::closeEvent(event);
}

// The window's side of the runner: the wait cursor and the progress bar while a task runs,
// the stop control once it has run for a moment, Esc, and the status line.
void TForm1::connectTasks() {
  connect(tasks_.get(), &TaskRunner::taskStarted, this, &TForm1::taskStarted);
  connect(tasks_.get(), &TaskRunner::taskEnded, this, &TForm1::taskEnded);
  connect(tasks_.get(), &TaskRunner::progressChanged, this, &TForm1::showProgress);
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  escape->setContext(Qt::WindowShortcut);
  connect(escape, &QShortcut::activated, this, [this] { stopCommand(); });
  connect(StopButton, &QToolButton::clicked, this, [this] { stopCommand(); });
}

void TForm1::runTask(Task task) {
  task.failed = [this, handler = std::move(task.failed)](const QString& reason) {
    noteFailure(reason);
    if (handler)
      handler(reason);
    else
      desktop_.reportError(reason);
  };
  tasks_->run(std::move(task));
}

void TForm1::taskStarted(const Task& task) {
  StatusMessage->clear();
  StatusMessage->setToolTip(QString());
  if (task.waitCursor) desktop_.setWaitCursor(true);
  if (task.progressBar) CreateProgress();
  QTimer::singleShot(kStopControlDelayMs, StopButton, [this] { StopButton->setVisible(tasks_->busy()); });
}

void TForm1::taskEnded(const Task& task, TaskRunner::Outcome outcome) {
  if (task.waitCursor) desktop_.setWaitCursor(false);
  if (task.progressBar) DestroyProgress();
  StopButton->hide();
  if (outcome == TaskRunner::Outcome::Cancelled) StatusMessage->setText(QStringLiteral("命令已取消"));
}

void TForm1::showProgress(int done, int total) {
  if (!ProgressBar) return;
  // A maximum of 0 would draw Qt's busy animation instead of an empty bar.
  ProgressBar->setRange(0, std::max(total, 1));
  ProgressBar->setValue(done);
}

void TForm1::stopCommand() {
  const Task* running = tasks_->currentTask();
  if (!running) return;
  if (!running->stopQuestion.isEmpty() && !desktop_.askYesNo(kMessageCaption, running->stopQuestion)) return;
  tasks_->cancelAll();
}

void TForm1::noteFailure(const QString& reason) {
  StatusMessage->setText(QStringLiteral("上一命令失败：") + reason.section(QLatin1Char('\n'), 0, 0));
  StatusMessage->setToolTip(reason);
}

void TForm1::showFloatingPage(int page) {
  PageControl3->setCurrentIndex(page);
  MovePanel1->show();
  MovePanel1->raise();
}

// With no remembered connection, the server discovery runs first, and the panel shows when it
// has ended.
void TForm1::Button2Click() {
  if (ShowParamList->count() == 0)
    discoverServers([this] { showFloatingPage(kConnectionDialogPage); });
  else
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
  // Empty until the run sets its maximum: a range of 0 to 0 would animate as busy.
  ProgressBar->setRange(0, 1);
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
