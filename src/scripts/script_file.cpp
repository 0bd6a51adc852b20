#include "scripts/script_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace makeddl::scripts {

namespace {

std::filesystem::path pathFromUtf8(const std::string& path) {
  return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

[[noreturn]] void cannotWrite(const std::string& path) {
  throw std::runtime_error("无法写入文件“" + path + "”：" + std::strerror(errno));
}

}  // namespace

void writeScriptFile(const std::string& path, std::string_view bytes) {
  errno = 0;
  std::ofstream file(pathFromUtf8(path), std::ios::binary | std::ios::trunc);
  if (!file) cannotWrite(path);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  file.close();
  if (!file) cannotWrite(path);
}

}  // namespace makeddl::scripts
