#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "common/error_text.h"
#include "platform/file_names.h"

namespace orvana::platform {

int MakeFolders(const std::string& folder, unsigned mode) {
  for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    const std::string part = folder.substr(0, slash);
    if (!part.empty() && ::mkdir(part.c_str(), static_cast<mode_t>(mode)) != 0 &&
        errno != EEXIST) {
      return errno;
    }
    if (slash == std::string::npos) return 0;
  }
}

int RenameOver(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int RemoveFile(const std::string& path) { return ::unlink(path.c_str()) == 0 ? 0 : errno; }

std::string RenameFailure(const std::string& /*to*/, int error) { return common::ErrorText(error); }

}  // namespace orvana::platform
