#include "records/regular_file.h"

#include <fcntl.h>

#include <cerrno>

#include "common/error_text.h"
#include "platform/file_info.h"

namespace orvana::records {

std::string RegularFile::Reason() const {
  if (notRegular) return "not a regular file";
  return common::ErrorText(error);
}

RegularFile OpenRegularFile(const std::string& path, platform::OpenMode mode,
                            platform::OpenOptions options) {
  RegularFile result;
  platform::FileInfo before;
  if (platform::InfoAt(path, before)) {
    if (before.kind != platform::FileKind::Regular) {
      result.notRegular = true;
      return result;
    }
  } else if (errno != ENOENT || mode == platform::OpenMode::Read) {
    result.error = errno;
    return result;
  }

  options.noWait = true;
  const int fd = platform::OpenFile(path, mode, options);
  if (fd < 0) {
    result.error = errno;
    return result;
  }
  platform::FileInfo opened;
  if (!platform::InfoOf(fd, opened)) {
    result.error = errno;
    platform::CloseFile(fd);
    return result;
  }
  if (opened.kind != platform::FileKind::Regular) {
    result.notRegular = true;
    platform::CloseFile(fd);
    return result;
  }
  result.fd = fd;
  return result;
}

RegularFile OpenRegularFile(const std::string& path, int flags) {
  using platform::OpenMode;
  const int access = flags & (O_RDONLY | O_WRONLY | O_RDWR);
  OpenMode mode = OpenMode::Read;
  if ((flags & O_CREAT) != 0 && (flags & O_EXCL) != 0) {
    mode = OpenMode::CreateNew;
  } else if ((flags & O_APPEND) != 0) {
    mode = OpenMode::Append;
  } else if (access == O_RDWR) {
    mode = OpenMode::ReadWrite;
  } else if (access == O_WRONLY) {
    mode = OpenMode::Write;
  }
  return OpenRegularFile(path, mode);
}

}  // namespace orvana::records
