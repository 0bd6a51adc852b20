#pragma once
// Making the connection: the one way the window and the command line connect to a server.

#include "connection/connection_string.h"
#include "connection/data_access.h"
#include "connection/login.h"

namespace makeddl::connection {

// The connection failed before the server said anything while encryption was required: the
// server cannot encrypt, or refused the encrypted connection.
class EncryptionRefused : public DatabaseError {
 public:
  using DatabaseError::DatabaseError;
};

// Closes the connection, gives it the connection string for the login (the OLE DB form with
// this machine as the workstation, translated for the ODBC driver) and opens it.
// Throws DatabaseError with the driver's message when the server cannot be reached or
// refuses the login; the connection is then closed. With encryption required, a failure without
// any message of the server's throws EncryptionRefused, whose text says so.
void connectTo(Connection& connection, const LoginParameters& login, const DriverSettings& settings);

}  // namespace makeddl::connection
