#pragma once

#include <ctime>
#include <optional>

// The machine's local time: its time zone and daylight saving rules.
namespace orvana::platform {

struct LocalMoment {
  std::tm parts{};     // as the C library breaks a time down
  long utcOffset = 0;  // seconds east of UTC at that moment, daylight saving included
};

// What `moment` is on this machine's clock; nothing when it cannot say.
std::optional<LocalMoment> LocalMomentOf(std::time_t moment);

}  // namespace orvana::platform
