#include "child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>

extern char** environ;

namespace bench {

namespace {

double secondsOf(const timeval& time) { return static_cast<double>(time.tv_sec) + time.tv_usec / 1e6; }

// Starts the child with the file actions given and the clock running; `whileRunning` runs before
// the wait.
ChildRun runWith(const std::vector<std::string>& args, posix_spawn_file_actions_t& files,
                 const std::function<void()>& whileRunning) {
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_addopen(&files, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  const int started = posix_spawn(&pid, argv[0], &files, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&files);
  if (started != 0) throw std::runtime_error("cannot start " + args[0]);
  whileRunning();
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error(args[0] + " failed");
  return {elapsed.count(), secondsOf(usage.ru_utime) + secondsOf(usage.ru_stime),
          static_cast<double>(usage.ru_maxrss) / 1024.0};
}

}  // namespace

ChildRun runChild(const std::vector<std::string>& args, const std::string& inputPath, const std::string& outputPath) {
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, STDIN_FILENO, inputPath.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  return runWith(args, files, [] {});
}

ChildRun runFedChild(const std::vector<std::string>& args, const std::function<void(int)>& feed,
                     const std::string& outputPath) {
  int pipeEnds[2];
  if (pipe2(pipeEnds, O_CLOEXEC) != 0) throw std::runtime_error("cannot make a pipe");
  signal(SIGPIPE, SIG_IGN);  // a child that fails early must not end the benchmark
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_adddup2(&files, pipeEnds[0], STDIN_FILENO);
  posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  return runWith(args, files, [&] {
    close(pipeEnds[0]);
    feed(pipeEnds[1]);
    close(pipeEnds[1]);
  });
}

double fileMb(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 ? static_cast<double>(info.st_size) / 1e6 : 0;
}

double median(std::vector<double> figures) {
  std::sort(figures.begin(), figures.end());
  return figures.empty() ? 0 : figures[figures.size() / 2];
}

}  // namespace bench
