#include "connection/connection_record.h"

#include <array>
#include <stdexcept>
#include <vector>

#include "common/strings.h"

namespace makeddl::connection {

namespace {

constexpr std::string_view kEncodedMarker = "%";

bool needsEncoding(const std::string& value) { return value.find_first_of(";%") != std::string::npos; }

std::string percentEncoded(const std::string& value) {
  std::string result;
  for (char c : value) {
    if (c == ';')
      result += "%3B";
    else if (c == '%')
      result += "%25";
    else
      result += c;
  }
  return result;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string percentDecoded(const std::string& value) {
  std::string result;
  for (std::size_t i = 0; i < value.size(); ++i) {
    const int high = i + 2 < value.size() && value[i] == '%' ? hexDigit(value[i + 1]) : -1;
    const int low = high >= 0 ? hexDigit(value[i + 2]) : -1;
    if (low >= 0) {
      result += static_cast<char>(high * 16 + low);
      i += 2;
    } else {
      result += value[i];
    }
  }
  return result;
}

}  // namespace

std::string connectionRecord(const LoginParameters& login) {
  const std::array<std::string, 5> pieces =
      login.windowsLogin
          ? std::array<std::string, 5>{login.database, login.server, "NT", "sa", kWindowsPasswordPlaceholder}
          : std::array<std::string, 5>{login.database, login.server, "SQL", login.user, login.password};
  bool encode = false;
  for (const std::string& piece : pieces) encode = encode || needsEncoding(piece);
  std::string record;
  for (const std::string& piece : pieces) record += (encode ? percentEncoded(piece) : piece) + ";";
  if (encode) record += kEncodedMarker;
  return record;
}

std::string connectionLabel(const LoginParameters& login) {
  if (login.windowsLogin)
    return "Server=" + login.server + " ; DB_Name=" + login.database + " ; Lonin=" + "NT ; User_Name=sa";
  return "Server=" + login.server + " ; DB_Name=" + login.database + " ; Lonin=" + "SQL" +
         " ; User_Name=" + login.user;
}

LoginParameters parseConnectionRecord(const std::string& record) {
  std::vector<std::string> pieces = SplitBySemicolon(record);
  if (pieces.size() < 5)
    throw std::invalid_argument("连接记录不完整：“" + record + "”");
  if (pieces.size() == 6 && pieces[5] == kEncodedMarker)
    for (std::string& piece : pieces) piece = percentDecoded(piece);
  LoginParameters login;
  login.database = pieces[0];
  login.server = pieces[1];
  login.windowsLogin = pieces[2] == "NT";
  login.user = pieces[3];
  login.password = pieces[4];
  return login;
}

}  // namespace makeddl::connection
