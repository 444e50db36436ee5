#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "common/clock.h"
#include "results/outcome.h"

// What a bench has tested today: parts, passes, fails and the yield, for
// the whole day and for each order number. A new day starts afresh, as the
// day log does.
namespace orvana::station {

struct PartCounts {
  uint64_t tested = 0;
  uint64_t passed = 0;
  uint64_t failed = 0;

  // Passed parts per hundred tested, to a tenth; nothing while none was tested.
  std::optional<double> YieldPercent() const;
  bool operator==(const PartCounts&) const = default;
};

struct BenchCounts {
  PartCounts today;
  // The order number standing in its field, and its parts today; empty
  // when no order number is set.
  std::string order;
  PartCounts ofOrder;
};

class BenchCounters {
 public:
  // A part recorded at `when` under `order` (may be empty) with `verdict`.
  // A part nobody judged (OUTCOME_NONE) is not counted.
  void Count(const common::LocalTime& when, const std::string& order, results::Outcome verdict);
  // The counts as of `now`: nothing from an earlier day.
  BenchCounts Counts(const common::LocalTime& now, const std::string& order) const;

 private:
  static int DayOf(const common::LocalTime& time) {
    return (time.year * 100 + time.month) * 100 + time.day;
  }

  int m_day = 0;
  PartCounts m_today;
  std::map<std::string, PartCounts> m_orders;
};

}  // namespace orvana::station
