#include "connection/connect.h"

#include <charconv>
#include <string_view>

#include "common/system_info.h"

namespace makeddl::connection {

namespace {

// Whether the failure carries a message of the server's own: "消息 N" with a server message
// number. FreeTDS numbers its own failures from 20000 on ("消息 20002：Adaptive Server
// connection failed").
bool serverAnswered(std::string_view failure) {
  constexpr std::string_view label = "消息 ";
  for (std::size_t at = failure.find(label); at != std::string_view::npos; at = failure.find(label, at + 1)) {
    int number = 0;
    const char* digits = failure.data() + at + label.size();
    const auto [end, error] = std::from_chars(digits, failure.data() + failure.size(), number);
    if (error == std::errc() && end != digits && number < 20000) return true;
  }
  return false;
}

}  // namespace

void connectTo(Connection& connection, const LoginParameters& login, const DriverSettings& settings) {
  connection.close();
  connection.setConnectionString(odbcConnectionString(oleDbConnectionString(login, LocalComputerName()), settings));
  connection.setLoginTimeout(settings.loginTimeoutSeconds);
  connection.setQueryTimeout(settings.queryTimeoutSeconds);
  try {
    connection.open();
  } catch (const DatabaseError& error) {
    // The driver says only that it could not connect when the server cannot encrypt.
    if (settings.encryption != "require" || serverAnswered(error.what())) throw;
    throw EncryptionRefused("服务器不支持加密连接，或拒绝了加密连接（MAKEDDL_ENCRYPT=require）。\n" +
                            std::string(error.what()));
  }
}

}  // namespace makeddl::connection
