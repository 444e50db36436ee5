#include <time.h>

#include "platform/local_time.h"

namespace orvana::platform {

// The Windows C library breaks a time down without saying its offset from
// UTC: the same parts read as UTC are that far from the moment itself.
std::optional<LocalMoment> LocalMomentOf(std::time_t moment) {
  LocalMoment local;
  if (localtime_s(&local.parts, &moment) != 0) return std::nullopt;
  std::tm asUtc = local.parts;
  const std::time_t shifted = _mkgmtime(&asUtc);
  if (shifted == static_cast<std::time_t>(-1)) return std::nullopt;
  local.utcOffset = static_cast<long>(shifted - moment);
  return local;
}

}  // namespace orvana::platform
