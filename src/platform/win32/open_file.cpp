#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>

#include "platform/open_file.h"
#include "platform/win32/error_codes.h"
#include "platform/win32/wide.h"

namespace orvana::platform {
namespace {

struct Way {
  DWORD access;
  DWORD disposition;
  int crtFlags;
};

Way WayOf(OpenMode mode) {
  switch (mode) {
    case OpenMode::Read:
      return {GENERIC_READ, OPEN_EXISTING, _O_RDONLY};
    case OpenMode::Append:
      // Write access, not append-only: a part-written line is cut off again.
      // The C library moves to the end before each write.
      return {GENERIC_WRITE, OPEN_ALWAYS, _O_WRONLY | _O_APPEND};
    case OpenMode::Write:
      return {GENERIC_WRITE, OPEN_ALWAYS, _O_WRONLY};
    case OpenMode::ReadWrite:
      return {GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS, _O_RDWR};
    case OpenMode::CreateNew:
      break;
  }
  return {GENERIC_WRITE, CREATE_NEW, _O_WRONLY};
}

// A symbolic link or a junction: what O_NOFOLLOW refuses. Other reparse
// points (a cloud file's placeholder, say) are the file itself.
bool IsLink(HANDLE file) {
  FILE_ATTRIBUTE_TAG_INFO tag{};
  if (!GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof tag)) return false;
  return (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
         (tag.ReparseTag == IO_REPARSE_TAG_SYMLINK || tag.ReparseTag == IO_REPARSE_TAG_MOUNT_POINT);
}

HANDLE Open(const std::wstring& path, const Way& way, DWORD flags) {
  // Shared as a Linux file is: others read, write, rename and delete it
  // while it is open here. Not inherited by a program started meanwhile.
  return CreateFileW(path.c_str(), way.access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, way.disposition, FILE_ATTRIBUTE_NORMAL | flags, nullptr);
}

}  // namespace

// CreateFileW rather than _wopen: _wopen cannot share the file for deleting
// and renaming, which a day log that someone moves away must allow.
// Windows has no FIFOs among its files and no controlling terminals, so
// `noWait` asks for nothing more here; the permission bits give way to the
// folder's access rights, which a new file takes.
int OpenFile(const std::string& path, OpenMode mode, OpenOptions options) {
  const std::wstring wide = Wide(path);
  if (wide.empty()) {
    errno = ENOENT;
    return -1;
  }
  const Way way = WayOf(mode);
  HANDLE file = Open(wide, way, options.noFollow ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
  if (file != INVALID_HANDLE_VALUE && options.noFollow && IsLink(file)) {
    CloseHandle(file);
    errno = ELOOP;
    return -1;
  }
  if (file == INVALID_HANDLE_VALUE) {
    SetErrnoFromLastError();
    return -1;
  }
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file),
                                 way.crtFlags | _O_BINARY | _O_NOINHERIT);
  if (fd < 0) {
    const int error = errno;
    CloseHandle(file);
    errno = error == 0 ? EMFILE : error;
  }
  return fd;
}

void CloseFile(int fd) { _close(fd); }

int DuplicateFile(int fd) { return _dup(fd); }

}  // namespace orvana::platform
