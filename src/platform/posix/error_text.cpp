#include <string.h>

#include "common/error_text.h"

namespace orvana::common {

std::string ErrorText(int error) {
  char buffer[256];
  // The GNU strerror_r returns the text, which may or may not be `buffer`.
  return strerror_r(error, buffer, sizeof buffer);
}

}  // namespace orvana::common
