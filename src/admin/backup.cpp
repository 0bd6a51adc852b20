#include "admin/backup.h"

#include <cctype>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "common/strings.h"

namespace makeddl::admin {

namespace {

char delimiterOf(std::string_view folder) {
  const bool windowsStyle = folder.find('\\') != std::string_view::npos ||
                            (folder.size() >= 2 && std::isalpha(static_cast<unsigned char>(folder[0])) && folder[1] == ':');
  if (windowsStyle) return '\\';
  if (folder.find('/') != std::string_view::npos) return '/';
  return static_cast<char>(std::filesystem::path::preferred_separator);
}

std::string extensionOf(std::string_view fileName) {
  const std::size_t dot = fileName.rfind('.');
  return dot == std::string_view::npos ? std::string() : std::string(fileName.substr(dot));
}

// Paths are UTF-8 inside the program, whatever the platform's own narrow encoding.
std::filesystem::path toPath(const std::string& utf8) { return std::u8string(utf8.begin(), utf8.end()); }

std::string fromPath(const std::filesystem::path& path) {
  const std::u8string utf8 = path.u8string();
  return std::string(utf8.begin(), utf8.end());
}

bool fileExists(const std::string& path) {
  std::error_code error;
  return std::filesystem::exists(toPath(path), error);
}

}  // namespace

LocalTime localTimeNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min};
}

std::string backupFileName(const LocalTime& time) {
  char name[32];
  std::snprintf(name, sizeof name, "%04d%02d%02d_%02d%02d.dat", time.year, time.month, time.day, time.hour,
                time.minute);
  return name;
}

std::string folderWithDelimiter(std::string_view folder) {
  const char delimiter = delimiterOf(folder);
  std::string result(folder);
  if (result.empty() || result.back() != delimiter) result += delimiter;
  return result;
}

std::string newBackupFileName(std::string_view folder, const LocalTime& time) {
  const std::string base = backupFileName(time);
  const std::string directory = folderWithDelimiter(folder);
  std::string name = base;
  for (int copy = 2; fileExists(directory + name); ++copy)
    name = base.substr(0, base.size() - 4) + "_" + std::to_string(copy) + ".dat";
  return name;
}

std::string backupStatement(std::string_view database, std::string_view path) {
  return "USE master BACKUP DATABASE " + quotedIdentifier(database) + " TO DISK = " + quoted(path);
}

std::string restoreStatement(std::string_view database, std::string_view path) {
  return "USE master RESTORE DATABASE " + quotedIdentifier(database) + " FROM DISK = " + quoted(path);
}

std::string useStatement(std::string_view database) { return "USE " + quotedIdentifier(database); }

bool ExtensionMatches(std::string_view fileName, std::string_view extension) {
  return equalsIgnoringCase(extensionOf(fileName), extension);
}

std::vector<std::string> FindFiles(std::string_view folder, std::string_view masks) {
  std::vector<std::string> found;
  const std::string directory = folderWithDelimiter(folder);
  std::error_code error;
  std::filesystem::directory_iterator entries(toPath(directory), error);
  if (error) return found;
  const std::vector<std::string> pieces = SplitBySemicolon(masks);
  for (const auto& entry : entries) {
    if (entry.is_directory(error)) continue;
    const std::string name = fromPath(entry.path().filename());
    for (std::string piece : pieces) {
      std::erase(piece, '*');
      if (ExtensionMatches(name, piece)) found.push_back(directory + name);
    }
  }
  return found;
}

std::string fileNameOf(std::string_view path) {
  const std::size_t last = path.find_last_of("\\/");
  return std::string(last == std::string_view::npos ? path : path.substr(last + 1));
}

}  // namespace makeddl::admin
