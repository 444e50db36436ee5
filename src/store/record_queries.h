#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/pg_link.h"

// What the line asks of its record: the rows of a report, and how far each
// bench's results go.
namespace orvana::store {

struct ReportFilter {
  std::string since;  // "YYYY-MM-DD", from the start of that local day; empty: no limit
  std::string until;  // "YYYY-MM-DD", to the end of that local day; empty: no limit
  std::string bench;  // empty: every bench
  std::string order;  // empty: every order number
};

// Empty when the filter's dates are real days; else what is wrong.
std::string CheckFilter(const ReportFilter& filter);

// The texts of a report row: serial, IL1, RL1, IL2, RL2, time, (the table's
// empty extra column), bench.
using ReportRowTexts = std::vector<std::string_view>;

// Hands each matching row to `row`, oldest first, as they arrive. Empty when
// all came; else the server's reason.
std::string QueryReportRows(PgLink& link, const ReportFilter& filter,
                            const std::function<void(const ReportRowTexts&)>& row);

struct BenchStatus {
  std::string bench;
  long long results = 0;
  std::string last;  // the newest result's time, "YYYY-MM-DDThh:mm:ssZ" (UTC)
};
std::string QueryBenchStatus(PgLink& link, std::vector<BenchStatus>& benches);

// The logged texts (serial, IL1, RL1, IL2, RL2, time) of every result the
// bench has in the record for the local day `day` ("YYYYMMDD"): recorded
// that day, or logged with that day's time text. Empty reason when all came.
std::string QueryDayTexts(PgLink& link, const std::string& bench, const std::string& day,
                          const std::function<void(const ReportRowTexts&)>& row);

}  // namespace orvana::store
