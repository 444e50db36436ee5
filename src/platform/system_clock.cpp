#include <chrono>

#include "common/clock.h"
#include "platform/local_time.h"

// The clock that reads the machine's time is the platform's to give: the
// rest of common/clock.h is plain arithmetic.
namespace orvana::common {

LocalTime SystemClock::Now() const {
  const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  const auto local = platform::LocalMomentOf(now);
  if (!local) return {};
  const std::tm& parts = local->parts;
  return LocalTime{parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
                   parts.tm_hour,        parts.tm_min,     parts.tm_sec};
}

}  // namespace orvana::common
