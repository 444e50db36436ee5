#include <string.h>

#include "common/error_text.h"

namespace orvana::common {

std::string ErrorText(int error) {
  char buffer[256];
  if (strerror_s(buffer, sizeof buffer, error) != 0) return "Unknown error " + std::to_string(error);
  return buffer;
}

}  // namespace orvana::common
