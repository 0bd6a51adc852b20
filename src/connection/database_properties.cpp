#include "connection/database_properties.h"

#include <cstdio>

#include "common/strings.h"

namespace makeddl::connection {

std::string fileDescription(const DataSet& files) {
  return trimmed(files.field(2).asText()) + " [" + trimmed(files.field(0).asText()) + "]";
}

std::string databaseSizeText(long long kilobytes, char decimalSeparator) {
  if (kilobytes <= 1024) return std::to_string(kilobytes) + " KB";
  char megabytes[64];
  std::snprintf(megabytes, sizeof megabytes, "%.2f", static_cast<double>(kilobytes) / 1024.0);
  std::string text = megabytes;
  if (const auto point = text.find('.'); point != std::string::npos) text[point] = decimalSeparator;
  return text + " MB";
}

std::string creationDateText(const DateTime& time, char timeSeparator) {
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d%c%02d%c%02d", time.year, time.month, time.day, time.hour,
                timeSeparator, time.minute, timeSeparator, time.second);
  return text;
}

}  // namespace makeddl::connection
