// A real PostgreSQL server for the tests, started in a scratch folder with its socket
// there and no TCP port (listen_addresses=''), from Debian's postgresql package. The
// server refuses to run as root: a test run as root starts it as the `postgres` user.
#pragma once

#include <string>

#include "tests/support/TestSupport.h"

namespace testsupport {

class PostgresServer {
public:
    PostgresServer();  // initdb and start; Problem() says why not
    ~PostgresServer();  // stops it
    PostgresServer(const PostgresServer&) = delete;
    PostgresServer& operator=(const PostgresServer&) = delete;

    // Empty when the server runs; else why not ("no PostgreSQL server binaries in ...").
    const std::string& Problem() const { return m_problem; }
    bool Stop();   // the station's server goes away (a fast shutdown)
    bool Start();
    // The database "postgres" as the user "burnkit" (password "secret"), over the socket.
    std::string Url(const std::string& password = "secret") const;
    // Runs `sql` with psql as the database's owner; its output.
    std::string Psql(const std::string& sql) const;

private:
    std::string AsServerUser(const std::string& command) const;
    bool Run(const std::string& command, const std::string& what);

    ScratchDir m_dir;
    std::string m_bin;
    std::string m_problem;
};

}  // namespace testsupport
