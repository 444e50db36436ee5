#include <time.h>

#include "platform/local_time.h"

namespace orvana::platform {

std::optional<LocalMoment> LocalMomentOf(std::time_t moment) {
  LocalMoment local;
  if (::localtime_r(&moment, &local.parts) == nullptr) return std::nullopt;
  local.utcOffset = local.parts.tm_gmtoff;
  return local;
}

}  // namespace orvana::platform
