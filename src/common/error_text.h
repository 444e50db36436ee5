#pragma once

#include <string>

namespace orvana::common {

// The system's words for an errno value, for traces and for a person; the
// one way the program turns an errno into text (strerror is not
// thread-safe, and the threads of the link, the log and the export all ask).
// Each platform's C library has its own thread-safe call for it: the
// definition is in src/platform/*/error_text.cpp.
std::string ErrorText(int error);

}  // namespace orvana::common
