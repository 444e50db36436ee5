#include "store/pg_link.h"

#include <libpq-fe.h>

#include <cstdlib>

namespace orvana::store {

bool PgRow::IsNull(int column) const { return PQgetisnull(m_result, 0, column) != 0; }

std::string_view PgRow::Text(int column) const {
  return {PQgetvalue(m_result, 0, column), static_cast<size_t>(PQgetlength(m_result, 0, column))};
}

std::string OneLine(std::string_view message) {
  std::string line;
  bool space = false;
  for (const char c : message) {
    if (c == '\n' || c == '\r' || c == ' ' || c == '\t') {
      space = !line.empty();
      continue;
    }
    if (space) line += ' ';
    space = false;
    line += c;
  }
  return line;
}

PgLink::PgLink(const platform::StopEvent* stop, std::chrono::milliseconds silenceLimit)
    : m_stop(stop), m_silenceLimit(silenceLimit) {}

PgLink::~PgLink() { Close(); }

void PgLink::Close() {
  if (m_conn != nullptr) PQfinish(m_conn);
  m_conn = nullptr;
}

PgLink::Wait PgLink::WaitFor(platform::SocketInterest interest) {
  switch (platform::WaitForSocket(PQsocket(m_conn), interest, m_stop, m_silenceLimit)) {
    case platform::SocketWait::Ready:
      return Wait::Ready;
    case platform::SocketWait::Stopped:
      return Wait::Stopped;
    case platform::SocketWait::TimedOut:
      return Wait::TimedOut;
    case platform::SocketWait::Failed:
      break;
  }
  return Wait::Failed;
}

bool PgLink::Connect(const std::string& conninfo) {
  Close();
  m_error.clear();
  // Later keywords win: the connection string may set its own time-out or
  // name, but never the encoding, which the record's texts rely on.
  const char* const keywords[] = {"application_name", "dbname", "client_encoding", nullptr};
  const char* const values[] = {"orvana", conninfo.c_str(), "UTF8", nullptr};
  m_conn = PQconnectStartParams(keywords, values, 1);
  if (m_conn == nullptr) {
    m_error = "out of memory";
    return false;
  }
  PostgresPollingStatusType polling = PGRES_POLLING_WRITING;
  while (PQstatus(m_conn) != CONNECTION_BAD) {
    if (polling == PGRES_POLLING_OK) return true;
    if (polling == PGRES_POLLING_FAILED) break;
    const Wait wait = WaitFor(polling == PGRES_POLLING_READING ? platform::SocketInterest::Read
                                                              : platform::SocketInterest::Write);
    if (wait == Wait::TimedOut) {
      m_error = "the server did not answer within " +
                std::to_string(m_silenceLimit.count() / 1000) + " s";
      Close();
      return false;
    }
    if (wait == Wait::Stopped) {
      m_error = "stopped";
      Close();
      return false;
    }
    polling = PQconnectPoll(m_conn);
  }
  m_error = OneLine(PQerrorMessage(m_conn));
  if (m_error.empty()) m_error = "cannot connect";
  Close();
  return false;
}

PgReply PgLink::Exec(const std::string& sql, const std::vector<std::optional<std::string>>& params,
                     const std::function<void(const PgRow&)>& onRow) {
  PgReply reply;
  if (m_conn == nullptr) {
    reply.message = "not connected";
    return reply;
  }
  std::vector<const char*> values;
  values.reserve(params.size());
  for (const auto& param : params) values.push_back(param ? param->c_str() : nullptr);
  const auto lost = [&](PgReply::Status status, std::string message) {
    reply.status = status;
    reply.message = std::move(message);
    Close();
    return reply;
  };
  // Without parameters the statement may be several, one after another (the
  // schema's creation); with them, libpq allows only one.
  if (PQsetnonblocking(m_conn, 1) != 0) {
    return lost(PgReply::Status::Lost, OneLine(PQerrorMessage(m_conn)));
  }
  const int sent = params.empty()
                       ? PQsendQuery(m_conn, sql.c_str())
                       : PQsendQueryParams(m_conn, sql.c_str(), static_cast<int>(values.size()),
                                           nullptr, values.data(), nullptr, nullptr, 0);
  if (sent == 0) {
    return lost(PgReply::Status::Lost, OneLine(PQerrorMessage(m_conn)));
  }
  if (onRow) PQsetSingleRowMode(m_conn);
  const std::string silent =
      "the server has not answered for " + std::to_string(m_silenceLimit.count() / 1000) + " s";
  // Out with the statement, however long it is.
  for (int flushed; (flushed = PQflush(m_conn)) != 0;) {
    if (flushed < 0) return lost(PgReply::Status::Lost, OneLine(PQerrorMessage(m_conn)));
    const Wait wait = WaitFor(platform::SocketInterest::Either);
    if (wait == Wait::TimedOut) return lost(PgReply::Status::TimedOut, silent);
    if (wait == Wait::Stopped) return lost(PgReply::Status::Stopped, "stopped");
    if (wait == Wait::Failed || PQconsumeInput(m_conn) == 0) {
      return lost(PgReply::Status::Lost, OneLine(PQerrorMessage(m_conn)));
    }
  }
  // Then every result until libpq says there are no more; the first error
  // is the one that counts.
  bool failed = false;
  reply.status = PgReply::Status::Ok;
  for (;;) {
    while (PQisBusy(m_conn) != 0) {
      const Wait wait = WaitFor(platform::SocketInterest::Read);
      if (wait == Wait::TimedOut) return lost(PgReply::Status::TimedOut, silent);
      if (wait == Wait::Stopped) return lost(PgReply::Status::Stopped, "stopped");
      if (wait == Wait::Failed || PQconsumeInput(m_conn) == 0) {
        return lost(PgReply::Status::Lost, OneLine(PQerrorMessage(m_conn)));
      }
    }
    PGresult* result = PQgetResult(m_conn);
    if (result == nullptr) break;
    switch (PQresultStatus(result)) {
      case PGRES_SINGLE_TUPLE:
        if (onRow && !failed) onRow(PgRow(result));
        break;
      case PGRES_COMMAND_OK:
      case PGRES_TUPLES_OK:
        if (!failed) reply.affected = std::atoll(PQcmdTuples(result));
        break;
      default:
        if (!failed) {
          failed = true;
          reply.status = PgReply::Status::Failed;
          const char* state = PQresultErrorField(result, PG_DIAG_SQLSTATE);
          reply.sqlState = state != nullptr ? state : "";
          reply.message = OneLine(PQresultErrorMessage(result));
        }
    }
    PQclear(result);
  }
  if (PQstatus(m_conn) == CONNECTION_BAD) {
    return lost(PgReply::Status::Lost,
                reply.message.empty() ? OneLine(PQerrorMessage(m_conn)) : reply.message);
  }
  // A failure inside BEGIN ... COMMIT leaves the transaction open and
  // aborted; the next statement must find the connection clean.
  if (PQtransactionStatus(m_conn) != PQTRANS_IDLE) {
    const PgReply rollback = Exec("ROLLBACK");
    if (!rollback.Ok()) return lost(rollback.status, reply.message);
  }
  return reply;
}

}  // namespace orvana::store
