#include "platform/real_path.h"

#include <cstdlib>

namespace orvana::platform {

std::string RealPath(const std::string& path) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return {};
  std::string result = resolved;
  std::free(resolved);
  return result;
}

}  // namespace orvana::platform
