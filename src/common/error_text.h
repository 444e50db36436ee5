#pragma once

#include <cstring>
#include <string>

namespace orvana::common {

// The system's words for an errno value, for traces and for a person; the
// one way the program turns an errno into text (strerror is not
// thread-safe, and the threads of the link, the log and the export all ask).
inline std::string ErrorText(int error) {
  char buffer[256];
  // The GNU strerror_r returns the text, which may or may not be `buffer`.
  return strerror_r(error, buffer, sizeof buffer);
}

}  // namespace orvana::common
