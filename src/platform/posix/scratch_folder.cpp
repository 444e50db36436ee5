#include "platform/scratch_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>

#include "platform/file_names.h"

namespace orvana::platform {
namespace {

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

}  // namespace

int ScratchFolder::Create(const std::string& path) {
  const std::string folder = std::filesystem::path(path).parent_path().string();
  std::string name = (folder.empty() ? std::string(".") : folder) + "/.orvana-XXXXXX";
  if (name.size() >= sizeof g_folder) return ENAMETOOLONG;
  StopSignalsBlocked blocked;
  if (::mkdtemp(name.data()) == nullptr) return errno;
  const int fd = ::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    ::rmdir(name.c_str());
    return error;
  }
  m_path = name;
  m_native = fd;
  if (m_removeOnStop) {
    std::memcpy(g_folder, name.c_str(), name.size() + 1);
    g_folderFd = fd;
    CatchStopSignals();
  }
  return 0;
}

// A stop signal removes the folder itself and ends the program.
bool ScratchFolder::StopAsked() const { return false; }

// Stopped from here on, the program ends with the file either still in the
// folder (and removed with it) or already in its place.
int ScratchFolder::MoveOut(const std::string& file, const std::string& target) {
  StopSignalsBlocked blocked;
  return RenameOver(file, target);
}

void ScratchFolder::Remove() {
  if (m_path.empty()) return;
  StopSignalsBlocked blocked;
  const int fd = static_cast<int>(m_native);
  RemoveFolderContents(fd);
  ::rmdir(m_path.c_str());
  ::close(fd);
  if (m_removeOnStop) g_folderFd = -1;
  m_native = -1;
  m_path.clear();
}

}  // namespace orvana::platform
