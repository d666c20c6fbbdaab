#include "tests/support/PostgresServer.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace testsupport {

namespace {

// Debian installs each server version under its own folder; the newest wins.
std::string ServerBinaries() {
    std::string best;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/usr/lib/postgresql", ec)) {
        const std::string bin = entry.path().string() + "/bin";
        if (std::filesystem::exists(bin + "/initdb") && std::filesystem::exists(bin + "/pg_ctl") && bin > best)
            best = bin;
    }
    return best;
}

std::string Output(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;) out.append(buf, n);
    pclose(pipe);
    return out;
}

}  // namespace

PostgresServer::PostgresServer() : m_bin(ServerBinaries()) {
    if (m_bin.empty()) {
        m_problem = "no PostgreSQL server binaries in /usr/lib/postgresql/*/bin (Debian package postgresql)";
        return;
    }
    if (::geteuid() == 0) {
        const passwd* pg = ::getpwnam("postgres");
        if (!pg) {
            m_problem = "running as root and there is no user postgres to run the server as";
            return;
        }
        if (::chown(m_dir.Path().c_str(), pg->pw_uid, pg->pw_gid) != 0) {
            m_problem = "cannot hand " + m_dir.Path() + " to the user postgres";
            return;
        }
    }
    WriteFile(m_dir / "password", "secret\n");
    ::chmod((m_dir / "password").c_str(), 0644);
    if (!Run(m_bin + "/initdb -D " + (m_dir / "data") + " -U burnkit --auth=scram-sha-256 --pwfile=" +
                 (m_dir / "password") + " --no-sync -E UTF8 --locale=C",
             "initdb"))
        return;
    Start();
}

PostgresServer::~PostgresServer() {
    if (!m_bin.empty()) Stop();
}

std::string PostgresServer::AsServerUser(const std::string& command) const {
    return ::geteuid() == 0 ? "runuser -u postgres -- " + command : command;
}

bool PostgresServer::Run(const std::string& command, const std::string& what) {
    const std::string full = AsServerUser(command) + " >>" + (m_dir / "setup.log") + " 2>&1";
    if (std::system(full.c_str()) == 0) return true;
    m_problem = what + " failed: " + ReadFile(m_dir / "setup.log");
    return false;
}

bool PostgresServer::Start() {
    m_problem.clear();
    return Run(m_bin + "/pg_ctl -D " + (m_dir / "data") + " -l " + (m_dir / "server.log") + " -w -o \"-k " +
                   m_dir.Path() + " -c listen_addresses='' -p 5432 -c fsync=off\" start",
               "pg_ctl start");
}

bool PostgresServer::Stop() {
    return Run(m_bin + "/pg_ctl -D " + (m_dir / "data") + " -m fast -w stop", "pg_ctl stop");
}

std::string PostgresServer::Url(const std::string& password) const {
    return "postgresql://burnkit:" + password + "@/postgres?host=" + m_dir.Path() + "&port=5432";
}

std::string PostgresServer::Psql(const std::string& sql) const {
    return Output("PGPASSWORD=secret " + m_bin + "/psql -X -q -t -A -h " + m_dir.Path() +
                  " -p 5432 -U burnkit -d postgres -c \"" + sql + "\" 2>&1");
}

}  // namespace testsupport
