#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/waiting.h"

// One connection to a PostgreSQL server through libpq, used without blocking
// on it: every wait is a poll() that also watches a stop descriptor and gives
// up when the server has said nothing for a while. A bench must be able to
// quit, and to notice a server that stalled, whatever the network does.
typedef struct pg_conn PGconn;
typedef struct pg_result PGresult;

namespace orvana::store {

// One row of a query's answer, valid during the call it is handed to.
class PgRow {
 public:
  explicit PgRow(const PGresult* result) : m_result(result) {}
  bool IsNull(int column) const;
  std::string_view Text(int column) const;

 private:
  const PGresult* m_result;
};

struct PgReply {
  enum class Status {
    Ok,
    Failed,    // the server refused the statement: sqlState and message say why
    Lost,      // the connection broke
    TimedOut,  // the server stayed silent; the connection was given up
    Stopped,   // the stop descriptor became readable
  };
  Status status = Status::Lost;
  std::string sqlState;
  std::string message;
  long long affected = 0;  // rows the statement inserted, updated or deleted

  bool Ok() const { return status == Status::Ok; }
};

class PgLink {
 public:
  // `stop`, once signalled, ends any wait; null for none.
  explicit PgLink(const platform::StopEvent* stop = nullptr,
                  std::chrono::milliseconds silenceLimit = std::chrono::seconds(10));
  ~PgLink();
  PgLink(const PgLink&) = delete;
  PgLink& operator=(const PgLink&) = delete;

  // Connects with a libpq connection string (or URI); the client encoding is
  // always UTF-8. False with Error() set when it fails or takes longer than
  // the silence limit.
  bool Connect(const std::string& conninfo);
  bool Connected() const { return m_conn != nullptr; }
  void Close();
  // Why the last Connect failed, in the server's or libpq's words, on one line.
  const std::string& Error() const { return m_error; }

  // One statement with text parameters (nothing for NULL). Rows, if any, are
  // handed to `onRow` one at a time as they arrive, so a large answer is never
  // held whole. A statement sent outside a transaction is its own
  // transaction: Ok means it is committed.
  PgReply Exec(const std::string& sql, const std::vector<std::optional<std::string>>& params = {},
               const std::function<void(const PgRow&)>& onRow = {});

 private:
  enum class Wait { Ready, Stopped, TimedOut, Failed };
  Wait WaitFor(platform::SocketInterest interest);

  const platform::StopEvent* m_stop;
  std::chrono::milliseconds m_silenceLimit;
  PGconn* m_conn = nullptr;
  std::string m_error;
};

// A libpq message on one line: its own line breaks and the "FATAL:" or
// "ERROR:" prefix's padding folded into single spaces.
std::string OneLine(std::string_view message);

}  // namespace orvana::store
