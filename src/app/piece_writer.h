#pragma once
// Hands pieces of output to a thread of its own, which passes them in order to a writing
// function, while the caller makes the next piece: a script's rows are read and turned into
// statements while the piece before them is encoded and written.

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace makeddl::app {

class PieceWriter {
 public:
  // `write` runs on the writer's thread, one piece at a time, in the order they were handed over.
  explicit PieceWriter(std::function<void(const std::string& piece)> write);
  // Without finish(): stops after the piece being written and drops the rest, throwing nothing.
  ~PieceWriter();
  PieceWriter(const PieceWriter&) = delete;
  PieceWriter& operator=(const PieceWriter&) = delete;

  // Queues the piece, waiting while kMaxQueued pieces wait already, so that memory stays bounded.
  // Throws the failure of an earlier piece's writing.
  void hand(std::string piece);
  // Waits until every piece is written; throws the first failure.
  void finish();

 private:
  static constexpr std::size_t kMaxQueued = 2;

  void run();

  std::function<void(const std::string&)> write_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::string> queue_;
  bool busy_ = false;      // a piece is being written
  bool stopping_ = false;  // no more pieces will come
  std::exception_ptr failure_;
  std::thread thread_;
};

}  // namespace makeddl::app
