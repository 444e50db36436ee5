#include "records/workbook_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "common/error_text.h"

namespace orvana::records {
namespace {

// The workbook is written in a private folder beside its final place and
// renamed over it only once it is whole. A folder rather than one temporary
// file, because the workbook writer makes its own partial file beside the
// name it is given: the folder holds both, under short names, so a long
// output name never grows past what a file name may be, and one folder is
// all there is to remove when the run is stopped. (An unnamed O_TMPFILE
// would leave nothing even after SIGKILL, but the workbook is written by
// name.)
class TemporaryFolder {
 public:
  explicit TemporaryFolder(bool removeOnStopSignal) : m_onSignal(removeOnStopSignal) {}
  ~TemporaryFolder() { Remove(); }
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;

  // In the folder of `path`. False with errno set when it cannot be made.
  bool Create(const std::string& path);
  const std::string& Path() const { return m_path; }
  void Remove();

 private:
  const bool m_onSignal;
  std::string m_path;
  int m_fd = -1;
};

// What the signal handler removes. Set only while the termination signals
// are blocked, so the handler never sees it half written.
char g_folder[PATH_MAX];
int g_folderFd = -1;
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Only calls that are safe in a signal handler.
void RemoveFolderContents(int folderFd) {
  alignas(dirent64) char buffer[4096];
  bool removed = true;
  while (removed) {
    removed = false;
    if (::lseek(folderFd, 0, SEEK_SET) != 0) return;
    for (ssize_t got; (got = ::getdents64(folderFd, buffer, sizeof buffer)) > 0;) {
      for (ssize_t at = 0; at < got;) {
        const auto* entry = reinterpret_cast<const dirent64*>(buffer + at);
        at += entry->d_reclen;
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
        if (::unlinkat(folderFd, name, 0) == 0) removed = true;
      }
    }
  }
}

extern "C" void OnStopSignal(int number) {
  const int saved = errno;
  if (g_folderFd >= 0) {
    RemoveFolderContents(g_folderFd);
    ::rmdir(g_folder);
  }
  errno = saved;
  // SA_RESETHAND has put the default action back: once this returns, the
  // signal ends the program as it would have without us.
  ::raise(number);
}

class StopSignalsBlocked {
 public:
  StopSignalsBlocked() {
    sigset_t signals;
    sigemptyset(&signals);
    for (const int number : kStopSignals) sigaddset(&signals, number);
    ::pthread_sigmask(SIG_BLOCK, &signals, &m_previous);
  }
  ~StopSignalsBlocked() { ::pthread_sigmask(SIG_SETMASK, &m_previous, nullptr); }
  StopSignalsBlocked(const StopSignalsBlocked&) = delete;
  StopSignalsBlocked& operator=(const StopSignalsBlocked&) = delete;

 private:
  sigset_t m_previous{};
};

void CatchStopSignals() {
  for (const int number : kStopSignals) {
    struct sigaction current {};
    // A signal the caller chose to ignore (a background job's SIGINT) stays
    // ignored.
    if (::sigaction(number, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    for (const int other : kStopSignals) sigaddset(&action.sa_mask, other);
    action.sa_flags = SA_RESETHAND;
    ::sigaction(number, &action, nullptr);
  }
}

bool TemporaryFolder::Create(const std::string& path) {
  std::string folder = std::filesystem::path(path).parent_path().string();
  if (folder.empty()) folder = ".";
  std::string name = folder + "/.orvana-XXXXXX";
  if (name.size() >= sizeof g_folder) {
    errno = ENAMETOOLONG;
    return false;
  }
  StopSignalsBlocked blocked;
  if (::mkdtemp(name.data()) == nullptr) return false;
  const int fd = ::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    ::rmdir(name.c_str());
    errno = error;
    return false;
  }
  m_path = name;
  m_fd = fd;
  if (m_onSignal) {
    std::memcpy(g_folder, name.c_str(), name.size() + 1);
    g_folderFd = fd;
    CatchStopSignals();
  }
  return true;
}

void TemporaryFolder::Remove() {
  if (m_path.empty()) return;
  StopSignalsBlocked blocked;
  RemoveFolderContents(m_fd);
  ::rmdir(m_path.c_str());
  ::close(m_fd);
  if (m_onSignal) g_folderFd = -1;
  m_fd = -1;
  m_path.clear();
}

// Gives the finished workbook the mode and, where we may, the owner and
// group of the one it replaces, and makes it reach the disk before it takes
// that one's place.
bool SettleWorkbook(const std::string& path, const WorkbookTarget& target, std::string& error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    error = common::ErrorText(errno);
    return false;
  }
  bool ok = true;
  if (target.exists) {
    // Owner first: changing it may clear set-id bits that the mode then
    // puts back. Someone else's file cannot be given away by an ordinary
    // user; its group may still be ours to keep.
    if (::fchown(fd, target.info.st_uid, target.info.st_gid) != 0) {
      [[maybe_unused]] const int group = ::fchown(fd, static_cast<uid_t>(-1), target.info.st_gid);
    }
    if (::fchmod(fd, target.info.st_mode & 07777) != 0) {
      error = common::ErrorText(errno);
      ok = false;
    }
  }
  if (ok && ::fsync(fd) != 0) {
    error = common::ErrorText(errno);
    ok = false;
  }
  ::close(fd);
  return ok;
}

// The writer's messages name the file it wrote; the user knows only the name
// they gave.
std::string InTermsOf(std::string message, const std::string& temporary, const std::string& name) {
  for (size_t at = message.find(temporary); at != std::string::npos;
       at = message.find(temporary, at + name.size())) {
    message.replace(at, temporary.size(), name);
  }
  return message;
}

WorkbookResult Failure(std::string error) {
  WorkbookResult result;
  result.status = WorkbookResult::Status::Failed;
  result.error = std::move(error);
  return result;
}

}  // namespace

bool IdOfFile(const std::string& path, FileId& id) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return false;
  id = {info.st_dev, info.st_ino};
  return true;
}

std::vector<FileId> FilesToProtectIn(const std::string& folder) {
  std::vector<FileId> files;
  const auto add = [&files](const std::string& path) {
    std::error_code error;
    for (std::filesystem::directory_iterator it(path, error), end; !error && it != end;
         it.increment(error)) {
      struct stat info {};
      if (::lstat(it->path().c_str(), &info) != 0) continue;
      if (S_ISREG(info.st_mode)) files.push_back({info.st_dev, info.st_ino});
    }
  };
  add(folder);
  std::error_code error;
  for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error)) {
    if (it->is_directory(error) && !it->is_symlink(error)) add(it->path().string());
  }
  return files;
}

std::string ResolveWorkbookTarget(const std::string& name, const std::vector<FileId>& protect,
                                  WorkbookTarget& target) {
  target = WorkbookTarget{};
  target.name = name;
  target.path = name;
  struct stat entry {};
  if (::lstat(name.c_str(), &entry) != 0) {
    if (errno == ENOENT) return {};  // a new name; a missing folder shows when writing
    return common::ErrorText(errno);
  }
  if (S_ISLNK(entry.st_mode)) {
    char* resolved = ::realpath(name.c_str(), nullptr);
    if (resolved == nullptr) return "a link that leads nowhere: " + common::ErrorText(errno);
    target.path = resolved;
    std::free(resolved);
  }
  if (::stat(target.path.c_str(), &target.info) != 0) return common::ErrorText(errno);
  // A FIFO, a terminal or a device would be replaced by a plain file, and
  // whoever relied on it would find it gone.
  if (!S_ISREG(target.info.st_mode)) return "not a regular file";
  for (const FileId& file : protect) {
    if (file.device == target.info.st_dev && file.inode == target.info.st_ino) {
      return "it is one of the logs, which a workbook never replaces";
    }
  }
  target.exists = true;
  return {};
}

WorkbookResult WriteWorkbookTo(const WorkbookTarget& target, const ReportContent& content,
                               const WorkbookOptions& options, bool removeOnStopSignal) {
  TemporaryFolder folder(removeOnStopSignal);
  if (!folder.Create(target.path)) {
    return Failure("cannot write " + target.name + ": " + common::ErrorText(errno));
  }
  const std::string written = folder.Path() + "/report.xlsx";
  WorkbookResult result = WriteWorkbook(written, content, options);
  if (!result.Written()) {
    result.error = InTermsOf(result.error, written, target.name);
    return result;
  }
  std::string error;
  if (!SettleWorkbook(written, target, error)) {
    return Failure("cannot write " + target.name + ": " + error);
  }
  // Stopped from here on, the program ends with the workbook either still
  // in the folder (and removed with it) or already in its place.
  StopSignalsBlocked blocked;
  if (::rename(written.c_str(), target.path.c_str()) != 0) {
    return Failure("cannot write " + target.name + ": " + common::ErrorText(errno));
  }
  folder.Remove();
  return result;
}

WorkbookResult WriteWorkbookAs(const std::string& name, const ReportContent& content,
                               const std::vector<FileId>& protect, const WorkbookOptions& options) {
  WorkbookTarget target;
  if (std::string why = ResolveWorkbookTarget(name, protect, target); !why.empty()) {
    return Failure("will not write the report to " + name + ": " + why);
  }
  return WriteWorkbookTo(target, content, options);
}

}  // namespace orvana::records
