#include <io.h>
#include <windows.h>

#include <cerrno>

#include "platform/file_info.h"
#include "platform/win32/error_codes.h"
#include "platform/win32/wide.h"

namespace orvana::platform {
namespace {

bool IsLinkTag(HANDLE file) {
  FILE_ATTRIBUTE_TAG_INFO tag{};
  if (!GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof tag)) return false;
  return (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
         (tag.ReparseTag == IO_REPARSE_TAG_SYMLINK || tag.ReparseTag == IO_REPARSE_TAG_MOUNT_POINT);
}

bool InfoOfHandle(HANDLE file, FileInfo& info) {
  if (file == INVALID_HANDLE_VALUE) {
    errno = EBADF;
    return false;
  }
  info = FileInfo{};
  // The files the program keeps are in the user's own folders on Windows
  // (%LOCALAPPDATA%, %TEMP%), where no one else leaves files.
  info.ours = true;
  // Consoles, pipes and devices (NUL, COM1) are no files to keep lines in.
  if (GetFileType(file) != FILE_TYPE_DISK) return true;
  BY_HANDLE_FILE_INFORMATION about{};
  if (!GetFileInformationByHandle(file, &about)) {
    SetErrnoFromLastError();
    return false;
  }
  info.kind = (about.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FileKind::Folder
                                                                        : FileKind::Regular;
  if (IsLinkTag(file)) info.kind = FileKind::Link;
  info.size = (static_cast<uint64_t>(about.nFileSizeHigh) << 32) | about.nFileSizeLow;
  info.volume = about.dwVolumeSerialNumber;
  info.index = (static_cast<uint64_t>(about.nFileIndexHigh) << 32) | about.nFileIndexLow;
  info.links = about.nNumberOfLinks;
  // A deleted file that is still open keeps its name until the last handle
  // closes (on older Windows): it is gone all the same.
  FILE_STANDARD_INFO standard{};
  if (GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof standard) &&
      standard.DeletePending) {
    info.links = 0;
  }
  return true;
}

}  // namespace

bool SameFile(const FileInfo& a, const FileInfo& b) {
  return a.volume == b.volume && a.index == b.index;
}

bool InfoOf(int fd, FileInfo& info) {
  return InfoOfHandle(reinterpret_cast<HANDLE>(_get_osfhandle(fd)), info);
}

// Opened for its attributes only, which reads nothing and starts no device.
bool InfoAt(const std::string& path, FileInfo& info, bool followLinks) {
  const std::wstring wide = Wide(path);
  if (wide.empty()) {
    errno = ENOENT;
    return false;
  }
  const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
  HANDLE file = CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, flags, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    SetErrnoFromLastError();
    return false;
  }
  const bool known = InfoOfHandle(file, info);
  const int error = errno;
  CloseHandle(file);
  errno = error;
  return known;
}

}  // namespace orvana::platform
