#include <sys/random.h>
#include <unistd.h>

#include "platform/system.h"

namespace orvana::platform {

std::string HostName() {
  char host[256] = {};
  if (::gethostname(host, sizeof host - 1) != 0) return {};
  return host;
}

bool RandomBytes(void* buffer, size_t size) {
  return ::getrandom(buffer, size, 0) == static_cast<ssize_t>(size);
}

unsigned long ProcessId() { return static_cast<unsigned long>(::getpid()); }

}  // namespace orvana::platform
