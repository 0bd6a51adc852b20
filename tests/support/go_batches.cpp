#include "go_batches.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace makeddl::testing {

namespace {

constexpr std::string_view kLineBlanks = " \t\r";

std::string_view withoutBlanks(std::string_view line) {
  const std::size_t first = line.find_first_not_of(kLineBlanks);
  if (first == std::string_view::npos) return {};
  return line.substr(first, line.find_last_not_of(kLineBlanks) - first + 1);
}

bool isGoLine(std::string_view line) {
  const std::string_view word = withoutBlanks(line);
  return word.size() == 2 && (word[0] == 'G' || word[0] == 'g') && (word[1] == 'O' || word[1] == 'o');
}

void keepBatch(std::vector<std::string>& batches, std::string& batch) {
  if (batch.find_first_not_of(" \t\r\n") != std::string::npos) batches.push_back(batch);
  batch.clear();
}

}  // namespace

std::vector<std::string> splitAtGoLines(std::string_view script) {
  std::vector<std::string> batches;
  std::string batch;
  while (!script.empty()) {
    const std::size_t end = script.find('\n');
    const std::string_view line = script.substr(0, end);
    script.remove_prefix(end == std::string_view::npos ? script.size() : end + 1);
    if (isGoLine(line)) {
      keepBatch(batches, batch);
    } else {
      batch.append(line);
      batch += '\n';
    }
  }
  keepBatch(batches, batch);
  return batches;
}

std::vector<std::string> goBatchesOfFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw std::runtime_error("cannot read " + path);
  std::ostringstream text;
  text << file.rdbuf();
  return splitAtGoLines(text.str());
}

}  // namespace makeddl::testing
