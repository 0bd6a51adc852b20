#pragma once
// Facts about the machine the program runs on.

#include <string>

namespace makeddl {

// The name the operating system reports for the local machine, read afresh on every call.
std::string LocalComputerName();

}  // namespace makeddl
