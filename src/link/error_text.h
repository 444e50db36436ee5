#pragma once

#include <cstring>
#include <string>

namespace orvana::link {

// The system's words for an errno value, for traces and for a person.
inline std::string ErrorText(int error) {
  char buffer[256];
  // The GNU strerror_r returns the text, which may or may not be `buffer`.
  return strerror_r(error, buffer, sizeof buffer);
}

}  // namespace orvana::link
