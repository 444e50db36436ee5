#include "store/record_queries.h"

#include <charconv>
#include <ctime>

#include "common/clock.h"
#include "store/result_store.h"

namespace orvana::store {
namespace {

// The start of local day `date` ("YYYY-MM-DD") plus `days`, as the database
// reads a moment; empty when `date` is no real day.
std::string DayStart(std::string_view date, int days) {
  if (date.size() != 10 || date[4] != '-' || date[7] != '-') return {};
  int year = 0, month = 0, day = 0;
  const auto read = [&](size_t at, size_t count, int& value) {
    const auto [end, error] = std::from_chars(date.data() + at, date.data() + at + count, value);
    return error == std::errc{} && end == date.data() + at + count;
  };
  if (!read(0, 4, year) || !read(5, 2, month) || !read(8, 2, day)) return {};
  std::tm asked{};
  asked.tm_year = year - 1900;
  asked.tm_mon = month - 1;
  asked.tm_mday = day;
  asked.tm_hour = 12;  // noon: no clock change moves it to another day
  asked.tm_isdst = -1;
  std::tm normal = asked;
  if (std::mktime(&normal) == static_cast<std::time_t>(-1) || normal.tm_mday != day ||
      normal.tm_mon != month - 1) {
    return {};
  }
  normal.tm_mday += days;
  normal.tm_isdst = -1;
  std::mktime(&normal);
  return RecordedAtText(
      common::LocalTime{normal.tm_year + 1900, normal.tm_mon + 1, normal.tm_mday, 0, 0, 0});
}

std::optional<std::string> Param(const std::string& text) {
  return text.empty() ? std::nullopt : std::optional<std::string>(text);
}

std::string Why(const PgReply& reply) {
  return reply.message.empty() ? "no answer" : reply.message;
}

}  // namespace

std::string CheckFilter(const ReportFilter& filter) {
  if (!filter.since.empty() && DayStart(filter.since, 0).empty()) {
    return "--since needs a day as YYYY-MM-DD, not " + filter.since;
  }
  if (!filter.until.empty() && DayStart(filter.until, 0).empty()) {
    return "--until needs a day as YYYY-MM-DD, not " + filter.until;
  }
  return {};
}

std::string QueryReportRows(PgLink& link, const ReportFilter& filter,
                            const std::function<void(const ReportRowTexts&)>& row) {
  const std::string since = filter.since.empty() ? std::string() : DayStart(filter.since, 0);
  const std::string until = filter.until.empty() ? std::string() : DayStart(filter.until, 1);
  ReportRowTexts texts(8);
  const PgReply reply = link.Exec(
      "SELECT serial, il1, rl1, il2, rl2, time_text, bench FROM orvana.results "
      "WHERE ($1::timestamptz IS NULL OR recorded_at >= $1::timestamptz) "
      "AND ($2::timestamptz IS NULL OR recorded_at < $2::timestamptz) "
      "AND ($3::text IS NULL OR bench = $3::text) "
      "AND ($4::text IS NULL OR order_number = $4::text) "
      "ORDER BY recorded_at, bench, length(result_key), result_key",
      {Param(since), Param(until), Param(filter.bench), Param(filter.order)},
      [&](const PgRow& result) {
        for (int column = 0; column < 6; ++column) texts[column] = result.Text(column);
        texts[6] = {};
        texts[7] = result.Text(6);
        row(texts);
      });
  return reply.Ok() ? std::string() : Why(reply);
}

std::string QueryBenchStatus(PgLink& link, std::vector<BenchStatus>& benches) {
  benches.clear();
  const PgReply reply = link.Exec(
      "SELECT bench, count(*), "
      "to_char(max(recorded_at) AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS\"Z\"') "
      "FROM orvana.results GROUP BY bench ORDER BY bench",
      {}, [&](const PgRow& result) {
        BenchStatus& bench = benches.emplace_back();
        bench.bench = result.Text(0);
        const std::string_view count = result.Text(1);
        std::from_chars(count.data(), count.data() + count.size(), bench.results);
        bench.last = result.Text(2);
      });
  return reply.Ok() ? std::string() : Why(reply);
}

std::string QueryDayTexts(PgLink& link, const std::string& bench, const std::string& day,
                          const std::function<void(const ReportRowTexts&)>& row) {
  if (day.size() != 8) return "not a day: " + day;
  const std::string date = day.substr(0, 4) + "-" + day.substr(4, 2) + "-" + day.substr(6, 2);
  const std::string since = DayStart(date, 0);
  const std::string until = DayStart(date, 1);
  if (since.empty() || until.empty()) return "not a day: " + day;
  const std::string logged =
      day.substr(0, 4) + "/" + day.substr(4, 2) + "/" + day.substr(6, 2) + " %";
  ReportRowTexts texts(6);
  const PgReply reply = link.Exec(
      "SELECT serial, il1, rl1, il2, rl2, time_text FROM orvana.results WHERE bench = $1 "
      "AND ((recorded_at >= $2::timestamptz AND recorded_at < $3::timestamptz) "
      "OR time_text LIKE $4)",
      {bench, since, until, logged}, [&](const PgRow& result) {
        for (int column = 0; column < 6; ++column) texts[column] = result.Text(column);
        row(texts);
      });
  return reply.Ok() ? std::string() : Why(reply);
}

}  // namespace orvana::store
