#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

#include "support/exec_as.h"

// The tests' PostgreSQL servers as processes: whom and what they run with,
// and one run of postgres from its start to its end.
//
// initdb and postgres refuse to run as root, and CI runs as root: there they
// run as nobody, elsewhere as the test's own user.
namespace orvana::testing {

// nobody (and its group nogroup) when we are root, else ourselves.
Credentials ServerAccount();

// A known environment for initdb and postgres: the test's PGDATA, PGOPTIONS
// or locale must not change the server, and its messages come in English.
std::vector<std::string> ServerEnvironment();

// Removes the shared memory segment that a killed server leaves behind,
// unless something still has it attached. Its next start would do the same;
// a data folder deleted after a crash would leave it in the kernel for good.
void RemoveAbandonedSharedMemory(const std::string& dataFolder);

// `postgres -D <data>` as the child of a watchdog process, which is a child of
// ours. pg_ctl would leave the server running on its own, so a test that
// crashes would leave it behind; the watchdog instead holds the read end of a
// pipe whose write end only we hold. When it reads the end of the pipe — this
// object is destroyed, or our process has ended in whatever way, even by
// SIGKILL — it shuts the server down at once (waking it first if it was
// paused), kills what is left after a few seconds, and removes the scratch
// folder. The server itself gets SIGKILL should the watchdog die. The watchdog
// adopts the server's orphans, so its exit means every process of the server
// is gone and reaped.
class PgServerProcess {
 public:
  struct Launch {
    std::string postgres;  // the program
    std::string dataFolder;
    std::string logFile;        // standard output and errors, appended
    std::string scratchFolder;  // removed by the watchdog when we are gone
    Credentials account;
  };

  // Throws std::runtime_error when the watchdog cannot start postgres.
  explicit PgServerProcess(const Launch& launch);
  ~PgServerProcess();
  PgServerProcess(const PgServerProcess&) = delete;
  PgServerProcess& operator=(const PgServerProcess&) = delete;

  pid_t Postmaster() const { return m_postmaster; }
  // True once the postmaster and all its children have ended.
  bool Exited();
  bool WaitExited(std::chrono::milliseconds timeout);

  // A fast shutdown, as `pg_ctl stop -m fast`; true when it ended in time.
  bool Stop(std::chrono::milliseconds timeout);
  // SIGKILL to the postmaster and its children; returns when they are gone.
  void Kill();
  void Pause();
  void Resume();

 private:
  void Release();

  pid_t m_watchdog = -1;
  pid_t m_postmaster = -1;
  int m_lifeline = -1;  // the write end of the watchdog's pipe
};

}  // namespace orvana::testing
