#include "records/daily_log.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "common/trace.h"
#include "records/regular_file.h"

namespace orvana::records {
namespace {

using namespace std::chrono_literals;

// Data reaches the disk within about this long, and the disk is asked at most
// this often, so a burst of results is not throttled by the drive.
constexpr auto kFlushInterval = 1s;
// How long a line waits for another writer to release the file before it is
// kept for later instead.
constexpr auto kLockWait = 500ms;
constexpr auto kLockPoll = 5ms;

void TraceFailure(const std::string& path, const RegularFile& failure) {
  if (failure.notRegular) {
    common::Trace("Can't open file %s: not a regular file, the line is kept\n", path.c_str());
  } else {
    common::Trace("Can't open file %s,error=%u\n", path.c_str(),
                  static_cast<unsigned>(failure.error));
  }
}

// Creates the folder and any missing parents; what cannot be created shows up
// when the file is opened.
void CreateFolders(const std::string& folder) {
  for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    const std::string part = folder.substr(0, slash);
    if (!part.empty()) ::mkdir(part.c_str(), 0777);
    if (slash == std::string::npos) break;
  }
}

bool LockExclusive(int fd) {
  const auto deadline = std::chrono::steady_clock::now() + kLockWait;
  while (true) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) return false;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(kLockPoll);
  }
}

// One write of the whole line; a part-written line is cut off again so the
// file never holds half a line. Expects the exclusive lock held, so the bytes
// at the end of the file past what was there are this write's.
bool WriteWhole(int fd, const std::string& bytes, int& error) {
  ssize_t written;
  do {
    written = ::write(fd, bytes.data(), bytes.size());
  } while (written < 0 && errno == EINTR);
  if (written == static_cast<ssize_t>(bytes.size())) return true;
  // A regular file takes part of a line only when it cannot take more.
  error = written < 0 ? errno : ENOSPC;
  if (written > 0) {
    struct stat after {};
    if (::fstat(fd, &after) != 0 || ::ftruncate(fd, after.st_size - written) != 0) error = errno;
  }
  return false;
}

}  // namespace

std::string FormatLogLine(const std::string& serial, const std::array<std::string, 4>& texts,
                          const std::string& timeText) {
  std::string line = serial;
  for (const std::string& text : texts) {
    line += kFieldSeparator;
    line += text;
  }
  line += kFieldSeparator;
  line += timeText;
  return line;
}

std::string LogFilePath(const std::string& folder, const common::LocalTime& date) {
  char name[48];
  std::snprintf(name, sizeof name, "%04d%02d%02d.txt", date.year, date.month, date.day);
  std::string path = folder;
  if (!path.empty() && path.back() != '/') path += '/';
  return path + name;
}

DailyLog::DailyLog(std::string folder) : folder_(std::move(folder)) {
  flusher_ = std::thread([this] { FlusherLoop(); });
}

DailyLog::~DailyLog() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  flusher_.join();
  std::lock_guard lock(mutex_);
  DrainPending(true);
  for (const PendingLine& line : pending_) {
    common::Trace("Daily log line lost for %s: %s\n", line.path.c_str(),
                  line.bytes.substr(0, line.bytes.size() - kLogLineEnd.size()).c_str());
  }
  CloseFile();
}

void DailyLog::Append(const common::LocalTime& when, const std::string& serial,
                      const std::array<std::string, 4>& texts, const std::string& timeText) {
  PendingLine line{LogFilePath(folder_, when), FormatLogLine(serial, texts, timeText)};
  line.bytes += kLogLineEnd;
  bool wake = false;
  {
    std::lock_guard lock(mutex_);
    // The flusher sleeps without a deadline only while there is nothing to
    // flush or retry; otherwise it already wakes at its next flush time, so
    // it is woken only when this line gives it work it did not have.
    const bool flusherIdle = !dirty_ && pending_.empty();
    pending_.push_back(std::move(line));
    DrainPending(true);
    wake = flusherIdle && (dirty_ || !pending_.empty());
    if (wake) ++flusherWakeups_;
  }
  if (wake) wake_.notify_all();
}

size_t DailyLog::FlusherWakeups() const {
  std::lock_guard lock(mutex_);
  return flusherWakeups_;
}

size_t DailyLog::PendingLines() const {
  std::lock_guard lock(mutex_);
  return pending_.size();
}

void DailyLog::DrainPending(bool traceFailures) {
  while (!pending_.empty()) {
    if (!WriteLine(pending_.front(), traceFailures)) return;
    pending_.pop_front();
  }
}

bool DailyLog::WriteLine(const PendingLine& line, bool traceFailures) {
  RegularFile failure;
  bool written = false;
  if (OpenFor(line.path, failure)) {
    if (!LockExclusive(fd_)) {
      failure.error = errno;
    } else {
      written = WriteWhole(fd_, line.bytes, failure.error);
      ::flock(fd_, LOCK_UN);
    }
  }
  if (written) {
    dirty_ = true;
  } else if (traceFailures) {
    TraceFailure(line.path, failure);
  }
  return written;
}

bool DailyLog::OpenFor(const std::string& path, RegularFile& failure) {
  if (fd_ >= 0 && fdPath_ == path) {
    // Keep the open file only while it is still the one under that name: a
    // day's file moved or deleted by someone else must not swallow our lines.
    struct stat current {};
    if (::stat(path.c_str(), &current) == 0 && current.st_dev == fdDevice_ &&
        current.st_ino == fdInode_) {
      return true;
    }
  }
  CloseFile();
  // Only a regular file takes our lines: a FIFO or a device under the day's
  // name would block the open or swallow the line.
  constexpr int kFlags = O_WRONLY | O_APPEND | O_CREAT;
  RegularFile file = OpenRegularFile(path, kFlags);
  if (!file.Opened() && file.error == ENOENT) {
    CreateFolders(folder_);
    file = OpenRegularFile(path, kFlags);
  }
  if (!file.Opened()) {
    failure = file;
    return false;
  }
  const int fd = file.fd;
  struct stat opened {};
  if (::fstat(fd, &opened) != 0) {
    failure.error = errno;
    ::close(fd);
    return false;
  }
  fd_ = fd;
  fdPath_ = path;
  fdDevice_ = opened.st_dev;
  fdInode_ = opened.st_ino;
  return true;
}

void DailyLog::CloseFile() {
  if (fd_ < 0) return;
  if (dirty_) ::fdatasync(fd_);
  dirty_ = false;
  ::close(fd_);
  fd_ = -1;
  fdPath_.clear();
}

void DailyLog::FlusherLoop() {
  std::unique_lock lock(mutex_);
  while (!stop_) {
    if (!dirty_ && pending_.empty()) {
      wake_.wait(lock, [this] { return stop_ || dirty_ || !pending_.empty(); });
      continue;
    }
    if (wake_.wait_until(lock, lastFlush_ + kFlushInterval, [this] { return stop_; })) break;
    lastFlush_ = SteadyClock::now();
    // Lines kept after a failure go out without waiting for the next result;
    // their failure was traced when they were first tried.
    DrainPending(false);
    if (!dirty_ || fd_ < 0) continue;
    // Syncing a duplicate outside the lock keeps the writer from waiting on
    // the disk.
    const int copy = ::dup(fd_);
    if (copy < 0) continue;
    dirty_ = false;
    lock.unlock();
    ::fdatasync(copy);
    ::close(copy);
    lock.lock();
  }
}

}  // namespace orvana::records
