#pragma once
// The one way the window calls the server. The task runner owns the worker thread of the
// window's connection: a handler submits a task, its work runs on the worker, one task at a
// time in the order submitted, and what the work returns runs on the GUI thread afterwards.
// The window keeps painting and answering meanwhile. The running task can be cancelled: its
// statement is stopped at the server (an attention) and the connection stays usable.

#include <QObject>
#include <QString>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

#include "connection/data_access.h"

class QThread;
class QTimer;

namespace makeddl::app {

class TaskRunner;

// What a task's work may use on the worker thread.
class TaskContext {
 public:
  TaskContext(TaskRunner& runner, std::uint64_t task) : runner_(runner), task_(task) {}
  // The window's connection.
  connection::Connection& connection() const;
  // Runs the step on the GUI thread while the work goes on (rows that have arrived), in order,
  // unless the task has been cancelled by then.
  void onGui(std::function<void()> step) const;
  // The steps done out of the total, for the progress bar.
  void progress(int done, int total) const;

 private:
  TaskRunner& runner_;
  std::uint64_t task_;
};

struct Task {
  using GuiStep = std::function<void()>;
  enum class Kind {
    Command,  // waits for the tasks before it
    Pick,     // a pick in an object list: cancels a pick still running and replaces one waiting
  };

  // Runs on the worker and returns what the GUI does with the result; throws on failure.
  std::function<GuiStep(TaskContext&)> work{};
  // Runs on the GUI thread when the work (or its GUI step) fails, with the error's text.
  std::function<void(const QString& reason)> failed{};
  // Runs on the GUI thread when the task was cancelled; nothing of its result is shown.
  std::function<void()> cancelled{};
  Kind kind = Kind::Command;
  bool waitCursor = false;   // the wait cursor shows while the task runs
  bool progressBar = false;  // the status bar's progress bar shows while the task runs
  // Asked before the task is stopped, when stopping it can leave work half done; empty: none.
  QString stopQuestion{};
};

class TaskRunner : public QObject {
  Q_OBJECT
 public:
  enum class Outcome { Done, Failed, Cancelled };

  explicit TaskRunner(connection::Connection& connection, QObject* parent = nullptr);
  // Cancels what runs and waits for the worker, so that the connection outlives every use.
  ~TaskRunner() override;

  // Queues the task. A task submitted while another's result is being shown (a command that
  // goes on with another, as confirming a connection activates it) runs next.
  void run(Task task);
  bool busy() const { return running_ != nullptr; }
  // The task running now; null when idle.
  const Task* currentTask() const;
  // Cancels the running task and drops the waiting ones.
  void cancelAll();
  // Processes events until every task has ended or the time is up; true when idle.
  bool waitUntilIdle(std::chrono::milliseconds limit = std::chrono::seconds(30));

 signals:
  void taskStarted(const makeddl::app::Task& task);
  void taskEnded(const makeddl::app::Task& task, makeddl::app::TaskRunner::Outcome outcome);
  void progressChanged(int done, int total);

 private:
  friend class TaskContext;
  struct Running;

  void startNext();
  void workOn(std::uint64_t id, const std::function<Task::GuiStep(TaskContext&)>& work);
  void finish(std::uint64_t id, const Task::GuiStep& step, const std::optional<QString>& failure, bool cancelled);
  void cancelRunning();
  void sendCancel();
  bool isLive(std::uint64_t id) const;
  // Runs a GUI step of the task, as a failure when it throws.
  void runGuiStep(const std::function<void()>& step, std::optional<QString>& failure);

  connection::Connection& connection_;
  QThread* thread_;
  QObject* worker_;  // lives on the worker thread; work is queued to it
  QTimer* cancelRetry_;
  std::deque<Task> waiting_;
  std::unique_ptr<Running> running_;
  std::uint64_t lastId_ = 0;
  bool showingResult_ = false;
};

}  // namespace makeddl::app
