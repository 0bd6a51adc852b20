// `makeddl convert --gb-to-big5` as a whole process beside `iconv -c -f GB2312 -t BIG5`, the
// peer a user would otherwise run, on the same 64 MiB of mixed GB2312 text (mixed_text.h):
//
//   time    the two programs in turn, file to file, five pairs; the ratio of each pair's wall
//           times, then the median. Target: at most 1 (no slower than iconv).
//   memory  1 GiB poured through a pipe into `makeddl convert`, output thrown away; its peak
//           resident memory beside the 64 MiB run's shows it flat. Target: under 16 MB.
//
// A child's peak memory as wait4 reports it starts from this program's own peak at the start
// (the child shares this program's memory until it runs the next program), so this program
// stays small: it writes the text and checks the result in children of its own, and pours the
// gibibyte from the file a block at a time.
//
// Run: bench_convert_command [--runs N] [--keep]   (--keep leaves the files in /tmp)

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "child_process.h"
#include "codeconv/code_converter.h"
#include "mixed_text.h"

namespace {

constexpr std::size_t kTextBytes = 64 << 20;
constexpr int kGibibyteRounds = 16;  // 16 x 64 MiB

std::string fileText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// The child that writes the text to `path`.
int writeText(const std::string& path) {
  const std::string text = bench::BuildMixedText(kTextBytes).substr(0, kTextBytes);
  std::ofstream(path, std::ios::binary).write(text.data(), static_cast<std::streamsize>(text.size()));
  return 0;
}

// The child that checks that `output` is GBToBig5 of `input`.
int checkOutput(const std::string& input, const std::string& output) {
  if (fileText(output) == makeddl::codeconv::GBToBig5(fileText(input))) return 0;
  std::fprintf(stderr, "makeddl convert wrote something else than GBToBig5\n");
  return 1;
}

// Writes the file into the pipe `rounds` times, a block at a time.
void pourFile(const std::string& path, int rounds, int pipe) {
  std::string block(1 << 20, '\0');
  for (int round = 0; round < rounds; ++round) {
    std::ifstream file(path, std::ios::binary);
    while (file.read(block.data(), static_cast<std::streamsize>(block.size())) || file.gcount() > 0) {
      const auto size = static_cast<std::size_t>(file.gcount());
      for (std::size_t done = 0; done < size;) {
        const ssize_t written = write(pipe, block.data() + done, size - done);
        if (written <= 0) throw std::runtime_error("the pipe to makeddl convert closed early");
        done += static_cast<std::size_t>(written);
      }
    }
  }
}

void report(const char* what, const std::vector<bench::ChildRun>& runs) {
  std::vector<double> seconds, cpu, peak;
  for (const bench::ChildRun& run : runs) {
    seconds.push_back(run.seconds);
    cpu.push_back(run.cpuSeconds);
    peak.push_back(run.peakMb);
  }
  std::printf("%-40s median %6.3f s wall, %6.3f s CPU, %6.1f MB peak RSS\n", what, bench::median(seconds),
              bench::median(cpu), bench::median(peak));
}

int intOption(int argc, char** argv, const std::string& name, int fallback) {
  for (int i = 1; i + 1 < argc; ++i)
    if (argv[i] == name) return std::atoi(argv[i + 1]);
  return fallback;
}

bool flag(int argc, char** argv, const std::string& name) {
  for (int i = 1; i < argc; ++i)
    if (argv[i] == name) return true;
  return false;
}

}  // namespace

int main(int argc, char** argv) try {
  if (argc == 3 && std::string(argv[1]) == "--write-text") return writeText(argv[2]);
  if (argc == 4 && std::string(argv[1]) == "--check") return checkOutput(argv[2], argv[3]);
  const std::string self = "/proc/self/exe";
  const int runs = intOption(argc, argv, "--runs", 5);
  char folderTemplate[] = "/tmp/bench-convert-XXXXXX";
  const std::string folder = mkdtemp(folderTemplate);
  const std::string input = folder + "/gb.txt";
  bench::runChild({self, "--write-text", input}, "/dev/null", "/dev/null");

  const std::vector<std::string> makeddl{MAKEDDL_PROGRAM, "convert", "--gb-to-big5"};
  const std::vector<std::string> iconv{"/usr/bin/iconv", "-c", "-f", "GB2312", "-t", "BIG5"};
  std::vector<bench::ChildRun> ours, peer;
  std::vector<double> ratios;
  for (int i = 0; i < runs; ++i) {
    ours.push_back(bench::runChild(makeddl, input, folder + "/makeddl.out"));
    peer.push_back(bench::runChild(iconv, input, folder + "/iconv.out"));
    ratios.push_back(ours.back().seconds / peer.back().seconds);
  }
  bench::runChild({self, "--check", input, folder + "/makeddl.out"}, "/dev/null", "/dev/null");
  std::printf("64 MiB of mixed GB2312 text, %d runs each, in turn\n", runs);
  report("makeddl convert --gb-to-big5", ours);
  report("iconv -c -f GB2312 -t BIG5", peer);
  std::printf("time: %.2fx iconv's (median of the pairs; target <= 1)\n", bench::median(ratios));

  const bench::ChildRun gibibyte =
      bench::runFedChild(makeddl, [&input](int pipe) { pourFile(input, kGibibyteRounds, pipe); }, "/dev/null");
  std::printf("1 GiB through a pipe: %.2f s wall, %.1f MB peak RSS (target < 16)\n", gibibyte.seconds,
              gibibyte.peakMb);
  if (!flag(argc, argv, "--keep")) std::system(("rm -rf " + folder).c_str());
  return 0;
} catch (const std::exception& error) {
  std::fprintf(stderr, "bench_convert_command: %s\n", error.what());
  return 1;
}
