#pragma once

#include <ctime>

// The local clock, behind an interface so tests and benchmarks can fix the
// time a result is stamped with (and so the day its log file is named after).
namespace orvana::common {

struct LocalTime {
  int year = 0;   // e.g. 2017
  int month = 0;  // 1..12
  int day = 0;    // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// The moment `time` names on this machine's clock, daylight saving decided
// by the zone's rules; -1 when it names none.
std::time_t MomentOf(const LocalTime& time);

class IClock {
 public:
  virtual ~IClock() = default;
  virtual LocalTime Now() const = 0;
};

// The machine's own clock; defined beside the platform's local time
// (src/platform/system_clock.cpp), which it reads.
class SystemClock final : public IClock {
 public:
  LocalTime Now() const override;
};

// A clock that says what it is told; for tests and the benchmarks.
class FixedClock final : public IClock {
 public:
  explicit FixedClock(LocalTime time) : m_time(time) {}
  LocalTime Now() const override { return m_time; }
  void Set(LocalTime time) { m_time = time; }

 private:
  LocalTime m_time;
};

}  // namespace orvana::common
