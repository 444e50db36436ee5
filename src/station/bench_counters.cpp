#include "station/bench_counters.h"

#include <cmath>

namespace orvana::station {

std::optional<double> PartCounts::YieldPercent() const {
  if (tested == 0) return std::nullopt;
  return std::round(1000.0 * static_cast<double>(passed) / static_cast<double>(tested)) / 10.0;
}

void BenchCounters::Count(const common::LocalTime& when, const std::string& order,
                          results::Outcome verdict) {
  if (verdict == results::OUTCOME_NONE) return;
  if (DayOf(when) != m_day) {
    m_day = DayOf(when);
    m_today = {};
    m_orders.clear();
  }
  const auto add = [verdict](PartCounts& counts) {
    ++counts.tested;
    ++(verdict == results::OUTCOME_PASS ? counts.passed : counts.failed);
  };
  add(m_today);
  if (!order.empty()) add(m_orders[order]);
}

BenchCounts BenchCounters::Counts(const common::LocalTime& now, const std::string& order) const {
  BenchCounts counts;
  counts.order = order;
  if (DayOf(now) != m_day) return counts;
  counts.today = m_today;
  if (const auto found = m_orders.find(order); !order.empty() && found != m_orders.end()) {
    counts.ofOrder = found->second;
  }
  return counts;
}

}  // namespace orvana::station
