#pragma once
// The two strings kept for each remembered connection: the ConnectionRecord, from which the
// connection is made again, and the ConnectionLabel that the connection list shows.
//
// Record: database;server;NT;sa;<placeholder>;   for Windows login
//         database;server;SQL;user;password;     for SQL login
// A value holding ";" or "%" is written percent-encoded (%3B, %25) and the record then ends
// with ";%" instead of ";", so that every record in the plain form still reads as it always
// did, and a record with such values reads back exactly.

#include <string>

#include "connection/login.h"

namespace makeddl::connection {

// Stands in the password piece of Windows-login records; never sent to a server.
inline constexpr const char* kWindowsPasswordPlaceholder = "123";

std::string connectionRecord(const LoginParameters& login);
std::string connectionLabel(const LoginParameters& login);

// The login of a record: Windows login when piece 2 is exactly "NT". Throws
// std::invalid_argument when the record has fewer than five pieces.
LoginParameters parseConnectionRecord(const std::string& record);

}  // namespace makeddl::connection
