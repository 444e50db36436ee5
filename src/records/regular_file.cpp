#include "records/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/error_text.h"

namespace orvana::records {

std::string RegularFile::Reason() const {
  if (notRegular) return "not a regular file";
  return common::ErrorText(error);
}

RegularFile OpenRegularFile(const std::string& path, int flags, mode_t mode) {
  RegularFile result;
  struct stat before {};
  if (::stat(path.c_str(), &before) == 0) {
    if (!S_ISREG(before.st_mode)) {
      result.notRegular = true;
      return result;
    }
  } else if (errno != ENOENT || (flags & O_CREAT) == 0) {
    result.error = errno;
    return result;
  }

  int fd;
  do {
    fd = ::open(path.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    result.error = errno;
    return result;
  }
  struct stat opened {};
  if (::fstat(fd, &opened) != 0) {
    result.error = errno;
    ::close(fd);
    return result;
  }
  if (!S_ISREG(opened.st_mode)) {
    result.notRegular = true;
    ::close(fd);
    return result;
  }
  // Regular files ignore O_NONBLOCK; clear it anyway so nothing later depends
  // on that.
  const int status = ::fcntl(fd, F_GETFL);
  if (status >= 0) ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK);
  result.fd = fd;
  return result;
}

}  // namespace orvana::records
