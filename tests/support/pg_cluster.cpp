#include "support/pg_cluster.h"

#include <libpq-fe.h>
#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <thread>
#include <utility>

#include "support/temp_folder.h"

namespace orvana::testing {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Any port does, since the socket is in the cluster's own folder.
constexpr int kPort = 5432;
constexpr const char* kSocketName = "/.s.PGSQL.5432";
// The size of sun_path, the socket's whole path with its terminating zero.
constexpr size_t kSocketPathSize = 108;

bool HasServer(const fs::path& folder) {
  return access((folder / "initdb").c_str(), X_OK) == 0 &&
         access((folder / "postgres").c_str(), X_OK) == 0;
}

// "15" or "9.6" as a pair that compares; nothing for other names.
std::optional<std::pair<int, int>> Version(const std::string& name) {
  std::pair<int, int> version{0, 0};
  const char* end = name.data() + name.size();
  const auto major = std::from_chars(name.data(), end, version.first);
  if (major.ec != std::errc()) return std::nullopt;
  if (major.ptr == end) return version;
  if (*major.ptr != '.') return std::nullopt;
  const auto minor = std::from_chars(major.ptr + 1, end, version.second);
  if (minor.ec != std::errc() || minor.ptr != end) return std::nullopt;
  return version;
}

// The server packages put their programs in /usr/lib/postgresql/<version>/bin;
// pg_config comes with libpq and need not point at a server at all.
std::string ServerPrograms() {
  if (const char* chosen = std::getenv("ORVANA_PG_BINDIR"); chosen != nullptr && *chosen != '\0') {
    if (!HasServer(chosen)) {
      throw std::runtime_error(std::string("ORVANA_PG_BINDIR=") + chosen +
                               " holds no initdb and postgres");
    }
    return chosen;
  }
  std::string best;
  std::pair<int, int> bestVersion{-1, -1};
  std::error_code error;
  for (fs::directory_iterator it("/usr/lib/postgresql", error), end; !error && it != end;
       it.increment(error)) {
    const auto version = Version(it->path().filename().string());
    if (version && *version > bestVersion && HasServer(it->path() / "bin")) {
      bestVersion = *version;
      best = (it->path() / "bin").string();
    }
  }
  if (best.empty()) {
    throw std::runtime_error(
        "no PostgreSQL server in /usr/lib/postgresql/<version>/bin: these tests start one of "
        "their own. Install the package postgresql (scripts/deps.sh --tests does), or point "
        "ORVANA_PG_BINDIR at the folder that holds initdb and postgres.");
  }
  return best;
}

std::string MakeScratchFolder(const Credentials& account) {
  std::string folder = (fs::temp_directory_path() / "orvana-pg-XXXXXX").string();
  if (folder.size() + std::string_view(kSocketName).size() >= kSocketPathSize) {
    throw std::runtime_error("the server's socket would not fit in " + folder +
                             ": set TMPDIR to a shorter folder");
  }
  if (mkdtemp(folder.data()) == nullptr) throw std::runtime_error("mkdtemp failed: " + folder);
  if (account.switchUser && chown(folder.c_str(), account.uid, account.gid) != 0) {
    fs::remove(folder);
    throw std::runtime_error("cannot give " + folder + " to the server's user");
  }
  return folder;
}

// A string literal of postgresql.conf.
std::string ConfQuoted(const std::string& value) {
  std::string quoted = "'";
  for (const char c : value) {
    if (c == '\'') quoted += '\'';
    quoted += c;
  }
  return quoted + "'";
}

// A value of a libpq connection string, quoted when it has to be.
std::string ConninfoValue(const std::string& value) {
  if (!value.empty() && value.find_first_of(" \t\n'\\") == std::string::npos) return value;
  std::string quoted = "'";
  for (const char c : value) {
    if (c == '\'' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + "'";
}

void Configure(const std::string& folder) {
  const std::string data = folder + "/data";
  WriteFile(data + "/pg_hba.conf",
            "# The Unix socket only. The role pw_bench must give its password;\n"
            "# every other role is trusted.\n"
            "local all pw_bench scram-sha-256\n"
            "local all all      trust\n");
  // fsync = off: the tests crash the server, never the machine, and what a
  // killed server wrote to its write-ahead log is still in the page cache.
  // synchronous_commit stays on, so a commit still means the log was
  // written before the client hears of it.
  std::ofstream conf(data + "/postgresql.conf", std::ios::app);
  conf << "\n# The tests' own server\n"
       << "listen_addresses = ''\n"
       << "unix_socket_directories = " << ConfQuoted(folder) << "\n"
       << "port = " << kPort << "\n"
       << "max_connections = 50\n"
       << "fsync = off\n"
       << "log_destination = 'stderr'\n"
       << "logging_collector = off\n";
  if (!conf) throw std::runtime_error("cannot write " + data + "/postgresql.conf");
}

}  // namespace

PgCluster::PgCluster()
    : m_programs(ServerPrograms()),
      m_account(ServerAccount()),
      m_folder(MakeScratchFolder(m_account)) {
  try {
    InitDataFolder();
    Configure(m_folder);
    if (!Start()) {
      throw std::runtime_error("postgres did not start in " + m_folder + " (see stderr)");
    }
    Sql("CREATE DATABASE orvana", "postgres");
  } catch (...) {
    TearDown();
    throw;
  }
}

PgCluster::~PgCluster() { TearDown(); }

void PgCluster::InitDataFolder() const {
  const ProgramResult initdb =
      RunProgramAs(m_account,
                   {m_programs + "/initdb", "-D", DataFolder(), "--no-sync", "--username=orvana",
                    "--auth=trust", "--encoding=UTF8", "--locale=C"},
                   ServerEnvironment());
  if (initdb.status == 0) return;
  std::string message = "initdb failed with status " + std::to_string(initdb.status);
  if (m_account.switchUser) {
    message += " (run as nobody, since we are root: every folder above " + m_folder +
               " must let nobody through)";
  }
  throw std::runtime_error(message + ":\n" + initdb.output);
}

void PgCluster::TearDown() {
  // A running server's watchdog shuts it down and removes the folder; a
  // killed one leaves its shared memory, which goes first.
  m_server.reset();
  RemoveAbandonedSharedMemory(DataFolder());
  std::error_code ignored;
  fs::remove_all(m_folder, ignored);
}

bool PgCluster::Start() {
  if (m_server && !m_server->Exited()) return true;
  m_server.reset();
  try {
    m_server = std::make_unique<PgServerProcess>(PgServerProcess::Launch{
        m_programs + "/postgres", DataFolder(), LogFile(), m_folder, m_account});
  } catch (const std::exception& error) {
    std::cerr << error.what() << "\n" << LogText();
    return false;
  }
  // As pg_ctl start -w: wait until it takes connections.
  const std::string server = Conninfo("postgres");
  const auto deadline = Clock::now() + std::chrono::seconds(60);
  while (Clock::now() < deadline) {
    const PGPing ping = PQping(server.c_str());
    if (ping == PQPING_OK) return true;
    if (ping == PQPING_NO_ATTEMPT) {
      std::cerr << "libpq refuses the connection string " << server << "\n";
      break;
    }
    if (m_server->Exited()) {
      std::cerr << "postgres ended while starting:\n" << LogText();
      m_server.reset();
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  std::cerr << "postgres did not take connections within 60 s:\n" << LogText();
  Kill();
  return false;
}

void PgCluster::Stop() {
  if (!m_server) return;
  const bool stopped = m_server->Stop(std::chrono::seconds(60));
  if (!stopped) m_server->Kill();
  m_server.reset();
  if (!stopped) throw std::runtime_error("postgres did not stop within 60 s:\n" + LogText());
}

void PgCluster::Kill() {
  if (!m_server) return;
  m_server->Kill();
  m_server.reset();
}

void PgCluster::Pause() {
  if (m_server) m_server->Pause();
}

void PgCluster::Resume() {
  if (m_server) m_server->Resume();
}

std::string PgCluster::Conninfo(const std::string& database, const std::string& user) const {
  return "host=" + ConninfoValue(m_folder) + " port=" + std::to_string(kPort) +
         " dbname=" + ConninfoValue(database) + " user=" + ConninfoValue(user);
}

std::string PgCluster::Sql(const std::string& sql, const std::string& database) const {
  const std::unique_ptr<PGconn, decltype(&PQfinish)> connection(
      PQconnectdb(Conninfo(database).c_str()), &PQfinish);
  if (PQstatus(connection.get()) != CONNECTION_OK) {
    throw std::runtime_error("cannot connect to " + database + ": " +
                             PQerrorMessage(connection.get()));
  }
  const std::unique_ptr<PGresult, decltype(&PQclear)> result(PQexec(connection.get(), sql.c_str()),
                                                             &PQclear);
  const ExecStatusType status = PQresultStatus(result.get());
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
    const std::string message = result ? PQresultErrorMessage(result.get()) : "";
    throw std::runtime_error(sql + ": " +
                             (message.empty() ? PQerrorMessage(connection.get()) : message));
  }
  std::string rows;
  for (int row = 0; row < PQntuples(result.get()); ++row) {
    if (row > 0) rows += '\n';
    rows += PQgetvalue(result.get(), row, 0);
  }
  return rows;
}

std::string PgCluster::LogText() const { return ReadFile(LogFile()); }

}  // namespace orvana::testing
