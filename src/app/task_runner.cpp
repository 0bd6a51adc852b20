#include "app/task_runner.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <algorithm>

namespace makeddl::app {

struct TaskRunner::Running {
  std::uint64_t id;
  Task task;
  bool cancelRequested = false;
};

connection::Connection& TaskContext::connection() const { return runner_.connection_; }

void TaskContext::onGui(std::function<void()> step) const {
  TaskRunner* runner = &runner_;
  const std::uint64_t id = task_;
  QMetaObject::invokeMethod(
      runner,
      [runner, id, step = std::move(step)] {
        if (!runner->isLive(id)) return;
        std::optional<QString> failure;
        runner->runGuiStep(step, failure);
        if (failure) runner->cancelRunning();  // the rest of the task is of no use now
      },
      Qt::QueuedConnection);
}

void TaskContext::progress(int done, int total) const {
  TaskRunner* runner = &runner_;
  const std::uint64_t id = task_;
  QMetaObject::invokeMethod(
      runner,
      [runner, id, done, total] {
        if (runner->isLive(id)) emit runner->progressChanged(done, total);
      },
      Qt::QueuedConnection);
}

TaskRunner::TaskRunner(connection::Connection& connection, QObject* parent)
    : QObject(parent), connection_(connection), thread_(new QThread(this)), worker_(new QObject),
      cancelRetry_(new QTimer(this)) {
  thread_->setObjectName(QStringLiteral("connection worker"));
  worker_->moveToThread(thread_);
  connect(thread_, &QThread::finished, worker_, &QObject::deleteLater);
  thread_->start();
  // The driver takes a cancel only once its call has begun; until then it is tried again.
  cancelRetry_->setInterval(30);
  connect(cancelRetry_, &QTimer::timeout, this, [this] { sendCancel(); });
}

TaskRunner::~TaskRunner() {
  cancelAll();
  thread_->quit();
  thread_->wait();
}

const Task* TaskRunner::currentTask() const { return running_ ? &running_->task : nullptr; }

void TaskRunner::run(Task task) {
  if (task.kind == Task::Kind::Pick) {
    std::erase_if(waiting_, [](const Task& waiting) { return waiting.kind == Task::Kind::Pick; });
    if (running_ && running_->task.kind == Task::Kind::Pick) cancelRunning();
  }
  if (showingResult_)
    waiting_.push_front(std::move(task));
  else
    waiting_.push_back(std::move(task));
  if (!running_) startNext();
}

void TaskRunner::startNext() {
  if (running_ || waiting_.empty()) return;
  running_ = std::make_unique<Running>(Running{++lastId_, std::move(waiting_.front())});
  waiting_.pop_front();
  // Cleared here, while the worker is idle, so that no cancel of this task can be lost.
  connection_.clearCancel();
  emit taskStarted(running_->task);
  const std::uint64_t id = running_->id;
  QMetaObject::invokeMethod(
      worker_, [this, id, work = running_->task.work] { workOn(id, work); }, Qt::QueuedConnection);
}

// On the worker thread.
void TaskRunner::workOn(std::uint64_t id, const std::function<Task::GuiStep(TaskContext&)>& work) {
  Task::GuiStep step;
  std::optional<QString> failure;
  bool cancelled = false;
  try {
    TaskContext context(*this, id);
    step = work(context);
  } catch (const connection::Cancelled&) {
    cancelled = true;
  } catch (const std::exception& error) {
    failure = QString::fromUtf8(error.what());
  } catch (...) {
    failure = QStringLiteral("未知错误");
  }
  QMetaObject::invokeMethod(
      this, [this, id, step, failure, cancelled] { finish(id, step, failure, cancelled); },
      Qt::QueuedConnection);
}

void TaskRunner::finish(std::uint64_t id, const Task::GuiStep& step, const std::optional<QString>& workFailure,
                        bool cancelledByDriver) {
  if (!running_ || running_->id != id) return;
  cancelRetry_->stop();
  const std::unique_ptr<Running> ended = std::move(running_);
  const Task& task = ended->task;
  Outcome outcome = Outcome::Done;
  std::optional<QString> failure = workFailure;
  showingResult_ = true;
  if (ended->cancelRequested || cancelledByDriver) {
    outcome = Outcome::Cancelled;
    if (task.cancelled) runGuiStep(task.cancelled, failure);
  } else {
    if (!failure && step) runGuiStep(step, failure);
    if (failure) {
      outcome = Outcome::Failed;
      if (task.failed) task.failed(*failure);
    }
  }
  showingResult_ = false;
  emit taskEnded(task, outcome);
  startNext();
}

void TaskRunner::runGuiStep(const std::function<void()>& step, std::optional<QString>& failure) {
  try {
    step();
  } catch (const std::exception& error) {
    failure = QString::fromUtf8(error.what());
  }
}

bool TaskRunner::isLive(std::uint64_t id) const {
  return running_ && running_->id == id && !running_->cancelRequested;
}

void TaskRunner::cancelAll() {
  waiting_.clear();
  cancelRunning();
}

void TaskRunner::cancelRunning() {
  if (!running_ || running_->cancelRequested) return;
  running_->cancelRequested = true;
  sendCancel();
}

void TaskRunner::sendCancel() {
  if (!running_) return;
  if (connection_.cancel())
    cancelRetry_->stop();
  else
    cancelRetry_->start();
}

bool TaskRunner::waitUntilIdle(std::chrono::milliseconds limit) {
  const QDeadlineTimer deadline(limit);
  while (busy() && !deadline.hasExpired()) {
    QEventLoop loop;
    connect(this, &TaskRunner::taskEnded, &loop, &QEventLoop::quit);
    QTimer::singleShot(std::min<qint64>(deadline.remainingTime(), 50), &loop, &QEventLoop::quit);
    loop.exec();
  }
  QCoreApplication::processEvents();
  return !busy();
}

}  // namespace makeddl::app
