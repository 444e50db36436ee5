#include "platform/library_file_name.h"

namespace orvana::platform {

std::string LibraryFileName(const std::string& path) { return path; }

}  // namespace orvana::platform
