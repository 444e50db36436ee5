#pragma once

#include <memory>
#include <string>

#include "support/pg_server_process.h"

// A real PostgreSQL server for one test, in a scratch folder of its own: its
// data in Folder()/data, its Unix socket in Folder() itself, no TCP at all,
// so that any number of them, in one test process or in several, never meet.
//
// The admin role "orvana" and every role but one are trusted; the role
// "pw_bench" must give its password (scram-sha-256). The databases "postgres"
// and "orvana" are there from the start.
//
//   PgCluster server;
//   server.Sql("CREATE TABLE t (v int)");
//   ... connect the code under test to server.Conninfo() ...
//   server.Kill();  // a crash: committed transactions must survive it
//   ASSERT_TRUE(server.Start()) << server.LogText();
//
// The server goes with this object, and also with the test's process should
// that crash (see PgServerProcess).
namespace orvana::testing {

class PgCluster {
 public:
  // initdb and the first start; throws std::runtime_error with initdb's or
  // the server's words when either fails, or when no server is installed.
  PgCluster();
  // Shuts the server down at once, even a paused one, and removes the folder.
  ~PgCluster();
  PgCluster(const PgCluster&) = delete;
  PgCluster& operator=(const PgCluster&) = delete;

  // Returns once the server takes connections (after crash recovery, when it
  // was killed); true at once when it runs. On failure, writes why and the
  // server's log to stderr and returns false.
  bool Start();
  // A fast shutdown: open sessions are ended, and so are their transactions.
  void Stop();
  // SIGKILL to the postmaster and all its children, as a crash; returns once
  // they are gone. Start() then recovers from the write-ahead log.
  void Kill();
  // SIGSTOP to the postmaster and all its children: to its clients the server
  // is as a stalled network, connections accepted and answered by no one.
  void Pause();
  void Resume();

  // "host=<folder> port=5432 dbname=<database> user=<user>", for libpq.
  std::string Conninfo(const std::string& database = "orvana",
                       const std::string& user = "orvana") const;
  const std::string& Folder() const { return m_folder; }

  // Runs `sql` (one statement or several) as the admin role on `database`;
  // returns the first column of the rows of the last result, one row a line,
  // in text form (NULL as an empty line). Throws std::runtime_error with the
  // server's message when it fails.
  std::string Sql(const std::string& sql, const std::string& database = "orvana") const;
  // The server's log so far, for failure messages.
  std::string LogText() const;

 private:
  void InitDataFolder() const;
  void TearDown();
  std::string DataFolder() const { return m_folder + "/data"; }
  std::string LogFile() const { return m_folder + "/server.log"; }

  std::string m_programs;  // the folder of initdb and postgres
  Credentials m_account;
  std::string m_folder;
  std::unique_ptr<PgServerProcess> m_server;
};

}  // namespace orvana::testing
