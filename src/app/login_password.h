#pragma once
// The password of a SQL Server login for the command lines, kept off the command line where
// `ps` and the shell's history would show it to others.

#include <optional>
#include <string>

namespace makeddl::app {

// The password to use: `given` (the -P value) when there is one; else MAKEDDL_PASSWORD; else
// SQLCMDPASSWORD, which sqlcmd's users already set; else what the user types at the terminal
// after `prompt`, not echoed. A variable that is set but empty gives the empty password.
// nullopt when there is no terminal to ask on.
std::optional<std::string> loginPassword(const std::optional<std::string>& given, const std::string& prompt);

// Overwrites, in the program's own argument strings, every password given with -P or --password
// (-P word, -Pword, --password word, --password=word) with "*": the kernel shows those strings to
// every user of the machine (ps, /proc/PID/cmdline) for as long as the program runs. Call it
// once the arguments are copied; the password was visible only until then.
void hidePasswordArguments(int argc, char** argv);

}  // namespace makeddl::app
