#include "records/daily_log.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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

// Creates the folder and any missing parents. Returns 0, or the errno of the
// part that could not be made: that, not the ENOENT of the file's open, is
// why the line cannot be written (a folder we may not write into, say).
int CreateFolders(const std::string& folder, mode_t mode) {
  for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    const std::string part = folder.substr(0, slash);
    if (!part.empty() && ::mkdir(part.c_str(), mode) != 0 && errno != EEXIST) return errno;
    if (slash == std::string::npos) return 0;
  }
}

// Cut to at most `limit` bytes, never inside a UTF-8 character (a text that is
// not UTF-8 is cut before a byte that looks like a continuation).
std::string_view CutAtCharacter(std::string_view text, size_t limit) {
  if (text.size() <= limit) return text;
  size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

std::string StoredSerial(const std::string& serial) {
  std::string stored(CutAtCharacter(serial, kLongestLogSerial));
  for (char& c : stored) {
    if (c == '\n' || c == '\0') c = ' ';
  }
  return stored;
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

// A folder for lines the day's file could not take: created when missing
// (private, as the lines may name parts and orders), and taken only when it is
// a real folder of ours, never a link someone left in a shared /tmp.
bool UsableUnsavedFolder(const std::string& folder) {
  if (CreateFolders(folder, 0700) != 0) return false;
  struct stat info {};
  return ::lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid();
}

// Appends `bytes` as one write, under the lock other writers take, and syncs
// it; 0 or the errno of the failure.
int AppendWhole(const std::string& path, const std::string& bytes) {
  const RegularFile file = OpenRegularFile(path, O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW, 0600);
  if (!file.Opened()) return file.notRegular ? EINVAL : file.error;
  int error = 0;
  if (!LockExclusive(file.fd)) {
    error = errno;
  } else {
    if (WriteWhole(file.fd, bytes, error)) error = ::fdatasync(file.fd) == 0 ? 0 : errno;
    ::flock(file.fd, LOCK_UN);
  }
  ::close(file.fd);
  return error;
}

// Events the owner has not taken yet are kept up to this many; an owner that
// never looks must not make the log grow without end.
constexpr size_t kMostKeptEvents = 256;

}  // namespace

std::string FormatLogLine(const std::string& serial, const std::array<std::string, 4>& texts,
                          const std::string& timeText) {
  std::string line = StoredSerial(serial);
  for (const std::string& text : texts) {
    line += kFieldSeparator;
    line += CutAtCharacter(text, kLongestLogValue);
  }
  line += kFieldSeparator;
  line += CutAtCharacter(timeText, kLongestLogValue);
  return line;
}

std::string LogFilePath(const std::string& folder, const common::LocalTime& date) {
  char name[48];
  std::snprintf(name, sizeof name, "%04d%02d%02d.txt", date.year, date.month, date.day);
  std::string path = folder;
  if (!path.empty() && path.back() != '/') path += '/';
  return path + name;
}

std::vector<std::string> UnsavedLineFolders() {
  std::vector<std::string> folders;
  const char* data = std::getenv("XDG_DATA_HOME");
  const char* home = std::getenv("HOME");
  if (data != nullptr && data[0] == '/') {
    folders.push_back(std::string(data) + "/orvana/unsaved");
  } else if (home != nullptr && home[0] == '/') {
    folders.push_back(std::string(home) + "/.local/share/orvana/unsaved");
  }
  folders.push_back("/tmp/orvana-unsaved-" + std::to_string(::geteuid()));
  return folders;
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
  std::function<void()> signal;
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
    signal = SignalDue();
  }
  if (wake) wake_.notify_all();
  if (signal) signal();
}

size_t DailyLog::FlusherWakeups() const {
  std::lock_guard lock(mutex_);
  return flusherWakeups_;
}

size_t DailyLog::PendingLines() const {
  std::lock_guard lock(mutex_);
  return pending_.size();
}

void DailyLog::SetEventSignal(std::function<void()> signal) {
  std::lock_guard lock(mutex_);
  signal_ = std::move(signal);
}

std::vector<LogEvent> DailyLog::TakeEvents() {
  std::lock_guard lock(mutex_);
  std::vector<LogEvent> events;
  events.swap(events_);
  return events;
}

SaveResult DailyLog::SavePending(std::vector<std::string> folders) {
  if (folders.empty()) folders = UnsavedLineFolders();
  SaveResult result;
  std::function<void()> signal;
  {
    std::lock_guard lock(mutex_);
    DrainPending(true);
    struct UnsavedFile {
      std::string path;
      std::string bytes;
      size_t lines = 0;
      bool written = false;
    };
    for (const std::string& folder : folders) {
      if (pending_.empty()) break;
      if (!UsableUnsavedFolder(folder)) {
        common::Trace("Cannot keep unsaved log lines in %s\n", folder.c_str());
        continue;
      }
      // A day's lines go into one file of the day's name, in the order they
      // were kept, so they can be appended to the day's log as they are.
      std::vector<UnsavedFile> files;
      std::vector<size_t> fileOf;
      fileOf.reserve(pending_.size());
      for (const PendingLine& line : pending_) {
        const size_t slash = line.path.rfind('/');
        const std::string path =
            folder + "/" + (slash == std::string::npos ? line.path : line.path.substr(slash + 1));
        size_t index = 0;
        while (index < files.size() && files[index].path != path) ++index;
        if (index == files.size()) files.push_back({path, {}, 0, false});
        files[index].bytes += line.bytes;
        ++files[index].lines;
        fileOf.push_back(index);
      }
      for (UnsavedFile& file : files) {
        const int error = AppendWhole(file.path, file.bytes);
        file.written = error == 0;
        if (file.written) {
          common::Trace("%zu daily log lines saved in %s\n", file.lines, file.path.c_str());
          result.saved.push_back({file.path, file.lines});
        } else {
          common::Trace("Can't open file %s,error=%u\n", file.path.c_str(),
                        static_cast<unsigned>(error));
        }
      }
      std::deque<PendingLine> left;
      for (size_t i = 0; i < pending_.size(); ++i) {
        if (!files[fileOf[i]].written) left.push_back(std::move(pending_[i]));
      }
      pending_ = std::move(left);
    }
    result.lost = pending_.size();
    signal = SignalDue();
  }
  if (signal) signal();
  return result;
}

void DailyLog::DrainPending(bool traceFailures) {
  while (!pending_.empty()) {
    if (!WriteLine(pending_.front(), traceFailures)) return;
    pending_.pop_front();
  }
  if (failing_) {
    failing_ = false;
    LogEvent recovered;
    recovered.kind = LogEvent::Kind::Recovered;
    QueueEvent(std::move(recovered));
  }
}

void DailyLog::QueueEvent(LogEvent event) {
  if (events_.size() >= kMostKeptEvents) events_.erase(events_.begin());
  events_.push_back(std::move(event));
  signalDue_ = true;
}

std::function<void()> DailyLog::SignalDue() {
  if (!signalDue_) return {};
  signalDue_ = false;
  return signal_;
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
    return true;
  }
  if (traceFailures) TraceFailure(line.path, failure);
  if (!failing_) {
    failing_ = true;
    LogEvent failing;
    failing.kind = LogEvent::Kind::Failing;
    failing.path = line.path;
    failing.reason = failure.Reason();
    failing.error = failure.notRegular ? 0 : failure.error;
    failing.pending = pending_.size();
    QueueEvent(std::move(failing));
  }
  return false;
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
    if (const int error = CreateFolders(folder_, 0777); error != 0) {
      failure = RegularFile{};
      failure.error = error;
      return false;
    }
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
    if (auto signal = SignalDue()) {
      lock.unlock();
      signal();
      lock.lock();
    }
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
