#pragma once
// Whole programs timed from outside, for benchmarks that set the tool beside a peer program:
// each run is a child process, its wall time taken around it and its processor time and peak
// resident memory read from wait4.

#include <functional>
#include <string>
#include <vector>

namespace bench {

struct ChildRun {
  double seconds = 0;
  double cpuSeconds = 0;  // user and system
  double peakMb = 0;      // ru_maxrss
};

// Runs args[0] with standard input from `inputPath`, standard output into `outputPath` and
// standard error discarded. Throws when it cannot start or does not exit with 0.
ChildRun runChild(const std::vector<std::string>& args, const std::string& inputPath, const std::string& outputPath);

// The same with standard input a pipe, into which `feed` writes through the descriptor given
// (closed afterwards), while the child runs.
ChildRun runFedChild(const std::vector<std::string>& args, const std::function<void(int)>& feed,
                     const std::string& outputPath);

// The size of a file in megabytes (10^6 bytes); 0 when there is none.
double fileMb(const std::string& path);

// The median of the figures.
double median(std::vector<double> figures);

}  // namespace bench
