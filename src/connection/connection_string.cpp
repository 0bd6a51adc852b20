#include "connection/connection_string.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <stdexcept>
#include <vector>

#include "common/strings.h"

namespace makeddl::connection {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string lowerCase(std::string_view text) {
  std::string result(text);
  std::transform(result.begin(), result.end(), result.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return result;
}

// A value as the OLE DB provider reads it back unchanged: bare when it can be, otherwise in
// double quotes with inner double quotes doubled.
std::string oleDbValue(std::string_view value) {
  const bool needsQuotes = value.find_first_of(";\"") != std::string_view::npos ||
                           (!value.empty() && (isBlank(value.front()) || isBlank(value.back()) ||
                                               value.front() == '\''));
  if (!needsQuotes) return std::string(value);
  std::string quotedValue = "\"";
  for (char c : value) {
    if (c == '"') quotedValue += '"';
    quotedValue += c;
  }
  return quotedValue + '"';
}

std::string_view trimBlanks(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

// Reads a quoted value starting at text[at] (the quote); returns it and moves `at` past it.
std::string readQuotedValue(std::string_view text, std::size_t& at) {
  const char quote = text[at++];
  std::string value;
  for (; at < text.size(); ++at) {
    if (text[at] != quote) {
      value += text[at];
    } else if (at + 1 < text.size() && text[at + 1] == quote) {
      value += quote;
      ++at;
    } else {
      ++at;
      return value;
    }
  }
  throw std::invalid_argument("connection string has an unterminated quoted value");
}

// "(local)" and "." name the local machine, which the ODBC driver only knows by address.
std::string odbcServer(const std::string& dataSource) {
  const std::size_t instanceAt = dataSource.find('\\');
  const std::string host = trimmed(dataSource.substr(0, instanceAt));
  const std::string rest = instanceAt == std::string::npos ? "" : dataSource.substr(instanceAt);
  if (lowerCase(host) == "(local)" || host == ".") return "127.0.0.1" + rest;
  return dataSource;
}

// A number of seconds from the environment; 0 when the variable is unset or no positive number.
int positiveSeconds(const char* variable) {
  const char* text = std::getenv(variable);
  return text ? std::max(std::atoi(text), 0) : 0;
}

}  // namespace

std::string oleDbConnectionString(const LoginParameters& login, std::string_view computerName) {
  const std::string database = oleDbValue(login.database);
  const std::string server = oleDbValue(login.server);
  const std::string workstation = oleDbValue(computerName);
  if (login.windowsLogin)
    return "Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;User ID=sa;Initial Catalog=" +
           database + ";Data Source=" + server +
           ";Use Procedure for Prepare=1;Auto Translate=True;Packet Size=4096;Workstation ID=" + workstation +
           ";Use Encryption for Data=False;Tag with column collation when possible=False";
  return "Provider=SQLOLEDB.1;Password=" + oleDbValue(login.password) +
         ";Persist Security Info=True;User ID=" + oleDbValue(login.user) + ";Initial Catalog=" + database +
         ";Data Source=" + server + ";Use Procedure for Prepare=1;Auto Translate=True;Packet Size=4096" +
         ";Workstation ID=" + workstation + ";Use Encryption for Data=False" +
         ";Tag with column collation when possible=False";
}

std::map<std::string, std::string> parseOleDbConnectionString(std::string_view text) {
  std::map<std::string, std::string> entries;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t equals = text.find('=', at);
    if (equals == std::string_view::npos) break;
    const std::string key = lowerCase(trimBlanks(text.substr(at, equals - at)));
    at = equals + 1;
    while (at < text.size() && isBlank(text[at])) ++at;
    std::string value;
    if (at < text.size() && (text[at] == '"' || text[at] == '\'')) {
      value = readQuotedValue(text, at);
      while (at < text.size() && isBlank(text[at])) ++at;
      if (at < text.size() && text[at] != ';')
        throw std::invalid_argument("connection string has text after the quoted value of " + key);
    } else {
      const std::size_t end = std::min(text.find(';', at), text.size());
      value = std::string(trimBlanks(text.substr(at, end - at)));
      at = end;
    }
    ++at;  // past ';'
    if (!key.empty()) entries[key] = std::move(value);
  }
  return entries;
}

std::string odbcValue(std::string_view value) {
  // Braces only where the value would otherwise end early or be read differently; inside
  // them a "}" is doubled, as ODBC has it.
  const bool needsBraces = value.find(';') != std::string_view::npos ||
                           (!value.empty() && (value.front() == '{' || isBlank(value.front()) || isBlank(value.back())));
  if (!needsBraces) return std::string(value);
  std::string braced = "{";
  for (char c : value) {
    braced += c;
    if (c == '}') braced += '}';
  }
  return braced + '}';
}

std::string odbcConnectionString(std::string_view oleDbString, const DriverSettings& settings) {
  const auto entries = parseOleDbConnectionString(oleDbString);
  auto entry = [&entries](const char* key) {
    const auto found = entries.find(key);
    return found == entries.end() ? std::string() : found->second;
  };
  const std::string integrated = lowerCase(entry("integrated security"));
  const bool windowsLogin = integrated == "sspi" || integrated == "true" || integrated == "yes";

  std::vector<std::pair<std::string, std::string>> attributes = {
      {"SERVER", odbcServer(entry("data source"))},
      {"DATABASE", entry("initial catalog")},
  };
  if (windowsLogin) {
    attributes.push_back({"Trusted_Connection", "Yes"});
  } else {
    attributes.push_back({"UID", entry("user id")});
    attributes.push_back({"PWD", entry("password")});
  }
  attributes.push_back({"WSID", entry("workstation id")});
  attributes.push_back({"APP", settings.applicationName});
  attributes.push_back({"TDS_Version", settings.tdsVersion});
  attributes.push_back({"ClientCharset", "UTF-8"});
  if (!settings.encryption.empty()) attributes.push_back({"Encryption", settings.encryption});

  std::string result = "DRIVER=" + settings.driver;
  for (const auto& [name, value] : attributes) result += ";" + name + "=" + odbcValue(value);
  return result;
}

DriverSettings driverSettingsFromEnvironment() {
  DriverSettings settings;
  if (const char* driver = std::getenv("MAKEDDL_ODBC_DRIVER"); driver && *driver)
    settings.driver = driver[0] == '{' || std::string_view(driver).find('/') != std::string_view::npos
                          ? std::string(driver)
                          : "{" + std::string(driver) + "}";
  if (const char* version = std::getenv("MAKEDDL_TDS_VERSION"); version && *version) settings.tdsVersion = version;
  if (const int seconds = positiveSeconds("MAKEDDL_LOGIN_TIMEOUT")) settings.loginTimeoutSeconds = seconds;
  if (const int seconds = positiveSeconds("MAKEDDL_QUERY_TIMEOUT")) settings.queryTimeoutSeconds = seconds;
  if (const char* encryption = std::getenv("MAKEDDL_ENCRYPT")) settings.encryption = lowerCase(encryption);
  return settings;
}

}  // namespace makeddl::connection
