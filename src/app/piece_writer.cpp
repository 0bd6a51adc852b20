#include "app/piece_writer.h"

#include <utility>

namespace makeddl::app {

PieceWriter::PieceWriter(std::function<void(const std::string& piece)> write)
    : write_(std::move(write)), thread_([this] { run(); }) {}

PieceWriter::~PieceWriter() {
  {
    std::lock_guard lock(mutex_);
    queue_.clear();
    stopping_ = true;
    changed_.notify_all();
  }
  thread_.join();
}

void PieceWriter::hand(std::string piece) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return failure_ || queue_.size() < kMaxQueued; });
  if (failure_) std::rethrow_exception(failure_);
  queue_.push_back(std::move(piece));
  changed_.notify_all();
}

void PieceWriter::finish() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return failure_ || (queue_.empty() && !busy_); });
  if (failure_) std::rethrow_exception(failure_);
}

void PieceWriter::run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (queue_.empty()) return;
    const std::string piece = std::move(queue_.front());
    queue_.pop_front();
    busy_ = true;
    lock.unlock();
    std::exception_ptr failure;
    try {
      write_(piece);
    } catch (...) {
      failure = std::current_exception();
    }
    lock.lock();
    busy_ = false;
    if (failure) {
      failure_ = failure;
      queue_.clear();
    }
    changed_.notify_all();
    if (failure_) {
      changed_.wait(lock, [this] { return stopping_; });
      return;
    }
  }
}

}  // namespace makeddl::app
