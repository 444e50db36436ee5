// The PostgreSQL server that the store's tests start for themselves: a crash
// keeps what was committed, a pause stalls its clients, several live side by
// side, and none outlives the test that started it.
#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "support/pg_cluster.h"
#include "support/temp_folder.h"

namespace orvana::testing {
namespace {

using std::chrono::milliseconds;
using Connection = std::unique_ptr<PGconn, decltype(&PQfinish)>;

Connection Connect(const std::string& conninfo) {
  return Connection(PQconnectdb(conninfo.c_str()), &PQfinish);
}

// The first value of the query's result, once it has come within `timeout`.
std::optional<std::string> AwaitValue(PGconn* connection, milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (PQisBusy(connection)) {
    const auto left =
        std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd readable{PQsocket(connection), POLLIN, 0};
    if (left.count() <= 0 || poll(&readable, 1, static_cast<int>(left.count())) != 1) {
      return std::nullopt;
    }
    if (!PQconsumeInput(connection)) return std::nullopt;
  }
  std::optional<std::string> value;
  while (PGresult* result = PQgetResult(connection)) {
    if (PQresultStatus(result) == PGRES_TUPLES_OK && PQntuples(result) > 0) {
      value = PQgetvalue(result, 0, 0);
    }
    PQclear(result);
  }
  return value;
}

// The first line of postmaster.pid, which the server removes when it stops.
pid_t PostmasterPid(const PgCluster& cluster) {
  return std::stoi(ReadFile(cluster.Folder() + "/data/postmaster.pid"));
}

bool Gone(pid_t pid) { return kill(pid, 0) != 0 && errno == ESRCH; }

TEST(PgCluster, CommittedRowsSurviveAKilledPausedServer) {
  PgCluster cluster;
  cluster.Sql("CREATE TABLE readings (value int); INSERT INTO readings VALUES (1), (2)");
  const Connection open = Connect(cluster.Conninfo());
  ASSERT_EQ(PQstatus(open.get()), CONNECTION_OK) << PQerrorMessage(open.get());
  PQclear(PQexec(open.get(), "BEGIN; INSERT INTO readings VALUES (3)"));
  const pid_t backend = static_cast<pid_t>(PQbackendPID(open.get()));
  const pid_t postmaster = PostmasterPid(cluster);

  // Paused first: stopped children cannot notice their postmaster's death,
  // so Kill() must reach every one of them itself.
  cluster.Pause();
  cluster.Kill();
  EXPECT_TRUE(Gone(postmaster));
  EXPECT_TRUE(Gone(backend));

  ASSERT_TRUE(cluster.Start());
  // A crash indeed, not an orderly shutdown:
  EXPECT_NE(cluster.LogText().find("automatic recovery in progress"), std::string::npos)
      << cluster.LogText();
  EXPECT_EQ(cluster.Sql("SELECT value FROM readings ORDER BY value"), "1\n2");
}

TEST(PgCluster, APausedServerAnswersOnlyAfterResume) {
  PgCluster cluster;
  const Connection connection = Connect(cluster.Conninfo());
  ASSERT_EQ(PQstatus(connection.get()), CONNECTION_OK) << PQerrorMessage(connection.get());

  cluster.Pause();
  ASSERT_EQ(PQsendQuery(connection.get(), "SELECT 40 + 2"), 1) << PQerrorMessage(connection.get());
  EXPECT_EQ(AwaitValue(connection.get(), milliseconds(1000)), std::nullopt);

  cluster.Resume();
  EXPECT_EQ(AwaitValue(connection.get(), milliseconds(10000)), "42");
}

TEST(PgCluster, TwoClustersInOneProcessAreIndependent) {
  auto first = std::make_unique<PgCluster>();
  PgCluster second;
  ASSERT_NE(first->Folder(), second.Folder());
  first->Sql("CREATE TABLE only_in_first (value int)");
  const std::string count = "SELECT count(*) FROM pg_class WHERE relname = 'only_in_first'";
  EXPECT_EQ(first->Sql(count), "1");
  EXPECT_EQ(second.Sql(count), "0");

  const pid_t postmaster = PostmasterPid(*first);
  const std::string folder = first->Folder();
  first.reset();
  EXPECT_TRUE(Gone(postmaster));
  EXPECT_FALSE(std::filesystem::exists(folder));
  EXPECT_EQ(second.Sql("SELECT 'still here'"), "still here");
}

TEST(PgCluster, OnlyItsPasswordLetsThePasswordRoleIn) {
  PgCluster cluster;
  cluster.Sql("CREATE ROLE pw_bench LOGIN PASSWORD 'bench-secret'");
  const std::string bench = cluster.Conninfo("orvana", "pw_bench");
  const Connection without = Connect(bench);
  EXPECT_EQ(PQstatus(without.get()), CONNECTION_BAD);
  EXPECT_NE(std::string(PQerrorMessage(without.get())).find("password"), std::string::npos)
      << PQerrorMessage(without.get());
  EXPECT_EQ(PQstatus(Connect(bench + " password=wrong").get()), CONNECTION_BAD);
  EXPECT_EQ(PQstatus(Connect(bench + " password=bench-secret").get()), CONNECTION_OK);
}

TEST(PgCluster, TheServerEndsWithACrashedTestProcess) {
  int report[2];
  ASSERT_EQ(pipe(report), 0);
  const pid_t test = fork();
  ASSERT_GE(test, 0);
  if (test == 0) {
    // A test process that dies with its cluster alive: no destructor, no exit handler.
    close(report[0]);
    PgCluster cluster;
    const std::string line = std::to_string(PostmasterPid(cluster)) + " " + cluster.Folder();
    if (write(report[1], line.data(), line.size()) < 0) _exit(1);
    raise(SIGKILL);
  }
  close(report[1]);
  std::string line;
  char chunk[256];
  for (ssize_t size; (size = read(report[0], chunk, sizeof chunk)) > 0;) {
    line.append(chunk, static_cast<size_t>(size));
  }
  close(report[0]);
  int status = 0;
  ASSERT_EQ(waitpid(test, &status, 0), test);
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
  const size_t space = line.find(' ');
  ASSERT_NE(space, std::string::npos) << "the crashing test reported nothing";
  const pid_t postmaster = std::stoi(line.substr(0, space));
  const std::string folder = line.substr(space + 1);

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while ((!Gone(postmaster) || std::filesystem::exists(folder)) &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(milliseconds(20));
  }
  EXPECT_TRUE(Gone(postmaster));
  EXPECT_FALSE(std::filesystem::exists(folder));
}

}  // namespace
}  // namespace orvana::testing
