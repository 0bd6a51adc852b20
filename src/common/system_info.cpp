#include "common/system_info.h"

#include <cstring>
#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace makeddl {

std::string LocalComputerName() {
  char buffer[128] = {};
#ifdef _WIN32
  DWORD size = sizeof buffer;
  if (!GetComputerNameA(buffer, &size)) return std::string();
#else
  if (gethostname(buffer, sizeof buffer - 1) != 0) return std::string();
#endif
  return std::string(buffer, strnlen(buffer, sizeof buffer));
}

}  // namespace makeddl
