#include "app/login_password.h"

#include <array>
#include <cstdlib>
#include <cstring>

#ifndef _WIN32
#include <bsd/readpassphrase.h>
#endif

namespace makeddl::app {

namespace {

// Asks on the controlling terminal, whatever standard input and output are, with echo off;
// libbsd puts the terminal back as it was even when a signal (Ctrl+C) ends the program.
std::optional<std::string> passwordFromTerminal(const std::string& prompt) {
#ifdef _WIN32
  (void)prompt;
  return std::nullopt;
#else
  std::array<char, 1024> typed{};
  const char* read = readpassphrase(prompt.c_str(), typed.data(), typed.size(), RPP_REQUIRE_TTY);
  std::optional<std::string> password;
  if (read) password = read;
  explicit_bzero(typed.data(), typed.size());
  return password;
#endif
}

}  // namespace

std::optional<std::string> loginPassword(const std::optional<std::string>& given, const std::string& prompt) {
  if (given) return given;
  for (const char* variable : {"MAKEDDL_PASSWORD", "SQLCMDPASSWORD"})
    if (const char* value = std::getenv(variable)) return value;
  return passwordFromTerminal(prompt);
}

void hidePasswordArguments(int argc, char** argv) {
  const auto blank = [](char* text) { std::memset(text, '*', std::strlen(text)); };
  for (int i = 1; i < argc; ++i) {
    char* word = argv[i];
    if (std::strcmp(word, "-P") == 0 || std::strcmp(word, "--password") == 0) {
      if (i + 1 < argc) blank(argv[++i]);
    } else if (std::strncmp(word, "--password=", 11) == 0) {
      blank(word + 11);
    } else if (std::strncmp(word, "-P", 2) == 0) {
      blank(word + 2);
    }
  }
}

}  // namespace makeddl::app
